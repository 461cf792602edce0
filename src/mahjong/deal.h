// Prepared deals: at the start of a hand every computer seat gets a target hand (the 14 kinds it
// will try to collect), whether it calls and whether it declares riichi on the way, and a
// hand-progress value; the strongest seat by a weighted draw gets priority, and its target tiles
// are reserved in the wall that was just built.
//
// The work area below is rebuilt for each seat and outlives nothing but what the driver copies
// into the mahjong state. Every draw goes through engine_rand() in a fixed order, so a seeded
// generator reproduces a deal exactly. Every retry loop is bounded: a set that cannot be had as
// asked is taken from any class, and one that cannot be had at all leaves its slots free.
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

struct mahjong_deal_work {
  int32_t kinds[MAHJONG_SLOTS];  // target kinds (not tiles); -1 a free slot
  int32_t marks[MAHJONG_SLOTS];  // set markers, parallel to kinds
  int32_t pool[MAHJONG_KINDS];   // per kind, the tiles still free for this target
  int32_t call, riichi;          // become the seat's call and riichi flags
  int32_t players;               // 2, 3 or 4: what the pool was filled for
};

extern mahjong_deal_work mahjong_deal;

// Set markers.
enum : int32_t { DEAL_PAIR = 0, DEAL_RUN_FIRST = 1, DEAL_TRIPLET = 4 };

// Flag words by kind (pairs and triplets) and by run start (0..29), and the masks of the picker
// classes 0-8 (a class matches a kind when its mask and the kind's word share a bit).
extern const uint8_t mahjong_pair_flags[MAHJONG_KINDS];
extern const uint8_t mahjong_pung_flags[MAHJONG_KINDS];
extern const uint8_t mahjong_run_flags[30];
constexpr int DEAL_CLASSES = 9;
extern const uint8_t mahjong_pair_masks[DEAL_CLASSES];
extern const uint8_t mahjong_pung_masks[DEAL_CLASSES];
extern const uint8_t mahjong_run_masks[DEAL_CLASSES];

// 1 when a seat of the style always gets its style's hand, 0 when it gets it half of the time
// (and a general hand otherwise). Codes outside the table (negative, above 109) give 0.
int mahjong_rig_flag(int style);

// The work area emptied for a new seat: slots free, markers 0, flags 0, the pool full for the
// player count (4 of every kind the wall holds).
void mahjong_deal_reset(int players);

// The pickers. Each places its set in the first free slots (markers 4, 1-2-3 or 0), lowers the
// pool and returns the set's first slot; -1 and nothing changed when the slots are full or no
// kind of any class qualifies. With 3 players class 2 is served as class 0 and no pair or
// triplet is of kind 34. From the 100th attempt on any class is taken.
int mahjong_pick_pung(int cls);
int mahjong_pick_run(int cls);
int mahjong_pick_pair(int cls);
// A whole half-flush hand in a random suit, both flags set.
void mahjong_pick_hand();
// Rule R of the flags: riichi on a coin; without riichi, calls with a chance of 1/3.
void mahjong_rule_r();
// The sets of a half flush in one suit class (2-4), flags untouched: an honour pair, a triplet
// of the suit (1/3) or of honours, a run of the suit, then twice a run (2/3) or triplet of it.
void mahjong_half_flush_sets(int suit_class);

// Sets of a given kind: placed when the pool holds them (a run: 1 of each tile), else false and
// nothing changed.
bool mahjong_place_pung(int kind);
bool mahjong_place_run(int start);
bool mahjong_place_pair(int kind);
// A single tile (the special hands); false when the pool has none.
bool mahjong_place_single(int kind);

// The first n seats by descending weight (a bubble sort that moves only strictly larger weights
// forward, so equal weights keep their seat order); the seat numbers travel with their weights.
void mahjong_sort_seats(int32_t* weights, int32_t* seats, int n);

// The driver, on the loaded mahjong state (a player count of 2, 3 or 4): targets, markers, flags
// and hand progress of every computer seat, the priority seat, and the priority seat's target
// reserved in the wall.
void mahjong_deal_com_hands();

// mahjong_com_deal(): the driver between a load and a store of the mahjong state; 0. A player
// count other than 2-4 is reported and changes nothing.
int builtin_mahjong_com_deal(int32_t n, int32_t drop);
// difficulty_value(): the NANIDO setting, 0-4.
int builtin_difficulty_value(int32_t n, int32_t drop);
// game_speed_value(): the GameSpeed setting, 0-3.
int builtin_game_speed_value(int32_t n, int32_t drop);
