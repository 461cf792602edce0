// The vaskrun program run as a child process on a game folder built for each test: what a player
// (or a shell script) sees of start-up, the run loop and the ends of the program.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive_writer.h"
#include "base/hash.h"
#include "platform/platform.h"
#include "shell/startup.h"
#include "test_support.h"
#include "vko_assembler.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The program prints boxes in UTF-8; the sources compile narrow literals to CP932.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }
const std::string MISSING_FILE = utf8(u8"起動に必要なファイルが不足しています。");
const std::string MISSING_FILE_END = utf8(u8"ショートカットからの起動は作業フォルダの設定をご確認ください。");
const std::string RUNNING = utf8(u8"] 既に起動中です");
const std::string NO_INIT = utf8(u8"[start.vsk]に $init@GLOBAL 関数がありません");
const std::string UNKNOWN_BUILTIN = utf8(u8"組み込み関数[12345678]は定義されていません");
const std::string ABNORMAL_EXIT = utf8(u8"[異常終了の検出] 前回のプログラム実行時に異常終了が確認されました。");

// A file's whole content; empty when it cannot be read.
std::string text_of(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::string assemble(const std::string& source, uint32_t lines = 0) {
  vko_builder b;
  std::string error;
  if (!vko_assemble_text(source, b, error)) ADD_FAILURE() << error;
  if (lines) b.lines(lines);
  return b.build();
}

// Built-ins the test scripts use.
const char* BUILTINS = R"(
.builtin system_end 0x8D8FB32E
.builtin start_object_restart 0x32530606
.builtin time_wait 0xCF35F0E3
)";

class program : public ::testing::Test {
 protected:
  temp_dir dir;
  // Every test has a game of its own, so parallel tests never share a lock or a settings key.
  std::string title = "vasktest-" + std::filesystem::path(dir.path()).filename().string();

  void SetUp() override {
    dir.mkdir("game");
    dir.mkdir("config");
    dir.mkdir("run");
  }
  std::string env_text(const std::string& extra = "") const {
    return "TITLEBAR\t" + title + "\nREG_GLOBAL\tvasktest\nREG_LOCAL\t" + title + "\n" + extra;
  }
  // A loose development game: the environment in "fastdata", the objects in "scenario".
  void loose_game(const std::string& start_source, const std::string& extra_env = "") {
    dir.write("game/fastdata/vaskel.env", env_text(extra_env));
    dir.write("game/scenario/start.vko", assemble(BUILTINS + start_source));
  }
  // The same packed as a player gets it.
  void packaged_game(const std::string& start_source) {
    ASSERT_TRUE(archive_write(dir.at("game/fastdata.arc"), archive_version::v3, {{"vaskel.env", env_text()}}));
    ASSERT_TRUE(archive_write(dir.at("game/scenario.arc"), archive_version::v3,
                              {{"start.vko", assemble(BUILTINS + start_source)}}));
  }
  // Runs the program in `folder` (below the test folder); stdout and stderr land in output.
  int run(std::string* output, const std::string& program = VASK_BINARY_DIR "/vaskrun",
          const std::string& folder = "game", const std::string& arguments = "") {
    return run_command("cd '" + dir.at(folder) + "' && " + environment() + "timeout 60 '" + program + "' " +
                           arguments + " 2>&1",
                       output);
  }
  std::string environment() const {
    return "XDG_CONFIG_HOME='" + dir.at("config") + "' XDG_RUNTIME_DIR='" + dir.at("run") + "' VASKRUN_HEADLESS=1 ";
  }
  std::string settings_file() const { return text_of(dir.at("config/vasktest/" + title + ".ini")); }
};

// The start object of most tests: $init@GLOBAL, and an entry that ends the game.
const char* ENDS_AT_ONCE = R"(
.func $init@GLOBAL
    ret
.entry
    builtin.drop system_end 0
    ret
)";

TEST_F(program, WithoutTheEnvironmentFileItStopsWithTheMessageAndStatus255) {
  std::string output;
  EXPECT_EQ(run(&output), 255);
  EXPECT_THAT(output, HasSubstr(MISSING_FILE));
  EXPECT_THAT(output, HasSubstr(MISSING_FILE_END));
}

// With no descriptor left beside the standard streams, the box says which file failed and why
// (the text once came out empty: converting it needed files too).
TEST_F(program, WithDescriptorsExhaustedTheBoxNamesWhatFailed) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' own checks need descriptors";
#endif
  loose_game(ENDS_AT_ONCE);
  std::string output;
  // Descriptors the test inherited are closed first, whatever runs it.
  const char* command = "-c 'for f in /proc/self/fd/*; do n=${f##*/}; [ $n -gt 2 ] && eval \"exec $n<&-\"; done;"
                        " exec prlimit --nofile=4 " VASK_BINARY_DIR "/vaskrun'";
  EXPECT_EQ(run(&output, "bash", "game", command), 255) << output;
  // Which file fails first depends on what start-up holds open by then.
  EXPECT_THAT(output, HasSubstr(utf8(u8"ファイル")));
  EXPECT_THAT(output, HasSubstr(std::string(": ") + strerror(EMFILE) + ")\n"));
}

TEST_F(program, ItLooksForTheGameAgainInItsOwnFolder) {
  loose_game(ENDS_AT_ONCE);
  std::filesystem::copy_file(VASK_BINARY_DIR "/vaskrun", dir.at("game/vaskrun"));
  dir.mkdir("elsewhere");
  std::string output;
  EXPECT_EQ(run(&output, dir.at("game/vaskrun"), "elsewhere"), 0) << output;
  EXPECT_THAT(output, Not(HasSubstr(MISSING_FILE)));
}

TEST_F(program, ASecondInstanceIsTurnedAwayWithStatus0) {
  loose_game(ENDS_AT_ONCE);
  // This process plays the first instance: it holds the game's lock in the same runtime folder.
  setenv("XDG_RUNTIME_DIR", dir.at("run").c_str(), 1);
  ASSERT_TRUE(instance_lock_acquire(title));
  std::string output;
  EXPECT_EQ(run(&output), 0);
  EXPECT_THAT(output, HasSubstr("[" + title + RUNNING));
  instance_lock_release(title);
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "");
}

TEST_F(program, AStartObjectWithoutInitShowsTheBoxAndEndsInOrder) {
  loose_game(".entry\n    builtin.drop system_end 0\n    ret\n");
  std::string output;
  EXPECT_EQ(run(&output), 0);
  EXPECT_THAT(output, HasSubstr(NO_INIT));
  // The normal tail ran: the window state was written with the clean-exit mark.
  EXPECT_THAT(settings_file(), HasSubstr("AbnormalTerminateFlg=0"));
}

TEST_F(program, AGameSizeNoPageCanHoldFallsBackWithANotice) {
  // One side past the int range, the other 65536 (a 16 GiB window): both get the default size.
  loose_game(ENDS_AT_ONCE, "CLIENT_WIDTH\t99999999999\nCLIENT_HEIGHT\t65536\n");
  std::string output;
  EXPECT_EQ(run(&output), 0) << output;
  EXPECT_THAT(output, HasSubstr("CLIENT_WIDTH [99999999999]"));
  EXPECT_THAT(output, HasSubstr(utf8(u8"CLIENT_HEIGHT [65536] は大きすぎます（8192 以下）。480 で起動します")));
}

// An environment file saved as UTF-8 is read as the text it holds (the title is no mojibake), and
// development mode says so; a BOM does not spoil the first key.
TEST_F(program, AnEnvironmentFileInUtf8IsReadAsItsTextAndReported) {
  loose_game(ENDS_AT_ONCE);
  for (const char* bom : {"", "\xEF\xBB\xBF"}) {
    dir.write("game/fastdata/vaskel.env", bom + env_text().replace(env_text().find('\n'), 0, utf8(u8"|坂道")));
    std::string output;
    EXPECT_EQ(run(&output), 0) << output;
    EXPECT_THAT(output, HasSubstr("[" + title + utf8(u8" 坂道] vaskel.env は UTF-8 で書かれています。"))) << bom;
  }
}

// In development mode the text log says why a save wrote nothing (engine text, as the literals
// here).
TEST_F(program, ASaveThatWritesNothingSaysWhyInTheLog) {
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"",
       {"save_to_slot : セーブしません：セーブが禁止されています（save_unlock が呼ばれていません）",
        "セーブしません：スナップショットがありません（save_snapshot は save_unlock と snapshot_unlock の後に"}},
      {"LOADSAVEDISABLE\t1\n", {"セーブしません：環境ファイルの LOADSAVEDISABLE が 1 です"}},
  };
  for (const auto& [env, lines] : cases) {
    loose_game(R"(
.func $init@GLOBAL
    ret
.entry
    push.i 1
    builtin.drop save_to_slot 1         ; saving is locked after the reset
    builtin.drop save_unlock 0
    push.i 2
    builtin.drop save_to_slot 1         ; no snapshot was taken
    builtin.drop system_end 0
    ret
)", env);
    std::string output;
    EXPECT_EQ(run(&output), 0) << output;
    for (const char* line : lines) EXPECT_THAT(text_of(dir.at("game/debugout.log")), HasSubstr(line));
    std::filesystem::remove(dir.at("game/debugout.log"));
  }
}

// A script that never waits still ends at a signal, in order: eternal variables and read marks
// written, the clean-exit mark set.
TEST_F(program, ASignalEndsAScriptThatNeverWaitsInOrder) {
  for (const char* loop : {"jmp loop", "builtin.drop clock_ms 0\n    jmp loop",
                           "builtin.drop input_release_wait 0\n    jmp loop"}) {
    SCOPED_TRACE(loop);
    std::filesystem::remove_all(dir.at("game/savedata"));
    std::filesystem::remove(dir.at("game/debugout.log"));
    loose_game(std::string(".func $init@GLOBAL\n    ret\n.entry\n    push.i 7\n    set.i.pop #kept\n"
                           "    push.s \"looping\"\n    builtin.drop debug_print 1\nloop:\n    ") + loop + "\n");
    // The signal once the loop runs; a program that outlives it is killed after a minute.
    std::string output;
    int status = run_command("cd '" + dir.at("game") + "' && { " + environment() + "exec '" VASK_BINARY_DIR
                             "/vaskrun' 2>&1 & p=$!; (sleep 60; kill -KILL $p) >/dev/null 2>&1 & w=$!; "
                             "until grep -q looping debugout.log 2>/dev/null; do sleep 0.05; done; "
                             "kill -TERM $p; wait $p; s=$?; kill $w; exit $s; }",
                             &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(std::filesystem::exists(dir.at("game/savedata/vaskel_system.mss")));
    EXPECT_THAT(settings_file(), HasSubstr("AbnormalTerminateFlg=0"));
  }
}

TEST_F(program, AStartObjectEndsTheRunWithTheEndBuiltIn) {
  loose_game(ENDS_AT_ONCE);
  std::string output;
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "");
  EXPECT_THAT(settings_file(), HasSubstr("AbnormalTerminateFlg=0"));
}

// Each run of start counts itself in an eternal variable (eternal variables outlive the VM
// reset). Run 1 names "second" as the next start object; the end of a main thread restarts the
// game; run 3 of start ends it. Were the custom start object used twice, or a restart missed, the
// game would never end.
TEST_F(program, RestartsRunStartAgainAndACustomStartObjectOnce) {
  loose_game(R"(
.func $init@GLOBAL
    ret
.entry
    load.i #runs ++x
    pop
    load.i #runs
    push.i 1
    eq.i
    jf not_first
    push.s "second"
    builtin.drop start_object_restart 1
    ret
not_first:
    load.i #runs
    push.i 3
    eq.i
    jf not_last
    builtin.drop system_end 0
not_last:
    ret
)");
  dir.write("game/scenario/second.vko", assemble(".lines 2\n.entry\n    line 1\n    ret\n"));
  std::string output;
  EXPECT_EQ(run(&output), 0) << output;
  EXPECT_EQ(output, "");
  // "second" ran: its line is in the read marks written at the end.
  EXPECT_THAT(text_of(dir.at("game/savedata/vaskel_readmark.mss")), HasSubstr("SECOND.VKO"));
}

// An unknown built-in in $init@GLOBAL is reported in development mode (the headless box answers
// Cancel, which ends the program with 255) and passed over silently in a packaged game.
const char* REPORTS = R"(
.func $init@GLOBAL
    builtin.drop 0x12345678 0
    ret
.entry
    builtin.drop system_end 0
    ret
)";

TEST_F(program, ALooseFastdataFolderShowsReportsAndAV3ArchiveSilencesThem) {
  loose_game(REPORTS);
  std::string output;
  EXPECT_EQ(run(&output), 255);
  EXPECT_THAT(output, HasSubstr(UNKNOWN_BUILTIN));

  std::filesystem::remove_all(dir.at("game"));
  dir.mkdir("game");
  packaged_game(REPORTS);
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "");
}

// Start-up forgets the display mode of the last run at once, so a run that dies (here at a script
// error in development mode) never brings it back; it also sweeps what killed writes of its own
// settings file left, and only those: the folder may be shared.
TEST_F(program, StartUpForgetsTheDisplayModeAtOnceAndSweepsStaleSettingsTemporaries) {
  const std::string key = "config/vasktest/" + title;
  dir.write(key + ".ini", "[values]\nWinStat=1\n");
  for (const char* tail : {".ini.tmp-Ab3xY9", "x.ini.tmp-Ab3xY9"}) dir.write(key + tail, "");
  loose_game(REPORTS);
  std::string output;
  EXPECT_EQ(run(&output), 255);
  EXPECT_THAT(settings_file(), HasSubstr("WinStat=0\n"));
  EXPECT_FALSE(std::filesystem::exists(dir.at(key + ".ini.tmp-Ab3xY9")));
  EXPECT_TRUE(std::filesystem::exists(dir.at(key + "x.ini.tmp-Ab3xY9")));
}

TEST_F(program, TheAbnormalExitQuestionComesInDevelopmentModeOnly) {
  dir.write("config/vasktest/" + title + ".ini", "[values]\nAbnormalTerminateFlg=1\n");
  loose_game(ENDS_AT_ONCE);
  std::string output;
  EXPECT_EQ(run(&output), 0);
  EXPECT_THAT(output, HasSubstr(ABNORMAL_EXIT));
  EXPECT_THAT(settings_file(), HasSubstr("AbnormalTerminateFlg=0"));

  dir.write("config/vasktest/" + title + ".ini", "[values]\nAbnormalTerminateFlg=1\n");
  std::filesystem::remove_all(dir.at("game"));
  dir.mkdir("game");
  packaged_game(ENDS_AT_ONCE);
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "");
}

// An event name whose CRC-32 is the given key: a prefix and four bytes that bring the CRC there
// (the bytes are found backwards through the table; none may be 0 in a script's text).
std::string event_name_for(uint32_t key) {
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  for (int attempt = 0;; ++attempt) {
    std::string name = "start_event_" + std::to_string(attempt) + "_";
    uint32_t wanted = ~key, index[4];
    for (int k = 3; k >= 0; --k) {
      for (uint32_t i = 0; i < 256; ++i)
        if ((table[i] >> 24) == (wanted >> 24)) index[k] = i;
      wanted = (wanted ^ table[index[k]]) << 8;
    }
    uint32_t reg = ~crc32_string(name.c_str());
    std::string tail;
    for (uint32_t i : index) {
      tail += static_cast<char>((reg ^ i) & 0xFF);
      reg = (reg >> 8) ^ table[i];
    }
    if (tail.find('\0') == std::string::npos) return name + tail;
  }
}

// $init@GLOBAL registers a handler of the start event; the handler survives every VM reset and
// sees (resume value 0, "", loaded 0) before each run's entry. A wrong count or argument makes an
// unknown built-in report itself, which in development mode ends the program with 255.
TEST_F(program, TheStartEventReachesAHookThatInitRegisteredBeforeEveryRun) {
  std::string name = event_name_for(RUN_START_EVENT);
  ASSERT_EQ(crc32_string(name.c_str()), RUN_START_EVENT);
  std::string escaped;
  char hex[8];
  for (unsigned char c : name) {
    snprintf(hex, sizeof hex, "\\x%02X", c);
    escaped += hex;
  }
  loose_game(".builtin event_hook_add 0x078A756E\n.func $init@GLOBAL\n    push.i " +
             std::to_string(crc32_string("on_start")) + "\n    push.s \"" + escaped +
             "\"\n    builtin.drop event_hook_add 2\n    push.i 0\n    ret\n" + R"(
.func on_start
    params int str int
    load.i #starts ++x
    pop
    load.i _p1          ; loaded
    jt wrong
    load.i _p3          ; the resume value
    jt wrong
    push.i 0
    ret
.entry
    load.i #runs ++x
    load.i #starts
    ne.i
    jt wrong
    load.i #runs
    push.i 2
    eq.i
    jf again
    builtin.drop system_end 0
again:
    ret
wrong:
    builtin.drop 0x12345678 0
    ret
)");
  std::string output;
  EXPECT_EQ(run(&output), 0) << output;
  EXPECT_EQ(output, "");
}

// A downloaded game ships a development file that names a folder outside it, and logs a line:
// nothing outside is touched and the game ends as usual. Only the user's switch lets the
// development file name that folder.
TEST_F(program, AHostileGameTouchesNothingOutsideItsFolderUnlessTheUserAsksForDevelopment) {
  loose_game(".builtin debug_print 0xF3679C34\n.func $init@GLOBAL\n    ret\n.entry\n    push.s \"leak\"\n"
             "    builtin.drop debug_print 1\n    builtin.drop system_end 0\n    ret\n");
  dir.write("game/fastread.txt", dir.at("outside") + "\n");
  std::string output;
  EXPECT_EQ(run(&output), 0) << output;
  EXPECT_FALSE(std::filesystem::exists(dir.at("outside")));
  EXPECT_EQ(run(&output, VASK_BINARY_DIR "/vaskrun", "game", "--development"), 0) << output;
  EXPECT_TRUE(std::filesystem::exists(dir.at("outside/savedata")));  // the user's own choice
}

// A debugging session: vaskdbg listens, the game run with "/DEBUG:" stops at a breakpoint, shows a
// global, steps, and runs to its end.
TEST_F(program, UnderTheDebuggerItStopsAtABreakpointShowsAGlobalStepsAndFinishes) {
  dir.write("game/fastdata/vaskel.env", env_text());
  dir.write("game/scenario/start.vko", assemble(std::string(BUILTINS) + R"(
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
)", 4));
  dir.write("commands", "break start 2\nbreak start x\nrun\nwait\ncontinue\nwait\nprint @x@GLOBAL\nlocal abc\nstep\n"
                        "wait\nprint @s@GLOBAL\ncontinue\nfinish\n");
  std::string sock = dir.at("dbg.sock"), output;
  ASSERT_EQ(run_command("cd '" + dir.at("game") + "' && ( '" VASK_BINARY_DIR "/vaskdbg' --wait=120 '" + sock + "' < '" +
                        dir.at("commands") + "' > '" + dir.at("dbg.out") + "' & ) && for i in $(seq 100); do [ -S '" +
                        sock + "' ] && break; sleep 0.05; done"),
            0);
  EXPECT_EQ(run(&output, VASK_BINARY_DIR "/vaskrun", "game", "/DEBUG:'" + sock + "'"), 0) << output;
  run_command("for i in $(seq 100); do [ -S '" + sock + "' ] || break; sleep 0.05; done");
  EXPECT_EQ(text_of(dir.at("dbg.out")),
            "listening\nconnected\nbreak ok\nbad number \"x\"\nstopped START.VKO 1\nstopped START.VKO 2\n"
            "value type 0 41\nbad number \"abc\"\nstopped START.VKO 3\nvalue type 2 1\ntext \"late\"\nfinished\n");
}

// The tools explain themselves, and the debugger takes nothing but its own kind of socket: never a
// file named like an option, never a plain file; with nobody connecting it gives up after its wait.
TEST_F(program, ToolsGiveTheirUsageAndTheDebuggerRemovesNothingButItsOwnSocket) {
  dir.write("plain", "kept");
  const std::string tools = "cd '" + dir.path() + "' && '" VASK_BINARY_DIR "/";
  struct {
    std::string command;
    int status;
    const char* says;
  } cases[] = {
      {"vaskdbg' --help", 0, "usage: vaskdbg"},
      {"vaskdbg'", 2, "usage: vaskdbg"},
      {"vaskdbg' --wait=soon s.sock", 2, "bad number \"soon\""},
      {"vaskdbg' plain", 1, "cannot listen at plain"},
      {"vaskdbg' --wait=1 s.sock </dev/null", 1, "no engine connected"},
      {"vaskarc' --help", 0, "usage: vaskarc"},
      {"vaskimg' --help", 0, "usage: vaskimg"},
      {"vaskasm' --help", 0, "usage: vaskasm"},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_EQ(run_command(tools + c.command + " 2>&1", &output), c.status) << c.command;
    EXPECT_THAT(output, HasSubstr(c.says)) << c.command;
  }
  EXPECT_EQ(text_of(dir.at("plain")), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir.at("s.sock")));
}

}  // namespace
