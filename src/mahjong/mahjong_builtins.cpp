#include "mahjong/mahjong_builtins.h"

#include <algorithm>
#include <iterator>

#include "base/int32.h"

#include "mahjong/com_player.h"
#include "mahjong/evaluator.h"
#include "mahjong/hand.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

int mahjong_builtin_finish(int32_t result) {
  mahjong_vars_store();
  push_int(result);
  return 0;
}

namespace {

int finish(int32_t result) { return mahjong_builtin_finish(result); }

}  // namespace

int builtin_mahjong_export_result(int32_t, int32_t) {
  mahjong_vars_load();
  mahjong_export_result();
  return finish(0);
}

int builtin_mahjong_build_wall(int32_t, int32_t) {
  mahjong_vars_load();
  if (mahjong_wall_build(mahjong.maj_mode))
    mahjong.pi_tumo_nokori = mahjong_draws_left(mahjong.maj_mode);
  else
    script_error("mahjong_build_wall : 人数[%d]が範囲外です", mahjong.maj_mode);
  return finish(0);
}

int builtin_mahjong_set_seats(int32_t, int32_t) {
  mahjong_vars_load();
  int players = mahjong.maj_mode, s = mahjong.ba_mawari, d = mahjong.tatioya;
  if (mahjong_wall_size(players) == 0 || s < 0 || d < 0 || d > MAHJONG_HUMAN) {
    script_error("mahjong_set_seats : 人数[%d]・親[%d]・局[%d]が範囲外です", players, d, s);
    return finish(0);
  }
  // Rotations are the script's, up to INT_MAX: positions are taken in 64 bits.
  int wind[4] = {0, 0, 0, 0};
  if (players == 2) {
    int64_t start = 2 * int64_t{s} + (d != 0 ? 2 : 0);
    for (int i = 0; i < 4; ++i) wind[(start + i) % 4] = i;
    mahjong.com_kaze[0] = wind[0];
    mahjong.my_kaze = wind[2];
  } else if (players == 3) {
    int64_t first = d == MAHJONG_HUMAN ? 2 : d;
    for (int i = 0; i < 3; ++i) wind[(first + s + i) % 3] = i;
    mahjong.com_kaze[0] = wind[0], mahjong.com_kaze[1] = wind[1];
    mahjong.my_kaze = wind[2];
  } else {
    for (int i = 0; i < 4; ++i) wind[(int64_t{d} + s + i) % 4] = i;
    for (int p = 0; p < MAHJONG_COMS; ++p) mahjong.com_kaze[p] = wind[p];
    mahjong.my_kaze = wind[3];
  }
  return finish(0);
}

int builtin_mahjong_my_deal(int32_t, int32_t) {
  mahjong_vars_load();
  // A short or never-built wall would deal -1s: nothing is dealt.
  if (mahjong_wall_free_total() < MAHJONG_SLOTS - 1) {
    script_error("mahjong_my_deal : 山に牌が足りません");
    return finish(0);
  }
  for (int s = 0; s < MAHJONG_SLOTS - 1; ++s) mahjong.my_pre_te[s] = mahjong_draw_tile();
  mahjong.my_pre_te[MAHJONG_SLOTS - 1] = MAHJONG_FILLER;
  mahjong_sort_hand({mahjong.my_pre_te, mahjong.my_naki_flag, mahjong.my_naki_flag2});
  return finish(0);
}

int builtin_mahjong_sort_hand(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  mahjong_hand_ref h;
  if (mahjong_player_hand("mahjong_sort_hand", player, &h)) mahjong_sort_hand(h);
  return finish(0);
}

int builtin_mahjong_draw(int32_t, int32_t) {
  mahjong_vars_load();
  return finish(mahjong_draw_tile());
}

int builtin_mahjong_draw_kind(int32_t, int32_t) {
  int kind = builtin_arg_int(1);
  mahjong_vars_load();
  if (!kind_is_valid(kind)) {
    script_error("mahjong_draw_kind : 牌の種類[%d]が範囲外です", kind);
    return finish(-1);
  }
  return finish(mahjong_take_kind(kind));
}

int builtin_mahjong_put_back(int32_t, int32_t) {
  mahjong_tile tile = builtin_arg_int(1);
  mahjong_vars_load();
  if (!mahjong_return_to_wall(tile))
    script_error("mahjong_put_back : 牌[%d]は山に戻せません", tile);
  return finish(0);
}

int builtin_mahjong_is_furiten(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  return finish(mahjong_furiten(player));
}

int builtin_mahjong_wait_count(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  mahjong_hand_ref h;
  const int32_t* waits;
  return finish(mahjong_player_hand("mahjong_wait_count", player, &h) ? mahjong_hand_wait_kinds(h.tiles, h.states, &waits) : 0);
}

int builtin_mahjong_can_win(int32_t, int32_t) {
  mahjong_vars_load();
  return finish(mahjong_score_player(MAHJONG_HUMAN) > 0 ? 1 : 0);
}

int builtin_mahjong_com_can_win(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  mahjong_hand_ref h;
  if (!mahjong_player_hand("mahjong_com_can_win", player, &h) || player == MAHJONG_HUMAN) return finish(0);
  return finish(mahjong_score_player(player));
}

int builtin_mahjong_draw_payments(int32_t, int32_t) {
  mahjong_vars_load();
  int players = mahjong.maj_mode;
  if (mahjong_wall_size(players) == 0) {
    script_error("mahjong_draw_payments : 人数[%d]が範囲外です", players);
    return finish(0);
  }
  // Per player at the table (computers 0..players-2, then the human): score, wind, tenpai.
  int32_t* score[4];
  int wind[4];
  bool tenpai[4];
  int n = 0, t = 0;
  for (int p = 0; p < players - 1; ++p, ++n) {
    score[n] = &mahjong.com_score[p], wind[n] = mahjong.com_kaze[p];
    tenpai[n] = mahjong.com_is_tenpai[p] != 0;
  }
  const int32_t* waits;
  score[n] = &mahjong.my_score, wind[n] = mahjong.my_kaze;
  tenpai[n++] = mahjong_hand_wait_kinds(mahjong.my_pre_te, mahjong.my_naki_flag, &waits) > 0;
  for (int i = 0; i < n; ++i) t += tenpai[i];
  // In hundreds, by players and tenpai count (0..players): what each noten player pays, each
  // tenpai one gets.
  static const int noten_pays[5][5] = {{}, {}, {0, 15, 0, 0}, {0, 15, 30, 0}, {0, 10, 15, 30}};
  static const int tenpai_gets[5][5] = {{}, {}, {0, 15, 0, 0}, {0, 30, 15, 0}, {0, 30, 15, 10}};
  bool dealer_tenpai = false;
  for (int i = 0; i < n; ++i) {
    if (!tenpai[i]) *score[i] = i32_sub(*score[i], noten_pays[players][t]);
    else if (mahjong.in_suv == 0) *score[i] = i32_add(*score[i], tenpai_gets[players][t]);
    if (tenpai[i] && wind[i] == 0) dealer_tenpai = true;
  }
  return finish(dealer_tenpai ? 1 : 0);
}

int builtin_mahjong_can_reach(int32_t, int32_t) {
  mahjong_vars_load();
  std::fill(std::begin(mahjong.reach_sel_stat), std::end(mahjong.reach_sel_stat), 0);
  bool closed = std::none_of(mahjong.my_naki_flag, mahjong.my_naki_flag + MAHJONG_SLOTS,
                             [](int32_t state) { return state > 0; });
  bool any = false;
  if (closed && mahjong.my_is_reach == 0) {
    for (int i = 0; i < MAHJONG_SLOTS; ++i) {
      if (mahjong.my_naki_flag[i] != MELD_CONCEALED || !tile_is_tile(mahjong.my_pre_te[i])) continue;
      // Slot i given up: the later tiles move down, on a copy.
      mahjong_tile without[MAHJONG_SLOTS];
      std::copy(mahjong.my_pre_te, mahjong.my_pre_te + MAHJONG_SLOTS, without);
      std::copy(without + i + 1, without + MAHJONG_SLOTS, without + i);
      without[MAHJONG_SLOTS - 1] = MAHJONG_FILLER;
      const int32_t* waits;
      if (mahjong_hand_wait_kinds(without, mahjong.my_naki_flag, &waits) > 0) mahjong.reach_sel_stat[i] = 1, any = true;
    }
  }
  return finish(any ? 1 : 0);
}

int builtin_mahjong_add_dora(int32_t, int32_t) {
  mahjong_vars_load();
  int at = 0;
  while (at < 6 && mahjong.dora[at] != -1) ++at;
  if (at < 6) {
    mahjong.dora[at] = mahjong_pick_dora();
    mahjong.dora_ura[at] = mahjong_pick_dora();
  }
  return finish(0);
}

namespace {

// Tiles of the kind among slots 0-12 of the human's hand that are concealed or in a pon.
int held_of_kind(int kind) {
  int n = 0;
  for (int s = 0; s < MAHJONG_SLOTS - 1; ++s) {
    int32_t state = mahjong.my_naki_flag[s];
    n += tile_is_tile(mahjong.my_pre_te[s]) && tile_kind(mahjong.my_pre_te[s]) == kind &&
         (state == MELD_CONCEALED || state == MELD_PON);
  }
  return n;
}

bool can_kan(int any_kind) {
  mahjong_hand_ref h{mahjong.my_pre_te, mahjong.my_naki_flag, mahjong.my_naki_flag2};
  mahjong_tile drawn = h.tiles[13];
  bool drawn_makes_four = tile_is_tile(drawn) && held_of_kind(tile_kind(drawn)) == 3;
  if (mahjong.my_is_reach) {
    if (!drawn_makes_four) return false;
    // In riichi a kan may not change what the hand waits on.
    int32_t before[MAHJONG_SLOTS];
    const int32_t* waits;
    mahjong_hand_wait_kinds(h.tiles, h.states, &waits);
    std::copy_n(waits, MAHJONG_SLOTS, before);
    mahjong_tile tiles[MAHJONG_SLOTS];
    int32_t states[MAHJONG_SLOTS], from[MAHJONG_SLOTS];
    std::copy_n(h.tiles, MAHJONG_SLOTS, tiles);
    std::copy_n(h.states, MAHJONG_SLOTS, states);
    std::copy_n(h.from, MAHJONG_SLOTS, from);
    if (mahjong_apply_kan({tiles, states, from}, drawn, -1) < 0) return false;
    mahjong_hand_wait_kinds(tiles, states, &waits);
    return std::equal(before, before + MAHJONG_SLOTS, waits);
  }
  if (!any_kind) return drawn_makes_four;
  int32_t counts[MAHJONG_KINDS];
  mahjong_count_kinds(h.tiles, h.states, counts);
  return std::find(counts, counts + MAHJONG_KINDS, 4) != counts + MAHJONG_KINDS;
}

}  // namespace

int builtin_mahjong_can_kan(int32_t, int32_t) {
  int any_kind = builtin_arg_int(1);
  mahjong_vars_load();
  if (mahjong.is_haitei || mahjong.kan_kazu == -1) return finish(0);
  return finish(can_kan(any_kind) ? 1 : 0);
}

int builtin_mahjong_kan(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_tile tile = builtin_arg_int(2);
  mahjong_vars_load();
  mahjong_hand_ref h;
  if (!mahjong_player_hand("mahjong_kan", player, &h)) return finish(0);
  int kans = mahjong_kans_held(h);
  int result = mahjong_apply_kan(h, tile, mahjong_table_call_slot(mahjong.maj_mode, mahjong.last_sute_pl));
  if (result < 0) {
    script_error("mahjong_kan : 牌[%d]で槓できません", tile);
    return finish(0);
  }
  mahjong.is_kan_cyokugo = 1;
  // -1 (no further kan) stays: counting on from it would allow kans again.
  if (mahjong.kan_kazu != -1) mahjong.kan_kazu = mahjong.kan_kazu == 3 && kans == 3 ? -1 : i32_add(mahjong.kan_kazu, 1);
  return finish(result);
}

int builtin_mahjong_pon(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_tile tile = builtin_arg_int(2);
  mahjong_vars_load();
  mahjong_hand_ref h;
  if (mahjong_player_hand("mahjong_pon", player, &h) &&
      mahjong_apply_pon(h, tile, mahjong_table_call_slot(mahjong.maj_mode, mahjong.last_sute_pl)) < 0)
    script_error("mahjong_pon : 牌[%d]でポンできません", tile);
  return finish(0);
}

int builtin_mahjong_chi(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_tile tile = builtin_arg_int(2);
  int lowest = builtin_arg_int(3);
  mahjong_vars_load();
  mahjong_hand_ref h;
  if (mahjong_player_hand("mahjong_chi", player, &h) && mahjong_apply_chi(h, tile, lowest) < 0)
    script_error("mahjong_chi : 牌[%d]と種類[%d]でチーできません", tile, lowest);
  return finish(0);
}
