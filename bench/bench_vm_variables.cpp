// Global variable lookup among 10,000 globals: through a slot hint that the first lookup patched,
// against a cold lookup (no hint: a linear search). Each iteration looks up every variable once,
// in a scattered order.

#include <cstring>
#include <vector>

#include "bench_ratio.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

constexpr uint32_t GLOBALS = 10000;

struct table_fixture {
  std::vector<value_cell> keys;
  std::vector<uint8_t> hints;  // one 16-bit slot operand per key, as in code
  table_fixture() {
    var_table_init(&var_global, 1024);
    for (uint32_t i = 0; i < GLOBALS; ++i) {
      value_cell c = int_cell(static_cast<int32_t>(i), 0x9E3779B9u * (i + 1));
      c.scope = SCOPE_GLOBAL;
      var_assign(&c, nullptr);
    }
    for (uint32_t i = 0; i < GLOBALS; ++i) {
      value_cell k = int_cell(0, 0x9E3779B9u * ((i * 7919) % GLOBALS + 1));
      k.scope = SCOPE_GLOBAL;
      keys.push_back(k);
    }
    hints.assign(2 * GLOBALS, 0);
  }
  ~table_fixture() { var_table_free(&var_global); }
};

void BM_lookup_hinted(benchmark::State& state) {
  table_fixture f;
  for (uint32_t i = 0; i < GLOBALS; ++i) var_find(&f.keys[i], &f.hints[2 * i]);  // patch the hints
  for (auto _ : state)
    for (uint32_t i = 0; i < GLOBALS; ++i) benchmark::DoNotOptimize(var_find(&f.keys[i], &f.hints[2 * i]));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * GLOBALS);
}
BENCHMARK(BM_lookup_hinted);

void BM_lookup_cold(benchmark::State& state) {
  table_fixture f;
  for (auto _ : state)
    for (uint32_t i = 0; i < GLOBALS; ++i) benchmark::DoNotOptimize(var_find(&f.keys[i], nullptr));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * GLOBALS);
}
BENCHMARK(BM_lookup_cold);

}  // namespace

int main(int argc, char** argv) {
  return bench_main(argc, argv, {{"BM_lookup_hinted", "BM_lookup_cold", ""}},
                    {"lookup", "x baseline: hinted lookups over cold ones (a linear search), above 1 = faster."});
}
