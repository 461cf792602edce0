#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/gamepath.h"
#include "test_support.h"

static std::string u8s(const char8_t* s) { return reinterpret_cast<const char*>(s); }

TEST(GamePaths, BackslashesAndCaseResolvePerComponent) {
  temp_dir dir;
  dir.write("SaveData/Slot/File.DAT", "x");
  std::string engine = dir.path() + "\\savedata\\SLOT\\file.dat";
  EXPECT_EQ(game_path_native(engine), dir.at("SaveData/Slot/File.DAT"));
  FILE* f = game_fopen(engine, "rb");
  ASSERT_NE(f, nullptr);
  fclose(f);
  // A missing tail keeps its components as written, so a new file lands in the existing folder.
  EXPECT_EQ(game_path_native(dir.path() + "\\SAVEDATA\\new\\a.sav"), dir.at("SaveData/new/a.sav"));
}

TEST(GamePaths, DoubleByteNamesWhoseTrailByteIsABackslash) {
  temp_dir dir;
  // "表" and "ソ" end in 0x5C: they must not split the name.
  dir.write(u8s(u8"表示/ソース.png"), "x");
  EXPECT_TRUE(game_path_is_file(dir.path() + "\\表示\\ソース.png"));
  EXPECT_TRUE(game_path_is_dir(dir.path() + "/表示"));
  std::vector<game_dir_entry> entries;
  ASSERT_TRUE(game_dir_list(dir.path() + "\\表示", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "ソース.png");
  EXPECT_FALSE(game_path_ends_with_separator("表"));
  EXPECT_TRUE(game_path_ends_with_separator("表\\"));
  EXPECT_EQ(game_path_join("表", "a"), "表\\a");
  EXPECT_TRUE(game_name_confined("表..\\a"));  // no ".." component: "表.." is one name
  for (const char* outside : {"a/../..\\b", "\\b", "C:\\b"}) EXPECT_FALSE(game_name_confined(outside)) << outside;
}

TEST(GamePaths, RawBytesForNamesThatNeverConverted) {
  temp_dir dir;
  // A file whose host name is CP932 bytes (copied from an old disk as they were).
  dir.write("\x83\x5C\x81\x5B.png", "raw");
  EXPECT_TRUE(game_path_is_file(dir.path() + "\\ソー.png"));
}

TEST(GamePaths, ListingIsInCaseBlindOrder) {
  temp_dir dir;
  dir.write("b.png", "");
  dir.write("A.png", "");
  dir.write("c/x", "");
  std::vector<game_dir_entry> entries;
  ASSERT_TRUE(game_dir_list(dir.path(), entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "A.png");
  EXPECT_EQ(entries[1].name, "b.png");
  EXPECT_TRUE(entries[2].is_dir);
  EXPECT_EQ(game_path_absolute(dir.path() + "\\missing"), "");
}

TEST(GamePaths, ChangeWithinTheTimestampTickIsSeen) {
  temp_dir dir;
  dir.write("Old.txt", "");
  std::string folder = dir.path();
  EXPECT_TRUE(game_path_is_file(folder + "\\old.txt"));  // the folder's names are now kept
  struct stat before;
  ASSERT_EQ(stat(folder.c_str(), &before), 0);
  // A file made within the same tick of a coarse clock leaves the folder's time as it was.
  dir.write("New.txt", "");
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
  EXPECT_TRUE(game_path_is_file(folder + "\\new.txt"));
}

// A file longer than it said when it was opened (it grew meanwhile; a file of /proc says 0 bytes
// and reads more) is read up to the bound and refused there, never past it.
TEST(GamePaths, AWholeReadStopsAtTheBoundWhateverTheSizeSaid) {
  std::string text;
  ASSERT_TRUE(host_file_read("/proc/self/status", 1u << 20, &text));
  ASSERT_GT(text.size(), 64u);
  EXPECT_FALSE(host_file_read("/proc/self/status", 64, &text));
  EXPECT_EQ(errno, EFBIG);
  EXPECT_TRUE(text.empty());
}
