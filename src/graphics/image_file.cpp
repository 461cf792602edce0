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

image_name_parts image_name_split(const char* name) {
  image_name_parts parts;
  const char* base = name;
  for (const char* p = name; *p; p += cp932_char_len(p))
    if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
  const char* dot = cp932_strrchr(base, '.');
  parts.folder.assign(name, base);
  if (dot) {
    parts.base.assign(base, dot);
    parts.extension = dot;
  } else {
    parts.base = base;
  }
  return parts;
}

int image_name_is_mask(const char* base) {
  std::string dotted = std::string(base) + ".";
  return cp932_strstr(dotted.c_str(), "_.") ? 1 : 0;
}

int image_file_is_mask(const char* file_name) { return image_name_is_mask(image_name_split(file_name).base.c_str()); }

std::string image_mask_source(const char* file_name) {
  image_name_parts parts = image_name_split(file_name);
  // The last character, not the last byte: 0x5F is also a trail byte.
  size_t last = 0;
  for (size_t i = 0; i < parts.base.size(); i += cp932_char_len(parts.base.c_str() + i)) last = i;
  if (!parts.base.empty() && parts.base.compare(last, std::string::npos, "_") == 0) parts.base.pop_back();
  return parts.folder + parts.base + parts.extension;
}

page* image_page_copy(const page* src, int persistent) {
  page* p = page_new(src->width, src->height, src->is_8bit, persistent);
  if (!p) return nullptr;
  if (src->is_8bit) memcpy(p->palette, src->palette, 256 * sizeof(rgb_quad));
  memcpy(p->bits, src->bits, static_cast<size_t>(src->stride) * src->height);
  return p;
}
