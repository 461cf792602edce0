// A reset VM with the save module's state forgotten, and byte builders for expected files.
#pragma once

#include <cstring>
#include <string>

#include "../vm/interpreter_fixture.h"
#include "base/gamepath.h"
#include "save/thumbnail.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "save/eternal.h"
#include "save/savefile.h"
#include "save/vm_exit.h"
#include "text/message_log.h"

// Little-endian words, fixed-size texts, blob entries and saved cells, as the layouts name them.
inline std::string u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
inline std::string fixed(const std::string& text, size_t size) {
  std::string s = text;
  s.resize(size, '\0');
  return s;
}
inline std::string string_entry(uint32_t refs, uint32_t at, const std::string& text) {
  return u32(refs) + u32(at) + u32(uint32_t(text.size() + 1)) + text + std::string(1, '\0');
}
// A saved cell of a variable of group GLOBAL ("" for a stack cell).
inline std::string cell(const std::string& name, uint32_t type, uint32_t third, uint32_t fourth) {
  uint32_t hash = name.empty() ? 0 : crc32_string((name + "@GLOBAL").c_str());
  return u32(hash) + u32(type) + u32(third) + u32(fourth);
}

class save_test : public program_test {
 protected:
  void SetUp() override {
    program_test::SetUp();
    vm_lifecycle_reset();
    vm_reset();
  }
  void TearDown() override {
    vm_lifecycle_reset();
    message_log_reset();
    program_test::TearDown();
  }

  // Calls a built-in by name through the dispatcher with the n arguments on the stack; the result
  // stays on top.
  static void call(const char* name, int16_t n = 0) {
    if (const builtin_entry* e = builtin_named(name)) builtin_call(e, e->hash, n, 0);
  }
  static int32_t call_int(const char* name, int16_t n = 0) {
    call(name, n);
    int32_t v = stack_top()->i;
    stack_pop();
    return v;
  }

  static std::string host(const std::string& engine_path) { return game_path_native(engine_path); }

  // Runs the scene to its end; the snapshot it took is written to the slot, whose path is given.
  // The default scene only takes one: a save that loads.
  std::string slot_saved(int slot, const char* scene = SNAPSHOT_ONLY, int lines = 0, bool written = true) {
    enter(scene, lines);
    EXPECT_EQ(interpreter_run(), RUN_END);
    std::string path = save_slot_path(slot);
    EXPECT_EQ(savefile_write(path.c_str()), written);
    thread_switch(thread_create(0));  // the scene ended its thread; built-ins need one
    return path;
  }
  static constexpr const char* SNAPSHOT_ONLY =
      ".builtin save_snapshot 0xF8004993\n.builtin save_unlock 0x4D849AA6\n.builtin snapshot_unlock 0x1BB47604\n"
      ".entry\n builtin.drop save_unlock 0\n builtin.drop snapshot_unlock 0\n builtin.drop save_snapshot 0\n ret\n";

  static array_block* ints(std::initializer_list<int32_t> values) {
    array_block* a = array_block_new(TYPE_INT_ARRAY, 1, 1, static_cast<int32_t>(values.size()));
    int i = 0;
    for (int32_t v : values) array_numbers(a)[i++].i = v;
    return a;
  }
  // A string array; nullptr elements stay empty (never filled).
  static array_block* texts(std::initializer_list<const char*> values) {
    array_block* a = array_block_new(TYPE_STRING_ARRAY, 1, 1, static_cast<int32_t>(values.size()));
    int i = 0;
    for (const char* v : values) array_strings(a)[i++] = v ? string_block_new(v) : nullptr;
    return a;
  }
};
