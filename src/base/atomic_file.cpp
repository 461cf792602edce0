#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool atomic_file_write(std::string_view engine_path, const void* data, size_t size) {
  std::string target = game_path_native(engine_path);
  std::string temp = target + ".tmp-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = write_all(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
  // mkstemp makes the file private; a saved file gets the usual permissions.
  ok = fchmod(fd, 0644) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
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
