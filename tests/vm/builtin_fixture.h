// Calls of built-ins by hash with literal arguments, for the tests of the general built-ins.
#pragma once

#include <vector>
#include <string>
#include <variant>

#include "dispatcher_fixture.h"

using arg = std::variant<int32_t, double, std::string>;

class builtin_test : public dispatcher_test {
 protected:
  // Runs the built-in with the arguments (the first on top) and leaves its one result on top.
  const value_cell& run(uint32_t hash, const std::vector<arg>& args) {
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) {
      if (auto* i = std::get_if<int32_t>(&*it)) push_int(*i);
      else if (auto* f = std::get_if<double>(&*it)) push_float(static_cast<float>(*f));
      else push_string(std::get<std::string>(*it).c_str());
    }
    int32_t before = top() - static_cast<int32_t>(args.size());
    call(hash, static_cast<int16_t>(args.size()));
    EXPECT_EQ(top(), before + 1);
    return *stack_top();
  }
  int32_t run_int(uint32_t hash, const std::vector<arg>& args) {
    int32_t v = run(hash, args).i;
    return stack_pop(), v;
  }
  float run_float(uint32_t hash, const std::vector<arg>& args) {
    float v = run(hash, args).f;
    return stack_pop(), v;
  }
  std::string run_str(uint32_t hash, const std::vector<arg>& args) {
    const value_cell& c = run(hash, args);
    std::string v = c.type == TYPE_STRING ? c.s->text : "(not a string)";
    return stack_pop(), v;
  }
};
