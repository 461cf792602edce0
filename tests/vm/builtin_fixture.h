// Calls of built-ins by hash with literal arguments, for the tests of the general built-ins.
#pragma once

#include <initializer_list>
#include <string>

#include "dispatcher_fixture.h"

// One argument: an int, a float or a string.
struct arg {
  int type;
  int32_t i = 0;
  float f = 0;
  std::string s;
  arg(int32_t v) : type(TYPE_INT), i(v) {}
  arg(double v) : type(TYPE_FLOAT), f(static_cast<float>(v)) {}
  arg(const char* v) : type(TYPE_STRING), s(v) {}
  arg(const std::string& v) : type(TYPE_STRING), s(v) {}
};

class builtin_test : public dispatcher_test {
 protected:
  // Runs the built-in with the arguments (first argument on top) and leaves its result on top.
  const value_cell& run(uint32_t hash, std::initializer_list<arg> args) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) {
      if (it->type == TYPE_INT) push_int(it->i);
      else if (it->type == TYPE_FLOAT) push_float(it->f);
      else push_string(it->s.data(), it->s.size());
    }
    int32_t before = top() - static_cast<int32_t>(args.size());
    call(hash, static_cast<int16_t>(args.size()));
    EXPECT_EQ(top(), before + 1);
    return *stack_top();
  }
  int32_t run_int(uint32_t hash, std::initializer_list<arg> args) {
    int32_t v = run(hash, args).i;
    stack_pop();
    return v;
  }
  float run_float(uint32_t hash, std::initializer_list<arg> args) {
    float v = run(hash, args).f;
    stack_pop();
    return v;
  }
  std::string run_str(uint32_t hash, std::initializer_list<arg> args) {
    const value_cell& c = run(hash, args);
    std::string v = c.type == TYPE_STRING ? c.s->text : "(not a string)";
    stack_pop();
    return v;
  }
  size_t boxes() const { return platform.boxes.size(); }
};
