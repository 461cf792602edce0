// Decode speed of an 800x600 picture in every format the engine reads, and the cost of an image
// cache hit, in Mpixel/s against memcpy of the picture's bytes (and, for PNG, against libpng's own
// simplified reader on the same file). The pictures are made by ImageMagick and by our encoders.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "base/datasource.h"
#include "bench_ratio.h"
#include "graphics/image_cache.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "image_encoder.h"

namespace {
constexpr int W = 800, H = 600;

std::string folder;
std::vector<uint8_t> files[8];  // the formats below, in this order
enum { F_RCT, F_RC8, F_BMP, F_PNG, F_PNGA, F_JPG, F_RCT_KEYED, F_BMP32 };

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  std::string s = data.str();
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Runs a decoder on the bytes as a stream.
template <class Decode>
page* decode_memory(const std::vector<uint8_t>& bytes, Decode&& decode) {
  image_stream s = image_stream_memory(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return decode(&s);
}

bool make_files() {
  char pattern[] = "/tmp/vaskbench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  folder = pattern;
  // A picture with smooth areas, edges and texture, as game art has.
  std::string cmd = "cd " + folder +
                    " && convert -seed 3 -size 800x600 plasma:fractal -blur 0x3 -depth 8 "
                    "( -size 800x600 xc:none -fill '#3060a0' -draw 'circle 400,300 400,80' "
                    "-fill '#f0e0d0' -draw 'rectangle 60,60 300,500' ) -composite src.png"
                    " && convert src.png BMP3:pic.bmp && convert src.png PNG24:pic.png"
                    " && convert src.png ( src.png -colorspace Gray ) -compose CopyOpacity -composite PNG32:pica.png"
                    " && convert src.png -quality 90 pic.jpg && convert pica.png BMP:pica.bmp"
                    " && convert src.png -colors 256 -type Palette -compress none BMP3:pal.bmp";
  std::string escaped;
  for (char c : cmd) escaped += c == '(' || c == ')' ? std::string("\\") + c : std::string(1, c);
  if (system(escaped.c_str()) != 0) return false;
  files[F_BMP] = read_file(folder + "/pic.bmp");
  files[F_PNG] = read_file(folder + "/pic.png");
  files[F_PNGA] = read_file(folder + "/pica.png");
  files[F_JPG] = read_file(folder + "/pic.jpg");
  files[F_BMP32] = read_file(folder + "/pica.bmp");
  page *colour, *mask;
  page* picture = decode_memory(files[F_BMP], [&](image_stream* s) {
    bmp_decode(s, &colour, &mask);
    return colour;
  });
  page* paletted = decode_memory(read_file(folder + "/pal.bmp"), [&](image_stream* s) {
    bmp_decode(s, &colour, &mask);
    return mask;
  });
  if (!picture || !paletted) return false;
  files[F_RCT] = rct_encode(picture);
  files[F_RC8] = rc8_encode(paletted);
  files[F_RCT_KEYED] = rct_encode(picture, {true, "bench key", ""});
  // The BMP again as an archive entry between two others, as games ship their pictures.
  std::string bmp(files[F_BMP].begin(), files[F_BMP].end());
  if (!archive_write(folder + "/pics.arc", archive_version::v3,
                     {{"first.bin", std::string(5000, 'a')}, {"inarc.bmp", bmp}, {"last.bin", std::string(5000, 'z')}}))
    return false;
  std::ofstream(folder + "/pic.rct", std::ios::binary)
      .write(reinterpret_cast<const char*>(files[F_RCT].data()), static_cast<std::streamsize>(files[F_RCT].size()));
  page_free(picture, 1);
  page_free(paletted, 1);
  return true;
}

void count(benchmark::State& state) { state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * W * H); }

void bm_memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(W * H * 3, 1), b(W * H * 3);
  for (auto _ : state) {
    memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
  count(state);
}

template <class Decode>
void run_decode(benchmark::State& state, int file, Decode&& decode) {
  for (auto _ : state) {
    page* p = decode_memory(files[file], decode);
    if (!p) state.SkipWithError("no picture");
    page_free_all_at_exit();
  }
  count(state);
}

void bm_rct(benchmark::State& state) { run_decode(state, F_RCT, [](image_stream* s) { return rct_read(s, "a.rct"); }); }
void bm_rct_keyed(benchmark::State& state) {
  run_decode(state, F_RCT_KEYED, [](image_stream* s) { return rct_read(s, "k.rct"); });
}
void bm_rc8(benchmark::State& state) { run_decode(state, F_RC8, [](image_stream* s) { return rc8_read(s, "a.rc8"); }); }
void bm_bmp(benchmark::State& state, int file) {
  run_decode(state, file, [](image_stream* s) {
    page *c, *m;
    bmp_decode(s, &c, &m);
    return c;
  });
}
// The same picture from a stream over its file, as the engine reads game files.
void bm_bmp_file(benchmark::State& state) {
  std::string path = folder + "/pic.bmp";
  for (auto _ : state) {
    FILE* f = fopen(path.c_str(), "rb");
    image_stream s = image_stream_wrap(f, static_cast<uint32_t>(files[F_BMP].size()));
    page *c, *m;
    bmp_decode(&s, &c, &m);
    if (!c) state.SkipWithError("no picture");
    fclose(f);
    page_free_all_at_exit();
  }
  count(state);
}
// A game file opened by name as the readers open it: "pic.bmp" and "pica.bmp" lie loose in the
// game's folder, "inarc.bmp" is an archive entry.
void bm_bmp_game_file(benchmark::State& state, const char* name) {
  data_sources_clear();
  data_base_folder_set(folder.c_str());
  if (data_source_add("pics", 0) != DATA_SOURCE_ARCHIVE64) state.SkipWithError("no archive");
  for (auto _ : state) {
    image_stream s = image_stream_open(name);
    page *c, *m;
    bmp_decode(&s, &c, &m);
    if (!c) state.SkipWithError("no picture");
    image_stream_close(&s);
    page_free_all_at_exit();
  }
  data_sources_clear();
  count(state);
}
void bm_png(benchmark::State& state, int file) {
  run_decode(state, file, [](image_stream* s) {
    page *c, *m;
    png_decode(s, &c, &m);
    return c;
  });
}
void bm_jpeg(benchmark::State& state) { run_decode(state, F_JPG, [](image_stream* s) { return jpeg_decode(s, nullptr); }); }

// The peer: libpng's simplified reader decoding the same file to blue-green-red(-alpha).
void bm_libpng_simplified(benchmark::State& state, int file) {
  std::vector<uint8_t> out(W * H * 4);
  for (auto _ : state) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&image, files[file].data(), files[file].size());
    image.format = file == F_PNGA ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
  }
  count(state);
}

// A cache hit: the name's lookup, one new page and one copy of the pixels.
void bm_cache_hit(benchmark::State& state, bool shared) {
  data_sources_clear();
  data_base_folder_set(folder.c_str());
  image_cache_reset();
  image_cache_set_budget(64 << 20);
  page_free(image_load("pic.rct"), 1);
  for (auto _ : state) {
    page* p = shared ? image_load_shared("pic.rct") : image_load("pic.rct");
    benchmark::DoNotOptimize(p);
    page_free(p, 0);
  }
  if (image_cache_hit_rate() < 50) state.SkipWithError("not a hit");  // all but the warm-up load
  image_cache_reset();
  count(state);
}
}  // namespace

int main(int argc, char** argv) {
  if (!make_files()) {
    fprintf(stderr, "bench_images: ImageMagick could not make the pictures\n");
    return 1;
  }
  benchmark::RegisterBenchmark("memcpy_800x600", bm_memcpy);
  benchmark::RegisterBenchmark("rct_800x600", bm_rct);
  benchmark::RegisterBenchmark("rct_keyed_800x600", bm_rct_keyed);
  benchmark::RegisterBenchmark("rc8_800x600", bm_rc8);
  benchmark::RegisterBenchmark("bmp24_800x600", bm_bmp, F_BMP);
  benchmark::RegisterBenchmark("bmp24_file_800x600", bm_bmp_file);
  benchmark::RegisterBenchmark("bmp24_folder_800x600", bm_bmp_game_file, "pic.bmp");
  benchmark::RegisterBenchmark("bmp24_archive_800x600", bm_bmp_game_file, "inarc.bmp");
  benchmark::RegisterBenchmark("bmp32_800x600", bm_bmp, F_BMP32);
  benchmark::RegisterBenchmark("bmp32_folder_800x600", bm_bmp_game_file, "pica.bmp");
  benchmark::RegisterBenchmark("png_rgb_800x600", bm_png, F_PNG);
  benchmark::RegisterBenchmark("libpng_rgb_800x600", bm_libpng_simplified, F_PNG);
  benchmark::RegisterBenchmark("png_rgba_800x600", bm_png, F_PNGA);
  benchmark::RegisterBenchmark("libpng_rgba_800x600", bm_libpng_simplified, F_PNGA);
  benchmark::RegisterBenchmark("jpeg_800x600", bm_jpeg);
  benchmark::RegisterBenchmark("cache_hit_copy_800x600", bm_cache_hit, false);
  benchmark::RegisterBenchmark("cache_hit_shared_800x600", bm_cache_hit, true);
  int result = bench_main(argc, argv,
                          {{"rct_800x600", "memcpy_800x600", ""},
                           {"rct_keyed_800x600", "memcpy_800x600", ""},
                           {"rc8_800x600", "memcpy_800x600", ""},
                           {"bmp24_800x600", "memcpy_800x600", ""},
                           {"bmp24_file_800x600", "memcpy_800x600", ""},
                           {"bmp24_folder_800x600", "memcpy_800x600", ""},
                           {"bmp24_archive_800x600", "memcpy_800x600", ""},
                           {"bmp32_800x600", "memcpy_800x600", ""},
                           {"bmp32_folder_800x600", "memcpy_800x600", ""},
                           {"png_rgb_800x600", "memcpy_800x600", "libpng_rgb_800x600"},
                           {"png_rgba_800x600", "memcpy_800x600", "libpng_rgba_800x600"},
                           {"jpeg_800x600", "memcpy_800x600", ""},
                           {"cache_hit_copy_800x600", "memcpy_800x600", ""},
                           {"cache_hit_shared_800x600", "memcpy_800x600", ""}});
  std::filesystem::remove_all(folder);
  return result;
}
