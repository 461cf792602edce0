// The mahjong built-ins built so far. Each loads the mahjong state from the script variables,
// works on it and stores it back before it pushes its result.
#pragma once

#include <cstdint>

// mahjong_export_result(): the latest evaluation into the "@M_yaku_*" result variables; 0.
int builtin_mahjong_export_result(int32_t n, int32_t drop);
