#include "base/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

// Temporary names are the target's name with a suffix unique to this process and call; O_EXCL
// keeps a stale file of a crashed run from being reused, and mode 0666 lets the umask decide.
static int open_temporary(const std::string& host_path, std::string& temp_path) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".tmp%ld-%u", static_cast<long>(getpid()), counter++);
    temp_path = host_path + suffix;
    int fd = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

static bool write_all(int fd, const char* p, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool atomic_file_write(const std::string& host_path, const void* data, size_t size) {
  std::string temp_path;
  int fd = open_temporary(host_path, temp_path);
  if (fd < 0) return false;
  bool ok = write_all(fd, static_cast<const char*>(data), size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp_path.c_str(), host_path.c_str()) == 0;
  if (!ok) unlink(temp_path.c_str());
  return ok;
}
