#include "mahjong/state.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <cstring>

#include "base/hash.h"
#include "shell/message_box.h"
#include "vm/variables.h"

const uint8_t mahjong_valid_kind[MAHJONG_KINDS] = {
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0 none, 1-9 characters
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 10 none, 11-19 circles
    0, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 20 none, 21-29 bamboo
    0, 1, 1, 1, 1, 1, 1, 1, 0, 0,  // 30 none, 31-34 winds, 35-37 dragons, 38-39 none
};

mahjong_state mahjong;

namespace {

enum : uint8_t { LOAD = 1, STORE = 2, RESULT = 4 };

// One variable of the bridge; count 0 for a scalar.
struct bridge_entry {
  const char* name;
  int32_t* field;
  int32_t count;
  uint8_t travel;
};

#define MJ_INT(name, f, travel) {name, &mahjong.f, 0, travel}
#define MJ_ARR(name, f, travel) {name, &mahjong.f[0], int32_t(sizeof(mahjong.f) / sizeof(int32_t)), travel}
#define MJ_ROWS(name, f, travel) {name, &mahjong.f[0][0], int32_t(sizeof(mahjong.f) / sizeof(int32_t)), travel}
constexpr uint8_t LS = LOAD | STORE;

// In the order the bridge walks; loading skips the results, storing the rule switches and flags.
const bridge_entry bridge[] = {
    MJ_INT("@M_my_score@GLOBAL", my_score, LS),
    MJ_ARR("@M_my_pre_te#@GLOBAL", my_pre_te, LS),
    MJ_ARR("@M_my_naki_flag#@GLOBAL", my_naki_flag, LS),
    MJ_ARR("@M_my_naki_flag2#@GLOBAL", my_naki_flag2, LS),
    MJ_ARR("@M_my_sute#@GLOBAL", my_sute, LS),
    MJ_INT("@M_my_is_reach@GLOBAL", my_is_reach, LS),
    MJ_INT("@M_my_reach_cyokugo@GLOBAL", my_reach_cyokugo, LS),
    MJ_INT("@M_my_kaze@GLOBAL", my_kaze, LS),
    MJ_INT("@M_my_luck@GLOBAL", my_luck, LS),
    MJ_INT("@M_my_unluck@GLOBAL", my_unluck, LS),
    MJ_INT("@M_tatioya@GLOBAL", tatioya, LS),
    MJ_INT("@M_ba_kaze@GLOBAL", ba_kaze, LS),
    MJ_INT("@M_ba_mawari@GLOBAL", ba_mawari, LS),
    MJ_INT("@M_kan_kazu@GLOBAL", kan_kazu, LS),
    MJ_INT("@M_ba_100ten@GLOBAL", ba_100ten, LS),
    MJ_INT("@M_ba_1000ten@GLOBAL", ba_1000ten, LS),
    MJ_ARR("@M_dora#@GLOBAL", dora, LS),
    MJ_ARR("@M_dora_ura#@GLOBAL", dora_ura, LS),
    MJ_INT("@M_maj_mode@GLOBAL", maj_mode, LS),
    MJ_INT("@M_pi_tumo_nokori@GLOBAL", pi_tumo_nokori, LS),
    MJ_ARR("@M_reach_sel_stat#@GLOBAL", reach_sel_stat, LS),
    MJ_ROWS("@M_com_end#@GLOBAL", com_end, LS),
    MJ_ROWS("@M_com_end2#@GLOBAL", com_end2, LS),
    MJ_ROWS("@M_com_endnaki#@GLOBAL", com_endnaki, LS),
    MJ_ROWS("@M_com_endnaki2#@GLOBAL", com_endnaki2, LS),
    MJ_ARR("@M_com_do_reach#@GLOBAL", com_do_reach, LS),
    MJ_ARR("@M_com_do_naki#@GLOBAL", com_do_naki, LS),
    MJ_ARR("@M_com_te_susunda#@GLOBAL", com_te_susunda, LS),
    MJ_ARR("@M_com_is_tenpai#@GLOBAL", com_is_tenpai, LS),
    MJ_INT("@M_com_yuusen@GLOBAL", com_yuusen, LS),
    MJ_ROWS("@M_com_sute#@GLOBAL", com_sute, LS),
    MJ_ARR("@M_com_score#@GLOBAL", com_score, LS),
    MJ_ARR("@M_com_kaze#@GLOBAL", com_kaze, LS),
    MJ_ROWS("@M_com_pre_te#@GLOBAL", com_pre_te, LS),
    MJ_ROWS("@M_com_naki_flag#@GLOBAL", com_naki_flag, LS),
    MJ_ROWS("@M_com_naki_flag2#@GLOBAL", com_naki_flag2, LS),
    MJ_ARR("@M_com_is_reach#@GLOBAL", com_is_reach, LS),
    MJ_ARR("@M_com_reach_cyokugo#@GLOBAL", com_reach_cyokugo, LS),
    MJ_ARR("@com_id#@GLOBAL", com_id, LS),
    MJ_ARR("@com_lvl#@GLOBAL", com_lvl, LS),
    MJ_ARR("@com_tuyosa#@GLOBAL", com_tuyosa, LS),
    MJ_ARR("@com_luck#@GLOBAL", com_luck, LS),
    MJ_ARR("@com_unluck#@GLOBAL", com_unluck, LS),
    MJ_ARR("@ply_luck_seed#@GLOBAL", ply_luck_seed, LS),
    MJ_ARR("@ply_unluck_seed#@GLOBAL", ply_unluck_seed, LS),
    MJ_INT("@O_is_tumo_not_wait@GLOBAL", is_tumo_not_wait, LS),
    MJ_INT("@O_is_quit@GLOBAL", is_quit, LS),
    MJ_INT("@O_winner@GLOBAL", winner, LS),
    MJ_INT("@O_is_tenho@GLOBAL", is_tenho, LS),
    MJ_INT("@O_is_haitei@GLOBAL", is_haitei, LS),
    MJ_INT("@O_is_tumo@GLOBAL", is_tumo, LS),
    MJ_INT("@O_is_kan_cyokugo@GLOBAL", is_kan_cyokugo, LS),
    MJ_INT("@O_is_kandora_akero@GLOBAL", is_kandora_akero, LS),
    MJ_INT("@M_last_sute@GLOBAL", last_sute, LS),
    MJ_INT("@M_last_sute_pl@GLOBAL", last_sute_pl, LS),
    MJ_INT("#kuitan@CONFIG", kuitan, LOAD),
    MJ_INT("#tumopin@CONFIG", tumopin, LOAD),
    MJ_INT("#uradora@CONFIG", uradora, LOAD),
    MJ_INT("#kandora@CONFIG", kandora, LOAD),
    MJ_INT("#akau@CONFIG", akau, LOAD),
    MJ_INT("#dobon@CONFIG", dobon, LOAD),
    MJ_INT("#tonnan@CONFIG", tonnan, LOAD),
    MJ_INT("#syairi@CONFIG", syairi, LOAD),
    MJ_INT("#oyanagare@CONFIG", oyanagare, LOAD),
    MJ_INT("@ConEn@GLOBAL", con_en, LOAD),
    MJ_INT("@InSuv@GLOBAL", in_suv, LOAD),
    MJ_ARR("@M_yaku_no#@GLOBAL", yaku_no, RESULT),
    MJ_ARR("@M_yaku_han#@GLOBAL", yaku_han, RESULT),
    MJ_INT("@M_yaku_fu_total@GLOBAL", yaku_fu_total, RESULT),
    MJ_INT("@M_yaku_han_total@GLOBAL", yaku_han_total, RESULT),
    MJ_INT("@M_yaku_man_total@GLOBAL", yaku_man_total, RESULT),
    MJ_INT("@M_yaku_score@GLOBAL", yaku_score, RESULT),
    MJ_INT("@M_yaku_score_ko@GLOBAL", yaku_score_ko, RESULT),
    MJ_INT("@M_yaku_score_oya@GLOBAL", yaku_score_oya, RESULT),
    MJ_INT("@M_yaku_is_tumo@GLOBAL", yaku_is_tumo, RESULT),
    MJ_INT("@M_yaku_is_reach@GLOBAL", yaku_is_reach, RESULT),
    MJ_INT("@M_yaku_my_kaze@GLOBAL", yaku_my_kaze, RESULT),
};

// The variable of a name (its hash given), or null after reporting it missing. A slot hint, when
// given, remembers where the variable was found last (it is checked before it is used).
value_cell* find_variable(const char* name, uint32_t hash, bool array, uint8_t* hint = nullptr) {
  value_cell key = int_cell(0, hash);
  key.scope = array || name[0] == '@' ? SCOPE_GLOBAL : SCOPE_ETERNAL;
  value_cell* c = var_find(&key, hint);
  if (!c) error_box_fatal("item[%s]が発見できませんでした", name);
  return c;
}

// A cell of another type under a mahjong name is a script's mistake: its value is not ours to
// read as an int, nor to overwrite.
bool type_matches(const value_cell* c, const char* name, int type) {
  if (c->type == type) return true;
  error_box_fatal("item[%s]の型が違います", name);
  return false;
}

// The elements that travel: the script array's last two dimensions (all of it for arrays of one
// or two dimensions), at most the native count.
int32_t array_span(const array_block* a, int32_t count) {
  if (!a || a->dims[0] == 0) return 0;
  int64_t n = int64_t(a->dims[1]) * a->dims[2];
  return n < count ? int32_t(n) : count;
}

void get_int(const char* name, uint32_t hash, int32_t& field, uint8_t* hint = nullptr) {
  value_cell* c = find_variable(name, hash, false, hint);
  if (c && type_matches(c, name, TYPE_INT)) field = c->i;
}

void set_int(const char* name, uint32_t hash, const int32_t& field, uint8_t* hint = nullptr) {
  value_cell* c = find_variable(name, hash, false, hint);
  if (c && type_matches(c, name, TYPE_INT)) c->i = field;
}

void get_array(const char* name, uint32_t hash, int32_t* field, int32_t count, uint8_t* hint = nullptr) {
  value_cell* c = find_variable(name, hash, true, hint);
  if (!c || !type_matches(c, name, TYPE_INT_ARRAY)) return;
  int32_t n = array_span(c->a, count);
  if (n > 0) memcpy(field, c->a->data, sizeof(int32_t) * size_t(n));
}

void set_array(const char* name, uint32_t hash, const int32_t* field, int32_t count, uint8_t* hint = nullptr) {
  value_cell* c = find_variable(name, hash, true, hint);
  if (!c || !type_matches(c, name, TYPE_INT_ARRAY)) return;
  int32_t n = array_span(c->a, count);
  if (n > 0) memcpy(c->a->data, field, sizeof(int32_t) * size_t(n));
}

// Where each bridge variable was found last: every built-in walks the bridge twice, and a game's
// global table is long.
uint8_t bridge_hints[std::size(bridge)][2];

// The bridge's name hashes, computed once.
const uint32_t* bridge_hashes() {
  static const auto hashes = [] {
    std::array<uint32_t, std::size(bridge)> h{};
    for (size_t i = 0; i < h.size(); ++i) h[i] = crc32_string(bridge[i].name);
    return h;
  }();
  return hashes.data();
}

}  // namespace

void mahjong_var_get_int(const char* name, int32_t& field) { get_int(name, crc32_string(name), field); }
void mahjong_var_set_int(const char* name, const int32_t& field) { set_int(name, crc32_string(name), field); }
void mahjong_var_get_array(const char* name, int32_t* field, int32_t count) {
  get_array(name, crc32_string(name), field, count);
}
void mahjong_var_set_array(const char* name, const int32_t* field, int32_t count) {
  set_array(name, crc32_string(name), field, count);
}

void mahjong_vars_load() {
  const uint32_t* hash = bridge_hashes();
  for (const bridge_entry& e : bridge)
    if (e.travel & LOAD) memset(e.field, 0, sizeof(int32_t) * size_t(e.count ? e.count : 1));
  for (size_t i = 0; i < std::size(bridge); ++i) {
    const bridge_entry& e = bridge[i];
    if (!(e.travel & LOAD)) continue;
    if (e.count)
      get_array(e.name, hash[i], e.field, e.count, bridge_hints[i]);
    else
      get_int(e.name, hash[i], *e.field, bridge_hints[i]);
  }
}

void mahjong_vars_store() {
  const uint32_t* hash = bridge_hashes();
  for (size_t i = 0; i < std::size(bridge); ++i) {
    const bridge_entry& e = bridge[i];
    if (!(e.travel & (STORE | RESULT))) continue;
    if (e.count)
      set_array(e.name, hash[i], e.field, e.count, bridge_hints[i]);
    else
      set_int(e.name, hash[i], *e.field, bridge_hints[i]);
  }
}

void mahjong_state_reset() { mahjong = mahjong_state{}; }
