// What an idle game costs: vaskrun plays a small packaged game that shows its page and then waits
// for the player as the sample game's pages do (the pending input looked at, then 20 ms of
// time_wait, round and round), or in input_wait (which looks for a press every millisecond, so the
// pass wakes that often there). Once the page stands, the process's CPU time is
// read from /proc over 10 s: the whole process (sound output included) and the window thread
// alone, as shares of one core. Headless (VASKRUN_HEADLESS=1) and on the desktop under a private
// Xvfb; the desktop rows are left out when Xvfb is missing.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "vko_assembler.h"

namespace {

constexpr int MEASURE_S = 10, SETTLE_MS = 2000;

// The page: a filled page shown by a sprite, a line of text, then the wait of the scenario.
std::string game_source(bool input_wait) {
  std::string wait = input_wait ? "wait:\n    builtin.drop input_wait 0\n    jmp wait\n"
                                : "wait:\n    builtin input_pending_get 0\n    push.i 1\n    band.i\n    jt done\n"
                                  "    push.i 0x21\n    builtin key_async_state 1\n    jt done\n"
                                  "    push.i 20\n    builtin.drop time_wait 1\n    jmp wait\ndone:\n    jmp wait\n";
  return R"(
.builtin time_wait 0xCF35F0E3
.builtin input_wait 0x008ACBC0
.builtin input_pending_get 0x892E9B20
.builtin key_async_state 0xD34E9B28
.builtin page_create 0x83D81F59
.builtin grp_boxfill 0xD01BE374
.builtin sprite_create 0xEF4581DC
.builtin sprite_move 0xE119D5BA
.builtin fontout_locate 0x57F6310D
.builtin fontout 0x35A89417
.func $init@GLOBAL
    ret
.entry
    locals int
    push.i 600
    push.i 800
    builtin page_create 2
    set.i.pop _0
    push.i 0x00304060
    push.i 600
    push.i 800
    push.i 0
    push.i 0
    load.i _0
    builtin.drop grp_boxfill 6
    push.i 500
    push.i 60
    load.i _0
    builtin.drop fontout_locate 3
    push.s "The page waits."
    builtin.drop fontout 1
    push.i 0
    push.i 0
    load.i _0
    builtin sprite_create 1
    builtin.drop sprite_move 3
)" + wait;
}

// vaskrun of the same build: beside this program.
std::string vaskrun_path() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/') + 1) + "vaskrun";
}

std::string temp_folder() {
  char pattern[] = "/tmp/bench_idle.XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}

bool game_make(const std::string& folder, bool input_wait) {
  vko_builder b;
  std::string error;
  if (!vko_assemble_text(game_source(input_wait), b, error)) {
    fprintf(stderr, "bench_idle: %s\n", error.c_str());
    return false;
  }
  std::string env = "TITLEBAR\tbench idle\nCLIENT_WIDTH\t800\nCLIENT_HEIGHT\t600\nREG_GLOBAL\tvaskbench\n"
                    "REG_LOCAL\tidle\n";
  std::vector<archive_member> fastdata{{"vaskel.env", env}}, scenario{{"start.vko", b.build()}};
  return archive_write(folder + "/fastdata.arc", archive_version::v3, fastdata) &&
         archive_write(folder + "/scenario.arc", archive_version::v3, scenario);
}

// Xvfb on the first free display, ended with this process; its display name, or empty.
std::string xvfb_start() {
  int fds[2];
  if (pipe(fds) != 0) return "";
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  return number.empty() ? "" : ":" + number;
}

// Nanoseconds the scheduler ran a task (/proc/.../schedstat, first field).
uint64_t task_ns(const std::string& task_folder) {
  std::ifstream in(task_folder + "/schedstat");
  uint64_t ns = 0;
  in >> ns;
  return ns;
}

// The process's threads together, and its first thread (the window thread).
void process_ns(pid_t pid, uint64_t& all, uint64_t& window) {
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  all = 0;
  if (DIR* d = opendir(tasks.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') all += task_ns(tasks + "/" + e->d_name);
    closedir(d);
  }
  window = task_ns(tasks + "/" + std::to_string(pid));
}

void bm_idle(benchmark::State& state, bool desktop, bool input_wait) {
  static std::string desktop_display;
  if (desktop && desktop_display.empty()) desktop_display = xvfb_start();
  const std::string& display = desktop_display;
  if (desktop && display.empty()) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  std::string folder = temp_folder();
  if (folder.empty() || !game_make(folder, input_wait)) {
    state.SkipWithError("the game could not be made");
    return;
  }
  std::string program = vaskrun_path();
  for (auto _ : state) {
    pid_t child = fork();
    if (child == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (chdir(folder.c_str()) != 0) _exit(127);
      setenv("HOME", folder.c_str(), 1);
      setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      setenv("GDK_BACKEND", "x11", 1);
      setenv("NO_AT_BRIDGE", "1", 1);
      if (desktop) {
        setenv("DISPLAY", display.c_str(), 1);
        unsetenv("VASKRUN_HEADLESS");
      } else {
        setenv("VASKRUN_HEADLESS", "1", 1);
      }
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl(program.c_str(), "vaskrun", static_cast<char*>(nullptr));
      _exit(127);
    }
    usleep(SETTLE_MS * 1000);
    uint64_t all0, window0, all1, window1;
    process_ns(child, all0, window0);
    sleep(MEASURE_S);
    process_ns(child, all1, window1);
    bool alive = waitpid(child, nullptr, WNOHANG) == 0;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    if (!alive || window1 == 0) {
      state.SkipWithError("vaskrun ended before the measurement did");
      break;
    }
    state.SetIterationTime(MEASURE_S);
    state.counters["process_%"] = 100.0 * static_cast<double>(all1 - all0) / (MEASURE_S * 1e9);
    state.counters["window_thread_%"] = 100.0 * static_cast<double>(window1 - window0) / (MEASURE_S * 1e9);
  }
  std::string rm = "rm -rf '" + folder + "'";
  if (system(rm.c_str()) != 0) fprintf(stderr, "bench_idle: %s left behind\n", folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  for (bool desktop : {false, true})
    for (bool input_wait : {false, true}) {
      std::string name = std::string("idle/") + (desktop ? "desktop" : "headless") +
                         (input_wait ? "/input_wait" : "/page_poll_20ms");
      benchmark::RegisterBenchmark(name.c_str(), bm_idle, desktop, input_wait)
          ->Iterations(1)
          ->UseManualTime()
          ->Unit(benchmark::kSecond);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
