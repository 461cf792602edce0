// Hooks and skip modes on the interpreter: built-ins called the way the dispatcher calls them, on
// the main thread of an assembled program.
#pragma once

#include <initializer_list>
#include <string>

#include "interpreter_fixture.h"
#include "vm/builtin_table.h"
#include "vm/hooks.h"

// Assembled code that records its argument count and parameters 1 and 2 (ints).
inline constexpr const char* RECORD_PARAMETERS =
    "    load.i _-1\n    set.i.pop @count\n    load.i _p1\n    set.i.pop @p1\n"
    "    load.i _p2\n    set.i.pop @p2\n";

class hooks : public program_test {
 protected:
  void TearDown() override {
    hook_list_keep(0);
    ReleaseEventAll();
    program_test::TearDown();
  }

  using builtin = int (*)(int32_t, int32_t);
  static value_cell number(int32_t v) { return int_cell(v); }
  static value_cell number(uint32_t v) { return int_cell(static_cast<int32_t>(v)); }
  static value_cell text(const std::string& s) { return string_cell(string_block_new(s.c_str())); }

  // Pushes the arguments so that the first ends on top.
  static int32_t push_args(std::initializer_list<value_cell> args) {
    for (auto it = args.end(); it != args.begin();) {
      --it;
      stack_push_value(&*it);
    }
    return static_cast<int32_t>(args.size());
  }
  // A plain built-in through the dispatcher, result kept: the arguments are replaced by its
  // result, which is returned (as an int) and popped.
  static int32_t call_plain(builtin f, std::initializer_list<value_cell> args) {
    builtin_entry e{0, "test", BUILTIN_PLAIN, 2, f};
    builtin_call(&e, 0, static_cast<int16_t>(push_args(args)), 0);
    int32_t result = stack_top()->i;
    stack_pop();
    return result;
  }
  // A self-cleaning built-in through the dispatcher.
  static void call_self_cleaning(builtin f, int32_t drop, std::initializer_list<value_cell> args) {
    builtin_entry e{0, "test", BUILTIN_SELF_CLEANING, 2, f};
    builtin_call(&e, 0, static_cast<int16_t>(push_args(args)), drop);
  }

  // A hook of the current thread (or of another one) for the named function.
  static void hook_add(const char* event, const char* function, bool first = false) {
    call_plain(first ? builtin_event_hook_add_first : builtin_event_hook_add,
               {text(event), number(crc32_string(function))});
  }
  static void hook_add_as(script_thread* t, const char* event, const char* function) {
    script_thread* previous = thread_switch(t);
    hook_add(event, function);
    thread_switch(previous);
  }
  static size_t hook_count() {
    size_t n = 0;
    for (const event_hook_entry* h = hook_list_head(); h; h = h->next) ++n;
    return n;
  }
  static const event_hook_entry* last_hook() {
    const event_hook_entry* h = hook_list_head();
    while (h && h->next) h = h->next;
    return h;
  }

  // What RECORD_PARAMETERS recorded.
  void expect_parameters(int32_t count, int32_t p1, int32_t p2, const std::string& trace = "") {
    EXPECT_EQ(int_of("@count"), count) << trace;
    EXPECT_EQ(int_of("@p1"), p1) << trace;
    EXPECT_EQ(int_of("@p2"), p2) << trace;
  }

  // Assembles and loads another object; returns its name.
  std::string library(const std::string& source) { return load(source)->name; }
  std::string text_of(const std::string& name) {
    value_cell* v = variable(name);
    return v && v->type == TYPE_STRING ? v->s->text : "(none)";
  }
};
