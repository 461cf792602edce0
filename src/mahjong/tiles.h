// The tile coding every mahjong module shares.
//
// A tile is kind * 10 + copy (copy 0-3). Kinds 1-9 characters, 11-19 circles, 21-29 bamboo,
// 31-34 the winds East to North, 35-37 the dragons white, green, red. Kinds 0, 10, 20, 30, 38 and
// 39 never hold a tile, so a run can never cross from one suit into the next. Hand slots hold 600
// (filler) or -1 where there is no tile; 150 and 151 are the red fives.
#pragma once

#include <cstdint>

using mahjong_tile = int32_t;

constexpr int MAHJONG_KINDS = 40;    // every per-kind array has this many entries
constexpr int MAHJONG_SLOTS = 14;    // slots of one hand
constexpr int MAHJONG_COMS = 3;      // computer seats 0-2; player 3 is the human
constexpr int MAHJONG_HUMAN = 3;
constexpr mahjong_tile MAHJONG_FILLER = 600;
constexpr int KIND_EAST = 31;
constexpr int KIND_WHITE = 35;

// Meld states of a hand slot.
enum : int32_t {
  MELD_CONCEALED = 0,
  MELD_CHI_FIRST = 1,  // 1-3: the three tiles of a called run
  MELD_PON = 4,
  MELD_OPEN_KAN = 5,
  MELD_CONCEALED_KAN = -1,
};

inline int tile_kind(mahjong_tile t) { return t / 10; }
// A slot value that is a tile; a scan of a hand's concealed slots stops at the first other value.
inline bool tile_is_tile(mahjong_tile t) { return t >= 0 && t < 400; }

// 1 for the 34 kinds that hold tiles.
extern const uint8_t mahjong_valid_kind[MAHJONG_KINDS];
inline bool kind_is_valid(int k) { return k >= 0 && k < MAHJONG_KINDS && mahjong_valid_kind[k]; }
