// The eternal file: the eternal variables (#) and the table of seen names, kept across runs in
// "savedata\vaskel_system.mss" under the save base folder.
//
// Layout (little-endian): magic "VaskelSysV1.100" with its NUL (16 bytes), u32 cell count, u32
// blob size, the seen table (10000 u32 name hashes, filled from the front, 0 free); then the saved
// cells and the blob of save/value_blob.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vm/value.h"

constexpr int SEEN_NAME_COUNT = 10000;
constexpr size_t SYSTEM_FILE_HEADER_SIZE = 24 + 4 * SEEN_NAME_COUNT;
extern const char SYSTEM_FILE_MAGIC[16];
extern const char SYSTEM_FILE_NAME[];

// Reads the eternal file into the eternal table and the seen table (the first VM reset of the
// run). A missing, short or damaged file leaves an empty eternal table; the seen table is kept
// from a file whose header is whole and carries the magic. A short or damaged file is set aside.
void system_file_load();
// Writes the eternal table and the seen table (nothing under LOADSAVEDISABLE). The file is written
// even without eternal variables, so the seen table is never lost. false when nothing was written.
bool system_file_save();

// The file's bytes for the current eternal table and seen table; empty when its strings and arrays
// would not fit the file (SAVE_BLOB_MAX).
std::string system_file_bytes();
// Checks and rebuilds a file's bytes: the seen table and the cells (scope eternal). 0 all well;
// 1 too short for a header, 2 wrong magic (nothing taken); 3 damaged cells or blob (seen taken,
// no cells).
int system_file_parse(const uint8_t* data, size_t size, uint32_t seen[SEEN_NAME_COUNT], std::vector<value_cell>* cells);

// The seen table: 0 added (or there already), -1 full; 1 when the name is in it.
int seen_name_add(const char* name);
int seen_name_test(const char* name);

// Forgets the seen table (tests; the program keeps it for the run).
void eternal_reset();

int builtin_seen_name_add(int32_t n, int32_t drop);
int builtin_seen_name_test(int32_t n, int32_t drop);
