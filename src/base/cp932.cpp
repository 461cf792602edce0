#include "base/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

int cp932_char_count(std::string_view s) {
  int n = 0;
  for (size_t i = 0; i < s.size(); ++n)
    i += (cp932_is_lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  return n;
}

int cp932_char_count(const char* s) { return cp932_char_count(std::string_view(s)); }

static char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
static char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

template <char (*Fold)(char)>
static void fold_in_place(char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    if (cp932_is_lead(static_cast<unsigned char>(s[i])) && i + 1 < n) {
      i += 2;
    } else {
      s[i] = Fold(s[i]);
      ++i;
    }
  }
}

void cp932_lower(char* s) { fold_in_place<ascii_lower>(s, strlen(s)); }
void cp932_upper(char* s) { fold_in_place<ascii_upper>(s, strlen(s)); }

std::string cp932_lower(std::string_view s) {
  std::string r(s);
  fold_in_place<ascii_lower>(r.data(), r.size());
  return r;
}

std::string cp932_upper(std::string_view s) {
  std::string r(s);
  fold_in_place<ascii_upper>(r.data(), r.size());
  return r;
}

int cp932_icmp(std::string_view a, std::string_view b) {
  size_t i = 0;
  for (; i < a.size() && i < b.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (cp932_is_lead(ca) && ca == cb && i + 1 < a.size() && i + 1 < b.size()) {
      // Same lead byte: the trail bytes compare exactly, never folded.
      ++i;
      ca = static_cast<unsigned char>(a[i]);
      cb = static_cast<unsigned char>(b[i]);
    } else {
      ca = static_cast<unsigned char>(ascii_lower(static_cast<char>(ca)));
      cb = static_cast<unsigned char>(ascii_lower(static_cast<char>(cb)));
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int cp932_icmp(const char* a, const char* b) { return cp932_icmp(std::string_view(a), std::string_view(b)); }

size_t cp932_find(std::string_view haystack, std::string_view needle, size_t from) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  size_t i = 0;
  while (i < from && i < haystack.size())  // step to the first boundary at or after from
    i += (cp932_is_lead(static_cast<unsigned char>(haystack[i])) && i + 1 < haystack.size()) ? 2 : 1;
  for (; i + needle.size() <= haystack.size();) {
    if (haystack.compare(i, needle.size(), needle) == 0) return i;
    i += (cp932_is_lead(static_cast<unsigned char>(haystack[i])) && i + 1 < haystack.size()) ? 2 : 1;
  }
  return std::string_view::npos;
}

const char* cp932_strstr(const char* haystack, const char* needle) {
  size_t at = cp932_find(haystack, needle);
  return at == std::string_view::npos ? nullptr : haystack + at;
}

const char* cp932_strrchr(const char* s, char c) {
  const char* found = nullptr;
  for (; *s; s += cp932_char_len(s))
    if (*s == c) found = s;
  return c == '\0' ? s : found;
}

size_t cp932_cut_length(std::string_view s, size_t max_bytes) {
  size_t i = 0;
  while (i < s.size()) {
    size_t step = (cp932_is_lead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    if (i + step > max_bytes) break;
    i += step;
  }
  return i;
}

char* cp932_copy(char* dst, size_t size, std::string_view src) {
  if (size == 0) return dst;
  size_t n = cp932_cut_length(src, size - 1);
  memcpy(dst, src.data(), n);
  dst[n] = '\0';
  return dst;
}

static bool is_ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Conversion descriptors are costly to open and not safe to share: one per thread and direction,
// kept for the thread's life.
struct iconv_pair {
  iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);
  iconv_t to_cp932 = reinterpret_cast<iconv_t>(-1);
  ~iconv_pair() {
    if (to_utf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(to_utf8);
    if (to_cp932 != reinterpret_cast<iconv_t>(-1)) iconv_close(to_cp932);
  }
};

// Opening a descriptor loads the conversion module from files, which fails once the process has
// no descriptor left, and an error box would then come out empty. A pair opened when the program
// starts, and held, keeps the module loaded, so later opens need no file.
[[maybe_unused]] static iconv_pair held_pair{iconv_open("UTF-8", "CP932"), iconv_open("CP932", "UTF-8")};

static iconv_t descriptor(bool to_utf8) {
  thread_local iconv_pair pair;
  iconv_t& cd = to_utf8 ? pair.to_utf8 : pair.to_cp932;
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = to_utf8 ? iconv_open("UTF-8", "CP932") : iconv_open("CP932", "UTF-8");
  else iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  return cd;
}

// One conversion; strict stops at the first byte that does not convert. ASCII is the same in both.
static bool convert(bool to_utf8, std::string_view in, std::string& out, bool strict) {
  out.clear();
  if (is_ascii(in)) {
    out.assign(in);
    return true;
  }
  iconv_t cd = descriptor(to_utf8);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  bool ok = true;
  char buf[1024];
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    ok = false;
    if (strict) break;
    out.push_back('?');  // EILSEQ or EINVAL: skip one byte and go on
    ++src;
    --left;
  }
  return ok;
}

bool cp932_to_utf8(std::string_view cp932, std::string& out) { return convert(true, cp932, out, true); }
bool utf8_to_cp932(std::string_view utf8, std::string& out) { return convert(false, utf8, out, true); }

std::string utf8_to_cp932_lenient(std::string_view utf8) {
  std::string out;
  convert(false, utf8, out, false);
  return out;
}

std::string cp932_to_utf8_lenient(std::string_view cp932) {
  std::string out;
  convert(true, cp932, out, false);
  return out;
}
