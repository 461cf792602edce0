// Name hashes and the scrambling routines built on the CRC-32 table.
//
// Neither hash changes case: callers lower-case file names before hashing; script names are hashed
// exactly as written.
#pragma once

#include <cstddef>
#include <cstdint>

// Reflected CRC-32 (polynomial 0xEDB88320, complemented start and result) of a text's bytes.
uint32_t crc32_string(const char* text);
uint32_t crc32_bytes(const void* data, size_t length);
// The CRC-32's 256-entry table (the value of each byte the register shifts out).
const uint32_t* crc32_table();
// The 64-bit CRC that keys folder indexes and V3 archives (reflected form of 0x42F0E1EBA9EA3693).
uint64_t crc64_string(const char* text);

// XORs the buffer with the CRC-32 table's 1024 bytes, repeated; applying it twice restores it.
void xor_crc_table(void* buffer, size_t length);
// Derives the current key table from a text that a script sets.
void xor_key_from_string(const char* key_text);
// XORs the buffer with the current key table's 1024 bytes, repeated.
void xor_with_key(void* buffer, size_t length);
