// The mahjong table's built-ins. Each loads the mahjong state from the script variables,
// works on it and stores it back before it pushes its result. Arguments out of range (players
// not at the table, tiles and kinds that are none) are reported and change nothing.
#pragma once

#include <cstdint>

// The end of every mahjong built-in: the working copy stored back, the result pushed; 0.
int mahjong_builtin_finish(int32_t result);

// mahjong_export_result(): the latest evaluation into the "@M_yaku_*" result variables; 0.
int builtin_mahjong_export_result(int32_t n, int32_t drop);
// mahjong_build_wall(): builds and shuffles the wall for the player count, sets draws left; 0.
int builtin_mahjong_build_wall(int32_t n, int32_t drop);
// mahjong_set_seats(): every seat wind from the first dealer and the rotations; 0.
int builtin_mahjong_set_seats(int32_t n, int32_t drop);
// mahjong_my_deal(): 13 tiles to the human, sorted; 0.
int builtin_mahjong_my_deal(int32_t n, int32_t drop);
// mahjong_sort_hand(player): sorts the concealed slots up to 12; 0.
int builtin_mahjong_sort_hand(int32_t n, int32_t drop);
// mahjong_draw(): the next free wall tile, -1 when none is left.
int builtin_mahjong_draw(int32_t n, int32_t drop);
// mahjong_draw_kind(kind): a wall tile of the kind (reserved ones first), -1 when none is left.
int builtin_mahjong_draw_kind(int32_t n, int32_t drop);
// mahjong_put_back(tile): the tile back into the undrawn wall at a random place; 0.
int builtin_mahjong_put_back(int32_t n, int32_t drop);
// mahjong_is_furiten(player): 1 when a waiting kind lies among the player's own discards.
int builtin_mahjong_is_furiten(int32_t n, int32_t drop);
// mahjong_wait_count(player): the number of waiting kinds (tenpai above 0).
int builtin_mahjong_wait_count(int32_t n, int32_t drop);
// mahjong_can_win(): 1 when the human's hand scores; the evaluation stays for the export.
int builtin_mahjong_can_win(int32_t n, int32_t drop);
// mahjong_com_can_win(player): the computer's ron points in hundreds, 0 when it does not win.
int builtin_mahjong_com_can_win(int32_t n, int32_t drop);
// mahjong_draw_payments(): the exhaustive-draw payments into the scores; 1 when the dealer is
// tenpai.
int builtin_mahjong_draw_payments(int32_t n, int32_t drop);
// mahjong_can_reach(): 1 when the closed human hand, not in riichi, keeps waiting after giving up
// some concealed tile; those slots get flag 1 in "@M_reach_sel_stat#@GLOBAL", the others 0.
int builtin_mahjong_can_reach(int32_t n, int32_t drop);
// mahjong_add_dora(): one more dora and ura-dora indicator while there are at most five; 0.
int builtin_mahjong_add_dora(int32_t n, int32_t drop);
// mahjong_can_kan(kind of test): 1 when the human may declare a kan (0: of the drawn tile,
// nonzero: of any kind held four times; in riichi only one that keeps the waits).
int builtin_mahjong_can_kan(int32_t n, int32_t drop);
// mahjong_kan(player, tile): declares a kan of the tile's kind; 1 concealed, 0 open.
int builtin_mahjong_kan(int32_t n, int32_t drop);
// mahjong_pon(player, tile): pons the discard; 0.
int builtin_mahjong_pon(int32_t n, int32_t drop);
// mahjong_chi(player, tile, lowest kind): chis the discard into the run from the lowest kind; 0.
int builtin_mahjong_chi(int32_t n, int32_t drop);
