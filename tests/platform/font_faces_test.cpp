#include <gtest/gtest.h>

#include "platform/font_faces.h"

// The installed IPA faces are the ones the engine's text uses; the list must offer them.
TEST(font_faces, ListsTheInstalledJapaneseFacesOnce) {
  std::vector<font_face_info> faces = font_faces_japanese();
  bool gothic = false;
  for (size_t i = 0; i < faces.size(); ++i) {
    if (faces[i].family.rfind("IPA", 0) == 0 && faces[i].family.find("Gothic") != std::string::npos) gothic = true;
    if (i) {
      EXPECT_LT(faces[i - 1].family, faces[i].family);
    }
  }
  EXPECT_TRUE(gothic);
}
