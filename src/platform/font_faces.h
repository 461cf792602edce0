// The installed font families that can show Japanese text, for the font choice of the settings
// dialogs.
#pragma once

#include <string>
#include <vector>

struct font_face_info {
  std::string family;  // engine text (CP932)
  bool fixed_pitch;    // monospaced or dual-width: half-width characters share one advance
};

// Scalable families covering Japanese, each once, sorted by name. Families whose name cannot be
// written in CP932 are left out: the engine could not name them.
std::vector<font_face_info> font_faces_japanese();
