// The hand evaluator on hands in the compact notation. Expected points are the usual score-table
// figures (in hundreds), read independently of the code; fu are counted by hand.
#include <gtest/gtest.h>

#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong_notation.h"

namespace {

class evaluator_test : public ::testing::Test {
 protected:
  void SetUp() override { mahjong_eval_reset(), mahjong_state_reset(); }
  void TearDown() override { SetUp(); }
  hand_evaluation& load(const char* hand, const char* context) {
    notation::hand(hand, mahjong_eval);
    notation::context(context, mahjong_eval);
    return mahjong_eval;
  }
};

struct scored_hand {
  const char* hand;
  const char* context;
  const char* yaku;  // the best reading's list
  int fu, han, ron;
  int dealer_share = -1, other_share = -1;  // checked when given
};

const scored_hand scored_hands[] = {
    // Riichi, all runs, the self-drawn all-runs hand under each rule.
    {"234m456p789s23s55p r4s", "riichi", "立直1 平和1", 30, 2, 20},
    {"234m456p789s23s55p t4s", "", "平和1 自摸1", 20, 2, 13, 7, 4},
    {"234m456p789s23s55p t4s", "rules", "自摸1", 30, 1, 10, 5, 3},
    {"234m456p789s23s55p t4s", "rules tumopin", "平和1 自摸1", 20, 2, 13, 7, 4},
    {"234m456p789s23s55p r4s", "double ippatsu", "ダブル立直2 一発1 平和1", 30, 4, 77},
    {"234m456p789s23s55p t4s", "last kan", "平和1 ハイテイ1 嶺上開花1 自摸1", 20, 4, 52, 26, 13},
    {"234m456p789s23s55p r4s", "seat=E first", "平和1", 30, 1, 15},
    // Open all-simples under each rule; the 20-fu rule with one yaku and with two.
    {"234m456p67s55p c678m r8s", "", "タンヤオ1", 30, 1, 10},
    {"234m456p67s55p c678m r8s", "rules", "", 0, 0, 0},
    {"234m456p67s55p c678m r8s", "rules kuitan", "タンヤオ1", 30, 1, 10},
    {"234m234p67m55p c234s r8m", "", "三色同順1 タンヤオ1", 20, 2, 13},
    // Ordinary yaku.
    {"223344m567p78s55s r6s", "riichi", "立直1 平和1 一盃口1 タンヤオ1", 30, 4, 77},
    {"1122334455667m r7m", "", "平和1 清一色6 二盃口3", 30, 10, 160},
    {"123456789m23p55s r4p", "", "平和1 一気通貫2", 30, 3, 39},
    {"123456m23p55s c789m r4p", "", "一気通貫1", 30, 1, 10},
    {"123m123p12s789s55m r3s", "", "三色同順2", 40, 2, 26},
    {"222m222p222s56m55p r4m", "", "三色同刻2 三暗刻2 タンヤオ1", 50, 5, 80},
    {"23m55p p222s p333s p444s r4m", "", "三連刻2 タンヤオ1", 30, 3, 39},
    {"22m88s p555z p999p p777s r2m", "", "対々和2 白1", 40, 3, 52},
    {"123m789p12s789s11z r3s", "", "チャンタ2", 40, 2, 26},
    {"123m789p12s99m c789s r3s", "", "ジュンチャン2", 30, 2, 20},
    {"111m999p111s99s11z r1z", "", "三暗刻2 対々和2 混老頭2 東1", 60, 7, 120},
    {"555666z77z123m45p r6p", "", "小三元2 白1 発1", 50, 4, 80},
    {"123456m78m99m p777z r9m", "", "混一色2 一気通貫1 中1", 30, 4, 77},
    {"789s5p k2222m k3333p a4444s r5p", "", "三槓子2", 60, 2, 39},
    {"111m333p555s77s99s r9s", "", "三暗刻2 対々和2", 60, 4, 80},
    // Value honours: a double wind once; else the smaller wind first.
    {"234m456p78s55p p111z r9s", "seat=E", "ダブ東2", 30, 2, 29},
    {"234m456p78s55p p222z r9s", "round=S", "ダブ南2", 30, 2, 20},
    {"234m456p78s55p p333z r9s", "seat=W round=W", "ダブ西2", 30, 2, 20},
    {"234m456p78s55p p444z r9s", "seat=N round=N", "ダブ北2", 30, 2, 20},
    {"234m78s55p p111z p222z r9s", "", "東1 南1", 30, 2, 20},
    {"234m78s55p p444z p333z r9s", "seat=N round=W", "西1 北1", 30, 2, 20},
    // Seven pairs.
    {"1133m5577p2288s1z r1z", "", "七対子2", 25, 2, 16},
    {"2233m5577p2288s6s t6s", "riichi", "立直1 七対子2 タンヤオ1 自摸1", 25, 5, 80, 40, 20},
    {"1199m11223355z6z r6z", "", "混一色3 混老頭2 七対子2", 25, 7, 120},
    {"1122445577889m r9m", "", "清一色6 七対子2", 25, 8, 160},
    {"1122334455667z r7z", "", "字一色100", 25, 100, 320},
    {"1133m5577p2288s1z t1z", "seat=E first", "天和100", 25, 100, 480, 160, 160},
    // Yakuman, counted.
    {"19m19p19s1234567z r1m", "", "国士無双100", 30, 100, 320},
    {"19m19p19s1234567z t1m", "seat=E first", "天和100 国士無双100", 30, 200, 960, 320, 320},
    {"234m456p789s23s55p t4s", "seat=E first", "天和100", 30, 100, 480, 160, 160},
    {"234m456p789s23s55p t4s", "first", "地和100", 30, 100, 320, 160, 80},
    {"234m456p789s23s55p r4s", "first", "人和100", 30, 100, 320},
    {"555666777111z2z r2z", "", "字一色100 大三元100 四暗刻単騎200", 70, 400, 960},
    {"111m333p555s77s99s t9s", "", "四暗刻100", 50, 100, 320, 160, 80},
    {"555m9p p222m p333m p444m r9p", "", "四連刻100", 40, 100, 320},
    {"9p k1111m k2222p k3333s a4444s r9p", "", "四槓子100", 70, 100, 320},
    {"444z9m p111z p222z p333z r9m", "", "大四喜200", 50, 200, 640},
    {"333z44z99m p111z p222z r9m", "", "小四喜100", 50, 100, 320},
    {"111p999p1s p111m p999m r1s", "", "清老頭100", 50, 100, 320},
    {"234s666s888s666z2s r2s", "", "緑一色100", 50, 100, 320},
    {"2233445566778p r8p", "", "大車輪100", 30, 100, 320},
    {"1112345678999m r5m", "", "九連宝燈100", 50, 100, 320},
    {"6777788889999m r6m", "", "百万石100", 30, 100, 320},
    {"5566667788m a9999m r8m", "", "百万石100", 70, 100, 320},
    // Dora: indicators, a kan's fourth tile, red fives by rule, the cap, 5 and 6 han.
    {"234m456p789s23s55p r4s", "riichi dora=1m", "立直1 平和1 ドラ1", 30, 3, 39},
    {"234m456p789s23s55p r4s", "riichi dora=1m3m", "立直1 平和1 ドラドラ2", 30, 4, 77},
    {"234m456p789s23s55p r4s", "riichi dora=4p", "立直1 平和1 ドラ３3", 30, 5, 80},
    {"234m456p789s23s55p r4s", "riichi seat=E dora=4p", "立直1 平和1 ドラ３3", 30, 5, 120},
    {"234m456p789s23s55p t4s", "riichi dora=4p1m", "立直1 平和1 自摸1 ドラ４4", 20, 7, 120, 60, 30},
    {"234m456p789s23s55p t4s", "riichi seat=E dora=4p1m", "立直1 平和1 自摸1 ドラ４4", 20, 7, 180, 60, 60},
    {"789s5p k2222m k3333p a4444s r5p", "dora=1m", "三槓子2 ドラ４4", 60, 6, 120},
    {"2233m5577p2288s6s t6s", "riichi dora=1m2m4p6p1s7s5s", "立直1 七対子2 タンヤオ1 自摸1 ドラ爆13", 25, 18, 320, 160, 80},
    {"234m406p789s23s55p r4s", "riichi dora=1z", "立直1 平和1", 30, 2, 20},
    {"234m406p789s23s55p r4s", "riichi dora=1z rules", "立直1 平和1", 30, 2, 20},
    {"234m406p789s23s55p r4s", "riichi dora=1z rules akau", "立直1 平和1 ドラ1", 30, 3, 39},
    {"234m406p789s23s55p r4s", "riichi dora=1z players=2", "立直1 平和1 ドラ1", 30, 3, 39},
    // Nine yaku: the eighth line takes the ninth.
    {"234234m234p23s55s t4s", "riichi ippatsu last kan", "立直1 一発1 平和1 三色同順2 一盃口1 タンヤオ1 ハイテイ1 その他2", 20, 10, 160, 80, 40},
    // Faults mended: a reading without yaku no longer hides a later one; the wait tests leave
    // open melds out; nine gates wants a hand without any meld.
    {"5556788m999s333z r8m", "", "三暗刻2", 60, 2, 39},
    {"55p999m111s77s c456p r5p", "", "", 0, 0, 0},
    {"2345678899m a1111m r9m", "", "清一色6", 70, 6, 120},
};

TEST_F(evaluator_test, ScoresEveryYakuWithItsFuHanAndPayments) {
  for (const scored_hand& c : scored_hands) {
    SCOPED_TRACE(std::string(c.hand) + " | " + c.context);
    hand_evaluation& e = load(c.hand, c.context);
    EXPECT_EQ(mahjong_evaluate_yaku(&e), c.ron);
    EXPECT_EQ(notation::yaku(e.yaku), c.yaku);
    EXPECT_EQ(e.fu * 1000 + e.han, c.fu * 1000 + c.han) << "fu * 1000 + han";
    if (c.dealer_share >= 0) {
      EXPECT_EQ(e.tsumo_dealer * 1000 + e.tsumo_other, c.dealer_share * 1000 + c.other_share);
    }
  }
}

// Fu of the first reading before rounding, one component at a time.
const struct { const char *hand, *context; int fu; } fu_hands[] = {
    {"234m456p789s23s55p r4s", "", 30},              // closed discard win, two-sided wait
    {"234m456p789s23s55p t4s", "", 22},              // self-drawn
    {"234m456p67s55p c678m r8s", "", 20},            // open discard win
    {"12m456p789s345s77p r3m", "", 32},              // edge wait on 3
    {"89m456p789s345s77p r7m", "", 32},              // edge wait on 7
    {"13m456p789s345s77p r2m", "", 32},              // closed wait
    {"123m456p789s345s7p r7p", "", 32},              // single wait
    {"111m456p345s77p88s r8s", "", 42},              // triplet wait: 2, and its triplet halved to 2
    {"111m456p345s77p88s t8s", "", 36},              // the same self-drawn: the triplet stays concealed
    {"123m456p78s345s22z r9s", "", 32},              // seat wind pair
    {"123m456p78s345s11z r9s", "", 32},              // round wind pair
    {"123m456p78s345s11z r9s", "seat=E", 32},        // double wind pair: 2, not 4
    {"123m456p78s345s77z r9s", "", 32},              // dragon pair
    {"234m78s55p p333s p999m r9s", "", 26},          // open pons 2 and 4
    {"234m78s55p k2222m a1111z r9s", "", 60},        // open kan 8, concealed honour kan 32
    {"234m456p78s55p a9999m r9s", "", 62},           // concealed terminal kan: closed
    {"222m456p78s345s55p r9s", "", 34},              // concealed simple triplet
    {"1133m5577p2288s1z r1z", "", 25},               // seven pairs
    {"19m19p19s1234567z r1m", "", 30},               // thirteen orphans
    {"55p999m111s77s c456p r5p", "", 40},            // an open chi is no closed wait
};

TEST_F(evaluator_test, CountsEachFuComponent) {
  for (const auto& c : fu_hands) {
    SCOPED_TRACE(std::string(c.hand) + " | " + c.context);
    hand_evaluation& e = load(c.hand, c.context);
    mahjong_count_fu(&e);
    EXPECT_EQ(mahjong_readings[0].fu, c.fu);
  }
}

TEST_F(evaluator_test, ReadsEqualTilesAsTripletsOnePerPairCandidate) {
  hand_evaluation& e = load("1122334455667m r7m", "");
  EXPECT_EQ(mahjong_win_shape(e.tiles, e.melds), 2);  // seven pairs first
  mahjong_count_fu(&e);
  EXPECT_EQ(mahjong_readings[0].pair_kind * 100 + mahjong_readings[1].pair_kind * 10 + mahjong_readings[2].pair_kind, 147);
  EXPECT_EQ(mahjong_readings[3].shape, SHAPE_END);  // no seven-pairs reading beside three
  // 111 222 333m: three triplets, never three identical runs.
  load("111222333m456p5s r5s", "");
  mahjong_count_fu(&e);
  EXPECT_EQ(mahjong_readings[0].set_type[0] + mahjong_readings[0].set_type[1] + mahjong_readings[0].set_type[2], 0);
  EXPECT_EQ(mahjong_readings[1].shape, SHAPE_END);
  EXPECT_EQ(mahjong_win_shape(load("19m19p19s1234567z r1m", "").tiles, e.melds), 3);
  EXPECT_EQ(mahjong_win_shape(load("234m456p789s23s55p r4s", "").tiles, e.melds), 1);
  EXPECT_EQ(mahjong_win_shape(load("234m456p789s23s55p r9s", "").tiles, e.melds), 0);
}

TEST_F(evaluator_test, FindsWaits) {
  const struct { const char* hand; std::vector<int> waits; } cases[] = {
      {"1112345678999m", {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"1112345678999m r6z", {1, 2, 3, 4, 5, 6, 7, 8, 9}},  // slot 13 is left out
      {"19m19p19s1234567z", {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37}},
      {"1133m5577p2288s1z", {31}},
      {"23m456p789s55s p111z", {1, 4}},
      {"1111m456p789s345s", {}},  // only a fifth 1m would complete it
      {"1357m2468p13579s", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hand);
    hand_evaluation& e = load(c.hand, "");
    int drawn = e.tiles[13];
    int n = mahjong_hand_waits(&e);
    EXPECT_EQ(std::vector<int>(e.waits, e.waits + n + 1), [&] { auto w = c.waits; w.push_back(-1); return w; }());
    EXPECT_EQ(e.waits, mahjong_waits_list());
    EXPECT_EQ(e.tiles[13], drawn);
  }
}

TEST_F(evaluator_test, ExportsYakuNumbersAndLimitClass) {
  load("555666777111z2z r2z", "");
  mahjong_evaluate_yaku(&mahjong_eval);
  mahjong_export_result();
  EXPECT_EQ(mahjong.yaku_no[2], 15);  // 四暗刻単騎, not 四暗刻
  load("2233m5577p2288s6s t6s", "riichi dora=1m2m4p6p1s7s5s");
  mahjong_evaluate_yaku(&mahjong_eval);
  mahjong_export_result();
  EXPECT_EQ(mahjong.yaku_no[4], 60);
  EXPECT_EQ(mahjong.yaku_is_tumo + mahjong.yaku_is_reach, 2);
  EXPECT_EQ(mahjong.yaku_score_oya * 1000 + mahjong.yaku_score_ko, 160080);
  const struct { int seat, ron, limit_class; } classes[] = {{1, 79, 0}, {1, 80, 1}, {1, 120, 2}, {1, 160, 3}, {1, 240, 4}, {1, 320, 5},
                 {1, 640, 6}, {1, 960, 7}, {0, 119, 0}, {0, 120, 1}, {0, 1440, 7}};
  for (const auto& c : classes) {
    mahjong_eval.seat_wind = c.seat, mahjong_eval.ron = c.ron;
    mahjong_export_result();
    EXPECT_EQ(mahjong.yaku_man_total, c.limit_class) << c.seat << " " << c.ron;
  }
}

TEST_F(evaluator_test, ScoresPlayersWithTheDoraRulesOfTheState) {
  hand_evaluation hand{};
  notation::hand("234m406p789s23s55p r4s", hand);
  // Dora 2m and 4m (one each); ura-dora 5p (three with the red one) and 8s (one).
  const int dora[3] = {10, 30, -1}, ura[3] = {143, 273, -1};
  const struct { int con_en, kandora, uradora, akau, players, riichi, han; } cases[] = {
      {0, 0, 0, 0, 4, 1, 2 + 2 + 4},  // every switch on, red fives off
      {0, 0, 0, 0, 4, 0, 1 + 2},      // no ura-dora without riichi
      {1, 1, 1, 0, 4, 1, 2 + 2 + 4},
      {1, 0, 1, 0, 4, 1, 2 + 1 + 3},  // first dora and first ura-dora only
      {1, 1, 0, 0, 4, 1, 2 + 2},
      {1, 0, 0, 0, 4, 1, 2 + 1},
      {1, 1, 1, 1, 4, 1, 2 + 2 + 4 + 1},
      {0, 0, 0, 0, 2, 1, 2 + 2 + 4 + 1},
  };
  for (int player : {3, 1}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "player " << player << " case " << &c - cases);
      mahjong_state_reset();
      mahjong_state& m = mahjong;
      m.con_en = c.con_en, m.kandora = c.kandora, m.uradora = c.uradora, m.akau = c.akau, m.maj_mode = c.players;
      std::copy(dora, dora + 3, m.dora), std::copy(ura, ura + 3, m.dora_ura);
      bool human = player == MAHJONG_HUMAN;
      (human ? m.my_kaze : m.com_kaze[1]) = 1;
      (human ? m.my_is_reach : m.com_is_reach[1]) = c.riichi;
      std::copy(hand.tiles, hand.tiles + 14, human ? m.my_pre_te : m.com_pre_te[1]);
      mahjong_score_player(player);
      EXPECT_EQ(mahjong_eval.han, c.han);
    }
  }
}

}  // namespace
