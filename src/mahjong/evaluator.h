// The hand evaluator: win shapes, readings, fu, yaku, points, and the wait finder.
//
// Pure native code over one module-level evaluation record: callers fill its inputs (or let
// mahjong_score_player fill them from the mahjong state), evaluate, and read the results. The
// record and the readings hold only the latest evaluation.
//
// The rules are riichi mahjong as this game family plays it, house rules included: a pair of the
// seat wind that is also the round wind gives 2 fu; a triplet wait gives wait fu; a self-drawn win
// starts at 22 fu and an open 20-fu hand with a single yaku counts 30; limit hands start at 6 han;
// and the local yakuman 大車輪, 四連刻 and 百万石 count.
#pragma once

#include <cstdint>

#include "mahjong/tiles.h"

// Yaku numbers: the index into mahjong_yaku_names, which is what the export writes.
enum yaku_number : int16_t {
  YAKU_NONE = -1,  // an empty line
  YAKU_OTHER = 0,  // "その他": the eighth line once more than eight yaku were found
  YAKU_TENHO = 1, YAKU_CHIHO, YAKU_RENHO, YAKU_CHUREN, YAKU_RYUISO, YAKU_DAISHARIN, YAKU_TSUISO,
  YAKU_DAISANGEN, YAKU_HYAKUMAN, YAKU_SUKANTSU, YAKU_SURENKO, YAKU_CHINROTO, YAKU_DAISUSHI,
  YAKU_SHOSUSHI, YAKU_SUANKO_TANKI, YAKU_SUANKO, YAKU_KOKUSHI, YAKU_CHINITSU, YAKU_HONITSU,
  YAKU_HONROTO, YAKU_RYANPEIKO, YAKU_JUNCHAN, YAKU_SANKANTSU, YAKU_SHOSANGEN, YAKU_SANANKO,
  YAKU_SANRENKO, YAKU_TOITOI, YAKU_CHITOITSU, YAKU_ITTSU, YAKU_SANSHOKU_DOKO, YAKU_SANSHOKU,
  YAKU_CHANTA, YAKU_DOUBLE_RIICHI, YAKU_HAITEI, YAKU_RINSHAN, YAKU_TANYAO, YAKU_PINFU, YAKU_IIPEIKO,
  YAKU_RIICHI, YAKU_IPPATSU, YAKU_TSUMO, YAKU_DOUBLE_EAST, YAKU_DOUBLE_SOUTH = 43,
  YAKU_DOUBLE_WEST, YAKU_DOUBLE_NORTH, YAKU_EAST, YAKU_SOUTH, YAKU_WEST, YAKU_NORTH, YAKU_WHITE,
  YAKU_GREEN, YAKU_RED, YAKU_DORA2, YAKU_DORA3, YAKU_DORA4, YAKU_DORA5, YAKU_DORA6, YAKU_DORA7,
  YAKU_DORA8, YAKU_DORA_MANY, YAKU_DORA, YAKU_VALUE_HONOUR,
};
constexpr int YAKU_NAME_COUNT = 63;
extern const char* const mahjong_yaku_names[YAKU_NAME_COUNT];

constexpr int YAKU_LINES = 8;
constexpr int YAKUMAN = 100;  // the han of one yakuman

// One line of a yaku list; the name is mahjong_yaku_names[no].
struct yaku_entry {
  int16_t no;
  int32_t han;  // 100 for a yakuman, 200 for a double
};

enum reading_shape : int32_t { SHAPE_END = -1, SHAPE_STANDARD = 0, SHAPE_SEVEN_PAIRS = 1, SHAPE_ORPHANS = 2 };

// Set origins besides 1, 2, ... (the open meld the set comes from, in slot order).
constexpr int32_t ORIGIN_HAND = 0;
constexpr int32_t ORIGIN_CONCEALED_KAN = -2;
constexpr int32_t ORIGIN_RON_TRIPLET = 99;  // a concealed triplet completed by the winning discard

struct hand_reading {
  int32_t shape;
  int32_t pair_kind, pair_fu;
  int32_t set_kind[4];    // a run by its lowest kind
  int32_t set_type[4];    // 1 run, 0 triplet or kan
  int32_t set_origin[4];
  int32_t set_fu[4];
  int32_t fu;  // before rounding; -1 when the reading has no yaku
  int32_t han;
  int32_t yaku_han;  // han of the yaku alone (dora excluded)
  yaku_entry yaku[YAKU_LINES];
};

struct hand_evaluation {
  // Results.
  yaku_entry yaku[YAKU_LINES];
  int32_t fu, han;        // rounded fu; han with 100 per yakuman
  int32_t ron;            // discard win, in hundreds of points
  int32_t tsumo_dealer;   // self-drawn win: what the dealer pays (a dealer's win: each player)
  int32_t tsumo_other;    // self-drawn win: what each non-dealer pays
  // Inputs.
  int32_t tsumo, riichi;  // riichi 0 none, 1, 2 double
  int32_t seat_wind, round_wind;  // 0 East (the dealer) .. 3 North
  int32_t kan_draw, ippatsu, first_turn, last_tile;
  mahjong_tile dora[25];  // indicators, -1 ends
  mahjong_tile tiles[MAHJONG_SLOTS];
  int32_t melds[MAHJONG_SLOTS];
  int32_t from[MAHJONG_SLOTS];
  // The rules in force, from the mahjong state.
  int32_t rules_on;  // "@ConEn@GLOBAL": 0 counts every switch as on, red fives excepted
  int32_t kuitan, tumopin, akau;
  int32_t players;
  // Set by mahjong_hand_waits: its waits list.
  const int32_t* waits;
};

extern hand_evaluation mahjong_eval;
// The readings of the latest mahjong_count_fu: up to three standard ones or one other, then an
// end marker.
extern hand_reading mahjong_readings[4];

// No set origin modulo 99 is positive (a triplet completed by the discard still counts as closed).
bool mahjong_is_closed(const hand_reading& r);
// Runs (triplets or kans) of a lowest kind in the reading; concealed ones only unless any_origin.
int mahjong_count_runs(const hand_reading& r, int kind, int any_origin);
int mahjong_count_pungs(const hand_reading& r, int kind, int any_origin);
// Appends a line to the reading's yaku list (once it is full, the eighth line becomes "その他" and
// takes the han) and adds the han to its total, and to its yaku han when counts_as_yaku.
void mahjong_add_yaku(hand_reading& r, int16_t no, int32_t han, int counts_as_yaku);

// 3 thirteen orphans, 2 seven pairs, 1 four sets and a pair, 0 no winning shape.
int mahjong_win_shape(const mahjong_tile* tiles, const int32_t* melds);
// The readings of the record's hand with their fu.
void mahjong_count_fu(hand_evaluation* e);
// The whole evaluation: readings, yaku, fu, points. Returns the best ron points in hundreds, 0
// when no reading scores.
int mahjong_evaluate_yaku(hand_evaluation* e);
// Picks the best reading and fills the record's payments; returns its ron points.
int mahjong_score_points(hand_evaluation* e);
// Fills mahjong_eval for player 0-2 (computers) or 3 (the human) from the mahjong state and
// evaluates it; returns the ron points. The state must be loaded.
int mahjong_score_player(int player);
// The same into another record: probes that must not disturb what the export reads.
int mahjong_score_player_into(hand_evaluation* e, int player);

// The kinds that complete the record's hand (slot 13 left out), -1 ended; returns their number.
int mahjong_hand_waits(hand_evaluation* e);
const int32_t* mahjong_waits_list();

// The latest evaluation into the result fields of the mahjong state.
void mahjong_export_result();

// Tests: the record, the readings and the waits list cleared.
void mahjong_eval_reset();
