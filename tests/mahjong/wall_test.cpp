// The wall: layout per player count, and counters that always equal its undrawn contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/random.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "mahjong_vm_fixture.h"

namespace {

class wall_test : public ::testing::Test {
 protected:
  static void reset() { mahjong_wall_reset(), mahjong_state_reset(); }
  void SetUp() override { reset(), engine_srand(12345); }
  void TearDown() override { reset(); }
  static void expect_counters_match() { ASSERT_TRUE(wall_counters_match()); }
  static std::vector<int> undrawn() { const auto& w = mahjong_wall; return {w.tiles + w.next, w.tiles + w.size}; }
};

TEST_F(wall_test, BuildsEveryPlayerCountWithItsTilesShuffled) {
  struct { int players, size, draws; bool characters_2_to_8; } cases[] = {
      {2, 136, 40, true}, {3, 108, 55, false}, {4, 136, 70, true}};
  for (const auto& c : cases) {
    ASSERT_TRUE(mahjong_wall_build(c.players));
    EXPECT_TRUE(mahjong_wall.size == c.size && mahjong_wall.next == 0) << c.players;
    EXPECT_EQ(mahjong_draws_left(c.players), c.draws);
    expect_counters_match();
    std::vector<int> expected;
    for (int k = 1; k <= 37; ++k)
      if (k % 10 != 0 && (c.characters_2_to_8 || k < 2 || k > 8))
        for (int copy = 0; copy < 4; ++copy) expected.push_back(k * 10 + copy);
    std::vector<int> tiles = undrawn();
    EXPECT_FALSE(std::is_sorted(tiles.begin(), tiles.end()));
    std::sort(tiles.begin(), tiles.end());
    EXPECT_EQ(tiles, expected) << c.players << " players";
    for (int j = c.size; j < MAHJONG_WALL_SLOTS; ++j) EXPECT_EQ(mahjong_wall.tiles[j], -1);
  }
  // Another count changes nothing.
  for (int players : {0, 1, 5}) EXPECT_TRUE(!mahjong_wall_build(players) && mahjong_wall.size == 136) << players;
}

TEST_F(wall_test, NeverBuiltWallAnswersEveryDrawWithMinusOne) {
  for (int got : {mahjong_draw_tile(), mahjong_take_kind(11), mahjong_take_free_kind(11), mahjong_reserve_kind(11)})
    EXPECT_EQ(got, -1);
  EXPECT_TRUE(!mahjong_return_to_wall(110) && mahjong_wall.next == 0);
  EXPECT_FALSE(mahjong_target_available(0));  // an empty target still needs a seat
}

TEST_F(wall_test, RandomPlayNeverDuplicatesOrLosesATile) {
  for (int players : {2, 3, 4}) {
    ASSERT_TRUE(mahjong_wall_build(players));
    std::vector<int> all = undrawn(), held;
    for (int step = 0; step < 400; ++step) {
      int op = engine_rand() % 6, kind = 1 + engine_rand() % 37;
      mahjong_tile t = op <= 1 ? mahjong_draw_tile() : op == 2 ? mahjong_take_kind(kind) : -1;
      if (op == 3) t = mahjong_take_free_kind(kind);
      if (op == 4) mahjong_reserve_kind(kind);
      if (op == 5 && !held.empty() && mahjong_return_to_wall(held.back())) held.pop_back();
      if (t >= 0) held.push_back(t);
      ASSERT_NO_FATAL_FAILURE(expect_counters_match());
      std::vector<int> now = undrawn();
      now.insert(now.end(), held.begin(), held.end());
      ASSERT_TRUE(std::is_permutation(now.begin(), now.end(), all.begin(), all.end())) << "step " << step;
    }
  }
}

TEST_F(wall_test, DrawsSkipReservedTilesAndStopAtTheLastFreeOne) {
  ASSERT_TRUE(mahjong_wall_build(4));
  int kind = tile_kind(mahjong_wall.tiles[0]);
  for (int i = 0; i < 4; ++i) EXPECT_GE(mahjong_reserve_kind(kind), 0);
  EXPECT_EQ(mahjong_reserve_kind(kind), -1);
  EXPECT_TRUE(mahjong_wall_left(kind) == 4 && mahjong_wall_free(kind) == 0);
  for (int i = 0; i < 132; ++i) ASSERT_NE(tile_kind(mahjong_draw_tile()), kind) << "draw " << i;
  EXPECT_EQ(mahjong_wall_free_total(), 0);
  int next = mahjong_wall.next;
  EXPECT_EQ(mahjong_draw_tile(), -1);  // only reserved tiles behind next: nothing moves
  EXPECT_TRUE(mahjong_wall.next == next && mahjong_take_free_kind(kind) == -1);
  EXPECT_EQ(tile_kind(mahjong_take_kind(kind)), kind);  // a reserved one
  EXPECT_EQ(mahjong_wall_left(kind), 3);
  expect_counters_match();
  for (int i = 0; i < 3; ++i) mahjong_take_kind(kind);
  EXPECT_EQ(mahjong_wall.next, 136);
  EXPECT_TRUE(mahjong_take_kind(kind) == -1 && mahjong_draw_tile() == -1);
  // The last tile comes back and is drawn again.
  ASSERT_TRUE(mahjong_return_to_wall(kind * 10));
  EXPECT_EQ(mahjong_draw_tile(), kind * 10);
}

TEST_F(wall_test, PutBackRefusesWhatCannotReturn) {
  ASSERT_TRUE(mahjong_wall_build(3));
  EXPECT_FALSE(mahjong_return_to_wall(110));  // nothing drawn: no slot -1
  int drawn_kind = tile_kind(mahjong_draw_tile());
  int other = drawn_kind == 11 ? 12 : 11;  // all four still undrawn
  for (mahjong_tile t : {-1, 30, 50, 600, 380, other * 10}) EXPECT_FALSE(mahjong_return_to_wall(t)) << t;
  // One copy of a kind drawn: only that copy comes back, never one still in the wall or no copy.
  mahjong_tile taken = mahjong_take_kind(other);
  for (mahjong_tile t : {other * 10, other * 10 + 1, other * 10 + 2, other * 10 + 3, other * 10 + 4})
    if (t != taken) {
      EXPECT_FALSE(mahjong_return_to_wall(t)) << t;
    }
  EXPECT_TRUE(mahjong_wall.next == 2 && mahjong_return_to_wall(taken));
  EXPECT_EQ(mahjong_wall.next, 1);
  // The red fives are fives of circles.
  for (int i = 0; i < 4; ++i) mahjong_take_kind(15);
  EXPECT_TRUE(mahjong_return_to_wall(150) && mahjong_return_to_wall(151) && mahjong_wall_free(15) == 2);
  expect_counters_match();
}

TEST_F(wall_test, TargetIsAvailableWhileTheWallHoldsEveryConcealedKind) {
  ASSERT_TRUE(mahjong_wall_build(4));
  for (int s = 0; s < MAHJONG_SLOTS; ++s) mahjong.com_end[1][s] = s < 5 ? 5 : 11 + s % 9;
  mahjong.com_naki_flag[1][0] = MELD_PON;  // a meld needs nothing from the wall: four 5s needed
  EXPECT_TRUE(mahjong_target_available(1));
  mahjong_take_kind(5);
  EXPECT_FALSE(mahjong_target_available(1));
  EXPECT_FALSE(mahjong_target_available(3));
}

TEST_F(wall_test, CountsKindsOfConcealedAndPonTilesOnly) {
  mahjong_tile tiles[MAHJONG_SLOTS] = {110, 111, 112, 220, 221, 222, 50, 51, 150, 600, 600, 600, 600, 371};
  int32_t states[MAHJONG_SLOTS] = {MELD_PON, MELD_PON, MELD_PON, MELD_OPEN_KAN, MELD_OPEN_KAN, MELD_OPEN_KAN};
  int32_t counts[MAHJONG_KINDS], expected[MAHJONG_KINDS] = {};
  mahjong_count_kinds(tiles, states, counts);
  expected[11] = 3, expected[5] = 2, expected[15] = 1, expected[37] = 1;
  EXPECT_TRUE(std::equal(counts, counts + MAHJONG_KINDS, expected));
}

}  // namespace
