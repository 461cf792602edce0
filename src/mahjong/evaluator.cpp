#include "mahjong/evaluator.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/int32.h"
#include "mahjong/state.h"

const char* const mahjong_yaku_names[YAKU_NAME_COUNT] = {
    "その他", "天和", "地和", "人和", "九連宝燈", "緑一色", "大車輪", "字一色", "大三元", "百万石",
    "四槓子", "四連刻", "清老頭", "大四喜", "小四喜", "四暗刻単騎", "四暗刻", "国士無双", "清一色",
    "混一色", "混老頭", "二盃口", "ジュンチャン", "三槓子", "小三元", "三暗刻", "三連刻", "対々和",
    "七対子", "一気通貫", "三色同刻", "三色同順", "チャンタ", "ダブル立直", "ハイテイ", "嶺上開花",
    "タンヤオ", "平和", "一盃口", "立直", "一発", "自摸", "ダブ東", "ダブ南", "ダブ西", "ダブ北",
    "東", "南", "西", "北", "白", "発", "中", "ドラドラ", "ドラ３", "ドラ４", "ドラ５", "ドラ６",
    "ドラ７", "ドラ８", "ドラ爆", "ドラ", "役牌",
};
static_assert(YAKU_VALUE_HONOUR == YAKU_NAME_COUNT - 1 && YAKU_DOUBLE_EAST == 42 && YAKU_DORA == 61);

hand_evaluation mahjong_eval;
hand_reading mahjong_readings[4];

namespace {

// ---- Tables by kind --------------------------------------------------------------------------

using kind_table = std::array<int8_t, MAHJONG_KINDS>;

constexpr bool is_suit(int k) { return k >= 1 && k <= 29 && k % 10 != 0; }
constexpr bool is_terminal(int k) { return is_suit(k) && (k % 10 == 1 || k % 10 == 9); }
constexpr bool is_honour(int k) { return k >= 31 && k <= 37; }

constexpr kind_table make_table(int (*f)(int)) {
  kind_table t{};
  for (int k = 0; k < MAHJONG_KINDS; ++k) t[k] = static_cast<int8_t>(f(k));
  return t;
}

constexpr kind_table triplet_fu = make_table([](int k) { return is_terminal(k) || is_honour(k) ? 4 : is_suit(k) ? 2 : 0; });
constexpr kind_table simples = make_table([](int k) { return int(is_suit(k) && !is_terminal(k)); });
constexpr kind_table terminals = make_table([](int k) { return int(is_terminal(k)); });
constexpr kind_table term_honours = make_table([](int k) { return int(is_terminal(k) || is_honour(k)); });
constexpr kind_table green = make_table([](int k) {
  return int(k == 22 || k == 23 || k == 24 || k == 26 || k == 28 || k == 36);
});
constexpr kind_table char_number = make_table([](int k) { return k >= 1 && k <= 9 ? k : 0; });
constexpr kind_table outside_class = make_table([](int k) {
  return is_terminal(k) ? 2 : is_suit(k) && k % 10 == 7 ? 1 : is_honour(k) ? 3 : 0;
});
constexpr kind_table dora_next = make_table([](int k) {
  if (is_suit(k)) return k % 10 == 9 ? k - 8 : k + 1;
  if (k >= 31 && k <= 34) return k == 34 ? 31 : k + 1;
  if (k >= 35 && k <= 37) return k == 37 ? 35 : k + 1;
  return -1;
});
constexpr int orphan_kinds[13] = {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37};
constexpr int han_multiplier[6] = {0, 8, 16, 32, 64, 128};

inline int at(const kind_table& t, int k) { return k >= 0 && k < MAHJONG_KINDS ? t[k] : 0; }

// ---- Work areas shared with the wait finder --------------------------------------------------

struct kind_counts {
  int32_t n[MAHJONG_KINDS];
};
int32_t waits[MAHJONG_SLOTS + 1];

// Counts the concealed tiles (meld state 0) per kind, up to the first slot that holds no tile.
void count_concealed(const mahjong_tile* tiles, const int32_t* melds, kind_counts& c) {
  memset(&c, 0, sizeof c);
  for (int i = 0; i < MAHJONG_SLOTS; ++i) {
    if (melds[i] != MELD_CONCEALED) continue;
    if (!tile_is_tile(tiles[i])) break;
    c.n[tile_kind(tiles[i])]++;
  }
}

// Kinds 1..39 held twice or more, ascending; at most 8.
int pair_candidates(const kind_counts& c, int32_t* out) {
  int n = 0;
  for (int k = 1; k < MAHJONG_KINDS && n < 8; ++k)
    if (c.n[k] >= 2) out[n++] = k;
  return n;
}

bool is_orphans(const kind_counts& c) {
  int sum = 0;
  for (int k : orphan_kinds) {
    if (c.n[k] == 0) return false;
    sum += c.n[k];
  }
  return sum == 14;
}

// Takes the sets out of counts that have lost their pair, greedily: ascending through the suits,
// three or four equal tiles a triplet first, every tile left over the start of a run; honours
// last, in triplets only. add(kind, type) sees each set (type 1 run, 0 triplet).
template <class F>
bool walk_sets(kind_counts& c, F add) {
  for (int k = 1; k <= 29; ++k) {
    int n = c.n[k];
    if (n == 0) continue;
    if (n < 0 || n > 4) return false;
    if (n >= 3) {
      if (!add(k, 0)) return false;
      n -= 3;
    }
    c.n[k] = 0;
    for (; n > 0; --n) {
      if (--c.n[k + 1] < 0 || --c.n[k + 2] < 0) return false;
      if (!add(k, 1)) return false;
    }
  }
  for (int k = 31; k <= 37; ++k) {
    if (c.n[k] == 3) {
      if (!add(k, 0)) return false;
    } else if (c.n[k] != 0) {
      return false;
    }
  }
  return true;
}

int win_shape_of_counts(const kind_counts& c) {
  int32_t pairs[8];
  int np = pair_candidates(c, pairs);
  if (is_orphans(c)) return 3;
  if (np >= 7) return 2;
  for (int i = 0; i < np; ++i) {
    kind_counts w = c;
    w.n[pairs[i]] -= 2;
    if (walk_sets(w, [](int, int) { return true; })) return 1;
  }
  return 0;
}

// ---- Readings ---------------------------------------------------------------------------------

int count_sets(const hand_reading& r, int kind, int type, bool any_origin) {
  int n = 0;
  for (int i = 0; i < 4; ++i)
    if (r.set_kind[i] == kind && r.set_type[i] == type &&
        (any_origin || (type == 1 ? r.set_origin[i] % 99 <= 0 : r.set_origin[i] <= 0)))
      ++n;
  return n;
}

// Sets in the concealed part of the hand: what the winning tile can have completed.
bool hand_set(const hand_reading& r, int kind, int type) {
  for (int i = 0; i < 4; ++i)
    if (r.set_kind[i] == kind && r.set_type[i] == type && r.set_origin[i] == ORIGIN_HAND) return true;
  return false;
}
bool hand_run_holds(const hand_reading& r, int w) {
  for (int i = 0; i < 4; ++i)
    if (r.set_type[i] == 1 && r.set_origin[i] == ORIGIN_HAND && r.set_kind[i] <= w && w <= r.set_kind[i] + 2)
      return true;
  return false;
}

int winning_kind(const hand_evaluation* e) { return tile_is_tile(e->tiles[13]) ? tile_kind(e->tiles[13]) : 0; }

void add_set(hand_reading& r, int& n, int kind, int type, int origin, int fu) {
  r.set_kind[n] = kind, r.set_type[n] = type, r.set_origin[n] = origin, r.set_fu[n] = fu;
  ++n;
}

// The standard readings, one per pair candidate; then thirteen orphans when there is none, and
// seven pairs beside fewer than three. Ends with the end marker.
void build_readings(const hand_evaluation* e) {
  kind_counts c;
  count_concealed(e->tiles, e->melds, c);
  int32_t pairs[8];
  int np = pair_candidates(c, pairs);
  hand_reading r{};
  int kept = 0;
  for (int p = 0; p < np; ++p) {
    r = hand_reading{};
    r.pair_kind = pairs[p];
    int n = 0, open = 0;
    for (int s = 0; s <= 12 && n <= 4; s += 3) {
      int k = tile_is_tile(e->tiles[s]) ? tile_kind(e->tiles[s]) : 0;
      int type = 0, origin = ++open, fu = triplet_fu[k];
      switch (e->melds[s]) {
        case MELD_CHI_FIRST: type = 1, fu = 0; break;
        case MELD_PON: break;
        case MELD_OPEN_KAN: fu *= 4; break;
        case MELD_CONCEALED_KAN: origin = ORIGIN_CONCEALED_KAN, fu *= 8, --open; break;
        default: --open; continue;
      }
      if (n == 4) n = 5;  // more melds than a hand holds: no reading
      else add_set(r, n, k, type, origin, fu);
    }
    kind_counts w = c;
    w.n[pairs[p]] -= 2;
    bool ok = walk_sets(w, [&](int k, int type) {
      if (n >= 4) return false;
      add_set(r, n, k, type, ORIGIN_HAND, type ? 0 : triplet_fu[k] * 2);
      return true;
    });
    if (!ok || n != 4) continue;
    mahjong_readings[kept < 3 ? kept++ : 2] = r;
  }
  int count = kept;
  if (kept == 0 && is_orphans(c)) {
    mahjong_readings[count] = hand_reading{};
    mahjong_readings[count++].shape = SHAPE_ORPHANS;
  }
  if (np >= 7 && kept < 3) {
    mahjong_readings[count] = hand_reading{};
    mahjong_readings[count++].shape = SHAPE_SEVEN_PAIRS;
  }
  mahjong_readings[count] = hand_reading{};
  mahjong_readings[count].shape = SHAPE_END;
}

int reading_fu(const hand_evaluation* e, hand_reading& r) {
  if (r.shape == SHAPE_SEVEN_PAIRS) return 25;
  if (r.shape == SHAPE_ORPHANS) return 30;
  int fu = e->tsumo ? 22 : mahjong_is_closed(r) ? 30 : 20;
  // Winds come from scripts: a wrapped sum lands on a wind kind only for winds 0..3.
  int seat = i32_add(KIND_EAST, e->seat_wind), round = i32_add(KIND_EAST, e->round_wind);
  if (r.pair_kind == seat) r.pair_fu += 2;
  if (e->round_wind != e->seat_wind && r.pair_kind == round) r.pair_fu += 2;
  if (r.pair_kind > 34) r.pair_fu += 2;
  fu += r.pair_fu;
  // The wait: only the concealed part of the hand can hold the winning tile.
  int w = winning_kind(e);
  bool edge = w <= 30 && ((w % 10 == 3 && hand_set(r, w - 2, 1)) || (w % 10 == 7 && hand_set(r, w, 1)));
  if (edge || hand_set(r, w - 1, 1) || r.pair_kind == w || hand_set(r, w, 0)) fu += 2;
  // A triplet that the discard completed is an open one.
  if (!e->tsumo && r.pair_kind != w && !hand_run_holds(r, w))
    for (int i = 0; i < 4; ++i)
      if (r.set_kind[i] == w && r.set_type[i] == 0 && r.set_origin[i] == ORIGIN_HAND) {
        r.set_origin[i] = ORIGIN_RON_TRIPLET;
        r.set_fu[i] /= 2;
      }
  for (int i = 0; i < 4; ++i) fu += r.set_fu[i];
  return fu;
}

// ---- Yaku -------------------------------------------------------------------------------------

// What the 14 tiles show, the same for every reading.
struct hand_facts {
  int honours, winds, dragons, terminals, term_honours, simples, green, characters;
  int suits;  // bit s for suit s present
  int kan_states;
  bool no_meld;
  int character_sum;
  int dora;
  kind_counts all;  // every slot's kind
};

hand_facts facts_of(const hand_evaluation* e) {
  hand_facts f{};
  for (int i = 0; i < MAHJONG_SLOTS; ++i) {
    int k = tile_is_tile(e->tiles[i]) ? tile_kind(e->tiles[i]) : 0;
    f.all.n[k]++;
    f.honours += is_honour(k);
    f.winds += k >= 31 && k <= 34;
    f.dragons += k >= 35 && k <= 37;
    f.terminals += terminals[k];
    f.term_honours += term_honours[k];
    f.simples += simples[k];
    f.green += green[k];
    f.characters += char_number[k] > 0;
    f.character_sum += char_number[k];
    if (is_suit(k)) f.suits |= 1 << (k / 10);
    bool kan = e->melds[i] == MELD_OPEN_KAN || e->melds[i] == MELD_CONCEALED_KAN;
    f.kan_states += kan;
    // A kan's fourth tile is not in the hand: it counts at the kan's first slot.
    if (kan && i % 3 == 0 && i <= 12) f.character_sum += char_number[k];
  }
  f.no_meld = true;
  for (int i = 0; i < MAHJONG_SLOTS; ++i) f.no_meld &= e->melds[i] == MELD_CONCEALED;
  // Dora: every indicator against every slot; a kan's fourth tile once more; red fives by rule.
  if (e->dora[0] != -1) {
    for (int i = 0; i < MAHJONG_SLOTS; ++i) {
      int k = tile_is_tile(e->tiles[i]) ? tile_kind(e->tiles[i]) : -2;
      bool kan = i % 3 == 0 && i <= 12 && (e->melds[i] == MELD_OPEN_KAN || e->melds[i] == MELD_CONCEALED_KAN);
      for (int d = 0; d < 24 && e->dora[d] != -1; ++d)
        if (tile_is_tile(e->dora[d]) && dora_next[tile_kind(e->dora[d])] == k) f.dora += 1 + kan;
      if ((e->tiles[i] == 150 || e->tiles[i] == 151) && (e->players == 2 || (e->rules_on && e->akau))) f.dora++;
    }
  }
  return f;
}

bool one_suit(const hand_facts& f) { return f.suits == 1 || f.suits == 2 || f.suits == 4; }

// Which kinds start a triplet or kan, and a run, of any origin: the tests below ask often.
struct set_bits {
  uint64_t pung = 0, run = 0;
  explicit set_bits(const hand_reading& r) {
    for (int i = 0; i < 4; ++i) (r.set_type[i] ? run : pung) |= uint64_t(1) << r.set_kind[i];
  }
  bool pungs(int k) const { return k >= 0 && k < 64 && (pung >> k & 1); }
  bool runs(int k) const { return k >= 0 && k < 64 && (run >> k & 1); }
};
int concealed_pungs(const hand_reading& r) {
  int n = 0;
  for (int i = 0; i < 4; ++i) n += r.set_type[i] == 0 && r.set_origin[i] <= 0;
  return n;
}
bool all_pungs(const hand_reading& r) { return !r.set_type[0] && !r.set_type[1] && !r.set_type[2] && !r.set_type[3]; }

void blessings(const hand_evaluation* e, hand_reading& r) {
  if (!e->first_turn) return;
  if (e->seat_wind == 0 && e->tsumo)
    mahjong_add_yaku(r, YAKU_TENHO, YAKUMAN, 1);
  else if (e->seat_wind != 0)
    mahjong_add_yaku(r, e->tsumo ? YAKU_CHIHO : YAKU_RENHO, YAKUMAN, 1);
}

void yakuman_standard(const hand_evaluation* e, const hand_facts& f, const set_bits& b, hand_reading& r) {
  blessings(e, r);
  if (f.honours == 14) mahjong_add_yaku(r, YAKU_TSUISO, YAKUMAN, 1);
  if (b.pungs(35) && b.pungs(36) && b.pungs(37)) mahjong_add_yaku(r, YAKU_DAISANGEN, YAKUMAN, 1);
  if (concealed_pungs(r) == 4) {
    if (winning_kind(e) == r.pair_kind)
      mahjong_add_yaku(r, YAKU_SUANKO_TANKI, 2 * YAKUMAN, 1);
    else
      mahjong_add_yaku(r, YAKU_SUANKO, YAKUMAN, 1);
  }
  if (all_pungs(r)) {
    int k = *std::min_element(r.set_kind, r.set_kind + 4);
    if (k <= 26 && b.pungs(k + 1) && b.pungs(k + 2) && b.pungs(k + 3)) mahjong_add_yaku(r, YAKU_SURENKO, YAKUMAN, 1);
  }
  if (f.kan_states == 12) mahjong_add_yaku(r, YAKU_SUKANTSU, YAKUMAN, 1);
  if (f.winds == 12) mahjong_add_yaku(r, YAKU_DAISUSHI, 2 * YAKUMAN, 1);
  if (f.winds == 11) mahjong_add_yaku(r, YAKU_SHOSUSHI, YAKUMAN, 1);
  if (f.terminals == 14) mahjong_add_yaku(r, YAKU_CHINROTO, YAKUMAN, 1);
  if (f.green == 14) mahjong_add_yaku(r, YAKU_RYUISO, YAKUMAN, 1);
  if (r.pair_kind == 12 && count_sets(r, 13, 1, false) == 2 && count_sets(r, 16, 1, false) == 2)
    mahjong_add_yaku(r, YAKU_DAISHARIN, YAKUMAN, 1);
  // Nine gates is a hand without any meld: a concealed kan breaks it too.
  if (f.no_meld && one_suit(f) && f.honours == 0) {
    int s = f.suits == 1 ? 0 : f.suits == 2 ? 10 : 20;
    bool gates = f.all.n[s + 1] >= 3 && f.all.n[s + 9] >= 3;
    for (int k = s + 2; k <= s + 8; ++k) gates &= f.all.n[k] >= 1;
    if (gates) mahjong_add_yaku(r, YAKU_CHUREN, YAKUMAN, 1);
  }
  if (f.characters == 14 && f.character_sum >= 100) mahjong_add_yaku(r, YAKU_HYAKUMAN, YAKUMAN, 1);
}

void riichi_yaku(const hand_evaluation* e, hand_reading& r) {
  if (e->riichi == 1) mahjong_add_yaku(r, YAKU_RIICHI, 1, 1);
  if (e->riichi == 2) mahjong_add_yaku(r, YAKU_DOUBLE_RIICHI, 2, 1);
  if (e->riichi && e->ippatsu) mahjong_add_yaku(r, YAKU_IPPATSU, 1, 1);
}

void flush_yaku(const hand_facts& f, bool closed, hand_reading& r) {
  if (!one_suit(f)) return;
  if (f.honours == 0)
    mahjong_add_yaku(r, YAKU_CHINITSU, closed ? 6 : 5, 1);
  else
    mahjong_add_yaku(r, YAKU_HONITSU, closed ? 3 : 2, 1);
}

void dora_yaku(const hand_facts& f, hand_reading& r) {
  int n = std::min(f.dora, 13);
  if (n <= 0) return;
  static constexpr int16_t names[5] = {YAKU_NONE, YAKU_DORA, YAKU_DORA2, YAKU_DORA3, YAKU_DORA4};
  mahjong_add_yaku(r, n <= 4 ? names[n] : int16_t(YAKU_DORA_MANY), n, 0);
}

bool tanyao_allowed(const hand_evaluation* e, bool closed) { return closed || !e->rules_on || e->kuitan; }

void ordinary_standard(const hand_evaluation* e, const hand_facts& f, const set_bits& b, hand_reading& r) {
  bool closed = mahjong_is_closed(r);
  int w = winning_kind(e);
  riichi_yaku(e, r);
  bool two_sided = (hand_set(r, w, 1) && w % 10 != 7) || (hand_set(r, w - 2, 1) && w % 10 != 3);
  bool four_runs = r.set_type[0] && r.set_type[1] && r.set_type[2] && r.set_type[3];
  if (closed && r.pair_fu == 0 && four_runs && two_sided && (!e->tsumo || !e->rules_on || e->tumopin)) {
    mahjong_add_yaku(r, YAKU_PINFU, 1, 1);
    r.fu = e->tsumo ? 20 : 30;
  }
  if (f.dragons == 8) mahjong_add_yaku(r, YAKU_SHOSANGEN, 2, 1);
  flush_yaku(f, closed, r);
  if (f.kan_states == 9) mahjong_add_yaku(r, YAKU_SANKANTSU, 2, 1);
  for (int n = 1; n <= 9; ++n)
    if (b.pungs(n) && b.pungs(10 + n) && b.pungs(20 + n)) {
      mahjong_add_yaku(r, YAKU_SANSHOKU_DOKO, 2, 1);
      break;
    }
  for (int n = 1; n <= 7; ++n)
    if (b.runs(n) && b.runs(10 + n) && b.runs(20 + n)) {
      mahjong_add_yaku(r, YAKU_SANSHOKU, closed ? 2 : 1, 1);
      break;
    }
  for (int k = 1; k < 30; ++k)
    if (b.pungs(k) && b.pungs(k + 1) && b.pungs(k + 2)) {
      mahjong_add_yaku(r, YAKU_SANRENKO, 2, 1);
      break;
    }
  if (concealed_pungs(r) == 3) mahjong_add_yaku(r, YAKU_SANANKO, 2, 1);
  if (closed) {
    // Runs with exactly one identical concealed run beside them: three alike count for nothing.
    int twins = 0;
    for (int i = 0; i < 4; ++i) {
      if (!r.set_type[i]) continue;
      int alike = 0;
      for (int j = 0; j < 4; ++j)
        alike += j != i && r.set_type[j] && r.set_kind[j] == r.set_kind[i] && r.set_origin[j] % 99 <= 0;
      twins += alike == 1;
    }
    if (twins == 4) mahjong_add_yaku(r, YAKU_RYANPEIKO, 3, 1);
    if (twins == 2) mahjong_add_yaku(r, YAKU_IIPEIKO, 1, 1);
  }
  if (all_pungs(r)) mahjong_add_yaku(r, YAKU_TOITOI, 2, 1);
  for (int s = 0; s <= 20; s += 10)
    if (b.runs(s + 1) && b.runs(s + 4) && b.runs(s + 7)) {
      mahjong_add_yaku(r, YAKU_ITTSU, closed ? 2 : 1, 1);
      break;
    }
  int pc = outside_class[r.pair_kind];
  bool outside = pc == 2 || pc == 3, honour = pc == 3;
  for (int i = 0; i < 4 && outside; ++i) {
    int sc = at(outside_class, r.set_kind[i]);
    outside = sc != 0 && (sc != 1 || r.set_type[i]);
    honour |= sc == 3;
  }
  if (outside) {
    if (honour)
      mahjong_add_yaku(r, YAKU_CHANTA, closed ? 2 : 1, 1);
    else
      mahjong_add_yaku(r, YAKU_JUNCHAN, closed ? 3 : 2, 1);
  }
  if (f.term_honours == 14) {
    // All terminals and honours holds the outside hand in it: the outside line goes.
    for (int i = 0; i < YAKU_LINES; ++i)
      if (r.yaku[i].no == YAKU_CHANTA) {
        r.han -= r.yaku[i].han;
        std::copy(r.yaku + i + 1, r.yaku + YAKU_LINES, r.yaku + i);
        r.yaku[YAKU_LINES - 1] = {YAKU_NONE, 0};
        break;
      }
    mahjong_add_yaku(r, YAKU_HONROTO, 2, 1);
  }
  if (f.simples == 14 && tanyao_allowed(e, closed)) mahjong_add_yaku(r, YAKU_TANYAO, 1, 1);
  if (e->last_tile) mahjong_add_yaku(r, YAKU_HAITEI, 1, 1);
  if (e->tsumo && e->kan_draw) mahjong_add_yaku(r, YAKU_RINSHAN, 1, 1);
  if (e->tsumo && closed) mahjong_add_yaku(r, YAKU_TSUMO, 1, 1);
  // Value honours: a double wind once, else the smaller wind first; then the dragons.
  int seat = e->seat_wind, round = e->round_wind;
  bool winds = seat >= 0 && seat <= 3 && round >= 0 && round <= 3;  // out of range: no value winds
  if (winds && seat == round) {
    if (b.pungs(KIND_EAST + seat)) mahjong_add_yaku(r, int16_t(YAKU_DOUBLE_EAST + seat), 2, 1);
  } else if (winds) {
    for (int wind : {std::min(seat, round), std::max(seat, round)})
      if (b.pungs(KIND_EAST + wind)) mahjong_add_yaku(r, int16_t(YAKU_EAST + wind), 1, 1);
  }
  for (int d = 0; d < 3; ++d)
    if (b.pungs(KIND_WHITE + d)) mahjong_add_yaku(r, int16_t(YAKU_WHITE + d), 1, 1);
  dora_yaku(f, r);
}

void seven_pairs_yaku(const hand_evaluation* e, const hand_facts& f, hand_reading& r) {
  // The blessings of heaven and earth take any winning shape, seven pairs too.
  blessings(e, r);
  if (f.honours == 14) mahjong_add_yaku(r, YAKU_TSUISO, YAKUMAN, 1);
  if (r.yaku_han) return;
  riichi_yaku(e, r);
  flush_yaku(f, true, r);
  if (f.term_honours == 14) mahjong_add_yaku(r, YAKU_HONROTO, 2, 1);
  mahjong_add_yaku(r, YAKU_CHITOITSU, 2, 1);
  if (e->last_tile) mahjong_add_yaku(r, YAKU_HAITEI, 1, 1);
  if (f.simples == 14) mahjong_add_yaku(r, YAKU_TANYAO, 1, 1);
  if (e->tsumo) mahjong_add_yaku(r, YAKU_TSUMO, 1, 1);
  dora_yaku(f, r);
}

void reading_yaku(const hand_evaluation* e, const hand_facts& f, hand_reading& r) {
  for (yaku_entry& y : r.yaku) y = {YAKU_NONE, 0};
  r.han = r.yaku_han = 0;
  if (r.shape == SHAPE_ORPHANS) {
    blessings(e, r);
    mahjong_add_yaku(r, YAKU_KOKUSHI, YAKUMAN, 1);
  } else if (r.shape == SHAPE_SEVEN_PAIRS) {
    seven_pairs_yaku(e, f, r);
  } else {
    set_bits b(r);
    yakuman_standard(e, f, b, r);
    if (r.yaku_han == 0) ordinary_standard(e, f, b, r);
  }
  if (r.yaku_han == 0)
    r.fu = -1;  // dora alone make no win
  else if (r.yaku_han == 1 && r.fu == 20)
    r.fu = 30;
}

// ---- Points -----------------------------------------------------------------------------------

int hundreds_up(int x) { return (x + 99) / 100; }

int limit_unit(int han) {
  if (han >= 300) return 480;
  if (han >= 200) return 320;
  if (han >= 13) return 160;
  if (han >= 11) return 120;
  if (han >= 8) return 80;
  return 60;
}

}  // namespace

bool mahjong_is_closed(const hand_reading& r) {
  for (int i = 0; i < 4; ++i)
    if (r.set_origin[i] % 99 > 0) return false;
  return true;
}

int mahjong_count_runs(const hand_reading& r, int kind, int any_origin) { return count_sets(r, kind, 1, any_origin); }
int mahjong_count_pungs(const hand_reading& r, int kind, int any_origin) { return count_sets(r, kind, 0, any_origin); }

void mahjong_add_yaku(hand_reading& r, int16_t no, int32_t han, int counts_as_yaku) {
  int i = 0;
  while (i < YAKU_LINES && r.yaku[i].no != YAKU_NONE) ++i;
  if (i < YAKU_LINES) {
    r.yaku[i] = {no, han};
  } else {
    r.yaku[YAKU_LINES - 1].no = YAKU_OTHER;
    r.yaku[YAKU_LINES - 1].han += han;
  }
  r.han += han;
  if (counts_as_yaku) r.yaku_han += han;
}

int mahjong_win_shape(const mahjong_tile* tiles, const int32_t* melds) {
  kind_counts c;
  count_concealed(tiles, melds, c);
  return win_shape_of_counts(c);
}

void mahjong_count_fu(hand_evaluation* e) {
  build_readings(e);
  for (hand_reading* r = mahjong_readings; r->shape != SHAPE_END; ++r) r->fu = reading_fu(e, *r);
}

int mahjong_score_points(hand_evaluation* e) {
  e->fu = e->han = e->ron = e->tsumo_dealer = e->tsumo_other = 0;
  for (yaku_entry& y : e->yaku) y = {YAKU_NONE, 0};
  bool taken = false;
  bool dealer = e->seat_wind == 0;
  for (const hand_reading* r = mahjong_readings; r->shape != SHAPE_END; ++r) {
    int fu = r->fu == 25 ? 25 : (r->fu + 9) / 10 * 10;
    if (fu <= 0) continue;  // no yaku: a later reading may still have some
    int ron, share_dealer, share_other;
    if (r->han >= 6) {
      int unit = limit_unit(r->han);
      ron = (dealer ? 3 : 2) * unit;
      share_dealer = unit;
      share_other = dealer ? unit : unit / 2;
    } else {
      int base = std::min(fu * han_multiplier[std::max(r->han, 0)], 2000);
      ron = hundreds_up((dealer ? 6 : 4) * base);
      share_dealer = hundreds_up(2 * base);
      share_other = dealer ? share_dealer : hundreds_up(base);
    }
    if (ron >= e->ron && r->han >= e->han) {
      taken = true;
      e->fu = fu, e->han = r->han, e->ron = ron, e->tsumo_dealer = share_dealer, e->tsumo_other = share_other;
      std::copy(r->yaku, r->yaku + YAKU_LINES, e->yaku);
    }
  }
  return taken ? e->ron : 0;
}

int mahjong_evaluate_yaku(hand_evaluation* e) {
  mahjong_count_fu(e);
  hand_facts f = facts_of(e);
  for (hand_reading* r = mahjong_readings; r->shape != SHAPE_END; ++r) reading_yaku(e, f, *r);
  return mahjong_score_points(e);
}

int mahjong_score_player(int player) { return mahjong_score_player_into(&mahjong_eval, player); }

int mahjong_score_player_into(hand_evaluation* record, int player) {
  hand_evaluation& e = *record;
  const mahjong_state& m = mahjong;
  e.tsumo = m.is_tumo;
  e.round_wind = m.ba_kaze;
  e.kan_draw = m.is_kan_cyokugo;
  e.first_turn = m.is_tenho;
  e.last_tile = m.is_haitei;
  if (player == MAHJONG_HUMAN) {
    e.seat_wind = m.my_kaze, e.ippatsu = m.my_reach_cyokugo, e.riichi = m.my_is_reach;
    memcpy(e.tiles, m.my_pre_te, sizeof e.tiles);
    memcpy(e.melds, m.my_naki_flag, sizeof e.melds);
    memcpy(e.from, m.my_naki_flag2, sizeof e.from);
  } else if (player >= 0 && player < MAHJONG_COMS) {
    e.seat_wind = m.com_kaze[player], e.ippatsu = m.com_reach_cyokugo[player], e.riichi = m.com_is_reach[player];
    memcpy(e.tiles, m.com_pre_te[player], sizeof e.tiles);
    memcpy(e.melds, m.com_naki_flag[player], sizeof e.melds);
    memcpy(e.from, m.com_naki_flag2[player], sizeof e.from);
  } else {
    mahjong_readings[0].shape = SHAPE_END;  // no such player: nothing scores
    return mahjong_score_points(&e);
  }
  e.rules_on = m.con_en, e.kuitan = m.kuitan, e.tumopin = m.tumopin, e.akau = m.akau, e.players = m.maj_mode;
  // Without kan dora only the first indicator counts, and of the ura-dora only the first.
  bool one_dora = m.con_en && !m.kandora;
  int n = 0;
  for (int i = 0; i < 12 && m.dora[i] != -1; ++i) e.dora[n++] = m.dora[i];
  if (one_dora) n = std::min(n, 1);
  if (e.riichi && (!m.con_en || m.uradora)) {
    for (int i = 0; i < 12 && m.dora_ura[i] != -1; ++i) e.dora[n++] = m.dora_ura[i];
    if (one_dora) n = std::min(n, 2);
  }
  e.dora[n] = -1;
  return mahjong_evaluate_yaku(&e);
}

int mahjong_hand_waits(hand_evaluation* e) {
  mahjong_tile drawn = e->tiles[13];
  e->tiles[13] = 0;
  kind_counts c;
  count_concealed(e->tiles, e->melds, c);
  int n = 0;
  for (int k = 0; k < MAHJONG_KINDS && n < MAHJONG_SLOTS; ++k) {
    if (!mahjong_valid_kind[k] || c.n[k] == 4) continue;
    c.n[k]++;
    if (win_shape_of_counts(c)) waits[n++] = k;
    c.n[k]--;
  }
  std::fill(waits + n, waits + MAHJONG_SLOTS + 1, -1);
  e->tiles[13] = drawn;
  e->waits = waits;
  return n;
}

const int32_t* mahjong_waits_list() { return waits; }

void mahjong_export_result() {
  const hand_evaluation& e = mahjong_eval;
  mahjong_state& m = mahjong;
  for (int i = 0; i < YAKU_LINES; ++i) {
    m.yaku_no[i] = -1;
    if (e.yaku[i].no == YAKU_NONE) break;
    m.yaku_no[i] = e.yaku[i].no;
    m.yaku_han[i] = e.yaku[i].han;
  }
  m.yaku_fu_total = e.fu;
  m.yaku_han_total = e.han;
  m.yaku_score = e.ron;
  m.yaku_score_oya = e.tsumo_dealer;
  m.yaku_score_ko = e.tsumo_other;
  m.yaku_is_tumo = e.tsumo;
  m.yaku_is_reach = e.riichi;
  m.yaku_my_kaze = e.seat_wind;
  int u = e.seat_wind == 0 ? e.ron / 3 : e.ron / 2;
  static constexpr int bounds[7] = {40, 60, 80, 120, 160, 320, 480};
  m.yaku_man_total = int32_t(std::upper_bound(bounds, bounds + 7, u) - bounds);
}

void mahjong_eval_reset() {
  mahjong_eval = hand_evaluation{};
  for (hand_reading& r : mahjong_readings) r = hand_reading{};
  mahjong_readings[0].shape = SHAPE_END;
  std::fill(waits, waits + MAHJONG_SLOTS + 1, -1);
}
