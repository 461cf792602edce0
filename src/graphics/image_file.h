// What every image reader shares: a game file read as a stream bounded by its entry's size, and
// the image-name rules (base names, extensions, mask names).
//
// An archive entry's stream is the archive itself positioned at the entry, so a reader that read
// on would read the next entry: every read here stops at the entry's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct page;

struct image_stream {
  FILE* file = nullptr;
  uint32_t left = 0;  // bytes of the entry not yet read
};

// Opens a game file through Ffopen (a missing file asks Retry/Cancel until it opens or the program
// ends), bounded by its entry's size.
image_stream image_stream_open(const char* name);
// A stream over a host file from its current position (tools, fuzzers); not closed by us.
image_stream image_stream_wrap(FILE* file, uint32_t size);
// At most n bytes, never past the entry's end; the count read.
size_t image_stream_read(image_stream* s, void* buffer, size_t n);
// Reads exactly n bytes or returns false.
bool image_stream_read_all(image_stream* s, void* buffer, size_t n);
void image_stream_close(image_stream* s);

// A name split into its folder part (with its last "\" or "/"), base name and extension (with
// the dot; empty when there is none). CP932-aware: a trail byte is never a separator.
struct image_name_parts {
  std::string folder, base, extension;
};
image_name_parts image_name_split(const char* name);

// 1 when the base name followed by "." contains "_.", i.e. the base name ends in "_": the name of
// an image's transparency mask.
int image_name_is_mask(const char* base);
// 1 when the full file name's base name is a mask name.
int image_file_is_mask(const char* file_name);
// The file that holds a mask: the base name without its final "_", same folder and extension
// (ev01_.png -> ev01.png).
std::string image_mask_source(const char* file_name);

// A new page of the same size, depth, palette and pixels (the alpha page is not copied); null when
// no page could be made (reported by page_new).
page* image_page_copy(const page* src, int persistent);
