#include "base/registry.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/decimal.h"
#include "base/gamepath.h"
#include "vm/debug_log.h"

// The one group of every key file.
static const char KEY_FILE_GROUP[] = "values";
// The first line of every key file the store writes. The store's folder names come from a game's
// environment file, so they may name another program's folder: a read or a write takes only files
// that begin with this line (or, as the store wrote before it had one, with its group), a delete
// only those with this line or exactly the layout the store wrote before.
static const char KEY_FILE_MARK[] = "# Settings of a game, kept by vaskrun\n";

struct reg_value {
  std::string name;  // as first written
  std::string text;  // engine text
};

// A key as kept in memory: its values in the order they were first written, and an index by
// lower-cased name. damaged: its file held what a rewrite would lose (a line the format cannot
// read, a value that is not text, another group); the first write sets that file aside.
// unreadable: its file is there but could not be read (no descriptor left, no permission, over
// SETTINGS_FILE_LIMIT) or is another program's; it is neither used nor replaced in this run.
// too_large_told: a write was refused because the file would pass SETTINGS_FILE_LIMIT, and the
// player was told.
struct reg_key {
  std::vector<reg_value> values;
  std::unordered_map<std::string, size_t> by_name;
  bool damaged = false;
  bool unreadable = false;
  bool too_large_told = false;
};

// A key file is a few hundred short values at most; a damaged one is read again line by line. The
// store never writes a larger file: it could not read it back, and every setting would be lost.
static constexpr uint64_t SETTINGS_FILE_LIMIT = 1u << 20;

// Module state: the keys read so far, by lower-cased path below "Software" ("a\b"), and the store
// folder (host path, and the same as engine text for the path layer).
static std::unordered_map<std::string, reg_key> keys;
static std::string store_folder;
// Deferred writes: the keys changed in memory whose files are written when the deferral ends,
// and whether any of those writes asked for the folder to be synced.
struct deferred_key {
  std::vector<std::string> parts;
  bool flush;
};
static struct {
  int depth = 0;
  std::unordered_map<std::string, deferred_key> keys;
} deferral;
// Key files replaced since the store was last reset.
static int files_written = 0;
// Whether the player was told that the game key's names cannot name a key file.
static bool refusal_told = false;
static std::string store_folder_engine;
// The game key read last, found again without building its path (settings are read often).
static struct {
  std::string global, local;
  const reg_key* key = nullptr;
} last_game_key;

const std::string& reg_store_folder() {
  if (store_folder.empty()) {
    // Read afresh (not GLib's cached answer), so that tests can point it elsewhere.
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
      store_folder = xdg;
    } else {
      const char* home = getenv("HOME");
      store_folder = std::string(home && home[0] ? home : g_get_home_dir()) + "/.config";
    }
    if (!utf8_to_cp932(store_folder, store_folder_engine)) store_folder_engine = store_folder;
  }
  return store_folder;
}

void reg_store_reset() {
  last_game_key.key = nullptr;
  keys.clear();
  deferral.depth = 0;
  deferral.keys.clear();
  files_written = 0;
  refusal_told = false;
  store_folder.clear();
  store_folder_engine.clear();
}

// ---------------------------------------------------------------------------------------------
// Key paths

// The components of a key path below "Software", or false when the path names no key this store
// can hold: another root, another top key, an empty component, or one that the host's paths
// cannot carry ("/", ".", "..").
static bool key_components(reg_root root, std::string_view path, std::vector<std::string>& parts) {
  parts.clear();
  if (root != REG_ROOT_CURRENT_USER) return false;
  size_t start = 0;
  for (size_t i = 0; i <= path.size();) {
    if (i < path.size() && path[i] != '\\') {  // a trail byte 0x5C is no separator
      i += (cp932_is_lead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
      continue;
    }
    std::string_view part = path.substr(start, i - start);
    if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos) return false;
    parts.emplace_back(part);
    start = ++i;
  }
  if (parts.size() < 2 || !cp932_iequal(parts[0], "Software")) return false;
  parts.erase(parts.begin());
  return true;
}

static std::string game_key_path(const char* global, const char* local) {
  return std::string("Software\\") + (global ? global : "") + "\\" + (local ? local : "");
}

// The game key's components. Names that cannot name a key file leave the player's settings
// unkept for the whole run: said once, on stderr and in the text log.
static bool game_key_components(const char* global, const char* local, std::vector<std::string>& parts) {
  if (key_components(REG_ROOT_CURRENT_USER, game_key_path(global, local), parts)) return true;
  if (!refusal_told) {
    refusal_told = true;
    std::string g = global ? global : "", l = local ? local : "";
    std::string line = "設定を保存しません：環境ファイルの REG_GLOBAL [" + g + "] と REG_LOCAL [" + l +
                       "] は設定ファイルの名前になりません";
    debug_log_append(line.c_str());
    fprintf(stderr, "vaskrun: the settings are not kept: REG_GLOBAL \"%s\" and REG_LOCAL \"%s\" name no settings "
            "file\n", cp932_to_utf8_lenient(g).c_str(), cp932_to_utf8_lenient(l).c_str());
  }
  return false;
}

// The key's identity in memory: its components lower-cased, joined by "\".
static std::string key_id(const std::vector<std::string>& parts) {
  std::string id;
  for (const std::string& p : parts) {
    if (!id.empty()) id.push_back('\\');
    id += cp932_lower(p);
  }
  return id;
}

// The key's folder (for its subkeys) as an engine path; its file is the same with ".ini".
static std::string key_folder_engine(const std::vector<std::string>& parts) {
  reg_store_folder();
  std::string path = store_folder_engine;
  for (const std::string& p : parts) path = game_path_join(path, p);
  return path;
}

static std::string key_file_engine(const std::vector<std::string>& parts) {
  return key_folder_engine(parts) + ".ini";
}

// ---------------------------------------------------------------------------------------------
// Key files

// Value names become key-file names: UTF-8, with the bytes that the format reserves (and "%",
// the escape itself) written as %XX. Names that are not valid CP932 cannot be stored.
static bool encode_name(const std::string& name, std::string& encoded) {
  std::string utf8;
  if (name.empty() || !cp932_to_utf8(name, utf8)) return false;
  encoded.clear();
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    bool edge_blank = c == ' ' && (i == 0 || i + 1 == utf8.size());
    if (c < 0x20 || c == 0x7F || strchr("%=[]#", c) || edge_blank) {
      char escaped[4];
      snprintf(escaped, sizeof escaped, "%%%02X", c);
      encoded += escaped;
    } else {
      encoded.push_back(static_cast<char>(c));
    }
  }
  return true;
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

static bool decode_name(const char* encoded, std::string& name) {
  std::string utf8;
  for (const char* p = encoded; *p; ++p) {
    int hi, lo;
    if (*p == '%' && (hi = hex_digit(p[1])) >= 0 && (lo = hex_digit(p[2])) >= 0) {
      utf8.push_back(static_cast<char>(hi * 16 + lo));
      p += 2;
    } else {
      utf8.push_back(*p);
    }
  }
  return !utf8.empty() && utf8.find('\0') == std::string::npos && utf8_to_cp932(utf8, name);
}

static void key_put(reg_key& key, const std::string& name, const std::string& text) {
  std::string lower = cp932_lower(name);
  auto found = key.by_name.find(lower);
  if (found != key.by_name.end()) {
    key.values[found->second].text = text;
  } else {
    key.by_name.emplace(std::move(lower), key.values.size());
    key.values.push_back({name, text});
  }
}

static bool key_file_parse(GKeyFile* file, const std::string& text) {
  return g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
}

// The lines of a key file that the format can read, in order: each line is kept when the lines
// kept so far and it still parse. Whether a line parses depends on the lines before it only
// through the groups (is there one; is the last the first), so each line is tried after the first
// and the last group line kept: the work grows with the file, not with its square.
static std::string readable_lines(const std::string& text) {
  std::string kept, first_group, last_group;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(start, end - start);
    if (line.back() != '\n') line.push_back('\n');
    start = end;
    GKeyFile* probe = g_key_file_new();
    bool readable = key_file_parse(probe, first_group + last_group + line);
    g_key_file_free(probe);
    if (!readable) continue;
    kept += line;
    size_t first = line.find_first_not_of(" \t\n\v\f\r");
    if (first != std::string::npos && line[first] == '[') (first_group.empty() ? first_group : last_group) = line;
  }
  return kept;
}

// Whether a key file's text is the store's own, whole or damaged: empty, or beginning with the
// store's first line or (as the store wrote before it had that line) its group. The folder names
// come from a game, so the file may be another program's settings: those are never replaced.
static bool key_text_is_ours(std::string_view text) {
  return text.empty() || text.starts_with(KEY_FILE_MARK) || text.starts_with("[" + std::string(KEY_FILE_GROUP) + "]\n");
}

// Marks a key whose file is another program's: neither read nor replaced in this run, said once.
static void key_not_ours(reg_key& key, const std::string& host) {
  key.unreadable = true;
  debug_log_append(("設定を保存しません：[" + utf8_to_cp932_lenient(host) + "]はこのプログラムの設定ファイルではありません").c_str());
  fprintf(stderr, "vaskrun: the settings are not kept: %s is not a settings file of vaskrun, and it is left as it is\n",
          host.c_str());
}

// Reads a key's file. A missing file is an empty key; so is a link that leads nowhere (a write
// replaces the link, as every link, and never writes through it). What is there but is no regular
// file (a FIFO, a device, a folder, or a link to one) is another program's, not an empty key that
// the first write would replace. Of a file that the format cannot read whole, every line that it
// can read still counts. A value that is not text this engine can hold (not UTF-8, not CP932)
// counts as missing, as a value of another type always did. Another program's file is not read
// and stays as it is, said once.
static reg_key key_file_read(const std::vector<std::string>& parts) {
  reg_key key;
  std::string text;
  std::string host = game_path_native(key_file_engine(parts));
  struct stat st;
  if (stat(host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    key_not_ours(key, host);
    return key;
  }
  if (!host_file_read(host, SETTINGS_FILE_LIMIT, &text)) {
    key.unreadable = errno != ENOENT;
    return key;
  }
  if (!key_text_is_ours(text)) {
    key_not_ours(key, host);
    return key;
  }
  GKeyFile* file = g_key_file_new();
  if (!key_file_parse(file, text)) {
    key.damaged = true;
    key_file_parse(file, readable_lines(text));
  }
  gsize groups = 0;
  g_strfreev(g_key_file_get_groups(file, &groups));
  if (groups > (g_key_file_has_group(file, KEY_FILE_GROUP) ? 1u : 0u)) key.damaged = true;
  gsize count = 0;
  gchar** names = g_key_file_get_keys(file, KEY_FILE_GROUP, &count, nullptr);
  for (gsize i = 0; names && i < count; ++i) {
    gchar* utf8 = g_key_file_get_string(file, KEY_FILE_GROUP, names[i], nullptr);
    std::string name, value;
    if (utf8 && decode_name(names[i], name) && utf8_to_cp932(utf8, value))
      key_put(key, name, value);
    else
      key.damaged = true;
    g_free(utf8);
  }
  g_strfreev(names);
  g_key_file_free(file);
  return key;
}

// Before a damaged key file is first replaced, it is renamed to "<file>.damaged" (or
// "<file>.damaged-2" and so on, never over an earlier one; no ".ini" ending, so it is no key),
// and stderr says so once.
static void damaged_file_set_aside(const std::vector<std::string>& parts) {
  std::string host = game_path_native(key_file_engine(parts));
  std::string aside = host + ".damaged";
  struct stat st;
  for (int n = 2; lstat(aside.c_str(), &st) == 0; ++n) aside = host + ".damaged-" + std::to_string(n);
  if (rename(host.c_str(), aside.c_str()) == 0)
    fprintf(stderr, "vaskrun: the settings file %s held lines or values that cannot be read; the readable "
                    "values are kept, the file itself as %s\n", host.c_str(), aside.c_str());
  else
    fprintf(stderr, "vaskrun: the settings file %s held lines or values that cannot be read, and it could not "
                    "be kept as %s; only its readable values are kept\n", host.c_str(), aside.c_str());
}

static std::string key_file_text(const reg_key& key) {
  GKeyFile* file = g_key_file_new();
  for (const reg_value& v : key.values) {
    std::string name;
    if (!encode_name(v.name, name)) continue;
    g_key_file_set_string(file, KEY_FILE_GROUP, name.c_str(), cp932_to_utf8_lenient(v.text).c_str());
  }
  gsize length = 0;
  gchar* data = g_key_file_to_data(file, &length, nullptr);
  std::string text = KEY_FILE_MARK;
  text.append(data ? data : "", data ? length : 0);
  g_free(data);
  g_key_file_free(file);
  return text;
}

static reg_key& key_get(const std::vector<std::string>& parts) {
  std::string id = key_id(parts);
  auto found = keys.find(id);
  if (found != keys.end()) return found->second;
  return keys.emplace(std::move(id), key_file_read(parts)).first->second;
}

static bool sync_folder(const std::string& host_folder) {
  int fd = open(host_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// Replaces the key's file with the given content; false when it was not replaced.
static bool key_file_store(const std::vector<std::string>& parts, reg_key& stored, const std::string& content,
                           bool flush) {
  if (stored.unreadable) return false;
  std::vector<std::string> parent(parts.begin(), parts.end() - 1);
  std::string folder = key_folder_engine(parent);
  if (!folder_create(folder)) return false;
  if (stored.damaged) {
    damaged_file_set_aside(parts);
    stored.damaged = false;
  }
  ++files_written;
  return atomic_file_write(key_file_engine(parts), content.data(), content.size()) &&
         (!flush || sync_folder(game_path_native(folder)));
}

int reg_files_written() { return files_written; }

int reg_store_sweep(const char* global, const char* local) {
  std::vector<std::string> parts;
  if (!game_key_components(global, local, parts)) return 0;
  std::string file = game_path_native(key_file_engine(parts));
  std::vector<std::string> parent(parts.begin(), parts.end() - 1);
  return atomic_file_sweep(key_folder_engine(parent), FOLDER_USER, file.substr(file.rfind('/') + 1));
}

// Whether the key's new content fits what the store reads back. A write over it is refused, said
// once per key: the file it made would not be read, and every setting of the key would be lost.
static bool key_file_fits(const std::vector<std::string>& parts, reg_key& stored, const char* name,
                          const std::string& content) {
  if (content.size() <= SETTINGS_FILE_LIMIT) return true;
  if (!stored.too_large_told) {
    stored.too_large_told = true;
    std::string host = game_path_native(key_file_engine(parts));
    debug_log_append(("設定を保存しません：[" + std::string(name) + "]を書くと設定ファイル[" +
                      utf8_to_cp932_lenient(host) + "]が " + std::to_string(SETTINGS_FILE_LIMIT) + " バイトを超えます")
                         .c_str());
    fprintf(stderr, "vaskrun: the setting %s is not kept: %s would be larger than %llu bytes, more than vaskrun reads "
                    "back; the file is left as it is\n",
            cp932_to_utf8_lenient(name).c_str(), host.c_str(), static_cast<unsigned long long>(SETTINGS_FILE_LIMIT));
  }
  return false;
}

// Writes one value: the key's new content goes to its file first and is kept in memory only when
// the file was replaced, so a failed write leaves both as they were. While writes are deferred,
// memory changes now and the file at the end of the deferral; a value that would make the file
// too large to read back is refused at once either way.
static int key_write(const std::vector<std::string>& parts, const char* name, const char* text, bool flush) {
  std::string encoded;
  if (!name || !text || !encode_name(name, encoded)) return -1;
  reg_key& stored = key_get(parts);
  reg_key updated = stored;
  key_put(updated, name, text);
  updated.damaged = false;
  std::string content = key_file_text(updated);
  if (!key_file_fits(parts, stored, name, content)) return -1;
  if (deferral.depth > 0) {
    bool damaged = stored.damaged;
    stored = std::move(updated);
    stored.damaged = damaged;
    auto [pending, added] = deferral.keys.try_emplace(key_id(parts), deferred_key{parts, flush});
    pending->second.flush |= flush;
    return 0;
  }
  if (!key_file_store(parts, stored, content, flush)) return -1;
  stored = std::move(updated);
  return 0;
}

void reg_writes_defer() { ++deferral.depth; }

int reg_writes_resume() {
  if (deferral.depth == 0 || --deferral.depth > 0) return 0;
  int result = 0;
  for (auto& [id, pending] : deferral.keys) {
    reg_key& stored = key_get(pending.parts);
    if (!key_file_store(pending.parts, stored, key_file_text(stored), pending.flush)) result = -1;
  }
  deferral.keys.clear();
  return result;
}

int reg_writes_finish() {
  if (deferral.depth == 0) return 0;
  deferral.depth = 1;
  return reg_writes_resume();
}

// ---------------------------------------------------------------------------------------------
// Reads and writes

static int read_value(const reg_key& key, const char* name, char* out, size_t size) {
  auto found = key.by_name.find(cp932_lower(name));
  if (found == key.by_name.end()) return -1;
  const std::string& text = key.values[found->second].text;
  if (text.size() >= REG_VALUE_BUFFER) return -1;  // does not fit the read buffer
  if (size > 0) cp932_copy(out, size, text);
  return 0;
}

static int read_at(reg_root root, const std::string& path, const char* name, const char* default_text, char* out,
                   size_t size) {
  if (size > 0) cp932_copy(out, size, default_text ? default_text : "");
  std::vector<std::string> parts;
  if (!name || !key_components(root, path, parts)) return -1;
  return read_value(key_get(parts), name, out, size);
}

static int write_at(reg_root root, const std::string& path, const char* name, const char* text, bool flush) {
  std::vector<std::string> parts;
  if (!key_components(root, path, parts)) return -1;
  return key_write(parts, name, text, flush);
}

int reg_get_string(const char* global, const char* local, const char* name, const char* default_text, char* out,
                   size_t size) {
  if (size > 0) cp932_copy(out, size, default_text ? default_text : "");
  if (!global || !local || !name) return -1;
  if (!last_game_key.key || last_game_key.global != global || last_game_key.local != local) {
    std::vector<std::string> parts;
    if (!game_key_components(global, local, parts)) return -1;
    last_game_key.global = global;
    last_game_key.local = local;
    last_game_key.key = &key_get(parts);
  }
  return read_value(*last_game_key.key, name, out, size);
}

static int game_key_write(const char* global, const char* local, const char* name, const char* text, bool flush) {
  std::vector<std::string> parts;
  return game_key_components(global, local, parts) ? key_write(parts, name, text, flush) : -1;
}

int reg_set_string(const char* global, const char* local, const char* name, const char* text) {
  return game_key_write(global, local, name, text, false);
}

int reg_set_string_flush(const char* global, const char* local, const char* name, const char* text) {
  return game_key_write(global, local, name, text, true);
}

int reg_set_int(const char* global, const char* local, const char* name, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return reg_set_string(global, local, name, text);
}

int reg_get_int(const char* global, const char* local, const char* name, int default_value) {
  char text[REG_VALUE_BUFFER];
  if (reg_get_string(global, local, name, "", text, sizeof text) != 0) return default_value;
  return decimal_to_int(text);
}

int reg_get_string_at(reg_root root, const char* path, const char* name, const char* default_text, char* out,
                      size_t size) {
  return read_at(root, path ? path : "", name, default_text, out, size);
}

int reg_set_string_at(reg_root root, const char* path, const char* name, const char* text, int flush) {
  return write_at(root, path ? path : "", name, text, flush != 0);
}

int reg_get_string_machine(const char* global, const char* local, const char* name, const char* default_text,
                           char* out, size_t size) {
  return read_at(REG_ROOT_LOCAL_MACHINE, game_key_path(global, local), name, default_text, out, size);
}

// ---------------------------------------------------------------------------------------------
// Deleting

// A key exists while its file or its folder does; a link is neither (the store never makes one).
static bool key_exists(const std::vector<std::string>& parts, bool* has_file, bool* has_folder) {
  struct stat st;
  *has_file = lstat(game_path_native(key_file_engine(parts)).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  *has_folder = lstat(game_path_native(key_folder_engine(parts)).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return *has_file || *has_folder;
}

// Whether a key's file is one the store wrote: it is empty (as the store reads it), begins with the
// mark (even one over the bound, as the store once wrote) or, written before the mark was, holds
// exactly "[values]" and then lines "name=value" with names as the store writes them.
static bool key_file_is_ours(const std::vector<std::string>& parts) {
  std::string host = game_path_native(key_file_engine(parts)), text;
  struct stat st;
  if (lstat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      !host_file_read_prefix(host, SETTINGS_FILE_LIMIT + 1, &text))
    return false;
  if (text.empty() || text.starts_with(KEY_FILE_MARK)) return true;
  if (text.size() > SETTINGS_FILE_LIMIT) return false;
  const std::string group = "[" + std::string(KEY_FILE_GROUP) + "]\n";
  std::string_view rest(text);
  if (!rest.starts_with(group)) return false;
  for (rest.remove_prefix(group.size()); !rest.empty();) {
    size_t end = rest.find('\n'), equals = rest.find('=');
    if (end == std::string_view::npos || equals == 0 || equals >= end) return false;
    std::string_view name = rest.substr(0, equals);
    for (char c : name)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || strchr("[]#", c)) return false;
    if (name.front() == ' ' || name.back() == ' ') return false;
    rest.remove_prefix(end + 1);
  }
  return true;
}

// The names of a key's subkeys: the folders and the ".ini" files in its folder, once each.
static std::vector<std::string> subkey_names(const std::vector<std::string>& parts) {
  std::vector<std::string> names;
  std::vector<game_dir_entry> entries;
  game_dir_list(key_folder_engine(parts), entries);
  for (const game_dir_entry& e : entries) {
    if (e.name.empty() || e.name[0] == '.') continue;
    std::string name = e.name;
    if (!e.is_dir) {
      if (name.size() <= 4 || !cp932_iequal(std::string_view(name).substr(name.size() - 4), ".ini")) continue;
      name.resize(name.size() - 4);
    }
    bool seen = false;
    for (const std::string& n : names) seen = seen || cp932_iequal(n, name);
    if (!seen) names.push_back(name);
  }
  return names;
}

// Forgets a key and its subkeys, with their deferred writes: a deferral that ends after a delete
// must not bring the deleted keys back.
static void forget_keys_below(const std::vector<std::string>& parts) {
  last_game_key.key = nullptr;
  std::string id = key_id(parts);
  auto below = [&id](const std::string& other) {
    return other == id ||
           (other.size() > id.size() && other.compare(0, id.size(), id) == 0 && other[id.size()] == '\\');
  };
  std::erase_if(keys, [&](const auto& entry) { return below(entry.first); });
  std::erase_if(deferral.keys, [&](const auto& entry) { return below(entry.first); });
}

// Deletes a key and its descendants, depth first, as far as it can: only key files the store
// wrote, and a folder only when something of the store's was removed from it (held_ours: before
// this call) and it is left empty. *removed tells whether anything was; true when the key is gone.
static bool key_delete(const std::vector<std::string>& parts, bool* removed, bool held_ours = false) {
  *removed = false;
  bool has_file, has_folder;
  if (!key_exists(parts, &has_file, &has_folder)) return false;
  bool gone = true;
  if (has_folder) {
    for (const std::string& name : subkey_names(parts)) {
      std::vector<std::string> child = parts;
      child.push_back(name);
      bool child_removed;
      gone = key_delete(child, &child_removed) && gone;
      held_ours = held_ours || child_removed;
    }
  }
  forget_keys_below(parts);
  if (has_file) {
    bool deleted = key_file_is_ours(parts) && unlink(game_path_native(key_file_engine(parts)).c_str()) == 0;
    *removed = deleted;
    gone = gone && deleted;
  }
  if (has_folder) {
    bool deleted = held_ours && rmdir(game_path_native(key_folder_engine(parts)).c_str()) == 0;
    *removed = *removed || deleted;
    gone = gone && deleted;
  }
  return gone;
}

int reg_delete_subkeys(reg_root root, const char* parent_path, const char* subkey) {
  std::vector<std::string> parts;
  std::string path = std::string(parent_path ? parent_path : "") + "\\" + (subkey ? subkey : "");
  bool removed;
  return key_components(root, path, parts) && key_delete(parts, &removed) ? 1 : 0;
}

int reg_delete_tree(const char* global, const char* local) {
  std::vector<std::string> global_parts, parts;
  if (!key_components(REG_ROOT_CURRENT_USER, std::string("Software\\") + (global ? global : ""), global_parts))
    return -1;
  bool has_file, has_folder, removed = false;
  if (!key_exists(global_parts, &has_file, &has_folder)) return -1;
  if (key_components(REG_ROOT_CURRENT_USER, game_key_path(global, local), parts)) key_delete(parts, &removed);
  // The global key goes too once it holds neither subkeys nor values.
  bool unused;
  if (subkey_names(global_parts).empty() && key_get(global_parts).values.empty())
    key_delete(global_parts, &unused, removed);
  return 0;
}

int reg_delete_tree_machine(const char*, const char*) { return -1; }
