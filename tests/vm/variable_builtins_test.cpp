// Registry values under the game's key, variables by name with the scope of their sigil, and the
// arming of repeated-click suppression.
#include "base/hash.h"
#include "base/registry.h"
#include "builtin_fixture.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "vm/builtins_variable.h"

namespace {

enum : uint32_t {
  H_REG_PUT_INT = 0x9A1ACECA, H_REG_PUT_STR = 0xEDB64309, H_REG_GET_INT = 0x80177286, H_REG_GET_STR = 0xA2E45C9C,
  H_GET_VARIABLE = 0x6E83677A, H_GET_VARIABLE_QUIET = 0xF9A3B675, H_SET_VARIABLE = 0xCD290AEF,
  H_IGNORE_REPEAT_CLICK = 0xB7E3E81C,
};

using variables = builtin_test;

TEST_F(variables, RegistryValuesRoundTripThroughTheStore) {
  temp_dir home;
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  reg_store_reset();
  env_keys_reset();
  EXPECT_EQ(run_int(H_REG_PUT_INT, {"Score", -42}) + run_int(H_REG_PUT_STR, {"Name", "\x83\x5Cx"}), 0);
  reg_store_reset();  // read back from the file, not from memory
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Score"}), -42);
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Missing"}), 0);
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Missing", 7}), 7);
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Name"}), "\x83\x5Cx");
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Missing"}), "");
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Missing", "dflt"}), "dflt");
  reg_store_reset();
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(variables, NamesGetTheirGroupAndSetVariablesOfTheirSigilsScope) {
  EXPECT_EQ(variable_name_complete("@v"), "@v@GLOBAL");
  EXPECT_EQ(variable_name_complete("@v@GAME"), "@v@GAME");
  EXPECT_EQ(variable_name_complete("@@"), "@@");
  EXPECT_EQ(variable_name_complete("@\x83\x40"), "@\x83\x40@GLOBAL");  // 0x40 there is a trail byte
  EXPECT_EQ(variable_name_complete(std::string(600, 'a').c_str()).size(), 511u);

  for (const char* name : {"@v", "#e", "%t"}) EXPECT_EQ(run_int(H_SET_VARIABLE, {name, name[0]}), 0);
  EXPECT_EQ(var_table_find(&var_global, crc32_string("@v@GLOBAL"))->i, '@');
  EXPECT_EQ(var_table_find(&var_eternal, crc32_string("#e@GLOBAL"))->i, '#');
  EXPECT_EQ(var_table_find(&vm_thread->vars, crc32_string("%t@GLOBAL"))->i, '%');
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@v@GLOBAL", -1}), 0);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@v"}) + run_int(H_GET_VARIABLE, {"%t@GLOBAL"}), '%' - 1);
  EXPECT_EQ(run_int(H_GET_VARIABLE_QUIET, {"@nope"}), 0);
  EXPECT_EQ(platform.boxes.size(), 0u);

  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@nope"}), 0);
  EXPECT_EQ(box_text(0), "get_variable : 変数[ @nope@GLOBAL ]は存在しません");
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"_local", 1}), 0);
  EXPECT_EQ(box_text(1), "set_variable : [ _local@GLOBAL ]ローカル変数は設定できません");
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"plain", 1}), 0);
  EXPECT_EQ(box_text(2), "set_variable : [ plain@GLOBAL ]変数名が間違っています");
}

TEST_F(variables, SetVariableConvertsForFloatsAndLeavesStringsAlone) {
  value_cell s = string_cell(string_block_new("kept"), crc32_string("@s@GLOBAL")),
             f = float_cell(0.5f, crc32_string("@f@GLOBAL"));
  s.scope = f.scope = SCOPE_GLOBAL;
  var_assign(&s, nullptr);
  var_assign(&f, nullptr);
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@s", 1}) + run_int(H_SET_VARIABLE, {"@f", 3}), 0);
  EXPECT_EQ(box_text(0), "set_variable : [ @s@GLOBAL ]は数値の変数ではありません");
  EXPECT_STREQ(var_find_global(s.hash)->s->text, "kept");
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@s"}), 0);  // a block's reference is no number
  EXPECT_EQ(var_find_global(f.hash)->type, TYPE_FLOAT);
  EXPECT_EQ(var_find_global(f.hash)->f, 3.0f);
}

TEST_F(variables, IgnoreRepeatClickArmsTheDecideButtonOrTheGivenMask) {
  EXPECT_EQ(click_suppress_test(1), 0);  // the click that came before
  EXPECT_EQ(run_int(H_IGNORE_REPEAT_CLICK, {}), 0);
  platform.advance(200);
  EXPECT_EQ(click_suppress_test(1), 1);
  platform.advance(400);
  EXPECT_EQ(click_suppress_test(1), 0);  // too late: recorded, and suppression is off
  run_int(H_IGNORE_REPEAT_CLICK, {0, 2});
  platform.advance(100);
  EXPECT_EQ(click_suppress_test(2), 1);
  input_init();
}

}  // namespace
