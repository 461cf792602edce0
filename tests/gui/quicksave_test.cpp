// The quick save and quick load of the menu bar, chosen by their access keys in vaskrun's window:
// the load brings back the scene as it was saved. Sprites are not kept in saves, so the scene is
// what a load restores: the script's variables (the colour and text it paints) and its place
// (the line after the snapshot, which paints them again).
#include <sys/wait.h>

#include <filesystem>

#include "gui_fixture.h"
#include "headless_game.h"

namespace {

constexpr int W = 640, H = 400;

// The scene: a page of @colour with @label on it, shown by a sprite. It is painted after the
// snapshot, so a load paints it again from the saved variables. "change.jpg" beside the game
// (once: the eternal #changed survives the load) repaints it in other colours; "end.jpg" ends it.
// Assembler text is UTF-8.
const char* SCENE = reinterpret_cast<const char*>(u8R"(
.builtin time_wait 0xCF35F0E3
.builtin system_end 0x8D8FB32E
.builtin image_exists 0xD3C06820
.builtin save_unlock 0x4D849AA6
.builtin snapshot_unlock 0x1BB47604
.builtin save_snapshot 0xF8004993
.builtin page_create 0x83D81F59
.builtin grp_boxfill 0xD01BE374
.builtin sprite_create 0xEF4581DC
.builtin sprite_move 0xE119D5BA
.builtin fontout_locate 0x57F6310D
.builtin fontout_set_color 0x90816C6E
.builtin fontout 0x35A89417
.lines 3
.func paint
    load.i @colour
    push.i 400
    push.i 640
    push.i 0
    push.i 0
    load.i @page
    builtin.drop grp_boxfill 6
    push.i 180
    push.i 200
    load.i @page
    builtin.drop fontout_locate 3
    push.i 0x00FFFFFF
    builtin.drop fontout_set_color 1
    load.s @label
    builtin.drop fontout 1
    ret
.func $init@GLOBAL
    ret
.entry
    line 1
    builtin.drop save_unlock 0
    builtin.drop snapshot_unlock 0
    push.i 0x00A04020
    set.i.pop @colour
    push.s "セーブした場面"
    set.s.pop @label
    push.s "場面∵クイックセーブ"
    builtin.drop save_snapshot 1
    line 2
    push.i 400
    push.i 640
    builtin page_create 2
    set.i.pop @page
    call.drop paint 0
    push.i 0
    push.i 0
    load.i @page
    builtin sprite_create 1
    builtin.drop sprite_move 3
wait:
    line 3
    push.i 20
    builtin.drop time_wait 1
    push.s "end"
    builtin image_exists 1
    jt done
    load.i #changed
    jt wait
    push.s "change"
    builtin image_exists 1
    jf wait
    push.i 1
    set.i.pop #changed
    push.i 0x00208040
    set.i.pop @colour
    push.s "セーブの後で変わった場面"
    set.s.pop @label
    call.drop paint 0
    jmp wait
done:
    builtin.drop system_end 0
    ret
)");

class QuickSave : public vaskrun_game_test {
 protected:
  int left = 0, top = 0;
  std::vector<uint32_t> area() { return screenshot(left, top, W, H); }
  // Waits until the game area shows that picture (or, with differ, anything else but it) and
  // has stopped changing.
  bool area_becomes(const std::vector<uint32_t>& picture, bool differ) {
    return pump_until_steady([&] { return area(); },
                             [&](const std::vector<uint32_t>& now) { return (pixel_mismatches(now, picture) == 0) != differ; },
                             10000);
  }
  // A menu entry by its access keys; then the box it brings is answered by key, and goes.
  void menu_and_box(const char* entry, const char* answer, const std::string& box_shot) {
    menu_choose("q", entry);
    ASSERT_FALSE(HasFatalFailure());
    std::string box = dialog_wait({window});
    ASSERT_FALSE(box.empty()) << "no box came after " << entry;
    save_screenshot(box_shot, left, top, W, H);
    ASSERT_EQ(xdotool(std::string("key ") + answer), 0);
    ASSERT_TRUE(main_window_alone()) << "the box stayed";
  }
};

TEST_F(QuickSave, TheQuickLoadOfTheMenuBringsBackTheQuickSavedScene) {
  play(W, H, "", SCENE);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(game_area_find(name.c_str(), W, H, left, top));
  ASSERT_EQ(xdotool("mousemove 1010 750"), 0);  // the pointer away from every window

  std::vector<uint32_t> blank(static_cast<size_t>(W) * H, 0);
  ASSERT_TRUE(area_becomes(blank, true)) << "the scene was not painted";
  const std::vector<uint32_t> saved = area();
  save_screenshot("quicksave-before", left, top, W, H);

  menu_and_box("s", "Return", "quicksave-notice");  // Qセーブ(&S): "クイックセーブしました"
  ASSERT_FALSE(HasFatalFailure());
  std::filesystem::path saves = dir.at("game/savedata");
  bool written = false;
  std::error_code missing;
  for (const auto& e : std::filesystem::directory_iterator(saves, missing))
    written |= e.path().extension() == ".sav";
  EXPECT_TRUE(written) << "no save file in " << saves;

  dir.write("game/change.jpg", "change");
  ASSERT_TRUE(area_becomes(saved, true)) << "the scene did not change";
  save_screenshot("quicksave-changed", left, top, W, H);

  menu_and_box("l", "alt+y", "quickload-question");  // Qロード(&L), asked first
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(area_becomes(saved, false)) << "the load did not bring the saved scene back";
  save_screenshot("quickload-after", left, top, W, H);

  dir.write("game/end.jpg", "end");
  EXPECT_TRUE(pump_until([this] { return child_ended(); }, 10000)) << "the game did not end";
  EXPECT_TRUE(WIFEXITED(child_status) && WEXITSTATUS(child_status) == 0) << "status " << child_status;
  EXPECT_EQ(file_text("output"), "");
}

}  // namespace
