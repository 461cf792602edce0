// STAND-IN: settings at their defaults until the settings module exists.
#include "shell/settings.h"

#include "base/cp932.h"

static int open_error_line = 0;
static char start_object[260];

int auto_open_error_line() { return open_error_line; }
void start_object_set(const char* name) { cp932_copy(start_object, sizeof start_object, name); }
void auto_open_error_line_set(int value) { open_error_line = value; }
