#include "base/gamepath.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

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

// Engine text of a host name: CP932 when it converts, else the raw bytes.
static std::string engine_name(const char* host) {
  std::string cp932;
  return utf8_to_cp932(host, cp932) ? cp932 : std::string(host);
}

static bool host_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

static std::string join_host(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Finds the entry of folder whose engine name equals name ignoring case; empty when none.
static std::string find_case_blind(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (dirent* e = readdir(dir)) {
    if (cp932_iequal(engine_name(e->d_name), name)) {
      found = e->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string game_path_native(std::string_view engine_path) {
  bool absolute;
  std::vector<std::string> parts = split_components(engine_path, absolute);
  // Fast road: the path exists as written, converted whole (one stat).
  std::string direct = absolute ? "/" : "";
  for (const std::string& part : parts) direct = join_host(direct, host_name(part));
  if (!direct.empty() && host_exists(direct)) return direct;
  std::string host = absolute ? "/" : "";
  bool resolving = true;  // once a component is missing, the rest are converted as they stand
  for (const std::string& part : parts) {
    std::string next;
    if (part == "." || part == "..") {
      next = join_host(host, part);
    } else if (!resolving) {
      next = join_host(host, host_name(part));
    } else {
      std::string converted = host_name(part);
      if (host_exists(join_host(host, converted))) {
        next = join_host(host, converted);
      } else if (host_exists(join_host(host, part))) {
        next = join_host(host, part);
      } else {
        std::string real = find_case_blind(host, part);
        if (real.empty()) {
          resolving = false;
          next = join_host(host, converted);
        } else {
          next = join_host(host, real);
        }
      }
    }
    host = std::move(next);
  }
  if (host.empty()) host = ".";
  return host;
}

FILE* game_fopen(std::string_view engine_path, const char* mode) {
  return fopen(game_path_native(engine_path).c_str(), mode);
}

bool game_path_stat(std::string_view engine_path, struct stat* st) {
  return stat(game_path_native(engine_path).c_str(), st) == 0;
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

bool game_path_ends_with_separator(std::string_view path) {
  if (path.empty()) return false;
  size_t last = 0;
  for (size_t i = 0; i < path.size();) {
    last = i;
    i += (cp932_is_lead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
  }
  return path.size() - last == 1 && is_separator(path[last]);
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
  if (!dir) return false;
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
