// Saving and loading a snapshot of 10,000 globals (ints, strings and arrays) with a full message
// log: the snapshot and the file written through a temporary file and fsync, and the file read and
// checked into its staging copy. Items are the file's bytes; the baseline copies as many bytes with
// memcpy in the same run.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/hash.h"
#include "bench_ratio.h"
#include "save/savefile.h"
#include "save/value_blob.h"
#include "save/vm_exit.h"
#include "shell/devtools.h"
#include "text/message_log.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/variables.h"

namespace {

constexpr int GLOBALS = 10000;

struct save_fixture {
  std::string folder, path;
  size_t bytes = 0;
  save_fixture() {
    char pattern[] = "/tmp/vaskbench-XXXXXX";
    folder = mkdtemp(pattern);
    save_base_folder_set(folder.c_str());
    thread_switch(thread_create(0));
    var_table_init(&var_global, 1024);
    for (int i = 0; i < GLOBALS; ++i) {
      value_cell c = int_cell(i);
      if (i % 4 == 1) c = string_cell(string_block_new(("a global string " + std::to_string(i)).c_str()));
      if (i % 4 == 2) c = array_cell(array_block_new(TYPE_INT_ARRAY, 1, 1, 16));
      c.hash = crc32_string(("@v" + std::to_string(i) + "@GLOBAL").c_str());
      c.scope = SCOPE_GLOBAL;
      *var_table_append(&var_global) = c;
    }
    for (int i = 0; i < 4000; ++i) message_log_append("a line of the message log", 25);
    snapshot_reset();
    const builtin_entry* e = builtin_find(0xF8004993);
    for (const char* unlock : {"save_unlock", "snapshot_unlock"})
      for (const builtin_entry& b : builtin_entries())
        if (strcmp(b.name, unlock) == 0) builtin_call(&b, b.hash, 0, 1);
    builtin_call(e, e->hash, 0, 1);
    path = folder + "\\slot.sav";
    bytes = savefile_bytes().size();
  }
  ~save_fixture() {
    vm_lifecycle_reset();
    threads_destroy_all();
    var_tables_free();
    std::string command = "rm -rf " + folder;
    if (system(command.c_str()) != 0) perror("rm");
  }
};

save_fixture& fixture() {
  static save_fixture f;
  return f;
}

void BM_save(benchmark::State& state) {
  save_fixture& f = fixture();
  const builtin_entry* snapshot = builtin_find(0xF8004993);
  for (auto _ : state) {
    builtin_call(snapshot, snapshot->hash, 0, 1);
    if (!savefile_write(f.path.c_str())) state.SkipWithError("not written");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
  state.counters["file_bytes"] = double(f.bytes);
}
BENCHMARK(BM_save)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_load(benchmark::State& state) {
  save_fixture& f = fixture();
  savefile_write(f.path.c_str());
  std::string bytes;
  for (auto _ : state) {
    staged_save staged;
    if (!player_file_read(f.path, &bytes) ||
        !savefile_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &staged))
      state.SkipWithError("not read");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}
BENCHMARK(BM_load)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_memcpy(benchmark::State& state) {
  save_fixture& f = fixture();
  std::vector<char> from(f.bytes, 1), to(f.bytes);
  for (auto _ : state) {
    memcpy(to.data(), from.data(), f.bytes);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}
BENCHMARK(BM_memcpy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_main(argc, argv, {{"BM_save", "BM_memcpy", ""}, {"BM_load", "BM_memcpy", ""}},
                    {"byte", "x baseline: the file's bytes per second over memcpy of as many bytes."});
}
