#include "graphics/image_file.h"

#include <cstring>

#include "base/cp932.h"
#include "base/datasource.h"
#include "graphics/page.h"

image_stream image_stream_open(const char* name) {
  image_stream s;
  s.file = Ffopen(name, "rb");
  s.left = data_file_size(name);
  return s;
}

image_stream image_stream_wrap(FILE* file, uint32_t size) {
  image_stream s;
  s.file = file;
  s.left = size;
  return s;
}

size_t image_stream_read(image_stream* s, void* buffer, size_t n) {
  if (!s->file) return 0;
  if (n > s->left) n = s->left;
  size_t got = n ? fread(buffer, 1, n, s->file) : 0;
  s->left -= static_cast<uint32_t>(got);
  return got;
}

bool image_stream_read_all(image_stream* s, void* buffer, size_t n) { return image_stream_read(s, buffer, n) == n; }

void image_stream_close(image_stream* s) {
  if (s->file) fclose(s->file);
  s->file = nullptr;
  s->left = 0;
}

image_name::image_name(const char* name) : full(name) {
  const char* start = name;
  for (const char* p = name; *p; p += cp932_char_len(p))
    if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
  const char* dot = cp932_strrchr(start, '.');
  folder.assign(name, start);
  if (dot) {
    base.assign(start, dot);
    extension = dot;
  } else {
    base = start;
  }
  mask = image_name_is_mask(base.c_str()) != 0;
  source = full;
  if (!mask) return;
  // The last character, not the last byte: 0x5F is also a trail byte.
  size_t last = 0;
  for (size_t i = 0; i < base.size(); i += cp932_char_len(base.c_str() + i)) last = i;
  if (!base.empty() && base.compare(last, std::string::npos, "_") == 0)
    source = folder + base.substr(0, base.size() - 1) + extension;
}

int image_name_is_mask(const char* base) {
  std::string dotted = std::string(base) + ".";
  return cp932_strstr(dotted.c_str(), "_.") ? 1 : 0;
}

page* image_page_copy(const page* src, int persistent) {
  page* p = page_new(src->width, src->height, src->is_8bit, persistent);
  if (!p) return nullptr;
  if (src->is_8bit) memcpy(p->palette, src->palette, 256 * sizeof(rgb_quad));
  memcpy(p->bits, src->bits, static_cast<size_t>(src->stride) * src->height);
  return p;
}
