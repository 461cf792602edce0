// Engine text helpers. Engine strings are CP932 (Shift JIS) bytes: a lead byte in 0x81..0x9F or
// 0xE0..0xFC starts a two-byte character whose trail byte may look like an ASCII letter or "\".
// Every helper here steps by characters, so no trail byte is ever mistaken for one of those.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline bool cp932_is_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Byte length of the character starting at s (1 or 2; 1 for a lead byte cut off by the NUL).
inline size_t cp932_char_len(const char* s) {
  return cp932_is_lead(static_cast<unsigned char>(s[0])) && s[1] != '\0' ? 2 : 1;
}

// Characters in a NUL-terminated text: what scripts see as a string's length.
int cp932_char_count(const char* s);
int cp932_char_count(std::string_view s);

// ASCII letters only change case; double-byte characters are left alone.
void cp932_lower(char* s);
void cp932_upper(char* s);
std::string cp932_lower(std::string_view s);
std::string cp932_upper(std::string_view s);

// Case-blind comparison of ASCII letters (<0, 0, >0 like strcmp).
int cp932_icmp(const char* a, const char* b);
int cp932_icmp(std::string_view a, std::string_view b);
inline bool cp932_iequal(std::string_view a, std::string_view b) { return cp932_icmp(a, b) == 0; }

// First occurrence of needle in haystack starting on a character boundary; nullptr/npos when none.
const char* cp932_strstr(const char* haystack, const char* needle);
size_t cp932_find(std::string_view haystack, std::string_view needle, size_t from = 0);
// Last occurrence of the single-byte character c outside double-byte characters (like strrchr).
const char* cp932_strrchr(const char* s, char c);

// Longest prefix of s that is at most max_bytes long and ends on a character boundary.
size_t cp932_cut_length(std::string_view s, size_t max_bytes);
// Copies src into dst (size bytes, NUL included), cut on a character boundary. Returns dst.
char* cp932_copy(char* dst, size_t size, std::string_view src);

// Conversions through iconv. On bytes that do not convert, the strict forms return false; the
// lenient forms put "?" in their place (for display only, never for names).
bool cp932_to_utf8(std::string_view cp932, std::string& out);
bool utf8_to_cp932(std::string_view utf8, std::string& out);
std::string cp932_to_utf8_lenient(std::string_view cp932);
std::string utf8_to_cp932_lenient(std::string_view utf8);
