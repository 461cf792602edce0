// The readers of standard image files: BMP (our own parser), PNG (libpng) and JPEG
// (libjpeg-turbo).
//
// Each reader remembers the last file it read, so that the exists test, width, height and load
// that callers make on one name decode the file once. BMP and PNG deliver transparency as a
// separate 8-bit mask page (255 minus the file's alpha: 0 opaque, 255 invisible), reached through
// the mask name: a base name ending in "_" names the mask of the image without the "_"
// (ev01_.png is the mask of ev01.png). Loads hand out new non-persistent copies; the remembered
// pages are persistent and belong to the reader until it reads another file. Names come parsed
// (image_name, image_file.h); the mask test and the image file behind a mask name are read from
// the record.
//
// Window thread only.
#pragma once

#include <cstdint>

#include "graphics/image_file.h"

struct page;

// BMP. Plain name: 1 when the game file exists. Mask name: 1 when the image file exists and has
// both a colour page and a mask page.
int bmp_file_exists(const image_name& name);
// The size of the page that bmp_file_load would hand out; 0 when there is none.
int bmp_file_width(const image_name& name);
int bmp_file_height(const image_name& name);
// Plain name: the colour page (24-bit), or the 8-bit page of an 8-bit file. Mask name: the mask
// page (8-bit). Null when there is none.
page* bmp_file_load(const image_name& name);

// PNG, as BMP. The colour page is always 24-bit; a mask exists when the file has an alpha channel
// or a transparency chunk.
int png_file_exists(const image_name& name);
int png_file_width(const image_name& name);
int png_file_height(const image_name& name);
page* png_file_load(const image_name& name);

// JPEG: no mask names. The size comes from the header alone.
int jpeg_file_exists(const image_name& name);
int jpeg_file_width(const image_name& name);
int jpeg_file_height(const image_name& name);
// A new non-persistent 24-bit page; null when libjpeg refused the file (reported in a box).
page* jpeg_file_load(const image_name& name);

// The decoders behind them, on a bounded stream (tests, tools, fuzzers). Pages come out
// non-persistent; the caller owns them.
//
// BMP: colour is the 24-bit page (null for 8-bit files), mask the 8-bit page (the picture of an
// 8-bit file, the transparency of a 32-bit one). Nothing for a damaged or unsupported file.
void bmp_decode(image_stream* s, page** colour, page** mask);

// PNG result codes.
enum png_result {
  PNG_OK = 0,
  PNG_ERR_OPEN = 1,
  PNG_ERR_READ_STRUCT = 2,
  PNG_ERR_INFO_STRUCT = 3,
  PNG_ERR_COLOR_TYPE = 4,
  PNG_ERR_BIT_DEPTH = 5,
  PNG_ERR_INTERLACE = 6,
  PNG_ERR_LIBRARY = 7,
};
// colour: always 24-bit; mask: 8-bit grey, only when the file has transparency. No box here.
png_result png_decode(image_stream* s, page** colour, page** mask);

// JPEG: the size from the header, or the picture. On failure false / null, with libjpeg's
// message in *error (when error is not null).
bool jpeg_decode_size(image_stream* s, int* width, int* height, char error[200]);
page* jpeg_decode(image_stream* s, char error[200]);

// Forgets every reader's remembered file and frees its pages.
void image_readers_reset();
