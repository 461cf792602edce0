// The readers' remembered files and the operations on names; the decoders live in image_bmp.cpp,
// image_png.cpp and image_jpeg.cpp.
#include "graphics/image_readers.h"

#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "graphics/page.h"
#include "platform/platform.h"
#include "shell/window_core.h"

namespace {
// The last file a reader read and what it gave. The pages are persistent and the reader's own.
struct remembered_file {
  bool valid = false;
  std::string name;  // the file actually read (a mask name's image file)
  page* colour = nullptr;
  page* mask = nullptr;
};
}  // namespace

// Module state: one remembered file per reader.
static remembered_file bmp_state, png_state;
static std::string jpeg_name = "NonCached";
static int jpeg_width = 0, jpeg_height = 0;

static void forget(remembered_file& r) {
  page_free(r.colour, 1);
  page_free(r.mask, 1);
  r = remembered_file();
}

void image_readers_reset() {
  forget(bmp_state);
  forget(png_state);
  jpeg_name = "NonCached";
  jpeg_width = jpeg_height = 0;
}

// The libraries' failures are shown in a box of their own, as the engine always did.
static void reader_error_box(const char* text, const char* caption) {
  call_window_hook();
  plat().message_box(main_window_get(), text, caption, MB_OK | MB_ICONERROR);
}

static void keep(remembered_file& r, page* colour, page* mask) {
  if (colour) colour->persistent = 1;
  if (mask) mask->persistent = 1;
  r.colour = colour;
  r.mask = mask;
}

// The decoders behind the remembered files; PNG's refusals show the engine's box.
static void bmp_decode_file(image_stream* s, page** colour, page** mask) { bmp_decode(s, colour, mask); }
static void png_decode_file(image_stream* s, page** colour, page** mask) {
  if (png_decode(s, colour, mask) != PNG_OK) reader_error_box("PNG エラー", "PNG エラー");
}

// Reads the file unless it is the remembered one.
static void file_read(remembered_file& r, void (*decode)(image_stream*, page**, page**), const std::string& file) {
  if (r.valid && cp932_iequal(r.name, file)) return;
  forget(r);
  r.valid = true;
  r.name = file;
  image_stream s = image_stream_open(file.c_str());
  page *colour, *mask;
  decode(&s, &colour, &mask);
  image_stream_close(&s);
  keep(r, colour, mask);
}

// The page a name stands for: a mask name its image's mask; a plain name the colour page. An
// 8-bit BMP has no colour page: its picture sits where masks go and serves the plain name, and
// its mask name finds nothing.
static page* wanted(const remembered_file& r, const image_name& name) {
  if (name.mask) return r.colour ? r.mask : nullptr;
  return r.colour ? r.colour : r.mask;
}

namespace {
// One reader's four operations over its remembered file.
struct picture_reader {
  remembered_file& state;
  void (*decode)(image_stream*, page**, page**);

  page* read(const image_name& name) {
    file_read(state, decode, name.source);
    return wanted(state, name);
  }
  int exists(const image_name& name) {
    if (!name.mask) return data_file_exists(name.c_str());
    if (!data_file_exists(name.source.c_str())) return 0;
    return read(name) ? 1 : 0;
  }
  int width(const image_name& name) {
    page* p = read(name);
    return p ? p->width : 0;
  }
  int height(const image_name& name) {
    page* p = read(name);
    return p ? p->height : 0;
  }
  page* load(const image_name& name) {
    page* p = read(name);
    return p ? image_page_copy(p, 0) : nullptr;
  }
};
}  // namespace

static picture_reader bmp_reader{bmp_state, bmp_decode_file};
static picture_reader png_reader{png_state, png_decode_file};

int bmp_file_exists(const image_name& name) { return bmp_reader.exists(name); }
int bmp_file_width(const image_name& name) { return bmp_reader.width(name); }
int bmp_file_height(const image_name& name) { return bmp_reader.height(name); }
page* bmp_file_load(const image_name& name) { return bmp_reader.load(name); }
int png_file_exists(const image_name& name) { return png_reader.exists(name); }
int png_file_width(const image_name& name) { return png_reader.width(name); }
int png_file_height(const image_name& name) { return png_reader.height(name); }
page* png_file_load(const image_name& name) { return png_reader.load(name); }

int jpeg_file_exists(const image_name& name) { return data_file_exists(name.c_str()); }

static void jpeg_error_box(const image_name& name, const char* message) {
  std::string text = name.full + "\n" + message;
  reader_error_box(text.c_str(), "JPEG エラー");
}

static void jpeg_header_read(const image_name& name) {
  if (cp932_iequal(jpeg_name, name.full)) return;
  jpeg_name = name.full;
  image_stream s = image_stream_open(name.c_str());
  char error[200];
  bool ok = jpeg_decode_size(&s, &jpeg_width, &jpeg_height, error);
  image_stream_close(&s);
  if (!ok) jpeg_error_box(name, error);
}

int jpeg_file_width(const image_name& name) {
  jpeg_header_read(name);
  return jpeg_width;
}

int jpeg_file_height(const image_name& name) {
  jpeg_header_read(name);
  return jpeg_height;
}

page* jpeg_file_load(const image_name& name) {
  image_stream s = image_stream_open(name.c_str());
  char error[200];
  page* p = jpeg_decode(&s, error);
  image_stream_close(&s);
  jpeg_name = name.full;
  jpeg_width = p ? p->width : 0;
  jpeg_height = p ? p->height : 0;
  if (!p) jpeg_error_box(name, error);
  return p;
}
