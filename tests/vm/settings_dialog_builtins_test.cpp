#include <gtest/gtest.h>

#include "dispatcher_fixture.h"
#include "shell/setting_builtins.h"
#include "shell/settings.h"
#include "shell/settings_dialogs.h"

// The dialog built-ins through the dispatcher: each opens its dialog and pushes one result.
class settings_dialog_builtins : public dispatcher_test {
 protected:
  void TearDown() override {
    settings_dialogs_reset();
    setting_builtins_reset();
    settings_state_reset();
    dispatcher_test::TearDown();
  }
};

// Picks the last face and answers OK.
static int pick_last_face(settings_dialog& d) {
  settings_control* combo = d.find(1009);
  settings_dialog_set(d, 1009, static_cast<int>(combo->rows.size()) - 1);
  return 1;
}

TEST_F(settings_dialog_builtins, FontSelectAnswersTheChosenFaceOrTheScriptsOnCancel) {
  const uint32_t FONT_SELECT = 0x95FF28F2;
  for (bool ok : {false, true}) {
    settings_dialog_view_set(ok ? pick_last_face : nullptr);
    push_int(1);
    push_string("NoSuchFace");
    call(FONT_SELECT, 2);
    const value_cell& result = cell(top() - 1);
    ASSERT_EQ(result.type, TYPE_STRING);
    std::vector<std::string> rows = font_face_rows(font_faces_japanese(), 1, "");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(result.s->text, ok ? rows.back() : "NoSuchFace");
    EXPECT_EQ(font_choice_style(), 1);
  }
}

TEST_F(settings_dialog_builtins, OpenersRunWithoutAViewAndChangeNothing) {
  config_load();
  for (uint32_t hash : {0x4EA2D1FCu, 0x978047DBu, 0xE90E0A19u}) {
    call(hash, 0);
    EXPECT_EQ(cell(top() - 1).i, 0);
  }
  EXPECT_EQ(setting_get(SETTING_MUSIC_VOLUME), 650);
}
