#include "graphics/image_file.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "base/cp932.h"
#include "base/datasource.h"
#include "graphics/page.h"

image_stream image_stream_open(const char* name) {
  image_stream s;
  s.file = Ffopen(name, "rb", &s.left);
  return s;
}

image_stream image_stream_wrap(FILE* file, uint32_t size) {
  image_stream s;
  s.file = file;
  s.left = size;
  return s;
}

image_stream image_stream_memory(const void* bytes, uint32_t size) {
  image_stream s;
  s.bytes = static_cast<const uint8_t*>(bytes);
  s.left = size;
  return s;
}

size_t image_stream_read(image_stream* s, void* buffer, size_t n) {
  if (n > s->left) n = s->left;
  size_t got = 0;
  if (s->bytes) {
    if (n) memcpy(buffer, s->bytes, n);
    s->bytes += n;
    got = n;
  } else if (s->file && n) {
    if (s->resume >= 0 && fseeko(s->file, s->resume, SEEK_SET) != 0) return 0;
    s->resume = -1;
    got = fread(buffer, 1, n, s->file);
  }
  s->left -= static_cast<uint32_t>(got);
  return got;
}

bool image_stream_read_all(image_stream* s, void* buffer, size_t n) { return image_stream_read(s, buffer, n) == n; }

// The pieces at the file's descriptor from offset at, in calls of at most IOV_MAX pieces. The
// stream then stands after them; stdio is moved there only when it reads again, since a seek
// refills its buffer.
static bool pieces_pread(image_stream* s, int fd, off_t at, uint8_t* const* places, size_t count, size_t size) {
  const off_t start = at;
  std::vector<iovec> parts(std::min<size_t>(count, IOV_MAX));
  bool ok = true;
  for (size_t first = 0; ok && first < count;) {
    size_t n = std::min(parts.size(), count - first);
    for (size_t i = 0; i < n; i++) parts[i] = iovec{places[first + i], size};
    // A short read (a signal, or a file that shrank) resumes where it stopped.
    for (iovec* part = parts.data(); n;) {
      ssize_t got = preadv(fd, part, static_cast<int>(n), at);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ok = false;
        break;
      }
      at += got;
      for (size_t g = static_cast<size_t>(got); g;) {
        size_t step = std::min(g, part->iov_len);
        part->iov_base = static_cast<uint8_t*>(part->iov_base) + step;
        part->iov_len -= step;
        g -= step;
        if (part->iov_len == 0) part++, n--, first++;
      }
    }
  }
  s->left -= static_cast<uint32_t>(at - start);
  s->resume = at;
  return ok;
}

bool image_stream_read_pieces(image_stream* s, uint8_t* const* places, size_t count, size_t size) {
  if (size && count > s->left / size) return false;
  // The stream's position counts what stdio holds in its buffer; a pipe has none to read at.
  int fd = s->file ? fileno(s->file) : -1;
  off_t at = fd < 0 ? -1 : s->resume >= 0 ? s->resume : ftello(s->file);
  if (at >= 0 && count && size) return pieces_pread(s, fd, at, places, count, size);
  for (size_t i = 0; i < count; i++)
    if (!image_stream_read_all(s, places[i], size)) return false;
  return true;
}

bool image_stream_is_open(const image_stream* s) { return s->file || s->bytes; }

void image_stream_close(image_stream* s) {
  if (s->file) fclose(s->file);
  *s = image_stream();
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
