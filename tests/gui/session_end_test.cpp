// vaskrun ended from outside at the sample game's title, by a signal (headless, and on the desktop
// while a box is open) or by another program destroying its window: it ends at once as at the
// session's end, with status 0, read marks and eternal variables written and the clean-exit mark.
#include <signal.h>

#include <algorithm>

#include "gui_fixture.h"
#include "playthrough.h"

namespace fs = std::filesystem;

using SessionEnd = vaskrun_game_test;

TEST_F(SessionEnd, ASignalOrADestroyedWindowEndsTheGameInOrderAtOnce) {
  if (sample_game_built("dev").empty()) GTEST_SKIP() << "the sample game is not built";
  // The keys that open a box first (the controls, the close question) put the game on the desktop,
  // as does the window's destruction (no signal).
  const std::pair<const char*, int> cases[] = {{"", SIGTERM}, {"", SIGINT},         {"", SIGHUP},
                                               {"F12", SIGTERM}, {"alt+F4", SIGHUP}, {"", 0}};
  for (auto [keys, number] : cases) {
    SCOPED_TRACE(std::string(keys) + " " + std::to_string(number));
    bool desktop = *keys || !number;
    std::string run = dir.at(std::to_string(number) + keys);
    fs::create_directories(run);
    sample_game_copy("dev", run + "/game");
    child = vaskrun_start(run + "/game", run, {{"VASKRUN_HEADLESS", desktop ? "0" : "1"}});
    std::string windows;
    auto shown = [&](long count) {
      return slurp(run + "/game/debugout.log").find("title:") != std::string::npos &&
             (!desktop || (xdotool("search --onlyvisible --name sample", &windows) == 0 &&
                           std::count(windows.begin(), windows.end(), '\n') == count));
    };
    ASSERT_TRUE(pump_until([&] { return shown(1); }, 20000));
    std::string window = windows.substr(0, windows.find('\n'));
    ASSERT_TRUE(!*keys || xdotool("windowfocus --sync " + window + " key " + keys) == 0);
    ASSERT_TRUE(pump_until([&] { return shown(*keys ? 2 : 1); }, 20000)) << "no box came";
    number ? kill(child, number) : xdotool("windowclose " + window);
    ASSERT_TRUE(pump_until([&] { return child_ended(); }, 5000)) << "still running";
    EXPECT_EQ(child_status, 0);
    for (const char* file : {"/game/savedata/vaskel_system.mss", "/game/savedata/vaskel_readmark.mss"})
      EXPECT_TRUE(fs::exists(run + file)) << file;
    EXPECT_NE(slurp(run + "/config/vaskrun/demo.ini").find("AbnormalTerminateFlg=0"), std::string::npos);
  }
}
