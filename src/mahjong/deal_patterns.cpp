#include "mahjong/deal_patterns.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <iterator>

#include "base/random.h"
#include "mahjong/deal.h"

namespace {

mahjong_deal_work& w = mahjong_deal;

constexpr int REDRAW_LIMIT = 100;  // draws of a pool-tested choice before the class-0 picker steps in
constexpr int TRIED_DRAWS = 10;    // draws that try a style's favourite kind before any kind
constexpr int DRAWN = 2;           // a flag drawn with rand() & 1

constexpr int orphan_kinds[13] = {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37};

constexpr std::array<uint8_t, 40> flag_table(std::initializer_list<int> kinds) {
  std::array<uint8_t, 40> t{};
  for (int k : kinds) t[k] = 1;
  return t;
}
// Style 29's tiles (pairs and triplets) and run starts, and style 63's number tiles.
constexpr auto special_kinds =
    flag_table({11, 12, 13, 14, 16, 17, 18, 21, 22, 23, 24, 26, 28, 31, 32, 33, 34, 35, 36});
constexpr auto special_run_starts = flag_table({11, 12, 13, 14, 16, 21, 22, 23, 24, 25, 26});
constexpr auto number_kinds = flag_table({1, 8, 11, 18, 21, 28, 35});

int coin() { return engine_rand() & 1; }
void flags(int call, int riichi) { w.call = call, w.riichi = riichi; }
// Flags after the sets: 0, 1 or DRAWN, the call's first.
void then(int call, int riichi) {
  w.call = call == DRAWN ? coin() : call;
  w.riichi = riichi == DRAWN ? coin() : riichi;
}
// One of the recipes by rand() % their number (a recipe listed twice has twice the chance).
void one_of(std::initializer_list<mahjong_pattern_builder> recipes) {
  recipes.begin()[engine_rand() % static_cast<int>(recipes.size())]();
}

void pair(int cls) { mahjong_pick_pair(cls); }
void pung(int cls, int times = 1) {
  for (int i = 0; i < times; ++i) mahjong_pick_pung(cls);
}
void run(int cls, int times = 1) {
  for (int i = 0; i < times; ++i) mahjong_pick_run(cls);
}
void run_or_pung(int cls) {
  if (coin()) run(cls); else pung(cls);
}
void pair_or_any(int kind) { if (!mahjong_place_pair(kind)) pair(0); }
void pung_or_any(int kind) { if (!mahjong_place_pung(kind)) pung(0); }

bool holds(int kind, int need) { return kind_is_valid(kind) && w.pool[kind] >= need; }
// Whether the pool holds every tile of the runs together.
bool runs_fit(std::initializer_list<int> starts) {
  int need[40] = {};
  for (int s : starts) {
    if (s < 0 || s >= 28 || mahjong_run_flags[s] == 0) return false;
    for (int j = 0; j < 3; ++j) ++need[s + j];
  }
  for (int k = 0; k < 40; ++k)
    if (need[k] > 0 && !holds(k, need[k])) return false;
  return true;
}
// The runs when `fit` (their draw passed), else as many class-0 runs.
void runs_or_any(bool fit, std::initializer_list<int> starts) {
  for (int s : starts)
    if (!fit || !mahjong_place_run(s)) run(0);
}
// Re-draws until draw() reports a fit, REDRAW_LIMIT times at most; false when none fitted.
template <typename Draw>
bool redraw(Draw draw, int limit = REDRAW_LIMIT) {
  for (int i = 0; i < limit; ++i)
    if (draw(i)) return true;
  return false;
}

// A pair (need 2) or triplet (need 3) drawn from a 40-entry kind table.
void set_from(const std::array<uint8_t, 40>& table, int need) {
  int k = 0;
  bool fit = redraw([&](int) { return table[k = engine_rand() % 40] && holds(k, need); });
  if (need == 2 && !(fit && mahjong_place_pair(k))) pair(0);
  if (need == 3 && !(fit && mahjong_place_pung(k))) pung(0);
}
// A pair or triplet that tries favourite() for its first draws and any kind after them (never
// kind 34 with three players).
void tried_set(int need, int (*favourite)()) {
  int k = 0;
  bool fit = redraw([&](int i) {
    k = i < TRIED_DRAWS ? favourite() : engine_rand() % 40;
    return holds(k, need) && !(w.players == 3 && k == 34);
  }, TRIED_DRAWS + REDRAW_LIMIT);
  if (need == 2 && !(fit && mahjong_place_pair(k))) pair(0);
  if (need == 3 && !(fit && mahjong_place_pung(k))) pung(0);
}
int white() { return 35; }
int south_or_north() { return coin() ? 34 : 32; }

// A seven of a random suit: its pair or triplet (at least 3 left either way).
void seven(int need) {
  int k = 0;
  bool fit = redraw([&](int) { return holds(k = 10 * (engine_rand() % 3) + 7, 3); });
  if (need == 2 && !(fit && mahjong_place_pair(k))) pair(0);
  if (need == 3 && !(fit && mahjong_place_pung(k))) pung(0);
}
void dragon_triplet() {
  int k = 0;
  bool fit = redraw([&](int) { return holds(k = 35 + engine_rand() % 3, 3); });
  if (!(fit && mahjong_place_pung(k))) pung(0);
}
// Two different suit classes (2-4).
void two_suits(int& a, int& b) {
  a = engine_rand() % 3 + 2;
  if (!redraw([&](int) { return (b = engine_rand() % 3 + 2) != a; })) b = (a - 1) % 3 + 2;
}

// ---- Whole-hand recipes --------------------------------------------------------------------------

void terminal_run_riichi() {
  flags(0, 1);
  pair(0), run(0), run(6);
  run_or_pung(0), run_or_pung(0);
}
void all_simples() {
  w.riichi = 0;
  w.call = engine_rand() % 3 == 0 ? 1 : 0;
  pair(1), run(1, 2);
  run_or_pung(1), run_or_pung(1);
}
void full_flush_sets(int s) {
  pair(s), pung(s), run(s);
  for (int i = 0; i < 2; ++i)
    if (engine_rand() % 3 != 0) run(s); else pung(s);
}
void full_flush() {
  mahjong_rule_r();
  full_flush_sets(engine_rand() % 3 + 2);
}
void half_flush() { mahjong_pick_hand(); }
// Drawn from a fresh pool only, so every kind is there.
void thirteen_orphans() {
  flags(0, 1);
  for (int k : orphan_kinds) mahjong_place_single(k);
  mahjong_place_single(orphan_kinds[engine_rand() % 13]);
}
void all_runs_riichi() {
  flags(0, 1);
  pair(0), run(0, 4);
}
void pure_double_run() {
  flags(0, 1);
  pair(0);
  int s = 0;
  bool fit = redraw([&](int) {
    s = 10 * (engine_rand() % 3);
    s += engine_rand() % 7 + 1;
    return runs_fit({s, s});
  });
  runs_or_any(fit, {s, s});
  run(0), pung(0);
}
void seven_pairs() {
  flags(0, 1);
  for (int i = 0; i < 7; ++i) {
    int k = 0;
    bool fit = redraw([&](int) {
      if (engine_rand() % 4 == 0) {
        k = 10 * (engine_rand() % 3);
        k += engine_rand() % 9 + 1;
      } else {
        k = 31 + engine_rand() % 7;
      }
      return holds(k, 3);
    });
    // Still no kind twice: the first untouched kind.
    for (int j = 0; !fit && j < 40; ++j) fit = holds(k = j, 3);
    if (fit) mahjong_place_pair(k);
  }
}
// The three runs are placed without a pool test as long as the pool has them; with three players
// the first suit's run never does and is taken from any run.
void open_mixed_triple_run() {
  flags(1, 0);
  int s = engine_rand() % 7 + 1;
  runs_or_any(true, {s, s + 10, s + 20});
  pung(0), pair(0);
}
void open_all_triplets() {
  flags(1, 0);
  pair(0), pung(0, 4);
}
void value_tiles() {
  flags(1, 0);
  pair(0), pung(6), pung(5), run(0, 2);
}
void pool_tested_mixed_triple_run() {
  flags(1, 0);
  pair(0);
  int s = 0;
  bool fit = redraw([&](int) { return runs_fit({s = engine_rand() % 7 + 1, s + 10, s + 20}); });
  runs_or_any(fit, {s, s + 10, s + 20});
  pung(0);
}
void pure_straight_sets() {
  int s = 0;
  bool fit = redraw([&](int) { return runs_fit({s = 10 * (engine_rand() % 3) + 1, s + 3, s + 6}); });
  runs_or_any(fit, {s, s + 3, s + 6});
}
void pure_straight() {
  flags(1, 0);
  pair(0);
  pure_straight_sets();
  pung(0);
}
void dragon_value_sets() {
  dragon_triplet();
  pair(0), run(0, 2), pung(0);
}
void dragon_value_hand() {
  flags(1, 1);
  dragon_value_sets();
}
void simple_triplets() {
  flags(1, 0);
  pair(1), pung(1, 4);
}
// Two dragon triplets and a pair of the third; short dragons come from any class.
void small_three_dragons() {
  flags(1, 0);
  int paired = 35 + engine_rand() % 3;
  for (int k = 35; k <= 37; ++k)
    if (k != paired) pung_or_any(k);
  pair_or_any(paired);
}
void big_three_dragons() {
  flags(1, 0);
  pair(0);
  for (int k = 35; k <= 37; ++k) pung_or_any(k);
  pung(0);
}

// ---- Builders of more than one line --------------------------------------------------------------

void style5() {
  one_of({terminal_run_riichi, terminal_run_riichi, [] {
            mahjong_rule_r();
            mahjong_half_flush_sets(3);
          }});
}
void style14() {
  flags(1, 0);
  pair(0);
  int s = 0, mid = 0;
  bool fit = redraw([&](int) {
    s = coin() ? 7 : 1;
    int d = coin() ? (s == 1 ? 1 : -1) : 0;
    mid = coin() ? s + 10 + d : s + 10;
    return runs_fit({s, mid, s + 20});
  });
  runs_or_any(fit, {s, mid, s + 20});
  pung(5);
}
void style29() {
  int k = 0;
  bool fit = redraw([&](int) { return special_kinds[k = engine_rand() % 40] != 0; });
  if (!(fit && mahjong_place_pair(k))) pair(0);
  set_from(special_kinds, 3), set_from(special_kinds, 3);
  for (int i = 0; i < 2; ++i) {
    int s = 0;
    fit = redraw([&](int) { return special_run_starts[s = engine_rand() % 40] && runs_fit({s}); });
    runs_or_any(fit, {s});
  }
}
void style59() {
  bool all = std::all_of(std::begin(orphan_kinds), std::end(orphan_kinds), [](int k) { return holds(k, 1); });
  if (all)
    thirteen_orphans();
  else
    mahjong_pattern_build(91, 0);
  flags(0, 0);
}
void style89(int position) {
  if (position == 0) {
    one_of({[] {
              small_three_dragons();
              int s = engine_rand() % 3 + 2;
              pung(s), run(s);
              flags(1, 0);
            },
            [] {
              full_flush();
              flags(0, 0);
            }});
  } else {
    one_of({all_runs_riichi, all_simples});
    w.riichi = 0;
    w.call = coin();
  }
}
void style97() {
  w.riichi = 0;
  w.call = coin();
  if (runs_fit({1, 4, 7})) {
    runs_or_any(true, {1, 4, 7});
    run_or_pung(0);
    pair(0);
  } else {
    one_of({open_all_triplets, half_flush, terminal_run_riichi});
  }
  then(DRAWN, DRAWN);
}
// The style-91 hand until it holds no white dragon; the last of the bounded tries has no white
// dragon in its pool.
void style102() {
  for (int i = 1;; ++i) {
    int white_left = w.pool[35];
    if (i == REDRAW_LIMIT) w.pool[35] = 0;
    mahjong_pattern_build(91, 0);
    if (i == REDRAW_LIMIT) {
      w.pool[35] = white_left;
      return;
    }
    if (std::find(std::begin(w.kinds), std::end(w.kinds), 35) == std::end(w.kinds)) return;
    for (int s = 0; s < 14; ++s) {
      if (w.kinds[s] >= 0) ++w.pool[w.kinds[s]];
      w.kinds[s] = -1, w.marks[s] = 0;
    }
  }
}
void style104() {
  switch (engine_rand() % 4) {
    case 0:
      flags(1, 0);
      pair(6), run(6, 3), pung(5);
      return;
    case 1:
      flags(1, 1);
      pung(6), pair(6), run(6, 2), pung(5);
      return;
  }
  pair(5), pung(5);
  int low = 0, high = 0, twice = 0;
  bool fit = redraw([&](int) {
    low = 10 * (engine_rand() % 3) + 1, high = low + 6;
    twice = coin() ? high : low;
    return runs_fit({low, high, twice});
  });
  runs_or_any(fit, {low, twice, high});
}

}  // namespace

void mahjong_general_hand() {
  one_of({value_tiles, pool_tested_mixed_triple_run, terminal_run_riichi, pure_double_run});
}

void mahjong_pattern_build(int style, int position) {
  switch (style) {
    case 1: case 4: terminal_run_riichi(); break;
    case 2: value_tiles(); break;
    case 3: pool_tested_mixed_triple_run(); break;
    case 5: style5(); break;
    case 6: seven_pairs(); break;
    case 7: open_all_triplets(); break;
    case 8: flags(0, 0), pair(0), run(0, 4); break;
    case 9: flags(1, 0), pair(1), run(1, 4); break;
    case 10: flags(1, 0), pair(6), run(6, 3), pung(5); break;
    case 11: flags(0, 1), pair(1), run(1, 4); break;
    case 12: one_of({open_all_triplets, [] { flags(1, 0), pair(0), pung(0, 3), run(0); }}); break;
    case 13: half_flush(); break;
    case 14: style14(); break;
    case 15: one_of({all_simples, terminal_run_riichi, pure_double_run}), w.call = 0; break;
    case 16: pure_straight(); break;
    case 17: one_of({pure_double_run, open_mixed_triple_run}); break;
    case 18: {
      mahjong_pattern_builder open_terminal_runs = [] { flags(1, 0), pair(6), run(6, 4); };
      one_of({full_flush, open_terminal_runs, open_terminal_runs});
      break;
    }
    case 19: {
      int a, b;
      flags(0, 1), two_suits(a, b);
      pair(a), run(b, 3), pung(a);
      break;
    }
    case 20: case 24: case 33: case 41: one_of({half_flush, terminal_run_riichi, all_simples}); break;
    case 21:
      flags(1, 0), dragon_triplet(), pair(0), pung(0, 2);
      one_of({[] { pung(0); }, [] { run(0); }, [] { pung(5); }});
      break;
    case 22: open_mixed_triple_run(); break;
    case 23:
      one_of({[] { mahjong_rule_r(), mahjong_half_flush_sets(2); }, [] { mahjong_rule_r(), full_flush_sets(2); }});
      break;
    case 25: case 32: one_of({terminal_run_riichi, all_simples}); break;
    case 26: case 28: one_of({all_simples, half_flush}), then(1, DRAWN); break;
    case 27: thirteen_orphans(); break;
    case 29: flags(0, 0), style29(); break;
    case 30: {
      int a, b;
      flags(0, 0), two_suits(a, b);
      pair(a), pung(5, 2), run(b, 2);
      break;
    }
    case 31: case 79: half_flush(), then(1, 0); break;
    case 34: one_of({half_flush, full_flush, all_simples}), then(0, 0); break;
    case 35: one_of({half_flush, terminal_run_riichi, all_simples}), then(0, 0); break;
    case 36: flags(0, 1), pair(0), pung(0, 3), run_or_pung(0); break;
    case 37: one_of({half_flush, all_simples}), then(1, DRAWN); break;
    case 38: one_of({half_flush, terminal_run_riichi, all_simples}), then(0, 1); break;
    case 39:
      one_of({[] { flags(0, 0), pair(0), pung(0, 4); }, thirteen_orphans, big_three_dragons});
      break;
    case 40: one_of({pure_double_run, [] { pair(1), run(1, 4); }, open_mixed_triple_run}); break;
    case 42: one_of({open_all_triplets, seven_pairs}); break;
    case 43: simple_triplets(); break;
    case 44:
      one_of({full_flush, terminal_run_riichi, terminal_run_riichi, all_simples, all_simples, half_flush});
      break;
    case 45: case 52:
      one_of({dragon_value_hand, terminal_run_riichi, terminal_run_riichi, all_simples, all_simples,
              half_flush, open_mixed_triple_run});
      break;
    case 46:
      one_of({dragon_value_hand, terminal_run_riichi, terminal_run_riichi, all_simples, all_simples,
              half_flush, pure_double_run});
      break;
    case 47: flags(0, 0), pure_straight_sets(), pair(0), pung(5); break;
    case 48:
      mahjong_rule_r();
      one_of({[] { mahjong_half_flush_sets(3); }, [] { full_flush_sets(3); }});
      break;
    case 49: flags(1, 0), pair(0), run(0), run(6), run_or_pung(0), run_or_pung(0); break;
    case 50: flags(1, 0), mahjong_half_flush_sets(4); break;
    case 51: flags(1, 0), pair(0), run(0, 2), pung(6, 2); break;
    case 53:
      flags(1, 1);
      if (coin()) seven(2), pung(0); else pair(0), seven(3);
      run(0, 2), pung(0);
      break;
    case 54: one_of({value_tiles, all_runs_riichi, terminal_run_riichi, pure_double_run}); break;
    case 55:
      flags(1, 1);
      if (coin()) tried_set(2, white), pung(0); else pair(0), tried_set(3, white);
      run(0, 2), pung(0);
      break;
    case 56: case 60: case 62: case 64: case 65:
      one_of({value_tiles, all_runs_riichi, terminal_run_riichi, pure_double_run, pool_tested_mixed_triple_run});
      if (style != 56 && style != 60) then(0, 1);
      break;
    case 57: w.call = 1, mahjong_half_flush_sets(4); break;
    case 58: case 70:
      one_of({pool_tested_mixed_triple_run, [] { flags(0, 1), pair(1), run(1, 4); }});
      break;
    case 59: style59(); break;
    case 61:
      // When the pair of any kind has taken circle 1, its triplet comes from any kind.
      flags(1, 1);
      if (coin()) pair_or_any(11), pung(0); else pair(0), pung_or_any(11);
      run(0, 2), pung(0);
      break;
    case 63: flags(1, 1), set_from(number_kinds, 2), set_from(number_kinds, 3), run(0, 2), pung(0); break;
    case 66: pure_straight(), then(1, 1); break;
    case 67: {
      flags(1, 1);
      int k = coin() ? 37 : 15;
      pair_or_any(k);
      k = coin() ? 37 : 15;
      pung_or_any(k);
      run(0, 2), pung(0);
      break;
    }
    case 68:
      one_of({half_flush, all_runs_riichi, half_flush, pure_double_run, pool_tested_mixed_triple_run});
      break;
    case 69: flags(1, 0), pair(0), tried_set(3, white), run(0, 3); break;
    case 71: case 75: one_of({pure_double_run, seven_pairs, seven_pairs, seven_pairs}), then(0, 1); break;
    case 72:
      one_of({all_runs_riichi, pure_double_run, open_mixed_triple_run, all_simples}), then(0, 1);
      break;
    case 73: case 83:
      one_of({all_runs_riichi, pure_double_run, open_all_triplets, all_simples});
      if (style == 73) then(0, 1); else then(1, 0);
      break;
    case 74: one_of({all_runs_riichi, pure_double_run, dragon_value_hand, all_simples}), then(0, 0); break;
    case 76: flags(0, 1), pair(0), tried_set(3, white), run(0, 3); break;
    case 77:
      one_of({seven_pairs, open_all_triplets, open_all_triplets, open_all_triplets}), then(1, 0);
      break;
    case 78:
      if (coin()) style5(), then(0, 1); else value_tiles();
      break;
    case 80: one_of({all_runs_riichi, all_simples}), then(0, 1); break;
    case 81: case 99: all_simples(), then(1, 0); break;
    case 82: one_of({all_runs_riichi, all_simples}), then(DRAWN, 0); break;
    case 84: one_of({half_flush, open_all_triplets}), then(0, 1); break;
    case 85: one_of({value_tiles, [] { pair(0), run(0, 4); }, all_simples}), then(1, 0); break;
    case 86: case 103: case 105: case 106:
      one_of({all_runs_riichi, all_simples, all_runs_riichi, pool_tested_mixed_triple_run,
              terminal_run_riichi, pure_double_run});
      then(DRAWN, DRAWN);
      break;
    case 87:
      one_of({all_runs_riichi, all_simples, terminal_run_riichi, dragon_value_hand}), then(0, 1);
      break;
    case 88: one_of({dragon_value_hand, all_simples, all_runs_riichi}), then(1, 0); break;
    case 89: style89(position); break;
    case 90: one_of({dragon_value_sets, all_simples, [] { pair(0), run(0, 4); }}); break;
    case 91: case 94: one_of({value_tiles, half_flush, open_all_triplets}), then(1, 0); break;
    case 92:
      one_of({[] {
                w.call = 1, w.riichi = coin();
                pair(6), run(6);
                for (int i = 0; i < 3; ++i)
                  if (coin()) pung(8); else run(6);
              },
              value_tiles,
              [] {
                w.riichi = coin();
                w.call = w.riichi == 0 ? 1 : 0;
                pair(5), pung(5, 2), run(0, 2);
              }});
      then(DRAWN, DRAWN);
      break;
    case 93:
      w.call = 1, w.riichi = coin();
      tried_set(2, south_or_north), tried_set(3, south_or_north);
      for (int i = 0; i < 3; ++i)
        if (coin()) pung(0); else run(0);
      break;
    case 95: one_of({terminal_run_riichi, half_flush, open_all_triplets}), then(DRAWN, DRAWN); break;
    case 96: one_of({seven_pairs, [] { w.call = 1, pair(0), pung(0, 4); }}), then(DRAWN, 1); break;
    case 97: style97(); break;
    case 98:
      flags(0, 1), pair(0), run(0, 4);
      w.riichi = coin(), w.call = coin();
      break;
    case 100:
      one_of({[] { small_three_dragons(), pung(0), run(0); },
              [] { pair(0), pung(6, 2), run(0, 2); },
              [] { pair(7), pung(6), run(0, 3); }});
      then(DRAWN, DRAWN);
      break;
    case 101: one_of({full_flush, half_flush}), then(DRAWN, DRAWN); break;
    case 102: style102(); break;
    case 104: style104(); break;
    default: one_of({value_tiles, all_runs_riichi, terminal_run_riichi, pure_double_run}); break;
  }
}
