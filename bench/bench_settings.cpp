// Settings reads cost memory reads, not file accesses: text drawing and the sound worker read some
// settings for every character or buffer. Figures are ratios against one stat() of the settings
// key's file, measured in the same run: a read that touched the file could not be cheaper than that.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/settings.h"

static std::string key_file;

static void BM_StatKeyFile(benchmark::State& state) {
  struct stat st;
  for (auto _ : state) benchmark::DoNotOptimize(stat(key_file.c_str(), &st));
}
BENCHMARK(BM_StatKeyFile);

static void BM_SettingGetter(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(setting_get(SETTING_MOJI_SPEED));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SettingGetter);

static void BM_SoundGate(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(music_volume_effective());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SoundGate);

static void BM_EnvironmentKey(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kinsoku_type());
}
BENCHMARK(BM_EnvironmentKey);

// A registry read (the glyph switches are read this way at every glyph drawn): kept keys, no file.
static void BM_RegistryRead(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(reg_get_int(reg_global_name(), reg_local_name(), "FontShadow", 1));
}
BENCHMARK(BM_RegistryRead);

// What a read from the file would cost: the key file parsed again.
static void BM_RegistryReadFromFile(benchmark::State& state) {
  for (auto _ : state) {
    reg_store_reset();
    benchmark::DoNotOptimize(reg_get_int(reg_global_name(), reg_local_name(), "FontShadow", 1));
  }
}
BENCHMARK(BM_RegistryReadFromFile);

// Console output as usual, and the times kept for the ratios.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> times;
};

int main(int argc, char** argv) {
  char folder[] = "/tmp/vaskbench-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  setenv("XDG_CONFIG_HOME", folder, 1);
  reg_store_reset();
  // A key file of realistic size: the settings and the window state.
  reg_set_int(reg_global_name(), reg_local_name(), "FontShadow", 0);
  config_load();
  for (int id = 0; id < SETTING_COUNT; ++id) setting_write(setting_id(id));
  setting_set(SETTING_MOJI_SPEED, 2500);
  key_file = reg_store_folder() + "/VASKEL_SYSTEM/VASKEL_RUNTIME.ini";

  benchmark::Initialize(&argc, argv);
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Proof by removal: with the store's files gone, the getters still give the stored values.
  std::filesystem::remove_all(folder);
  reg_store_reset();
  bool from_memory = setting_get(SETTING_MOJI_SPEED) == 2500;
  printf("\nstore files removed: MojiSpeed still reads %d (%s)\n", setting_get(SETTING_MOJI_SPEED),
         from_memory ? "memory only" : "FILE ACCESS");

  double baseline = reporter.times["BM_StatKeyFile"];
  if (baseline > 0) {
    printf("cost as a fraction of one stat() of the key file:\n");
    for (const char* name : {"BM_SettingGetter", "BM_SoundGate", "BM_EnvironmentKey", "BM_RegistryRead",
                             "BM_RegistryReadFromFile"})
      if (reporter.times.count(name)) printf("  %-26s %8.4f\n", name, reporter.times[name] / baseline);
  }
  return from_memory ? 0 : 1;
}
