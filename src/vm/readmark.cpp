#include "vm/readmark.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/list.h"
#include "base/memory.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "vm/script_object.h"

const char READMARK_FILE[] = "savedata\\vaskel_readmark.mss";

static struct {
  readmark_set* head = nullptr;
  readmark_set* tail = nullptr;
  bool loaded = false;
  char filter[READ_FILTER_SIZE] = {};
} marks;

readmark_set* readmark_list_head() { return marks.head; }

readmark_set* readmark_find(const char* name) {
  for (readmark_set* s = marks.head; s; s = s->next)
    if (cp932_icmp(s->name, name) == 0) return s;
  return nullptr;
}

static readmark_set* readmark_new(const char* name, int32_t line_count) {
  auto* s = static_cast<readmark_set*>(mem_alloc(sizeof(readmark_set)));
  memset(s, 0, sizeof *s);
  cp932_copy(s->name, sizeof s->name, name);
  s->line_count = line_count;
  s->byte_size = readmark_byte_size(line_count);
  s->bits = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(s->byte_size)));
  memset(s->bits, 0, static_cast<size_t>(s->byte_size));
  return s;
}

static void link_front(readmark_set* s) { list_push_front(marks.head, marks.tail, s); }

static void link_back(readmark_set* s) { list_push_back(marks.head, marks.tail, s); }

void readmark_free(readmark_set* s) {
  list_unlink(marks.head, marks.tail, s);
  object_readmarks_forget(s);
  free(s->bits);
  free(s);
}

readmark_set* readmark_attach(const char* name, int32_t line_count) {
  if (readmark_set* found = readmark_find(name)) {
    if (line_count != 0 && found->line_count == line_count) return found;
    readmark_free(found);
  }
  if (line_count <= 0) return nullptr;
  readmark_set* s = readmark_new(name, line_count);
  link_front(s);
  return s;
}

static int32_t read_i32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

static void put_i32(std::string& out, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(u >> (8 * i)));
}

int readmark_parse(const unsigned char* data, size_t size, size_t* used) {
  int read = 0;
  size_t pos = 0;
  while (size - pos >= READMARK_RECORD_HEADER) {
    const unsigned char* header = data + pos;
    if (!memchr(header, '\0', READMARK_NAME_SIZE)) break;
    int32_t byte_size = read_i32(header + 128);
    int32_t line_count = read_i32(header + 132);
    if (line_count < 0 || line_count > READMARK_MAX_LINES || byte_size != readmark_byte_size(line_count)) break;
    if (size - pos - READMARK_RECORD_HEADER < static_cast<size_t>(byte_size)) break;
    readmark_set* s = readmark_new(reinterpret_cast<const char*>(header), line_count);
    memcpy(s->bits, header + READMARK_RECORD_HEADER, static_cast<size_t>(byte_size));
    link_back(s);
    pos += READMARK_RECORD_HEADER + static_cast<size_t>(byte_size);
    ++read;
  }
  if (used) *used = pos;
  return read;
}

std::string readmark_serialize() {
  std::string out;
  for (readmark_set* s = marks.head; s; s = s->next) {
    char name[READMARK_NAME_SIZE] = {};
    cp932_copy(name, sizeof name, s->name);
    out.append(name, sizeof name);
    put_i32(out, s->byte_size);
    put_i32(out, s->line_count);
    out.append(12, '\0');  // the record's unused words: never memory addresses
    out.append(reinterpret_cast<const char*>(s->bits), static_cast<size_t>(s->byte_size));
  }
  return out;
}

void readmark_load() {
  if (marks.loaded) return;
  marks.loaded = true;
  std::string bytes;
  if (!player_file_read(save_path(READMARK_FILE), &bytes)) return;
  size_t used = 0;
  readmark_parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &used);
  // The sets after a damaged record are lost to the next save: the file is kept aside first.
  if (used != bytes.size()) player_file_set_aside(save_path(READMARK_FILE));
}

static void readmark_free_all() {
  while (marks.head) readmark_free(marks.head);
}

void readmark_save() {
  if (marks.head && !loadsave_disabled()) {
    std::string bytes = readmark_serialize();
    std::string folder = save_path("savedata");
    folder_create(folder);
    atomic_file_write(save_path(READMARK_FILE), bytes.data(), bytes.size(), FOLDER_GAME);
  }
  readmark_free_all();
}

void readmark_reset() {
  readmark_free_all();
  marks.loaded = false;
  read_filter_clear();
}

void read_filter_set(const char* text) {
  cp932_copy(marks.filter, sizeof marks.filter, text);
  cp932_upper(marks.filter);
}

void read_filter_clear() { marks.filter[0] = '\0'; }
bool read_filter_active() { return marks.filter[0] != '\0'; }

bool read_filter_matches(const char* object_name) {
  return marks.filter[0] != '\0' && object_name[0] != '\0' && cp932_strstr(marks.filter, object_name) != nullptr;
}
