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
  const uint8_t* bytes = nullptr;  // a stream over memory: its next byte (file is null)
  uint32_t left = 0;               // bytes of the entry not yet read
  int64_t resume = -1;             // where the file's next read starts, when pieces read past stdio
};

// Opens a game file through Ffopen (a missing file asks Retry/Cancel until it opens or the program
// ends), bounded by the size of the entry it opened.
image_stream image_stream_open(const char* name);
// A stream over a host file from its current position (tools, fuzzers); not closed by us. The
// file's own position does not follow the stream's.
image_stream image_stream_wrap(FILE* file, uint32_t size);
// A stream over bytes in memory (tools, tests, benchmarks); they must outlive it.
image_stream image_stream_memory(const void* bytes, uint32_t size);
// At most n bytes, never past the entry's end; the count read.
size_t image_stream_read(image_stream* s, void* buffer, size_t n);
// Reads exactly n bytes or returns false.
bool image_stream_read_all(image_stream* s, void* buffer, size_t n);
// Reads count pieces of size bytes that follow each other in the stream, each into its own place
// (a picture's rows in their stored order), or returns false. A file's pieces come in one
// system read that puts each where it goes, so rows stored bottom-up cost no extra copy.
bool image_stream_read_pieces(image_stream* s, uint8_t* const* places, size_t count, size_t size);
// False for a stream whose file did not open.
bool image_stream_is_open(const image_stream* s);
void image_stream_close(image_stream* s);

// A script's image name, parsed once where it comes in and handed down as it is: the cache, the
// depth test and the readers all read these fields instead of cutting the name up again.
// CP932-aware: a trail byte is never a separator.
struct image_name {
  std::string full;       // the name as given
  std::string folder;     // up to and with its last "\", "/" or ":"
  std::string base;       // between the folder and the last dot
  std::string extension;  // with the dot; empty when there is none
  // The base name ends in "_" (image_name_is_mask): the name of an image's transparency mask.
  bool mask = false;
  // The file that holds the picture: for a mask name the image's file, the base name without its
  // final "_" (ev01_.png -> ev01.png); else the name itself.
  std::string source;

  image_name(const char* name);  // implicit: a plain name is parsed where it is handed over
  image_name(const std::string& name) : image_name(name.c_str()) {}
  const char* c_str() const { return full.c_str(); }
};
// The parts of a host path (tools, tests).
inline image_name image_name_split(const char* name) { return image_name(name); }

// 1 when the base name followed by "." contains "_.", i.e. the base name ends in "_": the name of
// an image's transparency mask.
int image_name_is_mask(const char* base);

// A new page of the same size, depth, palette and pixels (the alpha page is not copied); null when
// no page could be made (reported by page_new).
page* image_page_copy(const page* src, int persistent);
