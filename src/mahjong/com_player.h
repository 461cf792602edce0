// The computer players and luck: computers play toward the target hands that the prepared deal
// gave them (kinds in "@M_com_end#", sets in "@M_com_endnaki#"), and luck values bend their draws,
// the human's draws and the dora indicators.
//
// All randomness is engine_rand(), drawn in a fixed order (short-circuit tests included), so a
// seeded game replays exactly. Every look-ahead draws at most what the wall still holds free, and
// every probe evaluation goes to a scratch record, never the one the export reads.
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

// The built-ins. Each loads the mahjong state, works, stores it and pushes one int; a computer
// not at the table is reported and the result is 0.
// mahjong_com_draw(player): the tile the computer draws (-1 when the wall has none free).
int builtin_mahjong_com_draw(int32_t n, int32_t drop);
// mahjong_com_call_chance(player): rand() % 13 when the call chance hits, else 13.
int builtin_mahjong_com_call_chance(int32_t n, int32_t drop);
// mahjong_com_pon(player) / mahjong_com_chi(player): 1 when the computer calls the last discard.
int builtin_mahjong_com_pon(int32_t n, int32_t drop);
int builtin_mahjong_com_chi(int32_t n, int32_t drop);
// mahjong_rig_hand(player, tile): 1 when the computer took its target hand and gave up a tile.
int builtin_mahjong_rig_hand(int32_t n, int32_t drop);
// mahjong_take_target_hand(player): 1 when the computer took its target hand.
int builtin_mahjong_take_target_hand(int32_t n, int32_t drop);
// mahjong_restore_hand(player): the hand back to its target; 0.
int builtin_mahjong_restore_hand(int32_t n, int32_t drop);
// mahjong_human_draw(): the tile the human draws, the best or worst of five by luck.
int builtin_mahjong_human_draw(int32_t n, int32_t drop);

// On the loaded state.
// The next dora indicator, drawn from the wall and biased toward the computer whose style code
// asks for it. The match test compares a target kind with the indicator's kind + 1 (so a 9 or a
// North, whose dora wraps, never matches): games were balanced against that, so it stays.
mahjong_tile mahjong_pick_dora();
// The three target kinds and set states at `from` move to `to`, the entries between up by three.
void mahjong_target_move(int player, int to, int from);
// How much the human's hand wants the tile: 1000 + points when it wins with it, else a shape
// score from the per-kind counts of the hand's 14 tiles.
int mahjong_hint_value(mahjong_tile tile, const int32_t counts[MAHJONG_KINDS]);
// A computer's hand back to its target: the tenpai hand itself, or kind x 10 in every concealed
// slot.
void mahjong_restore_target(int player);
