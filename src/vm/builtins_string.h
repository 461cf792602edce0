// Array and string built-ins: arrays of one to three dimensions with their defaults and copies,
// and the CP932 text built-ins (substrings and lengths in characters, comparisons, case changes,
// search, number conversions, comma-separated fields), plus sine, cosine and tangent of degrees.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The field work buffer of field_get, str_find_nocase and the text-file reader (a longer text is
// cut on a character boundary).
constexpr size_t TEXT_WORK_SIZE = 512;

// Character-wise comparison by character codes (a double-byte character by its two-byte code);
// fold ignores the case of single-byte letters. <0, 0, >0.
int cp932_code_compare(std::string_view a, std::string_view b, bool fold);
// Field index of a comma-separated text, trimmed of bytes below "!" and of one pair of enclosing
// double quotes; "" when the text has fewer fields.
std::string field_text(std::string_view text, int32_t index);

int builtin_int_array_create(int32_t n, int32_t drop);
int builtin_fixed_array_create(int32_t n, int32_t drop);
int builtin_string_array_create(int32_t n, int32_t drop);
int builtin_int_array_default(int32_t n, int32_t drop);
int builtin_fixed_array_default(int32_t n, int32_t drop);
int builtin_string_array_default(int32_t n, int32_t drop);
int builtin_int_array_copy(int32_t n, int32_t drop);
int builtin_fixed_array_copy(int32_t n, int32_t drop);
int builtin_string_array_copy(int32_t n, int32_t drop);

int builtin_str_mid(int32_t n, int32_t drop);
int builtin_str_left(int32_t n, int32_t drop);
int builtin_str_right(int32_t n, int32_t drop);
int builtin_str_compare(int32_t n, int32_t drop);
int builtin_str_compare_nocase(int32_t n, int32_t drop);
int builtin_str_length(int32_t n, int32_t drop);
int builtin_int_to_str(int32_t n, int32_t drop);
int builtin_str_to_int(int32_t n, int32_t drop);
int builtin_str_lower(int32_t n, int32_t drop);
int builtin_str_upper(int32_t n, int32_t drop);
int builtin_str_find_nocase(int32_t n, int32_t drop);
int builtin_field_count(int32_t n, int32_t drop);
int builtin_field_get(int32_t n, int32_t drop);

int builtin_sin_deg(int32_t n, int32_t drop);
int builtin_cos_deg(int32_t n, int32_t drop);
int builtin_tan_deg(int32_t n, int32_t drop);
