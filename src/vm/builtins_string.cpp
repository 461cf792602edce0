#include "vm/builtins_string.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/cp932.h"
#include "base/decimal.h"
#include "vm/dispatcher.h"
#include "vm/script_error.h"
#include "vm/variables.h"

// ---------------------------------------------------------------------------------------------
// Arrays

static const char* array_builtin_name(int type, const char* what) {
  static char name[32];
  const char* kind = type == TYPE_INT_ARRAY ? "int" : type == TYPE_FLOAT_ARRAY ? "fixed" : "string";
  snprintf(name, sizeof name, "%s_array_%s", kind, what);
  return name;
}

static void push_default_array(int type) {
  value_cell c = int_cell(0);
  c.type = static_cast<int16_t>(type);
  var_init_storage(&c);
  stack_push_value(&c);
}

// One argument n gives 1 x 1 x n, two a x b give 1 x a x b, three give a x b x c. Every type is
// checked: a dimension below 1, or more elements than an array may hold, is reported and gives
// the type's default array.
static int array_create(int32_t n, int type) {
  int32_t dims[3] = {1, 1, 1};
  int32_t given = n < 1 ? 1 : n > 3 ? 3 : n;
  for (int32_t k = 1; k <= given; ++k) dims[3 - given + k - 1] = builtin_arg_int(k);
  if (dims[0] < 1 || dims[1] < 1 || dims[2] < 1) {
    script_error("配列数は1以上を指定してください。");
    push_default_array(type);
    return 0;
  }
  array_block* a = array_block_new(type, dims[0], dims[1], dims[2]);
  if (!a) {
    script_error("%s : 配列の要素数が多すぎます(%d x %d x %d)", array_builtin_name(type, "create"), dims[0], dims[1],
                 dims[2]);
    push_default_array(type);
    return 0;
  }
  if (type == TYPE_STRING_ARRAY) {
    string_block** elements = array_strings(a);
    for (size_t i = 0, count = array_count(a); i < count; ++i) elements[i] = string_block_empty();
  }
  value_cell c = array_cell(a);
  stack_push_value(&c);
  return 0;
}

// A copy that shares nothing with the source: string elements are copied too. An argument that
// is not an array of the type gives the default array.
static int array_copy(int type) {
  const value_cell* src = builtin_arg(1);
  if (src->type != type || !src->a) {
    push_default_array(type);
    return 0;
  }
  const array_block* from = src->a;
  array_block* a = array_block_new(type, from->dims[0], from->dims[1], from->dims[2]);
  size_t count = array_count(a);
  if (type == TYPE_STRING_ARRAY) {
    string_block* const* source = reinterpret_cast<string_block* const*>(from->data);
    string_block** elements = array_strings(a);
    for (size_t i = 0; i < count; ++i)
      elements[i] = source[i] ? string_block_new(source[i]->text) : string_block_empty();
  } else {
    memcpy(a->data, from->data, count * sizeof(array_number));
  }
  value_cell c = array_cell(a);
  stack_push_value(&c);
  return 0;
}

int builtin_int_array_create(int32_t n, int32_t) { return array_create(n, TYPE_INT_ARRAY); }
int builtin_fixed_array_create(int32_t n, int32_t) { return array_create(n, TYPE_FLOAT_ARRAY); }
int builtin_string_array_create(int32_t n, int32_t) { return array_create(n, TYPE_STRING_ARRAY); }
int builtin_int_array_default(int32_t, int32_t) { return push_default_array(TYPE_INT_ARRAY), 0; }
int builtin_fixed_array_default(int32_t, int32_t) { return push_default_array(TYPE_FLOAT_ARRAY), 0; }
int builtin_string_array_default(int32_t, int32_t) { return push_default_array(TYPE_STRING_ARRAY), 0; }
int builtin_int_array_copy(int32_t, int32_t) { return array_copy(TYPE_INT_ARRAY); }
int builtin_fixed_array_copy(int32_t, int32_t) { return array_copy(TYPE_FLOAT_ARRAY); }
int builtin_string_array_copy(int32_t, int32_t) { return array_copy(TYPE_STRING_ARRAY); }

// ---------------------------------------------------------------------------------------------
// Text

static size_t char_step(std::string_view s, size_t i) {
  return cp932_is_lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Byte offset of character k (the end when the text is shorter).
static size_t char_offset(std::string_view s, uint32_t k) {
  size_t i = 0;
  for (; i < s.size() && k > 0; --k) i += char_step(s, i);
  return i;
}

static void push_view(std::string_view s) { push_string(s.data(), s.size()); }
static std::string_view arg_view(int32_t k) { return builtin_arg_text(k); }

int cp932_code_compare(std::string_view a, std::string_view b, bool fold) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    size_t sa = char_step(a, i), sb = char_step(b, j);
    auto code = [fold](std::string_view s, size_t at, size_t step) -> uint32_t {
      unsigned char c = static_cast<unsigned char>(s[at]);
      if (step == 2) return static_cast<uint32_t>(c) << 8 | static_cast<unsigned char>(s[at + 1]);
      return fold && c >= 'A' && c <= 'Z' ? c + 32u : c;
    };
    uint32_t ca = code(a, i, sa), cb = code(b, j, sb);
    if (ca != cb) return ca < cb ? -1 : 1;
    i += sa, j += sb;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

// Start and count compare unsigned, as they always did: a negative one is past every text.
int builtin_str_mid(int32_t, int32_t) {
  std::string_view s = arg_view(1);
  uint32_t start = static_cast<uint32_t>(builtin_arg_int(2)), count = static_cast<uint32_t>(builtin_arg_int(3));
  uint32_t length = static_cast<uint32_t>(cp932_char_count(s));
  if (start >= length) return push_view(""), 0;
  std::string_view rest = s.substr(char_offset(s, start));
  push_view(count < length - start ? rest.substr(0, char_offset(rest, count)) : rest);
  return 0;
}

int builtin_str_left(int32_t, int32_t) {
  std::string_view s = arg_view(1);
  uint32_t count = static_cast<uint32_t>(builtin_arg_int(2));
  push_view(s.substr(0, char_offset(s, count)));
  return 0;
}

int builtin_str_right(int32_t, int32_t) {
  std::string_view s = arg_view(1);
  uint32_t count = static_cast<uint32_t>(builtin_arg_int(2));
  uint32_t length = static_cast<uint32_t>(cp932_char_count(s));
  push_view(count >= length ? s : s.substr(char_offset(s, length - count)));
  return 0;
}

// The second argument is compared with the first.
int builtin_str_compare(int32_t, int32_t) {
  push_int(cp932_code_compare(arg_view(2), arg_view(1), false));
  return 0;
}

int builtin_str_compare_nocase(int32_t, int32_t) {
  push_int(cp932_code_compare(arg_view(2), arg_view(1), true));
  return 0;
}

int builtin_str_length(int32_t, int32_t) {
  push_int(cp932_char_count(arg_view(1)));
  return 0;
}

int builtin_int_to_str(int32_t, int32_t) {
  char text[16];
  snprintf(text, sizeof text, "%d", builtin_arg_int(1));
  push_string(text);
  return 0;
}

int builtin_str_to_int(int32_t, int32_t) {
  push_int(decimal_to_int(builtin_arg_text(1)));
  return 0;
}

int builtin_str_lower(int32_t, int32_t) {
  push_view(cp932_lower(arg_view(1)));
  return 0;
}

int builtin_str_upper(int32_t, int32_t) {
  push_view(cp932_upper(arg_view(1)));
  return 0;
}

int builtin_str_find_nocase(int32_t, int32_t) {
  std::string_view s = arg_view(1), part = arg_view(2);
  std::string text = cp932_upper(s.substr(0, cp932_cut_length(s, TEXT_WORK_SIZE - 1)));
  std::string needle = cp932_upper(part.substr(0, cp932_cut_length(part, TEXT_WORK_SIZE - 1)));
  size_t at = cp932_find(text, needle);
  push_int(at == std::string_view::npos ? -1 : cp932_char_count(std::string_view(text).substr(0, at)));
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Fields

int builtin_field_count(int32_t, int32_t) {
  std::string_view s = arg_view(1);
  int32_t fields = 1;
  for (size_t i = 0; i < s.size(); i += char_step(s, i))
    if (s[i] == ',') fields++;
  push_int(fields);
  return 0;
}

static std::string_view trim_below_bang(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) < '!') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) < '!') s.remove_suffix(1);
  return s;
}

std::string field_text(std::string_view text, int32_t index) {
  std::string_view s = text.substr(0, cp932_cut_length(text, TEXT_WORK_SIZE - 1));
  size_t i = 0;
  for (int32_t skipped = 0; skipped < index; ++skipped) {
    while (i < s.size() && s[i] != ',') i += char_step(s, i);
    if (i >= s.size()) return std::string();
    ++i;
  }
  size_t end = i;
  while (end < s.size() && s[end] != ',') end += char_step(s, end);
  std::string_view field = trim_below_bang(s.substr(i, end - i));
  if (field.size() > 1 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
  return std::string(field);
}

int builtin_field_get(int32_t, int32_t) {
  push_view(field_text(arg_view(1), builtin_arg_int(2)));
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Trigonometry in degrees, with the engine's own factor

constexpr double DEGREES_TO_RADIANS = 0.017453292519444445;

int builtin_sin_deg(int32_t, int32_t) {
  push_float(static_cast<float>(std::sin(builtin_arg_float(1) * DEGREES_TO_RADIANS)));
  return 0;
}

int builtin_cos_deg(int32_t, int32_t) {
  push_float(static_cast<float>(std::cos(builtin_arg_float(1) * DEGREES_TO_RADIANS)));
  return 0;
}

int builtin_tan_deg(int32_t, int32_t) {
  push_float(static_cast<float>(std::tan(builtin_arg_float(1) * DEGREES_TO_RADIANS)));
  return 0;
}
