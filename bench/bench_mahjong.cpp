// The hand evaluator on random winning hands: full evaluations (readings, yaku, fu, points) and
// wait searches a second on one core, against a plain sort of the same hands' 14 tiles.
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "bench_ratio.h"
#include "mahjong/evaluator.h"

namespace {

constexpr int HANDS = 4096;

// A winning hand: a pair and four sets of random kinds, some of them called, the winning tile a
// random concealed one; random seat, riichi, self-draw and dora.
hand_evaluation random_hand(std::mt19937& rng) {
  static const int kinds[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                              21, 22, 23, 24, 25, 26, 27, 28, 29, 31, 32, 33, 34, 35, 36, 37};
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  for (;;) {
    hand_evaluation e{};
    int used[MAHJONG_KINDS] = {};
    std::vector<int> concealed;
    int slot = 0;
    bool ok = true, open = false;
    auto take = [&](int k) {
      if (used[k] >= 4) ok = false;
      return k * 10 + used[k]++;
    };
    for (int s = 0; s < 4; ++s) {
      bool run = pick(3) > 0;
      int k = run ? 1 + pick(7) + 10 * pick(3) : kinds[pick(34)];
      bool called = pick(4) == 0;
      open |= called;
      for (int i = 0; i < 3; ++i) {
        int t = take(run ? k + i : k);
        if (called) {
          e.tiles[slot] = t, e.melds[slot] = run ? MELD_CHI_FIRST + i : MELD_PON, ++slot;
        } else {
          concealed.push_back(t);
        }
      }
    }
    int pair = kinds[pick(34)];
    concealed.push_back(take(pair));
    concealed.push_back(take(pair));
    if (!ok) continue;
    std::swap(concealed[size_t(pick(int(concealed.size())))], concealed.back());
    e.tiles[13] = concealed.back();
    concealed.pop_back();
    std::sort(concealed.begin(), concealed.end());
    for (int t : concealed) e.tiles[slot++] = t;
    e.tsumo = pick(2), e.seat_wind = pick(4), e.round_wind = pick(2), e.riichi = !open && pick(2);
    e.players = 4;
    e.dora[0] = kinds[pick(34)] * 10, e.dora[1] = -1;
    return e;
  }
}

struct hand_set {
  std::vector<hand_evaluation> hands;
  hand_set() {
    std::mt19937 rng(2024);
    for (int i = 0; i < HANDS; ++i) hands.push_back(random_hand(rng));
  }
};
const hand_set& hands() {
  static hand_set set;
  return set;
}

void BM_sort_hands(benchmark::State& state) {
  const hand_set& set = hands();
  mahjong_tile tiles[MAHJONG_SLOTS];
  for (auto _ : state)
    for (const hand_evaluation& e : set.hands) {
      memcpy(tiles, e.tiles, sizeof tiles);
      std::sort(tiles, tiles + MAHJONG_SLOTS);
      benchmark::DoNotOptimize(tiles);
    }
  state.SetItemsProcessed(int64_t(state.iterations()) * HANDS);
}
BENCHMARK(BM_sort_hands);

void BM_evaluate(benchmark::State& state) {
  const hand_set& set = hands();
  int64_t scored = 0;
  for (auto _ : state)
    for (const hand_evaluation& e : set.hands) {
      mahjong_eval = e;
      scored += mahjong_evaluate_yaku(&mahjong_eval) > 0;
    }
  state.SetItemsProcessed(int64_t(state.iterations()) * HANDS);
  state.counters["scoring"] = double(scored) / double(int64_t(state.iterations()) * HANDS);
}
BENCHMARK(BM_evaluate);

void BM_hand_waits(benchmark::State& state) {
  const hand_set& set = hands();
  for (auto _ : state)
    for (const hand_evaluation& e : set.hands) {
      mahjong_eval = e;
      benchmark::DoNotOptimize(mahjong_hand_waits(&mahjong_eval));
    }
  state.SetItemsProcessed(int64_t(state.iterations()) * HANDS);
}
BENCHMARK(BM_hand_waits);

}  // namespace

int main(int argc, char** argv) {
  bench_labels labels;
  labels.item = "hand";
  labels.ratios = "x baseline: hands a second over a plain sort of the same hands' 14 tiles in this run.";
  return bench_main(argc, argv, {{"BM_evaluate", "BM_sort_hands", ""}, {"BM_hand_waits", "BM_sort_hands", ""}}, labels);
}
