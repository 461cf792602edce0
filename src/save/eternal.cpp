#include "save/eternal.h"

#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/hash.h"
#include "save/value_blob.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "vm/dispatcher.h"
#include "vm/variables.h"

const char SYSTEM_FILE_MAGIC[16] = "VaskelSysV1.100";
const char SYSTEM_FILE_NAME[] = "savedata\\vaskel_system.mss";

// The in-memory part of the file's header that lives for the run.
static uint32_t seen_names[SEEN_NAME_COUNT];

void eternal_reset() { memset(seen_names, 0, sizeof seen_names); }

int system_file_parse(const uint8_t* data, size_t size, uint32_t seen[SEEN_NAME_COUNT], std::vector<value_cell>* cells) {
  if (size < SYSTEM_FILE_HEADER_SIZE) return 1;
  if (memcmp(data, SYSTEM_FILE_MAGIC, sizeof SYSTEM_FILE_MAGIC) != 0) return 2;
  for (int i = 0; i < SEEN_NAME_COUNT; ++i) seen[i] = le32(data + 24 + 4 * i);
  uint64_t count = le32(data + 16), blob_size = le32(data + 20);
  uint64_t rest = size - SYSTEM_FILE_HEADER_SIZE;
  if (count * SAVED_CELL_SIZE > rest || blob_size > rest - count * SAVED_CELL_SIZE) return 3;
  const uint8_t* saved = data + SYSTEM_FILE_HEADER_SIZE;
  blob_reader reader(saved + count * SAVED_CELL_SIZE, blob_size);
  if (!reader.read_cells(saved, count, SCOPE_ETERNAL, cells)) {
    cells_release(cells);
    return 3;
  }
  return 0;
}

void system_file_load() {
  eternal_reset();
  var_table_free(&var_eternal);
  var_table_init(&var_eternal, THREAD_TABLE_CAPACITY);
  std::string bytes;
  if (!player_file_read(save_path(SYSTEM_FILE_NAME), &bytes)) return;
  std::vector<value_cell> cells;
  int result = system_file_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), seen_names, &cells);
  // The next write would replace what is left of the player's variables: the file is kept aside.
  if (result != 0) player_file_set_aside(save_path(SYSTEM_FILE_NAME));
  if (result >= 2) {
    // The debugger output of the old system: the development console.
    fputs("エターナルフラグの読み込みに失敗しました\n", stderr);
    return;
  }
  var_table_free(&var_eternal);
  var_table_init(&var_eternal, static_cast<int32_t>(cells.size()) + THREAD_TABLE_CAPACITY);
  for (const value_cell& c : cells) *var_table_append(&var_eternal) = c;
}

std::string system_file_bytes() {
  std::span<const value_cell> live(var_eternal.cells, static_cast<size_t>(var_eternal.count));
  blob_marks_clear(live);
  var_table copies{};
  for (const value_cell& c : live) snapshot_copy(&copies, &c);
  blob_output out;
  std::span<const value_cell> tables[] = {{copies.cells, static_cast<size_t>(copies.count)}};
  value_blob_write(tables, &out);
  var_table_free(&copies);

  std::vector<uint8_t> header;
  header.reserve(SYSTEM_FILE_HEADER_SIZE);
  header.insert(header.end(), SYSTEM_FILE_MAGIC, SYSTEM_FILE_MAGIC + sizeof SYSTEM_FILE_MAGIC);
  put_le32(&header, static_cast<uint32_t>(var_eternal.count));
  put_le32(&header, static_cast<uint32_t>(out.blob.size()));
  for (uint32_t h : seen_names) put_le32(&header, h);
  std::string bytes(header.begin(), header.end());
  bytes.append(out.cells.begin(), out.cells.end());
  bytes.append(out.blob.begin(), out.blob.end());
  return bytes;
}

bool system_file_save() {
  if (loadsave_disabled()) return false;
  std::string bytes = system_file_bytes();
  folder_create(save_path("savedata"));
  return atomic_file_write(save_path(SYSTEM_FILE_NAME), bytes.data(), bytes.size(), FOLDER_GAME);
}

// A name counts without its extension and its letter case.
static uint32_t seen_hash(const char* name) {
  std::string_view text(name);
  text = text.substr(0, text.find('.'));
  return crc32_string(cp932_lower(text).c_str());
}

int seen_name_add(const char* name) {
  uint32_t h = seen_hash(name);
  for (uint32_t& slot : seen_names) {
    if (slot == h) return 0;
    if (slot == 0) {
      slot = h;
      return 0;
    }
  }
  return -1;
}

int seen_name_test(const char* name) {
  uint32_t h = seen_hash(name);
  for (uint32_t slot : seen_names) {
    if (slot == h) return 1;
    if (slot == 0) return 0;
  }
  return 0;
}

int builtin_seen_name_add(int32_t, int32_t) {
  push_int(seen_name_add(builtin_arg_text(1)));
  return 0;
}

int builtin_seen_name_test(int32_t, int32_t) {
  push_int(seen_name_test(builtin_arg_text(1)));
  return 0;
}
