// The table of every built-in: its hash (a constant shared with the script compiler, not the
// CRC-32 of its name), name, dispatch kind, the subsystem that owns it, and its handler.
//
// A subsystem plugs in a built-in by declaring its handler (builtin_<name>) in its own header and
// writing it into the built-in's row of builtin_table.cpp in place of nullptr. A row without a
// handler reports "<name> : この組み込み関数はまだ実装されていません" and yields int 0. Two hashes
// may lead to one built-in: both rows name the same handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vm/dispatcher.h"

enum builtin_kind : uint8_t {
  BUILTIN_PLAIN,          // handler(n, drop) pushes one result; the dispatcher tidies the stack
  BUILTIN_WAITING,        // the same, but a non-zero return means "not yet": the call runs again
  BUILTIN_SELF_CLEANING,  // manages the stack itself (builtin_finish, or moves the thread on)
};

struct builtin_entry {
  uint32_t hash;
  const char* name;
  builtin_kind kind;
  uint8_t subsystem;  // 2 VM, 3 shell, 4 graphics, 5 text, 6 sound, 7 save data, 8 mahjong
  builtin_handler handler;  // nullptr: not implemented yet
};

constexpr size_t BUILTIN_COUNT = 479;

// Every row, grouped by subsystem.
std::span<const builtin_entry> builtin_entries();
// The row of a hash, or nullptr.
const builtin_entry* builtin_find(uint32_t hash);
