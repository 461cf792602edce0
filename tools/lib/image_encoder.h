// RCT and RC8 writers for tests and the sample game (the engine only reads these formats).
//
// The payload encoders match greedily: at each pixel the longest run that one of the neighbours
// repeats becomes a back-reference, everything else goes into literal runs. The wrappers add the
// header and, for the variants that have them, the base name and the key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct page;
struct rgb_quad;

// Payloads of unpadded pictures: blue-green-red pixels for RCT, palette indices for RC8.
std::vector<uint8_t> rct_encode_payload(const uint8_t* pixels, int width, int height);
std::vector<uint8_t> rc8_encode_payload(const uint8_t* indices, int width, int height);

struct rct_options {
  bool keyed = false;     // "TS" variants: the payload gains "TS" and is XORed with the key
  std::string key;        // installed with xor_key_from_string before scrambling; empty keeps the current key
  std::string base_name;  // differential ("..01" variants) when not empty
};

// A whole RCT file around a payload (as given: tests hand-craft payloads).
std::vector<uint8_t> rct_wrap(int width, int height, std::vector<uint8_t> payload, const rct_options& options = {});
// A whole RC8 file: header, 256 palette entries (blue, green, red), payload.
std::vector<uint8_t> rc8_wrap(int width, int height, const rgb_quad* palette, const std::vector<uint8_t>& payload);

// Pages to files: a 24-bit page to RCT, an 8-bit page (with its palette) to RC8.
std::vector<uint8_t> rct_encode(const page* picture, const rct_options& options = {});
std::vector<uint8_t> rc8_encode(const page* picture);

// The picture a differential file stores: every pixel equal to the base's at the same place becomes
// pure red (blue 0, green 0, red 255), the marker the engine fills from the base. A new
// non-persistent page.
page* rct_diff_picture(const page* picture, const page* base);

// The unpadded rows of a page.
std::vector<uint8_t> page_unpadded(const page* p);
