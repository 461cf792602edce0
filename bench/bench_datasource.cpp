// Game-file lookups and folder mounts, each beside a baseline of the same work done raw:
//   folder index (50,000 files): data_file_open+fclose against fopen+fclose of the host path;
//   V3 archive (50,000 entries): data_file_size against hashing the name alone;
//   mount of a 10,000-file folder: data_source_add against listing the folder with readdir.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "archive_writer.h"
#include "bench_ratio.h"
#include "base/datasource.h"
#include "base/hash.h"

namespace fs = std::filesystem;

// The run's files (some 240 MB of folder entries) live in one temporary folder, removed at the end.
static const std::string& scratch() {
  static struct folder {
    std::string path;
    folder() {
      std::string pattern = (fs::temp_directory_path() / "vaskbench-XXXXXX").string();
      if (!mkdtemp(pattern.data())) abort();
      path = pattern;
    }
    ~folder() { fs::remove_all(path); }
  } made;
  return made.path;
}

static std::string make_folder(const std::string& name, int files) {
  std::string path = scratch() + "/" + name;
  if (fs::exists(path + "/done")) return path;
  for (int i = 0; i < files; ++i) {
    std::string sub = path + "/data/d" + std::to_string(i % 50);
    fs::create_directories(sub);
    FILE* f = fopen((sub + "/file" + std::to_string(i) + ".png").c_str(), "wb");
    fputs("x", f);
    fclose(f);
  }
  fclose(fopen((path + "/done").c_str(), "wb"));
  return path;
}

static void mount_in(const std::string& base, const char* name) {
  data_sources_clear();
  data_base_folder_set(base.c_str());
  data_source_add(name, 0);
}

static void BM_FolderLookupOpen(benchmark::State& state) {
  std::string base = make_folder("index50k", 50000);
  mount_in(base, "data");
  int i = 0;
  for (auto _ : state) {
    std::string name = "file" + std::to_string((i++ * 7919) % 50000) + ".png";
    FILE* f = data_file_open(name.c_str(), "rb");
    benchmark::DoNotOptimize(f);
    fclose(f);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FolderLookupOpen);

static void BM_FolderBaselineFopen(benchmark::State& state) {
  std::string base = make_folder("index50k", 50000);
  int i = 0;
  for (auto _ : state) {
    int n = (i++ * 7919) % 50000;
    std::string path = base + "/data/d" + std::to_string(n % 50) + "/file" + std::to_string(n) + ".png";
    FILE* f = fopen(path.c_str(), "rb");
    benchmark::DoNotOptimize(f);
    fclose(f);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FolderBaselineFopen);

static void BM_ArchiveLookupSize(benchmark::State& state) {
  std::string base = scratch() + "/arc50k";
  fs::create_directories(base);
  std::vector<archive_member> members;
  for (int i = 0; i < 50000; ++i) members.push_back({"file" + std::to_string(i) + ".png", "x"});
  archive_write(base + "/data.arc", archive_version::v3, members);
  mount_in(base, "data");
  int i = 0;
  for (auto _ : state) {
    std::string name = "file" + std::to_string((i++ * 7919) % 50000) + ".png";
    benchmark::DoNotOptimize(data_file_size(name.c_str()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ArchiveLookupSize);

static void BM_ArchiveBaselineHashOnly(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    std::string name = "file" + std::to_string((i++ * 7919) % 50000) + ".png";
    benchmark::DoNotOptimize(crc64_string(name.c_str()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ArchiveBaselineHashOnly);

static void BM_MountFolder10k(benchmark::State& state) {
  std::string base = make_folder("mount10k", 10000);
  for (auto _ : state) mount_in(base, "data");
  state.SetItemsProcessed(state.iterations() * 10000);
  data_sources_clear();
}
BENCHMARK(BM_MountFolder10k)->Unit(benchmark::kMillisecond);

static void list_tree(const std::string& path, int& count) {
  DIR* d = opendir(path.c_str());
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string child = path + "/" + e->d_name;
    struct stat st;
    stat(child.c_str(), &st);
    if (S_ISDIR(st.st_mode))
      list_tree(child, count);
    else
      ++count;
  }
  closedir(d);
}

static void BM_MountBaselineReaddir(benchmark::State& state) {
  std::string base = make_folder("mount10k", 10000);
  for (auto _ : state) {
    int count = 0;
    list_tree(base + "/data", count);
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_MountBaselineReaddir)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return bench_main(argc, argv,
                    {{"BM_FolderLookupOpen", "BM_FolderBaselineFopen", ""},
                     {"BM_ArchiveLookupSize", "BM_ArchiveBaselineHashOnly", ""},
                     {"BM_MountFolder10k", "BM_MountBaselineReaddir", ""}},
                    {"file",
                     "x baseline: the engine's rate over the same work done raw (fopen of the host path;\n"
                     "hashing the name alone; listing the folder with readdir), above 1 = faster."});
}
