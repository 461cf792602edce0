#include <gtest/gtest.h>

#include <string>

#include "base/hash.h"

TEST(NameHash, CheckValues) {
  EXPECT_EQ(crc32_string("123456789"), 0xCBF43926u);
  EXPECT_EQ(crc64_string("123456789"), 0xB86883E6FA710A9Full);
  EXPECT_EQ(crc32_string(""), 0u);
  EXPECT_EQ(crc64_string(""), 0u);
  // Case is the caller's business.
  EXPECT_NE(crc32_string("BG01.PNG"), crc32_string("bg01.png"));
}

// The table's bytes, in index order, each entry little-endian: the key stream of the XOR routines.
static unsigned char crc_table_byte(size_t i) {
  uint32_t c = static_cast<uint32_t>(i / 4);
  for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  return static_cast<unsigned char>(c >> (8 * (i % 4)));
}

TEST(Scrambling, TableStreamRepeatsAndTailUsesTheFirstBytes) {
  for (size_t length : {0u, 5u, 1023u, 1024u, 1025u, 3000u}) {
    std::string buf(length, '\0');
    xor_crc_table(buf.data(), buf.size());
    for (size_t i = 0; i < length; ++i)
      ASSERT_EQ(static_cast<unsigned char>(buf[i]), crc_table_byte(i % 1024)) << "length " << length << " at " << i;
    xor_crc_table(buf.data(), buf.size());
    EXPECT_EQ(buf, std::string(length, '\0'));
  }
}

TEST(Scrambling, KeyTableFromText) {
  xor_key_from_string("secret");
  uint32_t c = crc32_string("secret");
  std::string buf(1030, '\0');
  xor_with_key(buf.data(), buf.size());
  for (size_t i = 0; i < buf.size(); ++i) {
    size_t n = (i % 1024) / 4;
    uint32_t t = 0;
    uint32_t idx = static_cast<uint32_t>(((c & 0xFF) + n) % 256);
    t = idx;
    for (int k = 0; k < 8; ++k) t = (t & 1) ? (t >> 1) ^ 0xEDB88320u : t >> 1;
    uint32_t key = t ^ c;
    ASSERT_EQ(static_cast<unsigned char>(buf[i]), static_cast<unsigned char>(key >> (8 * (i % 4)))) << i;
  }
  // Another text replaces the key.
  std::string other(16, '\0');
  xor_key_from_string("other");
  xor_with_key(other.data(), other.size());
  EXPECT_NE(other, buf.substr(0, 16));
}
