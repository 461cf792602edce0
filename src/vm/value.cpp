#include "vm/value.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "base/cp932.h"
#include "base/memory.h"

string_block* string_block_alloc(int32_t length) {
  if (length < 1) length = 1;
  auto* s = static_cast<string_block*>(mem_alloc(sizeof(string_block) + static_cast<size_t>(length)));
  s->refcount = 1;
  s->length = length;
  s->mark = 0;
  s->text[length - 1] = '\0';
  return s;
}

string_block* string_block_new(const char* text, size_t bytes) {
  if (bytes > STRING_MAX_BYTES) bytes = cp932_cut_length(std::string_view(text, bytes), STRING_MAX_BYTES);
  string_block* s = string_block_alloc(static_cast<int32_t>(bytes + 1));
  if (bytes) memcpy(s->text, text, bytes);
  return s;
}

string_block* string_block_new(const char* text) { return string_block_new(text, strlen(text)); }

void string_release(string_block* s) {
  if (s && --s->refcount == 0) free(s);
}

bool array_count_allowed(int type, uint64_t count) {
  uint64_t cost = type == TYPE_STRING_ARRAY ? ARRAY_STRING_COST : sizeof(array_number);
  return count <= ARRAY_MAX_ELEMENTS && count * cost <= ARRAY_MAX_BYTES;
}

array_block* array_block_new(int type, int32_t d0, int32_t d1, int32_t d2) {
  if (d0 < 0 || d1 < 0 || d2 < 0) return nullptr;
  // Three factors below 2^31 cannot overflow 64 bits once the first product is bounded.
  uint64_t pair = static_cast<uint64_t>(d0) * static_cast<uint64_t>(d1);
  if (pair > ARRAY_MAX_ELEMENTS && d2 != 0) return nullptr;
  uint64_t wanted = pair * static_cast<uint64_t>(d2);
  if (!array_count_allowed(type, wanted)) return nullptr;
  size_t count = static_cast<size_t>(wanted);
  size_t element = type == TYPE_STRING_ARRAY ? sizeof(string_block*) : sizeof(array_number);
  auto* a = static_cast<array_block*>(mem_alloc(sizeof(array_block) + count * element));
  a->refcount = 1;
  a->type = type;
  a->mark = 0;
  a->dims[0] = d0, a->dims[1] = d1, a->dims[2] = d2;
  memset(a->data, 0, count * element);
  return a;
}

void array_release(array_block* a) {
  if (!a || --a->refcount != 0) return;
  if (a->type == TYPE_STRING_ARRAY) {
    string_block** elements = array_strings(a);
    for (size_t i = 0, n = array_count(a); i < n; ++i) string_release(elements[i]);
  }
  free(a);
}

void value_release_block(value_cell* c) {
  if (c->type == TYPE_STRING)
    string_release(c->s);
  else if (type_is_block(c->type))
    array_release(c->a);
}

void var_init_storage(value_cell* c) {
  c->bits = 0;
  switch (c->type) {
    case TYPE_STRING:
      c->s = string_block_empty();
      break;
    case TYPE_INT_ARRAY:
    case TYPE_FLOAT_ARRAY:
      c->a = array_block_new(c->type, 1, 1, 1);
      break;
    case TYPE_STRING_ARRAY:
      c->a = array_block_new(c->type, 1, 1, 1);
      array_strings(c->a)[0] = string_block_empty();
      break;
    default:
      break;
  }
}
