// The main of every test program. Each test runs with a home and XDG folders of its own under the
// build folder, and the process with a temporary folder there, so that nothing a test (or a program
// it starts) writes lands in the user's home or in /tmp, and no test sees settings an earlier test
// left behind, whether ctest runs it alone or the whole program runs in one process. The sample
// game's built copies, which `make demo` plays, are only ever copied by tests: a program that
// changed them fails.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

namespace fs = std::filesystem;

namespace {

// <build>/test-home/<program>: what the process starts with (libraries such as GTK read and keep
// these folders once per process); each test gets a subfolder named after it.
fs::path program_folder;

void point_home_at(const fs::path& folder) {
  std::error_code ec;  // another process of the same program may be making them at once
  static const char* const kinds[][2] = {{"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
                                         {"XDG_CACHE_HOME", "cache"},   {"XDG_STATE_HOME", "state"},
                                         {"XDG_RUNTIME_DIR", "run"}};
  setenv("HOME", folder.c_str(), 1);
  for (const auto& kind : kinds) {
    fs::path sub = folder / kind[1];
    fs::create_directories(sub, ec);
    setenv(kind[0], sub.c_str(), 1);
  }
  chmod((folder / "run").c_str(), 0700);  // a runtime folder must be private to be used
}

class own_home_per_test : public testing::EmptyTestEventListener {
 public:
  explicit own_home_per_test(bool death_test_child) : death_test_child_(death_test_child) {}

  void OnTestStart(const testing::TestInfo& test) override {
    folder_ = program_folder / folder_name(test);
    // A death test's re-run child shares the parent's folder, which must not be emptied under it.
    std::error_code ec;
    if (!death_test_child_) fs::remove_all(folder_, ec);
    point_home_at(folder_);
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    // What a failed test left stays for a look.
    if (!death_test_child_ && !test.result()->Failed()) {
      std::error_code ec;
      fs::remove_all(folder_, ec);
    }
    point_home_at(program_folder);
  }

 private:
  static std::string folder_name(const testing::TestInfo& test) {
    std::string name = std::string(test.test_suite_name()) + "." + test.name();
    for (char& c : name)
      if (c == '/') c = '_';
    return name;
  }

  bool death_test_child_;
  fs::path folder_;
};

// Every file and folder below the sample game's built copies, with the size and time of each file.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> sample_game_listing() {
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> listing;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(fs::path(VASK_BINARY_DIR) / "demo", ec), end; !ec && it != end;
       it.increment(ec)) {
    bool file = it->is_regular_file(ec);
    listing[it->path().string()] = {file ? it->file_size(ec) : 0, file ? it->last_write_time(ec) : fs::file_time_type{}};
  }
  return listing;
}

class sample_game_untouched : public testing::Environment {
 public:
  void SetUp() override { before_ = sample_game_listing(); }
  void TearDown() override {
    auto after = sample_game_listing();
    for (const auto& [path, stamp] : after)
      if (!before_.count(path) || before_[path] != stamp) ADD_FAILURE() << "a test wrote " << path;
    for (const auto& entry : before_)
      if (!after.count(entry.first)) ADD_FAILURE() << "a test removed " << entry.first;
  }

 private:
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> before_;
};

}  // namespace

int main(int argc, char** argv) {
  bool death_test_child = false;
  for (int i = 1; i < argc; i++)
    if (strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) death_test_child = true;
  program_folder = fs::path(VASK_BINARY_DIR) / "test-home" / program_invocation_short_name;
  point_home_at(program_folder);
  // One temporary folder for the process: fixtures keep folders there from test to test.
  std::string tmp = (program_folder / "tmp").string();
  fs::create_directories(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("TEST_TMPDIR", tmp.c_str(), 1);  // gtest's own TempDir()
  // GLib reads the user's folders once per process: let it keep these, which outlive every test.
  g_get_home_dir(), g_get_user_config_dir(), g_get_user_data_dir(), g_get_user_cache_dir();
  g_get_user_runtime_dir(), g_get_tmp_dir();
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new own_home_per_test(death_test_child));
  if (!death_test_child) testing::AddGlobalTestEnvironment(new sample_game_untouched);
  return RUN_ALL_TESTS();
}
