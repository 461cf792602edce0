#include "mahjong/hand.h"

#include <algorithm>
#include <utility>

#include "mahjong/evaluator.h"
#include "mahjong/state.h"
#include "mahjong/wall.h"
#include "vm/script_error.h"

bool mahjong_player_seated(int player) {
  int players = mahjong.maj_mode;
  return mahjong_wall_size(players) != 0 && (player == MAHJONG_HUMAN || (player >= 0 && player < players - 1));
}

bool mahjong_player_hand(const char* builtin, int player, mahjong_hand_ref* hand) {
  if (!mahjong_player_seated(player)) {
    script_error("%s : プレイヤー番号[%d]が範囲外です", builtin, player);
    return false;
  }
  if (player == MAHJONG_HUMAN)
    *hand = {mahjong.my_pre_te, mahjong.my_naki_flag, mahjong.my_naki_flag2};
  else
    *hand = {mahjong.com_pre_te[player], mahjong.com_naki_flag[player], mahjong.com_naki_flag2[player]};
  return true;
}

int mahjong_first_concealed(const mahjong_hand_ref& h) {
  int m = 0;
  while (m < MAHJONG_SLOTS - 1 && h.states[m] != MELD_CONCEALED) ++m;
  return m;
}

void mahjong_sort_hand(const mahjong_hand_ref& h) {
  std::sort(h.tiles + mahjong_first_concealed(h), h.tiles + MAHJONG_SLOTS - 1);
}

int mahjong_hand_wait_kinds(const mahjong_tile* tiles, const int32_t* states, const int32_t** waits) {
  hand_evaluation scratch{};
  std::copy(tiles, tiles + MAHJONG_SLOTS, scratch.tiles);
  std::copy(states, states + MAHJONG_SLOTS, scratch.melds);
  scratch.players = mahjong.maj_mode;
  int n = mahjong_hand_waits(&scratch);
  *waits = scratch.waits;
  return n;
}

bool mahjong_kind_listed(const int32_t* list, int k) {
  for (int i = 0; i < MAHJONG_SLOTS && list[i] != -1; ++i)
    if (list[i] == k) return true;
  return false;
}

int mahjong_furiten(int player) {
  mahjong_hand_ref h;
  if (!mahjong_player_hand("mahjong_is_furiten", player, &h)) return 0;
  const int32_t* waits;
  mahjong_hand_wait_kinds(h.tiles, h.states, &waits);
  const mahjong_tile* discards = player == MAHJONG_HUMAN ? mahjong.my_sute : mahjong.com_sute[player];
  for (int i = 0; i < 40 && discards[i] != -1; ++i)
    if (tile_is_tile(discards[i]) && mahjong_kind_listed(waits, tile_kind(discards[i]))) return 1;
  return 0;
}

int mahjong_table_call_slot(int players, int discarder) {
  if (players == 2) return 1;
  if (players == 3) return discarder != 0 ? 0 : 2;
  return discarder >= 0 && discarder < MAHJONG_COMS ? 2 - discarder : -1;
}

int mahjong_com_call_slot(int players, int caller, int discarder) {
  // By caller, then discarder 0-3; -1 where the pair cannot occur.
  static const int8_t three[2][4] = {{-1, 2, -1, 0}, {0, -1, -1, 2}};
  static const int8_t four[3][4] = {{-1, 2, 1, 0}, {0, -1, 2, 1}, {1, 0, -1, 2}};
  if (discarder < 0 || discarder > MAHJONG_HUMAN) return -1;
  if (players == 2) return caller == 0 ? 1 : -1;
  if (players == 3) return caller >= 0 && caller < 2 ? three[caller][discarder] : -1;
  if (players == 4) return caller >= 0 && caller < MAHJONG_COMS ? four[caller][discarder] : -1;
  return -1;
}

namespace {

int kind_of_slot(mahjong_tile t) { return tile_is_tile(t) ? tile_kind(t) : -1; }

int count_kind(const mahjong_hand_ref& h, int from, int to, int kind) {
  int n = 0;
  for (int s = from; s < to; ++s) n += h.states[s] == MELD_CONCEALED && kind_of_slot(h.tiles[s]) == kind;
  return n;
}

// Slots at..at+2 get, each, the first tile of its kind found from there on (slot 13 included);
// then the exact tile `claimed` is moved to the meld slot of its kind.
void gather_meld(const mahjong_hand_ref& h, int at, const int kinds[3], mahjong_tile claimed, int claimed_slot) {
  for (int i = 0; i < 3; ++i)
    for (int j = at + i; j < MAHJONG_SLOTS; ++j)
      if (kind_of_slot(h.tiles[j]) == kinds[i]) {
        std::swap(h.tiles[at + i], h.tiles[j]);
        break;
      }
  if (claimed_slot < 0) return;
  for (int j = at; j < MAHJONG_SLOTS; ++j)
    if (h.tiles[j] == claimed) {
      std::swap(h.tiles[j], h.tiles[at + claimed_slot]);
      break;
    }
}

}  // namespace

int mahjong_kans_held(const mahjong_hand_ref& h) {
  int n = 0;
  for (int s = 0; s < MAHJONG_SLOTS; ++s) n += h.states[s] == MELD_OPEN_KAN || h.states[s] == MELD_CONCEALED_KAN;
  return n / 3;
}

int mahjong_apply_kan(const mahjong_hand_ref& h, mahjong_tile tile, int mark_slot) {
  int k = kind_of_slot(tile);
  if (!kind_is_valid(k)) return -1;
  int m = mahjong_first_concealed(h);
  bool on_discard = !tile_is_tile(h.tiles[13]);
  int in_hand = count_kind(h, m, MAHJONG_SLOTS - 1, k);
  int last = on_discard ? k : kind_of_slot(h.tiles[13]);
  int pon = -1;
  for (int s = 0; s < m && pon < 0; ++s)
    if (h.states[s] == MELD_PON && kind_of_slot(h.tiles[s]) == k) pon = s;
  if (pon >= 0) {
    // Added to a pon: the pon's group becomes the kan, every other tile of the kind goes.
    if (in_hand + (last == k) < 1) return -1;
    for (int s = m; s < MAHJONG_SLOTS; ++s)
      if (kind_of_slot(h.tiles[s]) == k) h.tiles[s] = MAHJONG_FILLER;
    for (int i = 0; i < 3; ++i) h.tiles[pon + i] = k * 10 + i, h.states[pon + i] = MELD_OPEN_KAN;
    mahjong_sort_hand(h);
    return 0;
  }
  if (in_hand + (last == k) < 4) return -1;
  // The other concealed tiles stand behind the new meld (sorted below).
  mahjong_tile rest[MAHJONG_SLOTS];
  int n = 0;
  for (int s = m; s < MAHJONG_SLOTS - 1; ++s)
    if (kind_of_slot(h.tiles[s]) != k) rest[n++] = h.tiles[s];
  bool concealed = !on_discard;
  for (int i = 0; i < 3; ++i) {
    h.tiles[m + i] = k * 10 + i;
    h.states[m + i] = concealed ? MELD_CONCEALED_KAN : MELD_OPEN_KAN;
    h.from[m + i] = !concealed && i == mark_slot;
  }
  for (int s = m + 3, i = 0; s < MAHJONG_SLOTS - 1; ++s, ++i) h.tiles[s] = i < n ? rest[i] : MAHJONG_FILLER;
  if (last == k) h.tiles[13] = MAHJONG_FILLER;
  mahjong_sort_hand(h);
  return concealed ? 1 : 0;
}

int mahjong_apply_pon(const mahjong_hand_ref& h, mahjong_tile tile, int mark_slot) {
  int k = kind_of_slot(tile);
  int m = mahjong_first_concealed(h);
  if (!kind_is_valid(k) || tile_is_tile(h.tiles[13]) || m + 3 > MAHJONG_SLOTS - 2 ||
      count_kind(h, m, MAHJONG_SLOTS - 1, k) < 2)
    return -1;
  h.tiles[13] = tile;
  const int kinds[3] = {k, k, k};
  gather_meld(h, m, kinds, tile, mark_slot >= 0 && mark_slot < 3 ? mark_slot : -1);
  for (int i = 0; i < 3; ++i) h.states[m + i] = MELD_PON, h.from[m + i] = i == mark_slot;
  mahjong_sort_hand(h);
  return 0;
}

int mahjong_apply_chi(const mahjong_hand_ref& h, mahjong_tile tile, int lowest_kind) {
  int k = kind_of_slot(tile), low = lowest_kind;
  int m = mahjong_first_concealed(h);
  // A run lies within one suit: its lowest number is 1-7.
  bool run = low > 0 && low < 30 && low % 10 >= 1 && low % 10 <= 7 && k >= low && k <= low + 2;
  if (!run || tile_is_tile(h.tiles[13]) || m + 3 > MAHJONG_SLOTS - 2) return -1;
  for (int i = 0; i < 3; ++i)
    if (low + i != k && count_kind(h, m, MAHJONG_SLOTS - 1, low + i) < 1) return -1;
  h.tiles[13] = h.tiles[m];
  h.tiles[m] = tile;
  const int kinds[3] = {low, low + 1, low + 2};
  gather_meld(h, m, kinds, tile, k - low);
  for (int i = 0; i < 3; ++i) h.states[m + i] = MELD_CHI_FIRST + i, h.from[m + i] = low + i == k;
  mahjong_sort_hand(h);
  return 0;
}
