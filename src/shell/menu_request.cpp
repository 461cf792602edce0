#include "shell/menu_request.h"

#include <cstdio>
#include <cstring>

#include "base/atomic_file.h"
#include "base/gamepath.h"
#include "base/registry.h"
#include "save/loadsave_dialog.h"
#include "save/savefile.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/message_box.h"
#include "shell/setting_builtins.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/variables.h"

static system_request request = {0, 0, 0, 0};

static constexpr uint32_t BUSY_EVENT = 0x42629F01;
static constexpr int QUICK_SLOTS = 8;
// Slot numbers of the save files' naming: 10003 names the newest quick save (QuickNum), 10002 the
// one after it in the ring.
static constexpr int QUICK_SLOT_NEWEST = 10003, QUICK_SLOT_NEXT = 10002;

struct request_event {
  int code;
  uint32_t hash;
  int arguments;
};
static constexpr request_event events[] = {
    {1, 0xAAF02220, 0},  {3, 0x7CE76169, 0},  {91, 0x5399D3AF, 0}, {92, 0x57B19BF8, 0},
    {93, 0xAD050BFF, 0}, {94, 0xEDF9F4F1, 1}, {95, 0x4A6BF175, 0}, {96, 0x5CF65741, 0},
    {97, 0x2BF167D7, 0}, {98, 0xCA908215, 0}, {99, 0x24B05F59, 0},
};

uint32_t request_event_hash(int code, int* argument_count) {
  for (const request_event& e : events)
    if (e.code == code) {
      if (argument_count) *argument_count = e.arguments;
      return e.hash;
    }
  if (argument_count) *argument_count = 0;
  return 0;
}

int request_allowed(int code) {
  if (code == request.locked) return 0;
  request.busy = 1;
  return 1;
}

void request_queue(int code) {
  if ((code >= 92 && code <= 95) || !input_blocked()) request.pending = code;
}

void request_post(int code) {
  if (request_allowed(code)) request_queue(code);
}

int request_current() { return request.current; }
int request_pending() { return request.pending; }
void request_pending_clear() { request.pending = 0; }
int request_locked() { return request.locked; }
void request_lock_set(int code) { request.locked = code; }
void request_reset() { request = {0, 0, 0, 0}; }

void request_busy_event() {
  if (request.busy && request.locked) hook_fire(BUSY_EVENT, 0, 0);
  request.busy = 0;
}

// ---------------------------------------------------------------------------------------------
// Quick saves and loads, and the dialog ones

static const char* reg_a() { return reg_global_name(); }
static const char* reg_b() { return reg_local_name(); }

// A stored value outside the ring (a damaged or hand-edited store) would name no quick file, or a
// negative one: it is held to the ring and stored so, so the save files' naming agrees with it.
int quick_num_get() {
  int stored = reg_get_int(reg_a(), reg_b(), "QuickNum", 0);
  int held = stored < 0 ? 0 : stored >= QUICK_SLOTS ? QUICK_SLOTS - 1 : stored;
  if (held != stored) reg_set_int(reg_a(), reg_b(), "QuickNum", held);
  return held;
}

int quick_num_next(int newest) { return (newest + 1) % QUICK_SLOTS; }

// The magic is compared in a zeroed buffer one byte longer than the read, so the comparison ends
// inside it; only a full read can match.
save_file_state save_file_check(const std::string& path) {
  FILE* f = player_file_open(path);
  if (!f) return SAVE_FILE_MISSING;
  char head[sizeof SAVE_MAGIC + 1] = {};
  size_t got = fread(head, 1, sizeof SAVE_MAGIC, f);
  fclose(f);
  return got == sizeof SAVE_MAGIC && strcmp(head, SAVE_MAGIC) == 0 ? SAVE_FILE_OURS : SAVE_FILE_FOREIGN;
}


static int dialog_load() { return load_as_file() ? -1 : 0; }

static int dialog_save() {
  save_as_file();
  return 0;
}

static int quick_load() {
  std::string path = save_slot_path(QUICK_SLOT_NEWEST);
  if (quickload_failsafe_get() && !question_box("クイックロードします。よろしいですか？")) return 0;
  switch (save_file_check(path)) {
    case SAVE_FILE_MISSING: notice_box("クイックセーブされていません"); return 0;
    case SAVE_FILE_FOREIGN: notice_box("ロードに失敗しました"); return 0;
    case SAVE_FILE_OURS: break;
  }
  return savefile_load_take(path.c_str()) ? -1 : 0;
}

// The ring moves on only when the file was written: a failed write keeps QuickNum on the newest
// quick save that exists, and says so.
static int quick_save() {
  if (quicksave_failsafe_get() && !question_box("クイックセーブします。よろしいですか？")) return 0;
  int next = quick_num_next(quick_num_get());
  bool written = savefile_write(save_slot_path(QUICK_SLOT_NEXT).c_str());
  save_just_loaded_set(0);
  if (!written) {
    notice_box("クイックセーブに失敗しました");
    return 0;
  }
  reg_set_int(reg_a(), reg_b(), "QuickNum", next);
  notice_box("クイックセーブしました");
  return 0;
}

// ---------------------------------------------------------------------------------------------

static int request_serve(int code) {
  switch (code) {
    case REQUEST_LOAD_DIALOG: return dialog_load();
    case REQUEST_SAVE_DIALOG: return dialog_save();
    case REQUEST_QUICK_LOAD: return quick_load();
    case REQUEST_QUICK_SAVE: return quick_save();
    default: break;
  }
  int arguments = 0;
  uint32_t hash = request_event_hash(code, &arguments);
  if (!hash) return 0;
  if (arguments) push_int(reg_get_int(reg_a(), reg_b(), "WideMode", 0));
  hook_fire(hash, arguments, 0);
  return 0;
}

int request_dispatch() {
  if (request.locked || !request.pending) return 0;
  int code = request.pending;
  // Taken before it is served: a dialog or a box pumps messages, and a request queued meanwhile
  // is the next one, not lost under this one.
  request.current = code;
  request.pending = 0;
  file_failure_scope report_scope;
  return request_serve(code);
}
