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

// Reads the file unless it is the remembered one.
static void bmp_file_read(const std::string& file) {
  if (bmp_state.valid && cp932_iequal(bmp_state.name, file)) return;
  forget(bmp_state);
  bmp_state.valid = true;
  bmp_state.name = file;
  image_stream s = image_stream_open(file.c_str());
  page *colour, *mask;
  bmp_decode(&s, &colour, &mask);
  image_stream_close(&s);
  keep(bmp_state, colour, mask);
}

static void png_file_read(const std::string& file) {
  if (png_state.valid && cp932_iequal(png_state.name, file)) return;
  forget(png_state);
  png_state.valid = true;
  png_state.name = cp932_upper(file);
  image_stream s = image_stream_open(file.c_str());
  page *colour, *mask;
  png_result r = png_decode(&s, &colour, &mask);
  image_stream_close(&s);
  if (r != PNG_OK) reader_error_box("PNG エラー", "PNG エラー");
  keep(png_state, colour, mask);
}

// The page a name stands for: a mask name its image's mask; a plain name the colour page, or for
// an 8-bit BMP the picture, which has no colour page and sits where masks go.
static page* bmp_wanted(const char* name) {
  if (image_file_is_mask(name)) return bmp_state.colour ? bmp_state.mask : nullptr;
  return bmp_state.colour ? bmp_state.colour : bmp_state.mask;
}
static page* png_wanted(const char* name) { return image_file_is_mask(name) ? png_state.mask : png_state.colour; }

static std::string file_of(const char* name) { return image_file_is_mask(name) ? image_mask_source(name) : name; }

// A non-persistent copy for the caller.
static page* copy_out(const page* p) { return p ? image_page_copy(p, 0) : nullptr; }

int bmp_file_exists(const char* name) {
  if (!image_file_is_mask(name)) return data_file_exists(name);
  std::string file = image_mask_source(name);
  if (!data_file_exists(file.c_str())) return 0;
  bmp_file_read(file);
  return bmp_wanted(name) ? 1 : 0;
}

int bmp_file_width(const char* name) {
  bmp_file_read(file_of(name));
  page* p = bmp_wanted(name);
  return p ? p->width : 0;
}

int bmp_file_height(const char* name) {
  bmp_file_read(file_of(name));
  page* p = bmp_wanted(name);
  return p ? p->height : 0;
}

page* bmp_file_load(const char* name) {
  bmp_file_read(file_of(name));
  return copy_out(bmp_wanted(name));
}

int png_file_exists(const char* name) {
  if (!image_file_is_mask(name)) return data_file_exists(name);
  std::string file = image_mask_source(name);
  if (!data_file_exists(file.c_str())) return 0;
  png_file_read(file);
  return png_wanted(name) ? 1 : 0;
}

int png_file_width(const char* name) {
  png_file_read(file_of(name));
  page* p = png_wanted(name);
  return p ? p->width : 0;
}

int png_file_height(const char* name) {
  png_file_read(file_of(name));
  page* p = png_wanted(name);
  return p ? p->height : 0;
}

page* png_file_load(const char* name) {
  png_file_read(file_of(name));
  return copy_out(png_wanted(name));
}

int jpeg_file_exists(const char* name) { return data_file_exists(name); }

static void jpeg_error_box(const char* name, const char* message) {
  std::string text = std::string(name) + "\n" + message;
  reader_error_box(text.c_str(), "JPEG エラー");
}

static void jpeg_header_read(const char* name) {
  if (cp932_iequal(jpeg_name, name)) return;
  jpeg_name = name;
  image_stream s = image_stream_open(name);
  char error[200];
  bool ok = jpeg_decode_size(&s, &jpeg_width, &jpeg_height, error);
  image_stream_close(&s);
  if (!ok) jpeg_error_box(name, error);
}

int jpeg_file_width(const char* name) {
  jpeg_header_read(name);
  return jpeg_width;
}

int jpeg_file_height(const char* name) {
  jpeg_header_read(name);
  return jpeg_height;
}

page* jpeg_file_load(const char* name) {
  image_stream s = image_stream_open(name);
  char error[200];
  page* p = jpeg_decode(&s, error);
  image_stream_close(&s);
  jpeg_name = name;
  jpeg_width = p ? p->width : 0;
  jpeg_height = p ? p->height : 0;
  if (!p) jpeg_error_box(name, error);
  return p;
}
