// Prepared deals: the pickers, every style's target hand, and the deal driver on the mahjong state.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>

#include "base/random.h"
#include "mahjong/deal.h"
#include "mahjong/deal_patterns.h"
#include "mahjong_vm_fixture.h"
#include "platform/platform.h"
#include "shell/settings.h"

namespace {

// Call and riichi flag of each style 1-106 where the style fixes them ('x': drawn).
const char* const style_flags =
    "01 10 10 01 xx 01 10 00 10 10 01 10 xx 10 0x 10 xx xx 01 xx 10 10 xx xx xx 1x 01 1x 00 00 "
    "10 xx xx 00 00 01 1x 01 xx xx xx xx 10 xx xx xx 00 xx 10 10 10 xx 11 xx 11 xx 10 xx 00 xx "
    "11 01 11 01 01 11 11 xx 10 xx 01 01 01 00 01 01 10 xx 10 01 10 x0 10 01 10 xx 01 10 x0 x0 "
    "10 xx 1x 10 xx x1 xx xx 10 xx xx 10 xx xx xx xx";

std::multiset<int> target_kinds() {
  std::multiset<int> k;
  for (int s = 0; s < MAHJONG_SLOTS; ++s)
    if (mahjong_deal.kinds[s] >= 0) k.insert(mahjong_deal.kinds[s]);
  return k;
}

// Runs are k, k+1, k+2 marked 1-2-3, triplets three equal kinds marked 4, the rest marked 0 in
// equal pairs (thirteen orphans: singles).
bool markers_agree(const int32_t* k, const int32_t* m, bool singles) {
  for (int s = 0; s < MAHJONG_SLOTS;) {
    int n = m[s] == 0 ? (singles ? 1 : 2) : 3;
    if (s + n > MAHJONG_SLOTS) return false;
    for (int i = 1; i < n; ++i) {
      bool ok = m[s] == 1 ? m[s + i] == 1 + i && k[s + i] == k[s] + i : m[s + i] == m[s] && k[s + i] == k[s];
      if (!ok || (m[s] != 0 && m[s] != 1 && m[s] != 4)) return false;
    }
    s += n;
  }
  return true;
}

// Style 10's sets in order: a terminal or honour pair, three runs 1-2-3 or 7-8-9, an honour triplet.
bool terminal_runs_layout(const int32_t* k, const int32_t* m) {
  bool ok = k[0] == k[1] && (k[0] % 10 == 1 || k[0] % 10 == 9 || k[0] > 30) && m[0] == 0;
  for (int s = 2; s < 11; s += 3) ok = ok && m[s] == 1 && (k[s] % 10 == 1 || k[s] % 10 == 7);
  return ok && k[11] == k[13] && k[11] > 30 && m[11] == 4;
}

int win_shape_of_target() {
  mahjong_tile tiles[MAHJONG_SLOTS];
  int32_t melds[MAHJONG_SLOTS] = {};
  int copies[MAHJONG_KINDS] = {};
  for (int s = 0; s < MAHJONG_SLOTS; ++s) tiles[s] = mahjong_deal.kinds[s] * 10 + copies[mahjong_deal.kinds[s]]++;
  return mahjong_win_shape(tiles, melds);
}

class deal_test : public mahjong_vm_test {
 protected:
  void SetUp() override {
    mahjong_vm_test::SetUp();
    mahjong_deal_reset(4);
  }
  void TearDown() override {
    settings_state_reset();
    mahjong_vm_test::TearDown();
  }
  // The driver on a fresh wall, with the styles and strengths of the three computer seats.
  static void deal(uint32_t seed, int players, std::array<int, 3> styles, std::array<int, 3> strengths) {
    engine_srand(seed);
    mahjong.maj_mode = players;
    std::copy(styles.begin(), styles.end(), mahjong.com_lvl);
    std::copy(strengths.begin(), strengths.end(), mahjong.com_tuyosa);
    mahjong_wall_build(players);
    mahjong_deal_com_hands();
  }
};

TEST_F(deal_test, EveryStyleBuildsAWholeHandTheWallCanGive) {
  for (int style = 0; style <= 110; ++style)
    for (int players = 2; players <= 4; ++players)
      for (uint32_t seed = 1; seed <= 200; ++seed) {
        std::string where = std::to_string(style) + "/" + std::to_string(players) + "/" + std::to_string(seed);
        mahjong_deal_reset(players);
        engine_srand(seed * 7919);
        mahjong_pattern_build(style, seed % 2);
        std::multiset<int> kinds = target_kinds();
        ASSERT_EQ(kinds.size(), 14u) << where;
        for (int k = 0; k < MAHJONG_KINDS; ++k) {
          int held = mahjong_kind_count(players, k);
          ASSERT_TRUE(mahjong_deal.pool[k] >= 0 && mahjong_deal.pool[k] + int(kinds.count(k)) == held) << where << " kind " << k;
        }
        int shape = win_shape_of_target();
        ASSERT_NE(shape, 0) << where;
        ASSERT_TRUE(markers_agree(mahjong_deal.kinds, mahjong_deal.marks, shape == 3)) << where;
        ASSERT_TRUE(mahjong_deal.call >= 0 && mahjong_deal.call <= 1 && mahjong_deal.riichi >= 0 && mahjong_deal.riichi <= 1);
        if (style >= 1 && style <= 106) {
          char call = style_flags[3 * (style - 1)], riichi = style_flags[3 * (style - 1) + 1];
          ASSERT_TRUE(call == 'x' || mahjong_deal.call == call - '0') << where;
          ASSERT_TRUE(riichi == 'x' || mahjong_deal.riichi == riichi - '0') << where;
        }
        ASSERT_TRUE(style != 102 || kinds.count(KIND_WHITE) == 0) << where;
        ASSERT_TRUE(style != 10 || terminal_runs_layout(mahjong_deal.kinds, mahjong_deal.marks)) << where;
      }
}

TEST_F(deal_test, PickersTakeOnlyTheirClassAndTheTilesThePoolHolds) {
  const std::set<int> any_kind = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23,
                                  24, 25, 26, 27, 28, 29, 31, 32, 33, 34, 35, 36, 37};
  struct { int (*pick)(int); int cls, players; std::set<int> firsts; } cases[] = {
      {mahjong_pick_pair, 6, 4, {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37}},
      {mahjong_pick_pair, 7, 4, {35, 36, 37}},
      {mahjong_pick_pair, 5, 3, {31, 32, 33, 35, 36, 37}},  // no North with three players
      {mahjong_pick_pung, 6, 4, {35, 36, 37}},
      {mahjong_pick_pung, 8, 4, {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37}},
      {mahjong_pick_pung, 1, 4, {2, 3, 4, 5, 6, 7, 8, 12, 13, 14, 15, 16, 17, 18, 22, 23, 24, 25, 26, 27, 28}},
      {mahjong_pick_pung, 2, 3, {1, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29,
                                 31, 32, 33, 35, 36, 37}},  // the first suit served as any tile
      {mahjong_pick_run, 6, 4, {1, 7, 11, 17, 21, 27}},
      {mahjong_pick_run, 1, 4, {2, 3, 4, 5, 6, 12, 13, 14, 15, 16, 22, 23, 24, 25, 26}},
      {mahjong_pick_run, 2, 3, {11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 26, 27}},
      // Classes that match nothing fall back to any set.
      {mahjong_pick_pung, 7, 4, any_kind},
      {mahjong_pick_run, 5, 4, {1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 26, 27}},
  };
  for (const auto& c : cases)
    for (uint32_t seed = 1; seed <= 300; ++seed) {
      mahjong_deal_reset(c.players);
      engine_srand(seed);
      int at = c.pick(c.cls);
      ASSERT_EQ(at, 0);
      ASSERT_EQ(c.firsts.count(mahjong_deal.kinds[0]), 1u) << c.cls << "/" << c.players << ": " << mahjong_deal.kinds[0];
    }
  // Once the slots are full, nothing is drawn or placed.
  mahjong_deal_reset(4);
  engine_srand(5);
  for (int i = 0; i < 4; ++i) mahjong_pick_pung(0);
  int32_t before[MAHJONG_KINDS];
  std::copy(mahjong_deal.pool, mahjong_deal.pool + MAHJONG_KINDS, before);
  EXPECT_EQ(mahjong_pick_run(0), -1);
  EXPECT_TRUE(mahjong_pick_pair(0) == 12 && mahjong_pick_pair(0) == -1);
  EXPECT_EQ(mahjong_deal.pool[mahjong_deal.kinds[12]], before[mahjong_deal.kinds[12]] - 2);
}

TEST_F(deal_test, ExhaustedPoolsEndEveryRetryLoop) {
  // No dragon pair left: the pair picker takes any kind; nothing left at all: it places nothing.
  mahjong_deal_reset(4);
  for (int k = 35; k <= 37; ++k) mahjong_deal.pool[k] = 1;
  engine_srand(3);
  EXPECT_EQ(mahjong_pick_pair(7), 0);
  EXPECT_LT(mahjong_deal.kinds[0], 35);
  std::fill(mahjong_deal.pool, mahjong_deal.pool + MAHJONG_KINDS, 1);
  EXPECT_TRUE(mahjong_pick_pair(0) == -1 && mahjong_pick_pung(0) == -1 && mahjong_deal.kinds[2] == -1);
  EXPECT_EQ(mahjong_pick_run(0), 2);  // one of each tile is enough for a run
  // A pool of white dragons only: style 102 still ends, and takes none.
  mahjong_deal_reset(4);
  std::fill(mahjong_deal.pool, mahjong_deal.pool + MAHJONG_KINDS, 0);
  mahjong_deal.pool[KIND_WHITE] = 4;
  mahjong_pattern_build(102, 0);
  EXPECT_TRUE(target_kinds().empty() && mahjong_deal.pool[KIND_WHITE] == 4);
}

TEST_F(deal_test, SeatSortIsDescendingAndStable) {
  struct { std::array<int32_t, 3> weights, seats; int n; } cases[] = {
      {{1, 5, 3}, {1, 2, 0}, 3}, {{4, 4, 4}, {0, 1, 2}, 3}, {{2, 7, 7}, {1, 2, 0}, 3}, {{0, 9, 0}, {0, 1, 2}, 1},
      {{3, 8, 0}, {1, 0, 2}, 2}};
  for (auto c : cases) {
    std::array<int32_t, 3> seats = {0, 1, 2};
    mahjong_sort_seats(c.weights.data(), seats.data(), c.n);
    EXPECT_EQ(seats, c.seats);
  }
}

TEST_F(deal_test, RigFlagsFollowTheStyleTable) {
  std::set<int> rigged = {35, 39, 48, 49, 50, 51, 53, 55, 56, 57, 58, 59, 61, 62, 63, 66, 67, 69, 70, 71, 72,
                          73, 74, 75, 76, 77, 78, 79, 80, 82, 85, 86, 87, 88, 89, 91, 92, 93, 97, 98, 99,
                          100, 101, 102, 103, 104, 105, 106};
  for (int style = -2; style <= 120; ++style) EXPECT_EQ(mahjong_rig_flag(style), int(rigged.count(style))) << style;
}

TEST_F(deal_test, DriverReservesThePrioritySeatsTargetAndSetsProgress) {
  struct { int players, difficulty, in_suv, lo, hi; } cases[] = {
      {4, 4, 0, 9, 11}, {3, 4, 0, 9, 11}, {4, 0, 0, 4, 6}, {2, 4, 0, 4, 6}, {4, 4, 1, 4, 7}};
  for (const auto& c : cases)
    for (uint32_t seed = 1; seed <= 40; ++seed) {
      mahjong_state_reset();
      setting_store(SETTING_NANIDO, c.difficulty);
      mahjong.in_suv = c.in_suv;
      std::fill_n(&mahjong.com_end[0][0], 3 * MAHJONG_SLOTS, 77);
      deal(seed, c.players, {int(seed % 110), 59, int(seed % 7) * 15}, {int(seed % 4) - 1, 2, 2});
      int n = c.players - 1, first = mahjong.com_yuusen;
      ASSERT_TRUE(first >= 0 && first < n);
      int32_t target[MAHJONG_KINDS] = {}, reserved[MAHJONG_KINDS] = {};
      for (int s = 0; s < MAHJONG_SLOTS; ++s) ++target[mahjong.com_end[first][s]];
      for (int j = 0; j < mahjong_wall.size; ++j) reserved[tile_kind(mahjong_wall.tiles[j])] += mahjong_wall.marks[j];
      for (int k = 0; k < MAHJONG_KINDS; ++k)
        ASSERT_TRUE(reserved[k] == target[k] && mahjong_wall.free[k] == mahjong_wall.left[k] - reserved[k]) << k;
      for (int seat = 0; seat < 3; ++seat) {
        int progress = mahjong.com_te_susunda[seat];
        if (seat >= n) {
          ASSERT_EQ(mahjong.com_end[seat][0], 77);  // no such seat at the table
          continue;
        }
        ASSERT_EQ(mahjong.com_is_tenpai[seat], 0);
        if (seat == 1)
          ASSERT_EQ(progress, 12);
        else
          ASSERT_TRUE(progress >= c.lo && progress <= c.hi) << progress;
      }
    }
}

TEST_F(deal_test, SeededDealsArePinned) {
  struct { uint32_t seed; int players; std::array<int, 3> styles; int first; const char* targets; } cases[] = {
      {12345, 4, {1, 61, 104}, 1,
       "26 26 15 16 17 21 22 23 6 6 6 24 25 26 m00123123444123 c0 r1 p6; "
       "11 11 33 33 33 6 7 8 25 26 27 8 8 8 m00444123123444 c1 r1 p6; "
       "35 35 32 32 32 11 12 13 17 18 19 17 18 19 m00444123123123 c0 r0 p6; "},
      {777, 3, {22, 102, 200}, 1,
       "13 14 15 13 14 15 23 24 25 31 31 31 37 37 m12312312344400 c1 r0 p4; "
       "26 26 36 36 36 32 32 32 12 13 14 26 27 28 m00444444123123 c1 r0 p6; "},
      {42, 2, {27, 0, 0}, 0, "5 5 21 22 23 11 12 13 4 4 4 16 17 18 m00123123444123 c0 r1 p5; "},
  };
  for (const auto& c : cases) {
    mahjong_state_reset();
    deal(c.seed, c.players, c.styles, {1, 2, 3});
    std::string got;
    for (int seat = 0; seat < c.players - 1; ++seat) {
      for (int s = 0; s < MAHJONG_SLOTS; ++s) got += std::to_string(mahjong.com_end[seat][s]) + (s < 13 ? " " : "");
      got += " m";
      for (int s = 0; s < MAHJONG_SLOTS; ++s) got += std::to_string(mahjong.com_endnaki[seat][s]);
      got += " c" + std::to_string(mahjong.com_do_naki[seat]) + " r" + std::to_string(mahjong.com_do_reach[seat]) +
             " p" + std::to_string(mahjong.com_te_susunda[seat]) + "; ";
    }
    EXPECT_EQ(mahjong.com_yuusen, c.first) << c.seed;
    EXPECT_EQ(got, c.targets) << c.seed;
  }
}

TEST_F(deal_test, BuiltinsDealAndPushTheSettings) {
  enum : uint32_t { H_COM_DEAL = 0x269BDA78, H_DIFFICULTY = 0x0692314A, H_GAME_SPEED = 0x140C298E };
  make_all();
  for (int i = 0; i < 4; ++i) platform.queued_answers.push_back(IDRETRY);
  setting_store(SETTING_NANIDO, 3), setting_store(SETTING_GAME_SPEED, 2);
  EXPECT_TRUE(call(H_DIFFICULTY) == 3 && call(H_GAME_SPEED) == 2);
  scalar("@M_maj_mode@GLOBAL") = 5;
  EXPECT_EQ(call(H_COM_DEAL), 0);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(numbers("@M_com_end#@GLOBAL")[0], 0);
  scalar("@M_maj_mode@GLOBAL") = 3;
  numbers("@com_lvl#@GLOBAL")[0] = 59;
  numbers("@com_lvl#@GLOBAL")[1] = 59;
  EXPECT_EQ(call(H_COM_DEAL), 0);
  std::multiset<int> kinds(numbers("@M_com_end#@GLOBAL"), numbers("@M_com_end#@GLOBAL") + 2 * MAHJONG_SLOTS);
  EXPECT_TRUE(kinds.count(1) >= 2 && kinds.count(-1) == 0 && platform.boxes.size() == 1u);
}

}  // namespace
