#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/datasource.h"
#include "base/decimal.h"
#include "base/env.h"
#include "archive_writer.h"
#include "base/hash.h"
#include "settings_fixture.h"

using EnvironmentFile = settings_test;

static std::string env_string(const char* key, const char* fallback = "none") {
  char out[ENV_LINE_SIZE];
  return env_get_string(key, out, sizeof out, fallback);
}

TEST(EnvironmentFileName, BlankResourceMeansTheDefaultName) {
  EXPECT_EQ(env_file_name(" "), "vaskel.env");
  EXPECT_EQ(env_file_name(" other.env"), "vaskel.env");
  EXPECT_EQ(env_file_name(nullptr), "vaskel.env");
  EXPECT_EQ(env_file_name("game.env"), "game.env");
}

TEST_F(EnvironmentFile, KeysValuesAndSkippedLines) {
  load_env(
      "CLIENT_WIDTH 800\n"
      "CLIENT_HEIGHT\t\t600\r\n"       // tabs, and a CR before the line end
      " INDENTED 5\n"                 // a leading blank skips the line
      "// COMMENTED 6\n"
      "/SLASHED 7\n"
      "\r\n"
      "TITLEBAR Two|Words| \n"       // "|" is a blank inside the value
      "ALONE\n"                       // no value: no entry, the caller's default applies
      "NUMBER 12ab extra tokens\n"
      "TEXT abc\n"
      "TWICE first\n"
      "TWICE second\n"
      "lower 1\n");
  EXPECT_EQ(env_get_int("CLIENT_WIDTH", 0), 800);
  EXPECT_EQ(env_get_int("CLIENT_HEIGHT", 0), 600);
  EXPECT_EQ(env_get_int("INDENTED", -1), -1);
  EXPECT_EQ(env_get_int("//", -1), -1);
  EXPECT_EQ(env_get_int("/SLASHED", -1), -1);
  EXPECT_EQ(env_string("TITLEBAR"), "Two Words ");
  EXPECT_EQ(env_get_int("ALONE", 42), 42);
  EXPECT_EQ(env_get_int("NUMBER", 0), 12);
  EXPECT_EQ(env_get_int("TEXT", 42), 0);  // a value that is no number reads as 0, not as the default
  EXPECT_EQ(env_string("TWICE"), "first");
  EXPECT_EQ(env_get_int("LOWER", -1), -1);  // keys compare exactly
  EXPECT_EQ(env_get_int("lower", -1), 1);
  EXPECT_EQ(env_entries().size(), 8u);  // both TWICE lines are kept
}

TEST_F(EnvironmentFile, EndMarkAndLineLimit) {
  load_env("A 1\n[EOF] and more\nB 2\n");
  EXPECT_EQ(env_get_int("B", -1), -1);
  env_free();

  // 400 lines are read (comments count), the 401st never is, with or without "[EOF]"; however
  // long the rest of the file (past 4 MiB here), the 400 lines are.
  std::string text;
  for (int i = 0; i < 399; ++i) text += "// filler\n";
  text += "LAST 400\nBEYOND 401\n";
  for (const std::string& rest : {std::string(), std::string(4u << 20, '/')}) {
    env_free();
    load_env(text + rest);
    EXPECT_EQ(env_get_int("LAST", -1), 400) << rest.size();
    EXPECT_EQ(env_get_int("BEYOND", -1), -1);
  }
}

TEST_F(EnvironmentFile, ValueMustBeginWithinReachOfTheKey) {
  load_env("FAR" + std::string(100, ' ') + "1\nNEAR" + std::string(99, ' ') + "2\n");
  EXPECT_EQ(env_get_int("FAR", -1), -1);
  EXPECT_EQ(env_get_int("NEAR", -1), 2);
}

TEST_F(EnvironmentFile, LongLinesStayInsideTheLineBuffer) {
  // A key that fills the line buffer: the look-ahead for its value ends at the buffer's end.
  std::string long_key(ENV_LINE_SIZE - 2, 'K');
  // A physical line longer than a line read goes on as the next line: its tail is a line of its own.
  std::string long_value(600, 'v');
  load_env(long_key + " 1\nLONG " + long_value + "\nAFTER 3\n");
  EXPECT_EQ(env_get_int(long_key.c_str(), -1), -1);  // its value fell on the next line
  EXPECT_EQ(env_string("LONG"), std::string(ENV_LINE_SIZE - 1 - 5, 'v'));
  EXPECT_EQ(env_string(std::string(600 - (ENV_LINE_SIZE - 1 - 5), 'v').c_str()), "none");
  EXPECT_EQ(env_get_int("AFTER", -1), 3);
}

TEST_F(EnvironmentFile, StringCopiesAreBoundedOnCharacterBoundaries) {
  load_env("NAME あいう\n");  // six bytes in the program's text
  char out[6];
  memset(out, 'x', sizeof out);
  env_get_string("NAME", out, sizeof out, "");
  EXPECT_STREQ(out, "あい");  // the third character does not fit before the NUL
  env_get_string("MISSING", out, 3, "default");
  EXPECT_STREQ(out, "de");
}

TEST_F(EnvironmentFile, NumbersSaturate) {
  load_env("BIG 99999999999\nSMALL -99999999999\nEDGE -2147483648\nPLUS +7\n");
  EXPECT_EQ(env_get_int("BIG", 0), INT_MAX);
  EXPECT_EQ(env_get_int("SMALL", 0), INT_MIN);
  EXPECT_EQ(env_get_int("EDGE", 0), INT_MIN);
  EXPECT_EQ(env_get_int("PLUS", 0), 7);
  EXPECT_EQ(decimal_to_int(" \t-12x"), -12);
  EXPECT_EQ(decimal_to_int("2147483647"), INT_MAX);
  EXPECT_EQ(decimal_to_int("2147483648"), INT_MAX);
  EXPECT_EQ(decimal_to_int("-"), 0);
}

// An environment file packed in an archive: its stream is the archive positioned at the entry,
// and the reader must stop at the entry's end instead of reading the next entry as more lines.
TEST_F(EnvironmentFile, ArchiveEntryIsReadToItsEndOnly) {
  // The archive keeps its data in table (hash) order: the next entry's name must hash higher.
  std::string next_name = "next0.txt";
  while (crc32_string(next_name.c_str()) < crc32_string("vaskel.env")) ++next_name[4];
  // No line end after "A 1": the next entry's bytes would continue the line, then add "B 2".
  ASSERT_TRUE(archive_write(game.at("pack.arc"), archive_version::v2,
                            {{"vaskel.env", "A 1"}, {next_name, "\nB 2\n"}}));
  ASSERT_EQ(data_source_add("pack", 0), DATA_SOURCE_ARCHIVE32);
  ASSERT_EQ(env_load("vaskel.env"), 0);
  EXPECT_EQ(env_string("A"), "1");
  EXPECT_EQ(env_get_int("B", -1), -1);
}
