// vaskrun ended from outside at the sample game's title, by a signal (headless, and on the desktop
// while a box is open), by another program destroying its window or by the loss of its display
// connection: it ends at once as at the session's end, with status 0, read marks and eternal
// variables written and the clean-exit mark.
#include <signal.h>

#include <algorithm>
#include <map>

#include "gui_fixture.h"
#include "playthrough.h"

namespace fs = std::filesystem;

using SessionEnd = vaskrun_game_test;

TEST_F(SessionEnd, ASignalOrADestroyedWindowEndsTheGameInOrderAtOnce) {
  if (sample_game_built("dev").empty()) GTEST_SKIP() << "the sample game is not built";
  // The keys that open a box first (the controls, the close question) put the game on the desktop,
  // as does the end through the window: destroyed by another program, or its connection to the
  // display killed (as xkill does).
  const std::pair<const char*, const char*> cases[] = {
      {"", "TERM"},      {"", "INT"},          {"", "HUP"},
      {"F12", "TERM"},   {"alt+F4", "HUP"},    {"", "windowclose"}, {"F12", "windowkill"}};
  for (auto [keys, how] : cases) {
    SCOPED_TRACE(std::string(keys) + " " + how);
    const std::map<std::string, int> signals = {{"TERM", SIGTERM}, {"INT", SIGINT}, {"HUP", SIGHUP}};
    int number = signals.count(how) ? signals.at(how) : 0;
    bool desktop = *keys || !number;
    std::string run = dir.at(std::string(how) + keys);
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
    number ? kill(child, number) : xdotool(std::string(how) + " " + window);
    ASSERT_TRUE(pump_until([&] { return child_ended(); }, 5000)) << "still running";
    EXPECT_EQ(child_status, 0);
    for (const char* file : {"/game/savedata/vaskel_system.mss", "/game/savedata/vaskel_readmark.mss"})
      EXPECT_TRUE(fs::exists(run + file)) << file;
    EXPECT_NE(slurp(run + "/config/vaskrun/demo.ini").find("AbnormalTerminateFlg=0"), std::string::npos);
  }
}
