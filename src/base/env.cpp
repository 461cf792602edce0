#include "base/env.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "base/decimal.h"

// Module state: the entries from start-up to exit. Lookups are linear; the owners of the keys
// cache what they read often.
static std::vector<env_entry> entries;
static bool exit_handler_registered = false;
static bool read_as_utf8 = false;

std::string env_file_name(const char* string_resource_1) {
  if (!string_resource_1 || string_resource_1[0] == '\0' || string_resource_1[0] == ' ')
    return ENV_DEFAULT_FILE_NAME;
  return string_resource_1;
}

// Only the first ENV_MAX_LINES lines are read, each a line read of at most ENV_LINE_SIZE - 1
// bytes: no more of the file is ever needed, however long it is. (A longer file once went unread
// whole, and the game started with every key at its default.)
static constexpr uint32_t ENV_READ_LIMIT = ENV_MAX_LINES * (ENV_LINE_SIZE - 1);

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

// Whether the bytes hold a character of more than one byte and every byte belongs to a well-formed
// UTF-8 sequence. Japanese text in CP932 practically never does.
static bool utf8_multibyte(std::string_view text) {
  bool multibyte = false;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    multibyte |= n > 1;
    i += n;
  }
  return multibyte;
}

int env_load(const char* file_name) {
  if (!exit_handler_registered) {
    atexit(env_free);
    exit_handler_registered = true;
  }
  uint32_t size = 0;
  FILE* f = Ffopen(file_name, "rb", &size);
  if (!f) return -1;
  // An archived file is a stream positioned at its entry: read no further than the entry's size.
  std::string bytes(std::min(size, ENV_READ_LIMIT), '\0');
  bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  std::vector<std::string> lines;
  std::string all;
  std::string_view rest = bytes;
  for (int count = 0; count < ENV_MAX_LINES && !rest.empty(); ++count) {
    std::string_view line = rest.substr(0, file_line_length(rest, ENV_LINE_SIZE - 1));
    if (line.starts_with("[EOF]")) break;
    lines.emplace_back(line);
    all.append(line);
    rest.remove_prefix(line.size());
  }
  char line[ENV_LINE_SIZE];
  // A file saved as UTF-8 (with or without its byte-order mark) is read as the text it holds,
  // not as CP932 mojibake; start-up tells the game's maker.
  static const char BOM[] = "\xEF\xBB\xBF";
  read_as_utf8 = utf8_multibyte(all) || all.rfind(BOM, 0) == 0;
  if (!lines.empty() && lines[0].rfind(BOM, 0) == 0) lines[0].erase(0, 3);
  for (std::string& text : lines) {
    if (read_as_utf8) text = utf8_to_cp932_lenient(text);
    memset(line, 0, sizeof line);
    memcpy(line, text.data(), std::min(text.size(), ENV_LINE_SIZE - 1));
    if (memcmp(line, "[EOF]", 5) == 0) break;
    unsigned char first = static_cast<unsigned char>(line[0]);
    if (first <= 32 || first == '/') continue;
    parse_line(line);
  }
  return 0;
}

bool env_read_as_utf8() { return read_as_utf8; }

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

void env_free() {
  entries.clear();
  read_as_utf8 = false;
}

const std::vector<env_entry>& env_entries() { return entries; }
