// A player's hand in the loaded mahjong state, and what the table does to hands: sorting, waits,
// furiten, and the kan, pon and chi that turn concealed tiles into melds.
//
// Everything here works on the working copy (mahjong_vars_load before, mahjong_vars_store after)
// and never on the evaluation record that the export reads: waits use a scratch record.
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

// The three parallel slot arrays of one player's hand.
struct mahjong_hand_ref {
  mahjong_tile* tiles;
  int32_t* states;  // meld state per slot
  int32_t* from;    // from-whom mark per slot
};

// Whether the player sits at the table of the loaded player count (computers 0..count-2, the
// human 3); when so, *hand is that player's hand. A player elsewhere is reported, naming the
// built-in.
bool mahjong_player_hand(const char* builtin, int player, mahjong_hand_ref* hand);
// The same without a report.
bool mahjong_player_seated(int player);

// The first slot after the melds (the melds stand first in groups of three).
int mahjong_first_concealed(const mahjong_hand_ref& h);
// Sorts the concealed slots from the first one after the melds up to slot 12; slot 13 stays.
void mahjong_sort_hand(const mahjong_hand_ref& h);
// The waiting kinds of a hand (slot 13 left out) into *waits (-1 ended); their number.
int mahjong_hand_wait_kinds(const mahjong_tile* tiles, const int32_t* states, const int32_t** waits);
// Whether kind k is in a -1 ended list.
bool mahjong_kind_listed(const int32_t* list, int k);
// On the loaded state: 1 when a waiting kind of the player lies among the player's discards (up
// to the first -1); 0, reported, for a player not at the table.
int mahjong_furiten(int player);

// The slot (0-2) within a meld that a call of the discard of player `discarder` marks, -1 for
// none: for the table's kan and pon, and for a computer `caller`'s own pon.
int mahjong_table_call_slot(int players, int discarder);
int mahjong_com_call_slot(int players, int caller, int discarder);

// The calls on hand h. Each checks first that the hand holds what the call needs and, when it
// does not, changes nothing and returns -1. Then, as the table does it:
// kan of the tile's kind: 1 concealed, 0 open (on a discard put into an empty slot 13, or added
//   to a pon); the meld keeps copies 0-2 of the kind, the fourth tile is not stored;
// pon of the discard: 0; the leftover tile ends in slot 13;
// chi of the discard with the run's lowest kind: 0; the first concealed tile ends in slot 13.
// mark_slot is the from-whom slot within the new meld (-1: none).
int mahjong_apply_kan(const mahjong_hand_ref& h, mahjong_tile tile, int mark_slot);
int mahjong_apply_pon(const mahjong_hand_ref& h, mahjong_tile tile, int mark_slot);
int mahjong_apply_chi(const mahjong_hand_ref& h, mahjong_tile tile, int lowest_kind);
// The kans (open or concealed) a hand holds.
int mahjong_kans_held(const mahjong_hand_ref& h);
