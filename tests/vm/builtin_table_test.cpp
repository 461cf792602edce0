// The table of built-in hashes: the counts by kind and subsystem, one row per hash, the names
// that two hashes lead to, and lookups (each row's handler is met by its subsystem's tests).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "base/hash.h"
#include "vm/builtin_table.h"

namespace {

TEST(BuiltinTable, CountsByKindAndSubsystem) {
  std::map<int, int> kinds, subsystems;
  for (const builtin_entry& e : builtin_entries()) {
    ++kinds[e.kind];
    ++subsystems[e.subsystem];
  }
  EXPECT_EQ(builtin_entries().size(), 479u);
  EXPECT_EQ(kinds[BUILTIN_SELF_CLEANING], 16);
  EXPECT_EQ(kinds[BUILTIN_WAITING], 22);
  EXPECT_EQ(kinds[BUILTIN_PLAIN], 441);
  EXPECT_EQ(subsystems, (std::map<int, int>{{2, 115}, {3, 83}, {4, 84}, {5, 46}, {6, 98}, {7, 23}, {8, 30}}));
}

TEST(BuiltinTable, EveryHashIsOneRowAndFoundByLookup) {
  std::set<uint32_t> hashes;
  std::map<std::string, int> names;
  for (const builtin_entry& e : builtin_entries()) {
    EXPECT_TRUE(hashes.insert(e.hash).second) << e.name;
    EXPECT_EQ(builtin_find(e.hash), &e) << e.name;
    EXPECT_NE(e.hash, crc32_string(e.name)) << e.name;  // compiler constants, not name hashes
    ++names[e.name];
  }
  std::set<std::string> twice;
  for (auto& [name, count] : names)
    if (count > 1) twice.insert(name);
  EXPECT_EQ(twice, (std::set<std::string>{"msgbox_warning_retrycancel", "mouse_nop", "sound_file_exists"}));
  EXPECT_EQ(builtin_find(0), nullptr);
  EXPECT_EQ(builtin_find(0xFFFFFFFF), nullptr);
  EXPECT_EQ(builtin_find(0xCF35F0E3 + 1), nullptr);
}

}  // namespace
