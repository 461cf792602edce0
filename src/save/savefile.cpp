#include "save/savefile.h"

#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "base/memory.h"
#include "base/registry.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "save/eternal.h"
#include "text/message.h"
#include "save/thumbnail.h"
#include "save/value_blob.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/menu_request.h"
#include "shell/message_box.h"
#include "shell/mouse.h"
#include "sound/movie.h"
#include "sound/sound.h"
#include "text/message_log.h"
#include "vm/debug_log.h"
#include "vm/decode.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/variables.h"

static_assert(std::endian::native == std::endian::little, "the header is written as it lies in memory");
static_assert(sizeof(frame_record) == FRAME_RECORD_SIZE);
static_assert(SAVE_LOG_SIZE == MESSAGE_LOG_SIZE);

const char SAVE_MAGIC[16] = "VaskelSavV1.103";
// The snapshot call: its opcode, the built-in's hash and the argument count.
constexpr int32_t SNAPSHOT_CALL_SIZE = 8;

// The module state: the snapshot, the flags and the load.
static struct {
  bool initialised;
  save_header header;
  std::vector<frame_record> frames;  // empty: no snapshot to write
  var_table tables[3];
  int save_allowed, snapshot_allowed, just_loaded;
  std::string load_path;
  std::string load_bytes;  // the file checked when the load was taken; the restore takes these
  bool restored;  // the last restore took a file
  bool menu_open;  // between system_menu_begin and system_menu_end
  click_area* menu_aside;  // the click areas set aside by the system menu, and their thread
  int32_t menu_aside_thread;
  std::string file_buffer;
  blob_output blob_buffer;
} save;

staged_save::~staged_save() {
  for (auto& cells : this->cells) cells_release(&cells);
}

static void tables_release() {
  for (var_table& t : save.tables) var_table_clear(&t);
}

void save_module_reset() {
  for (var_table& t : save.tables) var_table_free(&t);
  click_area_chain_free(save.menu_aside);
  save.initialised = false;
  save.frames.clear();
  save.save_allowed = save.snapshot_allowed = save.just_loaded = 0;
  save.load_path.clear();
  save.load_bytes.clear();
  save.restored = false;
  save.menu_aside = nullptr;
  save.menu_open = false;
  save.file_buffer = std::string();
  save.blob_buffer = blob_output{};
  thumbnail_free();
}

void save_flags_reset() { save.save_allowed = save.snapshot_allowed = 0; }

void snapshot_reset() {
  if (!save.initialised) {
    memset(&save.header, 0, sizeof save.header);
    memcpy(save.header.magic, SAVE_MAGIC, sizeof SAVE_MAGIC);
    for (var_table& t : save.tables) var_table_init(&t, THREAD_TABLE_CAPACITY);
    save.initialised = true;
  } else {
    tables_release();
    memset(save.header.message_log, 0, sizeof save.header.message_log);
  }
  save.frames.clear();
  message_log_reset();
}

void snapshot_table_free(snapshot_table table) { var_table_free(&save.tables[table]); }

int save_allowed_get() { return save.save_allowed; }
void save_load_path_set(const char* path) {
  save.load_path = path;
  save.load_bytes.clear();
}
void save_just_loaded_set(int loaded) { save.just_loaded = loaded; }

// Reads and checks a file whole, as the restore will take it.
static bool savefile_check(const std::string& bytes, staged_save* staged) {
  return savefile_parse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), staged) &&
         savefile_objects_resolve(staged);
}

bool savefile_load_take(const char* path) {
  std::string bytes;
  if (!player_file_read(path, &bytes)) return false;
  staged_save staged;
  if (!savefile_check(bytes, &staged)) {
    warning_box("セーブデータが壊れているため、ロードできませんでした");
    return false;
  }
  save.load_path = path;
  save.load_bytes = std::move(bytes);
  run_state_set(RUN_LOAD);
  save.just_loaded = 1;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Slots

std::string save_slot_path(int slot) {
  char name[64];
  if (slot < 0 || slot == SLOT_LAST) {
    snprintf(name, sizeof name, "savedata\\vaskel_last.sav");
  } else if (slot <= 9999) {
    snprintf(name, sizeof name, "savedata\\vaskel_%04d.sav", slot);
  } else {
    int64_t quick = reg_get_int(reg_global_name(), reg_local_name(), "QuickNum", 0);
    // The ring of eight quick slots, counted back from the newest; never a negative remainder.
    int64_t k = ((quick - slot + 10011) % 8 + 8) % 8;
    snprintf(name, sizeof name, "savedata\\vaskel_quick%d.sav", static_cast<int>(k));
  }
  return save_path(name);
}

// The first bytes of a slot's file when it carries the magic.
static bool slot_header_read(int slot, char* out, size_t size) {
  FILE* f = player_file_open(save_slot_path(slot));
  if (!f) return false;
  bool ok = fread(out, 1, size, f) == size && memcmp(out, SAVE_MAGIC, sizeof SAVE_MAGIC) == 0;
  fclose(f);
  return ok;
}

std::string savefile_title(int slot) {
  char head[16 + 128];
  if (!slot_header_read(slot, head, sizeof head)) return "";
  return std::string(head + 16, strnlen(head + 16, 127));
}

std::string savefile_date(int slot) {
  char head[16];
  struct stat st;
  if (!slot_header_read(slot, head, sizeof head) || !game_path_stat(save_slot_path(slot), &st)) return "";
  struct tm t;
  localtime_r(&st.st_mtime, &t);
  char text[64];
  snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.tm_year % 100, t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min, t.tm_sec);
  return text;
}

thumbnail savefile_thumbnail_load(int slot) {
  thumbnail t;
  std::string bytes;
  if (!player_file_read(save_slot_path(slot), &bytes)) return t;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  save_header h;
  if (bytes.size() < sizeof h || memcmp(data, SAVE_MAGIC, sizeof SAVE_MAGIC) != 0) return t;
  memcpy(&h, data, sizeof h);
  uint64_t n = uint64_t(std::max(h.thumbnail_width, 0)) * uint64_t(std::max(h.thumbnail_height, 0)) * 3;
  if (n == 0 || n > THUMBNAIL_MAX_BYTES || n > bytes.size() - sizeof h) return t;
  t.width = h.thumbnail_width, t.height = h.thumbnail_height;
  t.pixels.assign(data + sizeof h, data + sizeof h + n);
  return t;
}

// ---------------------------------------------------------------------------------------------
// Snapshot

const char* snapshot_title() { return save.header.title; }

// At most 127 bytes of the title, cut before a double-byte character that would not fit whole.
static void title_set(const char* text) {
  size_t n = 0;
  while (text[n]) {
    size_t len = cp932_char_len(text + n);
    if (n + len > sizeof save.header.title - 1) break;
    n += len;
  }
  memset(save.header.title, 0, sizeof save.header.title);
  memcpy(save.header.title, text, n);
}

static int32_t relative(const uint8_t* address, const uint8_t* start) {
  return address ? static_cast<int32_t>(address - start) : 0;
}

static frame_record frame_record_make(const call_frame& f) {
  frame_record r{};
  const uint8_t* start = nullptr;
  if (f.code && code_block_lookup(f.code)) {
    start = reinterpret_cast<const uint8_t*>(code_block_last[0].lo);
    // Only the name: what lies behind its NUL in memory stays out of the file.
    if (script_object* o = object_find_by_address(f.code)) memcpy(r.name, o->name, strnlen(o->name, sizeof r.name - 1));
  }
  if (start) {
    r.code = relative(f.code, start);
    r.labels[0] = relative(f.decide_label, start);
    r.labels[1] = relative(f.cancel_label, start);
    r.labels[2] = relative(f.middle_label, start);
    r.back = relative(f.back_label, start);
    r.redirect = relative(f.end_label, start);
  }
  r.base = f.base, r.top = f.top, r.drop_result = f.drop_result, r.line = f.line;
  return r;
}

static void snapshot_take() {
  script_thread* t = thread_find(0);
  if (!t) return;
  tables_release();
  save.frames.clear();
  save_header& h = save.header;
  memcpy(h.magic, SAVE_MAGIC, sizeof SAVE_MAGIC);
  h.depth = t->depth;
  int32_t stack_count = t->frames[t->depth].top;
  std::span<const value_cell> live[3] = {{var_global.cells, size_t(var_global.count)},
                                         {t->vars.cells, size_t(t->vars.count)},
                                         {t->stack, size_t(stack_count)}};
  for (auto cells : live) blob_marks_clear(cells);
  for (int k = 0; k < 3; ++k)
    for (const value_cell& c : live[k]) snapshot_copy(&save.tables[k], &c);
  h.global_count = save.tables[0].count;
  h.thread_count = save.tables[1].count;
  h.stack_count = save.tables[2].count;
  for (int32_t i = 0; i <= t->depth; ++i) save.frames.push_back(frame_record_make(t->frames[i]));
  sound_save_state(h);
  h.resume_value = console_is_enabled();
  memcpy(h.message_log, message_log_bytes(), sizeof h.message_log);
  save.frames.back().code -= SNAPSHOT_CALL_SIZE;
}

int builtin_save_snapshot(int32_t n, int32_t drop) {
  int32_t base = vm_frame->top - n;
  if (n >= 1 && builtin_arg(1)->type == TYPE_STRING) title_set(builtin_arg_text(1));
  // The stack is taken with the call's arguments on it: a restore runs the same call again.
  if (save.snapshot_allowed && save.save_allowed) snapshot_take();
  push_int(0);
  builtin_finish(base, vm_frame->top, drop);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Writing

static void frame_record_put(std::string* out, const frame_record& r) {
  std::vector<uint8_t> words;
  for (int32_t v : {r.code, r.base, r.top, r.drop_result, r.line, r.labels[0], r.labels[1], r.labels[2], r.back,
                    r.redirect})
    put_le32(&words, static_cast<uint32_t>(v));
  out->append(r.name, sizeof r.name);
  out->append(words.begin(), words.end());
}

// The file is built in buffers that keep their size from one save to the next, so that a save
// does not fault in fresh memory for every file. *fits is false when the values would not fit the
// file's 32-bit fields (the bytes are then empty).
static const std::string& savefile_build(bool* fits) {
  std::string& bytes = save.file_buffer;
  blob_output& blob = save.blob_buffer;
  bytes.clear(), blob.cells.clear(), blob.blob.clear();
  *fits = true;
  if (save.frames.empty()) return bytes;
  const thumbnail& thumb = thumbnail_get();
  std::span<const value_cell> tables[3];
  for (int k = 0; k < 3; ++k) tables[k] = {save.tables[k].cells, size_t(save.tables[k].count)};
  if (!(*fits = value_blob_write(tables, &blob))) return bytes;

  save_header h = save.header;
  h.thumbnail_width = thumb.width;
  h.thumbnail_height = thumb.height;
  h.blob_size = static_cast<int32_t>(blob.blob.size());
  bytes.reserve(sizeof h + thumb.pixels.size() + FRAME_RECORD_SIZE * save.frames.size() + blob.cells.size() +
                blob.blob.size());
  bytes.append(reinterpret_cast<const char*>(&h), sizeof h);
  bytes.append(thumb.pixels.begin(), thumb.pixels.end());
  for (const frame_record& r : save.frames) frame_record_put(&bytes, r);
  bytes.append(blob.cells.begin(), blob.cells.end());
  bytes.append(blob.blob.begin(), blob.blob.end());
  return bytes;
}

std::string savefile_bytes() {
  bool fits;
  return savefile_build(&fits);
}

bool savefile_write(const char* path, write_folder where) {
  // A save that writes nothing says why in the text log (written in development mode only):
  // otherwise a game's maker sees no more than that nothing happened.
  if (loadsave_disabled()) {
    debug_log_append("セーブしません：環境ファイルの LOADSAVEDISABLE が 1 です");
    return false;
  }
  bool fits;
  const std::string& bytes = savefile_build(&fits);
  // Values past what a file can hold would come back damaged: the slot keeps what it holds.
  if (!fits) {
    debug_log_append("セーブしません：変数の文字列と配列が合わせて 2GB を超えています");
    error_box_fatal("ファイルの書き込みでエラーが発生しました");
    return false;
  }
  // Without a snapshot there is nothing that could be loaded: the slot keeps what it holds.
  if (bytes.empty()) {
    debug_log_append(
        "セーブしません：スナップショットがありません（save_snapshot は save_unlock と snapshot_unlock "
        "の後に呼ばれたときだけ記録します）");
    return false;
  }
  std::string target = path;
  folder_create(save_path("savedata"));
  std::string why;
  bool ok = atomic_file_write(target, bytes.data(), bytes.size(), where, &why);
  // The box says which file failed and why, as the box of a refused read does; a read the save
  // met on its way (a folder it could not list) is not what the box reports.
  if (!ok) {
    file_failure_take();
    error_box_fatal("ファイルの書き込みでエラーが発生しました\n(%s)", why.c_str());
  }
  system_file_save();
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Reading

bool savefile_parse(const uint8_t* data, size_t size, staged_save* out) {
  if (size < sizeof(save_header) || memcmp(data, SAVE_MAGIC, sizeof SAVE_MAGIC) != 0) return false;
  auto h = std::make_unique<save_header>();
  memcpy(h.get(), data, sizeof *h);
  // Texts end within their fields and the unused words stay zero, whatever the file held.
  h->title[sizeof h->title - 1] = '\0';
  h->music_file[sizeof h->music_file - 1] = h->music_loop[sizeof h->music_loop - 1] = '\0';
  for (auto& slot : h->sound_slots) slot.file[sizeof slot.file - 1] = slot.loop[sizeof slot.loop - 1] = '\0';
  h->zero_1712 = 0;
  memset(h->zero_1720, 0, sizeof h->zero_1720);
  memset(h->zero_1744, 0, sizeof h->zero_1744);
  memset(h->zero_1860, 0, sizeof h->zero_1860);
  size_t at = sizeof *h;
  auto take = [&](uint64_t n) {  // the next n bytes, when the file holds them
    if (n > size - at) return static_cast<const uint8_t*>(nullptr);
    const uint8_t* p = data + at;
    at += static_cast<size_t>(n);
    return p;
  };

  if (h->depth < 0 || h->depth >= FRAME_COUNT) return false;
  if (h->thumbnail_width != 0) {
    if (h->thumbnail_width < 0 || h->thumbnail_height < 1) return false;
    uint64_t n = uint64_t(h->thumbnail_width) * uint64_t(h->thumbnail_height) * 3;
    const uint8_t* p = n <= THUMBNAIL_MAX_BYTES ? take(n) : nullptr;
    if (!p) return false;
    out->thumbnail.assign(p, p + n);
  }
  const uint8_t* frames = take(uint64_t(h->depth + 1) * FRAME_RECORD_SIZE);
  if (!frames) return false;
  for (int32_t i = 0; i <= h->depth; ++i) {
    frame_record r;
    memcpy(&r, frames + size_t(i) * FRAME_RECORD_SIZE, sizeof r);
    if (!memchr(r.name, 0, sizeof r.name)) return false;
    out->frames.push_back(r);
  }
  int32_t counts[3] = {h->global_count, h->thread_count, h->stack_count};
  const uint8_t* saved[3];
  for (int k = 0; k < 3; ++k)
    if (counts[k] < 0 || !(saved[k] = take(uint64_t(counts[k]) * SAVED_CELL_SIZE))) return false;
  const uint8_t* blob = h->blob_size >= 0 ? take(uint64_t(h->blob_size)) : nullptr;
  if (!blob) return false;

  // The stack bounds of every frame lie in the saved stack; the top frame ends it.
  int32_t stack_count = counts[2];
  for (const frame_record& r : out->frames)
    if (r.base < 1 || r.base > r.top || r.top > stack_count) return false;
  if (out->frames.back().top != stack_count) return false;

  blob_reader reader(blob, size_t(h->blob_size));
  static const int16_t scopes[3] = {SCOPE_GLOBAL, SCOPE_THREAD, SCOPE_LOCAL};
  for (int k = 0; k < 3; ++k)
    if (!reader.read_cells(saved[k], size_t(counts[k]), scopes[k], &out->cells[k])) return false;
  out->header = std::move(h);
  return true;
}

// A position relative to the code start is where an instruction starts (the code's end included:
// the guard returns there).
static bool position_valid(int32_t position, const script_object* o) {
  return position >= 0 && static_cast<uint32_t>(position) <= o->code_size && decode_is_instruction_start(o->code + position);
}

bool savefile_objects_resolve(staged_save* save_file) {
  for (const frame_record& r : save_file->frames) {
    char file[OBJECT_NAME_SIZE];
    if (!r.name[0] || !object_name_make(r.name, file) || !data_file_exists(file)) return false;
    script_object* o = object_load(r.name);
    if (!position_valid(r.code, o) || !position_valid(r.back, o) || !position_valid(r.redirect, o)) return false;
    for (int32_t label : r.labels)
      if (label > 0 && !position_valid(label, o)) return false;
    save_file->objects.push_back(o);
  }
  return true;
}

static uint8_t* absolute(script_object* o, int32_t position) { return o->code + position; }

// Thread 0 of the reset VM takes the staged frames, variables and stack; the globals follow.
static void staged_apply(staged_save* s) {
  script_thread* t = thread_find(0);
  auto& cells = s->cells;
  var_table_free(&t->vars);
  var_table_init(&t->vars, static_cast<int32_t>(cells[1].size()) + THREAD_TABLE_CAPACITY);
  for (const value_cell& c : cells[1]) *var_table_append(&t->vars) = c;
  for (int32_t i = 0; i < t->frames[t->depth].top; ++i) value_release(&t->stack[i]);
  free(t->stack);
  t->stack_capacity = static_cast<int32_t>(cells[2].size()) + THREAD_TABLE_CAPACITY;
  t->stack = static_cast<value_cell*>(mem_alloc(sizeof(value_cell) * size_t(t->stack_capacity)));
  memcpy(t->stack, cells[2].data(), sizeof(value_cell) * cells[2].size());
  for (const value_cell& c : cells[0]) *var_table_append(&var_global) = c;
  for (auto& c : cells) c.clear();  // the VM owns them now

  t->depth = static_cast<int32_t>(s->frames.size()) - 1;
  for (size_t i = 0; i < s->frames.size(); ++i) {
    const frame_record& r = s->frames[i];
    script_object* o = s->objects[i];
    call_frame& f = t->frames[i];
    memset(&f, 0, sizeof f);
    f.code = absolute(o, r.code);
    f.base = r.base, f.top = r.top, f.drop_result = r.drop_result, f.line = r.line;
    uint8_t** labels[3] = {&f.decide_label, &f.cancel_label, &f.middle_label};
    for (int k = 0; k < 3; ++k)
      if (r.labels[k] > 0) *labels[k] = absolute(o, r.labels[k]);
    if (r.back) f.back_label = absolute(o, r.back);
    if (r.redirect) f.end_label = absolute(o, r.redirect);
  }
  save.header = *s->header;
  thumbnail t_new;
  if (s->header->thumbnail_width) {
    t_new.width = s->header->thumbnail_width, t_new.height = s->header->thumbnail_height;
    t_new.pixels = std::move(s->thumbnail);
  }
  thumbnail_set(std::move(t_new));
  thread_switch(t);
  line_read_mark();
}

void savefile_restore() {
  save.restored = false;
  std::string bytes = std::move(save.load_bytes);
  save.load_bytes.clear();
  staged_save staged;
  // Checked again: an object may have been recompiled since the load was taken.
  if ((!bytes.empty() || player_file_read(save.load_path, &bytes)) && savefile_check(bytes, &staged) &&
      thread_find(0)) {
    staged_apply(&staged);
    save.restored = true;
  }
  tables_release();
  save.frames.clear();
  save.save_allowed = save.snapshot_allowed = 1;
  message_log_restore(save.header.message_log, sizeof save.header.message_log);
  if (script_thread* t = thread_find(0)) thread_switch(t);
  menu_refresh();
}

void savefile_sound_restore() {
  if (save.restored) sound_load_state(save.header);
}

int32_t resume_value_get() { return save.restored ? save.header.resume_value : 0; }

// ---------------------------------------------------------------------------------------------
// Built-ins

static int result(int32_t v) {
  push_int(v);
  return 0;
}

static bool is_last_slot(int slot) { return slot < 0 || slot == SLOT_LAST; }

int builtin_save_to_slot(int32_t, int32_t) {
  int slot = builtin_arg_int(1);
  if (save.save_allowed) {
    // The first save to the last-save file after a load would only write back what was loaded.
    if (!is_last_slot(slot) || !save.just_loaded) savefile_write(save_slot_path(slot).c_str());
    save.just_loaded = 0;
  } else {
    debug_log_append("save_to_slot : セーブしません：セーブが禁止されています（save_unlock が呼ばれていません）");
  }
  return result(0);
}

int builtin_load_from_slot(int32_t, int32_t) {
  std::string path = save_slot_path(builtin_arg_int(1));
  if (!game_path_is_file(path) || !savefile_load_take(path.c_str())) return result(-1);
  save.save_allowed = save.snapshot_allowed = 1;
  request_reset();
  click_area_chain_free(save.menu_aside);
  save.menu_aside = nullptr;
  save.menu_open = false;
  movie_close();
  return result(0);
}

int builtin_save_delete(int32_t, int32_t) {
  int slot = builtin_arg_int(1);
  if (slot >= 0 && slot <= 9999) player_file_delete(save_slot_path(slot));
  return result(-1);  // always: scripts have only ever seen -1
}

int builtin_save_title_get(int32_t, int32_t) {
  push_string(savefile_title(builtin_arg_int(1)).c_str());
  return 0;
}

int builtin_save_date_get(int32_t, int32_t) {
  push_string(savefile_date(builtin_arg_int(1)).c_str());
  return 0;
}

int builtin_save_title_current(int32_t, int32_t) {
  push_string(snapshot_title());
  return 0;
}

int builtin_datetime_string(int32_t, int32_t) {
  time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  char text[32];
  snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_year % 100, t.tm_hour,
           t.tm_min, t.tm_sec);
  push_string(text);
  return 0;
}

int builtin_thumbnail_capture(int32_t n, int32_t) {
  page* source = n >= 3 ? page_from_id(static_cast<uint32_t>(builtin_arg_int(3))) : front_page_get();
  int32_t w = builtin_arg_int(1), h = builtin_arg_int(2);
  if (!source || source->is_8bit || w < 1 || h < 1)
    thumbnail_free();
  else
    thumbnail_set(thumbnail_sample(source, 0, 0, source->width, source->height, w, h));
  return result(0);
}

int builtin_thumbnail_draw(int32_t, int32_t) {
  page* target = page_from_id(static_cast<uint32_t>(builtin_arg_int(1)));
  bool drawn = target && thumbnail_put(thumbnail_get(), target, builtin_arg_int(2), builtin_arg_int(3), false);
  return result(drawn ? 0 : -1);
}

int builtin_save_thumbnail_draw(int32_t, int32_t) {
  page* target = page_from_id(static_cast<uint32_t>(builtin_arg_int(2)));
  if (!target) return result(-1);
  thumbnail t = savefile_thumbnail_load(builtin_arg_int(1));
  return result(t.width && thumbnail_put(t, target, builtin_arg_int(3), builtin_arg_int(4), false) ? 0 : -1);
}

int builtin_make_thumbnail(int32_t, int32_t) {
  page* source = page_from_id(static_cast<uint32_t>(builtin_arg_int(1)));
  page* target = page_from_id(static_cast<uint32_t>(builtin_arg_int(6)));
  if (!source || !target) {
    script_error("make_thumbnail: 作成元ページが存在しません");
    return result(0);
  }
  if (source->is_8bit || target->is_8bit) {
    script_error("make_thumbnail: 24Bitのみのサポートです");
    return result(0);
  }
  thumbnail t = thumbnail_sample(source, builtin_arg_int(2), builtin_arg_int(3), builtin_arg_int(4), builtin_arg_int(5),
                                 builtin_arg_int(9), builtin_arg_int(10));
  thumbnail_put(t, target, builtin_arg_int(7), builtin_arg_int(8), true);
  return result(0);
}

// A chain of click areas is freed; frames that pointed into it stop pointing there.
static void click_chain_drop(script_thread* t, click_area* chain) {
  for (click_area* a = chain; a; a = a->next)
    for (int32_t i = 0; i <= t->depth; ++i)
      for (click_area*& link : t->frames[i].input_links)
        if (link == a) link = nullptr;
  click_area_chain_free(chain);
}

int builtin_system_menu_begin(int32_t, int32_t) {
  int current = request_current();
  request_lock_set(current ? current : 9999);
  request_pending_clear();
  movie_hide();
  if (!save.menu_open) {
    save.menu_open = true;
    save.menu_aside = vm_thread->input_regions;
    save.menu_aside_thread = vm_thread->id;
    vm_thread->input_regions = nullptr;
  }
  return result(0);
}

int builtin_system_menu_end(int32_t, int32_t) {
  request_lock_set(0);
  movie_show();
  request_pending_clear();
  if (!save.menu_open) return result(0);
  save.menu_open = false;
  script_thread* owner = thread_find(save.menu_aside_thread);
  if (owner) {
    click_chain_drop(owner, owner->input_regions);
    owner->input_regions = save.menu_aside;
  } else {
    click_area_chain_free(save.menu_aside);
  }
  save.menu_aside = nullptr;
  return result(0);
}

int builtin_snapshot_lock(int32_t, int32_t) {
  int previous = save.snapshot_allowed;
  save.snapshot_allowed = 0;
  return result(previous);
}

int builtin_snapshot_unlock(int32_t, int32_t) {
  save.snapshot_allowed = 1;
  return result(0);
}

int builtin_save_lock(int32_t, int32_t) {
  int previous = save.save_allowed;
  save.save_allowed = 0;
  menu_refresh();
  return result(previous);
}

int builtin_save_unlock(int32_t, int32_t) {
  save.save_allowed = 1;
  menu_refresh();
  return result(0);
}

int builtin_is_save_locked(int32_t, int32_t) { return result(save.save_allowed ? 0 : 1); }
