#include "text/font.h"

#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/int32.h"
#include "base/gamepath.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "text/glyph.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/thread.h"
#include "vm/variables.h"

font_descriptor* font_stack_push(script_thread* thread) {
  font_descriptor* d = new font_descriptor(font_descriptor_default());
  d->previous = thread->font_stack;
  thread->font_stack = d;
  return d;
}

font_descriptor* font_stack_top(script_thread* thread) {
  return thread->font_stack ? thread->font_stack : font_stack_push(thread);
}

void font_stack_pop(script_thread* thread) {
  font_descriptor* d = thread->font_stack;
  if (!d) return;
  thread->font_stack = d->previous;
  delete d;
}

void font_stack_free(font_descriptor* top) {
  while (top) {
    font_descriptor* below = top->previous;
    delete top;
    top = below;
  }
}

static font_descriptor* current() { return font_stack_top(vm_thread); }

int builtin_set_font_quality(int32_t, int32_t) {
  font_quality_set(builtin_arg_int(1));
  push_int(0);
  return 0;
}

int builtin_font_cache_open(int32_t, int32_t) {
  font_cache_open(builtin_arg_text(1), builtin_arg_int(2), builtin_arg_int(3));
  push_int(0);
  return 0;
}

// The name lies in the game's folder (the folder the engine always ran in); one that is absolute
// or climbs out of it names no font of the game.
static std::string game_folder_path(const std::string& name) {
  if (!game_name_confined(name)) return std::string();
  return data_base_folder().empty() ? name : game_path_join(data_base_folder(), name);
}

int builtin_load_font(int32_t, int32_t) {
  std::string name = builtin_arg_text(1), path = game_folder_path(name);
  if (!game_path_is_file(path)) path = game_folder_path("font\\" + name);
  if (!game_path_is_file(path))
    script_error("load_font: ファイル[%s]が存在しません", name.c_str());
  else
    font_file_register(path.c_str());
  push_int(0);
  return 0;
}

int builtin_fontout_state_push(int32_t, int32_t) {
  font_stack_push(vm_thread);
  push_int(0);
  return 0;
}

int builtin_fontout_state_pop(int32_t, int32_t) {
  font_stack_pop(vm_thread);
  push_int(0);
  return 0;
}

int builtin_fontout_locate(int32_t, int32_t) {
  font_descriptor* d = current();
  uint32_t id = static_cast<uint32_t>(builtin_arg_int(1));
  if (page_missing(id)) {
    script_error("fontout_locate: 出力先ページが存在しません");
    page* front = front_page_get();
    id = front ? front->id : 0;
  }
  d->target = id;
  d->x = builtin_arg_int(2);
  d->y = builtin_arg_int(3);
  push_int(0);
  return 0;
}

int builtin_fontout_set_color(int32_t n, int32_t) {
  font_descriptor* d = current();
  d->colour = builtin_arg_int(1);
  d->decoration = n >= 2 ? builtin_arg_int(2) : -1;
  push_int(0);
  return 0;
}

int builtin_fontout_set_font(int32_t n, int32_t) {
  font_descriptor* d = current();
  int32_t size = n >= 2 ? builtin_arg_int(2) : 20, width = n >= 3 ? builtin_arg_int(3) : size / 2;
  // The message code's bound: a bigger font would take the program's memory and time.
  if (size < 0 || size > FONT_SIZE_MAX || width < 0 || width > FONT_SIZE_MAX) {
    script_error("fontout_set_font : 文字の大きさ[%d x %d]が範囲外です", size, width);
    push_int(0);
    return 0;
  }
  cp932_copy(d->face, sizeof d->face, builtin_arg_text(1));
  d->size = size;
  d->width = width;
  d->pitch = n >= 4 ? builtin_arg_int(4) : size * 5 / 4;
  d->fill = n >= 5 ? builtin_arg_int(5) : 0;
  d->mincho = cp932_strstr(d->face, "明朝") != nullptr;
  d->cache_match = font_cache_matches(d->face, d->size, d->width, font_quality_scale());
  push_int(0);
  return 0;
}

int builtin_fontout(int32_t n, int32_t) {
  font_descriptor* d = current();
  page* target = page_from_id(d->target);
  std::string text = builtin_arg_text(1);
  if (!target) {
    script_error("fontout: 出力先ページが存在しません");
  } else if (n <= 2) {
    d->x = i32_add(d->x, text_draw(d, target, text.c_str(), nullptr, 0));
  } else {
    // The pen and the box are the script's, anywhere in the int range: they wrap.
    int box_width = builtin_arg_int(2), box_height = builtin_arg_int(3), alignment = n >= 4 ? builtin_arg_int(4) : 0;
    int width = text_measure(d, text.c_str(), 0).width;
    if (alignment == -2)
      d->x = i32_add(d->x, i32_sub(box_width, width));
    else if (alignment != -1)
      d->x = i32_add(d->x, i32_sub(box_width, width) / 2);
    int y = d->y;
    d->y = i32_add(d->y, i32_sub(box_height, d->size) / 2);
    d->x = i32_add(d->x, text_draw(d, target, text.c_str(), nullptr, 0));
    d->y = y;
  }
  push_int(0);
  return 0;
}
