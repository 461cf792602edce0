// PNG files through libpng: 8-bit samples of every colour type, palettes, transparency chunks and
// Adam7 interlace. The colour page is always 24-bit; transparency becomes a separate mask page.
#include <png.h>
#include <setjmp.h>

#include <cstring>
#include <vector>

#include "graphics/image_readers.h"
#include "graphics/page.h"

// libpng's failures leave through the setjmp target without printing anything.
static void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
static void png_warn(png_structp, png_const_charp) {}

// Reads stop at the entry's end: an archive stream would run on into the next entry.
static void png_read_bounded(png_structp png, png_bytep out, size_t n) {
  auto* s = static_cast<image_stream*>(png_get_io_ptr(png));
  if (!image_stream_read_all(s, out, n)) png_error(png, "read past the end of the file");
}

namespace {
// What survives the longjmp: everything the error road frees lives here, not in locals.
struct png_job {
  png_structp png = nullptr;
  png_infop info = nullptr;
  page* colour = nullptr;
  page* mask = nullptr;
  std::vector<uint8_t> rows;
  std::vector<png_bytep> row_pointers;
};
}  // namespace

// One row of samples to blue-green-red and transparency.
static void convert_row(int type, const uint8_t* in, uint8_t* out, uint8_t* out_mask, int width,
                        const rgb_quad* palette, const uint8_t* trans, int trans_count, const png_color_16* trans_colour) {
  for (int x = 0; x < width; x++, out += 3) {
    uint8_t t = 0;
    switch (type) {
      case PNG_COLOR_TYPE_PALETTE: {
        uint8_t i = in[x];
        out[0] = palette[i].blue, out[1] = palette[i].green, out[2] = palette[i].red;
        if (i < trans_count) t = static_cast<uint8_t>(255 - trans[i]);
        break;
      }
      case PNG_COLOR_TYPE_RGB: {
        const uint8_t* p = in + 3 * x;  // blue, green, red (png_set_bgr)
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
        if (trans_colour && p[0] == trans_colour->blue && p[1] == trans_colour->green && p[2] == trans_colour->red)
          t = 255;
        break;
      }
      case PNG_COLOR_TYPE_RGB_ALPHA: {
        const uint8_t* p = in + 4 * x;
        out[0] = p[0], out[1] = p[1], out[2] = p[2];
        t = static_cast<uint8_t>(255 - p[3]);
        break;
      }
      case PNG_COLOR_TYPE_GRAY:
        out[0] = out[1] = out[2] = in[x];
        if (trans_colour && in[x] == trans_colour->gray) t = 255;
        break;
      default:  // grey with alpha
        out[0] = out[1] = out[2] = in[2 * x];
        t = static_cast<uint8_t>(255 - in[2 * x + 1]);
        break;
    }
    if (out_mask) out_mask[x] = t;
  }
}

static png_result png_decode_job(image_stream* s, png_job& job) {
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_warn);
  if (!job.png) return PNG_ERR_READ_STRUCT;
  job.info = png_create_info_struct(job.png);
  if (!job.info) return PNG_ERR_INFO_STRUCT;
  if (setjmp(png_jmpbuf(job.png))) return PNG_ERR_LIBRARY;
  png_set_read_fn(job.png, s, png_read_bounded);
  png_read_info(job.png, job.info);
  png_uint_32 width, height;
  int depth, type, interlace;
  png_get_IHDR(job.png, job.info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  if ((type & PNG_COLOR_MASK_PALETTE) && !(type & PNG_COLOR_MASK_COLOR)) return PNG_ERR_COLOR_TYPE;
  if (depth != 8) return PNG_ERR_BIT_DEPTH;
  if (interlace != PNG_INTERLACE_NONE && interlace != PNG_INTERLACE_ADAM7) return PNG_ERR_INTERLACE;
  png_set_bgr(job.png);

  // The palette, zero-filled past the entries the file stores, and the transparency chunk.
  rgb_quad palette[256] = {};
  if (type == PNG_COLOR_TYPE_PALETTE) {
    png_colorp plte = nullptr;
    int count = 0;
    if (png_get_PLTE(job.png, job.info, &plte, &count))
      for (int i = 0; i < count && i < 256; i++) palette[i] = rgb_quad{plte[i].blue, plte[i].green, plte[i].red, 0};
  }
  png_bytep trans = nullptr;
  int trans_count = 0;
  png_color_16p trans_colour = nullptr;
  bool has_trns = png_get_tRNS(job.png, job.info, &trans, &trans_count, &trans_colour) != 0;
  if (type != PNG_COLOR_TYPE_PALETTE) trans_count = 0;
  if (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_GRAY) trans_colour = nullptr;
  bool has_mask = has_trns || (type & PNG_COLOR_MASK_ALPHA);

  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) png_error(job.png, "too large");
  int w = static_cast<int>(width), h = static_cast<int>(height);
  job.colour = page_new_rgb24_raw(w, h, 0);
  if (!job.colour) png_error(job.png, "no page");
  if (has_mask && !(job.mask = page_new_gray8_raw(w, h, 0))) png_error(job.png, "no page");

  png_set_interlace_handling(job.png);
  png_read_update_info(job.png, job.info);
  size_t row_bytes = png_get_rowbytes(job.png, job.info);
  // RGB rows arrive as the page's own rows; the other types go through a buffer, a whole picture
  // when interlaced (each pass adds to earlier rows), else one row.
  bool direct = type == PNG_COLOR_TYPE_RGB;
  if (direct) {
    if (interlace == PNG_INTERLACE_ADAM7) {
      job.row_pointers.resize(h);
      for (int y = 0; y < h; y++) job.row_pointers[y] = page_row(job.colour, y);
      png_read_image(job.png, job.row_pointers.data());
    } else {
      for (int y = 0; y < h; y++) png_read_row(job.png, page_row(job.colour, y), nullptr);
    }
    if (trans_colour)  // in place: each pixel keeps its bytes and gains its transparency
      for (int y = 0; y < h; y++)
        convert_row(type, page_row(job.colour, y), page_row(job.colour, y), page_row(job.mask, y), w, palette, trans,
                    trans_count, trans_colour);
    else if (job.mask)
      for (int y = 0; y < h; y++) memset(page_row(job.mask, y), 0, w);
  } else if (interlace == PNG_INTERLACE_ADAM7) {
    job.rows.resize(row_bytes * h);
    job.row_pointers.resize(h);
    for (int y = 0; y < h; y++) job.row_pointers[y] = job.rows.data() + row_bytes * y;
    png_read_image(job.png, job.row_pointers.data());
    for (int y = 0; y < h; y++)
      convert_row(type, job.row_pointers[y], page_row(job.colour, y), job.mask ? page_row(job.mask, y) : nullptr, w,
                  palette, trans, trans_count, trans_colour);
  } else {
    job.rows.resize(row_bytes);
    for (int y = 0; y < h; y++) {
      png_read_row(job.png, job.rows.data(), nullptr);
      convert_row(type, job.rows.data(), page_row(job.colour, y), job.mask ? page_row(job.mask, y) : nullptr, w,
                  palette, trans, trans_count, trans_colour);
    }
  }
  return PNG_OK;
}

png_result png_decode(image_stream* s, page** colour, page** mask) {
  *colour = *mask = nullptr;
  if (!image_stream_is_open(s)) return PNG_ERR_OPEN;
  png_job job;
  png_result r = png_decode_job(s, job);
  if (job.png) png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
  if (r != PNG_OK) {
    page_free(job.colour, 1);
    page_free(job.mask, 1);
    return r;
  }
  *colour = job.colour;
  *mask = job.mask;
  return PNG_OK;
}
