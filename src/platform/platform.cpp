#include "platform/platform.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

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

// Held single-instance locks: name -> the open lock file.
static std::map<std::string, int> instance_locks;

static std::string instance_lock_folder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (runtime && *runtime && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return runtime;
  std::string folder = std::string(g_get_tmp_dir()) + "/vaskrun-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  return folder;
}

bool instance_lock_acquire(const std::string& name) {
  if (instance_locks.count(name)) return true;
  char hex[17];
  snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(crc64_string(name.c_str())));
  std::string path = instance_lock_folder() + "/vaskrun-" + hex + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
