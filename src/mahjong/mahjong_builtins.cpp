#include "mahjong/mahjong_builtins.h"

#include <algorithm>
#include <iterator>

#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

namespace {

// A player's hand slots and meld states in the working copy.
struct player_hand {
  mahjong_tile* tiles;
  int32_t* states;
};

// Players 0..count-2 are the computers, 3 the human; anyone else is reported.
bool player_at_table(const char* builtin, int player, player_hand* hand) {
  int players = mahjong.maj_mode;
  bool ok = mahjong_wall_size(players) != 0 &&
            (player == MAHJONG_HUMAN || (player >= 0 && player < players - 1));
  if (!ok) {
    script_error("%s : プレイヤー番号[%d]が範囲外です", builtin, player);
    return false;
  }
  if (player == MAHJONG_HUMAN)
    *hand = {mahjong.my_pre_te, mahjong.my_naki_flag};
  else
    *hand = {mahjong.com_pre_te[player], mahjong.com_naki_flag[player]};
  return true;
}

// The concealed slots from the first one after the melds up to slot 12, ascending; slot 13 stays.
void sort_hand(player_hand h) {
  int m = 0;
  while (m < MAHJONG_SLOTS - 1 && h.states[m] != MELD_CONCEALED) ++m;
  std::sort(h.tiles + m, h.tiles + MAHJONG_SLOTS - 1);
}

// The player's waiting kinds (-1 ended, from the evaluator's list); their number. A scratch record,
// so the evaluation that the export reads stays as it was.
int player_waits(player_hand h, const int32_t** waits) {
  hand_evaluation scratch{};
  std::copy(h.tiles, h.tiles + MAHJONG_SLOTS, scratch.tiles);
  std::copy(h.states, h.states + MAHJONG_SLOTS, scratch.melds);
  scratch.players = mahjong.maj_mode;
  int n = mahjong_hand_waits(&scratch);
  *waits = scratch.waits;
  return n;
}

bool furiten(int player, player_hand h) {
  const int32_t* waits;
  player_waits(h, &waits);
  const mahjong_tile* discards = player == MAHJONG_HUMAN ? mahjong.my_sute : mahjong.com_sute[player];
  for (int i = 0; i < 40 && discards[i] != -1; ++i)
    for (int w = 0; waits[w] != -1; ++w)
      if (tile_is_tile(discards[i]) && tile_kind(discards[i]) == waits[w]) return true;
  return false;
}

int finish(int32_t result) {
  mahjong_vars_store();
  push_int(result);
  return 0;
}

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
  int wind[4] = {0, 0, 0, 0};
  if (players == 2) {
    int start = 2 * s + (d != 0 ? 2 : 0);
    for (int i = 0; i < 4; ++i) wind[(start + i) % 4] = i;
    mahjong.com_kaze[0] = wind[0];
    mahjong.my_kaze = wind[2];
  } else if (players == 3) {
    int first = d == MAHJONG_HUMAN ? 2 : d;
    for (int i = 0; i < 3; ++i) wind[(first + s + i) % 3] = i;
    mahjong.com_kaze[0] = wind[0], mahjong.com_kaze[1] = wind[1];
    mahjong.my_kaze = wind[2];
  } else {
    for (int i = 0; i < 4; ++i) wind[(d + s + i) % 4] = i;
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
  sort_hand({mahjong.my_pre_te, mahjong.my_naki_flag});
  return finish(0);
}

int builtin_mahjong_sort_hand(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  player_hand h;
  if (player_at_table("mahjong_sort_hand", player, &h)) sort_hand(h);
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

int mahjong_furiten(int player) {
  player_hand h;
  return player_at_table("mahjong_is_furiten", player, &h) && furiten(player, h);
}

int builtin_mahjong_is_furiten(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  return finish(mahjong_furiten(player));
}

int builtin_mahjong_wait_count(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  player_hand h;
  const int32_t* waits;
  return finish(player_at_table("mahjong_wait_count", player, &h) ? player_waits(h, &waits) : 0);
}

int builtin_mahjong_can_win(int32_t, int32_t) {
  mahjong_vars_load();
  return finish(mahjong_score_player(MAHJONG_HUMAN) > 0 ? 1 : 0);
}

int builtin_mahjong_com_can_win(int32_t, int32_t) {
  int player = builtin_arg_int(1);
  mahjong_vars_load();
  player_hand h;
  if (!player_at_table("mahjong_com_can_win", player, &h) || player == MAHJONG_HUMAN) return finish(0);
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
  tenpai[n++] = player_waits({mahjong.my_pre_te, mahjong.my_naki_flag}, &waits) > 0;
  for (int i = 0; i < n; ++i) t += tenpai[i];
  // In hundreds, by players and tenpai count (0..players): what each noten player pays, each
  // tenpai one gets.
  static const int noten_pays[5][5] = {{}, {}, {0, 15, 0, 0}, {0, 15, 30, 0}, {0, 10, 15, 30}};
  static const int tenpai_gets[5][5] = {{}, {}, {0, 15, 0, 0}, {0, 30, 15, 0}, {0, 30, 15, 10}};
  bool dealer_tenpai = false;
  for (int i = 0; i < n; ++i) {
    if (!tenpai[i]) *score[i] -= noten_pays[players][t];
    else if (mahjong.in_suv == 0) *score[i] += tenpai_gets[players][t];
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
      if (player_waits({without, mahjong.my_naki_flag}, &waits) > 0) mahjong.reach_sel_stat[i] = 1, any = true;
    }
  }
  return finish(any ? 1 : 0);
}
