#include "shell/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/cp932.h"
#include "base/fatal.h"
#include "base/gamepath.h"
#include "base/system.h"
#include "platform/platform.h"
#include "shell/window_core.h"

// Box texts are short; a longer one is cut on a character boundary.
static constexpr size_t BOX_TEXT_SIZE = 1024;

enum box_hook_kind { HOOK_A, HOOK_B };

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

static int show_box(box_hook_kind hook, bool to_clipboard, unsigned style, const char* format, va_list args) {
  std::string text = format_box_text(format, args);
  if (hook == HOOK_B) {
    // An error that follows a file refused for another reason than its absence says that reason.
    if (std::string why = file_failure_take(); !why.empty()) {
      text += "\n(" + why + ")";
      text.resize(cp932_cut_length(text, BOX_TEXT_SIZE - 1));
    }
    call_window_hook();  // leaves full screen, so the box is seen
  } else {
    call_box_hook();
  }
  window_handle owner = main_window_get();
  plat().window_set_foreground(owner);
  if (to_clipboard) clipboard_add_text(text.c_str());
  return plat().message_box(owner, text.c_str(), main_window_title(), style);
}

int error_box_retry(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_box(HOOK_B, true, MB_TOPMOST | MB_ICONERROR | MB_RETRYCANCEL, format, args);
  va_end(args);
  if (answer == IDRETRY) return IDRETRY;
  // Cancel (or a box that could not be shown: retrying blind would never end).
  call_exit_hook();
  fatal_exit();
}

int error_box_fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_box(HOOK_B, true, MB_TOPMOST | MB_ICONERROR | MB_OK, format, args);
  va_end(args);
  return answer;
}

int warning_box(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_box(HOOK_A, true, MB_TOPMOST | MB_ICONWARNING | MB_OK, format, args);
  va_end(args);
  return answer;
}

int notice_box(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_box(HOOK_A, false, MB_TOPMOST | MB_OK, format, args);
  va_end(args);
  return answer;
}

int question_box(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int answer = show_box(HOOK_A, false, MB_ICONQUESTION | MB_YESNO, format, args);
  va_end(args);
  return answer == IDYES ? 1 : 0;
}

int styled_box(unsigned style, const char* text) {
  call_box_hook();
  window_handle owner = main_window_get();
  plat().window_set_foreground(owner);
  return plat().message_box(owner, text, main_window_title(), style);
}
