#include <gtest/gtest.h>

#include "base/cp932.h"

// "ソ" is 0x83 0x5C in CP932: its trail byte is a backslash; "表" is 0x95 0x5C.
static const char SO[] = "\x83\x5C";

TEST(EngineText, LengthsCountCharacters) {
  EXPECT_EQ(cp932_char_count("abc"), 3);
  EXPECT_EQ(cp932_char_count("日本語"), 3);
  EXPECT_EQ(cp932_char_count("aソb"), 3);
  EXPECT_EQ(cp932_char_count(""), 0);
  EXPECT_EQ(cp932_char_count("\x83"), 1);  // a lead byte cut off by the end
}

TEST(EngineText, CaseTouchesAsciiLettersOnly) {
  // 0x82 0x60 is "Ａ" (full width); its trail 0x60 must not become 0x40, nor 'A' trail bytes fold.
  std::string mixed = std::string("Ab") + "\x83\x41" + "Cd";  // 0x83 0x41 is "ア"
  EXPECT_EQ(cp932_lower(mixed), std::string("ab") + "\x83\x41" + "cd");
  EXPECT_EQ(cp932_upper(mixed), std::string("AB") + "\x83\x41" + "CD");
  EXPECT_EQ(cp932_icmp("BG01.PNG", "bg01.png"), 0);
  EXPECT_NE(cp932_icmp("\x83\x41", "\x83\x61"), 0);  // "ア" and "ャ" differ in the trail byte only
  EXPECT_LT(cp932_icmp("abc", "ABD"), 0);
  EXPECT_LT(cp932_icmp("ab", "abc"), 0);
}

TEST(EngineText, SearchNeverMatchesInsideADoubleByteCharacter) {
  std::string text = std::string("a") + SO + "\\b";
  EXPECT_EQ(cp932_find(text, "\\"), 3u);  // not the trail byte at 2
  EXPECT_EQ(cp932_find(text, "\x5C" "b"), 3u);
  EXPECT_EQ(cp932_find("ソ", "\\"), std::string_view::npos);
  EXPECT_EQ(cp932_strrchr(text.c_str(), '\\'), text.c_str() + 3);
  EXPECT_EQ(cp932_strrchr(SO, '\\'), nullptr);
  EXPECT_EQ(cp932_find("abcabc", "c", 3), 5u);
}

TEST(EngineText, CutsOnCharacterBoundaries) {
  EXPECT_EQ(cp932_cut_length("aソ", 2), 1u);
  EXPECT_EQ(cp932_cut_length("aソ", 3), 3u);
  char buf[4];
  cp932_copy(buf, sizeof buf, "aaソ");
  EXPECT_STREQ(buf, "aa");
}

TEST(EngineText, ConvertsToAndFromUtf8) {
  std::string utf8, back;
  ASSERT_TRUE(cp932_to_utf8("日本語のテキスト", utf8));
  EXPECT_EQ(utf8, reinterpret_cast<const char*>(u8"日本語のテキスト"));
  ASSERT_TRUE(utf8_to_cp932(utf8, back));
  EXPECT_EQ(back, "日本語のテキスト");
  EXPECT_FALSE(cp932_to_utf8("\x83", utf8));  // cut character
  EXPECT_EQ(cp932_to_utf8_lenient("a\x83"), "a?");
  const char* emoji = reinterpret_cast<const char*>(u8"😀");  // no CP932 form
  EXPECT_FALSE(utf8_to_cp932(emoji, back));
}
