// The table of built-in hashes: the counts by kind and subsystem, one row per hash, the names
// that two hashes lead to, and lookups.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "base/hash.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"

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

TEST(BuiltinTable, TheDispatchersOwnBuiltinsHaveTheirKindAndHandler) {
  const builtin_entry* wait = builtin_find(0xCF35F0E3);
  ASSERT_NE(wait, nullptr);
  EXPECT_STREQ(wait->name, "time_wait");
  EXPECT_EQ(wait->kind, BUILTIN_WAITING);
  EXPECT_EQ(wait->handler, builtin_time_wait);
  const builtin_entry* end = builtin_find(0x8D8FB32E);
  ASSERT_NE(end, nullptr);
  EXPECT_STREQ(end->name, "system_end");
  EXPECT_EQ(end->kind, BUILTIN_PLAIN);
  EXPECT_EQ(end->handler, builtin_system_end);
  const builtin_entry* snapshot = builtin_find(0xF8004993);
  ASSERT_NE(snapshot, nullptr);
  EXPECT_STREQ(snapshot->name, "save_snapshot");
  EXPECT_EQ(snapshot->kind, BUILTIN_SELF_CLEANING);
  EXPECT_EQ(snapshot->subsystem, 7);
}

}  // namespace
