// The table built-ins through the dispatcher, on the game's script variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "base/int32.h"
#include "base/random.h"
#include "mahjong_notation.h"
#include "mahjong_vm_fixture.h"
#include "platform/platform.h"

namespace {

enum : uint32_t {
  H_BUILD_WALL = 0xFAF17B1C, H_SET_SEATS = 0x1F5A14D4, H_MY_DEAL = 0xF5E5BE93, H_SORT_HAND = 0xEBB5886C,
  H_DRAW = 0x62442EC6, H_DRAW_KIND = 0x1CD5BCA8, H_PUT_BACK = 0xDA60F137, H_IS_FURITEN = 0x6DDEB30E,
  H_WAIT_COUNT = 0x23D5D11D, H_CAN_WIN = 0x5C9761C5, H_CAN_REACH = 0x2C18D5A9, H_COM_CAN_WIN = 0xAEFC64DA,
  H_DRAW_PAYMENTS = 0x50CD2DCA, H_KAN = 0x850EECF4, H_PON = 0xD481E1A2, H_CHI = 0xE5A2CE14, H_CAN_KAN = 0xB758AC4E,
  H_ADD_DORA = 0x2E99E98C
};

// Kind (or "-") and meld state of every slot.
std::string layout(const int32_t* tiles, const int32_t* states) {
  std::string s;
  for (int i = 0; i < 14; ++i) s += (tile_is_tile(tiles[i]) ? std::to_string(tiles[i] / 10) : "-") + "/" + std::to_string(states[i]) + " ";
  return s;
}

class table_builtins_test : public mahjong_vm_test {
 protected:
  void SetUp() override {
    mahjong_vm_test::SetUp();
    engine_srand(7);
    make_all();
    // Reports are answered with Retry, so that the script goes on.
    for (int i = 0; i < 16; ++i) platform.queued_answers.push_back(IDRETRY);
  }
  // The human's hand from the notation; its layout.
  std::string human_hand(const char* text) {
    hand_evaluation e{};
    notation::hand(text, e);
    std::copy_n(e.tiles, 14, numbers("@M_my_pre_te#@GLOBAL"));
    std::copy_n(e.melds, 14, numbers("@M_my_naki_flag#@GLOBAL"));
    std::copy_n(e.from, 14, numbers("@M_my_naki_flag2#@GLOBAL"));
    return layout(e.tiles, e.melds);
  }
};

TEST_F(table_builtins_test, BuildDealAndDrawKeepTheWallWhole) {
  scalar("@M_maj_mode@GLOBAL") = 3;
  EXPECT_EQ(call(H_BUILD_WALL), 0);
  EXPECT_TRUE(scalar("@M_pi_tumo_nokori@GLOBAL") == 55 && mahjong_wall.size == 108);
  call(H_MY_DEAL);
  int32_t* hand = numbers("@M_my_pre_te#@GLOBAL");
  EXPECT_TRUE(std::is_sorted(hand, hand + 13) && hand[13] == MAHJONG_FILLER && mahjong_wall.next == 13);
  int32_t t = call(H_DRAW);
  EXPECT_EQ(mahjong_wall.tiles[13], t);
  EXPECT_TRUE(call(H_PUT_BACK, {t}) == 0 && mahjong_wall.next == 13);
  EXPECT_EQ(tile_kind(call(H_DRAW_KIND, {37})), 37);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(table_builtins_test, OutOfRangeArgumentsReportAndChangeNothing) {
  EXPECT_EQ(call(H_DRAW), -1);  // never built
  scalar("@M_maj_mode@GLOBAL") = 5;
  call(H_BUILD_WALL);
  EXPECT_EQ(mahjong_wall.size, 0);
  call(H_MY_DEAL);  // no wall to deal from
  EXPECT_EQ(numbers("@M_my_pre_te#@GLOBAL")[13], 0);
  scalar("@M_maj_mode@GLOBAL") = 2;
  call(H_BUILD_WALL);
  // Computer 1 is not at a two-player table.
  numbers("@M_com_pre_te#@GLOBAL")[14 + 0] = 300, numbers("@M_com_pre_te#@GLOBAL")[14 + 1] = 100;
  call(H_SORT_HAND, {1}), call(H_SORT_HAND, {-1});
  EXPECT_EQ(numbers("@M_com_pre_te#@GLOBAL")[14], 300);
  EXPECT_EQ(call(H_PUT_BACK, {110}), 0);  // nothing drawn yet
  EXPECT_TRUE(call(H_DRAW_KIND, {38}) == -1 && mahjong_wall.next == 0);
  EXPECT_EQ(platform.boxes.size(), 6u);
}

TEST_F(table_builtins_test, SeatWindsFollowTheFirstDealerAndRotations) {
  struct { int players, dealer, rotations, com[3], human; } cases[] = {
      {2, 0, 0, {0, 0, 0}, 2}, {2, 3, 0, {2, 0, 0}, 0}, {2, 0, 1, {2, 0, 0}, 0}, {3, 3, 0, {1, 2, 0}, 0},
      {3, 0, 1, {2, 0, 0}, 1}, {4, 1, 0, {3, 0, 1}, 2}, {4, 3, 2, {3, 0, 1}, 2},
      // Rotations near INT_MAX count on as far as they go.
      {2, 0, INT_MAX - 1, {0, 0, 0}, 2}, {2, 0, INT_MAX, {2, 0, 0}, 0}, {2, 3, INT_MAX, {0, 0, 0}, 2},
      {3, 0, INT_MAX, {2, 0, 0}, 1}, {4, 1, INT_MAX, {0, 1, 2}, 3}};
  for (const auto& c : cases) {
    scalar("@M_maj_mode@GLOBAL") = c.players, scalar("@M_tatioya@GLOBAL") = c.dealer;
    scalar("@M_ba_mawari@GLOBAL") = c.rotations;
    std::fill_n(numbers("@M_com_kaze#@GLOBAL"), 3, 0);
    call(H_SET_SEATS);
    for (int p = 0; p < c.players - 1; ++p)
      EXPECT_EQ(numbers("@M_com_kaze#@GLOBAL")[p], c.com[p]) << c.players << "/" << c.dealer << "/" << p;
    EXPECT_EQ(scalar("@M_my_kaze@GLOBAL"), c.human) << c.players << "/" << c.dealer;
  }
}

TEST_F(table_builtins_test, WaitsAndFuritenAgreeWithTheWaitFinderAndLeaveTheEvaluation) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  // discard: one by the seat, computer 1 or the human.
  struct { const char* hand; int player, waits; mahjong_tile discard; int furiten; } cases[] = {
      {"123m 456p 789s 11z 23s", 1, 2, 340, 0},  // 1s 4s; a North discarded
      {"123m 456p 789s 11z 23s", 1, 2, 212, 1},  // 1s discarded
      {"c123m 456p 789s 555z 1z", 3, 1, 311, 1},  // a single wait on East
      {"123m 456p 789s 1z 2z 3z 4z", 3, 0, 221, 0},
  };
  mahjong_eval.fu = 1234;
  for (const auto& c : cases) {
    hand_evaluation e{};
    notation::hand(c.hand, e);
    bool human = c.player == MAHJONG_HUMAN;
    std::copy_n(e.tiles, 14, numbers(human ? "@M_my_pre_te#@GLOBAL" : "@M_com_pre_te#@GLOBAL") + (human ? 0 : 14));
    std::copy_n(e.melds, 14, numbers(human ? "@M_my_naki_flag#@GLOBAL" : "@M_com_naki_flag#@GLOBAL") + (human ? 0 : 14));
    int32_t* discards = numbers(human ? "@M_my_sute#@GLOBAL" : "@M_com_sute#@GLOBAL") + (human ? 0 : 40);
    discards[0] = c.discard, discards[1] = -1;
    EXPECT_EQ(mahjong_hand_waits(&e), c.waits) << c.hand;
    EXPECT_EQ(call(H_WAIT_COUNT, {c.player}), c.waits) << c.hand;
    EXPECT_EQ(call(H_IS_FURITEN, {c.player}), c.furiten) << c.hand;
  }
  EXPECT_EQ(mahjong_eval.fu, 1234);
  EXPECT_EQ(call(H_WAIT_COUNT, {4}), 0);
  EXPECT_EQ(platform.boxes.size(), 1u);
}

TEST_F(table_builtins_test, WinTestsScoreTheHandAndKeepTheEvaluation) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  hand_evaluation e{};
  notation::hand("123m 456p 789s 99m 23s r1s", e);  // pinfu
  std::copy_n(e.tiles, 14, numbers("@M_my_pre_te#@GLOBAL"));
  std::copy_n(e.tiles, 14, numbers("@M_com_pre_te#@GLOBAL") + 28);
  EXPECT_EQ(call(H_CAN_WIN), 1);
  int32_t points = call(H_COM_CAN_WIN, {2});
  EXPECT_TRUE(points > 0 && mahjong_eval.ron == points) << points;
  EXPECT_TRUE(call(H_COM_CAN_WIN, {1}) == 0 && mahjong_eval.ron == 0);  // an empty hand
}

TEST_F(table_builtins_test, RiichiMarksTheDiscardsThatKeepTheHandWaiting) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  struct { const char *hand; int riichi, result; const char* flags; } cases[] = {
      {"123m 456p 789s 99m 23s t5z", 0, 1, "00000000000001"},  // only the drawn white
      {"123m 456p 789s 99m 23s t5z", 1, 0, "00000000000000"},  // in riichi already
      {"c123m 456p 789s 99m 23s t5z", 0, 0, "00000000000000"},  // open
      {"a1111m 456p 789s 99m 23s t4s", 0, 1, "00011111111111"},  // complete: any tile
  };
  for (const auto& c : cases) {
    hand_evaluation e{};
    notation::hand(c.hand, e);
    std::copy_n(e.tiles, 14, numbers("@M_my_pre_te#@GLOBAL"));
    std::copy_n(e.melds, 14, numbers("@M_my_naki_flag#@GLOBAL"));
    std::fill_n(numbers("@M_reach_sel_stat#@GLOBAL"), 14, 1);
    scalar("@M_my_is_reach@GLOBAL") = c.riichi;
    EXPECT_EQ(call(H_CAN_REACH), c.result) << c.hand;
    std::string flags;
    for (int i = 0; i < 14; ++i) flags += char('0' + numbers("@M_reach_sel_stat#@GLOBAL")[i]);
    EXPECT_EQ(flags, c.flags) << c.hand;
    EXPECT_EQ(numbers("@M_my_pre_te#@GLOBAL")[13], e.tiles[13]);  // the hand as it was
  }
}

TEST_F(table_builtins_test, DrawPaymentsFollowThePlayerAndTenpaiCounts) {
  // Scores wrap at the ends of the int range, as the engine's always did.
  struct { int players, in_suv, com_tenpai[3]; bool human_tenpai; int com_change[3], human_change, dealer_tenpai, base = 250; }
  cases[] = {
      {4, 0, {0, 1, 0}, false, {-10, 30, -10}, -10, 0, INT32_MIN + 5}, {4, 0, {1, 1, 0}, true, {10, 10, -30}, 10, 1, INT32_MAX},
      {4, 0, {0, 1, 0}, false, {-10, 30, -10}, -10, 0}, {4, 1, {0, 1, 0}, false, {-10, 0, -10}, -10, 0},
      {4, 0, {1, 1, 0}, true, {10, 10, -30}, 10, 1},    {4, 0, {1, 1, 1}, true, {0, 0, 0}, 0, 1},
      {3, 0, {1, 0, 0}, true, {15, -30, 0}, 15, 1},     {2, 0, {0, 0, 0}, true, {-15, 0, 0}, 15, 0}};
  hand_evaluation waiting{};
  notation::hand("123m 456p 789s 11z 23s", waiting);
  for (const auto& c : cases) {
    scalar("@M_maj_mode@GLOBAL") = c.players, scalar("@InSuv@GLOBAL") = c.in_suv;
    std::fill_n(numbers("@M_com_score#@GLOBAL"), 3, c.base), scalar("@M_my_score@GLOBAL") = c.base;
    std::copy_n(c.com_tenpai, 3, numbers("@M_com_is_tenpai#@GLOBAL"));
    for (int p = 0; p < 3; ++p) numbers("@M_com_kaze#@GLOBAL")[p] = p;  // computer 0 deals, the human is North
    scalar("@M_my_kaze@GLOBAL") = 3;
    std::fill_n(numbers("@M_my_pre_te#@GLOBAL"), 14, MAHJONG_FILLER);
    if (c.human_tenpai) std::copy_n(waiting.tiles, 14, numbers("@M_my_pre_te#@GLOBAL"));
    EXPECT_EQ(call(H_DRAW_PAYMENTS), c.dealer_tenpai) << c.players;
    for (int p = 0; p < 3; ++p) EXPECT_EQ(numbers("@M_com_score#@GLOBAL")[p], i32_add(c.base, c.com_change[p])) << c.players;
    EXPECT_EQ(scalar("@M_my_score@GLOBAL"), i32_add(c.base, c.human_change)) << c.players;
  }
}

TEST_F(table_builtins_test, CallsTurnConcealedTilesIntoMelds) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  // mark: the from-whom slot within the new meld; refused calls change nothing.
  struct { const char* hand; uint32_t builtin; std::vector<int32_t> args; int discarder, result; const char* after; int mark; } cases[] = {
      {"123m 456p 789s 1z 2z 55z", H_PON, {3, 352}, 1, 0, "p555z 12m 456p 789s 1z 2z r3m", 1},
      {"23m 9m 456p 789s 1z 2z 55z", H_CHI, {3, 10, 1}, 2, 0, "c123m 456p 789s 1z 2z 55z r9m", 0},
      {"111m 456p 789s 1z 2z 55z", H_KAN, {3, 10}, 0, 0, "k111m 456p 789s 1z 2z 55z", 2},
      {"111m 456p 789s 1z 2z 55z t1m", H_KAN, {3, 10}, 0, 1, "a111m 456p 789s 1z 2z 55z", -1},
      {"p111m 456p 789s 1z 2z 55z t1m", H_KAN, {3, 10}, 0, 0, "k111m 456p 789s 1z 2z 55z", -1},
      {"c123p 1111m 789s 1z 2z 5z t3z", H_KAN, {3, 10}, 0, 1, "c123p a111m 789s 1z 2z 5z t3z", -1},
      {"123m 456p 789s 2z 5z 6z 7z", H_PON, {3, 352}, 1, 0, nullptr, -1},
      {"13m 456p 789s 1z 2z 5z 6z 7z", H_CHI, {3, 30, 2}, 2, 0, nullptr, -1},
      {"11m 456p 789s 1z 2z 5z 6z 7z", H_KAN, {3, 10}, 0, 0, nullptr, -1},
  };
  for (const auto& c : cases) {
    std::string before = human_hand(c.hand);
    scalar("@M_last_sute_pl@GLOBAL") = c.discarder;
    size_t reports = platform.boxes.size();
    EXPECT_EQ(call(c.builtin, c.args), c.result) << c.hand;
    std::vector<int32_t> from(numbers("@M_my_naki_flag2#@GLOBAL"), numbers("@M_my_naki_flag2#@GLOBAL") + 3);
    EXPECT_EQ(layout(numbers("@M_my_pre_te#@GLOBAL"), numbers("@M_my_naki_flag#@GLOBAL")), c.after ? human_hand(c.after) : before) << c.hand;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(from[i], i == c.mark) << c.hand << " slot " << i;
    EXPECT_EQ(platform.boxes.size(), reports + (c.after ? 0 : 1)) << c.hand;
  }
}

TEST_F(table_builtins_test, KanTestAndKanCount) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  struct { const char* hand; int riichi, any, last_tile, kans, result; } cases[] = {
      {"111m 456p 789s 1z 2z 55z t1m", 0, 0, 0, 0, 1},  {"111m 456p 789s 1z 2z 55z t1m", 0, 0, 1, 0, 0},
      {"111m 456p 789s 1z 2z 55z t1m", 0, 0, 0, -1, 0}, {"1111m 456p 789s 1z 2z 5z t3z", 0, 1, 0, 0, 1},
      {"1111m 456p 789s 1z 2z 5z t3z", 0, 0, 0, 0, 0},  {"p111m 456p 789s 1z 2z 55z t1m", 0, 0, 0, 0, 1},
      {"111m 456p 789s 11z 23s t1m", 1, 0, 0, 0, 1},    {"1113m 456p 789s 555z t1m", 1, 0, 0, 0, 0},  // 2m 3m would become 3m
  };
  for (const auto& c : cases) {
    human_hand(c.hand);
    scalar("@M_my_is_reach@GLOBAL") = c.riichi, scalar("@O_is_haitei@GLOBAL") = c.last_tile, scalar("@M_kan_kazu@GLOBAL") = c.kans;
    EXPECT_EQ(call(H_CAN_KAN, {c.any}), c.result) << c.hand << " riichi " << c.riichi;
  }
  // The fourth kan of one player ends the kans (a fourth of the table's does not); -1 stays.
  scalar("@O_is_haitei@GLOBAL") = 0, scalar("@M_my_is_reach@GLOBAL") = 0;
  const char *three_own = "a111m a222m a333m 444m 5z t4m", *one_own = "a111m 222m 333m 444m 5z t4m";
  struct { const char* hand; int before, after; } kans[] = {{three_own, 2, 3}, {three_own, 3, -1}, {one_own, 3, 4}, {three_own, -1, -1}};
  for (auto [hand, before, after] : kans) {
    human_hand(hand);
    scalar("@M_kan_kazu@GLOBAL") = before, scalar("@O_is_kan_cyokugo@GLOBAL") = 0;
    EXPECT_EQ(call(H_KAN, {3, 43}), 1);
    EXPECT_TRUE(scalar("@M_kan_kazu@GLOBAL") == after && scalar("@O_is_kan_cyokugo@GLOBAL") == 1) << before;
  }
  EXPECT_EQ(call(H_CAN_KAN, {1}), 0);
}

// Every mahjong built-in on a game whose every variable holds an extreme (scores near INT_MIN,
// winds and rotations near INT_MAX, luck that four times overflows), at each table size, with
// real hands dealt and each extreme as argument: nothing may overflow (the sanitized build stops).
TEST_F(table_builtins_test, ExtremeVariablesAndArgumentsAreSafe) {
  const std::vector<std::string> arrays = {"@M_my_sute#@GLOBAL", "@M_com_score#@GLOBAL", "@M_com_kaze#@GLOBAL",
                                           "@com_luck#@GLOBAL", "@com_unluck#@GLOBAL", "@M_com_end#@GLOBAL",
                                           "@M_com_te_susunda#@GLOBAL", "@M_com_is_tenpai#@GLOBAL", "@com_lvl#@GLOBAL",
                                           "@M_dora#@GLOBAL", "@M_com_do_naki#@GLOBAL", "@M_com_endnaki#@GLOBAL",
                                           "@com_tuyosa#@GLOBAL", "@M_dora_ura#@GLOBAL", "@M_com_is_reach#@GLOBAL",
                                           "@M_com_reach_cyokugo#@GLOBAL", "@M_com_end2#@GLOBAL", "@M_com_endnaki2#@GLOBAL"};
  const char* scalars[] = {"@M_my_score@GLOBAL", "@M_my_kaze@GLOBAL", "@M_my_luck@GLOBAL", "@M_my_unluck@GLOBAL",
                           "@M_ba_kaze@GLOBAL", "@M_ba_mawari@GLOBAL", "@M_kan_kazu@GLOBAL", "@M_ba_100ten@GLOBAL",
                           "@M_com_yuusen@GLOBAL", "@M_last_sute@GLOBAL", "@M_last_sute_pl@GLOBAL", "@M_tatioya@GLOBAL",
                           "@M_my_is_reach@GLOBAL", "@M_my_reach_cyokugo@GLOBAL", "@M_ba_1000ten@GLOBAL",
                           "@M_pi_tumo_nokori@GLOBAL", "@O_is_tumo@GLOBAL", "@O_is_tenho@GLOBAL", "@InSuv@GLOBAL"};
  for (int i = 0; i < 4000; ++i) platform.queued_answers.push_back(IDRETRY);
  for (int32_t v : {INT32_MIN, INT32_MIN + 5, -1, INT32_MAX, INT32_MAX - 5, 1 << 30})
    for (int players = 2; players <= 4; ++players) {
      scalar("@M_maj_mode@GLOBAL") = players;
      call(H_BUILD_WALL);
      call(H_MY_DEAL);
      for (const std::string& name : arrays) std::fill_n(numbers(name), 40, v);
      for (const char* name : scalars) scalar(name) = v;
      scalar("@M_kan_kazu@GLOBAL") = v == -1 ? 3 : v;
      for (const builtin_entry& e : builtin_entries())
        if (e.subsystem == 8 && e.handler)
          for (int32_t arg : {v, 0, 1, 2, 3}) call(e.hash, {arg, v, arg});
      scalar("@M_tatioya@GLOBAL") = 0;
      call(H_SET_SEATS);  // rotations near INT_MAX still give every wind once
      std::vector<int32_t> winds{scalar("@M_my_kaze@GLOBAL")};
      for (int p = 0; p < players - 1; ++p) winds.push_back(numbers("@M_com_kaze#@GLOBAL")[p]);
      std::sort(winds.begin(), winds.end());
      if (v >= 0) { EXPECT_EQ(std::adjacent_find(winds.begin(), winds.end()), winds.end()) << v << " " << players; }
    }
}

TEST_F(table_builtins_test, AddDoraStopsAtSixIndicators) {
  scalar("@M_maj_mode@GLOBAL") = 4;
  call(H_BUILD_WALL);
  std::fill_n(numbers("@M_dora#@GLOBAL"), 12, -1), std::fill_n(numbers("@M_dora_ura#@GLOBAL"), 12, -1);
  std::vector<int32_t> wall(mahjong_wall.tiles, mahjong_wall.tiles + 12);
  for (int i = 0; i < 7; ++i) call(H_ADD_DORA);
  for (int i = 0; i < 6; ++i)
    EXPECT_TRUE(numbers("@M_dora#@GLOBAL")[i] == wall[2 * i] && numbers("@M_dora_ura#@GLOBAL")[i] == wall[2 * i + 1]) << i;
  EXPECT_TRUE(numbers("@M_dora#@GLOBAL")[6] == -1 && mahjong_wall.next == 12);
}

}  // namespace
