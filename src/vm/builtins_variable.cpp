#include "vm/builtins_variable.h"

#include <string_view>

#include "base/cp932.h"
#include "base/hash.h"
#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

// The name buffer the engine always used.
constexpr size_t VARIABLE_NAME_SIZE = 512;
constexpr std::string_view DEFAULT_GROUP = "@GLOBAL";

// ---------------------------------------------------------------------------------------------
// Registry

int builtin_registry_put_int(int32_t, int32_t) {
  reg_set_int(reg_global_name(), reg_local_name(), builtin_arg_text(1), builtin_arg_int(2));
  push_int(0);
  return 0;
}

int builtin_registry_put_str(int32_t, int32_t) {
  reg_set_string(reg_global_name(), reg_local_name(), builtin_arg_text(1), builtin_arg_text(2));
  push_int(0);
  return 0;
}

// A missing second argument reads as 0 or "", the defaults.
int builtin_registry_get_int(int32_t, int32_t) {
  push_int(reg_get_int(reg_global_name(), reg_local_name(), builtin_arg_text(1), builtin_arg_int(2)));
  return 0;
}

int builtin_registry_get_str(int32_t, int32_t) {
  char text[REG_VALUE_BUFFER];
  reg_get_string(reg_global_name(), reg_local_name(), builtin_arg_text(1), builtin_arg_text(2), text, sizeof text);
  push_string(text);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Variables by name

std::string variable_name_complete(const char* name) {
  std::string_view s = name;
  bool grouped = false;
  if (!s.empty())
    for (size_t i = cp932_char_len(name); i < s.size(); i += cp932_char_len(name + i))
      if (s[i] == '@') grouped = true;
  size_t room = VARIABLE_NAME_SIZE - 1 - (grouped ? 0 : DEFAULT_GROUP.size());
  std::string full(s.substr(0, cp932_cut_length(s, room)));
  if (!grouped) full += DEFAULT_GROUP;
  return full;
}

// An int's value; a float's bits, as the engine always gave them; strings and arrays give 0 (their
// payload is a reference that means nothing to a script).
static int32_t payload_as_int(const value_cell* v) {
  return v->type == TYPE_INT || v->type == TYPE_FLOAT ? v->i : 0;
}

static int get_variable(bool quiet) {
  std::string full = variable_name_complete(builtin_arg_text(1));
  const value_cell* v = var_find_any(crc32_string(full.c_str()));
  if (!v && !quiet) script_error("get_variable : 変数[ %s ]は存在しません", full.c_str());
  push_int(v ? payload_as_int(v) : 0);
  return 0;
}

int builtin_get_variable(int32_t, int32_t) { return get_variable(false); }
int builtin_get_variable_quiet(int32_t, int32_t) { return get_variable(true); }

// An int variable takes the value and a float one its conversion; a string or array variable is
// reported and left as it is (its block must not be replaced by a number).
int builtin_set_variable(int32_t, int32_t) {
  std::string full = variable_name_complete(builtin_arg_text(1));
  int32_t value = builtin_arg_int(2);
  value_cell key = int_cell(value, crc32_string(full.c_str()));
  switch (full[0]) {
    case '#': key.scope = SCOPE_ETERNAL; break;
    case '@': key.scope = SCOPE_GLOBAL; break;
    case '%': key.scope = SCOPE_THREAD; break;
    case '_':
      script_error("set_variable : [ %s ]ローカル変数は設定できません", full.c_str());
      push_int(0);
      return 0;
    default:
      script_error("set_variable : [ %s ]変数名が間違っています", full.c_str());
      push_int(0);
      return 0;
  }
  value_cell* v = var_find(&key, nullptr);
  if (!v)
    var_assign(&key, nullptr);
  else if (v->type == TYPE_INT)
    v->i = value;
  else if (v->type == TYPE_FLOAT)
    v->f = static_cast<float>(value);
  else
    script_error("set_variable : [ %s ]は数値の変数ではありません", full.c_str());
  push_int(0);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Repeated clicks

// Without a mask argument (none, or only one argument) the decide button is armed.
int builtin_ignore_repeat_click(int32_t n, int32_t) {
  click_suppress_arm(n >= 2 ? builtin_arg_int(2) : 1);
  push_int(0);
  return 0;
}
