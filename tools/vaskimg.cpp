// vaskimg: writes the engine's own image formats from ordinary pictures.
//
//   vaskimg [--key=TEXT] [--base=NAME[:FILE]] OUTPUT.rct INPUT
//   vaskimg OUTPUT.rc8 INPUT
//
// INPUT is a PNG, BMP, JPEG, RCT or RC8 file. --key writes a keyed RCT scrambled with the key that
// the text makes (scripts install the same text with set_pic_key). --base writes a differential RCT
// that names NAME as its base; with FILE, every pixel equal to FILE's picture becomes the marker
// that the engine fills from the base. RC8 takes an 8-bit picture, or one of at most 256 colours.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "image_encoder.h"

// The picture of a host file, through the engine's own decoders.
static page* read_picture(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  image_stream s = image_stream_wrap(f, static_cast<uint32_t>(size < 0 ? 0 : size));
  std::string ext = cp932_lower(image_name_split(path.c_str()).extension);
  page *colour = nullptr, *mask = nullptr;
  if (ext == ".png") {
    png_decode(&s, &colour, &mask);
  } else if (ext == ".bmp") {
    bmp_decode(&s, &colour, &mask);
    if (!colour) std::swap(colour, mask);  // an 8-bit file's picture
  } else if (ext == ".jpg" || ext == ".jpeg") {
    colour = jpeg_decode(&s, nullptr);
  } else if (ext == ".rct") {
    colour = rct_read(&s, "");
  } else if (ext == ".rc8") {
    colour = rc8_read(&s, "");
  }
  fclose(f);
  page_free(mask, 1);
  return colour;
}

// An 8-bit page of a 24-bit picture with at most 256 colours; null when it has more.
static page* to_paletted(const page* p) {
  page* out = page_new(p->width, p->height, 1, 0);
  std::map<uint32_t, int> index;
  for (int y = 0; y < p->height; y++)
    for (int x = 0; x < p->width; x++) {
      const uint8_t* c = page_row(p, y) + 3 * x;
      uint32_t key = c[0] | c[1] << 8 | c[2] << 16;
      auto it = index.find(key);
      if (it == index.end()) {
        if (index.size() == 256) {
          page_free(out, 1);
          return nullptr;
        }
        int i = static_cast<int>(index.size());
        it = index.emplace(key, i).first;
        out->palette[i] = rgb_quad{c[0], c[1], c[2], 0};
      }
      page_row(out, y)[x] = static_cast<uint8_t>(it->second);
    }
  return out;
}

static bool write_file(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

static const char USAGE[] =
    "usage: vaskimg [--key=TEXT] [--base=NAME[:FILE]] OUTPUT.rct INPUT\n"
    "       vaskimg OUTPUT.rc8 INPUT\n"
    "Writes a picture (PNG, BMP, JPEG, RCT or RC8) in the engine's own formats.\n"
    "  --key=TEXT        a keyed RCT, scrambled with the key the text makes (set_pic_key TEXT)\n"
    "  --base=NAME[:FILE] a differential RCT naming NAME as its base; with FILE, every pixel equal\n"
    "                    to FILE's picture is left for the engine to fill from the base\n"
    "RC8 takes an 8-bit picture, or one of at most 256 colours.\n";

int main(int argc, char** argv) {
  rct_options options;
  std::string base_file;
  int i = 1;
  for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
    std::string opt = argv[i];
    if (opt == "--help") {
      fputs(USAGE, stdout);
      return 0;
    } else if (opt.rfind("--key=", 0) == 0) {
      options.keyed = true;
      options.key = opt.substr(6);
    } else if (opt.rfind("--base=", 0) == 0) {
      std::string value = opt.substr(7);
      size_t colon = value.find(':');
      options.base_name = value.substr(0, colon);
      if (colon != std::string::npos) base_file = value.substr(colon + 1);
    } else {
      fprintf(stderr, "vaskimg: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc - i != 2) {
    fputs(USAGE, stderr);
    return 2;
  }
  std::string output = argv[i], input = argv[i + 1];
  std::string ext = cp932_lower(image_name_split(output.c_str()).extension);
  page* picture = read_picture(input);
  if (!picture) {
    fprintf(stderr, "vaskimg: cannot read %s\n", input.c_str());
    return 1;
  }
  std::vector<uint8_t> data;
  if (ext == ".rc8") {
    page* paletted = picture->is_8bit ? picture : to_paletted(picture);
    if (!paletted) {
      fprintf(stderr, "vaskimg: %s has more than 256 colours\n", input.c_str());
      return 1;
    }
    data = rc8_encode(paletted);
  } else if (ext == ".rct") {
    if (picture->is_8bit) {
      fprintf(stderr, "vaskimg: %s is an 8-bit picture; write it as .rc8\n", input.c_str());
      return 1;
    }
    if (!base_file.empty()) {
      page* base = read_picture(base_file);
      if (!base || base->is_8bit) {
        fprintf(stderr, "vaskimg: cannot read the 24-bit base %s\n", base_file.c_str());
        return 1;
      }
      picture = rct_diff_picture(picture, base);
    }
    data = rct_encode(picture, options);
  } else {
    fprintf(stderr, "vaskimg: the output must end in .rct or .rc8\n");
    return 2;
  }
  if (!write_file(output, data)) {
    fprintf(stderr, "vaskimg: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
