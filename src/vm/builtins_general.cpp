#include "vm/builtins_general.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/cp932.h"
#include "base/int32.h"
#include "base/random.h"
#include "graphics/page.h"
#include "graphics/page_grid.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "platform/platform.h"
#include "shell/message_box.h"
#include "vm/debug_log.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/skip.h"
#include "vm/variables.h"

// ---------------------------------------------------------------------------------------------
// Argument text and the log line

void format_args_text(int32_t n, char* out) {
  std::string text;
  char piece[64];
  for (int32_t k = 1; k <= n && text.size() < ARGS_TEXT_SIZE; ++k) {
    const value_cell* c = builtin_arg(k);
    switch (c->type) {
      case TYPE_INT:
        snprintf(piece, sizeof piece, "%d ", c->i);
        text += piece;
        break;
      case TYPE_FLOAT:  // the largest float takes 47 bytes as "%f "
        snprintf(piece, sizeof piece, "%f ", static_cast<double>(c->f));
        text += piece;
        break;
      case TYPE_STRING:
        text += c->s ? c->s->text : "";
        text += ' ';
        break;
      case TYPE_INT_ARRAY:
        text += "[INT_ARRAY] ";
        break;
      case TYPE_FLOAT_ARRAY:
        text += "[FIXED_ARRAY] ";
        break;
      case TYPE_STRING_ARRAY:
        text += "[STRING_ARRAY] ";
        break;
      default:
        break;
    }
  }
  cp932_copy(out, ARGS_TEXT_SIZE, text);
}

int builtin_debug_print(int32_t n, int32_t) {
  char text[ARGS_TEXT_SIZE];
  format_args_text(n, text);
  debug_log_append(text);
  push_int(0);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Message boxes

// The button that answers 1: OK, Yes or Retry by the style's buttons; none for OK-only boxes.
static int affirmative_answer(unsigned style) {
  switch (style & MB_BUTTON_MASK) {
    case MB_OKCANCEL: return IDOK;
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return -1;
  }
}

// Skip and auto off, the screen brought up to date, then the box of the argument text.
static int script_box(int32_t n, unsigned style) {
  skip_mode_set(0);
  sprite_update_all();
  char text[ARGS_TEXT_SIZE];
  format_args_text(n, text);
  int answer = styled_box(style, text);
  return answer == affirmative_answer(style) ? 1 : 0;
}

static int plain_box(int32_t n, unsigned style) {
  push_int(script_box(n, style));
  return 0;
}

// Error boxes are logged first and stay away in the silent report mode, where they answer as if
// the affirmative button (or OK) had been pressed.
static int error_box(int32_t n, unsigned style) {
  if (error_report_mode_get() == 1) {
    push_int((style & MB_BUTTON_MASK) == MB_OK ? 0 : 1);
    return 0;
  }
  char text[ARGS_TEXT_SIZE];
  format_args_text(n, text);
  debug_log_append(text);
  int result = script_box(n, style);
  skip_mode_set(0);
  push_int(result);
  return 0;
}

int builtin_msgbox_ok(int32_t n, int32_t) { return plain_box(n, MB_OK); }
int builtin_msgbox_okcancel(int32_t n, int32_t) { return plain_box(n, MB_OKCANCEL); }
int builtin_msgbox_yesno(int32_t n, int32_t) { return plain_box(n, MB_YESNO); }
int builtin_msgbox_retrycancel(int32_t n, int32_t) { return plain_box(n, MB_RETRYCANCEL); }
int builtin_msgbox_warning_ok(int32_t n, int32_t) { return plain_box(n, MB_ICONWARNING | MB_OK); }
int builtin_msgbox_warning_okcancel(int32_t n, int32_t) { return plain_box(n, MB_ICONWARNING | MB_OKCANCEL); }
int builtin_msgbox_warning_yesno(int32_t n, int32_t) { return plain_box(n, MB_ICONWARNING | MB_YESNO); }
// The engine has always shown this one with the question icon.
int builtin_msgbox_warning_retrycancel(int32_t n, int32_t) { return plain_box(n, MB_ICONQUESTION | MB_RETRYCANCEL); }
int builtin_msgbox_question_ok(int32_t n, int32_t) { return plain_box(n, MB_ICONQUESTION | MB_OK); }
int builtin_msgbox_question_okcancel(int32_t n, int32_t) { return plain_box(n, MB_ICONQUESTION | MB_OKCANCEL); }
int builtin_msgbox_question_yesno(int32_t n, int32_t) { return plain_box(n, MB_ICONQUESTION | MB_YESNO); }
int builtin_msgbox_error_ok(int32_t n, int32_t) { return error_box(n, MB_ICONERROR | MB_OK); }
int builtin_msgbox_error_okcancel(int32_t n, int32_t) { return error_box(n, MB_ICONERROR | MB_OKCANCEL); }
int builtin_msgbox_error_yesno(int32_t n, int32_t) { return error_box(n, MB_ICONERROR | MB_YESNO); }
int builtin_msgbox_error_retrycancel(int32_t n, int32_t) { return error_box(n, MB_ICONERROR | MB_RETRYCANCEL); }

// ---------------------------------------------------------------------------------------------
// Front page

static int32_t page_handle(const page* p) { return p ? static_cast<int32_t>(p->id) : 0; }

int builtin_frontbuffer_get(int32_t, int32_t) {
  push_int(page_handle(front_page_get()));
  return 0;
}

int builtin_set_frontbuffer(int32_t, int32_t) {
  page* old = front_page_get();
  int32_t id = builtin_arg_int(1);
  if (page_missing(static_cast<uint32_t>(id))) {
    script_error("set_frontbuffer : ページが存在しません");
    push_int(page_handle(old));
    return 0;
  }
  page* p = page_from_id(static_cast<uint32_t>(id));
  if (old && !old->persistent) {
    if (page_grid* g = page_grid_find(old)) g->users--;
  }
  // The page's grid gains a user; a page without one gets it from front_page_set, with one user.
  if (page_grid* g = page_grid_find(p)) g->users++;
  front_page_set(p);
  mark_dirty_rect(p, page_rect{0, 0, p->width, p->height});
  push_int(page_handle(old));
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Numbers and the clock

int builtin_random_int(int32_t, int32_t) {
  int32_t n = builtin_arg_int(1);
  if (n == 0) {
    script_error("乱数の種に０が指定されました。");
    push_int(0);
    return 0;
  }
  // engine_rand is never negative, so the remainder lies in 0..|n|-1 (INT32_MIN included).
  push_int(engine_rand() % n);
  return 0;
}

int builtin_random_real(int32_t, int32_t) {
  int r;
  do r = engine_rand();
  while (r == ENGINE_RAND_MAX);
  push_float(static_cast<float>(r / 32767.0));
  return 0;
}

int builtin_clock_ms(int32_t, int32_t) {
  push_int(vm_time_get());
  return 0;
}

// value x elapsed / duration, the elapsed time held to the duration. The distance wraps as the
// 32-bit clock does (a start just before the wrap is a moment ago), then its size and the product
// are taken in 64 bits, so neither can overflow.
int builtin_clock_lerp(int32_t, int32_t) {
  int64_t duration = builtin_arg_int(2), value = builtin_arg_int(3);
  int64_t elapsed = llabs(i32_sub(vm_time_get(), builtin_arg_int(1)));
  if (elapsed > duration) elapsed = duration;
  push_int(duration > 0 ? static_cast<int32_t>(value * elapsed / duration) : static_cast<int32_t>(value));
  return 0;
}

// Ties keep the earlier value. A single argument is its own maximum and minimum.
static int fold_ints(int32_t n, bool larger) {
  int32_t best = builtin_arg_int(1);
  for (int32_t k = 2; k <= n; ++k) {
    int32_t v = builtin_arg_int(k);
    if (larger ? v > best : v < best) best = v;
  }
  push_int(best);
  return 0;
}

int builtin_ints_max(int32_t n, int32_t) { return fold_ints(n, true); }
int builtin_ints_min(int32_t n, int32_t) { return fold_ints(n, false); }

int builtin_int_abs(int32_t, int32_t) {
  int32_t x = builtin_arg_int(1);
  push_int(x < 0 ? i32_neg(x) : x);  // -2147483648 stays itself, as it always did
  return 0;
}
