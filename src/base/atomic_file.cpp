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

#include "base/cp932.h"
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

// A new temporary file beside the target (in the folder open as dir): created exclusively, so an
// existing name or a link is never opened, and with 0666 for the kernel to mask with the umask.
int temp_create(int dir, const std::string& target, std::string* temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char noise[TEMP_LETTERS];
    if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) return -1;
    *temp = target + TEMP_MARK;
    for (unsigned char c : noise) temp->push_back(LETTERS[c % (sizeof LETTERS - 1)]);
    int fd = openat(dir, temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Whether a folder entry is a temporary file of the writer's own pattern (of the file named stem,
// when one is given).
bool is_temp_name(std::string_view name, std::string_view stem) {
  size_t mark = sizeof TEMP_MARK - 1;
  if (name.size() <= mark + TEMP_LETTERS) return false;
  if (!stem.empty() && (name.size() != stem.size() + mark + TEMP_LETTERS || !name.starts_with(stem))) return false;
  std::string_view tail = name.substr(name.size() - mark - TEMP_LETTERS);
  if (tail.substr(0, mark) != TEMP_MARK) return false;
  for (char c : tail.substr(mark))
    if (!memchr(LETTERS, c, sizeof LETTERS - 1)) return false;
  return true;
}

// What a refused folder keeps from being done, for its report.
struct folder_action {
  const char* text;    // stderr
  const char* engine;  // the text log
};
constexpr folder_action WRITE = {"not written", "書き込みませんでした"};
constexpr folder_action SET_ASIDE = {"not set aside", "退避しませんでした"};
constexpr folder_action DELETE = {"not deleted", "削除しませんでした"};

// Why a game's folder is refused: after "is" on stderr and in a box, before "ため" in the log.
struct folder_refusal {
  const char* text;
  const char* engine;
};
constexpr folder_refusal LINK = {"a symbolic link", "シンボリックリンクの"};
constexpr folder_refusal NOT_A_FOLDER = {"not a folder", "フォルダではない"};
constexpr folder_refusal NOT_OWN = {"not a folder of this user's own", "このユーザーのフォルダではない"};

// The host folder of a target and the target's name in it.
struct target_place {
  std::string folder, name;
};
target_place place_of(const std::string& native) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return {".", native};
  return {native.substr(0, slash == 0 ? 1 : slash), native.substr(slash + 1)};
}

// Opens a folder to work in (access O_PATH to create, rename and delete there, O_RDONLY to list
// it). A game's folder is taken only when it is a real folder of the user's own; otherwise the
// refusal is reported with what it keeps from being done to `name`, and `why` (when given) becomes
// "<folder>: <refusal>" in engine text. -1 when it cannot be used (errno is the system's reason
// when the folder was not refused).
int folder_open(const std::string& folder, write_folder where, int access, const std::string& name,
                const folder_action& action, std::string* why = nullptr) {
  bool game = where == FOLDER_GAME;
  int fd = open(folder.c_str(), access | O_DIRECTORY | O_CLOEXEC | (game ? O_NOFOLLOW : 0));
  int error = errno;
  struct stat st;
  const folder_refusal* refusal = nullptr;
  if (fd < 0) {
    // The open says ENOTDIR for a link and for a file alike: what lies there tells them apart.
    if (game && lstat(folder.c_str(), &st) == 0)
      refusal = S_ISLNK(st.st_mode) ? &LINK : !S_ISDIR(st.st_mode) ? &NOT_A_FOLDER : nullptr;
  } else if (game && (fstat(fd, &st) != 0 || st.st_uid != geteuid())) {
    refusal = &NOT_OWN;
    close(fd);
    fd = -1;
  }
  if (refusal) {
    std::string line = "[" + engine_name(folder.c_str()) + "]は" + refusal->engine + "ため、[" +
                       engine_name(name.c_str()) + "]を" + action.engine;
    debug_log_append(line.c_str());
    fprintf(stderr, "vaskrun: %s is %s; a game's folder is used only as a real folder of the user's own: %s %s\n",
            folder.c_str(), refusal->text, name.c_str(), action.text);
    if (why) *why = engine_name(folder.c_str()) + ": " + refusal->text;
  }
  errno = error;
  return fd;
}

// Says that a file was not written and why, on stderr and in the text log; `why` (when given)
// becomes "<file>: <reason>" in engine text.
void write_failure_report(const std::string& native, int error, std::string* why) {
  std::string file = engine_name(native.c_str()), reason = utf8_to_cp932_lenient(strerror(error));
  fprintf(stderr, "vaskrun: %s not written: %s\n", native.c_str(), strerror(error));
  debug_log_append(("[" + file + "]を書き込みませんでした：" + reason).c_str());
  if (why) *why = file + ": " + reason;
}

// Fills a temporary file beside the target through fill(fd) and renames it over the target. A
// failure is reported (the folder's refusal, or the system's reason for the step that failed).
template <typename Fill>
bool atomic_replace(std::string_view engine_path, write_folder where, std::string* why, Fill fill) {
  std::string native = game_path_native(engine_path);
  target_place at = place_of(native);
  std::string refused;
  int dir = folder_open(at.folder, where, O_PATH, at.name, WRITE, &refused);
  if (dir < 0) {
    if (refused.empty()) write_failure_report(native, errno, why);
    else if (why) *why = std::move(refused);
    return false;
  }
  // The first step that fails gives the reason; a step that sets no errno counts as an I/O error.
  int error = 0;
  auto failed = [&] { error = errno != 0 ? errno : EIO; };
  std::string temp;
  errno = 0;
  int fd = temp_create(dir, at.name, &temp);
  if (fd < 0) {
    failed();
  } else {
    if (!fill(fd) || fsync(fd) != 0) failed();
    if (close(fd) != 0 && error == 0) failed();
    if (error == 0 && renameat(dir, temp.c_str(), dir, at.name.c_str()) != 0) failed();
    if (error != 0) unlinkat(dir, temp.c_str(), 0);
  }
  close(dir);
  if (error != 0) write_failure_report(native, error, why);
  return error == 0;
}

}  // namespace

bool atomic_file_write(std::string_view engine_path, const void* data, size_t size, write_folder where,
                       std::string* why) {
  return atomic_replace(engine_path, where, why,
                        [&](int fd) { return write_all(fd, static_cast<const char*>(data), size); });
}

bool atomic_file_copy(std::string_view engine_path, FILE* source) {
  return atomic_replace(engine_path, FOLDER_USER, nullptr, [&](int fd) {
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

int atomic_file_sweep(std::string_view engine_folder, write_folder where, std::string_view stem) {
  std::string pattern = (stem.empty() ? "*" : std::string(stem)) + TEMP_MARK + "XXXXXX";
  int fd = folder_open(game_path_native(engine_folder), where, O_RDONLY, pattern, DELETE);
  if (fd < 0) return 0;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return 0;
  }
  int removed = 0;
  while (dirent* e = readdir(dir)) {
    struct stat st;
    if (!is_temp_name(e->d_name, stem) || fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
      continue;
    removed += unlinkat(fd, e->d_name, 0) == 0;
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
  target_place at = place_of(from);
  int dir = folder_open(at.folder, FOLDER_GAME, O_PATH, at.name, SET_ASIDE);
  if (dir < 0) return std::string();
  for (int n = 1; n < 100; ++n) {
    std::string suffix = n == 1 ? stamp : stamp + ("-" + std::to_string(n));
    std::string to = at.name + suffix;
    // Never over an earlier damaged copy.
    int moved = renameat2(dir, at.name.c_str(), dir, to.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL) {  // a file system without that flag
      struct stat st;
      if (fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        errno = EEXIST;
      else
        moved = renameat(dir, at.name.c_str(), dir, to.c_str());
    }
    if (moved == 0) {
      close(dir);
      std::string kept = std::string(engine_path) + suffix;
      std::string line = "破損したファイル[" + std::string(engine_path) + "]を[" + kept + "]として残しました";
      debug_log_append(line.c_str());
      fprintf(stderr, "vaskrun: %s was damaged; kept as %s\n", from.c_str(), (from + suffix).c_str());
      return kept;
    }
    if (errno != EEXIST) break;
  }
  fprintf(stderr, "vaskrun: %s is damaged and could not be set aside: %s\n", from.c_str(), strerror(errno));
  close(dir);
  return std::string();
}

bool player_file_delete(std::string_view engine_path) {
  target_place at = place_of(game_path_native(engine_path));
  int dir = folder_open(at.folder, FOLDER_GAME, O_PATH, at.name, DELETE);
  if (dir < 0) return false;
  bool deleted = unlinkat(dir, at.name.c_str(), 0) == 0;
  close(dir);
  return deleted;
}
