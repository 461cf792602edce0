// Assembled programs on the interpreter: objects written to a temporary game folder, turns of the
// main thread, whole interpreter runs, reports answered with Retry.
#pragma once

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "base/datasource.h"
#include "base/hash.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/window_core.h"
#include "vko_assembler.h"
#include "vm/execute.h"
#include "vm/skip.h"
#include "vm_fixture.h"

using ::testing::HasSubstr;

class program_test : public vm_test {
 protected:
  void SetUp() override {
    vm_test::SetUp();
    data_base_folder_set(game.path().c_str());
    interpreter_reset();
    skip_reset();
    input_init();
    agg_skip_set(0);
  }
  void TearDown() override {
    window_hook_set(nullptr);
    platform.on_pump = nullptr;
    vm_test::TearDown();
    data_sources_clear();
    interpreter_reset();
    skip_reset();
  }

  // Assembles the source into an object of its own and loads it; returns the object.
  script_object* load(const std::string& source, int lines = 0) {
    vko_builder b;
    std::string error;
    EXPECT_TRUE(vko_assemble_text(source, b, error)) << error;
    b.lines(static_cast<uint32_t>(lines));
    std::string name = "p" + std::to_string(++objects_made);
    game.write(name + ".vko", b.build());
    return object_load(name.c_str());
  }
  // Loads the source and points the main thread at its entry function.
  void enter(const std::string& source, int lines = 0) { object_entry_set(load(source, lines)->name); }

  // One turn of the current thread; the run state it ended with.
  int32_t turn() {
    thread_turn(vm_thread);
    return vm_run_state;
  }
  // Runs the body as the main thread's entry function and gives the cell it leaves on top.
  const value_cell& eval(const std::string& body) {
    enter(".entry\n" + body + "\nret\n");
    turn();
    return *stack_top();
  }

  // A variable of group GLOBAL: "@x" or "%x" names it as the assembler does.
  static value_cell* variable(const std::string& name) {
    uint32_t hash = crc32_string((name + "@GLOBAL").c_str());
    if (name[0] == '@') return var_table_find(&var_global, hash);
    if (name[0] == '#') return var_table_find(&var_eternal, hash);
    return var_table_find(&vm_thread->vars, hash);
  }
  static int32_t int_of(const std::string& name) {
    value_cell* v = variable(name);
    EXPECT_NE(v, nullptr) << name;
    return v ? v->i : 0;
  }
  // A global (or thread, eternal) variable of group GLOBAL holding c.
  static void define(const std::string& name, value_cell c) {
    c.hash = crc32_string((name + "@GLOBAL").c_str());
    c.scope = name[0] == '@' ? SCOPE_GLOBAL : name[0] == '#' ? SCOPE_ETERNAL : SCOPE_THREAD;
    var_assign(&c, nullptr);
  }
  // A global array of the given type and dims, holding 0, 1, 2, ... (or their texts).
  static array_block* global_array(const std::string& name, int type, int d0, int d1, int d2) {
    array_block* a = array_block_new(type, d0, d1, d2);
    for (size_t i = 0; i < array_count(a); ++i) {
      if (type == TYPE_STRING_ARRAY)
        array_strings(a)[i] = string_block_new(std::to_string(i).c_str());
      else if (type == TYPE_FLOAT_ARRAY)
        array_numbers(a)[i].f = static_cast<float>(i);
      else
        array_numbers(a)[i].i = static_cast<int32_t>(i);
    }
    define(name, array_cell(a));
    return a;
  }

  // The next n reports are answered with Retry.
  void retry(int n) {
    for (int i = 0; i < n; ++i) platform.queued_answers.push_back(IDRETRY);
  }
  std::vector<std::string> reports() const {
    std::vector<std::string> texts;
    for (const auto& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }

  temp_dir game;
  int objects_made = 0;
};
