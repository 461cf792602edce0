// The mahjong state: a native working copy of the game's script variables, and the bridge that
// moves it.
//
// The scripts' variables are the game: every mahjong built-in loads the whole working copy
// (mahjong_vars_load), works on the native fields and stores it back (mahjong_vars_store) before
// it pushes its result, so saving a game carries the mahjong game with it. Nothing native is
// trusted across built-ins, except the result fields, which only travel native to script and keep
// the latest evaluation's figures until the next export.
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

struct mahjong_state {
  // The human (player 3).
  int32_t my_score;
  mahjong_tile my_pre_te[MAHJONG_SLOTS];  // hand: tile codes
  int32_t my_naki_flag[MAHJONG_SLOTS];    // meld state per slot
  int32_t my_naki_flag2[MAHJONG_SLOTS];   // from-whom per slot
  mahjong_tile my_sute[40];               // discards, -1 ends
  int32_t my_is_reach, my_reach_cyokugo, my_kaze, my_luck, my_unluck;
  // The table.
  int32_t tatioya, ba_kaze, ba_mawari, kan_kazu, ba_100ten, ba_1000ten;
  mahjong_tile dora[12], dora_ura[12];  // indicators, -1 ends
  int32_t maj_mode;                     // number of players: 2, 3 or 4
  int32_t pi_tumo_nokori;
  int32_t reach_sel_stat[MAHJONG_SLOTS];
  // The computer seats, seat-major.
  int32_t com_end[MAHJONG_COMS][MAHJONG_SLOTS], com_end2[MAHJONG_COMS][MAHJONG_SLOTS];
  int32_t com_endnaki[MAHJONG_COMS][MAHJONG_SLOTS], com_endnaki2[MAHJONG_COMS][MAHJONG_SLOTS];
  int32_t com_do_reach[MAHJONG_COMS], com_do_naki[MAHJONG_COMS], com_te_susunda[MAHJONG_COMS];
  int32_t com_is_tenpai[MAHJONG_COMS];
  int32_t com_yuusen;
  mahjong_tile com_sute[MAHJONG_COMS][40];
  int32_t com_score[MAHJONG_COMS], com_kaze[MAHJONG_COMS];
  mahjong_tile com_pre_te[MAHJONG_COMS][MAHJONG_SLOTS];
  int32_t com_naki_flag[MAHJONG_COMS][MAHJONG_SLOTS], com_naki_flag2[MAHJONG_COMS][MAHJONG_SLOTS];
  int32_t com_is_reach[MAHJONG_COMS], com_reach_cyokugo[MAHJONG_COMS];
  int32_t com_id[MAHJONG_COMS], com_lvl[MAHJONG_COMS], com_tuyosa[MAHJONG_COMS];
  int32_t com_luck[MAHJONG_COMS], com_unluck[MAHJONG_COMS];
  int32_t ply_luck_seed[MAHJONG_COMS], ply_unluck_seed[MAHJONG_COMS];
  // The flow of the hand.
  int32_t is_tumo_not_wait, is_quit, winner, is_tenho, is_haitei, is_tumo, is_kan_cyokugo;
  int32_t is_kandora_akero, last_sute, last_sute_pl;
  // Rule switches and mode flags: loaded, never stored.
  int32_t kuitan, tumopin, uradora, kandora, akau, dobon, tonnan, syairi, oyanagare;
  int32_t con_en;  // 0: every rule switch counts as on, red fives excepted
  int32_t in_suv;
  // Results of the latest export: stored, never loaded.
  int32_t yaku_no[8], yaku_han[8];
  int32_t yaku_fu_total, yaku_han_total, yaku_man_total, yaku_score, yaku_score_ko, yaku_score_oya;
  int32_t yaku_is_tumo, yaku_is_reach, yaku_my_kaze;
};

extern mahjong_state mahjong;

// Every loaded variable into its field, in the bridge's order. The loaded fields are cleared
// first, so a variable that is missing reads as 0, never as an earlier built-in's value.
void mahjong_vars_load();
// Every stored field into its variable, in the bridge's order, the results last.
void mahjong_vars_store();

// One variable. A scalar name beginning with "@" is global, any other eternal; arrays are global.
// A variable that is not there is reported ("item[%s]が発見できませんでした") and the field kept;
// one of the wrong type is reported and left alone. An array moves at most count elements, and
// no more than the script array holds; the script array's block is written in place.
void mahjong_var_get_int(const char* name, int32_t& field);
void mahjong_var_set_int(const char* name, const int32_t& field);
void mahjong_var_get_array(const char* name, int32_t* field, int32_t count);
void mahjong_var_set_array(const char* name, const int32_t* field, int32_t count);

// Tests: the whole working copy to zero.
void mahjong_state_reset();
