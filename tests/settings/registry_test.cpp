#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/registry.h"
#include "settings_fixture.h"
#include "vm/script_error.h"

using RegistryStore = settings_test;

static const char G[] = "VASKEL_SYSTEM";
static const char L[] = "VASKEL_RUNTIME";

static std::string get(const char* name, const char* fallback = "default", const char* local = L) {
  char out[REG_VALUE_BUFFER];
  reg_get_string(G, local, name, fallback, out, sizeof out);
  return out;
}

static std::vector<std::string> folder_names(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(RegistryStore, ValuesRoundTripThroughTheKeyFile) {
  EXPECT_EQ(reg_get_int(G, L, "MusicVolume", 650), 650);  // missing: the default, unchanged
  EXPECT_EQ(reg_set_int(G, L, "MusicVolume", -30), 0);
  EXPECT_EQ(reg_set_string(G, L, "CapFolder", "C:\\ゲーム\\savedata"), 0);
  EXPECT_EQ(reg_set_string(G, L, "Spaces", "  two  "), 0);
  EXPECT_EQ(reg_set_string_flush(G, L, "Flushed", "1"), 0);
  // One key file per key, values as readable text.
  std::string file = config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini");
  EXPECT_NE(file.find("[values]\n"), std::string::npos) << file;
  EXPECT_NE(file.find("MusicVolume=-30\n"), std::string::npos) << file;
  std::string utf8_path = reinterpret_cast<const char*>(u8"CapFolder=C:\\\\ゲーム\\\\savedata\n");
  EXPECT_NE(file.find(utf8_path), std::string::npos) << file;
  // Read back from memory, then from the file by a fresh store.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(reg_get_int(G, L, "MusicVolume", 650), -30);
    EXPECT_EQ(get("CapFolder"), "C:\\ゲーム\\savedata");
    EXPECT_EQ(get("Spaces"), "  two  ");
    EXPECT_EQ(get("Flushed"), "1");
    reg_store_reset();
  }
}

TEST_F(RegistryStore, NamesCompareCaseBlind) {
  reg_set_string(G, L, "WinPosX", "10");
  EXPECT_EQ(get("WINPOSX"), "10");
  reg_set_string(G, L, "winposx", "20");  // the same value; its first spelling stays
  EXPECT_EQ(get("WinPosX"), "20");
  char out[16];
  EXPECT_EQ(reg_get_string_at(REG_ROOT_CURRENT_USER, "SOFTWARE\\vaskel_system\\Vaskel_Runtime", "winPOSx", "", out,
                              sizeof out),
            0);
  EXPECT_STREQ(out, "20");
  reg_store_reset();
  EXPECT_EQ(get("WINPOSX"), "20");
  std::string file = config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini");
  EXPECT_NE(file.find("WinPosX=20"), std::string::npos) << file;
  // Key names, too, find an existing key's file whatever their case.
  EXPECT_EQ(reg_set_string("vaskel_system", "VASKEL_runtime", "Other", "1"), 0);
  EXPECT_EQ(folder_names(config_path("VASKEL_SYSTEM")), std::vector<std::string>{"VASKEL_RUNTIME.ini"});
}

TEST_F(RegistryStore, NamesWithReservedCharactersRoundTrip) {
  const char* names[] = {"a=b", "[group]", "#hash", "100%", " edge ", "名前", "tab\there"};
  for (const char* name : names) EXPECT_EQ(reg_set_string(G, L, name, name), 0) << name;
  reg_store_reset();
  for (const char* name : names) EXPECT_EQ(get(name), name) << name;
  EXPECT_EQ(reg_set_string(G, L, "", "x"), -1);  // no name: nothing to store it under
}

TEST_F(RegistryStore, ReadBufferRule) {
  reg_set_string(G, L, "Fits", std::string(REG_VALUE_BUFFER - 1, 'a').c_str());
  reg_set_string(G, L, "TooLong", std::string(REG_VALUE_BUFFER, 'b').c_str());
  EXPECT_EQ(get("Fits"), std::string(REG_VALUE_BUFFER - 1, 'a'));
  char out[REG_VALUE_BUFFER];
  EXPECT_EQ(reg_get_string(G, L, "TooLong", "default", out, sizeof out), -1);
  EXPECT_STREQ(out, "default");
  // A small buffer gets the start of the value, cut on a character boundary.
  reg_set_string(G, L, "Word", "abcdefghij");
  char small[8];
  EXPECT_EQ(reg_get_string(G, L, "Word", "", small, sizeof small), 0);
  EXPECT_STREQ(small, "abcdefg");
  reg_set_string(G, L, "Kana", "あいうえ");
  EXPECT_EQ(reg_get_string(G, L, "Kana", "", small, sizeof small), 0);
  EXPECT_STREQ(small, "あいう");
}

TEST_F(RegistryStore, IntegersAreDecimalText) {
  reg_set_string(G, L, "Digits", "42ab");
  reg_set_string(G, L, "Letters", "abc");
  reg_set_string(G, L, "Huge", "99999999999");
  EXPECT_EQ(reg_get_int(G, L, "Digits", 7), 42);
  EXPECT_EQ(reg_get_int(G, L, "Letters", 7), 0);
  EXPECT_EQ(reg_get_int(G, L, "Huge", 7), INT_MAX);
  EXPECT_EQ(reg_get_int(G, L, "Missing", INT_MIN), INT_MIN);
  reg_set_int(G, L, "Min", INT_MIN);
  EXPECT_EQ(reg_get_int(G, L, "Min", 0), INT_MIN);
}

TEST_F(RegistryStore, ValuesThatAreNotTextCountAsMissing) {
  home.write("config/VASKEL_SYSTEM/VASKEL_RUNTIME.ini",
             "[values]\nGood=5\nBinary=\xFF\xFE\nBadEscape=\\z\n[other]\nElsewhere=1\n");
  EXPECT_EQ(reg_get_int(G, L, "Good", 0), 5);
  EXPECT_EQ(get("Binary"), "default");
  EXPECT_EQ(get("Elsewhere"), "default");
}

TEST_F(RegistryStore, ADamagedLineLosesNoOtherValueAndTheFileIsSetAsideOnce) {
  const char* names[] = {"MusicVolume", "WinPosX", "CapFolder", "Editor"};
  for (const char* name : names) reg_set_string(G, L, name, (std::string(name) + "-value").c_str());
  std::string file = config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini");
  size_t middle = file.find("CapFolder=");
  ASSERT_NE(middle, std::string::npos) << file;
  std::string damaged = file.substr(0, middle) + "a line torn by a crash\n" + file.substr(middle);
  home.write("config/VASKEL_SYSTEM/VASKEL_RUNTIME.ini", damaged);
  reg_store_reset();  // the next run
  for (const char* name : names) EXPECT_EQ(get(name), std::string(name) + "-value");

  testing::internal::CaptureStderr();
  EXPECT_EQ(reg_set_string(G, L, "AbnormalTerminateFlg", "1"), 0);
  EXPECT_EQ(reg_set_string(G, L, "WinPosX", "10"), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(config_path("VASKEL_SYSTEM/VASKEL_RUNTIME.ini.damaged")), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // one line, for the first write only
  EXPECT_EQ(config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini.damaged"), damaged);
  reg_store_reset();
  EXPECT_EQ(get("CapFolder") + get("WinPosX") + get("AbnormalTerminateFlg"), "CapFolder-value101");
}

// A damaged key file as large as the store reads (1 MiB) is read line by line in a moment: trying
// each line after all the kept ones took hours.
TEST_F(RegistryStore, ALargeDamagedKeyFileIsReadInAMoment) {
  std::string text = "[values]\n";
  for (int i = 0; text.size() < (1u << 20) - 16; ++i) text += "N" + std::to_string(i) + "=v\n";
  home.write("config/VASKEL_SYSTEM/VASKEL_RUNTIME.ini", text + "torn\n");
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  EXPECT_EQ(get("N7") + get("N70000"), "vv");
  clock_gettime(CLOCK_MONOTONIC, &end);
  EXPECT_LT((end.tv_sec - start.tv_sec) * 1000 + (end.tv_nsec - start.tv_nsec) / 1000000, test_budget_ms(3000));
}

TEST_F(RegistryStore, MachineRootHasNoValues) {
  char out[16];
  EXPECT_EQ(reg_get_string_machine(G, L, "mpg", "fallback", out, sizeof out), -1);
  EXPECT_STREQ(out, "fallback");
  EXPECT_EQ(reg_set_string_at(REG_ROOT_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\MCI Extensions",
                              "mpg", "MPEGVideo", 0),
            -1);
  EXPECT_EQ(reg_get_string_at(REG_ROOT_LOCAL_MACHINE, "SOFTWARE\\x", "mpg", "d", out, sizeof out), -1);
  EXPECT_STREQ(out, "d");
  EXPECT_EQ(reg_delete_tree_machine(G, L), -1);
  // Paths the store cannot hold fail the same way, and nothing is written outside the store.
  for (const char* path : {"Software", "Control Panel\\Desktop", "Software\\..\\x", "Software\\a/b", "Software\\\\x"})
    EXPECT_EQ(reg_set_string_at(REG_ROOT_CURRENT_USER, path, "v", "1", 0), -1) << path;
  EXPECT_EQ(reg_set_string(G, "", "v", "1"), -1);
  EXPECT_TRUE(folder_names(home.path()).empty());
}

// Game names that name no key file leave the settings unkept: said once, on stderr and in the log.
TEST_F(RegistryStore, GameNamesThatNameNoKeyFileAreReportedOnce) {
  error_report_mode_set(0);  // development: the text log is written
  testing::internal::CaptureStderr();
  EXPECT_EQ(reg_set_string(G, "../x", "v", "1"), -1);
  EXPECT_EQ(reg_get_int("/abs", L, "v", 7), 7);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "vaskrun: the settings are not kept: REG_GLOBAL \"VASKEL_SYSTEM\" "
                                                   "and REG_LOCAL \"../x\" name no settings file\n");
  std::ifstream log(save_folder.at("debugout.log"));
  EXPECT_THAT(std::string(std::istreambuf_iterator<char>(log), {}), ::testing::HasSubstr("設定を保存しません"));
}

// A CP932 name whose trail byte is 0x5C, the separator, stays one key name: 表 (95 5C), ソ (83 5C).
TEST_F(RegistryStore, KeyNamesWithATrailByteOf5CAreOneName) {
  ASSERT_EQ(reg_set_string_at(REG_ROOT_CURRENT_USER, "Software\\表示\\ソフト", "v", "1", 0), 0);
  EXPECT_NE(config_file(reinterpret_cast<const char*>(u8"表示/ソフト.ini")).find("v=1\n"), std::string::npos);
  EXPECT_EQ(reg_delete_tree("表示", "ソフト"), 0);
  EXPECT_TRUE(folder_names(config_path("")).empty());
}

TEST_F(RegistryStore, DeleteTree) {
  EXPECT_EQ(reg_delete_tree(G, L), -1);  // no global key at all
  reg_set_string(G, L, "A", "1");
  reg_set_string(G, "OtherGame", "B", "2");
  reg_set_string_at(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM\\VASKEL_RUNTIME\\Sub\\Deeper", "C", "3", 0);
  // Another local key remains: the global key stays.
  EXPECT_EQ(reg_delete_tree(G, "vaskel_runtime"), 0);
  EXPECT_EQ(get("A"), "default");  // gone from memory too
  char out[8];
  EXPECT_EQ(reg_get_string_at(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM\\VASKEL_RUNTIME\\Sub\\Deeper", "C", "",
                              out, sizeof out),
            -1);
  EXPECT_EQ(folder_names(config_path("VASKEL_SYSTEM")), std::vector<std::string>{"OtherGame.ini"});
  EXPECT_EQ(get("B", "default", "OtherGame"), "2");
  // The last local key: the global key goes with it; other folders of the user are left alone.
  home.write("config/unrelated/keep.txt", "x");
  EXPECT_EQ(reg_delete_tree(G, "OtherGame"), 0);
  EXPECT_EQ(folder_names(config_path("")), std::vector<std::string>{"unrelated"});
  // A key that does not exist under an existing global key: the call still counts as done.
  reg_set_string(G, L, "A", "1");
  EXPECT_EQ(reg_delete_tree(G, "Missing"), 0);
  EXPECT_EQ(get("A"), "1");
}

// The names come from a game, so they may name another program's folder: a delete takes only key
// files the store wrote (its mark, or its exact layout of before), never a link or what it leads
// to, and a folder only when it held such a file.
TEST_F(RegistryStore, DeleteTakesOnlyTheStoresOwnFilesAndFolders) {
  const std::string key = "config/VASKEL_SYSTEM/VASKEL_RUNTIME";
  reg_set_string(G, L, "A", "1");
  home.write(key + "/Old.ini", "[values]\nA=1\nB=two words\n");
  home.write(key + "/App.ini", "[Settings]\nx=1\n");
  home.mkdir(key + "/Empty");
  home.write(key + "/Blank/Blank.ini", "");  // an empty key file counts as the store's when read
  home.write(key + "/Big.ini", "# Settings of a game, kept by vaskrun\n[values]\nA=" + std::string(2u << 20, 'a'));
  home.write("elsewhere/K.ini", "[values]\nA=1\n");
  std::filesystem::create_symlink(home.at("elsewhere"), home.at(key + "/Linked"));
  EXPECT_EQ(reg_delete_tree(G, L), 0);
  for (const char* name : {"/App.ini", "/Empty/", "/Linked"}) EXPECT_TRUE(std::filesystem::exists(home.at(key + name)));
  for (const char* name : {".ini", "/Old.ini", "/Blank", "/Big.ini"}) EXPECT_FALSE(std::filesystem::exists(home.at(key + name))) << name;
  EXPECT_TRUE(std::filesystem::exists(home.at("elsewhere/K.ini")));
}

TEST_F(RegistryStore, DeleteSubkeysStopsAtWhatIsNotAKey) {
  reg_set_string_at(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM\\VASKEL_RUNTIME\\Sub", "C", "3", 0);
  home.write("config/VASKEL_SYSTEM/VASKEL_RUNTIME/notes.txt", "the user's own file");
  EXPECT_EQ(reg_delete_subkeys(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM", L), 0);
  EXPECT_EQ(config_file("VASKEL_SYSTEM/VASKEL_RUNTIME/notes.txt"), "the user's own file");
  EXPECT_EQ(reg_delete_subkeys(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM", "Missing"), 0);
}

TEST_F(RegistryStore, ReadsComeFromMemory) {
  reg_set_int(G, L, "FontShadow", 0);
  std::filesystem::remove_all(config_path(""));
  EXPECT_EQ(reg_get_int(G, L, "FontShadow", 1), 0);
}

TEST_F(RegistryStore, FailedWriteLeavesFileAndMemoryAsTheyWere) {
  ASSERT_EQ(reg_set_string(G, L, "Kept", "old"), 0);
  std::string before = config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini");
  // The file-size limit makes the new content's write fail half way (root ignores permissions).
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = before.size() + 8;
  setrlimit(RLIMIT_FSIZE, &limit);
  int result = reg_set_string(G, L, "Kept", std::string(200, 'n').c_str());
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(get("Kept"), "old");
  EXPECT_EQ(config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini"), before);
  EXPECT_EQ(folder_names(config_path("VASKEL_SYSTEM")), std::vector<std::string>{"VASKEL_RUNTIME.ini"});
}

// The store reads a key file of at most 1 MiB: a write that would make it larger is refused on
// every road, and the file and memory stay as they were; said once.
TEST_F(RegistryStore, AWriteThatWouldPassTheReadBoundIsRefused) {
  error_report_mode_set(0);  // development: the text log is written
  const std::string key = "VASKEL_SYSTEM/VASKEL_RUNTIME.ini";
  testing::internal::CaptureStderr();
  EXPECT_EQ(reg_set_string(G, L, "Huge", std::string(2u << 20, 'h').c_str()), -1);
  EXPECT_FALSE(std::filesystem::exists(config_path(key)));
  ASSERT_EQ(reg_set_string(G, L, "Kept", "old"), 0);
  // A file of the bound itself is written.
  const size_t room = (1u << 20) - config_file(key).size() - strlen("Big=\n");
  ASSERT_EQ(reg_set_string(G, L, "Big", std::string(room, 'b').c_str()), 0);
  const std::string full = config_file(key);
  ASSERT_EQ(full.size(), 1u << 20);
  EXPECT_EQ(reg_set_int(G, L, "N", 5), -1);
  EXPECT_EQ(reg_set_string_at(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM\\VASKEL_RUNTIME", "Kept", "older", 1), -1);
  reg_writes_defer();
  EXPECT_EQ(reg_set_string_flush(G, L, "F", "1"), -1);
  EXPECT_EQ(reg_writes_resume(), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  std::ifstream log(save_folder.at("debugout.log"));
  EXPECT_THAT(std::string(std::istreambuf_iterator<char>(log), {}), ::testing::HasSubstr("設定を保存しません"));
  EXPECT_EQ(config_file(key), full);
  EXPECT_EQ(get("Kept") + get("N") + get("F"), "olddefaultdefault");
  // Once the large value is gone, the key is written and read again as usual.
  ASSERT_EQ(reg_set_string(G, L, "Big", ""), 0);
  reg_store_reset();
  EXPECT_EQ(get("Kept") + get("N") + get("Huge"), "olddefaultdefault");
}

// A key file that is there but cannot be read, now (no descriptor left) or ever (not the store's
// own: the names come from a game and may name another program's; no regular file), is neither
// used, nor set aside as damaged, nor replaced by a file of the new values alone; said once.
TEST_F(RegistryStore, AKeyFileThatCannotBeReadIsNeitherUsedNorSetAsideNorReplaced) {
  const std::string key = "VASKEL_SYSTEM/VASKEL_RUNTIME.ini";
  // "fifo" and "/dev/zero" stand for a FIFO and a link to that device in the file's place.
  for (const std::string text : {"[values]\nKept=old\n", "not a key file\n", "[Settings]\nKept=old\n", "fifo", "/dev/zero"}) {
    const bool ours = text.starts_with("[values]"), special = !text.ends_with('\n');
    std::filesystem::remove(config_path(key));
    std::filesystem::create_directories(config_path("VASKEL_SYSTEM"));
    if (text == "fifo")
      ASSERT_EQ(mkfifo(config_path(key).c_str(), 0600), 0);
    else if (special)
      std::filesystem::create_symlink(text, config_path(key));
    else
      home.write("config/" + key, text);
    reg_store_reset();
    testing::internal::CaptureStderr();
    rlimit saved, limit;  // the limit lowered first, so that few descriptors need holding
    getrlimit(RLIMIT_NOFILE, &saved);
    limit = {std::min<rlim_t>(256, saved.rlim_max), saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> held;
    for (int fd; ours && (fd = open("/dev/null", O_RDONLY)) >= 0;) held.push_back(fd);
    std::string read = get("Kept");
    for (int fd : held) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(read, "default");
    EXPECT_EQ(reg_set_string(G, L, "New", "1"), -1);
    std::string said = testing::internal::GetCapturedStderr();
    auto left = std::filesystem::symlink_status(config_path(key)).type();
    if (special)
      EXPECT_EQ(left, text == "fifo" ? std::filesystem::file_type::fifo : std::filesystem::file_type::symlink);
    else
      EXPECT_EQ(config_file(key), text);
    EXPECT_EQ(folder_names(config_path("VASKEL_SYSTEM")), std::vector<std::string>{"VASKEL_RUNTIME.ini"});
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << text << ": " << said;
    EXPECT_NE(said.find(config_path(key) + (ours ? " cannot be read" : " is not a settings file of vaskrun")),
              std::string::npos) << said;
  }
}

TEST_F(RegistryStore, DeferredWritesReachTheFileOnceWhenTheOutermostDeferralEnds) {
  ASSERT_EQ(reg_set_string(G, L, "Before", "1"), 0);
  std::string before = config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini");
  reg_writes_defer();
  reg_writes_defer();
  EXPECT_EQ(reg_set_int(G, L, "A", 1), 0);
  EXPECT_EQ(reg_set_string_flush(G, L, "B", "2"), 0);
  EXPECT_EQ(reg_set_string_at(REG_ROOT_CURRENT_USER, "Software\\VASKEL_SYSTEM\\Other", "C", "3", 0), 0);
  EXPECT_EQ(get("A"), "1");  // memory at once
  EXPECT_EQ(reg_writes_resume(), 0);
  EXPECT_EQ(config_file("VASKEL_SYSTEM/VASKEL_RUNTIME.ini"), before);  // still inside the outer one
  EXPECT_EQ(reg_writes_resume(), 0);
  reg_store_reset();
  EXPECT_EQ(get("A"), "1");
  EXPECT_EQ(get("B"), "2");
  EXPECT_EQ(get("C", "default", "Other"), "3");
  EXPECT_EQ(get("Before"), "1");
  EXPECT_EQ(reg_writes_resume(), 0);  // unbalanced: nothing to do
}

TEST(AtomicFile, ReplacesWholeOrNotAtAll) {
  temp_dir dir;
  std::string path = dir.at("file.bin");
  ASSERT_TRUE(atomic_file_write(path, "first", 5));
  ASSERT_TRUE(atomic_file_write(path, "second", 6));
  EXPECT_EQ(std::filesystem::file_size(path), 6u);
  dir.mkdir("folder/inside");
  EXPECT_FALSE(atomic_file_write(dir.at("folder"), "x", 1));  // cannot replace a folder
  EXPECT_FALSE(atomic_file_write(dir.at("missing/file"), "x", 1));
  EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{"file.bin", "folder"}));
}

// A written file takes the user's umask, a link at the target is replaced (never written
// through), and the sweep removes only regular files of the writer's own temporary pattern.
TEST(AtomicFile, TakesTheUmaskReplacesALinkAndSweepsOnlyItsOwnLeftovers) {
  temp_dir dir, outside;
  for (mode_t mask : {022, 077, 002}) {
    mode_t old = umask(mask);
    bool written = atomic_file_write(dir.at("m"), "x", 1);
    umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(std::filesystem::status(dir.at("m")).permissions(), std::filesystem::perms(0666 & ~mask)) << mask;
  }
  outside.write("mine", "keep");
  std::filesystem::create_symlink(outside.at("mine"), dir.at("link"));
  ASSERT_TRUE(atomic_file_write(dir.at("link"), "new", 3));
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir.at("link"))));
  EXPECT_EQ(std::filesystem::file_size(outside.at("mine")), 4u);

  for (const char* name : {"a.sav.tmp-Ab3xY9", "a.sav.tmp-12345", "a.sav.tmp-Ab3x_9", ".tmp-abcdef"}) dir.write(name, "");
  dir.mkdir("d.tmp-abcdef");
  std::filesystem::create_symlink(outside.at("mine"), dir.at("l.tmp-abcdef"));
  EXPECT_EQ(atomic_file_sweep(dir.path(), FOLDER_GAME), 1);
  EXPECT_EQ(folder_names(dir.path()), (std::vector<std::string>{".tmp-abcdef", "a.sav.tmp-12345", "a.sav.tmp-Ab3x_9",
                                                                 "d.tmp-abcdef", "l.tmp-abcdef", "link", "m"}));
}
