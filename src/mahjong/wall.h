// The wall: the undrawn tiles of the hand being played, with per-kind counters.
//
// Native only and not saved with the game: it lives from one mahjong_wall_build to the next, and
// a wall that was never built (or after a reset) answers every draw with -1, so a loaded game
// never draws from a stale wall. Slots [next, size) hold the undrawn tiles; left and free always
// count exactly those (free: the ones not reserved for the prepared first seat).
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

constexpr int MAHJONG_WALL_SLOTS = 150;

struct mahjong_wall_state {
  mahjong_tile tiles[MAHJONG_WALL_SLOTS];  // the first `size` are tiles, the rest -1
  int32_t marks[MAHJONG_WALL_SLOTS];       // 0 free, 1 reserved
  int32_t next;                            // the next draw; slots before it are drawn
  int32_t size;                            // tiles in this wall (0: never built)
  int32_t players;                         // the player count it was built for
  int32_t left[MAHJONG_KINDS];             // undrawn tiles per kind
  int32_t free[MAHJONG_KINDS];             // undrawn and not reserved, per kind
};

extern mahjong_wall_state mahjong_wall;

// Tiles of one kind in a game of `players` (4, or 0 for the characters 2-8 with three players).
int mahjong_kind_count(int players, int kind);
// Wall size and draws left for a player count; 0 for a count other than 2, 3 or 4.
int mahjong_wall_size(int players);
int mahjong_draws_left(int players);
// Lays out and shuffles (two passes of one engine_rand() per tile) a wall for 2, 3 or 4 players;
// false and nothing changed for another count.
bool mahjong_wall_build(int players);

// The first free tile from next on; -1 and nothing changed when there is none.
mahjong_tile mahjong_draw_tile();
// The tile back into the undrawn wall at a random place (one engine_rand()); false and nothing
// changed when nothing was drawn, the tile is not one of this wall's kinds, or every copy of
// its kind is undrawn already.
bool mahjong_return_to_wall(mahjong_tile t);
int mahjong_wall_left(int kind);
int mahjong_wall_free(int kind);
// Marks the last free undrawn tile of the kind reserved and returns it; -1 when there is none.
mahjong_tile mahjong_reserve_kind(int kind);
// Takes an undrawn tile of the kind, reserved ones first (from the end of the wall); -1 if none.
mahjong_tile mahjong_take_kind(int kind);
// The same, free tiles only.
mahjong_tile mahjong_take_free_kind(int kind);
// Undrawn free tiles of every kind together.
int mahjong_wall_free_total();

// Whether the wall still holds a tile of the target kind for every concealed slot of computer
// `player`'s hand (from the mahjong state); false for a seat out of 0-2.
bool mahjong_target_available(int player);
// Per-kind counts of the tiles of a hand's 14 slots that are concealed or in a pon.
void mahjong_count_kinds(const mahjong_tile* tiles, const int32_t* states,
                         int32_t counts[MAHJONG_KINDS]);

// Back to a wall that was never built.
void mahjong_wall_reset();
