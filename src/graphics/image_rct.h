// The engine's own image formats: RCT (24-bit, optionally keyed and/or differential) and RC8
// (8-bit paletted). Both share one LZ scheme whose back-references name one of a few fixed
// neighbours in the current and the rows above instead of a distance.
//
// File layout (little-endian): 8-byte magic (the CP932 bytes 8A 47 90 7D, then four ASCII bytes
// naming the variant), width i32, height i32, payload size i32. "TC00" plain, "TS00" keyed,
// "TC01"/"TS01" differential (u16 length and the base image's file name follow), "8_00" RC8 (768
// bytes of blue-green-red palette follow). A keyed payload is XORed with the key that scripts set
// and ends in "TS" once unscrambled.
//
// Window thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/image_file.h"

struct page;

constexpr size_t RCT_HEADER_SIZE = 20;
constexpr size_t RC8_HEADER_SIZE = 788;  // the header and the palette
constexpr size_t IMAGE_BASE_NAME_MAX = 259;

enum rct_variant { RCT_NONE = -1, RCT_PLAIN = 0, RCT_KEYED = 1, RCT_DIFF = 2, RCT_KEYED_DIFF = 3, RC8_PALETTED = 4 };
// The magics, indexed by rct_variant.
extern const char RCT_MAGICS[5][9];
// The variant whose magic the 8 bytes carry, RCT_NONE for any other.
rct_variant rct_variant_of(const uint8_t* magic);

// A new non-persistent 24-bit page, or null when the file is not RCT or is damaged (too short for
// its header, base name or payload; a base name above 259 bytes; a size below 1). A keyed image
// whose key does not fit gives a cleared page of the header's size.
page* rct_load(const char* name);
// A new non-persistent 8-bit page with the file's palette, or null (not RC8, or damaged).
page* rc8_load(const char* name);
// The same from a stream; name is what the header cache remembers.
page* rct_read(image_stream* s, const char* name);
page* rc8_read(image_stream* s, const char* name);

// The base image named by the last RCT decode; empty after any other decode.
const char* image_base_name();

// Width and height from the header cache, reading the file's first 788 bytes unless its header is
// the cached one; 0 when the magic is none of the five.
int rct_width(const char* name);
int rct_height(const char* name);

// A non-empty text installs the key for keyed images; an empty or null one keeps the current key.
void image_set_key(const char* text);

// The payload decoders: fill out (width x height pixels, unpadded rows) from the payload until the
// picture is full or the payload ends; a command that would read past the payload, write past the
// picture or refer before its start ends the decode. The bytes decoded.
size_t rct_decode(const uint8_t* payload, size_t size, uint8_t* out, int width, int height);
size_t rc8_decode(const uint8_t* payload, size_t size, uint8_t* out, int width, int height);

// The neighbour tables as pixel offsets for a picture of the given width.
int64_t rct_neighbour(int index, int width);  // index 0..31
int64_t rc8_neighbour(int index, int width);  // index 0..15

// Forgets the base name and the header cache (the key stays with the hash module).
void image_rct_reset();
