// Every dialog a player opens in vaskrun's window, each saved as a screenshot (gui-screenshots/
// dialog-*.png): the entries of the sample game's menu bar (its environment names no variant, so
// the main menu, here with the font and voice choices that FONTSEL and VOICESEL offer) chosen by
// their access keys, and the dialogs that a game's scripts open, the
// tabbed settings dialog (each of its pages) and the text-file save dialog. Each dialog is closed
// with Escape, which cancels it, and the game goes on.
#include <sys/wait.h>

#include "gui_fixture.h"

namespace {

// The game waits, and opens a script's dialog when the test lays its file beside the game
// ("config.jpg", "textsave.jpg"); "end.jpg" ends it.
const char* GAME = R"(
.builtin time_wait 0xCF35F0E3
.builtin system_end 0x8D8FB32E
.builtin image_exists 0xD3C06820
.builtin save_unlock 0x4D849AA6
.builtin config_all_open 0x4EA2D1FC
.builtin textfile_create 0xD1921ED9
.func $init@GLOBAL
    ret
.entry
    builtin.drop save_unlock 0
wait:
    push.i 20
    builtin.drop time_wait 1
    push.s "end"
    builtin image_exists 1
    jt done
    load.i @config
    jt text
    push.s "config"
    builtin image_exists 1
    jf text
    push.i 1
    set.i.pop @config
    builtin.drop config_all_open 0
text:
    load.i @text
    jt wait
    push.s "textsave"
    builtin image_exists 1
    jf wait
    push.i 1
    set.i.pop @text
    push.s "memo.txt"
    builtin.drop textfile_create 1
    jmp wait
done:
    builtin.drop system_end 0
    ret
)";

// A menu entry by its access keys: the menu's, then the entry's.
struct menu_entry {
  const char* menu;
  const char* entry;
  const char* shot;
};

const menu_entry ENTRIES[] = {
    {"f", "c", "dialog-capture"},         // 画面をキャプチャ: the file chooser with the proposed name
    {"d", "o", "dialog-screen-option"},   // 画面の設定
    {"c", "s", "dialog-speed"},           // 速度の設定
    {"c", "v", "dialog-volume"},          // 音量の設定
    {"c", "o", "dialog-voice-setup"},     // 音声の設定
    {"c", "f", "dialog-font-select"},     // フォントの選択, with its sample
    {"h", "u", "dialog-user-support"},    // ユーザーサポート
    {"h", "a", "dialog-about"},           // バージョン情報
    {"f", "a", "dialog-save-as"},         // 名前を付けてセーブ: the file chooser with the default name
    {"f", "l", "dialog-load-by-name"},    // 名前で指定してロード
    // セーブ and ロード go to the game, which opens LOADSAVE (loadsave-*.png, tests/gui/loadsave_test.cpp).
};

class Dialogs : public vaskrun_game_test {
 protected:
  // The dialog over the game (none of those open before), saved once it has been drawn (two shots
  // in a row alike, and unlike the one of the page before it, when given) and holding the
  // keyboard; with cancel, then Escape, and it is gone. Its picture.
  std::vector<uint32_t> shoot(const std::string& shot, const std::vector<std::string>& before, bool cancel = true,
                              const std::vector<uint32_t>& page_before = {}) {
    std::string id = dialog_wait(before);
    EXPECT_FALSE(id.empty()) << shot << " did not open";
    if (id.empty()) return {};
    std::string geometry;
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<uint32_t> last;
    auto place = [&] {
      if (xdotool("getwindowgeometry --shell " + id, &geometry) != 0) return false;
      return sscanf(geometry.c_str(), "WINDOW=%*u X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &width, &height) == 4;
    };
    EXPECT_TRUE(pump_until_steady([&] { return last = place() ? screenshot(x, y, width, height) : std::vector<uint32_t>{}; },
                                  [&](const std::vector<uint32_t>& now) { return !now.empty() && now != page_before; }, 5000))
        << shot << " was not drawn";
    // On the 1024 x 768 screen every dialog lies whole, its buttons within reach.
    EXPECT_TRUE(x >= 0 && y >= 0 && x + width <= 1024 && y + height <= 768)
        << shot << " at " << x << "," << y << " " << width << "x" << height << " reaches past the screen";
    save_screenshot(shot, x, y, width, height);
    if (cancel) {
      EXPECT_EQ(xdotool("key Escape"), 0);
      EXPECT_TRUE(main_window_alone()) << shot << " did not close";
    }
    return last;
  }
};

TEST_F(Dialogs, EveryDialogOfTheMenusAndTheScriptsOpensAndCancels) {
  play(800, 600, "FONTSEL\t1\nVOICESEL\t1\n", GAME);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(xdotool("mousemove 1010 750"), 0);  // the pointer away from every window

  for (const menu_entry& e : ENTRIES) {
    menu_choose(e.menu, e.entry);
    ASSERT_FALSE(HasFatalFailure());
    shoot(e.shot, {window});
    ASSERT_FALSE(HasFailure()) << e.shot;
  }

  // The tabbed dialog: each page in turn (Ctrl+Page Down moves to the next tab), then cancelled.
  dir.write("game/config.jpg", "config");
  std::vector<uint32_t> page_before;
  for (int page = 0; page < 4; page++) {
    std::string shot = "dialog-config-all-page" + std::to_string(page + 1);
    page_before = shoot(shot, {window}, page == 3, page_before);
    ASSERT_FALSE(HasFailure()) << shot;
    if (page < 3) {
      ASSERT_EQ(xdotool("key ctrl+Next"), 0);
    }
  }
  dir.write("game/textsave.jpg", "textsave");
  shoot("dialog-text-save", {window});
  ASSERT_FALSE(HasFailure());

  dir.write("game/end.jpg", "end");
  EXPECT_TRUE(pump_until([this] { return child_ended(); }, 10000)) << "the game did not end";
  EXPECT_TRUE(WIFEXITED(child_status) && WEXITSTATUS(child_status) == 0) << "status " << child_status;
  EXPECT_EQ(file_text("output"), "");
}

}  // namespace
