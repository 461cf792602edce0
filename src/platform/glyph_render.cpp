// FreeType draws, fontconfig finds the faces. The sizing follows the old system's font request:
// the cell (the face's Windows ascent plus descent) is cell_height pixels tall, and the em is
// twice char_width wide, so a fixed-pitch Japanese face advances char_width for half-width and
// twice that for full-width characters.
#include "platform/glyph_render.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "base/cp932.h"
#include "base/gamepath.h"

namespace {

struct renderer_state {
  std::once_flag started;
  FT_Library library = nullptr;
  std::vector<char32_t> unicode;  // by engine key
  std::map<std::string, std::string> face_files;  // face name -> host file (found once)
};
renderer_state& renderer() {
  static renderer_state r;
  std::call_once(r.started, [] {
    if (FT_Init_FreeType(&r.library) != 0) r.library = nullptr;
    FcInit();
    // Every key once: CP932 single bytes and lead/trail pairs to code points.
    r.unicode.assign(65536, 0);
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    auto convert = [&](const char* in, size_t n) -> char32_t {
      char32_t out = 0;
      char* ip = const_cast<char*>(in);
      char* op = reinterpret_cast<char*>(&out);
      size_t il = n, ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      return iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) ? 0 : out;
    };
    for (int c = 1; c < 256; c++) {
      char b[1] = {static_cast<char>(c)};
      if (!cp932_is_lead(static_cast<unsigned char>(c))) r.unicode[c] = convert(b, 1);
    }
    for (int lead = 0x81; lead <= 0xFC; lead++) {
      if (!cp932_is_lead(static_cast<unsigned char>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; trail++) {
        char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        r.unicode[lead | trail << 8] = convert(b, 2);
      }
    }
    iconv_close(cd);
  });
  return r;
}

// The names the old system's games ask for, and the installed faces that stand in for them.
struct face_substitute {
  const char8_t* name;
  const char* family;
};
constexpr face_substitute substitutes[] = {
    {u8"ＭＳ ゴシック", "IPAGothic"},    {u8"ＭＳ Ｐゴシック", "IPAPGothic"}, {u8"ＭＳ 明朝", "IPAMincho"},
    {u8"ＭＳ Ｐ明朝", "IPAPMincho"},     {u8"ＭＳ ＵＩゴシック", "IPAPGothic"}, {u8"MS Gothic", "IPAGothic"},
    {u8"MS PGothic", "IPAPGothic"},        {u8"MS Mincho", "IPAMincho"},         {u8"MS PMincho", "IPAPMincho"},
    {u8"MS UI Gothic", "IPAPGothic"},      {u8"メイリオ", "IPAPGothic"},       {u8"Meiryo", "IPAPGothic"},
};

// Family names compare as fontconfig compares them: blanks left out, ASCII letters in any case.
bool same_family(const char* a, const char* b) {
  auto fold = [](const char* s) {
    std::string out;
    for (; *s; s++)
      if (*s != ' ') out += (*s >= 'A' && *s <= 'Z') ? static_cast<char>(*s - 'A' + 'a') : *s;
    return out;
  };
  return fold(a) == fold(b);
}

// The file of the best face fontconfig has for a family; empty unless the face really carries that
// family name (fontconfig always answers something).
std::string match_family(const char* family, bool exact) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  std::string file;
  if (!match) return file;
  bool named = !exact;
  FcChar8* value = nullptr;
  for (int i = 0; !named && FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; i++)
    named = same_family(reinterpret_cast<const char*>(value), family);
  if (named && FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch) file = reinterpret_cast<char*>(value);
  FcPatternDestroy(match);
  return file;
}

std::string find_face_file(const char* face) {
  std::string utf8 = cp932_to_utf8_lenient(face);
  for (const face_substitute& s : substitutes)
    if (utf8 == reinterpret_cast<const char*>(s.name)) utf8 = s.family;
  std::string file = utf8.empty() ? "" : match_family(utf8.c_str(), true);
  if (file.empty()) {
    bool mincho = cp932_strstr(face, "明朝") != nullptr;
    file = match_family(mincho ? "IPAMincho" : "IPAGothic", true);
    if (file.empty()) file = match_family(mincho ? "serif" : "sans-serif", false);
  }
  return file;
}

// FreeType reads a face through the descriptor that host_file_open checked, never by its path,
// so nothing put in the file's place afterwards is opened. A read of 0 bytes is a seek.
unsigned long stream_read(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
  if (count == 0) return offset > stream->size ? 1 : 0;
  ssize_t n = pread(static_cast<int>(stream->descriptor.value), buffer, count, static_cast<off_t>(offset));
  return n > 0 ? static_cast<unsigned long>(n) : 0;
}

void stream_close(FT_Stream stream) { close(static_cast<int>(stream->descriptor.value)); }

// The first face of a font file (host path), read through the stream, which outlives the face
// (FT_Done_Face closes it; so does a failed open). A font's tables lie at 32-bit offsets.
bool face_open(const std::string& file, FT_StreamRec& stream, FT_Face* face) {
  int fd = renderer().library ? host_file_open(file, GAME_FILE_LIMIT) : -1;
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    return false;
  }
  stream = FT_StreamRec{};
  stream.size = static_cast<unsigned long>(st.st_size);
  stream.descriptor.value = fd;
  stream.read = stream_read;
  stream.close = stream_close;
  FT_Open_Args args{};
  args.flags = FT_OPEN_STREAM;
  args.stream = &stream;
  return FT_Open_Face(renderer().library, &args, 0, face) == 0;
}

}  // namespace

struct glyph_font {
  FT_StreamRec stream;
  FT_Face face = nullptr;
  int cell_height = 0, char_width = 0;
  int ascent = 0;  // pixels from the cell's top to the baseline
  std::vector<int16_t> extents;  // by key, -1 until asked
};

std::string glyph_face_file(const char* face) {
  renderer_state& r = renderer();
  auto it = r.face_files.find(face);
  if (it == r.face_files.end()) it = r.face_files.emplace(face, find_face_file(face)).first;
  return it->second;
}

glyph_font* glyph_font_open(const char* face, int cell_height, int char_width) {
  glyph_font* f = new glyph_font;
  f->cell_height = cell_height > 0 ? cell_height : 1;
  f->char_width = char_width > 0 ? char_width : 1;
  std::string file = glyph_face_file(face);
  if (file.empty() || !face_open(file, f->stream, &f->face)) {
    f->face = nullptr;
    f->ascent = f->cell_height * 7 / 8;
    return f;
  }
  // The cell: the Windows ascent and descent when the face has them, else the typographic ones.
  double ascender = f->face->ascender, descender = -static_cast<double>(f->face->descender);
  if (const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f->face, FT_SFNT_OS2));
      os2 && os2->usWinAscent + os2->usWinDescent > 0) {
    ascender = os2->usWinAscent;
    descender = os2->usWinDescent;
  }
  double cell_units = ascender + descender > 0 ? ascender + descender : f->face->units_per_EM;
  double em_height = f->cell_height * f->face->units_per_EM / cell_units;
  FT_Size_RequestRec request = {FT_SIZE_REQUEST_TYPE_NOMINAL, static_cast<FT_Long>(2 * f->char_width * 64),
                                static_cast<FT_Long>(std::lround(em_height * 64)), 0, 0};
  if (FT_Request_Size(f->face, &request) != 0) {
    FT_Done_Face(f->face);
    f->face = nullptr;
  }
  f->ascent = static_cast<int>(std::lround(f->cell_height * ascender / cell_units));
  return f;
}

void glyph_font_close(glyph_font* font) {
  if (!font) return;
  if (font->face) FT_Done_Face(font->face);
  delete font;
}

static FT_UInt glyph_index(glyph_font* font, uint32_t key) {
  char32_t c = renderer().unicode[key & 0xFFFF];
  return c ? FT_Get_Char_Index(font->face, c) : 0;
}

int glyph_font_extent(glyph_font* font, uint32_t key) {
  bool wide = (key & 0xFF00) != 0;
  if (!font->face) return wide ? 2 * font->char_width : font->char_width;
  if (font->extents.empty()) font->extents.assign(65536, -1);
  int16_t& e = font->extents[key & 0xFFFF];
  if (e >= 0) return e;
  e = 0;
  FT_UInt index = glyph_index(font, key);
  if (index == 0 && !renderer().unicode[key & 0xFFFF]) return 0;
  // The design advance at this size (16.16 pixels), as the old system measured text: hinting
  // does not change a layout.
  FT_Fixed advance = 0;
  if (FT_Get_Advance(font->face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP, &advance) != 0) return 0;
  e = static_cast<int16_t>(std::min<FT_Fixed>((advance + 0x8000) >> 16, INT16_MAX));
  return e;
}

void glyph_font_draw(glyph_font* font, uint32_t key, const glyph_canvas& canvas, int x, int y, bool bilevel) {
  if (!font->face) return;
  FT_UInt index = glyph_index(font, key);
  if (index == 0) return;
  FT_Int32 flags = FT_LOAD_RENDER | FT_LOAD_NO_BITMAP | (bilevel ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(font->face, index, flags) != 0) return;
  const FT_GlyphSlot slot = font->face->glyph;
  const FT_Bitmap& b = slot->bitmap;
  int advance = static_cast<int>((slot->linearHoriAdvance + 0x8000) >> 16);  // unhinted, as the extent
  int left = x - advance / 2 + slot->bitmap_left, top = y + font->ascent - slot->bitmap_top;
  // The bitmap's columns that land on the canvas.
  int first = std::max(0, -left), last = std::min(static_cast<int>(b.width), canvas.width - left);
  for (unsigned row = 0; row < b.rows && first < last; row++) {
    int cy = top + static_cast<int>(row);
    if (cy < 0 || cy >= canvas.height) continue;
    const uint8_t* src = b.buffer + static_cast<ptrdiff_t>(row) * b.pitch;
    uint8_t* dst = canvas.bits + static_cast<ptrdiff_t>(cy) * canvas.stride + left;
    if (b.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (int col = first; col < last; col++) {
        uint8_t bits = src[col >> 3];
        if (bits == 0 && (col & 7) == 0) {
          col += 7;  // eight columns of paper
          continue;
        }
        if (bits & (0x80 >> (col & 7))) dst[col] = 0;
      }
    } else {
      for (int col = first; col < last; col++) {
        uint8_t ink = static_cast<uint8_t>(255 - src[col]);
        if (ink < dst[col]) dst[col] = ink;
      }
    }
  }
}

bool glyph_private_font_add(const std::string& host_path) {
  FT_StreamRec stream;
  FT_Face probe = nullptr;
  if (!face_open(host_path, stream, &probe)) return false;
  // fontconfig opens what it is given: the checked descriptor's own name. Its faces are then known
  // by the path, which the renderer opens through the same checks.
  std::string checked = "/proc/self/fd/" + std::to_string(stream.descriptor.value);
  FcFontSet* set = FcConfigGetFonts(nullptr, FcSetApplication);
  int known = set ? set->nfont : 0;
  bool added = FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(checked.c_str()));
  FT_Done_Face(probe);
  if (!added) return false;
  set = FcConfigGetFonts(nullptr, FcSetApplication);
  for (int i = known; set && i < set->nfont; i++) {
    FcPatternDel(set->fonts[i], FC_FILE);
    FcPatternAddString(set->fonts[i], FC_FILE, reinterpret_cast<const FcChar8*>(host_path.c_str()));
  }
  renderer().face_files.clear();  // a name may find the new face now
  return true;
}

void glyph_private_fonts_clear() {
  renderer();
  FcConfigAppFontClear(nullptr);
  renderer().face_files.clear();
}
