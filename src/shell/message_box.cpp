#include "shell/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/cp932.h"
#include "base/fatal.h"
#include "base/system.h"
#include "platform/platform.h"
#include "shell/window_core.h"

// Box texts are short; a longer one is cut on a character boundary.
static constexpr size_t BOX_TEXT_SIZE = 1024;

static std::string format_box_text(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  int n = vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (n < 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.resize(cp932_cut_length(text.substr(0, static_cast<size_t>(n)), BOX_TEXT_SIZE - 1));
  return text;
}

static int show_error_box(unsigned buttons, const char* format, va_list args) {
  std::string text = format_box_text(format, args);
  clipboard_add_text(text.c_str());
  return plat().message_box(text.c_str(), main_window_title(), MB_TOPMOST | MB_ICONERROR | buttons);
}

int error_box_retry(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_error_box(MB_RETRYCANCEL, format, args);
  va_end(args);
  if (answer != IDRETRY) fatal_exit();
  return IDRETRY;
}

int error_box_fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_error_box(MB_OK, format, args);
  va_end(args);
  return answer;
}
