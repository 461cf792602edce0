// The sprite built-ins: creation from a page or an image file, pasting, release, visibility,
// movement, timelines, draw order, rotation and scaling, queries and waits. Each follows the
// dispatcher's convention (vm/dispatcher.h) and pushes one int (0 unless it gives a value).
#pragma once

#include <cstdint>

// Creation and release.
int builtin_sprite_create(int32_t n, int32_t drop);
int builtin_sprite_create_file(int32_t n, int32_t drop);
int builtin_sprite_create_transformable(int32_t n, int32_t drop);
int builtin_sprite_create_file_transformable(int32_t n, int32_t drop);
int builtin_sprite_clip(int32_t n, int32_t drop);
int builtin_sprite_paste(int32_t n, int32_t drop);
int builtin_sprite_release(int32_t n, int32_t drop);
int builtin_sprite_page_auto_release(int32_t n, int32_t drop);

// Visibility, movement and queries.
int builtin_sprite_push(int32_t n, int32_t drop);
int builtin_sprite_pop(int32_t n, int32_t drop);
int builtin_sprite_move(int32_t n, int32_t drop);
int builtin_sprite_move_wait(int32_t n, int32_t drop);
int builtin_is_sprite_move(int32_t n, int32_t drop);
int builtin_sprite_get_pos_x(int32_t n, int32_t drop);
int builtin_sprite_get_pos_y(int32_t n, int32_t drop);
int builtin_sprite_len_x(int32_t n, int32_t drop);
int builtin_sprite_len_y(int32_t n, int32_t drop);
int builtin_ps_sprite_get_page(int32_t n, int32_t drop);
int builtin_sprite_exists(int32_t n, int32_t drop);
int builtin_sprite_update_suspend(int32_t n, int32_t drop);
int builtin_sprite_update_resume(int32_t n, int32_t drop);
int builtin_invalidate_rect(int32_t n, int32_t drop);

// Timelines.
int builtin_sprite_animate_define(int32_t n, int32_t drop);
int builtin_sprite_animate_add(int32_t n, int32_t drop);
int builtin_sprite_animate_define_aligned(int32_t n, int32_t drop);
int builtin_sprite_animate_wait(int32_t n, int32_t drop);
int builtin_ps_sprite_set_smooth_animation(int32_t n, int32_t drop);
int builtin_sprite_alfa_define(int32_t n, int32_t drop);
int builtin_sprite_alfa_define_aligned(int32_t n, int32_t drop);
int builtin_sprite_alfa_set(int32_t n, int32_t drop);
int builtin_sprite_tl_set(int32_t n, int32_t drop);
int builtin_sprite_alfa_wait(int32_t n, int32_t drop);
int builtin_sprite_rotate(int32_t n, int32_t drop);
int builtin_sprite_xmodify_define(int32_t n, int32_t drop);
int builtin_sprite_ymodify_define(int32_t n, int32_t drop);
int builtin_sprite_xmodify_set(int32_t n, int32_t drop);
int builtin_sprite_ymodify_set(int32_t n, int32_t drop);

// Draw order.
int builtin_sprite_priority_low(int32_t n, int32_t drop);
int builtin_sprite_priority_high(int32_t n, int32_t drop);
int builtin_sprite_priority_low_single(int32_t n, int32_t drop);
int builtin_sprite_priority_high_single(int32_t n, int32_t drop);
