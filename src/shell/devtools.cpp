// STAND-IN: no save base folder before the development-tools module exists.
#include "shell/devtools.h"

const char* save_path(const char* relative) { return relative; }
