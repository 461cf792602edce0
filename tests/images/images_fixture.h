// Shared set-up of the image tests: a game-data folder of their own, the image modules reset, a
// script thread for the built-ins, and pictures that ImageMagick writes once per run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../graphics/pixels.h"
#include "base/datasource.h"
#include "graphics/image_cache.h"
#include "graphics/image_file.h"
#include "graphics/image_rct.h"
#include "graphics/image_readers.h"
#include "graphics/kernel.h"
#include "graphics/sprite.h"
#include "image_encoder.h"
#include "vm/thread.h"
#include "vm/variables.h"

inline void image_modules_reset() {
  image_cache_reset();
  image_readers_reset();
  image_rct_reset();
  sprite_free_all();
}

inline std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

// A folder of pictures that ImageMagick makes on first use and that lives for the whole run.
class magick_folder {
 public:
  static magick_folder& get() {
    static magick_folder folder;
    return folder;
  }
  // Runs convert in the folder; true when it succeeded.
  bool convert(const std::string& args) {
    return run_command("cd '" + dir_.path() + "' && convert " + args + " 2>/dev/null") == 0;
  }
  std::string at(const std::string& name) const { return dir_.at(name); }
  // ImageMagick's own decode of a picture as 8-bit RGBA bytes, top row first.
  std::vector<uint8_t> rgba(const std::string& name) {
    std::string raw = name + ".rgba";
    if (!convert("'" + name + "' -depth 8 'rgba:" + raw + "'")) return {};
    std::string data = file_bytes(at(raw));
    return std::vector<uint8_t>(data.begin(), data.end());
  }

 private:
  temp_dir dir_;
};

class images_test : public graphics_test {
 protected:
  void SetUp() override {
    graphics_test::SetUp();
    image_modules_reset();
    data_sources_clear();
    data_base_folder_set(dir.path().c_str());
    thread_id_source_set([] { return 7; });
    thread_switch(thread_create(0));
  }
  void TearDown() override {
    threads_destroy_all();
    thread_switch(nullptr);
    var_tables_free();
    image_modules_reset();
    data_sources_clear();
    graphics_test::TearDown();
  }

  void write(const std::string& name, const std::vector<uint8_t>& bytes) {
    dir.write(name, std::string(bytes.begin(), bytes.end()));
  }
  void write(const std::string& name, const std::string& bytes) { dir.write(name, bytes); }
  // Copies an ImageMagick picture into the game folder under a name of the test's choice.
  void use(const std::string& made, const std::string& as) { write(as, file_bytes(magick_folder::get().at(made))); }
  void remove(const std::string& name) { std::filesystem::remove(dir.at(name)); }

  // The texts of the boxes shown so far, one per line.
  std::string box_texts() const {
    std::string all;
    for (const auto& b : platform.boxes) all += b.text + "\n";
    return all;
  }

  temp_dir dir;
};

// A 24-bit page with a picture that compresses in some places and not in others.
inline page* test_picture(int w, int h, uint32_t seed) {
  page* p = page_new_rgb24(w, h, 0);
  uint32_t s = seed;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t* c = page_row(p, y) + 3 * x;
      s = s * 1103515245 + 12345;
      if ((x / 5 + y / 3) % 3 == 0) {  // noise
        c[0] = static_cast<uint8_t>(s >> 16), c[1] = static_cast<uint8_t>(s >> 8), c[2] = static_cast<uint8_t>(s >> 24);
      } else {  // flat areas and gradients the neighbours repeat
        c[0] = static_cast<uint8_t>(x * 4), c[1] = static_cast<uint8_t>(y * 8), c[2] = static_cast<uint8_t>((x / 7) * 40);
      }
    }
  return p;
}
