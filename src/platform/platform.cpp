#include "platform/platform.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "base/cp932.h"
#include "base/hash.h"
#include "platform/headless/headless.h"

static platform_backend* current_backend = nullptr;

// The default backend lives for the whole process and is never destroyed, so that exit handlers
// and late threads can still reach it.
static platform_backend& default_backend() {
  static headless_platform* backend = new headless_platform;
  return *backend;
}

platform_backend& plat() { return current_backend ? *current_backend : default_backend(); }

platform_backend* plat_install(platform_backend* backend) {
  platform_backend* previous = current_backend;
  current_backend = backend;
  return previous;
}

// ---- Services that both backends share.

void platform_backend::primary_screen_size(int& width, int& height) {
  std::vector<monitor_info> list;
  monitors(list);
  const monitor_info* chosen = list.empty() ? nullptr : &list[0];
  for (const monitor_info& m : list)
    if (m.primary) chosen = &m;
  width = chosen ? chosen->area.width : 0;
  height = chosen ? chosen->area.height : 0;
}

// Drops waiting for their window to read them (window thread only).
static std::map<uintptr_t, std::vector<std::string>> drops;
static uintptr_t next_drop = 1;

uintptr_t dropped_files_add(std::vector<std::string> paths) {
  uintptr_t drop = next_drop++;
  drops[drop] = std::move(paths);
  return drop;
}

bool dropped_files(uintptr_t drop, std::vector<std::string>& paths) {
  auto it = drops.find(drop);
  if (it == drops.end()) return false;
  paths = it->second;
  return true;
}

void dropped_files_finish(uintptr_t drop) { drops.erase(drop); }

uint32_t host_clock_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

void host_sleep_ms(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::vector<std::string> command_line_split(const std::string& command_line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;  // "" is an empty word of its own
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

std::string engine_path_from_host(const std::string& host_path) {
  std::string slashed = host_path;
  for (char& c : slashed)  // before the conversion: a CP932 trail byte may be 0x5C
    if (c == '/') c = '\\';
  std::string cp932;
  return utf8_to_cp932(slashed, cp932) ? cp932 : slashed;
}

// Held single-instance locks: name -> the open lock file.
static std::map<std::string, int> instance_locks;

// A folder that only this user can change: ours, no link, not writable by group or others (under
// the shared temporary folder: no access for them at all). Another user could otherwise make it
// first and hold the lock, or swap the lock file.
static bool folder_is_own(const std::string& folder, mode_t forbidden) {
  struct stat st;
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & forbidden) == 0;
}

// The user's runtime folder, else a folder of ours in the user's cache folder, else one made with
// mode 0700 in the temporary folder; empty when none of them is the user's own.
static std::string instance_lock_folder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && folder_is_own(runtime, 022)) return runtime;
  const char* cache = getenv("XDG_CACHE_HOME");
  const char* home = getenv("HOME");
  std::string cache_folder = cache && cache[0] == '/' ? cache : home && *home ? std::string(home) + "/.cache" : "";
  if (!cache_folder.empty()) {
    cache_folder += "/vaskrun";
    g_mkdir_with_parents(cache_folder.c_str(), 0700);
    if (folder_is_own(cache_folder, 022)) return cache_folder;
  }
  std::string folder = std::string(g_get_tmp_dir()) + "/vaskrun-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  return folder_is_own(folder, 077) ? folder : std::string();
}

bool instance_lock_acquire(const std::string& name) {
  if (instance_locks.count(name)) return true;
  std::string folder = instance_lock_folder();
  if (folder.empty()) return true;  // no safe place for a lock: never keep a player out of the game
  char hex[17];
  snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(crc64_string(name.c_str())));
  std::string path = folder + "/vaskrun-" + hex + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no place for a lock: never keep a player out of the game
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    bool held_elsewhere = errno == EWOULDBLOCK;
    close(fd);
    return !held_elsewhere;
  }
  instance_locks[name] = fd;
  return true;
}

void instance_lock_release(const std::string& name) {
  auto it = instance_locks.find(name);
  if (it == instance_locks.end()) return;
  close(it->second);
  instance_locks.erase(it);
}

plat_rect rect_intersect(const plat_rect& a, const plat_rect& b) {
  int64_t left = std::max<int64_t>(a.x, b.x), top = std::max<int64_t>(a.y, b.y);
  int64_t right = std::min<int64_t>(int64_t{a.x} + a.width, int64_t{b.x} + b.width);
  int64_t bottom = std::min<int64_t>(int64_t{a.y} + a.height, int64_t{b.y} + b.height);
  if (right <= left || bottom <= top) return {static_cast<int>(left), static_cast<int>(top), 0, 0};
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left), static_cast<int>(bottom - top)};
}

plat_rect paint_picture_rect(const plat_rect& source_rect, int x, int y, int zoom_x, int zoom_y) {
  if (zoom_x <= 0 || zoom_y <= 0 || source_rect.width <= 0 || source_rect.height <= 0) return {x, y, 0, 0};
  int64_t w = int64_t{source_rect.width} * zoom_x / 1000, h = int64_t{source_rect.height} * zoom_y / 1000;
  return {x, y, static_cast<int>(std::min<int64_t>(w, INT32_MAX)), static_cast<int>(std::min<int64_t>(h, INT32_MAX))};
}
