#include "movie_fixture.h"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

std::string movie_fixture_make(const std::string& folder, const movie_file& m) {
  // Test programs run side by side and may make the same movie at once: each writes its own part.
  std::string path = folder + "/" + m.name, part = folder + "/part-" + std::to_string(getpid()) + "-" + m.name;
  if (FILE* f = fopen(path.c_str(), "rb")) return fclose(f), path;
  std::string bars = "color=c=black:s=" + std::to_string(m.width) + "x" + std::to_string(m.height) + ":r=25:d=" +
                     std::to_string(m.seconds) +
                     ",format=yuv444p,geq=lum='if(bitand(N\\,pow(2\\,floor(X*8/W)))\\,235\\,16)':cb=128:cr=128";
  std::string cmd = "ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"" + (m.source ? m.source : bars) + "\"";
  if (m.audio) cmd += " -f lavfi -i sine=frequency=440:duration=" + std::to_string(m.seconds) + " " + m.audio;
  // Written aside and renamed, so a file that exists is whole.
  cmd += std::string(" ") + m.video + (m.audio ? " -shortest" : "") + " '" + part + "' && mv '" + part + "' '" + path + "'";
  if (system(cmd.c_str()) == 0) return path;
  remove(part.c_str());
  if (FILE* f = fopen(path.c_str(), "rb")) return fclose(f), path;  // another process made it
  return "";
}

int movie_fixture_number(const uint8_t* row, int w) {
  int n = 0;
  for (int k = 0; k < 8; k++)
    if (row[3 * ((2 * k + 1) * w / 16) + 1] > 128) n |= 1 << k;
  return n;
}
