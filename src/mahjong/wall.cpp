#include "mahjong/wall.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "base/random.h"
#include "mahjong/state.h"

mahjong_wall_state mahjong_wall;

int mahjong_kind_count(int players, int kind) {
  if (!kind_is_valid(kind)) return 0;
  if (players == 3 && kind >= 2 && kind <= 8) return 0;
  return 4;
}

int mahjong_wall_size(int players) {
  switch (players) {
    case 2: return 136;
    case 3: return 108;
    case 4: return 136;
  }
  return 0;
}

int mahjong_draws_left(int players) {
  switch (players) {
    case 2: return 40;
    case 3: return 55;
    case 4: return 70;
  }
  return 0;
}

bool mahjong_wall_build(int players) {
  int n = mahjong_wall_size(players);
  if (n == 0) return false;
  mahjong_wall_state& w = mahjong_wall;
  std::fill(std::begin(w.tiles), std::end(w.tiles), -1);
  std::fill(std::begin(w.marks), std::end(w.marks), 0);
  int at = 0;
  for (int k = 0; k < MAHJONG_KINDS; ++k) {
    w.left[k] = w.free[k] = mahjong_kind_count(players, k);
    for (int c = 0; c < w.left[k]; ++c) w.tiles[at++] = k * 10 + c;
  }
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < n; ++i) std::swap(w.tiles[i], w.tiles[engine_rand() % n]);
  w.next = 0;
  w.size = n;
  w.players = players;
  return true;
}

// Moves the tile at `from` to slot next (marks travel with tiles) and draws it.
static mahjong_tile take_at(int from) {
  mahjong_wall_state& w = mahjong_wall;
  mahjong_tile t = w.tiles[from];
  int k = tile_kind(t);
  if (w.marks[from] == 0) --w.free[k];
  --w.left[k];
  w.tiles[from] = w.tiles[w.next], w.marks[from] = w.marks[w.next];
  w.tiles[w.next] = t, w.marks[w.next] = 0;
  ++w.next;
  return t;
}

mahjong_tile mahjong_draw_tile() {
  mahjong_wall_state& w = mahjong_wall;
  for (int j = w.next; j < w.size; ++j)
    if (w.marks[j] == 0) return take_at(j);
  return -1;
}

bool mahjong_return_to_wall(mahjong_tile t) {
  mahjong_wall_state& w = mahjong_wall;
  int k = tile_kind(t);
  // A value that is no tile of this wall, or a tile still undrawn (it would come out twice while
  // the drawn one is lost), is refused.
  if (w.next <= 0 || !tile_is_tile(t) || t % 10 > 3 || w.left[k] >= mahjong_kind_count(w.players, k) ||
      std::find(w.tiles + w.next, w.tiles + w.size, t) != w.tiles + w.size)
    return false;
  ++w.left[k], ++w.free[k];
  --w.next;
  int r = w.next + engine_rand() % (w.size - w.next);
  w.tiles[w.next] = w.tiles[r], w.marks[w.next] = w.marks[r];
  w.tiles[r] = t, w.marks[r] = 0;
  return true;
}

int mahjong_wall_left(int kind) { return kind >= 0 && kind < MAHJONG_KINDS ? mahjong_wall.left[kind] : 0; }
int mahjong_wall_free(int kind) { return kind >= 0 && kind < MAHJONG_KINDS ? mahjong_wall.free[kind] : 0; }

// The last undrawn slot holding the kind with the given mark (-1: any mark); -1 when none.
static int find_from_end(int kind, int mark) {
  const mahjong_wall_state& w = mahjong_wall;
  for (int j = w.size - 1; j >= w.next; --j)
    if (tile_kind(w.tiles[j]) == kind && (mark < 0 || w.marks[j] == mark)) return j;
  return -1;
}

mahjong_tile mahjong_reserve_kind(int kind) {
  int j = find_from_end(kind, 0);
  if (j < 0) return -1;
  mahjong_wall.marks[j] = 1;
  --mahjong_wall.free[kind];
  return mahjong_wall.tiles[j];
}

mahjong_tile mahjong_take_kind(int kind) {
  int j = find_from_end(kind, 1);
  if (j < 0) j = find_from_end(kind, -1);
  return j < 0 ? -1 : take_at(j);
}

mahjong_tile mahjong_take_free_kind(int kind) {
  int j = find_from_end(kind, 0);
  return j < 0 ? -1 : take_at(j);
}

int mahjong_wall_free_total() {
  int n = 0;
  for (int k = 0; k < MAHJONG_KINDS; ++k) n += mahjong_wall.free[k];
  return n;
}

bool mahjong_target_available(int player) {
  if (player < 0 || player >= MAHJONG_COMS) return false;
  int32_t left[MAHJONG_KINDS];
  std::memcpy(left, mahjong_wall.left, sizeof left);
  for (int s = 0; s < MAHJONG_SLOTS; ++s) {
    if (mahjong.com_naki_flag[player][s] != MELD_CONCEALED) continue;
    int k = mahjong.com_end[player][s];
    if (k < 0 || k >= MAHJONG_KINDS || --left[k] < 0) return false;
  }
  return true;
}

void mahjong_count_kinds(const mahjong_tile* tiles, const int32_t* states,
                         int32_t counts[MAHJONG_KINDS]) {
  std::fill(counts, counts + MAHJONG_KINDS, 0);
  for (int s = 0; s < MAHJONG_SLOTS; ++s)
    if (tile_is_tile(tiles[s]) && (states[s] == MELD_CONCEALED || states[s] == MELD_PON))
      ++counts[tile_kind(tiles[s])];
}

void mahjong_wall_reset() {
  mahjong_wall_state& w = mahjong_wall;
  std::fill(std::begin(w.tiles), std::end(w.tiles), -1);
  std::fill(std::begin(w.marks), std::end(w.marks), 0);
  std::fill(std::begin(w.left), std::end(w.left), 0);
  std::fill(std::begin(w.free), std::end(w.free), 0);
  w.next = w.size = w.players = 0;
}
