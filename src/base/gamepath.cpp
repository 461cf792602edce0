#include "base/gamepath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/cp932.h"

static bool is_separator(char c) { return c == '\\' || c == '/'; }

// Splits an engine path into components at separators that are characters of their own.
static std::vector<std::string> split_components(std::string_view path, bool& absolute) {
  std::vector<std::string> parts;
  absolute = !path.empty() && is_separator(path[0]);
  std::string current;
  for (size_t i = 0; i < path.size();) {
    size_t step = (cp932_is_lead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
    if (step == 1 && is_separator(path[i])) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(path.substr(i, step));
    }
    i += step;
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// Host name of an engine name as it stands: UTF-8 when it converts, else the raw bytes.
static std::string host_name(const std::string& engine_name) {
  std::string utf8;
  return cp932_to_utf8(engine_name, utf8) ? utf8 : engine_name;
}

std::string engine_name(const char* host) {
  std::string cp932;
  return utf8_to_cp932(host, cp932) ? cp932 : std::string(host);
}

// Module state: the last refusal of this thread within its report scopes, for the error box that
// may follow it, and how deep those scopes are.
static thread_local std::string last_failure;
static thread_local int failure_scope_depth = 0;

// Keeps a refusal of a file or folder that is there for file_failure_take (inside a report scope),
// and logs a file's; errno is kept. (A folder that cannot be listed is met at every lookup in it.)
static void failure_note(const std::string& host_path, const char* reason, bool log = true) {
  int error = errno;
  if (log) fprintf(stderr, "vaskrun: %s cannot be read: %s\n", host_path.c_str(), reason);
  if (failure_scope_depth > 0) last_failure = engine_name(host_path.c_str()) + ": " + utf8_to_cp932_lenient(reason);
  errno = error;
}

void file_failure_scope_enter() { ++failure_scope_depth; }

void file_failure_scope_leave() {
  if (--failure_scope_depth <= 0) {
    failure_scope_depth = 0;
    if (!last_failure.empty()) last_failure.clear();
  }
}

static bool is_absence(int error) { return error == ENOENT || error == ENOTDIR; }

std::string file_failure_take() { return std::exchange(last_failure, std::string()); }

int host_file_open(const std::string& host_path, uint64_t limit) {
  int fd = open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (is_absence(errno)) last_failure.clear();
    else failure_note(host_path, strerror(errno));
    return -1;
  }
  struct stat st;
  int error = 0;
  std::string reason;
  if (fstat(fd, &st) != 0 || fcntl(fd, F_SETFL, 0) != 0) {
    error = errno;
    reason = strerror(error);
  } else if (!S_ISREG(st.st_mode)) {
    error = ENOENT;  // refused as if the file were not there
    reason = "not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > limit) {
    error = EFBIG;
    reason = "larger than " + std::to_string(limit) + " bytes";
  }
  if (error == 0) {
    last_failure.clear();
    return fd;
  }
  close(fd);
  errno = error;
  failure_note(host_path, reason.c_str());
  return -1;
}

// Reads an open file into out and closes it: all of it, refused past `max` (EFBIG: it grew since it
// was opened, or said less than it holds), or with `prefix` its first `max` bytes. False (errno
// set, the failure noted, out empty) when it cannot be read.
static bool open_file_read(int fd, const std::string& host_path, uint64_t max, bool prefix, std::string* out) {
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_size > 0)
    out->reserve(static_cast<size_t>(std::min(max, static_cast<uint64_t>(st.st_size))));
  char buffer[65536];
  int error = 0;
  while (!prefix || out->size() < max) {
    size_t want = prefix ? static_cast<size_t>(std::min<uint64_t>(sizeof buffer, max - out->size())) : sizeof buffer;
    ssize_t n = read(fd, buffer, want);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (out->size() + static_cast<size_t>(n) > max) {
      error = EFBIG;
      break;
    }
    out->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (error == 0) return true;
  errno = error;
  failure_note(host_path, error == EFBIG ? "larger than its bound" : strerror(error));
  out->clear();
  return false;
}

bool host_file_read(const std::string& host_path, uint64_t limit, std::string* out) {
  out->clear();
  int fd = host_file_open(host_path, limit);
  return fd >= 0 && open_file_read(fd, host_path, limit, false, out);
}

bool host_file_read_prefix(const std::string& host_path, size_t max, std::string* out) {
  out->clear();
  int fd = host_file_open(host_path, UINT64_MAX);
  return fd >= 0 && open_file_read(fd, host_path, max, true, out);
}

size_t file_line_length(std::string_view text, size_t max) {
  size_t n = std::min(text.size(), max);
  size_t newline = text.substr(0, n).find('\n');
  return newline == std::string_view::npos ? n : newline + 1;
}

static std::string join_host(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// A folder's names, read once and kept until the folder changes (its identity or modification
// time). Resolving a name then costs one stat of its folder, hit or miss; a miss of the loose step
// is the common case in a packaged game. The sound worker resolves paths too, hence the lock.
struct folder_names {
  dev_t device;
  ino_t inode;
  timespec modified;
  bool racy;  // listed too soon after the folder changed: read again next time
  std::unordered_set<std::string> exact;                       // host names
  std::unordered_map<std::string, std::string> by_lower_name;  // engine name lower-cased -> host name
};
static std::mutex folder_cache_lock;
static std::unordered_map<std::string, folder_names> folder_cache;
static constexpr size_t FOLDER_CACHE_LIMIT = 256;

// A listing taken soon after the folder changed may miss a change made within the same tick of
// the file system's clock, which leaves the folder's time as it was (ext4 on older kernels keeps
// jiffy-coarse times; FAT keeps 2 s). Such a listing serves the lookup that made it, and the next
// one reads the folder again.
static bool listed_too_soon(const timespec& modified) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  int64_t age_ns = (int64_t{now.tv_sec} - modified.tv_sec) * 1000000000 + (now.tv_nsec - modified.tv_nsec);
  return age_ns < 2000000000;
}

static bool same_folder(const folder_names& f, const struct stat& st) {
  return f.device == st.st_dev && f.inode == st.st_ino && f.modified.tv_sec == st.st_mtim.tv_sec &&
         f.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// The host name under which an engine name exists in a folder: as converted, as raw bytes, or
// case-blind. Empty when it does not exist there, or when the folder is no folder (folder_found
// tells which).
static std::string resolve_in_folder(const std::string& folder, const std::string& name, bool* folder_found = nullptr) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  struct stat st;
  if (folder_found) *folder_found = false;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
  if (folder_found) *folder_found = true;
  std::lock_guard<std::mutex> guard(folder_cache_lock);
  auto it = folder_cache.find(path);
  if (it == folder_cache.end() || it->second.racy || !same_folder(it->second, st)) {
    DIR* dir = opendir(path.c_str());
    if (!dir) {
      if (!is_absence(errno)) failure_note(path, strerror(errno), false);
      return std::string();
    }
    if (folder_cache.size() >= FOLDER_CACHE_LIMIT) folder_cache.clear();
    folder_names names{st.st_dev, st.st_ino, st.st_mtim, listed_too_soon(st.st_mtim), {}, {}};
    while (dirent* e = readdir(dir)) {
      names.exact.insert(e->d_name);
      names.by_lower_name.emplace(cp932_lower(engine_name(e->d_name)), e->d_name);
    }
    closedir(dir);
    it = folder_cache.insert_or_assign(path, std::move(names)).first;
  }
  const folder_names& names = it->second;
  std::string converted = host_name(name);
  if (names.exact.count(converted)) return converted;
  if (names.exact.count(name)) return name;
  auto found = names.by_lower_name.find(cp932_lower(name));
  return found == names.by_lower_name.end() ? std::string() : found->second;
}

// The host path, and whether resolving it found the file (false: certainly missing).
static std::string native_path(std::string_view engine_path, bool* found) {
  *found = true;
  bool absolute;
  std::vector<std::string> parts = split_components(engine_path, absolute);
  const std::string root = absolute ? "/" : "";
  if (parts.empty()) return absolute ? root : std::string(".");

  // Fast road: the folder part exists as written, and only the last name needs resolving.
  std::string folder = root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) folder = join_host(folder, host_name(parts[i]));
  const std::string& last = parts.back();
  if (last != "." && last != "..") {
    bool folder_found;
    std::string real = resolve_in_folder(folder, last, &folder_found);
    if (folder_found) {
      *found = !real.empty();
      return join_host(folder, real.empty() ? host_name(last) : real);
    }
  }

  // Each component in turn; once one is missing, the rest are converted as they stand.
  std::string host = root;
  bool resolving = true;
  for (const std::string& part : parts) {
    std::string real;
    if (part == "." || part == "..")
      real = part;
    else if (resolving)
      real = resolve_in_folder(host, part);
    if (real.empty()) {
      resolving = false;
      *found = false;
      real = host_name(part);
    }
    host = join_host(host, real);
  }
  return host;
}

std::string game_path_native(std::string_view engine_path) {
  bool found;
  return native_path(engine_path, &found);
}

FILE* game_fopen(std::string_view engine_path, const char* mode) {
  bool found;
  std::string host = native_path(engine_path, &found);
  if (mode[0] != 'r' || strchr(mode, '+')) return fopen(host.c_str(), mode);
  if (!found) {  // a read of what the folder does not hold: no open needed
    errno = ENOENT;
    return nullptr;
  }
  int fd = host_file_open(host, GAME_FILE_LIMIT);
  FILE* f = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (!f && fd >= 0) {
    failure_note(host, strerror(errno));
    close(fd);
  }
  return f;
}

bool game_path_stat(std::string_view engine_path, struct stat* st) {
  bool found;
  std::string host = native_path(engine_path, &found);
  return found && stat(host.c_str(), st) == 0;
}

bool game_path_is_dir(std::string_view engine_path) {
  struct stat st;
  return game_path_stat(engine_path, &st) && S_ISDIR(st.st_mode);
}

bool game_path_is_file(std::string_view engine_path) {
  struct stat st;
  return game_path_stat(engine_path, &st) && S_ISREG(st.st_mode);
}

std::string game_path_absolute(std::string_view engine_path) {
  char resolved[PATH_MAX];
  if (!realpath(game_path_native(engine_path).c_str(), resolved)) return std::string();
  return engine_name(resolved);
}

bool game_path_ends_with_separator(std::string_view path) { return !path.empty() && game_path_file_name(path).empty(); }

// Every lookup of a game file asks this, so it walks the name once without allocating.
bool game_name_confined(std::string_view name) {
  if (name.empty()) return true;
  bool drive = name.size() >= 2 && name[1] == ':' && (name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z';
  if (is_separator(name[0]) || drive) return false;
  size_t start = 0;
  for (size_t i = 0; i <= name.size();) {
    size_t step = i < name.size() && cp932_is_lead(static_cast<unsigned char>(name[i])) && i + 1 < name.size() ? 2 : 1;
    if (i == name.size() || (step == 1 && is_separator(name[i]))) {
      if (name.substr(start, i - start) == "..") return false;
      start = i + 1;
    }
    i += step;
  }
  return true;
}

std::string_view game_path_file_name(std::string_view path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size();) {
    size_t step = (cp932_is_lead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
    if (step == 1 && is_separator(path[i])) start = i + 1;
    i += step;
  }
  return path.substr(start);
}

std::string game_path_join(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!folder.empty() && !game_path_ends_with_separator(folder)) joined.push_back('\\');
  joined.append(name);
  return joined;
}

bool game_dir_list(std::string_view engine_path, std::vector<game_dir_entry>& entries) {
  entries.clear();
  std::string host = game_path_native(engine_path);
  DIR* dir = opendir(host.c_str());
  if (!dir) {
    if (!is_absence(errno)) failure_note(host, strerror(errno), false);
    return false;
  }
  while (dirent* e = readdir(dir)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    bool is_dir;
    if (e->d_type == DT_DIR) {
      is_dir = true;
    } else if (e->d_type == DT_REG) {
      is_dir = false;
    } else {
      struct stat st;  // unknown type or a link: ask for what it points to
      if (stat(join_host(host, e->d_name).c_str(), &st) != 0) continue;
      if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;
      is_dir = S_ISDIR(st.st_mode);
    }
    entries.push_back({engine_name(e->d_name), is_dir});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const game_dir_entry& a, const game_dir_entry& b) {
    int c = cp932_icmp(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return true;
}
