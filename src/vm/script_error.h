// Script errors and the VM clock.
//
// STAND-IN: the reporter shows its text in the Retry/Cancel error box without the script
// position, and the clock is the platform clock. The script-error module replaces this file.
#pragma once

#include <cstdint>

// Reports a script error (printf-style). Retry returns to the caller; Cancel ends the program.
void script_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Report mode: 1 silences script_error; every other value shows reports.
void error_report_mode_set(int result);
int error_report_mode_get();

// VM time in milliseconds, read fresh; and as cached for the current interpreter pass.
int32_t vm_time_now();
int32_t vm_time_get();
// Speed 1.0, no base, no offset.
void vm_clock_reset();
