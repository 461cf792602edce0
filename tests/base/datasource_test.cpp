#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "archive_writer.h"
#include "base/atomic_file.h"
#include "base/datasource.h"
#include "base/env.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "base/registry.h"
#include "platform/glyph_render.h"
#include "platform/movie_player.h"
#include "shell/startup.h"
#include "test_support.h"

// Every test mounts below its own temporary folder, which is also the base folder.
class DataSources : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    data_sources_clear();
    data_base_folder_set(dir.path().c_str());
  }
  void TearDown() override {
    data_sources_clear();
    engine_test::TearDown();
  }
  void write_archive(const std::string& mount, archive_version v, const std::vector<archive_member>& members,
                     archive_damage damage = archive_damage::none) {
    ASSERT_TRUE(archive_write(dir.at(mount + ".arc"), v, members, damage));
  }
  std::string read_game_file(const char* name) {
    FILE* f = data_file_open(name, "rb");
    if (!f) return "<missing>";
    uint32_t size = data_file_size(name);
    std::string data(size, '\0');
    size_t got = fread(data.data(), 1, size, f);
    fclose(f);
    data.resize(got);
    return data;
  }
  temp_dir dir;
};

static const archive_version ALL_VERSIONS[] = {archive_version::v1, archive_version::v2, archive_version::v3};

TEST_F(DataSources, ArchivesOfEveryVersionFindEntriesCaseBlind) {
  for (archive_version v : ALL_VERSIONS) {
    data_sources_clear();
    data_base_folder_set(dir.path().c_str());
    write_archive("data", v, {{"BG01.PNG", "picture"}, {"se.wav", "sound"}, {"a.txt", ""}, {"z.vko", "code"}});
    int expected = v == archive_version::v3 ? DATA_SOURCE_ARCHIVE64 : DATA_SOURCE_ARCHIVE32;
    ASSERT_EQ(data_source_add("data", 0), expected);
    EXPECT_EQ(read_game_file("bg01.png"), "picture");
    EXPECT_EQ(read_game_file("Bg01.Png"), "picture");
    EXPECT_EQ(read_game_file("z.vko"), "code");  // the stream starts at its entry, not at the file
    EXPECT_EQ(data_file_size("se.wav"), 5u);
    EXPECT_EQ(data_file_size("a.txt"), 0u);
    EXPECT_EQ(data_file_exists("missing.png"), 0);
    EXPECT_EQ(data_file_time("bg01.png"), 0u);  // archives have no times
    char path[DATA_PATH_SIZE];
    ASSERT_NE(data_file_source("BG01.png", path), nullptr);
    EXPECT_EQ(std::string(path), dir.path() + "\\data.arc");
  }
}

TEST_F(DataSources, DataInAnotherOrderThanTheTableIsSound) {
  std::string bytes = archive_build(archive_version::v2, {{"a.png", "AAAA"}, {"b.png", "BB"}, {"c.png", "C"}},
                                    archive_damage::none, true);
  temp_dir other;
  dir.write("data.arc", bytes);
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE32);
  EXPECT_EQ(read_game_file("a.png"), "AAAA");
  EXPECT_EQ(read_game_file("c.png"), "C");
}

TEST_F(DataSources, EmptyArchives) {
  write_archive("data", archive_version::v1, {});
  EXPECT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE32);  // data end is the sentinel's offset
  write_archive("more", archive_version::v2, {});
  EXPECT_THROW(data_source_add("more", 0), fatal_exit_called);  // no last byte to find
}

TEST_F(DataSources, DamagedArchivesEndTheProgramWithTheBox) {
  const archive_damage kinds[] = {archive_damage::extra_byte, archive_damage::truncated,
                                  archive_damage::bad_magic,  archive_damage::short_header,
                                  archive_damage::huge_count, archive_damage::offset_past_end};
  for (archive_version v : ALL_VERSIONS) {
    for (archive_damage damage : kinds) {
      data_sources_clear();
      data_base_folder_set(dir.path().c_str());
      platform.boxes.clear();
      write_archive("data", v, {{"a.png", "12345"}, {"b.png", "678"}}, damage);
      try {
        data_source_add("data", 0);
        ADD_FAILURE() << "accepted damage " << static_cast<int>(damage) << " in v" << static_cast<int>(v) + 1;
      } catch (const fatal_exit_called& e) {
        EXPECT_EQ(e.code, -1);
      }
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_EQ(platform.boxes[0].text, "ファイル[data]が破損しています。再インストールしてください");
      EXPECT_EQ(platform.boxes[0].style & MB_BUTTON_MASK, unsigned{MB_OK});
      EXPECT_TRUE(data_sources_list().empty());
    }
  }
}

TEST_F(DataSources, FirstMountedSourceWins) {
  dir.write("update/bg.png", "new");
  dir.write("data/bg.png", "old");
  dir.write("data/only.png", "only");
  ASSERT_EQ(data_source_add("update", 0), DATA_SOURCE_FOLDER);
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(read_game_file("bg.png"), "new");
  EXPECT_EQ(read_game_file("only.png"), "only");
}

TEST_F(DataSources, FolderScanFlattensAndSkipsWhatItMust) {
  dir.write("data/top.png", "top");
  dir.write("data/chara/sub/Deep.PNG", "deep");
  dir.write("data/run.exe", "x");
  dir.write("data/link.LNK", "x");
  dir.write("data/.hidden.png", "x");
  dir.write("data/debuginfo/a.png", "x");
  dir.write("data/MDB/b.png", "x");
  dir.write("data/old_backup_1/c.png", "x");
  dir.write("data/Backup/d.png", "d");  // "backup" is matched case-sensitively
  dir.write("data/.git/e.png", "x");
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(read_game_file("deep.png"), "deep");
  EXPECT_EQ(read_game_file("d.png"), "d");
  for (const char* skipped : {"run.exe", "link.lnk", ".hidden.png", "a.png", "b.png", "c.png", "e.png"})
    EXPECT_EQ(data_file_exists(skipped), 0) << skipped;
  EXPECT_EQ(data_sources_list()[0]->index.size(), 3u);
  char path[DATA_PATH_SIZE];
  ASSERT_NE(data_file_source("deep.png", path), nullptr);
  EXPECT_NE(strstr(path, "chara\\sub\\deep.png"), nullptr) << path;
}

// A trail byte is no "\\" (ソ is 83 5C) and no letter of a skipped folder's name (ッ is 83 62).
TEST_F(DataSources, NamesAreNeverSplitOrMatchedAtATrailByte) {
  dir.write(reinterpret_cast<const char*>(u8"data/表/ソース.png"), "so");
  dir.write(reinterpret_cast<const char*>(u8"data/ッackup/a.png"), "a");
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(read_game_file("ソース.png"), "so");
  EXPECT_EQ(read_game_file("a.png"), "a");
}

// Whatever takes a file's place (a FIFO, a link to a device, a folder, a file over the reader's
// bound) is refused by every reader of files at once; an open that waited on the FIFO, or a read
// of the device, would never return.
TEST_F(DataSources, EveryReaderRefusesWhatIsNoFileOrOverItsBoundWithoutWaiting) {
  std::filesystem::path was = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.path().c_str()), 0);  // the development file is read in the current folder
  std::string config = getenv("XDG_CONFIG_HOME");
  std::filesystem::create_directories(config + "/G");
  struct reader { std::string path; uint64_t bound; std::function<bool()> refuses; };  // bound 0: none
  std::string bytes;
  char out[8];
  movie_player_spec movie;
  movie.path = dir.at("m.avi"), movie.threaded = false, movie.sound_sink = false;
  const reader readers[] = {
      {dir.at("x.png"), GAME_FILE_LIMIT, [] { return !data_file_open("x.png", "rb"); }},
      {dir.at("vaskel.env"), 0, [] {  // no bound: its first 400 lines are read, however long it is
         try { return env_load("vaskel.env") != 0; } catch (const fatal_exit_called&) { return true; }
       }},
      {dir.at("p.sav"), GAME_FILE_LIMIT, [&] { return !player_file_read(dir.at("p.sav"), &bytes); }},
      {config + "/G/L.ini", 1u << 20, [&] { return reg_get_string("G", "L", "a", "", out, sizeof out) != 0; }},
      {dir.at("fastread.inf"), 1u << 20, [] { return dev_file_lines(1).empty(); }},
      {dir.at("f.ttf"), GAME_FILE_LIMIT, [&] { return !glyph_private_font_add(dir.at("f.ttf")); }},
      {movie.path, 0, [&] { return !movie_player_open(movie); }},
  };
  for (int kind = 0; kind < 4; ++kind)
    for (const reader& r : readers) {
      if (kind == 3 && !r.bound) continue;
      std::filesystem::remove_all(r.path);
      const char* p = r.path.c_str();
      int made = kind == 0   ? mkfifo(p, 0600)
                 : kind == 1 ? symlink("/dev/zero", p)
                 : kind == 2 ? mkdir(p, 0700)
                             : close(creat(p, 0600)) + truncate(p, static_cast<off_t>(r.bound + 1));
      ASSERT_EQ(made, 0) << p;
      reg_store_reset();
      EXPECT_TRUE(r.refuses()) << r.path << " kind " << kind;
    }
  reg_store_reset();
  env_free();
  std::filesystem::current_path(was);
}

TEST_F(DataSources, FolderWithoutIndexableFilesMountsNothing) {
  dir.write("data/readme.exe", "x");
  EXPECT_EQ(data_source_add("data", 0), DATA_SOURCE_NONE);
  EXPECT_EQ(data_source_add("nowhere", 0), DATA_SOURCE_NONE);
  EXPECT_TRUE(data_sources_list().empty());
}

TEST_F(DataSources, DuplicateNamesInOneSourceRaiseTheBoxOnce) {
  dir.write("data/a/pic.png", "first");
  dir.write("data/b/PIC.png", "second");
  dir.write("data/a/readme.txt", "1");
  dir.write("data/b/readme.txt", "2");
  dir.write("other/pic.png", "third");  // other sources are never compared
  platform.answer_boxes({IDRETRY});
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  ASSERT_EQ(data_source_add("other", 0), DATA_SOURCE_FOLDER);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("ファイル[ PIC.png ]が["), std::string::npos) << platform.boxes[0].text;
  EXPECT_EQ(platform.boxes[0].style & MB_BUTTON_MASK, unsigned{MB_RETRYCANCEL});
  EXPECT_EQ(platform.clipboard, platform.boxes[0].text);
  EXPECT_EQ(read_game_file("pic.png"), "first");  // both are indexed; the first met wins
  EXPECT_EQ(data_sources_list()[0]->index.size(), 4u);

  data_sources_clear();
  data_base_folder_set(dir.path().c_str());
  platform.answer_boxes({IDCANCEL});
  EXPECT_THROW(data_source_add("data", 0), fatal_exit_called);
}

TEST_F(DataSources, SoundNamesAndFolderParts) {
  dir.write("voice/hello.ogg", "voice");
  dir.write("voice/face.png", "face");
  ASSERT_EQ(data_source_add("voice", 1), DATA_SOURCE_FOLDER);
  // A folder part stops the open and the source query, not the size query.
  EXPECT_EQ(data_file_open("voice\\hello.ogg", "rb"), nullptr);
  char path[DATA_PATH_SIZE];
  EXPECT_EQ(data_file_source("voice\\hello.ogg", path), nullptr);
  EXPECT_EQ(path[0], '\0');
  EXPECT_EQ(data_file_size("voice\\hello.ogg"), 5u);
  // The size query skips a sound-only folder for names that are not sound names.
  EXPECT_EQ(data_file_size("face.png"), 0u);
  EXPECT_EQ(read_game_file("hello.ogg"), "voice");
}

TEST_F(DataSources, NamesThatLeaveTheGameAreFoundNowhere) {
  dir.write("secret.txt", "secret");
  dir.mkdir("game");
  data_base_folder_set(dir.at("game").c_str());
  for (const char* name : {"..\\secret.txt", "a/../../secret.txt"})
    EXPECT_EQ(data_file_exists(name) + data_file_size(name), 0u) << name;
  platform.answer_boxes({IDCANCEL});
  EXPECT_THROW(Ffopen("..\\secret.txt", "rb"), fatal_exit_called);  // its own "not found" box
}

TEST_F(DataSources, LooseFilesComeFirstExceptForSounds) {
  dir.write("data/bg.png", "source");
  dir.write("data/se.wav", "source");
  dir.write("bg.png", "loose");
  dir.write("se.wav", "loose");
  dir.write("sub/x.png", "loose in a folder");
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(read_game_file("bg.png"), "loose");
  EXPECT_EQ(read_game_file("se.wav"), "source");
  EXPECT_EQ(read_game_file("sub\\x.png"), "loose in a folder");  // folder parts work loose
  dir.write("only.ogg", "loose sound");
  EXPECT_EQ(read_game_file("only.ogg"), "loose sound");
}

TEST_F(DataSources, MountingTwice) {
  write_archive("data", archive_version::v2, {{"a.png", "1"}});
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE32);
  // A V1/V2 archive is not read again: the damaged file on disk goes unnoticed.
  write_archive("data", archive_version::v2, {{"a.png", "1"}}, archive_damage::extra_byte);
  EXPECT_EQ(data_source_add("DATA", 0), DATA_SOURCE_ARCHIVE32);
  EXPECT_TRUE(platform.boxes.empty());

  dir.write("folder/one.png", "1");
  ASSERT_EQ(data_source_add("folder", 0), DATA_SOURCE_FOLDER);
  dir.write("folder/two.png", "2");
  EXPECT_EQ(data_file_exists("two.png"), 0);
  ASSERT_EQ(data_source_add("folder", 0), DATA_SOURCE_FOLDER);  // rescanned in place
  EXPECT_EQ(data_file_exists("two.png"), 1);
  EXPECT_EQ(data_sources_list().size(), 2u);
}

TEST_F(DataSources, ResetForgetsTheTablesButKeepsTheRecord) {
  write_archive("data", archive_version::v3, {{"a.png", "1"}});
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE64);
  data_source* s = data_source_reset("Data");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->name, "data");
  EXPECT_EQ(data_file_exists("a.png"), 0);
  EXPECT_EQ(data_source_reset("nothing"), nullptr);
  EXPECT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE64);  // mounted again in place
  EXPECT_EQ(data_file_exists("a.png"), 1);
  EXPECT_EQ(data_sources_list().size(), 1u);
}

TEST_F(DataSources, TimesOfFolderFiles) {
  dir.write("data/a.png", "1");
  struct timespec times[2] = {{1700000000, 0}, {1700000000, 500}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.at("data/a.png").c_str(), times, 0), 0);
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(data_file_time("a.png"), (1700000000ull + 11644473600ull) * 10000000ull + 5);
  EXPECT_EQ(data_file_time("none.png"), 0u);
}

TEST_F(DataSources, JapaneseNamesReachUtf8Files) {
  dir.write("data/" + std::string(reinterpret_cast<const char*>(u8"背景.png")), "bg");
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(read_game_file("背景.png"), "bg");
  EXPECT_EQ(read_game_file("背景.PNG"), "bg");
}

TEST_F(DataSources, FfopenAsksUntilTheFileOpens) {
  platform.answer_boxes({IDRETRY, IDCANCEL});
  EXPECT_THROW(Ffopen("absent.vko", "rb"), fatal_exit_called);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].text, "Ffopen : ファイル[absent.vko]の読み込みで失敗しました");

  dir.write("present.vko", "ok");
  FILE* f = Ffopen("present.vko", "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_rest(f), "ok");
  fclose(f);
}

TEST_F(DataSources, LongPathsAreCutSafely) {
  std::string deep = "data";
  while (deep.size() < 300) deep += "/folder_with_a_long_name";
  dir.write(deep + "/x.png", "x");
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  char path[DATA_PATH_SIZE + 8];
  memset(path, 'Z', sizeof path);
  ASSERT_NE(data_file_source("x.png", path), nullptr);
  EXPECT_EQ(strlen(path), DATA_PATH_SIZE - 1);
  EXPECT_EQ(path[DATA_PATH_SIZE], 'Z');  // nothing written past the buffer
  EXPECT_EQ(read_game_file("x.png"), "x");  // the lookup itself is not cut
}

TEST_F(DataSources, LinksBackUpTheTreeEndTheScan) {
  dir.write("data/a.png", "a");
  ASSERT_EQ(symlink(dir.at("data").c_str(), dir.at("data/loop").c_str()), 0);
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  EXPECT_EQ(data_sources_list()[0]->index.size(), 1u);
}

// Lookups from the sound worker's side while the window thread mounts a folder.
TEST_F(DataSources, ThreadedLookupsDuringAMount) {
  for (int i = 0; i < 200; ++i) dir.write("data/f" + std::to_string(i) + ".png", std::to_string(i));
  write_archive("voice", archive_version::v3, {{"v.ogg", "voice"}});
  ASSERT_EQ(data_source_add("voice", 1), DATA_SOURCE_ARCHIVE64);
  std::atomic<bool> done{false};
  std::atomic<int> found{0};
  std::thread worker([&] {
    do {  // at least one round, however fast the mounts are
      if (FILE* f = data_file_open("v.ogg", "rb")) {
        fclose(f);
        found.fetch_add(1);
      }
      data_file_size("f10.png");
    } while (!done.load());
  });
  for (int round = 0; round < 5; ++round) ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_FOLDER);
  done = true;
  worker.join();
  EXPECT_GT(found.load(), 0);
  EXPECT_EQ(data_file_size("f10.png"), 2u);
}
