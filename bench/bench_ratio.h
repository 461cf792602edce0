// Shared by the benchmarks: every benchmark reports its work as items (pixels, lookups, loop
// turns), and after the run a table gives each figure in millions of items a second and as ratios
// against baselines measured in the same run (memcpy of the same bytes, a plain container) and a
// peer (another library doing the same work), both optional.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

struct bench_ratio {
  std::string name, baseline, peer;  // baseline and peer may be empty
};

// How the table speaks of its items and of what the ratios compare.
struct bench_labels {
  const char* item = "pixel";
  const char* ratios = "x baseline: the kernel's rate over the baseline's (memcpy of the same pixel bytes);\n"
                       "x peer: over the peer library's rate for the same operation (above 1 = faster).";
};

class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  ratio_reporter(std::vector<bench_ratio> table, bench_labels labels)
      : table_(std::move(table)), labels_(labels) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (!run.aggregate_name.empty() || it == run.counters.end()) continue;
      std::string name = run.benchmark_name();
      size_t suffix = name.find("/real_time");
      if (suffix != std::string::npos) name.erase(suffix);
      rates_[name] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::string unit = std::string("M") + labels_.item + "/s";
    printf("\n%-34s %10s %12s %12s\n", "benchmark", unit.c_str(), "x baseline", "x peer");
    for (const bench_ratio& r : table_) {
      double v = rate(r.name), b = r.baseline.empty() ? 0 : rate(r.baseline), p = r.peer.empty() ? 0 : rate(r.peer);
      if (v <= 0) continue;
      printf("%-34s %10.0f", r.name.c_str(), v / 1e6);
      if (b > 0)
        printf(" %12.2f", v / b);
      else
        printf(" %12s", "-");
      if (p > 0)
        printf(" %12.2f  (%s)\n", v / p, r.peer.c_str());
      else
        printf("\n");
    }
    printf("%s\n", labels_.ratios);
  }

 private:
  double rate(const std::string& name) const {
    auto it = rates_.find(name);
    return it == rates_.end() ? 0 : it->second;
  }
  std::vector<bench_ratio> table_;
  bench_labels labels_;
  std::map<std::string, double> rates_;
};

// Runs the registered benchmarks and prints the table.
inline int bench_main(int argc, char** argv, std::vector<bench_ratio> table, bench_labels labels = {}) {
  benchmark::Initialize(&argc, argv);
  ratio_reporter reporter(std::move(table), labels);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// Keeps each run's adjusted real time (in the unit it was registered with) by name, without the
// "/real_time" suffix, for the tables that benchmarks print after the run.
class time_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.aggregate_name.empty()) continue;
      std::string name = run.benchmark_name();
      if (size_t cut = name.find("/real_time"); cut != std::string::npos) name.erase(cut);
      ms_[name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

 protected:
  std::map<std::string, double> ms_;
};

// A game folder of its own for the process, holding an environment file of an 800 x 600 game.
inline const std::string& bench_game_folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/vaskbench-XXXXXX";
    std::string f = mkdtemp(name);
    FILE* env = fopen((f + "/vaskel.env").c_str(), "w");
    fputs("CLIENT_WIDTH\t800\nCLIENT_HEIGHT\t600\n", env);
    fclose(env);
    return f;
  }();
  return folder;
}

// memcpy of one 800 x 600 24-bit frame: the baseline of the frame figures.
inline void bench_memcpy_frame(benchmark::State& state) {
  std::vector<unsigned char> a(800 * 600 * 3, 1), b(a.size());
  for (auto _ : state) {
    memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
}
