// Registry values under the game's key, variables by name with the scope of their sigil, and the
// arming of repeated-click suppression.
#include "base/env.h"
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

TEST_F(variables, RegistryValuesRoundTripUnderTheGamesKey) {
  temp_dir home;
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  reg_store_reset();
  env_keys_reset();
  EXPECT_EQ(run_int(H_REG_PUT_INT, {"Score", -42}), 0);
  EXPECT_EQ(run_int(H_REG_PUT_STR, {"Name", "\x83\x5C" "x"}), 0);
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Score"}), -42);
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Missing"}), 0);
  EXPECT_EQ(run_int(H_REG_GET_INT, {"Missing", 7}), 7);
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Name"}), "\x83\x5C" "x");
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Missing"}), "");
  EXPECT_EQ(run_str(H_REG_GET_STR, {"Missing", "dflt"}), "dflt");
  // What was written is in the store, not only in memory.
  reg_store_reset();
  char text[64];
  EXPECT_EQ(reg_get_string(reg_global_name(), reg_local_name(), "Score", "", text, sizeof text), 0);
  EXPECT_STREQ(text, "-42");
  reg_store_reset();
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(variables, NamesGetTheirGroupAndSetVariablesOfTheirSigilsScope) {
  EXPECT_EQ(variable_name_complete("@v"), "@v@GLOBAL");
  EXPECT_EQ(variable_name_complete("@v@GAME"), "@v@GAME");
  EXPECT_EQ(variable_name_complete("@@"), "@@");
  EXPECT_EQ(variable_name_complete("@\x83\x40"), "@\x83\x40@GLOBAL");  // 0x40 there is a trail byte
  EXPECT_EQ(variable_name_complete(std::string(600, 'a').c_str()).size(), 511u);

  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@v", 5}), 0);
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"#e", 6}), 0);
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"%t", 7}), 0);
  EXPECT_EQ(var_find_global(crc32_string("@v@GLOBAL"))->i, 5);
  ASSERT_NE(var_table_find(&var_eternal, crc32_string("#e@GLOBAL")), nullptr);
  ASSERT_NE(var_table_find(&vm_thread->vars, crc32_string("%t@GLOBAL")), nullptr);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@v@GLOBAL"}), 5);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"#e"}), 6);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"%t"}), 7);
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@v", -1}), 0);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@v"}), -1);
  EXPECT_EQ(boxes(), 0u);

  EXPECT_EQ(run_int(H_GET_VARIABLE_QUIET, {"@nope"}), 0);
  EXPECT_EQ(boxes(), 0u);
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@nope"}), 0);
  EXPECT_EQ(box_text(0), "get_variable : 変数[ @nope@GLOBAL ]は存在しません");
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"_local", 1}), 0);
  EXPECT_EQ(box_text(1), "set_variable : [ _local@GLOBAL ]ローカル変数は設定できません");
  EXPECT_EQ(run_int(H_SET_VARIABLE, {"plain", 1}), 0);
  EXPECT_EQ(box_text(2), "set_variable : [ plain@GLOBAL ]変数名が間違っています");
}

TEST_F(variables, SetVariableConvertsForFloatsAndLeavesStringsAlone) {
  value_cell s = string_cell(string_block_new("kept"), crc32_string("@s@GLOBAL"));
  s.scope = SCOPE_GLOBAL;
  var_assign(&s, nullptr);
  value_cell f = float_cell(0.5f, crc32_string("@f@GLOBAL"));
  f.scope = SCOPE_GLOBAL;
  var_assign(&f, nullptr);

  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@s", 1}), 0);
  EXPECT_EQ(box_text(0), "set_variable : [ @s@GLOBAL ]は数値の変数ではありません");
  const value_cell* kept = var_find_global(crc32_string("@s@GLOBAL"));
  ASSERT_EQ(kept->type, TYPE_STRING);
  EXPECT_STREQ(kept->s->text, "kept");
  EXPECT_EQ(run_int(H_GET_VARIABLE, {"@s"}), 0);  // a block's reference is no number

  EXPECT_EQ(run_int(H_SET_VARIABLE, {"@f", 3}), 0);
  const value_cell* converted = var_find_global(crc32_string("@f@GLOBAL"));
  EXPECT_EQ(converted->type, TYPE_FLOAT);
  EXPECT_EQ(converted->f, 3.0f);
}

TEST_F(variables, IgnoreRepeatClickArmsTheDecideButtonOrTheGivenMask) {
  EXPECT_EQ(click_suppress_test(1), 0);  // the click that came before
  EXPECT_EQ(run_int(H_IGNORE_REPEAT_CLICK, {}), 0);
  platform.advance(200);
  EXPECT_EQ(click_suppress_test(1), 1);
  platform.advance(400);
  EXPECT_EQ(click_suppress_test(1), 0);  // too late: recorded, and suppression is off

  EXPECT_EQ(run_int(H_IGNORE_REPEAT_CLICK, {0, 2}), 0);
  platform.advance(100);
  EXPECT_EQ(click_suppress_test(1), 0);
  EXPECT_EQ(run_int(H_IGNORE_REPEAT_CLICK, {0, 2}), 0);
  platform.advance(100);
  EXPECT_EQ(click_suppress_test(2), 1);
  input_init();
}

}  // namespace
