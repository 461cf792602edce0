// The scripts' own values in the registry (under the game's key), script variables read and set
// by names built at run time, and the arming of repeated-click suppression.
#pragma once

#include <cstdint>
#include <string>

// A variable name as it is hashed: "@GLOBAL" appended when no "@" follows the first character
// (CP932-aware: a trail byte 0x40 is no "@"); at most 511 bytes, cut on a character boundary.
std::string variable_name_complete(const char* name);

int builtin_registry_put_int(int32_t n, int32_t drop);
int builtin_registry_put_str(int32_t n, int32_t drop);
int builtin_registry_get_int(int32_t n, int32_t drop);
int builtin_registry_get_str(int32_t n, int32_t drop);
int builtin_get_variable(int32_t n, int32_t drop);
int builtin_get_variable_quiet(int32_t n, int32_t drop);
int builtin_set_variable(int32_t n, int32_t drop);
int builtin_ignore_repeat_click(int32_t n, int32_t drop);
