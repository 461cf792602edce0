// Script values: the cell that every stack slot and variable is made of, and the reference-counted
// string and array blocks that cells point to.
//
// A cell is 16 bytes in memory as in files, but here its payload is 64 bits wide so that it can
// hold a real block pointer; the 32-bit file form is written and read by the save code alone.
#pragma once

#include <cstddef>
#include <cstdint>

enum value_type : int16_t {
  TYPE_INT = 0,
  TYPE_FLOAT = 1,
  TYPE_STRING = 2,
  TYPE_INT_ARRAY = 3,
  TYPE_FLOAT_ARRAY = 4,
  TYPE_STRING_ARRAY = 5,
};

enum value_scope : int16_t {
  SCOPE_ETERNAL = 0,  // "#"
  SCOPE_GLOBAL = 1,   // "@"
  SCOPE_THREAD = 2,   // "%"
  SCOPE_LOCAL = 3,    // "_", and every stack temporary
};

// Text of code page 932, NUL-terminated. length counts the NUL, so an empty string has length 1.
struct string_block {
  int32_t refcount;
  int32_t length;
  intptr_t mark;  // the save serialiser's scratch word (a blob offset or a copy); nobody else's
  char text[];
};

// Int and float arrays hold 4-byte elements; string arrays hold one owned reference per element
// (null for an element that was never filled). dims are right-aligned: a one-dimension array keeps
// its size in dims[2], unused leading dimensions are 1; dims[0] == 0 marks an array never sized.
union array_number {
  int32_t i;
  float f;
};
struct array_block {
  int32_t refcount;
  int32_t type;  // TYPE_*_ARRAY: decides the element storage
  intptr_t mark;
  int32_t dims[3];
  alignas(8) unsigned char data[];
};

struct value_cell {
  uint32_t hash;  // variable name hash; 0 for stack temporaries
  int16_t type;
  int16_t scope;
  union {
    int32_t i;
    float f;
    string_block* s;
    array_block* a;
    uint64_t bits;  // the whole payload
  };
};
static_assert(sizeof(value_cell) == 16);

inline bool type_is_block(int type) { return type >= TYPE_STRING && type <= TYPE_STRING_ARRAY; }

inline value_cell int_cell(int32_t v, uint32_t hash = 0) {
  value_cell c;
  c.hash = hash, c.type = TYPE_INT, c.scope = SCOPE_LOCAL, c.bits = 0;
  c.i = v;
  return c;
}
inline value_cell float_cell(float v, uint32_t hash = 0) {
  value_cell c;
  c.hash = hash, c.type = TYPE_FLOAT, c.scope = SCOPE_LOCAL, c.bits = 0;
  c.f = v;
  return c;
}
// A cell that takes over the caller's reference to the block.
inline value_cell string_cell(string_block* s, uint32_t hash = 0) {
  value_cell c;
  c.hash = hash, c.type = TYPE_STRING, c.scope = SCOPE_LOCAL, c.s = s;
  return c;
}
inline value_cell array_cell(array_block* a, uint32_t hash = 0) {
  value_cell c;
  c.hash = hash, c.type = static_cast<int16_t>(a->type), c.scope = SCOPE_LOCAL, c.a = a;
  return c;
}

// The longest text one string may hold, NUL not counted: 64 MiB. No game's text comes near it (a
// whole scenario is a few MiB), lengths stay far from the 32-bit field, and a save, which holds
// every string whole in a blob below 2 GiB, still has room for dozens of them. The string
// operators refuse a longer result before allocating anything.
constexpr size_t STRING_MAX_BYTES = size_t(64) << 20;

// Blocks. New blocks have refcount 1.
string_block* string_block_alloc(int32_t length);                 // text uninitialised, NUL at the end
// A copy of bytes, then a NUL. A longer text than STRING_MAX_BYTES (only the host hands one in:
// the clipboard, a file) is cut there on a character boundary.
string_block* string_block_new(const char* text, size_t bytes);
string_block* string_block_new(const char* text);
inline string_block* string_block_empty() { return string_block_new("", 0); }
void string_release(string_block* s);  // drops one reference; frees at 0; null passes

// Largest element count of one array, and the most memory one array may take: 256 MiB, far past
// any game's tables (a save holds every array whole), yet refused before allocating anything. A
// string element costs its pointer and the empty text block it starts with (ARRAY_STRING_COST),
// so string arrays stop at about 6.7 million elements, number arrays at 2^26.
constexpr size_t ARRAY_MAX_ELEMENTS = size_t(1) << 26;
constexpr size_t ARRAY_MAX_BYTES = size_t(256) << 20;
constexpr size_t ARRAY_STRING_COST = 40;
// Whether an array of that type and element count stays within the bounds above.
bool array_count_allowed(int type, uint64_t count);
// A zeroed array (string elements null) of dims d0 x d1 x d2; nullptr when a dimension is negative
// or the array would pass the bounds above.
array_block* array_block_new(int type, int32_t d0, int32_t d1, int32_t d2);
inline size_t array_count(const array_block* a) {
  return static_cast<size_t>(a->dims[0]) * static_cast<size_t>(a->dims[1]) * static_cast<size_t>(a->dims[2]);
}
inline array_number* array_numbers(array_block* a) { return reinterpret_cast<array_number*>(a->data); }
inline string_block** array_strings(array_block* a) { return reinterpret_cast<string_block**>(a->data); }
void array_release(array_block* a);  // drops one reference; at 0 string elements go too; null passes

// Gives up the cell's reference (strings and arrays); the cell itself is left as it was.
void value_release_block(value_cell* c);
inline void value_release(value_cell* c) {
  if (c->type >= TYPE_STRING) value_release_block(c);
}
// Copies the four fields; a block gains a reference.
inline void value_copy(value_cell* dst, const value_cell* src) {
  *dst = *src;
  if (type_is_block(src->type)) {
    if (src->type == TYPE_STRING) {
      if (src->s) src->s->refcount++;
    } else if (src->a) {
      src->a->refcount++;
    }
  }
}
// Sets the payload to the default of the cell's type: 0, an empty string, a 1x1x1 array holding
// 0 (or one empty string). The old payload is not released.
void var_init_storage(value_cell* c);
