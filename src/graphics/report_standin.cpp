#include "graphics/report_standin.h"

#include <cstdarg>
#include <cstdio>

#include "base/cp932.h"

void graphics_script_error(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  fprintf(stderr, "%s\n", cp932_to_utf8_lenient(text).c_str());
}
