// A VM with one current thread and the mahjong state and wall cleared, with the game's script
// variables made on demand, for the tests that go through the bridge and the built-ins.
#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "base/hash.h"
#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "test_support.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/thread.h"
#include "vm/variables.h"

// Whether the wall's left and free counters equal a recount of slots [next, size).
inline bool wall_counters_match() {
  const mahjong_wall_state& w = mahjong_wall;
  int left[MAHJONG_KINDS] = {}, free[MAHJONG_KINDS] = {};
  for (int j = w.next; j < w.size; ++j) ++left[tile_kind(w.tiles[j])], free[tile_kind(w.tiles[j])] += w.marks[j] == 0;
  return std::equal(left, left + MAHJONG_KINDS, w.left) && std::equal(free, free + MAHJONG_KINDS, w.free);
}

inline const char* const MISSING_SUFFIX = "]が発見できませんでした";

class mahjong_vm_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    thread_switch(thread_create(0));
    mahjong_state_reset();
    mahjong_eval_reset();
    mahjong_wall_reset();
  }
  void TearDown() override {
    threads_destroy_all();
    var_tables_free();
    thread_switch(nullptr);
    mahjong_state_reset();
    mahjong_eval_reset();
    engine_test::TearDown();
  }

  // The names in the boxes shown since box `from`.
  std::vector<std::string> reported(size_t from = 0) {
    std::vector<std::string> names;
    for (size_t i = from; i < platform.boxes.size(); ++i) {
      const std::string& t = platform.boxes[i].text;
      names.push_back(t.substr(5, t.find(']') - 5));
    }
    return names;
  }
  static value_cell* var(const std::string& name, const value_cell* make = nullptr) {
    value_cell k = make ? *make : int_cell(0);
    k.hash = crc32_string(name.c_str()), k.scope = name[0] == '@' ? SCOPE_GLOBAL : SCOPE_ETERNAL;
    return make ? var_assign(&k, nullptr) : var_find(&k, nullptr);
  }
  static void make(const std::string& name, value_cell c) { var(name, &c); }
  static int32_t& scalar(const std::string& name) { return var(name)->i; }
  // Calls the built-in of the table row `hash` with the given arguments (first on top) and pops
  // its result.
  static int32_t call(uint32_t hash, std::vector<int32_t> args = {}) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) push_int(*it);
    builtin_call(builtin_find(hash), hash, static_cast<int16_t>(args.size()), 0);
    int32_t result = stack_top()->i;
    stack_pop();
    return result;
  }
  static int32_t* numbers(const std::string& name) { return &array_numbers(var(name)->a)->i; }
  // Every variable the bridge names, from what it reports missing in an empty VM: arrays of
  // `size` elements, scalars 0; all but `skip`.
  void make_all(int size = 120, const std::string& skip = "") {
    size_t from = platform.boxes.size();
    mahjong_vars_load();
    mahjong_vars_store();
    std::vector<std::string> names = reported(from);
    for (const std::string& name : std::set<std::string>(names.begin(), names.end())) {
      if (name == skip) continue;
      bool array = name.find("#@") != std::string::npos;
      make(name, array ? array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, size)) : int_cell(0));
    }
    platform.boxes.clear();
  }
};
