// Valid small PNG and JPEG pictures made in memory, which the PNG and JPEG targets damage by the
// fuzzer's bytes: random bytes alone rarely get past the signatures and the first chunks.
#pragma once

#include <png.h>
#include <setjmp.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

inline void seed_png_write(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
inline void seed_png_flush(png_structp) {}

// kind 0 RGB, 1 palette with transparency, 2 grey with alpha, 3 RGBA; odd kinds interlaced too.
inline std::vector<uint8_t> seed_png(int kind) {
  static const int types[] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_GRAY_ALPHA,
                              PNG_COLOR_TYPE_RGB_ALPHA};
  int type = types[kind % 4], w = 13, h = 9;
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, seed_png_write, seed_png_flush);
  png_set_IHDR(png, info, w, h, 8, type, kind & 1 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[16];
  png_byte trans[5] = {0, 40, 80, 160, 255};
  if (type == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < 16; i++) palette[i] = png_color{png_byte(i * 16), png_byte(255 - i * 16), png_byte(i * 3)};
    png_set_PLTE(png, info, palette, 16);
    png_set_tRNS(png, info, trans, 5, nullptr);
  }
  png_write_info(png, info);
  int channels = type == PNG_COLOR_TYPE_RGB ? 3 : type == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : type == PNG_COLOR_TYPE_PALETTE ? 1 : 2;
  std::vector<uint8_t> rows(static_cast<size_t>(w) * channels * h);
  for (size_t i = 0; i < rows.size(); i++) rows[i] = static_cast<uint8_t>(type == PNG_COLOR_TYPE_PALETTE ? i % 16 : i * 7);
  std::vector<png_bytep> pointers(h);
  for (int y = 0; y < h; y++) pointers[y] = rows.data() + static_cast<size_t>(y) * w * channels;
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// kind 0 colour, 1 greyscale, 2 progressive colour.
inline std::vector<uint8_t> seed_jpeg(int kind) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long mem_size = 0;
  jpeg_mem_dest(&c, &mem, &mem_size);
  c.image_width = 19;
  c.image_height = 11;
  c.input_components = kind % 3 == 1 ? 1 : 3;
  c.in_color_space = kind % 3 == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  if (kind % 3 == 2) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(c.image_width) * c.input_components);
  while (c.next_scanline < c.image_height) {
    for (size_t i = 0; i < row.size(); i++) row[i] = static_cast<uint8_t>(i * 11 + c.next_scanline * 17);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(mem, mem + mem_size);
  free(mem);
  return out;
}

// The fuzzer's bytes as damage to a seed: byte 0 picks the seed, byte 1 how much of it is kept,
// then (offset high, offset low, value) triples XORed in.
inline std::vector<uint8_t> seed_damaged(const std::vector<uint8_t>& seed, const uint8_t* data, size_t size) {
  std::vector<uint8_t> out = seed;
  if (out.empty()) return out;
  if (size > 1 && data[1] < 64) out.resize(out.size() * (data[1] + 1) / 65);
  for (size_t i = 2; i + 2 < size && !out.empty(); i += 3)
    out[((data[i] << 8) | data[i + 1]) % out.size()] ^= data[i + 2];
  return out;
}
