// The characters every prebuilt glyph cache starts with: the punctuation and kana of everyday
// text, then the first-level kanji in code order. The list only decides what is fast at first.
#include "text/glyph.h"

#include "base/cp932.h"

namespace {

// Inclusive code ranges (lead byte x 256 + trail byte) of double-byte characters.
struct code_range {
  uint16_t first, last;
};
constexpr code_range kana_and_kanji[] = {
    {0x829F, 0x82F1},  // hiragana
    {0x8340, 0x837E}, {0x8380, 0x8396},  // katakana
    {0x889F, 0x88FC},  // kanji level 1 begins in row 16
    {0x8940, 0x987F},  // ... and runs to 0x9872 (the trail bytes are filtered below)
};

constexpr const char* punctuation = "　、。・：？！゛々ー―～…“”（）｛｝「」『』＝＜＞％＆☆♪ｗ";

bool kanji_trail(unsigned trail) { return trail >= 0x40 && trail <= 0xFC && trail != 0x7F; }

std::vector<uint32_t> make_list() {
  std::vector<uint32_t> keys;
  for (const char* s = punctuation; *s; s += cp932_char_len(s))
    keys.push_back(static_cast<uint8_t>(s[0]) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8);
  for (const code_range& r : kana_and_kanji)
    for (unsigned code = r.first; code <= r.last; code++) {
      if (!kanji_trail(code & 0xFF) || code > 0x9872) continue;
      keys.push_back((code >> 8) | (code & 0xFF) << 8);
    }
  return keys;
}

}  // namespace

const std::vector<uint32_t>& glyph_prebuilt_keys() {
  static const std::vector<uint32_t> keys = make_list();
  return keys;
}
