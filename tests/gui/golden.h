// The sample game's golden pictures (tests/e2e/golden/<name>.png): the front page at the
// checkpoints of the headless playthrough, which the desktop tests compare their screenshots with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int GOLDEN_WIDTH = 800, GOLDEN_HEIGHT = 600;

// The picture as 0x00RRGGBB, row by row; empty when it is missing or of another size.
std::vector<uint32_t> golden_picture(const std::string& name);
// Writes the picture (GOLDEN_WIDTH x GOLDEN_HEIGHT) as the golden of that name.
void golden_write(const std::string& name, const std::vector<uint32_t>& pixels);
// The pixels where a channel differs by more than 40 (glyph edges and anti-aliasing differ less
// in colour than a wrong picture), leaving out the rectangle skip (x, y, width, height) when its
// width is not 0; -1 when the sizes differ.
struct golden_skip {
  int x = 0, y = 0, width = 0, height = 0;
};
int golden_mismatches(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, golden_skip skip = {});
