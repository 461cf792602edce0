#include "base/hash.h"

#include <array>
#include <cstring>

// Tables are built on first use (thread-safe: the sound worker hashes file names too).
static std::array<uint32_t, 256> crc32_table_build() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

static std::array<uint64_t, 256> crc64_table_build() {
  std::array<uint64_t, 256> table{};
  for (uint64_t i = 0; i < 256; ++i) {
    uint64_t c = i;
    for (int k = 0; k < 8; ++k) {
      if (c & 1) c ^= 0x85E1C3D753D46D27ull;  // XOR before the shift, as the table was always built
      c >>= 1;
    }
    table[i] = c;
  }
  return table;
}

const uint32_t* crc32_table() {
  static const std::array<uint32_t, 256> table = crc32_table_build();
  return table.data();
}

static const uint64_t* crc64_table_get() {
  static const std::array<uint64_t, 256> table = crc64_table_build();
  return table.data();
}

// One key is current at a time; scripts set it on the window thread.
static uint32_t key_table[256];

uint32_t crc32_bytes(const void* data, size_t length) {
  const uint32_t* table = crc32_table();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = (crc >> 8) ^ table[(crc ^ p[i]) & 0xFF];
  return ~crc;
}

uint32_t crc32_string(const char* text) { return crc32_bytes(text, strlen(text)); }

uint64_t crc64_string(const char* text) {
  const uint64_t* table = crc64_table_get();
  uint64_t crc = ~0ull;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    crc = (crc >> 8) ^ table[(crc ^ *p) & 0xFF];
  return ~crc;
}

// The key stream is the table's 1024 bytes, each entry little-endian, repeated from the buffer's
// start: whole blocks word by word, the tail byte by byte from the table's first bytes.
static void xor_with_table(const uint32_t* table, void* buffer, size_t length) {
  unsigned char* p = static_cast<unsigned char*>(buffer);
  size_t blocks = length / 1024;
  for (size_t b = 0; b < blocks; ++b, p += 1024) {
    for (int i = 0; i < 256; ++i) {
      uint32_t w;
      memcpy(&w, p + i * 4, 4);
      w ^= table[i];
      memcpy(p + i * 4, &w, 4);
    }
  }
  for (size_t i = 0; i < length % 1024; ++i) p[i] ^= static_cast<unsigned char>(table[i / 4] >> (8 * (i % 4)));
}

void xor_crc_table(void* buffer, size_t length) { xor_with_table(crc32_table(), buffer, length); }

void xor_key_from_string(const char* key_text) {
  const uint32_t* table = crc32_table();
  uint32_t c = crc32_string(key_text);
  for (uint32_t n = 0; n < 256; ++n) key_table[n] = table[((c & 0xFF) + n) % 256] ^ c;
}

void xor_with_key(void* buffer, size_t length) { xor_with_table(key_table, buffer, length); }
