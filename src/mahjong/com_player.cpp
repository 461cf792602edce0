#include "mahjong/com_player.h"

#include <algorithm>

#include "base/int32.h"
#include "base/random.h"
#include "mahjong/evaluator.h"
#include "mahjong/hand.h"
#include "mahjong/mahjong_builtins.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"

namespace {

int finish(int32_t result) { return mahjong_builtin_finish(result); }

// A computer seat at the table; others are reported.
bool com_seated(const char* builtin, int player) {
  mahjong_hand_ref h;
  if (player == MAHJONG_HUMAN) {
    script_error("%s : プレイヤー番号[%d]が範囲外です", builtin, player);
    return false;
  }
  return mahjong_player_hand(builtin, player, &h);
}

mahjong_hand_ref com_hand(int a) {
  return {mahjong.com_pre_te[a], mahjong.com_naki_flag[a], mahjong.com_naki_flag2[a]};
}

int discard_count(const mahjong_tile* discards) {
  int d = 0;
  while (d < 40 && discards[d] != -1) ++d;
  return d;
}

bool kind_discarded(const mahjong_tile* discards, int kind) {
  for (int i = 0; i < 40 && discards[i] != -1; ++i)
    if (tile_is_tile(discards[i]) && tile_kind(discards[i]) == kind) return true;
  return false;
}

int kind_of(mahjong_tile t) { return tile_is_tile(t) ? tile_kind(t) : 0; }

// Undrawn tiles of the kind that a computer may count on: the favoured one counts reserved tiles.
bool favoured(int a) { return mahjong.com_yuusen == a; }
int undrawn_for(int a, int kind) { return favoured(a) ? mahjong_wall_left(kind) : mahjong_wall_free(kind); }
mahjong_tile take_for(int a, int kind) { return favoured(a) ? mahjong_take_kind(kind) : mahjong_take_free_kind(kind); }

// Points of computer a's hand with the tile in slot 13 (left at 600 afterwards).
int probe_points(int a, mahjong_tile t) {
  mahjong.com_pre_te[a][13] = t;
  hand_evaluation scratch{};
  int points = mahjong_score_player_into(&scratch, a);
  mahjong.com_pre_te[a][13] = MAHJONG_FILLER;
  return points;
}

// Up to n look-ahead tiles from the wall (fewer when it runs out of free ones).
int draw_candidates(mahjong_tile* out, int n) {
  int got = 0;
  while (got < n && (out[got] = mahjong_draw_tile()) != -1) ++got;
  return got;
}

// Every candidate but the kept one back to the wall, in draw order.
void return_others(const mahjong_tile* c, int n, int keep) {
  for (int i = 0; i < n; ++i)
    if (i != keep) mahjong_return_to_wall(c[i]);
}

mahjong_tile com_luck_draw(int a) {
  if (engine_rand() % 400 > 4 * int64_t{mahjong.com_luck[a]}) return mahjong_draw_tile();
  mahjong_restore_target(a);
  mahjong_tile c[4];
  int n = draw_candidates(c, 4), best = -1, best_points = 0;
  for (int i = 0; i < n; ++i) {
    int points = probe_points(a, c[i]);
    if (best < 0 || points > best_points) best = i, best_points = points;
  }
  mahjong.com_pre_te[a][13] = MAHJONG_FILLER;
  if (best >= 0 && best_points > 1) {
    return_others(c, n, best);
    return c[best];
  }
  return_others(c, n, -1);
  return mahjong_draw_tile();
}

// The non-tenpai draw: the least wanted of four tiles, so the target's kinds stay in the wall.
mahjong_tile com_plain_draw(int a) {
  int32_t counter[MAHJONG_KINDS] = {};
  for (int s = 0; s < MAHJONG_SLOTS; ++s)
    if (kind_is_valid(mahjong.com_end[a][s])) counter[mahjong.com_end[a][s]] += 2;
  const mahjong_tile* sute = mahjong.com_sute[a];
  for (int i = std::max(0, discard_count(sute) - 3); i < discard_count(sute); ++i)
    if (tile_is_tile(sute[i])) ++counter[tile_kind(sute[i])];
  static const int base[10] = {0, 0, 1, 2, 3, 3, 3, 2, 1, 0};
  mahjong_tile c[4];
  int n = draw_candidates(c, 4), best = -1, best_score = 0;
  for (int i = 0; i < n; ++i) {
    int h = tile_kind(c[i]), e = h % 10, score;
    if (mahjong.maj_mode == 3 && h < 10) {
      score = 15 * counter[h] - 3;
    } else if (h < 30) {
      score = base[e] + 2 * counter[h] + (e > 1 ? counter[h - 1] : 0) + (e != 9 ? counter[h + 1] : 0);
      for (int j = h - e + 1; j <= h - e + 9; ++j) score += counter[j] != 0;
    } else {
      score = (h >= KIND_WHITE ? 1 : 0) + 15 * counter[h];
    }
    score += engine_rand() % 4;
    if (best < 0 || score < best_score) best = i, best_score = score;
  }
  return_others(c, n, best);
  return best < 0 ? -1 : c[best];
}

// Every concealed slot's target tile out of the wall into "@M_com_end2#"; then the hand is that.
bool take_target(int a) {
  if (!mahjong_target_available(a)) return false;
  for (int s = 0; s < MAHJONG_SLOTS; ++s)
    if (mahjong.com_naki_flag[a][s] == MELD_CONCEALED) mahjong.com_end2[a][s] = mahjong_take_kind(mahjong.com_end[a][s]);
  std::copy_n(mahjong.com_end2[a], MAHJONG_SLOTS, mahjong.com_pre_te[a]);
  return true;
}

// A trial of giving up slot c: how well the hand waits, furiten and waiting on t counting against.
int give_up_score(int a, int c, mahjong_tile t) {
  mahjong_restore_target(a);
  mahjong_hand_ref h = com_hand(a);
  h.tiles[c] = MAHJONG_FILLER;
  mahjong_sort_hand(h);
  const int32_t* waits;
  int n = mahjong_hand_wait_kinds(h.tiles, h.states, &waits);
  bool on_t = tile_is_tile(t) && mahjong_kind_listed(waits, tile_kind(t));
  return n - 10 * (mahjong_furiten(a) + on_t);
}

// Loads the state; the last discard's kind when computer a may call it (seated, not tenpai, the
// kind not among its own discards), else -1.
int callable_kind(const char* builtin, int a) {
  mahjong_vars_load();
  if (!com_seated(builtin, a)) return -1;
  int k = kind_of(mahjong.last_sute);
  return mahjong.com_is_tenpai[a] || !kind_is_valid(k) || kind_discarded(mahjong.com_sute[a], k) ? -1 : k;
}

bool four_melds(int a) { return mahjong.com_naki_flag[a][11] != MELD_CONCEALED; }

void com_pon_apply(int a) {
  mahjong_hand_ref h = com_hand(a);
  int m = mahjong_first_concealed(h), k = kind_of(mahjong.last_sute);
  if (m == 9) mahjong.com_te_susunda[a] = 15;
  h.tiles[m] = mahjong.last_sute;
  h.tiles[m + 1] = take_for(a, k);
  h.tiles[m + 2] = take_for(a, k);
  for (int j = m; j < MAHJONG_SLOTS - 2; ++j)
    if (mahjong.com_end[a][j] == k && mahjong.com_endnaki[a][j] == MELD_PON) {
      mahjong_target_move(a, m, j);
      break;
    }
  for (int i = 0; i < 3; ++i) h.states[m + i] = MELD_PON;
  std::copy_n(h.tiles, m + 3, mahjong.com_end2[a]);
  std::copy_n(h.states, m + 3, mahjong.com_endnaki2[a]);
  int mark = mahjong_com_call_slot(mahjong.maj_mode, a, mahjong.last_sute_pl);
  for (int i = 0; i < 3; ++i) h.from[m + i] = i == mark;
}

void com_chi_apply(int a, int run_start) {
  mahjong_hand_ref h = com_hand(a);
  int m = mahjong_first_concealed(h), k = kind_of(mahjong.last_sute);
  if (m == 9) mahjong.com_te_susunda[a] = 15;
  mahjong_target_move(a, m, run_start);
  for (int i = 0; i < 3; ++i) {
    int s = m + i;
    h.states[s] = mahjong.com_endnaki2[a][s] = MELD_CHI_FIRST + i;
    bool claimed = mahjong.com_end[a][s] == k;
    h.tiles[s] = claimed ? mahjong.last_sute : take_for(a, mahjong.com_end[a][s]);
    h.from[s] = claimed;
    mahjong.com_end2[a][s] = h.tiles[s];
  }
}

}  // namespace

void mahjong_target_move(int player, int to, int from) {
  if (player < 0 || player >= MAHJONG_COMS || to < 0 || from < to || from + 3 > MAHJONG_SLOTS) return;
  for (int32_t* row : {mahjong.com_end[player], mahjong.com_endnaki[player]})
    std::rotate(row + to, row + from, row + from + 3);
}

void mahjong_restore_target(int a) {
  if (mahjong.com_is_tenpai[a]) {
    std::copy_n(mahjong.com_end2[a], MAHJONG_SLOTS, mahjong.com_pre_te[a]);
    std::copy_n(mahjong.com_endnaki2[a], MAHJONG_SLOTS, mahjong.com_naki_flag[a]);
    return;
  }
  for (int s = 0; s < MAHJONG_SLOTS; ++s)
    if (mahjong.com_naki_flag[a][s] == MELD_CONCEALED) mahjong.com_pre_te[a][s] = i32_mul(mahjong.com_end[a][s], 10);
}

int mahjong_hint_value(mahjong_tile tile, const int32_t c[MAHJONG_KINDS]) {
  if (!tile_is_tile(tile)) return 0;
  mahjong.my_pre_te[13] = tile;
  hand_evaluation scratch{};
  int points = mahjong_score_player_into(&scratch, MAHJONG_HUMAN);
  mahjong.my_pre_te[13] = MAHJONG_FILLER;
  if (points > 0) return 1000 + points;
  int k = kind_of(tile), e = k % 10, v = 0;
  if (k > 30) {
    static const int orphans[13] = {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37};
    v = 5 * c[k];
    for (int o : orphans) v += c[o] != 0;
    return v;
  }
  v = 2 * c[k];
  if (e > 1) v += 2 * c[k - 1];
  if (e != 9) v += 2 * c[k + 1];
  if (e > 2) v += 2 * c[k - 2];
  if (e < 8) v += 2 * c[k + 2];
  if (e > 3) v += c[k - 3];
  if (e < 7) v += c[k + 3];
  if (c[k] == 0 && c[k - 1] != 0 && c[k + 1] != 0) v += 5;
  for (int odd = 1; odd <= 9; odd += 2) v += c[k - e + odd] != 0;
  return v;
}

mahjong_tile mahjong_pick_dora() {
  // Style code: tries, keep the fewest matches, stop scanning.
  struct style { int code, tries; bool fewest, stops; };
  static const style styles[] = {{24, 6, false, false}, {33, 9, false, false}, {41, 4, false, false},
                                 {65, 9, false, true},  {73, 4, false, true},  {82, 4, true, true},
                                 {90, 9, false, true},  {96, 10, false, true}};
  int coms = std::max(0, std::min(mahjong.maj_mode - 1, MAHJONG_COMS));
  int first = mahjong.maj_mode == 4 ? engine_rand() % 3 : 0;
  int chosen = -1, tries = 0;
  bool fewest = false;
  for (int i = 0; i < coms; ++i) {
    int a = (first + i) % coms;
    const style* s = std::find_if(std::begin(styles), std::end(styles),
                                  [&](const style& x) { return x.code == mahjong.com_lvl[a]; });
    if (s == std::end(styles)) continue;
    chosen = a, tries = s->tries, fewest = s->fewest;
    if (s->stops) break;
  }
  mahjong_tile candidate = mahjong_draw_tile();
  if (chosen < 0 || candidate == -1) return candidate;
  auto matches = [&](mahjong_tile t) {
    int n = 0;
    for (int s = 0; s < MAHJONG_SLOTS; ++s) n += mahjong.com_end[chosen][s] == tile_kind(t) + 1;
    return n;
  };
  int best = matches(candidate);
  for (int i = 0; i < tries; ++i) {
    mahjong_tile t = mahjong_draw_tile();
    if (t == -1) break;
    int got = matches(t);
    if (fewest ? got < best : got > best) std::swap(t, candidate), best = got;
    mahjong_return_to_wall(t);
  }
  return candidate;
}

int builtin_mahjong_com_draw(int32_t, int32_t) {
  int a = builtin_arg_int(1);
  mahjong_vars_load();
  if (!com_seated("mahjong_com_draw", a)) return finish(0);
  if (!mahjong.com_is_tenpai[a]) return finish(com_plain_draw(a));
  if (engine_rand() % 400 > 4 * int64_t{mahjong.com_unluck[a]}) return finish(com_luck_draw(a));
  return finish(mahjong_draw_tile());
}

int builtin_mahjong_com_call_chance(int32_t, int32_t) {
  int a = builtin_arg_int(1);
  mahjong_vars_load();
  if (!com_seated("mahjong_com_call_chance", a)) return finish(0);
  int d = discard_count(mahjong.com_sute[a]);
  int chance = d <= 3 ? 100 : d <= 6 ? 70 : d <= 13 ? 55 : d <= 17 ? 40 : 30;
  if (engine_rand() % 100 < chance) return finish(engine_rand() % 13);
  return finish(13);
}

int builtin_mahjong_com_pon(int32_t, int32_t) {
  int a = builtin_arg_int(1), k = callable_kind("mahjong_com_pon", a);
  if (k < 0) return finish(0);
  for (int s = 0; s < MAHJONG_SLOTS; ++s) {
    if (mahjong.com_naki_flag[a][s] != MELD_CONCEALED || mahjong.com_endnaki[a][s] != MELD_PON ||
        mahjong.com_end[a][s] != k)
      continue;
    if (mahjong.com_do_naki[a] == 0 || four_melds(a)) return finish(0);
    if (engine_rand() & 1) mahjong.com_te_susunda[a] = i32_add(mahjong.com_te_susunda[a], 1);
    if (undrawn_for(a, k) <= 1) return finish(0);
    com_pon_apply(a);
    return finish(1);
  }
  return finish(0);
}

int builtin_mahjong_com_chi(int32_t, int32_t) {
  int a = builtin_arg_int(1), k = callable_kind("mahjong_com_chi", a);
  if (k < 0) return finish(0);
  int found = -1;
  for (int s = 0; s < MAHJONG_SLOTS; ++s) {
    int state = mahjong.com_endnaki[a][s];
    if (mahjong.com_naki_flag[a][s] != MELD_CONCEALED || state < 1 || state > 3 || mahjong.com_end[a][s] != k) continue;
    if (found < 0 || state == 2) found = s;
    if (state == 2) break;
  }
  if (found < 0 || mahjong.com_do_naki[a] == 0 || four_melds(a)) return finish(0);
  if (engine_rand() & 1) mahjong.com_te_susunda[a] = i32_add(mahjong.com_te_susunda[a], 1);
  int place = mahjong.com_endnaki[a][found] - 1, start = found - place;
  if (start < 0 || start + 3 > MAHJONG_SLOTS) return finish(0);
  for (int i = 0; i < 3; ++i)
    if (i != place && undrawn_for(a, k - place + i) < 1) return finish(0);
  bool calls = mahjong.com_do_naki[a] == 2 ? (engine_rand() & 1) == 0 : engine_rand() % 4 == 0;
  if (!calls) return finish(0);
  com_chi_apply(a, start);
  return finish(1);
}

int builtin_mahjong_take_target_hand(int32_t, int32_t) {
  int a = builtin_arg_int(1);
  mahjong_vars_load();
  if (!com_seated("mahjong_take_target_hand", a)) return finish(0);
  return finish(take_target(a) ? 1 : 0);
}

int builtin_mahjong_rig_hand(int32_t, int32_t) {
  int a = builtin_arg_int(1);
  mahjong_tile t = builtin_arg_int(2);
  mahjong_vars_load();
  if (!com_seated("mahjong_rig_hand", a) || !take_target(a)) return finish(0);
  int f = 13, code = mahjong.com_lvl[a];
  if (code == 62) {
    f = 0;
    while (f < MAHJONG_SLOTS - 1 && mahjong.com_endnaki[a][f] != MELD_CONCEALED) ++f;
  } else if (code != 6) {
    int m = mahjong_first_concealed(com_hand(a));
    int c1 = m + engine_rand() % (MAHJONG_SLOTS - m);
    int s1 = give_up_score(a, c1, t);
    int c2 = m + engine_rand() % (MAHJONG_SLOTS - m);
    f = give_up_score(a, c2, t) > s1 ? c2 : c1;
  }
  int32_t* end2 = mahjong.com_end2[a];
  mahjong_return_to_wall(end2[f]);
  end2[f] = end2[13];
  end2[13] = MAHJONG_FILLER;
  std::copy_n(end2, MAHJONG_SLOTS, mahjong.com_pre_te[a]);
  return finish(1);
}

int builtin_mahjong_restore_hand(int32_t, int32_t) {
  int a = builtin_arg_int(1);
  mahjong_vars_load();
  if (com_seated("mahjong_restore_hand", a)) mahjong_restore_target(a);
  return finish(0);
}

int builtin_mahjong_human_draw(int32_t, int32_t) {
  mahjong_vars_load();
  int32_t counts[MAHJONG_KINDS] = {};
  for (mahjong_tile t : mahjong.my_pre_te)
    if (t >= 1 && t < 380) ++counts[tile_kind(t)];
  // Luck values are the script's: the product is taken in 64 bits.
  bool best = engine_rand() % 460 < 4 * int64_t{mahjong.my_luck};
  bool worst = !best && engine_rand() % 460 < 4 * int64_t{mahjong.my_unluck};
  if (!best && !worst) return finish(mahjong_draw_tile());
  mahjong_tile c[5];
  int n = draw_candidates(c, 5), keep = n > 0 ? 0 : -1, kept_value = best ? -1 : 999;
  for (int i = 0; i < n; ++i) {
    int v = mahjong_hint_value(c[i], counts);
    if (best ? v > kept_value : v < kept_value) keep = i, kept_value = v;
  }
  return_others(c, n, keep);
  return finish(keep < 0 ? -1 : c[keep]);
}
