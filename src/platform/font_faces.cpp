#include "platform/font_faces.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>

#include "base/cp932.h"

std::vector<font_face_info> font_faces_japanese() {
  std::vector<font_face_info> faces;
  if (!FcInit()) return faces;
  FcPattern* pattern = FcPatternCreate();
  FcLangSet* langs = FcLangSetCreate();
  FcLangSetAdd(langs, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddLangSet(pattern, FC_LANG, langs);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_SPACING, nullptr);
  FcFontSet* set = FcFontList(nullptr, pattern, objects);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcChar8* family = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) != FcResultMatch) continue;
      int spacing = FC_PROPORTIONAL;
      FcPatternGetInteger(set->fonts[i], FC_SPACING, 0, &spacing);
      std::string name;
      if (!utf8_to_cp932(reinterpret_cast<const char*>(family), name) || name.empty()) continue;
      bool fixed = spacing >= FC_DUAL;
      auto same = [&](const font_face_info& f) { return f.family == name; };
      auto found = std::find_if(faces.begin(), faces.end(), same);
      if (found == faces.end()) faces.push_back({name, fixed});
      else found->fixed_pitch = found->fixed_pitch || fixed;  // one fixed style makes it usable
    }
    FcFontSetDestroy(set);
  }
  FcObjectSetDestroy(objects);
  FcLangSetDestroy(langs);
  FcPatternDestroy(pattern);
  std::sort(faces.begin(), faces.end(),
            [](const font_face_info& a, const font_face_info& b) { return a.family < b.family; });
  return faces;
}
