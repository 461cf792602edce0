#include "shell/mouse.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <iterator>

#include "base/int32.h"
#include "base/memory.h"
#include "graphics/presentation.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "shell/env_keys.h"
#include "shell/input.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

// The click-area slots of a call frame.
enum { SLOT_DECIDE = 0, SLOT_CANCEL = 1, SLOT_MIDDLE = 2, SLOT_WHEEL = 3 };
enum { LINK_CURRENT = 0, LINK_KEYBOARD = 1 };
constexpr int32_t RESTORE_POSITION = -10000;
constexpr int32_t SIDE_MARGIN = 16, NO_GAP = 9999;
constexpr int32_t CLICK_DISTANCE = 8;
constexpr int32_t CLICK_TIME_MS = 250;

// Drag handlers of one button, in the argument order of mouse_drag_params.
enum { ON_PRESS, ON_CLICK, ON_DOUBLE, ON_DRAG_START, ON_DRAG_MOVE, ON_DRAG_END, ON_CANCEL, DRAG_HANDLERS };
enum { DRAG_IDLE = 0, DRAG_AFTER_DOUBLE = 1, DRAG_DRAGGING = 2 };

struct drag_button {
  int32_t pressed;
  int32_t press_x, press_y;  // page coordinates of the button message
  uint32_t press_time, hold_time, click_hold_time, double_time, release_time;  // platform ms, 0 none
  int32_t state;
};
struct drag_record {
  int32_t x, y;  // page coordinates
  drag_button button[2];  // left, right
  int32_t cancel;
};

// Module state: mouse_drag_state and the cursor.
static struct {
  uint32_t every_poll, moved, wheel;
  uint32_t handlers[2][DRAG_HANDLERS];
  drag_record current, previous;
  bool confined;  // a button went down: positions are held to the game area until it comes up
  bool cursor_hidden;
} mouse;

void mouse_reset() {
  wndproc_handler_remove(mouse_drag_handler);
  mouse = {};
}

// ---------------------------------------------------------------------------------------------
// Services

static int result(int32_t value) {
  push_int(value);
  return 0;
}

// A self-cleaning built-in's first step: the arguments become its result 0 (or nothing).
static void result_first(int32_t n, int32_t drop) {
  int32_t base = vm_frame->top - n;
  push_int(0);
  builtin_finish(base, vm_frame->top, drop);
}

// Enters script function f with the arguments (first argument first); it runs once the built-in
// has returned. Its result is dropped when it returns, so a built-in may enter several functions
// (they run last-entered first) and the caller's stack still holds only the built-in's result.
static void script_enter(uint32_t f, std::initializer_list<int32_t> args) {
  if (!f) return;
  call_frame* caller = vm_frame;
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) push_int(*it);
  script_call_by_hash(f, static_cast<int32_t>(args.size()));
  caller->drop_result = 1;
}

static void area_enter(uint32_t f, const click_area* a) { script_enter(f, {a->id, a->x, a->y, a->width, a->height}); }

void click_area_chain_free(click_area* head) {
  while (head) {
    click_area* next = head->next;
    free(head);
    head = next;
  }
}

void cursor_hide() {
  if (mouse.cursor_hidden) return;
  plat().cursor_show(main_window_get(), false);
  mouse.cursor_hidden = true;
}

void cursor_restore() {
  if (!mouse.cursor_hidden) return;
  plat().cursor_show(main_window_get(), true);
  mouse.cursor_hidden = false;
}

int cursor_is_shown() { return mouse.cursor_hidden ? 0 : 1; }

void cursor_pos_get(int* x, int* y) {
  if (!plat().cursor_position(main_window_get(), *x, *y)) *x = *y = 0;
}

// ---------------------------------------------------------------------------------------------
// Simple queries

int builtin_mouse_x_get(int32_t, int32_t) { return result(mouse_x()); }
int builtin_mouse_y_get(int32_t, int32_t) { return result(mouse_y()); }

int builtin_mouse_buttons_get(int32_t, int32_t) {
  return result((input_is_pressed(BUTTON_DECIDE) ? 1 : 0) | (input_is_pressed(BUTTON_CANCEL) ? 2 : 0) |
                (input_is_pressed(BUTTON_MIDDLE) ? 4 : 0) | (input_is_pressed(BUTTON_WHEEL_FORWARD) ? 8 : 0) |
                (input_is_pressed(BUTTON_WHEEL_BACKWARD) ? 16 : 0));
}

int builtin_cursor_show(int32_t, int32_t) {
  int shown = cursor_is_shown();
  if (builtin_arg_int(1))
    cursor_restore();
  else
    cursor_hide();
  return result(shown);
}

int builtin_mouse_nop(int32_t, int32_t) { return result(0); }

// ---------------------------------------------------------------------------------------------
// Click areas

int builtin_click_area_clear(int32_t, int32_t) {
  click_area_chain_free(vm_thread->input_regions);
  vm_thread->input_regions = nullptr;
  call_frame* f = vm_frame;
  f->input_args[SLOT_DECIDE] = f->input_args[SLOT_CANCEL] = f->input_args[SLOT_MIDDLE] = 0;
  f->input_links[LINK_CURRENT] = f->input_links[LINK_KEYBOARD] = nullptr;
  skip_mode_set(0);
  input_take_press(BUTTON_WHEEL_FORWARD);
  input_take_press(BUTTON_WHEEL_BACKWARD);
  input_clear_last_key();
  mouse_used_set(1);
  return result(0);
}

// click_area_add(id, x, y, width, height, enter, leave, choose, [key]): arguments that were not
// passed read as 0.
int builtin_click_area_add(int32_t, int32_t) {
  auto* a = static_cast<click_area*>(mem_alloc(sizeof(click_area)));
  *a = click_area{};
  a->id = builtin_arg_int(1);
  a->x = builtin_arg_int(2), a->y = builtin_arg_int(3);
  a->width = builtin_arg_int(4), a->height = builtin_arg_int(5);
  a->enter = static_cast<uint32_t>(builtin_arg_int(6));
  a->leave = static_cast<uint32_t>(builtin_arg_int(7));
  a->choose = static_cast<uint32_t>(builtin_arg_int(8));
  a->key = builtin_arg_int(9);
  a->depth = vm_thread->depth;
  click_area** tail = &vm_thread->input_regions;
  while (*tail) tail = &(*tail)->next;
  *tail = a;
  return result(0);
}

int builtin_click_area_handlers_set(int32_t, int32_t) {
  for (int i = 0; i < 4; ++i) vm_frame->input_args[i] = builtin_arg_int(i + 1);
  return result(0);
}

static bool area_contains(const click_area* a, int32_t x, int32_t y) {
  return a->x <= x && int64_t{x} < int64_t{a->x} + a->width && a->y <= y && int64_t{y} < int64_t{a->y} + a->height;
}

// A frame's area links outlive a click_area_clear made by a deeper call: a link counts only while
// the area is still in the thread's list.
static click_area* area_listed(const script_thread* t, click_area* a) {
  for (click_area* b = t->input_regions; b; b = b->next)
    if (b == a) return a;
  return nullptr;
}

static void pointer_to_centre(const click_area* a, int32_t* mx, int32_t* my) {
  int32_t cx = a->x + a->width / 2, cy = a->y + a->height / 2;
  mouse_set_logical_pos(cx, cy);
  if (mx) *mx = cx, *my = cy;
}

enum direction { GO_LEFT, GO_UP, GO_RIGHT, GO_DOWN, GO_NONE };

static direction direction_of(int key) {
  switch (key) {
    case VK_LEFT: case VK_NUMPAD0 + 4: return GO_LEFT;
    case VK_UP: case VK_NUMPAD0 + 8: return GO_UP;
    case VK_RIGHT: case VK_NUMPAD0 + 6: return GO_RIGHT;
    case VK_DOWN: case VK_NUMPAD0 + 2: return GO_DOWN;
    default: return GO_NONE;
  }
}

// The area the arrow key leads to from cur: first among the areas that share more than half of
// either one's extent across the direction, then among any lying more than 16 pixels that way;
// the nearest wins, the first in list order on a tie.
static click_area* direction_target(const script_thread* t, const click_area* cur, direction dir) {
  bool across_x = dir == GO_LEFT || dir == GO_RIGHT;  // moving along x: overlap is measured on y
  bool backward = dir == GO_LEFT || dir == GO_UP;
  for (int pass = 0; pass < 2; ++pass) {
    click_area* best = nullptr;
    int64_t best_gap = NO_GAP;
    for (click_area* a = t->input_regions; a; a = a->next) {
      if (a->key == 0 || a->id == cur->id) continue;
      int64_t along_a = across_x ? a->x : a->y, along_c = across_x ? cur->x : cur->y;
      int64_t gap = backward ? along_c - along_a : along_a - along_c;
      if (pass == 0) {
        if (gap <= 0) continue;
        int64_t s1 = across_x ? cur->y : cur->x, n1 = across_x ? cur->height : cur->width;
        int64_t s2 = across_x ? a->y : a->x, n2 = across_x ? a->height : a->width;
        int64_t overlap = std::min(s1 + n1, s2 + n2) - std::max(s1, s2);
        if (overlap * 2 <= n1 && overlap * 2 <= n2) continue;
      } else if (gap <= SIDE_MARGIN) {
        continue;
      }
      if (gap < best_gap) best = a, best_gap = gap;
    }
    if (best) return best;
  }
  return nullptr;
}

// One selection step: makes at most one script call.
static void click_area_step(script_thread* t, call_frame* f) {
  int32_t mx = mouse_x(), my = mouse_y();
  bool decide = t->decide_key != 0, cancel = t->cancel_key != 0, middle = t->middle_key != 0;
  t->decide_key = t->cancel_key = t->middle_key = 0;
  int k = input_take_last_key();
  click_area*& current = f->input_links[LINK_CURRENT];
  click_area*& keyboard = f->input_links[LINK_KEYBOARD];
  current = area_listed(t, current);
  keyboard = area_listed(t, keyboard);

  if (mouse_used_get() == 0) {
    if (!current) {
      click_area* a = keyboard;
      for (click_area* b = t->input_regions; !a && b; b = b->next)
        if (b->key) a = b;
      current = keyboard = a;
      if (a) pointer_to_centre(a, &mx, &my);
    } else if (direction dir = direction_of(k); dir != GO_NONE) {
      if (click_area* a = direction_target(t, current, dir)) {
        current = keyboard = a;
        pointer_to_centre(a, nullptr, nullptr);
      }
    }
  } else {
    for (click_area* a = t->input_regions; a; a = a->next) a->key_selected = 0;
  }

  if (k == 0) {
    for (click_area* a = t->input_regions; a; a = a->next) {
      if (!a->key_selected) continue;
      if (k == 0 && area_contains(a, mx, my))
        k = a->key;
      else
        a->key_selected = 0;
    }
  }
  if (k != 0) {
    for (click_area* a = t->input_regions; a; a = a->next) {
      if (a->key != k) continue;
      current = a;
      keyboard = nullptr;
      pointer_to_centre(a, nullptr, nullptr);
      a->key_selected = 1;
      if (a->state != 0) decide = true;
    }
  }

  if (uint32_t wheel = static_cast<uint32_t>(f->input_args[SLOT_WHEEL])) {
    int32_t bits = (input_take_press(BUTTON_WHEEL_FORWARD) ? 1 : 0) | (input_take_press(BUTTON_WHEEL_BACKWARD) ? 2 : 0) |
                   (input_take_press(BUTTON_UP) ? 8 : 0) | (input_take_press(BUTTON_DOWN) ? 16 : 0) |
                   (input_take_press(BUTTON_EXTRA) ? 4 : 0);
    if (bits) return script_enter(wheel, {mx, my, bits});
  }

  if (decide) {
    for (click_area* a = t->input_regions; a; a = a->next) {
      if (a->depth < t->depth || a->state != 1) continue;
      area_enter(a->choose, a);
      a->state = 2;
      mouse_set_logical_pos(RESTORE_POSITION, RESTORE_POSITION);
      return;
    }
    if (uint32_t h = static_cast<uint32_t>(f->input_args[SLOT_DECIDE])) {
      script_enter(h, {mx, my});
      mouse_set_logical_pos(RESTORE_POSITION, RESTORE_POSITION);
      return;
    }
  }
  uint32_t cancel_handler = static_cast<uint32_t>(f->input_args[SLOT_CANCEL]);
  uint32_t middle_handler = static_cast<uint32_t>(f->input_args[SLOT_MIDDLE]);
  if ((cancel && cancel_handler) || (middle && middle_handler)) {
    script_enter(cancel && cancel_handler ? cancel_handler : middle_handler, {mx, my});
    mouse_set_logical_pos(RESTORE_POSITION, RESTORE_POSITION);
    return;
  }

  bool inside_one = false;
  for (click_area* a = t->input_regions; a; a = a->next) {
    if (a->state <= 0) continue;
    if (area_contains(a, mx, my)) {
      inside_one = true;
      continue;
    }
    if (mouse_used_get()) current = nullptr;
    area_enter(a->leave, a);
    a->state = 0;
    return;
  }
  if (inside_one) return;

  for (click_area* a = t->input_regions; a; a = a->next) {
    if (a->depth < t->depth || !area_contains(a, mx, my)) continue;
    current = a;
    keyboard = a->key ? a : nullptr;
    area_enter(a->enter, a);
    a->state = 1;
    return;
  }
}

int builtin_click_area_select(int32_t n, int32_t drop) {
  result_first(n, drop);
  click_area_step(vm_thread, vm_frame);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Drags

static uint32_t drag_clock() {
  uint32_t now = plat().clock_ms();
  return now == 0 ? 1 : now;
}

static void drag_records_clear() {
  mouse.current = drag_record{};
  mouse.previous = drag_record{};
}

// The engine confined the system pointer to the game area during a press; we hold the positions
// the drag sees to the game area instead, so the rest of the desktop is never locked.
static int32_t confine(int32_t v, int32_t size) { return v < 0 ? 0 : v >= size ? size - 1 : v; }

// Press positions are page coordinates like every other position the handlers get, so the click
// distance means the same however the window is zoomed or centred.
static void button_down(drag_button& b, intptr_t lparam, bool twice) {
  mouse.confined = true;
  b.pressed = 1;
  b.press_x = window_to_page_x(lparam_x(lparam));
  b.press_y = window_to_page_y(lparam_y(lparam));
  uint32_t now = drag_clock();
  if (twice) {
    b.double_time = now;
    b.state = DRAG_AFTER_DOUBLE;
  } else {
    b.press_time = b.hold_time = b.click_hold_time = now;
    b.state = DRAG_IDLE;
  }
  drag_record& r = mouse.current;
  if (r.button[0].pressed && r.button[1].pressed) {
    r.cancel = 1;
    r.button[0].pressed = r.button[1].pressed = 0;
  }
}

static void button_up(drag_button& b) {
  bool was_pressed = b.pressed != 0;
  b.pressed = 0;
  mouse.confined = mouse.current.button[0].pressed || mouse.current.button[1].pressed;
  if (!was_pressed) return;
  if (b.state == DRAG_AFTER_DOUBLE) {
    b.hold_time = b.click_hold_time = 0;
  } else if (b.state == DRAG_DRAGGING) {
    b.release_time = drag_clock();
    b.state = DRAG_IDLE;
  }
}

intptr_t mouse_drag_handler(window_handle window, uint32_t message, uintptr_t, intptr_t lparam) {
  drag_button* left = &mouse.current.button[0];
  drag_button* right = &mouse.current.button[1];
  switch (message) {
    case WM_LBUTTONDOWN: button_down(*left, lparam, false); break;
    case WM_RBUTTONDOWN: button_down(*right, lparam, false); break;
    case WM_LBUTTONDBLCLK: button_down(*left, lparam, true); break;
    case WM_RBUTTONDBLCLK: button_down(*right, lparam, true); break;
    case WM_LBUTTONUP: button_up(*left); break;
    case WM_RBUTTONUP: button_up(*right); break;
    case WM_MOUSEMOVE: break;
    default: return 0;
  }
  if (mouse.cursor_hidden) plat().cursor_show(window, false);
  return 0;
}

int builtin_mouse_drag_begin(int32_t, int32_t) {
  mouse.every_poll = static_cast<uint32_t>(builtin_arg_int(1));
  mouse.moved = static_cast<uint32_t>(builtin_arg_int(2));
  mouse.wheel = static_cast<uint32_t>(builtin_arg_int(3));
  drag_records_clear();
  mouse.current.x = mouse_x(), mouse.current.y = mouse_y();
  mouse.previous.x = mouse.current.x - 999, mouse.previous.y = mouse.current.y - 999;
  wndproc_handler_add(mouse_drag_handler);
  return result(0);
}

int builtin_mouse_drag_end(int32_t, int32_t) {
  wndproc_handler_remove(mouse_drag_handler);
  mouse.confined = false;
  return result(0);
}

static int drag_params(int button) {
  for (int i = 0; i < DRAG_HANDLERS; ++i) mouse.handlers[button][i] = static_cast<uint32_t>(builtin_arg_int(i + 1));
  return result(0);
}
int builtin_mouse_drag_params(int32_t, int32_t) { return drag_params(0); }
int builtin_mouse_drag_params2(int32_t, int32_t) { return drag_params(1); }

static bool moved_off(const drag_button& b, int32_t x, int32_t y) {
  return std::llabs(int64_t{x} - b.press_x) > CLICK_DISTANCE || std::llabs(int64_t{y} - b.press_y) > CLICK_DISTANCE;
}

static void drag_button_poll(int i, int32_t x, int32_t y) {
  drag_button& b = mouse.current.button[i];
  const drag_button& was = mouse.previous.button[i];
  const uint32_t* h = mouse.handlers[i];
  if (b.pressed && !was.pressed) script_enter(h[ON_PRESS], {x, y});
  if (b.double_time) {
    script_enter(h[ON_DOUBLE], {x, y});
    b.press_time = b.click_hold_time = b.double_time = 0;
  } else if (b.click_hold_time) {
    uint32_t held = static_cast<uint32_t>(drag_clock() - b.click_hold_time);
    if (moved_off(b, x, y) || held > static_cast<uint32_t>(CLICK_TIME_MS)) {
      if (b.pressed)
        b.state = DRAG_DRAGGING;
      else
        script_enter(h[ON_CLICK], {b.press_x, b.press_y});
      b.click_hold_time = 0;
    }
  }
  if (b.state == DRAG_DRAGGING) {
    if (was.state == DRAG_DRAGGING)
      script_enter(h[ON_DRAG_MOVE], {x, y});
    else
      script_enter(h[ON_DRAG_START], {b.press_x, b.press_y});
  }
  if (b.release_time) {
    script_enter(h[ON_DRAG_END], {x, y});
    b.release_time = b.press_time = 0;
    b.state = DRAG_IDLE;
  }
}

static void drag_step() {
  drag_record& cur = mouse.current;
  int cx, cy;
  cursor_pos_get(&cx, &cy);
  cur.x = window_to_page_x(cx), cur.y = window_to_page_y(cy);
  if (mouse.confined) cur.x = confine(cur.x, client_width()), cur.y = confine(cur.y, client_height());
  int32_t x = cur.x, y = cur.y;
  if (mouse.wheel) {
    int32_t bits = (input_take_press(BUTTON_WHEEL_FORWARD) ? 1 : 0) | (input_take_press(BUTTON_WHEEL_BACKWARD) ? 2 : 0) |
                   (input_take_press(BUTTON_EXTRA) ? 4 : 0);
    if (bits) script_enter(mouse.wheel, {x, y, bits});
  }
  if (cur.cancel) {
    for (int i = 0; i < 2; ++i) {
      const drag_button& was = mouse.previous.button[i];
      if (was.state == DRAG_DRAGGING) script_enter(mouse.handlers[i][ON_CANCEL], {was.press_x, was.press_y});
    }
    for (drag_record* r : {&mouse.current, &mouse.previous}) {
      r->button[0] = r->button[1] = drag_button{};
      r->cancel = 0;
    }
  } else {
    drag_button_poll(0, x, y);
    drag_button_poll(1, x, y);
  }
  int32_t left = cur.button[0].pressed, right = cur.button[1].pressed;
  if (x != mouse.previous.x || y != mouse.previous.y) script_enter(mouse.moved, {x, y, left, right});
  script_enter(mouse.every_poll, {x, y, left, right});
  mouse.previous = cur;
}

// The handlers' results are dropped as they return (see script_enter), so nothing more is pushed
// for them.
int builtin_mouse_drag_poll(int32_t n, int32_t drop) {
  result_first(n, drop);
  drag_step();
  return 0;
}
