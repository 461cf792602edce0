// Built-in lookup and dispatch. Every built-in call looks its hash up among the 479 constants:
// the table's binary search is measured against std::unordered_map holding the same rows (the
// peer), and a whole call (lookup, handler, stack tidy) against the bare lookup. Hashes are
// looked up in a scattered order, as a script's calls come.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_ratio.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/opcodes.h"
#include "vm/thread.h"
#include "vm/variables.h"

namespace {

std::vector<uint32_t> scattered_hashes() {
  std::vector<uint32_t> hashes;
  auto rows = builtin_entries();
  for (size_t i = 0; i < rows.size(); ++i) hashes.push_back(rows[(i * 211) % rows.size()].hash);
  return hashes;
}

void BM_TableLookup(benchmark::State& state) {
  std::vector<uint32_t> hashes = scattered_hashes();
  for (auto _ : state)
    for (uint32_t h : hashes) benchmark::DoNotOptimize(builtin_find(h));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * hashes.size()));
}
BENCHMARK(BM_TableLookup);

void BM_UnorderedMapLookup(benchmark::State& state) {
  std::vector<uint32_t> hashes = scattered_hashes();
  std::unordered_map<uint32_t, const builtin_entry*> map;
  for (const builtin_entry& e : builtin_entries()) map.emplace(e.hash, &e);
  for (auto _ : state)
    for (uint32_t h : hashes) benchmark::DoNotOptimize(map.find(h));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * hashes.size()));
}
BENCHMARK(BM_UnorderedMapLookup);

// thread_exists(0) kept and popped again: lookup, argument, handler, tidy.
void BM_DispatchPlainCall(benchmark::State& state) {
  thread_switch(thread_create(0));
  uint8_t code[8];
  uint16_t opcode = OP_BUILTIN;
  uint32_t hash = 0x9FB53FBE;
  int16_t count = 1;
  memcpy(code, &opcode, 2), memcpy(code + 2, &hash, 4), memcpy(code + 6, &count, 2);
  for (auto _ : state) {
    push_int(0);
    vm_frame->code = code + 2;
    builtin_dispatch(0);
    stack_pop();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  threads_destroy_all();
  thread_switch(nullptr);
}
BENCHMARK(BM_DispatchPlainCall);

}  // namespace

int main(int argc, char** argv) {
  return bench_main(argc, argv,
                    {{"BM_TableLookup", "BM_UnorderedMapLookup", ""}, {"BM_DispatchPlainCall", "BM_TableLookup", ""}},
                    {"lookup",
                     "x baseline: the lookup's rate over std::unordered_map's over the same hashes; for the whole\n"
                     "plain call, over the table lookup alone (0.2 means a call costs five lookups)."});
}
