// STAND-IN for the script-error module: the report mode alone.
#include "vm/script_error.h"

static int report_mode = -1;

int error_report_mode_get() { return report_mode; }

void error_report_mode_set(int result) {
  if (result == -2 || result == 0)
    report_mode = result;
  else if (result == 2)
    report_mode = 1;
}
