// The script text-file reader on arbitrary bytes: fields and lines never outgrow the line buffer,
// a field never holds a comma of its own, and every read makes progress, so the reads end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/cp932.h"
#include "vm/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks, read by read, between the next field and the rest of the line.
  uint8_t choices = data[0];
  FILE* f = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
  if (!f) return 0;
  // A bound smaller than the buffer stands for an archive entry that ends before its stream.
  uint32_t bound = static_cast<uint32_t>(size - 1 - (choices & 1 ? (size - 1) / 3 : 0));
  int32_t handle = textfile_wrap(f, bound);
  text_file_handle* h = textfile_find(handle);
  size_t reads = 0;
  for (std::string text;; ++reads) {
    if (reads > 2 * size + 2) abort();
    bool field = (choices >> (reads % 7 + 1)) & 1;
    bool got = field ? textfile_next_field(h, text) : textfile_rest_of_line(h, text);
    if (text.size() >= TEXT_LINE_SIZE) abort();
    if (field)  // no comma where a character starts (a lead byte takes whatever follows it)
      for (size_t i = 0; i < text.size(); i += cp932_char_len(text.c_str() + i))
        if (text[i] == ',') abort();
    if (!got) break;
  }
  textfile_close_handle(handle);
  return 0;
}
