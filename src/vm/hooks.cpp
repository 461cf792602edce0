#include "vm/hooks.h"

#include <cstdlib>
#include <vector>

#include "base/cp932.h"
#include "base/hash.h"
#include "base/list.h"
#include "base/memory.h"
#include "shell/devtools.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

// Module state: the list and the keep flag.
static struct {
  event_hook_entry* head = nullptr;
  event_hook_entry* tail = nullptr;
  bool keep = false;
} hooks;

const event_hook_entry* hook_list_head() { return hooks.head; }

// ---------------------------------------------------------------------------------------------
// The list

static event_hook_entry* hook_new(uint32_t key, uint8_t* code) {
  auto* h = static_cast<event_hook_entry*>(mem_alloc(sizeof(event_hook_entry)));
  *h = {vm_thread ? vm_thread->id : 0, 0, key, code, nullptr, nullptr};
  return h;
}

// Links h in before `at` (null: at the tail).
static void hook_link(event_hook_entry* h, event_hook_entry* at) { list_insert_before(hooks.head, hooks.tail, h, at); }

static void hook_unlink_free(event_hook_entry* h) {
  list_unlink(hooks.head, hooks.tail, h);
  free(h);
}

// Frees (unless kept) every hook that the predicate selects. The next hook is taken before the
// current one goes, so the walk never reads a freed record.
template <typename Pred>
static void hooks_free_where(Pred selected) {
  if (hooks.keep) return;
  for (event_hook_entry *h = hooks.head, *next; h; h = next) {
    next = h->next;
    if (selected(h)) hook_unlink_free(h);
  }
}

void hook_list_keep(int flag) { hooks.keep = flag != 0; }

void hook_list_mark_all() {
  for (event_hook_entry* h = hooks.head; h; h = h->next) h->persistent = 1;
}

void hook_list_purge() {
  hooks_free_where([](const event_hook_entry* h) { return !h->persistent; });
}

void ReleaseEventAll() {
  for (event_hook_entry* h = hooks.head; h; h = h->next) h->persistent = 0;
  hooks_free_where([](const event_hook_entry*) { return true; });
}

void hook_list_drop_thread(int32_t id) {
  hooks_free_where([id](const event_hook_entry* h) { return h->owner == id && !h->persistent; });
}

// ---------------------------------------------------------------------------------------------
// Firing

namespace {
// Cells moved off the current frame with their references, deepest first. Whatever is still
// held when the holder goes is released, so the fatal road of a too-deep frame leaks nothing.
struct moved_cells {
  std::vector<value_cell> cells;
  // Takes the top n cells of the current frame (never cells of the frames below).
  explicit moved_cells(int32_t n) {
    if (!vm_thread || n <= 0) return;
    call_frame* f = vm_frame;
    if (n > f->top - f->base) n = f->top - f->base;
    int32_t from = f->top - n;
    cells.assign(vm_thread->stack + from, vm_thread->stack + f->top);
    f->top = from;
  }
  ~moved_cells() {
    for (value_cell& c : cells) value_release(&c);
  }
  moved_cells(const moved_cells&) = delete;
  moved_cells& operator=(const moved_cells&) = delete;
  int32_t count() const { return static_cast<int32_t>(cells.size()); }
  // Pushes a copy of every cell, then their count, on the current frame.
  void push_copies() const {
    for (const value_cell& c : cells) {
      value_cell v;
      value_copy(&v, &c);
      stack_push_value(&v);
    }
    push_int(count());
  }
};
}  // namespace

// Opens a frame on thread t that runs the handler with copies of the arguments; the frame that
// was current on t drops the handler's result.
static void hook_frame_push(script_thread* t, uint8_t* code, const moved_cells& args) {
  script_thread* previous = thread_switch(t);
  vm_frame->drop_result = 1;
  call_frame* f = frame_push(t);
  args.push_copies();
  f->base = f->top;
  f->code = code;
  thread_switch(previous);
}

void hook_fire(uint32_t key, int32_t n, int32_t push0) {
  moved_cells args(n);
  if (push0 && vm_thread) push_int(0);
  for (event_hook_entry *h = hooks.head, *next; h; h = next) {
    next = h->next;
    if (h->key != key) continue;
    if (script_thread* owner = thread_find(h->owner))
      hook_frame_push(owner, h->code, args);
    else if (!hooks.keep && !h->persistent)
      hook_unlink_free(h);  // its thread has ended
  }
}

void hook_fire_thread(uint32_t key, int32_t id, int32_t n, int32_t push0) {
  moved_cells args(n);
  if (push0 && vm_thread) push_int(0);
  script_thread* t = thread_find(id);
  if (!t) return;
  for (event_hook_entry* h = hooks.tail; h; h = h->prev)
    if (h->key == key) hook_frame_push(t, h->code, args);
}

// ---------------------------------------------------------------------------------------------
// Built-ins

// Pops the given built-in arguments (never more than the frame holds).
static void builtin_pop(int32_t count) {
  for (int32_t i = 0; i < count && vm_frame->top > vm_frame->base; ++i) stack_pop();
}

// event_hook_add(name, function hash), event_hook_add_first(...): a hook of the current thread.
static int hook_add(bool first) {
  uint32_t key = crc32_string(builtin_arg_text(1));
  uint8_t* code = function_find(static_cast<uint32_t>(builtin_arg_int(2)));
  hook_link(hook_new(key, code), first ? hooks.head : nullptr);
  push_int(0);
  return 0;
}
int builtin_event_hook_add(int32_t, int32_t) { return hook_add(false); }
int builtin_event_hook_add_first(int32_t, int32_t) { return hook_add(true); }

int builtin_event_hook_remove(int32_t, int32_t) {
  uint32_t key = crc32_string(builtin_arg_text(1));
  uint8_t* code = function_find(static_cast<uint32_t>(builtin_arg_int(2)));
  int32_t owner = vm_thread->id;
  hooks_free_where([&](const event_hook_entry* h) {
    return h->owner == owner && h->key == key && h->code == code && !h->persistent;
  });
  push_int(0);
  return 0;
}

// A self-cleaning call without what it needs does nothing: its result is an int 0, or nothing.
static int builtin_nothing(int32_t n, int32_t drop) {
  builtin_pop(n);
  builtin_finish(vm_frame->top, vm_frame->top, drop);
  return 0;
}

// event_call(name, arguments...): the arguments go to the handlers; the call's result is an int 0
// when it is kept and nothing when it is dropped.
int builtin_event_call(int32_t n, int32_t drop) {
  if (n < 1) return builtin_nothing(n, drop);
  uint32_t key = crc32_string(builtin_arg_text(1));
  builtin_pop(1);
  hook_fire(key, n - 1, !drop);
  return 0;
}

// event_call_thread(thread id or -1 for the current one, name, arguments...).
int builtin_event_call_thread(int32_t n, int32_t drop) {
  if (n < 2) return builtin_nothing(n, drop);
  int32_t id = builtin_arg_int(1);
  if (id == -1) id = vm_thread->id;
  uint32_t key = crc32_string(builtin_arg_text(2));
  builtin_pop(2);
  hook_fire_thread(key, id, n - 2, !drop);
  return 0;
}

// The object name argument, as the loader takes it (259 bytes at most).
constexpr size_t OBJECT_ARG_SIZE = 260;

// The object calls: the object is entered like a script call, with the remaining arguments as its
// parameters; its result replaces them in the caller, or is dropped.
enum object_call_kind { CALL_ENTRY, CALL_FUNCTION, CALL_FUNCTION_NAMED };

static int object_call(int32_t n, int32_t drop, object_call_kind kind) {
  char name[OBJECT_ARG_SIZE];
  cp932_copy(name, sizeof name, builtin_arg_text(1));
  int32_t taken = 1;
  uint32_t hash = 0;
  if (kind != CALL_ENTRY) {
    hash = kind == CALL_FUNCTION ? static_cast<uint32_t>(builtin_arg_int(2)) : crc32_string(builtin_arg_text(2));
    taken = 2;
  }
  builtin_pop(taken < n ? taken : n);
  int32_t argc = n > taken ? n - taken : 0;

  call_frame* caller = vm_frame;
  caller->drop_result = drop;
  push_int(argc);
  call_frame* callee = frame_push(vm_thread);
  caller->top -= argc + 1;  // the arguments and their count belong to the callee now

  LoadObject(name);
  script_object* o = object_load(name);
  if (kind == CALL_ENTRY) {
    if (o->entry_offset == OBJECT_NO_ENTRY) {
      script_error("[%s]実行関数が設定されていません。", name);
      callee->code = nullptr;  // returns at once
    } else {
      callee->code = o->code + o->entry_offset;
    }
  } else {
    callee->code = o->code;  // inside the object, so that its functions are found first
    callee->code = function_find(hash);
  }
  return 0;
}
int builtin_object_enter(int32_t n, int32_t drop) { return object_call(n, drop, CALL_ENTRY); }
int builtin_object_call_function(int32_t n, int32_t drop) { return object_call(n, drop, CALL_FUNCTION); }
int builtin_object_call_function_named(int32_t n, int32_t drop) { return object_call(n, drop, CALL_FUNCTION_NAMED); }

// object_exec(name, arguments...), object_exec_function(hash, arguments...): the current thread
// starts over in the object's entry function or in the function, with the remaining arguments as
// its parameters and nothing below them; it yields and runs the new code on its next turn.
static int thread_replace(int32_t n, bool object) {
  char name[OBJECT_ARG_SIZE];
  cp932_copy(name, sizeof name, builtin_arg_text(1));
  uint32_t hash = static_cast<uint32_t>(builtin_arg_int(1));
  builtin_pop(n >= 1 ? 1 : 0);
  moved_cells args(n - 1);
  if (object) {
    LoadObject(name);
    object_entry_set(name);
  } else {
    thread_reset(vm_thread);
    vm_frame->code = function_find(hash);
  }
  for (value_cell& c : args.cells) stack_push_value(&c);  // the references move back
  push_int(args.count());
  args.cells.clear();
  vm_frame->base = vm_frame->top;
  run_state_set(RUN_YIELD);
  return 0;
}
int builtin_object_exec(int32_t n, int32_t) { return thread_replace(n, true); }
int builtin_object_exec_function(int32_t n, int32_t) { return thread_replace(n, false); }

script_thread* thread_start(int32_t n) {
  uint8_t* code = function_find(static_cast<uint32_t>(builtin_arg_int(1)));
  // Arguments n .. 2, deepest first, become the new thread's parameters n - 1 .. 1.
  std::vector<value_cell> params;
  for (int32_t k = n; k >= 2; --k) {
    value_cell v;
    value_copy(&v, builtin_arg(k));
    params.push_back(v);
  }
  script_thread* t = thread_create(-1);
  script_thread* caller = thread_switch(t);
  vm_frame->code = code;
  for (value_cell& v : params) stack_push_value(&v);  // the copies' references move
  push_int(static_cast<int32_t>(params.size()));
  vm_frame->base = vm_frame->top;
  thread_switch(caller);
  push_int(t->id);
  return t;
}

int builtin_thread_start(int32_t n, int32_t) {
  thread_start(n);
  return 0;
}

int builtin_thread_start_child(int32_t n, int32_t) {
  script_thread* parent = vm_thread;
  thread_start(n)->end_link = parent;
  return 0;
}
