// Whole four-player hands a second on one core, played through the dispatcher on the game's script
// variables: wall, seats, dora, deal, the human's and the computers' luck draws, win tests, calls
// on every discard and rigged hands, until a win or the last draw. The baseline is the bridge
// alone: as many loads and stores of the mahjong state as the hands made built-in calls, a hand's
// worth per item, in the same run.
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/hash.h"
#include "base/random.h"
#include "bench_host.h"
#include "mahjong/state.h"
#include "platform/headless/headless.h"
#include "vm/builtin_table.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

enum : uint32_t {
  BUILD_WALL = 0xFAF17B1C, SET_SEATS = 0x1F5A14D4, ADD_DORA = 0x2E99E98C, MY_DEAL = 0xF5E5BE93, HUMAN_DRAW = 0xD583668C,
  CAN_WIN = 0x5C9761C5, COM_DRAW = 0xF0FD9886, COM_CAN_WIN = 0xAEFC64DA, RIG_HAND = 0xBEF4EDFA,
  CALL_CHANCE = 0x45E32EA6, COM_PON = 0xCA5C98F2, COM_CHI = 0xFB7FB744, SORT_HAND = 0xEBB5886C
};

int64_t calls_made = 0, hands_played = 0;

int32_t call(uint32_t hash, std::initializer_list<int32_t> args = {}) {
  ++calls_made;
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) push_int(*it);
  builtin_call(builtin_find(hash), hash, int16_t(args.size()), 0);
  int32_t result = stack_top()->i;
  stack_pop();
  return result;
}

// The driver's own lookups, kept once found (no variable is added while hands are played).
value_cell* var(const char* name) {
  static std::map<const char*, value_cell*> found;
  value_cell*& c = found[name];
  if (!c) {
    value_cell k = int_cell(0, crc32_string(name));
    k.scope = SCOPE_GLOBAL;
    c = var_find(&k, nullptr);
  }
  return c;
}
int32_t* numbers(const char* name) { return &array_numbers(var(name)->a)->i; }
int32_t& scalar(const char* name) { return var(name)->i; }

// A VM with every variable the bridge names (found from what it reports missing).
void table_setup() {
  static bool done = false;
  if (done) return;
  done = true;
  headless_platform& host = bench_host();
  engine_srand(1);
  thread_switch(thread_create(0));
  mahjong_vars_load(), mahjong_vars_store();
  std::set<std::string> names;
  for (const auto& box : host.boxes) names.insert(box.text.substr(5, box.text.find(']') - 5));
  for (const std::string& name : names) {
    bool array = name.find("#@") != std::string::npos;
    value_cell c = array ? array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 120)) : int_cell(0);
    c.hash = crc32_string(name.c_str()), c.scope = name[0] == '@' ? SCOPE_GLOBAL : SCOPE_ETERNAL;
    var_assign(&c, nullptr);
  }
  host.boxes.clear();
}

// Computer a's target: four runs or triplets and a pair of kinds the wall still holds.
void target(std::mt19937& rng, int a) {
  int used[MAHJONG_KINDS] = {};
  for (int set = 0, slot = 0; set < 5; ++set) {
    int k;
    do k = 1 + int(rng() % 37); while (!kind_is_valid(k) || used[k] > 1 || (k < 30 && k % 10 > 7 && set < 4));
    bool run = set < 4 && k < 30 && k % 10 <= 7 && rng() % 2;
    for (int i = 0; i < (set < 4 ? 3 : 2); ++i, ++slot) {
      numbers("@M_com_end#@GLOBAL")[14 * a + slot] = k + (run ? i : 0), ++used[k + (run ? i : 0)];
      numbers("@M_com_endnaki#@GLOBAL")[14 * a + slot] = set == 4 ? 0 : run ? 1 + i : MELD_PON;
    }
  }
}

void play_hand(std::mt19937& rng) {
  for (const char* list : {"@M_com_sute#@GLOBAL", "@M_my_sute#@GLOBAL", "@M_dora#@GLOBAL", "@M_dora_ura#@GLOBAL"})
    std::fill_n(numbers(list), 120, -1);
  for (const char* list : {"@M_com_is_tenpai#@GLOBAL", "@M_com_naki_flag#@GLOBAL", "@M_com_endnaki2#@GLOBAL"})
    std::fill_n(numbers(list), 120, 0);
  scalar("@M_maj_mode@GLOBAL") = 4, scalar("@M_my_luck@GLOBAL") = 20, scalar("@M_com_yuusen@GLOBAL") = -1;
  for (int a = 0; a < 3; ++a) {
    numbers("@com_luck#@GLOBAL")[a] = 40, numbers("@M_com_do_naki#@GLOBAL")[a] = 1, numbers("@com_lvl#@GLOBAL")[a] = 24;
    target(rng, a);
  }
  call(BUILD_WALL), call(SET_SEATS), call(ADD_DORA), call(MY_DEAL);
  int discards[4] = {};
  for (int turn = 0; scalar("@M_pi_tumo_nokori@GLOBAL")-- > 0; turn = (turn + 1) % 4) {
    int32_t t;
    if (turn == 3) {
      t = call(HUMAN_DRAW);
      numbers("@M_my_pre_te#@GLOBAL")[13] = t;
      if (call(CAN_WIN)) return;
      std::swap(numbers("@M_my_pre_te#@GLOBAL")[rng() % 14], numbers("@M_my_pre_te#@GLOBAL")[13]);
      t = numbers("@M_my_pre_te#@GLOBAL")[13], numbers("@M_my_pre_te#@GLOBAL")[13] = MAHJONG_FILLER;
      call(SORT_HAND, {3});
      numbers("@M_my_sute#@GLOBAL")[discards[3]++] = t;
    } else {
      t = call(COM_DRAW, {turn});
      bool tenpai = numbers("@M_com_is_tenpai#@GLOBAL")[turn] != 0;
      numbers("@M_com_pre_te#@GLOBAL")[14 * turn + 13] = t;
      if (tenpai && call(COM_CAN_WIN, {turn})) return;
      numbers("@M_com_pre_te#@GLOBAL")[14 * turn + 13] = MAHJONG_FILLER;
      numbers("@M_com_sute#@GLOBAL")[40 * turn + discards[turn]++] = t;
      if (!tenpai && rng() % 6 == 0) numbers("@M_com_is_tenpai#@GLOBAL")[turn] = call(RIG_HAND, {turn, t});
    }
    if (t < 0) return;
    scalar("@M_last_sute@GLOBAL") = t, scalar("@M_last_sute_pl@GLOBAL") = turn;
    for (int a = 0; a < 3; ++a)
      if (a != turn && call(CALL_CHANCE, {a}) < 13 && (call(COM_PON, {a}) || call(COM_CHI, {a}))) break;
  }
}

void BM_four_player_hands(benchmark::State& state) {
  table_setup();
  std::mt19937 rng(7);
  for (auto _ : state) play_hand(rng), ++hands_played;
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["calls_per_hand"] = double(calls_made) / double(hands_played);
}
BENCHMARK(BM_four_player_hands);

void BM_bridge_alone(benchmark::State& state) {
  table_setup();
  int64_t per_hand = hands_played ? calls_made / hands_played : 300;
  for (auto _ : state)
    for (int64_t i = 0; i < per_hand; ++i) mahjong_vars_load(), mahjong_vars_store();
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_bridge_alone);

}  // namespace

int main(int argc, char** argv) {
  bench_labels labels;
  labels.item = "hand";
  labels.ratios = "x baseline: whole hands a second over the bridge's loads and stores alone, as many a hand as the\n"
                  "hands made built-in calls, in this run (1 would mean the table's own work costs nothing).";
  return bench_main(argc, argv, {{"BM_four_player_hands", "BM_bridge_alone", ""}}, labels);
}
