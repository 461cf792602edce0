#include "vm/textfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/decimal.h"
#include "base/gamepath.h"
#include "shell/capture.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

// Module state: the open handles by their numbers, and the next number to hand out.
static struct {
  std::map<int32_t, std::unique_ptr<text_file_handle>> open;
  int32_t next = 1;
  bool exit_close_registered = false;
} files;

static int32_t handle_add(std::unique_ptr<text_file_handle> h) {
  // Numbers count up and wrap before they turn negative, skipping live ones; never 0.
  while (files.open.count(files.next)) files.next = files.next == INT32_MAX ? 1 : files.next + 1;
  int32_t id = files.next;
  files.next = files.next == INT32_MAX ? 1 : files.next + 1;
  files.open[id] = std::move(h);
  return id;
}

text_file_handle* textfile_find(int32_t handle) {
  auto it = files.open.find(handle);
  return it == files.open.end() ? nullptr : it->second.get();
}

int32_t textfile_wrap(FILE* file, uint32_t size) {
  auto h = std::make_unique<text_file_handle>();
  h->file = file;
  h->left = size;
  return handle_add(std::move(h));
}

// A written file replaces the chosen one only once it is complete.
static void handle_close(text_file_handle* h) {
  if (!h->file) return;
  if (h->writing) {
    bool ok = fflush(h->file) == 0 && fsync(fileno(h->file)) == 0;
    ok = fclose(h->file) == 0 && ok;
    if (ok) ok = rename(h->temporary.c_str(), h->path.c_str()) == 0;
    if (!ok) unlink(h->temporary.c_str());
  } else {
    fclose(h->file);
  }
  h->file = nullptr;
}

bool textfile_close_handle(int32_t handle) {
  auto it = files.open.find(handle);
  if (it == files.open.end()) return false;
  handle_close(it->second.get());
  files.open.erase(it);
  return true;
}

void textfile_close_all() {
  for (auto& [id, h] : files.open) handle_close(h.get());
  files.open.clear();
  files.next = 1;
}

// ---------------------------------------------------------------------------------------------
// Lines, comments, fields

// Reads one line into out (NUL-terminated, at most TEXT_LINE_SIZE - 1 bytes, never ending inside
// a double-byte character); false when the file had nothing left.
static bool read_line(text_file_handle* h, char* out) {
  out[0] = '\0';
  if (!h->file || h->writing || h->left == 0) return false;
  size_t n = 0;
  bool trail_next = false, got_any = false;
  while (h->left > 0) {
    int c = getc(h->file);
    if (c == EOF) {
      h->left = 0;
      break;
    }
    got_any = true;
    h->left--;
    if (c == '\n') {
      if (n > 0 && out[n - 1] == '\r') n--;
      break;
    }
    bool lead = !trail_next && cp932_is_lead(static_cast<unsigned char>(c));
    if (lead && n + 2 > TEXT_LINE_SIZE - 1) {
      // The character does not fit: it starts the next piece.
      ungetc(c, h->file);
      h->left++;
      break;
    }
    trail_next = lead;
    out[n++] = static_cast<char>(c);
    if (n == TEXT_LINE_SIZE - 1 && !trail_next) break;
  }
  out[n] = '\0';
  return got_any;
}

// Cuts ";" or "//" and what follows, then trims bytes of 32 or less from both ends.
static std::string_view comment_cut_trim(std::string_view s) {
  for (size_t i = 0; i < s.size(); i += cp932_char_len(s.data() + i)) {
    if (s[i] == ';' || (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '/')) {
      s = s.substr(0, i);
      break;
    }
  }
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

static void pending_set(text_file_handle* h, std::string_view s) { cp932_copy(h->pending, TEXT_LINE_SIZE, s); }

// The next non-empty line with its comment cut and trimmed; false at the end of the file.
static bool next_content_line(text_file_handle* h, std::string& line) {
  char buffer[TEXT_LINE_SIZE];
  while (read_line(h, buffer)) {
    std::string_view text = comment_cut_trim(buffer);
    if (!text.empty() || h->keep_empty_lines) {
      line.assign(text);
      return true;
    }
  }
  return false;
}

bool textfile_next_field(text_file_handle* h, std::string& field) {
  field.clear();
  if (h->pending[0] == '\0') {
    std::string line;
    if (!next_content_line(h, line)) return false;
    pending_set(h, line);
  }
  std::string_view rest = h->pending;
  size_t comma = 0;
  while (comma < rest.size() && rest[comma] != ',') comma += cp932_char_len(rest.data() + comma);
  field.assign(comment_cut_trim(rest.substr(0, comma)));
  // A comma at the very end leaves a blank, so the empty last field is still read.
  std::string next = comma >= rest.size() ? "" : comma + 1 == rest.size() ? " " : std::string(rest.substr(comma + 1));
  pending_set(h, next);
  return true;
}

bool textfile_rest_of_line(text_file_handle* h, std::string& line) {
  if (h->pending[0] != '\0') {
    std::string_view text = comment_cut_trim(h->pending);
    line.assign(text);
    h->pending[0] = '\0';
    if (!line.empty()) return true;
  }
  if (next_content_line(h, line)) return true;
  line.clear();
  return false;
}

// ---------------------------------------------------------------------------------------------
// Built-ins

static text_file_handle* handle_arg(const char* builtin) {
  int32_t id = builtin_arg_int(1);
  text_file_handle* h = textfile_find(id);
  if (!h) script_error("%s : テキストファイルのハンドル(%d)が正しくありません", builtin, id);
  return h;
}

int builtin_textfile_create(int32_t, int32_t) {
  auto h = std::make_unique<text_file_handle>();
  h->writing = true;
  // An empty path is a cancelled dialog: the handle takes lines and writes nothing.
  std::string chosen = text_save_dialog(builtin_arg_text(1));
  if (!chosen.empty()) {
    h->path = game_path_native(chosen);
    h->temporary = h->path + ".part";
    // A piece left by a crash, or a link put in its place, is removed, never followed; the new file
    // gets the user's usual permissions.
    unlink(h->temporary.c_str());
    int fd = open(h->temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    h->file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !h->file) close(fd);
    if (!h->file) script_error("textfile_create : ファイル[%s]を作成できません", chosen.c_str());
  }
  if (!files.exit_close_registered) {
    atexit(textfile_close_all);
    files.exit_close_registered = true;
  }
  push_int(handle_add(std::move(h)));
  return 0;
}

// Lines end in "\r\n", as the engine's text files always did. A handle without a file (the user
// cancelled the dialog) takes the line and writes nothing.
int builtin_textfile_write_line(int32_t, int32_t) {
  text_file_handle* h = handle_arg("textfile_write_line");
  if (h && h->writing && h->file) {
    fputs(builtin_arg_text(2), h->file);
    fputs("\r\n", h->file);
  }
  push_int(h ? builtin_arg_int(1) : 0);
  return 0;
}

int builtin_textfile_open(int32_t, int32_t) {
  // A missing file asks Retry/Cancel until it opens; the size is that of the file it opened.
  uint32_t size = 0;
  FILE* f = Ffopen(builtin_arg_text(1), "rb", &size);
  push_int(textfile_wrap(f, size));
  return 0;
}

int builtin_textfile_close(int32_t, int32_t) {
  int32_t id = builtin_arg_int(1);
  if (!textfile_close_handle(id)) script_error("textfile_close : テキストファイルのハンドル(%d)が正しくありません", id);
  push_int(0);
  return 0;
}

int builtin_textfile_read_int(int32_t, int32_t) {
  text_file_handle* h = handle_arg("textfile_read_int");
  std::string field;
  push_int(h && textfile_next_field(h, field) ? decimal_to_int(field.c_str()) : 0);
  return 0;
}

int builtin_textfile_read_str(int32_t, int32_t) {
  text_file_handle* h = handle_arg("textfile_read_str");
  std::string field;
  if (!h || !textfile_next_field(h, field)) field.clear();
  std::string_view s = field;
  if (s.size() > 1 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  push_string(s.data(), s.size());
  return 0;
}

int builtin_textfile_read_line(int32_t, int32_t) {
  text_file_handle* h = handle_arg("textfile_read_line");
  std::string line;
  if (h) textfile_rest_of_line(h, line);
  push_string(line.data(), line.size());
  return 0;
}
