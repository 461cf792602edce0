#include "base/datasource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/cp932.h"
#include "base/fatal.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "shell/message_box.h"
#include "shell/window_core.h"

// Module state: the source list and the base folder, both guarded by the file lock. The lock is
// recursive because a folder scan drains window messages, whose handlers may look files up.
// Like the lock, both live until the process ends: exit handlers (the sound worker's last reads)
// may still look files up after static destruction has begun, and the records, never freed
// while the program runs, stay reachable.
static std::vector<data_source*>& sources = *new std::vector<data_source*>;
static std::string& base_folder = *new std::string;

static std::recursive_mutex& file_lock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;  // lives until the process ends
  return *lock;
}

static const char ARCHIVE_MAGIC[3][16] = {"VaskelArcV1.000", "VaskelArcV2.000", "VaskelArcV3.000"};

// Extensions never indexed in a folder scan.
static const char* const IGNORED_EXTENSIONS[] = {".lnk", ".exe", ".com", ".dll", ".log", ".sue",
                                                 ".vix", ".mdb", ".vkh", ".db",  ".bat"};

static uint32_t read_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

static uint64_t read_u64(const unsigned char* p) {
  return static_cast<uint64_t>(read_u32(p)) | static_cast<uint64_t>(read_u32(p + 4)) << 32;
}

// The file name part of a game-file name: what follows the last "\".
static std::string_view file_name_part(std::string_view name) {
  size_t start = 0;
  for (size_t i = 0; i < name.size();) {
    size_t step = (cp932_is_lead(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) ? 2 : 1;
    if (step == 1 && name[i] == '\\') start = i + 1;
    i += step;
  }
  return name.substr(start);
}

static bool has_backslash(std::string_view name) { return file_name_part(name).size() != name.size(); }

// The last extension of a file name, with its dot; empty when there is none.
static std::string_view extension_of(std::string_view file_name) {
  size_t dot = std::string_view::npos;
  for (size_t i = 0; i < file_name.size();) {
    size_t step = (cp932_is_lead(static_cast<unsigned char>(file_name[i])) && i + 1 < file_name.size()) ? 2 : 1;
    if (step == 1 && file_name[i] == '.') dot = i;
    i += step;
  }
  return dot == std::string_view::npos ? std::string_view() : file_name.substr(dot);
}

static bool is_sound_name(std::string_view name) {
  std::string_view ext = extension_of(file_name_part(name));
  return cp932_iequal(ext, ".ogg") || cp932_iequal(ext, ".wav");
}

static data_source* find_source(std::string_view mount_name) {
  for (data_source* s : sources)
    if (cp932_iequal(s->name, mount_name)) return s;
  return nullptr;
}

static void clear_tables(data_source* s) {
  s->has_table = false;
  s->narrow = {};
  s->wide = {};
  s->index = {};
  s->folders = {};
  s->first_last = {};
}

void data_base_folder_set(const char* folder) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  base_folder = folder;
  if (!game_path_ends_with_separator(base_folder)) base_folder.push_back('\\');
}

const std::string& data_base_folder() { return base_folder; }

// ---------------------------------------------------------------------------------------------
// Archives

[[noreturn]] static void archive_damaged(const char* mount_name, FILE* f) {
  if (f) fclose(f);
  error_box_fatal("ファイル[%s]が破損しています。再インストールしてください", mount_name);
  fatal_exit();
}

// Reads and checks an archive; returns its kind. Every count, offset and size is checked against
// the file's length before anything is allocated or read, and the file must end exactly at the end
// of its last datum.
static int archive_load(const char* mount_name, const std::string& path, FILE* f, data_source* s) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) archive_damaged(mount_name, f);
  uint64_t length = static_cast<uint64_t>(st.st_size);
  if (fread(s->header, 1, ARCHIVE_HEADER_SIZE, f) != ARCHIVE_HEADER_SIZE) archive_damaged(mount_name, f);
  int version = -1;
  for (int v = 0; v < 3; ++v)
    if (memcmp(s->header, ARCHIVE_MAGIC[v], 16) == 0) version = v;
  if (version < 0) archive_damaged(mount_name, f);

  uint64_t count = read_u32(s->header + 16);
  static const uint64_t entry_bytes[3] = {8, 12, 16};
  uint64_t table_entries = version == 0 ? count + 1 : count;
  uint64_t table_bytes = table_entries * entry_bytes[version];
  if (ARCHIVE_HEADER_SIZE + table_bytes > length) archive_damaged(mount_name, f);
  std::vector<unsigned char> table(table_bytes);
  if (table_bytes && fread(table.data(), 1, table_bytes, f) != table_bytes) archive_damaged(mount_name, f);

  uint64_t data_end = 0;
  const unsigned char* p = table.data();
  if (version == 0) {
    s->narrow.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
      uint32_t offset = read_u32(p + i * 8 + 4), next = read_u32(p + (i + 1) * 8 + 4);
      if (next < offset) archive_damaged(mount_name, f);
      s->narrow[i] = {read_u32(p + i * 8), offset, next - offset};
    }
    data_end = read_u32(p + count * 8 + 4);
  } else if (version == 1) {
    s->narrow.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
      s->narrow[i] = {read_u32(p + i * 12), read_u32(p + i * 12 + 4), read_u32(p + i * 12 + 8)};
      data_end = std::max<uint64_t>(data_end, uint64_t{s->narrow[i].offset} + s->narrow[i].size);
    }
  } else {
    s->wide.resize(count);
    for (uint64_t i = 0; i < count; ++i) {
      s->wide[i] = {read_u64(p + i * 16), read_u32(p + i * 16 + 8), read_u32(p + i * 16 + 12)};
      data_end = std::max<uint64_t>(data_end, uint64_t{s->wide[i].offset} + s->wide[i].size);
    }
  }
  // The last byte of the data must be the last byte of the file.
  if (data_end == 0 || data_end != length) archive_damaged(mount_name, f);
  fclose(f);

  s->has_table = true;
  s->path = path;
  s->name = mount_name;
  s->kind = version == 2 ? DATA_SOURCE_ARCHIVE64 : DATA_SOURCE_ARCHIVE32;
  return s->kind;
}

template <typename Entry, typename Key>
static const Entry* archive_find(const std::vector<Entry>& table, Key key) {
  auto it = std::lower_bound(table.begin(), table.end(), key, [](const Entry& e, Key k) { return e.hash < k; });
  return it != table.end() && it->hash == key ? &*it : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Folders

static bool ignored_subfolder(const std::string& name) {
  return name.back() == '.' || cp932_iequal(name, "debuginfo") ||
         cp932_iequal(name, "mdb") || cp932_find(name, "backup") != std::string_view::npos;
}

static bool ignored_file(std::string_view name) {
  std::string_view ext = extension_of(name);
  for (const char* ignored : IGNORED_EXTENSIONS)
    if (cp932_iequal(ext, ignored)) return true;
  return false;
}

// Folders already entered by the running scan, so that a link back up the tree ends the descent.
using folder_identity = std::pair<dev_t, ino_t>;

// Scans one folder (an absolute path) into the source's index, entering subfolders, so that their
// files are found by bare name. Dot-names are hidden files and are skipped.
static void folder_scan(data_source* s, const std::string& folder, std::vector<folder_identity>& entered) {
  struct stat st;
  if (!game_path_stat(folder, &st)) return;
  folder_identity identity{st.st_dev, st.st_ino};
  if (std::find(entered.begin(), entered.end(), identity) != entered.end()) return;
  entered.push_back(identity);
  std::vector<game_dir_entry> entries;
  if (!game_dir_list(folder, entries)) return;
  uint32_t folder_id = static_cast<uint32_t>(s->folders.size());
  s->folders.push_back(folder);
  for (const game_dir_entry& e : entries) {
    if (e.name.empty() || e.name[0] == '.') continue;
    if (e.is_dir) {
      if (!ignored_subfolder(e.name)) folder_scan(s, folder + "\\" + e.name, entered);
      continue;
    }
    if (ignored_file(e.name)) continue;
    uint64_t key = crc64_string(cp932_lower(e.name).c_str());
    uint32_t position = static_cast<uint32_t>(s->index.size());
    auto found = s->first_last.find(key);
    if (found != s->first_last.end()) {
      if (!cp932_iequal(extension_of(e.name), ".txt")) {
        for (uint32_t i = found->second.first; i != UINT32_MAX; i = s->index[i].next_same)
          error_box_retry("ファイル[ %s ]が[ %s ]と[ %s ]に存在します", e.name.c_str(),
                          s->folders[s->index[i].folder].c_str(), folder.c_str());
      }
      s->index[found->second.second].next_same = position;
      found->second.second = position;
    } else {
      s->first_last.emplace(key, std::make_pair(position, position));
    }
    s->index.push_back({key, folder_id, UINT32_MAX});
    drain_window_messages();  // large folders: keep the window responsive
  }
}

// ---------------------------------------------------------------------------------------------
// Mounting

int data_source_open(const char* mount_name, data_source* s) {
  std::string arc_name = std::string(mount_name) + ".arc";
  std::string arc_path;
  FILE* f = nullptr;
  if (!base_folder.empty()) {
    arc_path = base_folder + arc_name;
    f = game_fopen(arc_path, "rb");
  }
  if (!f) {
    arc_path = arc_name;
    f = game_fopen(arc_path, "rb");
  }
  if (f) return archive_load(mount_name, arc_path, f, s);

  memset(s->header, 0, sizeof s->header);
  clear_tables(s);
  std::string folder;
  if (!base_folder.empty() && game_path_is_dir(base_folder + mount_name))
    folder = base_folder + mount_name;
  else if (game_path_is_dir(mount_name))
    folder = mount_name;
  else
    return DATA_SOURCE_NONE;
  s->name = mount_name;
  s->path = game_path_join(folder, "");
  s->kind = DATA_SOURCE_FOLDER;
  std::string absolute = game_path_absolute(folder);
  std::vector<folder_identity> entered;
  if (!absolute.empty()) folder_scan(s, absolute, entered);
  return s->index.empty() ? DATA_SOURCE_NONE : DATA_SOURCE_FOLDER;
}

int data_source_add(const char* mount_name, int sound_only) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  if (data_source* s = find_source(mount_name)) {
    if (s->kind == DATA_SOURCE_ARCHIVE32 && s->has_table) return DATA_SOURCE_ARCHIVE32;
    data_source_reset(mount_name);
    return data_source_open(mount_name, s);
  }
  auto s = std::make_unique<data_source>();
  s->sound_only = sound_only;
  int result = data_source_open(mount_name, s.get());
  if (result != DATA_SOURCE_NONE) sources.push_back(s.release());
  return result;
}

data_source* data_source_reset(const char* mount_name) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  data_source* s = find_source(mount_name);
  if (s) clear_tables(s);
  return s;
}

// ---------------------------------------------------------------------------------------------
// Lookups

// Where a game file lies: a loose path, a folder entry's path, or an archive and an entry.
struct file_hit {
  std::string path;                      // the file to open: loose path, folder file or archive
  const data_source* source = nullptr;   // null for a loose file
  uint32_t offset = 0, size = 0;         // archive entries only
};

enum lookup_kind { LOOKUP_OPEN, LOOKUP_SIZE, LOOKUP_TIME, LOOKUP_SOURCE };

// Keys of a file name, each computed at most once per lookup.
struct lookup_keys {
  std::string lower;
  bool have32 = false, have64 = false;
  uint32_t key32 = 0;
  uint64_t key64 = 0;
  uint32_t crc32() {
    if (!have32) key32 = crc32_string(lower.c_str()), have32 = true;
    return key32;
  }
  uint64_t crc64() {
    if (!have64) key64 = crc64_string(lower.c_str()), have64 = true;
    return key64;
  }
};

// Walks the loose step and the sources in the order each query uses. accept() decides whether a
// candidate counts (an open that fails, or a folder file that has gone, goes on with the next).
// A name that climbs out of the game's folders (absolute, or with "..") is found nowhere.
template <typename Accept>
static bool file_lookup(const char* name, lookup_kind kind, Accept accept) {
  if (!game_name_confined(name)) return false;
  std::string_view file_name = file_name_part(name);
  bool sound = is_sound_name(name);
  bool loose = !base_folder.empty();
  if (!sound && loose && accept(file_hit{base_folder + name})) return true;
  if ((kind == LOOKUP_OPEN || kind == LOOKUP_SOURCE) && has_backslash(name)) return false;

  lookup_keys keys;
  keys.lower = cp932_lower(file_name);
  for (const data_source* s : sources) {
    if (s->kind == DATA_SOURCE_FOLDER) {
      if (kind == LOOKUP_SIZE && s->sound_only && !sound) continue;
      auto found = s->first_last.find(keys.crc64());
      if (found == s->first_last.end()) continue;
      for (uint32_t i = found->second.first; i != UINT32_MAX; i = s->index[i].next_same)
        if (accept(file_hit{s->folders[s->index[i].folder] + "\\" + std::string(file_name), s})) return true;
    } else if (kind != LOOKUP_TIME && s->has_table) {
      if (s->kind == DATA_SOURCE_ARCHIVE32) {
        if (const archive_entry32* e = archive_find(s->narrow, keys.crc32()))
          if (accept(file_hit{s->path, s, e->offset, e->size})) return true;
      } else if (const archive_entry64* e = archive_find(s->wide, keys.crc64())) {
        if (accept(file_hit{s->path, s, e->offset, e->size})) return true;
      }
    }
  }
  return sound && loose && accept(file_hit{base_folder + name});
}

static bool is_archive_hit(const file_hit& hit) { return hit.source && hit.source->kind != DATA_SOURCE_FOLDER; }

static uint32_t size32(const struct stat& st) {
  return st.st_size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(st.st_size);
}

// The size of an opened file: an archive entry's size field, else the length of the file itself.
static uint32_t opened_size(const file_hit& hit, FILE* f) {
  if (is_archive_hit(hit)) return hit.size;
  struct stat st;
  return fstat(fileno(f), &st) == 0 ? size32(st) : 0;
}

FILE* data_file_open(const char* name, const char* mode, uint32_t* size) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  FILE* result = nullptr;
  file_lookup(name, LOOKUP_OPEN, [&](const file_hit& hit) {
    FILE* f = game_fopen(hit.path, mode);
    if (!f) return false;
    if (is_archive_hit(hit) && fseek(f, static_cast<long>(hit.offset), SEEK_SET) != 0) {
      fclose(f);
      return false;
    }
    if (size) *size = opened_size(hit, f);
    result = f;
    return true;
  });
  return result;
}

FILE* Ffopen(const char* name, const char* mode, uint32_t* size) {
  for (;;) {
    if (FILE* f = data_file_open(name, mode, size)) return f;
    error_box_retry("Ffopen : ファイル[%s]の読み込みで失敗しました", name);  // Cancel does not return
  }
}

uint32_t data_file_size(const char* name) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  uint32_t size = 0;
  file_lookup(name, LOOKUP_SIZE, [&](const file_hit& hit) {
    if (is_archive_hit(hit)) {
      size = hit.size;
      return true;
    }
    struct stat st;
    if (!game_path_stat(hit.path, &st) || !S_ISREG(st.st_mode)) return false;
    size = size32(st);
    return true;
  });
  return size;
}

uint64_t data_file_time(const char* name) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  uint64_t time = 0;
  file_lookup(name, LOOKUP_TIME, [&](const file_hit& hit) {
    struct stat st;
    if (!game_path_stat(hit.path, &st) || !S_ISREG(st.st_mode)) return false;
    // Seconds since 1970 become 100 ns units since 1601.
    constexpr uint64_t EPOCH_DIFFERENCE = 11644473600ull;
    time = (static_cast<uint64_t>(st.st_mtim.tv_sec) + EPOCH_DIFFERENCE) * 10000000ull +
           static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
    return true;
  });
  return time;
}

char* data_file_source(const char* name, char* out) {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  out[0] = '\0';
  bool found = file_lookup(name, LOOKUP_SOURCE, [&](const file_hit& hit) {
    if (!is_archive_hit(hit) && !game_path_is_file(hit.path)) return false;
    cp932_copy(out, DATA_PATH_SIZE, hit.path);
    return true;
  });
  return found ? out : nullptr;
}

int data_file_exists(const char* name) {
  char path[DATA_PATH_SIZE];
  return data_file_source(name, path) ? 1 : 0;
}

std::vector<data_source*> data_sources_list() {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  return sources;
}

void data_sources_clear() {
  std::lock_guard<std::recursive_mutex> guard(file_lock());
  for (data_source* s : sources) delete s;
  sources.clear();
  base_folder.clear();
}
