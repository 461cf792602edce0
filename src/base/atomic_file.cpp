#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/gamepath.h"

static bool write_all(int fd, const char* data, size_t size) {
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

// Fills a temporary file beside the target through fill(fd) and renames it over the target.
template <typename Fill>
static bool atomic_replace(std::string_view engine_path, Fill fill) {
  std::string target = game_path_native(engine_path);
  std::string temp = target + ".tmp-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fill(fd) && fsync(fd) == 0;
  // mkstemp makes the file private; a saved file gets the usual permissions.
  ok = fchmod(fd, 0644) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

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
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
