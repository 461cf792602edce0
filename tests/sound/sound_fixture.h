// Shared set-up of the sound tests: the null output, the buffer and device modules reset, and a
// game-data folder of their own where sox and the fixture tools write sounds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/datasource.h"
#include "platform/sound_buffers.h"
#include "sound/dsound.h"
#include "sound/sound_stream.h"
#include "test_support.h"

class sound_test : public engine_test {
 protected:
  void SetUp() override {
    engine_test::SetUp();
    dsound_reset();
    sound_buffers_reset();
    data_sources_clear();
    data_base_folder_set(dir.path().c_str());
  }
  void TearDown() override {
    dsound_reset();
    sound_buffers_reset();
    data_sources_clear();
    engine_test::TearDown();
  }
  // Runs sox in the game folder; true when it succeeded.
  bool sox(const std::string& args) {
    return run_command("cd '" + dir.path() + "' && sox " + args + " 2>/dev/null") == 0;
  }
  // sox's own decode of a file in the folder, as 16-bit samples.
  std::vector<int16_t> sox_decode(const std::string& name) {
    if (!sox("'" + name + "' -t raw -e signed -b 16 -L '" + name + ".raw'")) return {};
    FILE* f = fopen(dir.at(name + ".raw").c_str(), "rb");
    std::string bytes = read_rest(f);
    fclose(f);
    std::vector<int16_t> out(bytes.size() / 2);
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
  }
  temp_dir dir;
};

// A stream record naming a file, as the mixer makes one.
inline sound_stream stream_named(const char* file, const char* loop_part = "") {
  sound_stream s{};
  snprintf(s.file, sizeof s.file, "%s", file);
  snprintf(s.loop_part, sizeof s.loop_part, "%s", loop_part);
  return s;
}
