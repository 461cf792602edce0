#include "base/env.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/decimal.h"

// Module state: the entries from start-up to exit. Lookups are linear; the owners of the keys
// cache what they read often.
static std::vector<env_entry> entries;
static bool exit_handler_registered = false;

std::string env_file_name(const char* string_resource_1) {
  if (!string_resource_1 || string_resource_1[0] == '\0' || string_resource_1[0] == ' ')
    return ENV_DEFAULT_FILE_NAME;
  return string_resource_1;
}

// One line read: up to max bytes, through the first "\n", never past the end of the file's data
// (an archive entry's stream goes on into the next entry). Returns the bytes read; 0 at the end.
static size_t read_line(FILE* f, char* line, size_t max, uint32_t& remaining) {
  size_t n = 0;
  while (n < max && remaining > 0) {
    int c = getc(f);
    if (c == EOF) {
      remaining = 0;
      break;
    }
    --remaining;
    line[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  return n;
}

// Splits one line into an entry. The line buffer is ENV_LINE_SIZE bytes and its last byte is 0,
// so every token ends inside it; the look-ahead for the value stops at the buffer's end too.
static void parse_line(char* line) {
  for (size_t i = 0; i < ENV_LINE_SIZE; ++i)
    if (static_cast<unsigned char>(line[i]) <= 32) line[i] = '\0';
  size_t key_end = strlen(line);
  size_t reach = std::min(key_end + ENV_VALUE_REACH, ENV_LINE_SIZE);
  size_t value_start = key_end;
  while (value_start < reach && line[value_start] == '\0') ++value_start;
  if (value_start >= reach) return;  // a key alone: its default applies
  env_entry entry{std::string(line, key_end), std::string(line + value_start)};
  for (char& c : entry.value)
    if (c == '|') c = ' ';
  entries.push_back(std::move(entry));
}

int env_load(const char* file_name) {
  if (!exit_handler_registered) {
    atexit(env_free);
    exit_handler_registered = true;
  }
  FILE* f = Ffopen(file_name, "rt");
  if (!f) return -1;
  uint32_t remaining = data_file_size(file_name);
  char line[ENV_LINE_SIZE];
  for (int count = 0; count < ENV_MAX_LINES; ++count) {
    memset(line, 0, sizeof line);
    if (read_line(f, line, ENV_LINE_SIZE - 1, remaining) == 0) break;
    if (memcmp(line, "[EOF]", 5) == 0) break;
    unsigned char first = static_cast<unsigned char>(line[0]);
    if (first <= 32 || first == '/') continue;
    parse_line(line);
  }
  fclose(f);
  return 0;
}

static const env_entry* env_find(const char* key) {
  for (const env_entry& e : entries)
    if (e.key == key) return &e;
  return nullptr;
}

int env_get_int(const char* key, int default_value) {
  const env_entry* e = env_find(key);
  return e ? decimal_to_int(e->value.c_str()) : default_value;
}

char* env_get_string(const char* key, char* out, size_t size, const char* default_text) {
  if (size == 0) return out;
  const env_entry* e = env_find(key);
  cp932_copy(out, size, e ? std::string_view(e->value) : std::string_view(default_text ? default_text : ""));
  return out;
}

void env_free() { entries.clear(); }

const std::vector<env_entry>& env_entries() { return entries; }
