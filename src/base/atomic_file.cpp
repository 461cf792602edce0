#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "base/gamepath.h"
#include "vm/debug_log.h"

namespace {

constexpr char TEMP_MARK[] = ".tmp-";
constexpr size_t TEMP_LETTERS = 6;
constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A new temporary file beside the target: created exclusively, so an existing name or a link is
// never opened, and with 0666 for the kernel to mask with the umask.
int temp_create(const std::string& target, std::string* temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char noise[TEMP_LETTERS];
    if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) return -1;
    *temp = target + TEMP_MARK;
    for (unsigned char c : noise) temp->push_back(LETTERS[c % (sizeof LETTERS - 1)]);
    int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Whether a folder entry is a temporary file of the writer's own pattern.
bool is_temp_name(std::string_view name) {
  size_t mark = sizeof TEMP_MARK - 1;
  if (name.size() <= mark + TEMP_LETTERS) return false;
  std::string_view tail = name.substr(name.size() - mark - TEMP_LETTERS);
  if (tail.substr(0, mark) != TEMP_MARK) return false;
  for (char c : tail.substr(mark))
    if (!memchr(LETTERS, c, sizeof LETTERS - 1)) return false;
  return true;
}

// Fills a temporary file beside the target through fill(fd) and renames it over the target.
template <typename Fill>
bool atomic_replace(std::string_view engine_path, Fill fill) {
  std::string target = game_path_native(engine_path);
  std::string temp;
  int fd = temp_create(target, &temp);
  if (fd < 0) return false;
  bool ok = fill(fd) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

bool atomic_file_write(std::string_view engine_path, const void* data, size_t size) {
  return atomic_replace(engine_path, [&](int fd) { return write_all(fd, static_cast<const char*>(data), size); });
}

bool atomic_file_copy(std::string_view engine_path, FILE* source) {
  return atomic_replace(engine_path, [&](int fd) {
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, source)) > 0)
      if (!write_all(fd, buffer, n)) return false;
    return ferror(source) == 0;
  });
}

bool folder_create(std::string_view engine_path) {
  std::string native = game_path_native(engine_path);
  for (size_t i = 1; i <= native.size(); ++i) {
    if (i < native.size() && native[i] != '/') continue;
    std::string part = native.substr(0, i);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int atomic_file_sweep(std::string_view engine_folder) {
  DIR* dir = opendir(game_path_native(engine_folder).c_str());
  if (!dir) return 0;
  int removed = 0;
  while (dirent* e = readdir(dir)) {
    struct stat st;
    if (!is_temp_name(e->d_name) || fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    removed += unlinkat(dirfd(dir), e->d_name, 0) == 0;
  }
  closedir(dir);
  return removed;
}

FILE* player_file_open(std::string_view engine_path) { return game_fopen(engine_path, "rb"); }

bool player_file_read(std::string_view engine_path, std::string* out) {
  return host_file_read(game_path_native(engine_path), GAME_FILE_LIMIT, out);
}

std::string player_file_set_aside(std::string_view engine_path) {
  time_t now = time(nullptr);
  tm local;
  localtime_r(&now, &local);
  char stamp[32];
  strftime(stamp, sizeof stamp, ".damaged-%Y%m%d-%H%M%S", &local);
  std::string from = game_path_native(engine_path);
  for (int n = 1; n < 100; ++n) {
    std::string suffix = n == 1 ? stamp : stamp + ("-" + std::to_string(n));
    std::string to = from + suffix;
    // Never over an earlier damaged copy.
    int moved = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL && access(to.c_str(), F_OK) != 0) moved = rename(from.c_str(), to.c_str());
    if (moved == 0) {
      std::string kept = std::string(engine_path) + suffix;
      std::string line = "破損したファイル[" + std::string(engine_path) + "]を[" + kept + "]として残しました";
      debug_log_append(line.c_str());
      fprintf(stderr, "vaskrun: %s was damaged; kept as %s\n", from.c_str(), to.c_str());
      return kept;
    }
    if (errno != EEXIST) break;
  }
  fprintf(stderr, "vaskrun: %s is damaged and could not be set aside: %s\n", from.c_str(), strerror(errno));
  return std::string();
}
