#include "mahjong/deal.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "base/random.h"
#include "mahjong/deal_patterns.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "shell/settings.h"
#include "vm/script_error.h"
#include "vm/variables.h"

mahjong_deal_work mahjong_deal;

// Pair and triplet words by kind; run-start words by a run's first kind.
const uint8_t mahjong_pair_flags[MAHJONG_KINDS] = {
    0, 0x45, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x45,
    0, 0x49, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x49,
    0, 0x51, 0x13, 0x13, 0x13, 0x13, 0x13, 0x13, 0x13, 0x51,
    0, 0x61, 0x61, 0x61, 0x61, 0xE1, 0xE1, 0xE1, 0, 0};
const uint8_t mahjong_pung_flags[MAHJONG_KINDS] = {
    0, 0x85, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x85,
    0, 0x89, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x89,
    0, 0x91, 0x13, 0x13, 0x13, 0x13, 0x13, 0x13, 0x13, 0x91,
    0, 0xA1, 0xA1, 0xA1, 0xA1, 0xE1, 0xE1, 0xE1, 0, 0};
const uint8_t mahjong_run_flags[30] = {
    0, 0xC5, 0x07, 0x07, 0x07, 0x07, 0x07, 0xC5, 0, 0,
    0, 0xC9, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0xC9, 0, 0,
    0, 0xD1, 0x13, 0x13, 0x13, 0x13, 0x13, 0xD1, 0, 0};
// Classes: 0 any, 1 simples, 2-4 one suit, 5 honours, 6 terminals and honours (pairs), dragons
// (triplets), terminal runs; 7 dragons (pairs), nothing (triplets), any run; 8 terminals and
// honours (triplets).
const uint8_t mahjong_pair_masks[DEAL_CLASSES] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0};
const uint8_t mahjong_pung_masks[DEAL_CLASSES] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0, 0x80};
const uint8_t mahjong_run_masks[DEAL_CLASSES] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x01, 0};

namespace {

constexpr std::array<uint8_t, 110> rig_flags = [] {
  std::array<uint8_t, 110> t{};
  for (int s : {35, 39, 48, 49, 50, 51, 53, 55, 56, 57, 58, 59, 61, 62, 63, 66, 67, 82, 85, 86, 87,
                88, 89, 91, 92, 93})
    t[s] = 1;
  for (int s = 69; s <= 80; ++s) t[s] = 1;
  for (int s = 97; s <= 106; ++s) t[s] = 1;
  return t;
}();

constexpr int CLASS_FALLBACK_AT = 100;  // from this attempt on, any class will do
constexpr int DRAW_LIMIT = 1000;        // draws before a picker takes the first fit in kind order
constexpr int RUN_STARTS = 28;          // run starts are drawn from 0..27

mahjong_deal_work& w = mahjong_deal;

uint8_t mask_of(const uint8_t* masks, int cls) { return cls >= 0 && cls < DEAL_CLASSES ? masks[cls] : 0; }

// With three players the first suit is 1 and 9 only, so its class is served as any class.
int served(int cls) { return w.players == 3 && cls == 2 ? 0 : cls; }

// The first free slot when it and the n - 1 after it are free; else -1.
int free_run_of(int n) {
  const int32_t* f = std::find(w.kinds, w.kinds + MAHJONG_SLOTS, -1);
  int at = static_cast<int>(f - w.kinds);
  if (at + n > MAHJONG_SLOTS) return -1;
  for (int i = at; i < at + n; ++i)
    if (w.kinds[i] != -1) return -1;
  return at;
}

int has(int kind, int need) { return kind_is_valid(kind) && w.pool[kind] >= need; }

int put(std::initializer_list<int> kinds, std::initializer_list<int> marks) {
  int at = free_run_of(static_cast<int>(kinds.size()));
  if (at < 0) return -1;
  int i = at;
  for (auto k = kinds.begin(), m = marks.begin(); k != kinds.end(); ++k, ++m, ++i) {
    w.kinds[i] = *k, w.marks[i] = *m;
    --w.pool[*k];
  }
  return at;
}

int put_pair(int k) { return put({k, k}, {DEAL_PAIR, DEAL_PAIR}); }
int put_pung(int k) { return put({k, k, k}, {DEAL_TRIPLET, DEAL_TRIPLET, DEAL_TRIPLET}); }
int put_run(int s) { return put({s, s + 1, s + 2}, {DEAL_RUN_FIRST, DEAL_RUN_FIRST + 1, DEAL_RUN_FIRST + 2}); }

bool pair_or_pung_fits(const uint8_t* words, const uint8_t* masks, int kind, int cls, int need) {
  return words[kind] != 0 && !(w.players == 3 && kind == 34) && (words[kind] & mask_of(masks, cls)) != 0 &&
         has(kind, need);
}
bool run_fits(int start, int cls) {
  return (mahjong_run_flags[start] & mask_of(mahjong_run_masks, cls)) != 0 && has(start, 1) &&
         has(start + 1, 1) && has(start + 2, 1);
}

// The pair and triplet pickers: rand() % 40 per attempt.
int pick_by_kind(const uint8_t* words, const uint8_t* masks, int cls, int need) {
  if (free_run_of(need) < 0) return -1;
  cls = served(cls);
  auto place = [need](int k) { return need == 2 ? put_pair(k) : put_pung(k); };
  for (int attempt = 1; attempt <= DRAW_LIMIT; ++attempt) {
    int k = engine_rand() % MAHJONG_KINDS;
    if (pair_or_pung_fits(words, masks, k, attempt >= CLASS_FALLBACK_AT ? 0 : cls, need)) return place(k);
  }
  for (int k = 0; k < MAHJONG_KINDS; ++k)
    if (pair_or_pung_fits(words, masks, k, 0, need)) return place(k);
  return -1;
}

int hand_progress(int players) {
  static const int bonus[5] = {0, 1, 2, 3, 5};
  if (mahjong.in_suv != 0) return engine_rand() % 3 == 0 ? 5 + engine_rand() % 3 : 4 + engine_rand() % 3;
  if (players == 2) return 4 + engine_rand() % 3;
  return 4 + engine_rand() % 3 + bonus[std::clamp(difficulty_get(), 0, 4)];
}

}  // namespace

int mahjong_rig_flag(int style) {
  return style >= 0 && style < static_cast<int>(rig_flags.size()) ? rig_flags[style] : 0;
}

void mahjong_deal_reset(int players) {
  std::fill(std::begin(w.kinds), std::end(w.kinds), -1);
  std::fill(std::begin(w.marks), std::end(w.marks), 0);
  for (int k = 0; k < MAHJONG_KINDS; ++k) w.pool[k] = mahjong_kind_count(players, k);
  w.call = w.riichi = 0;
  w.players = players;
}

int mahjong_pick_pung(int cls) { return pick_by_kind(mahjong_pung_flags, mahjong_pung_masks, cls, 3); }
int mahjong_pick_pair(int cls) { return pick_by_kind(mahjong_pair_flags, mahjong_pair_masks, cls, 2); }

int mahjong_pick_run(int cls) {
  if (free_run_of(3) < 0) return -1;
  cls = served(cls);
  // Draws of kinds that start no run are not attempts.
  for (int draws = 0, attempt = 0; draws < DRAW_LIMIT; ++draws) {
    int s = engine_rand() % RUN_STARTS;
    if (mahjong_run_flags[s] == 0) continue;
    if (run_fits(s, ++attempt >= CLASS_FALLBACK_AT ? 0 : cls)) return put_run(s);
  }
  for (int s = 0; s < RUN_STARTS; ++s)
    if (run_fits(s, 0)) return put_run(s);
  return -1;
}

void mahjong_rule_r() {
  w.riichi = engine_rand() & 1;
  w.call = w.riichi == 0 && engine_rand() % 3 == 0 ? 1 : 0;
}

void mahjong_half_flush_sets(int suit_class) {
  int t = engine_rand() % 3;
  mahjong_pick_pair(5);
  mahjong_pick_pung(t == 1 ? suit_class : 5);
  mahjong_pick_run(suit_class);
  for (int i = 0; i < 2; ++i)
    if (engine_rand() % 3 != 0)
      mahjong_pick_run(suit_class);
    else
      mahjong_pick_pung(suit_class);
}

void mahjong_pick_hand() {
  mahjong_rule_r();
  mahjong_half_flush_sets(engine_rand() % 3 + 2);
}

bool mahjong_place_pung(int kind) { return has(kind, 3) && put_pung(kind) >= 0; }
bool mahjong_place_pair(int kind) { return has(kind, 2) && put_pair(kind) >= 0; }
bool mahjong_place_single(int kind) { return has(kind, 1) && put({kind}, {DEAL_PAIR}) >= 0; }
bool mahjong_place_run(int start) {
  return start >= 0 && start < RUN_STARTS && mahjong_run_flags[start] != 0 && has(start, 1) &&
         has(start + 1, 1) && has(start + 2, 1) && put_run(start) >= 0;
}

void mahjong_sort_seats(int32_t* weights, int32_t* seats, int n) {
  for (int i = 0; i + 1 < n; ++i)
    for (int j = 0; j + 1 < n - i; ++j)
      if (weights[j + 1] > weights[j]) {
        std::swap(weights[j], weights[j + 1]);
        std::swap(seats[j], seats[j + 1]);
      }
}

void mahjong_deal_com_hands() {
  int players = mahjong.maj_mode, n = players - 1;
  int32_t weights[MAHJONG_COMS], order[MAHJONG_COMS];
  for (int i = 0; i < n; ++i) {
    // A negative strength counts as 0, so the modulus is never 0 or below.
    int64_t modulus = static_cast<int64_t>(std::max(mahjong.com_tuyosa[i], 0)) * 4 + 4;
    weights[i] = static_cast<int32_t>(engine_rand() % modulus);
    order[i] = i;
  }
  mahjong_sort_seats(weights, order, n);
  mahjong.com_yuusen = order[0];
  for (int p = 0; p < n; ++p) {
    int seat = order[p];
    mahjong_deal_reset(players);
    mahjong.com_te_susunda[seat] = hand_progress(players);
    int style = mahjong.com_lvl[seat];
    if (style == 59) mahjong.com_te_susunda[seat] = 12;
    if (mahjong_rig_flag(style) == 0 && engine_rand() % 4 < 2)
      mahjong_general_hand();
    else
      mahjong_pattern_build(style, p);
    if (p == 0)
      for (int k : w.kinds)
        if (k >= 0) mahjong_reserve_kind(k);  // a kind the wall no longer holds is skipped
    std::copy(std::begin(w.kinds), std::end(w.kinds), mahjong.com_end[seat]);
    std::copy(std::begin(w.marks), std::end(w.marks), mahjong.com_endnaki[seat]);
    mahjong.com_do_reach[seat] = w.riichi;
    mahjong.com_do_naki[seat] = w.call;
    mahjong.com_is_tenpai[seat] = 0;
  }
}

int builtin_mahjong_com_deal(int32_t, int32_t) {
  mahjong_vars_load();
  if (mahjong_wall_size(mahjong.maj_mode) == 0)
    script_error("mahjong_com_deal : 人数[%d]が範囲外です", mahjong.maj_mode);
  else
    mahjong_deal_com_hands();
  mahjong_vars_store();
  push_int(0);
  return 0;
}

int builtin_difficulty_value(int32_t, int32_t) {
  push_int(difficulty_get());
  return 0;
}

int builtin_game_speed_value(int32_t, int32_t) {
  push_int(game_speed_get());
  return 0;
}
