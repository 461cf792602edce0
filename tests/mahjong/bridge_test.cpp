// The variable bridge on real VM variables.
#include <gtest/gtest.h>

#include <set>

#include "base/hash.h"
#include "mahjong/evaluator.h"
#include "mahjong/mahjong_builtins.h"
#include "mahjong/state.h"
#include "mahjong_notation.h"
#include "mahjong_vm_fixture.h"
#include "test_support.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

using bridge_test = mahjong_vm_test;

TEST_F(bridge_test, ReportsEachMissingVariableOncePerLoadAndPerStore) {
  mahjong_vars_load();
  std::vector<std::string> loaded = reported();
  mahjong_vars_store();
  std::vector<std::string> stored = reported(loaded.size());
  EXPECT_EQ(std::set<std::string>(loaded.begin(), loaded.end()).size(), loaded.size());
  EXPECT_EQ(std::set<std::string>(stored.begin(), stored.end()).size(), stored.size());
  EXPECT_EQ(loaded.front(), "@M_my_score@GLOBAL");
  EXPECT_EQ(loaded.back(), "@InSuv@GLOBAL");
  EXPECT_EQ(stored.back(), "@M_yaku_my_kaze@GLOBAL");  // results last, rule switches never
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "#kuitan@CONFIG"), 0);
  EXPECT_EQ(platform.boxes[0].text, "item[@M_my_score@GLOBAL" + std::string(MISSING_SUFFIX));
  platform.boxes.clear();
  // One missing variable: one report each way, and the rest still travels.
  make_all(120, "@M_ba_kaze@GLOBAL");
  var("@M_my_score@GLOBAL")->i = 250;
  var("#akau@CONFIG")->i = 1;
  mahjong.ba_kaze = 3;
  mahjong_vars_load();
  EXPECT_EQ(reported(), std::vector<std::string>{"@M_ba_kaze@GLOBAL"});
  EXPECT_EQ(mahjong.ba_kaze, 0);  // never a stale value
  EXPECT_EQ(mahjong.my_score, 250);
  EXPECT_EQ(mahjong.akau, 1);
  mahjong.my_score = 300;
  mahjong_vars_store();
  EXPECT_EQ(reported().size(), 2u);
  EXPECT_EQ(var("@M_my_score@GLOBAL")->i, 300);
}

TEST_F(bridge_test, UpdatesArraysInPlaceWithinBothSizes) {
  make_all();
  make("@M_dora#@GLOBAL", array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 3)));
  array_block* rows = var("@M_com_pre_te#@GLOBAL")->a;
  rows->refcount++;  // a script's copy of the array
  for (int i = 0; i < 120; ++i) numbers("@M_com_pre_te#@GLOBAL")[i] = i;
  for (int i = 0; i < 3; ++i) numbers("@M_dora#@GLOBAL")[i] = 70 + i;
  mahjong.dora[5] = 99;
  mahjong_vars_load();
  EXPECT_EQ(mahjong.com_pre_te[1][0], 14);
  EXPECT_EQ(mahjong.com_pre_te[2][13], 41);
  EXPECT_EQ(mahjong.dora[2], 72);
  EXPECT_EQ(mahjong.dora[5], 0);
  mahjong.com_pre_te[2][13] = 777;
  mahjong.dora[3] = 55;
  mahjong_vars_store();
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(array_numbers(rows)[41].i, 777);
  EXPECT_EQ(array_numbers(rows)[42].i, 42);  // beyond the native rows: untouched
  EXPECT_EQ(var("@M_dora#@GLOBAL")->a->dims[2], 3);
  array_release(rows);
}

TEST_F(bridge_test, LoadsRuleSwitchesAndNeverStoresThem) {
  make_all();
  var("#kuitan@CONFIG")->i = 1;
  var("@ConEn@GLOBAL")->i = 1;
  mahjong_vars_load();
  EXPECT_EQ(mahjong.kuitan, 1);
  EXPECT_EQ(mahjong.con_en, 1);
  mahjong.kuitan = 0, mahjong.con_en = 0;
  mahjong_vars_store();
  EXPECT_EQ(var("#kuitan@CONFIG")->i, 1);
  EXPECT_EQ(var("@ConEn@GLOBAL")->i, 1);
  var("#kuitan@CONFIG")->i = 0;  // the script changes it between two built-ins
  mahjong_vars_load();
  EXPECT_EQ(mahjong.kuitan, 0);
}

TEST_F(bridge_test, LeavesCellsOfAnotherTypeIntact) {
  make_all();
  make("@M_ba_kaze@GLOBAL", string_cell(string_block_new("east")));
  make("@M_dora#@GLOBAL", array_cell(array_block_new(TYPE_FLOAT_ARRAY, 1, 1, 12)));
  string_block* text = var("@M_ba_kaze@GLOBAL")->s;
  mahjong_vars_load();
  EXPECT_EQ(reported(), (std::vector<std::string>{"@M_ba_kaze@GLOBAL", "@M_dora#@GLOBAL"}));
  mahjong.ba_kaze = 2;
  mahjong.dora[0] = 0x7F000000;
  mahjong_vars_store();
  EXPECT_EQ(platform.boxes.size(), 4u);
  EXPECT_EQ(var("@M_ba_kaze@GLOBAL")->type, TYPE_STRING);
  EXPECT_EQ(var("@M_ba_kaze@GLOBAL")->s, text);
  EXPECT_STREQ(text->text, "east");
  EXPECT_EQ(array_numbers(var("@M_dora#@GLOBAL")->a)[0].f, 0.0f);
}

TEST_F(bridge_test, ExportBuiltinWritesTheLatestEvaluation) {
  make_all(14);
  hand_evaluation hand{};
  notation::hand("111m999p111s99s11z r1z", hand);
  std::copy(hand.tiles, hand.tiles + 14, numbers("@M_my_pre_te#@GLOBAL"));
  var("@M_my_kaze@GLOBAL")->i = 1;
  mahjong.yaku_no[5] = 99;  // an earlier export's line, past this list's end: kept
  mahjong_vars_load();
  EXPECT_EQ(mahjong_score_player(MAHJONG_HUMAN), 120);
  int32_t top = vm_frame->top;
  EXPECT_EQ(builtin_mahjong_export_result(0, 0), 0);
  EXPECT_EQ(vm_frame->top, top + 1);
  EXPECT_EQ(stack_top()->i, 0);
  const int32_t no[6] = {25, 27, 20, 46, -1, 99}, han[4] = {2, 2, 2, 1};  // the outside-hand line closed up
  EXPECT_TRUE(std::equal(no, no + 6, numbers("@M_yaku_no#@GLOBAL")));
  EXPECT_TRUE(std::equal(han, han + 4, numbers("@M_yaku_han#@GLOBAL")));
  EXPECT_EQ(var("@M_yaku_my_kaze@GLOBAL")->i, 1);
  EXPECT_EQ(var("@M_yaku_score@GLOBAL")->i * 1000 + var("@M_yaku_man_total@GLOBAL")->i, 120002);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
