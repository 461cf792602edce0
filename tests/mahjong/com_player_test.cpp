// The computer players' and luck built-ins through the dispatcher: chances, luck extremes, calls
// refused, and the target hand taken from the wall.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/random.h"
#include "mahjong/com_player.h"
#include "mahjong_notation.h"
#include "mahjong_vm_fixture.h"
#include "platform/platform.h"

namespace {

enum : uint32_t {
  H_COM_DRAW = 0xF0FD9886, H_CALL_CHANCE = 0x45E32EA6, H_COM_PON = 0xCA5C98F2, H_COM_CHI = 0xFB7FB744,
  H_RIG_HAND = 0xBEF4EDFA, H_HUMAN_DRAW = 0xD583668C, H_ADD_DORA = 0x2E99E98C, H_TAKE_TARGET = 0x0D36E2A7
};

// Computer 0's target: 123m 456p 789s 555z 11z, one set marker per slot.
const int32_t target_kinds[14] = {1, 2, 3, 14, 15, 16, 27, 28, 29, 35, 35, 35, 31, 31};
const int32_t target_sets[14] = {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 4, 4, 0, 0};

class com_player_test : public mahjong_vm_test {
 protected:
  void SetUp() override {
    mahjong_vm_test::SetUp();
    engine_srand(99);
    make_all();
    scalar("@M_maj_mode@GLOBAL") = 4, scalar("@M_com_yuusen@GLOBAL") = -1;
    for (const char* list : {"@M_com_sute#@GLOBAL", "@M_my_sute#@GLOBAL", "@M_dora#@GLOBAL", "@M_dora_ura#@GLOBAL"})
      std::fill_n(numbers(list), 120, -1);
    std::copy_n(target_kinds, 14, numbers("@M_com_end#@GLOBAL"));
    std::copy_n(target_sets, 14, numbers("@M_com_endnaki#@GLOBAL"));
    mahjong_wall_build(4);
  }
  static int32_t* com(const char* name, int a = 0) { return numbers(name) + 14 * a; }
};

TEST_F(com_player_test, CallChanceFallsWithTheDiscards) {
  struct { int discards, at_least, at_most; } cases[] = {{3, 1000, 1000}, {6, 620, 780}, {18, 240, 360}};
  for (const auto& c : cases) {
    std::fill_n(numbers("@M_com_sute#@GLOBAL"), c.discards, 110);
    int calls = 0;
    for (int i = 0; i < 1000; ++i) calls += call(H_CALL_CHANCE, {0}) < 13;
    EXPECT_TRUE(calls >= c.at_least && calls <= c.at_most) << c.discards << ": " << calls;
  }
}

TEST_F(com_player_test, LuckExtremesDecideWhetherDrawsLookAhead) {
  // A tenpai computer with bad luck 100 and the human without luck draw the next tile, always.
  com("@M_com_is_tenpai#@GLOBAL")[0] = 1, numbers("@com_unluck#@GLOBAL")[0] = 100;
  for (int i = 0; i < 50; ++i) {
    int next = mahjong_wall.tiles[mahjong_wall.next];
    ASSERT_EQ(call(i % 2 ? H_COM_DRAW : H_HUMAN_DRAW, {0}), next) << i;
  }
  // The luckiest human keeps the best of five by hint value.
  scalar("@M_my_luck@GLOBAL") = 115;
  std::fill_n(numbers("@M_my_pre_te#@GLOBAL"), 14, MAHJONG_FILLER);
  for (int i = 0; i < 13; ++i) numbers("@M_my_pre_te#@GLOBAL")[i] = mahjong_draw_tile();
  mahjong_vars_load();
  int32_t counts[MAHJONG_KINDS];
  mahjong_count_kinds(mahjong.my_pre_te, mahjong.my_naki_flag, counts);
  int best = 0;
  for (int i = 0; i < 5; ++i) best = std::max(best, mahjong_hint_value(mahjong_wall.tiles[mahjong_wall.next + i], counts));
  EXPECT_EQ(mahjong_hint_value(call(H_HUMAN_DRAW), counts), best);
}

// Each term of the hint value on its own, worked out by hand; guards that reach into the next suit.
TEST_F(com_player_test, HintValueCountsEachTermOfTheTile) {
  struct { mahjong_tile tile; std::vector<std::pair<int, int>> counts; int value; } cases[] = {
      {150, {}, 0},
      {150, {{15, 2}}, 2 * 2 + 1},   // the kind itself, an odd number of the suit
      {150, {{14, 1}}, 2},           // k - 1
      {150, {{16, 3}}, 6},           // k + 1
      {150, {{13, 1}}, 2 + 1},       // k - 2, odd
      {150, {{17, 2}}, 4 + 1},       // k + 2, odd
      {150, {{12, 3}}, 3},           // k - 3
      {150, {{18, 2}}, 2},           // k + 3
      {150, {{14, 1}, {16, 1}}, 2 + 2 + 5},  // the gap between two neighbours
      {150, {{11, 1}, {19, 4}}, 2},  // only odd numbers
      {210, {{19, 1}, {18, 1}, {22, 1}}, 2},  // a 1: nothing from the suit below
      {190, {{21, 1}, {22, 1}, {18, 1}}, 2},  // a 9: nothing from the suit above
      {310, {{31, 2}, {1, 1}, {9, 1}, {35, 1}, {14, 3}}, 5 * 2 + 4},  // honour: orphans held
  };
  mahjong_state_reset();
  std::fill_n(mahjong.my_pre_te, 14, MAHJONG_FILLER);
  std::fill_n(mahjong.dora, 12, -1), std::fill_n(mahjong.dora_ura, 12, -1);
  for (const auto& c : cases) {
    int32_t counts[MAHJONG_KINDS] = {};
    for (auto [kind, n] : c.counts) counts[kind] = n;
    EXPECT_EQ(mahjong_hint_value(c.tile, counts), c.value) << c.tile << " with " << c.counts.size();
  }
  // A winning tile: 1000 + the points. Dealer, East round: double East 2 han, 30 + 2 (white pair)
  // + 2 (pair wait) + 8 (concealed East triplet) = 50 fu: 6 x 800 = 4800, 48 hundreds.
  hand_evaluation e{};
  notation::hand("123m 456p 789s 111z 5z r5z", e);
  std::copy_n(e.tiles, 13, mahjong.my_pre_te);
  int32_t counts[MAHJONG_KINDS] = {};
  EXPECT_EQ(mahjong_hint_value(e.tiles[13], counts), 1048);
  EXPECT_EQ(mahjong.my_pre_te[13], MAHJONG_FILLER);
}

TEST_F(com_player_test, PonNeedsTwoUndrawnTilesOfTheKind) {
  numbers("@M_com_do_naki#@GLOBAL")[0] = 1;
  scalar("@M_last_sute@GLOBAL") = 350, scalar("@M_last_sute_pl@GLOBAL") = 1;
  mahjong_take_kind(35), mahjong_take_kind(35);  // the discard and one more: two left
  numbers("@M_com_sute#@GLOBAL")[0] = 351;  // its own discard of the kind
  EXPECT_EQ(call(H_COM_PON, {0}), 0);
  numbers("@M_com_sute#@GLOBAL")[0] = -1;
  EXPECT_EQ(call(H_COM_PON, {0}), 1);
  // The pon stands first, marked for computer 1 on the third slot; the target moved with it.
  const int32_t* hand = com("@M_com_pre_te#@GLOBAL");
  EXPECT_TRUE(hand[0] == 350 && tile_kind(hand[1]) == 35 && tile_kind(hand[2]) == 35);
  EXPECT_EQ(std::vector<int>(com("@M_com_naki_flag2#@GLOBAL"), com("@M_com_naki_flag2#@GLOBAL") + 3), std::vector<int>({0, 0, 1}));
  EXPECT_TRUE(com("@M_com_end#@GLOBAL")[0] == 35 && com("@M_com_end#@GLOBAL")[3] == 1 && com("@M_com_end2#@GLOBAL")[1] == hand[1]);
  EXPECT_EQ(mahjong_wall_left(35), 0);
  // A second pon of the kind finds nothing left.
  std::copy_n(target_kinds, 14, numbers("@M_com_end#@GLOBAL")), std::fill_n(com("@M_com_naki_flag#@GLOBAL"), 14, 0);
  std::copy_n(target_sets, 14, numbers("@M_com_endnaki#@GLOBAL"));
  mahjong_return_to_wall(351);
  EXPECT_EQ(call(H_COM_PON, {0}), 0);
}

TEST_F(com_player_test, ChiIsRefusedByChanceMoreOftenWithoutTheCallTendency) {
  scalar("@M_last_sute@GLOBAL") = 150;  // the middle of 456p
  for (int tendency : {1, 2}) {
    numbers("@M_com_do_naki#@GLOBAL")[0] = tendency;
    int calls = 0;
    for (int i = 0; i < 400; ++i) {
      std::fill_n(com("@M_com_naki_flag#@GLOBAL"), 14, 0);
      std::copy_n(target_kinds, 14, numbers("@M_com_end#@GLOBAL"));
      std::copy_n(target_sets, 14, numbers("@M_com_endnaki#@GLOBAL"));
      if (call(H_COM_CHI, {0})) {
        ++calls;
        EXPECT_TRUE(com("@M_com_pre_te#@GLOBAL")[1] == 150 && com("@M_com_naki_flag2#@GLOBAL")[1] == 1);
        mahjong_return_to_wall(com("@M_com_pre_te#@GLOBAL")[0]), mahjong_return_to_wall(com("@M_com_pre_te#@GLOBAL")[2]);
      }
    }
    EXPECT_NEAR(calls, tendency == 2 ? 200 : 100, 40) << tendency;
  }
}

TEST_F(com_player_test, RiggedHandTakesTheTargetAndGivesUpOneTile) {
  // Computer 1 takes seven pairs whole.
  const int pairs[7] = {11, 12, 13, 17, 18, 19, 21};
  for (int s = 0; s < 14; ++s) com("@M_com_end#@GLOBAL", 1)[s] = pairs[s / 2];
  EXPECT_EQ(call(H_TAKE_TARGET, {1}), 1);
  for (int s = 0; s < 14; ++s) EXPECT_EQ(tile_kind(com("@M_com_pre_te#@GLOBAL", 1)[s]), pairs[s / 2]) << s;
  numbers("@com_lvl#@GLOBAL")[0] = 6;  // gives up slot 13
  EXPECT_EQ(call(H_RIG_HAND, {0, 110}), 1);
  const int32_t* hand = com("@M_com_pre_te#@GLOBAL");
  for (int s = 0; s < 13; ++s) EXPECT_EQ(tile_kind(hand[s]), target_kinds[s]) << s;
  EXPECT_EQ(hand[13], MAHJONG_FILLER);
  EXPECT_TRUE(mahjong_wall_left(31) == 3 && mahjong_wall_left(35) == 1);  // one East went back
  // The wall no longer holds a second 555z: no target.
  mahjong_take_kind(35);
  EXPECT_EQ(call(H_RIG_HAND, {0, 110}), 0);
}

TEST_F(com_player_test, DoraPickOfAFewestMatchStyleAvoidsTheTarget) {
  // Computer 0 wants kind 12: an indicator of kind 11 matches all 14 slots. The four 11s lead.
  std::fill_n(numbers("@M_com_end#@GLOBAL"), 14, 12);
  for (int i = 0; i < 4; ++i)
    std::swap(mahjong_wall.tiles[i], *std::find(mahjong_wall.tiles + i, mahjong_wall.tiles + 136, 110 + i));
  scalar("@M_maj_mode@GLOBAL") = 2;
  for (int style : {96, 82}) {
    numbers("@com_lvl#@GLOBAL")[0] = style;
    call(H_ADD_DORA);
  }
  EXPECT_EQ(tile_kind(numbers("@M_dora#@GLOBAL")[0]), 11);  // most matches: the first 11 stays
  EXPECT_NE(tile_kind(numbers("@M_dora#@GLOBAL")[1]), 11);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(com_player_test, LookAheadsTakeTheLastTileThenNothingAndLeaveTheEvaluation) {
  // A lucky tenpai computer, a plain one, the luckiest human, a ten-try dora pick.
  com("@M_com_is_tenpai#@GLOBAL")[0] = 1, numbers("@com_luck#@GLOBAL")[0] = 100;
  scalar("@M_my_luck@GLOBAL") = 115, numbers("@com_lvl#@GLOBAL")[0] = 96;
  std::fill_n(numbers("@M_my_pre_te#@GLOBAL"), 14, MAHJONG_FILLER);
  mahjong_eval.fu = 1234;
  while (mahjong_wall_free_total() > 1) mahjong_draw_tile();
  mahjong_tile last = mahjong_wall.tiles[mahjong_wall.next];
  for (auto [hash, player] : {std::pair{H_COM_DRAW, 0}, {H_COM_DRAW, 1}, {H_HUMAN_DRAW, 0}}) {
    EXPECT_EQ(call(hash, {player}), last) << player;
    EXPECT_TRUE(call(hash, {player}) == -1 && mahjong_wall.next == 136) << player;
    mahjong_return_to_wall(last);
  }
  call(H_ADD_DORA), call(H_ADD_DORA);  // the second finds the wall empty
  EXPECT_TRUE(numbers("@M_dora#@GLOBAL")[0] == last && numbers("@M_dora_ura#@GLOBAL")[0] == -1);
  EXPECT_TRUE(numbers("@M_dora#@GLOBAL")[1] == -1 && mahjong_wall.next == 136);
  EXPECT_EQ(mahjong_eval.fu, 1234);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(com_player_test, SeatsThatAreNoComputerAreReportedAndChangeNothing) {
  for (int i = 0; i < 12; ++i) platform.queued_answers.push_back(IDRETRY);
  for (int seat : {3, 5})
    for (uint32_t h : {H_COM_DRAW, H_CALL_CHANCE, H_COM_PON, H_COM_CHI, H_RIG_HAND, H_TAKE_TARGET}) EXPECT_EQ(call(h, {seat}), 0);
  EXPECT_TRUE(platform.boxes.size() == 12 && mahjong_wall.next == 0);
}

}  // namespace
