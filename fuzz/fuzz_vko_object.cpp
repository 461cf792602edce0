// The script-object parser on arbitrary bytes: it accepts or refuses, never reads past the data,
// and an accepted object's every offset lies inside its code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "vm/script_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  object_image image;
  if (!object_parse(data, size, &image)) return 0;
  for (uint32_t i = 0; i < image.function_count; ++i)
    if (image.functions[i].offset >= image.code_size) abort();
  if (image.entry_offset != OBJECT_NO_ENTRY && image.entry_offset >= image.code_size) abort();
  volatile uint8_t last = image.code[image.code_size + CODE_GUARD_SIZE - 1];
  (void)last;
  object_image_free(&image);
  return 0;
}
