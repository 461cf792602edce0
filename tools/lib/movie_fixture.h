// Movies for tests and benchmarks, made by the ffmpeg tool: frames whose number stands in eight
// bars across the picture (bar k white when bit k is set, read from any row) and a 440 Hz tone.
#pragma once

#include <cstdint>
#include <string>

struct movie_file {
  const char* name;
  int width, height, seconds;  // 25 frames a second
  const char* audio;           // ffmpeg's audio options; nullptr for a silent movie
  const char* video;           // ffmpeg's video options
  const char* source = nullptr;  // another lavfi picture in place of the bars (benchmarks)
};

// The movie in folder, made when it is not there yet; empty when ffmpeg failed.
std::string movie_fixture_make(const std::string& folder, const movie_file& m);
// The frame number of a row of BGR24 pixels, width w.
int movie_fixture_number(const uint8_t* row, int w);
