// A debugging session end to end: vaskdbg listens, vaskrun runs a loose game headless with
// "/DEBUG:", stops at a breakpoint, shows a global, steps, and runs to its end.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"
#include "vko_assembler.h"

using ::testing::HasSubstr;

namespace {

const char* GAME = R"(
.builtin system_end 0x8D8FB32E
.func $init@GLOBAL
    ret
.entry
    line 1
    push.i 41
    set.i.pop @x
    line 2
    push.s "late"
    set.s.pop @s
    line 3
    builtin.drop system_end 0
    ret
)";

TEST(debugger_session, StopsAtABreakpointShowsAGlobalStepsAndFinishes) {
  temp_dir dir;
  dir.mkdir("config");
  dir.mkdir("run");
  std::string title = "vaskdbg-" + std::filesystem::path(dir.path()).filename().string();
  dir.write("game/fastdata/vaskel.env", "TITLEBAR\t" + title + "\nREG_GLOBAL\tvasktest\nREG_LOCAL\t" + title + "\n");
  vko_builder b;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(GAME, b, error)) << error;
  b.lines(4);
  dir.write("game/scenario/start.vko", b.build());
  dir.write("commands", "break start 2\nrun\nwait\ncontinue\nwait\nprint @x@GLOBAL\nstep\nwait\nprint @s@GLOBAL\ncontinue\nfinish\n");
  std::string sock = dir.at("dbg.sock");
  std::string command = "cd '" + dir.at("game") + "' && ( '" VASK_BINARY_DIR "/vaskdbg' '" + sock + "' < '" +
                        dir.at("commands") + "' > '" + dir.at("dbg.out") + "' & ) && for i in $(seq 100); do " +
                        "[ -S '" + sock + "' ] && break; sleep 0.05; done; XDG_CONFIG_HOME='" + dir.at("config") +
                        "' XDG_RUNTIME_DIR='" + dir.at("run") + "' VASKRUN_HEADLESS=1 timeout 60 '" VASK_BINARY_DIR
                        "/vaskrun' /DEBUG:'" + sock + "' 2>&1; status=$?; for i in $(seq 100); do [ -S '" + sock +
                        "' ] || break; sleep 0.05; done; exit $status";
  std::string output;
  EXPECT_EQ(run_command(command, &output), 0) << output;
  std::ifstream in(dir.at("dbg.out"));
  std::stringstream seen;
  seen << in.rdbuf();
  EXPECT_EQ(seen.str(),
            "listening\nconnected\nbreak ok\nstopped START.VKO 1\nstopped START.VKO 2\nvalue type 0 41\n"
            "stopped START.VKO 3\nvalue type 2 1\ntext \"late\"\nfinished\n");
}

}  // namespace
