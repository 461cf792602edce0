// STAND-IN for the script-error module: the text goes to the error box as it is.
#include "vm/script_error.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "shell/message_box.h"

static int report_mode = -1;

void script_error(const char* format, ...) {
  if (report_mode == 1) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  error_box_retry("%s", text);
}

void error_report_mode_set(int result) {
  if (result == -2) report_mode = -2;
  else if (result == 0) report_mode = 0;
  else if (result == 2) report_mode = 1;
}

int error_report_mode_get() { return report_mode; }

int32_t vm_time_now() { return static_cast<int32_t>(plat().clock_ms()); }
int32_t vm_time_get() { return vm_time_now(); }
void vm_clock_reset() {}
