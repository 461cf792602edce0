// STAND-IN for the script error reporter (script_error, vm/script_error.h), which the script VM
// brings. Until it lands, graphics reports go to stderr (UTF-8) and the program goes on, as after
// Retry. Replace every call with script_error and delete this file when the reporter exists.
#pragma once

void graphics_script_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
