// Shared test fixtures: a headless platform with a fake clock, the fatal road turned into an
// exception, and temporary folders.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "vm/builtin_table.h"
#include "vm/value.h"

// Thrown instead of ending the process when code takes the fatal road.
struct fatal_exit_called {
  int code;
};

// A folder under the system's temporary folder, removed with everything in it.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }
  // The host path of a file below the folder ("a/b.png").
  std::string at(const std::string& relative) const { return path_ + "/" + relative; }
  // Writes a file, creating its folders.
  void write(const std::string& relative, const std::string& data) const;
  void mkdir(const std::string& relative) const;

 private:
  std::string path_;
};

// A fresh headless platform per test; boxes are recorded, not printed. The save base folder is
// a temporary folder, so that what the engine writes there (the text log of script errors) stays
// out of the build tree.
class engine_test : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  headless_platform platform;
  temp_dir save_folder;
};

// Writes the game folder's environment file, reads it and forgets the keys cached from before.
void game_env_load(const temp_dir& game, const std::string& text);

// Reads a whole stream from its current position.
std::string read_rest(FILE* f);

// Forgets what the settings modules and the shell keep: the settings store, the environment file
// and its cached keys, the in-memory settings, the joystick selection, the data sources, the main
// window's core, the watch list and every window.
void settings_state_reset();

// Forgets what graphics and the modules under it keep: sprites, pages, the presentation, ids,
// the script-error reporter, the environment file and its keys, the data sources, the main
// window's core and every window.
void graphics_state_reset();

// Everything a headless run of the engine set up, undone: threads, variables, glyphs, sprites,
// images and pages, the presentation, ids, the main window's core, data sources, the environment,
// the interpreter, skip and script-error state, saves and menu requests.
void headless_engine_clear();

// A headless window of that client size (0: none yet) and title, of the main window's class and
// procedure, made the main window.
window_handle main_window_open(int width = 0, int height = 0, const char* title = "");

// Runs a shell command and returns its exit status (the process's exit code).
int run_command(const std::string& command, std::string* output = nullptr);

// A budget: the time a test gives something that runs on the real clock (another thread, another
// program, the X server) on a quiet machine in the plain build. Sanitizers, and a machine busy
// with other work, take several times as long; a budget only ends a test whose event never
// comes, so it is given generously: this is the time to wait.
int test_budget_ms(int quiet_ms);

// One argument of a built-in call made by a test: an int, a float or a text.
struct call_arg {
  value_cell cell;
  call_arg(int32_t v) : cell(int_cell(v)) {}
  call_arg(uint32_t v) : cell(int_cell(static_cast<int32_t>(v))) {}
  call_arg(float f) : cell(float_cell(f)) {}
  call_arg(const char* text) : cell(string_cell(string_block_new(text))) {}
};

// The built-in row of that name; a test failure and null when there is none.
const builtin_entry* builtin_named(const char* name);
// Calls the built-in of that name through the dispatcher with the arguments (the first on top) on
// the current thread; its integer result.
int32_t builtin_call_named(const char* name, const std::vector<call_arg>& args);

// Runs the instruction 0x834 (0x835 when drop) <hash> <count> from the buffer on the current
// frame, as the interpreter meets it; true when the built-in waits (the code pointer is back on
// the instruction).
bool builtin_instruction_run(uint8_t (&instruction)[8], uint32_t hash, int16_t count, bool drop = false);
