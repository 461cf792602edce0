#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/datasource.h"
#include "base/env.h"
#include "base/fatal.h"
#include "base/memory.h"
#include "base/registry.h"
#include "graphics/gfx_id.h"
#include "graphics/image_cache.h"
#include "graphics/image_readers.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "save/savefile.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/joystick.h"
#include "shell/menu_request.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "text/glyph.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"
#include "vm/thread.h"
#include "vm/variables.h"

static void throw_fatal(int code) { throw fatal_exit_called{code}; }

void engine_test::SetUp() {
  platform.use_fake_clock(1000);
  platform.print_boxes = false;
  plat_install(&platform);
  fatal_exit_intercept(throw_fatal);
  save_base_folder_set(save_folder.path().c_str());
}

void engine_test::TearDown() {
  save_base_folder_set("");
  development_asked_set(false);
  mem_reset();  // an intercepted out-of-memory end leaves its once-only flag set
  fatal_exit_intercept(nullptr);
  plat_install(nullptr);
}

temp_dir::temp_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vasktest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) abort();
  path_ = pattern;
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void temp_dir::write(const std::string& relative, const std::string& data) const {
  std::filesystem::path p = at(relative);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void temp_dir::mkdir(const std::string& relative) const { std::filesystem::create_directories(at(relative)); }

std::string read_rest(FILE* f) {
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

int test_budget_ms(int quiet_ms) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr int scale = 10;
#else
  constexpr int scale = 4;
#endif
  return quiet_ms * scale;
}

int run_command(const std::string& command, std::string* output) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text = read_rest(p);
  int status = pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void settings_state_reset() {
  reg_store_reset();
  env_free();
  env_keys_reset();
  settings_reset();
  joy_reset();
  data_sources_clear();
  window_core_reset();
  windows_reset();
  devtools_reset();
}

void graphics_state_reset() {
  sprite_module_reset();
  page_free_all_at_exit();
  presentation_reset();
  gfx_id_reset();
  script_error_reset();
  env_free();
  env_keys_reset();
  data_sources_clear();
  window_core_reset();
  windows_reset();
}

// Fontconfig's start-up keeps a few blocks for the whole process without a pointer to them (its
// own leak, 288 bytes in 2.14); every test program that draws text would report it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

void headless_engine_clear() {
  threads_destroy_all();
  thread_switch(nullptr);
  var_tables_free();
  ReleaseVaskel();
  glyph_module_reset();
  sprite_module_reset();
  // The cache's and the readers' pages go before every page is freed: they would be freed twice.
  image_cache_reset();
  image_readers_reset();
  page_free_all_at_exit();
  presentation_reset();
  gfx_id_reset();
  window_core_reset();
  data_sources_clear();
  env_free();
  env_keys_reset();
  interpreter_reset();
  skip_reset();
  script_error_reset();
  // A scene that saved leaves saving allowed, which the menus of a later window would show.
  save_module_reset();
  request_reset();
}

window_handle main_window_open(int width, int height, const char* title) {
  window_spec spec;
  spec.class_name = "VASKEL_EXEC_CLASS";
  spec.title = title;
  spec.procedure = main_window_class_proc;
  spec.client_width = width;
  spec.client_height = height;
  window_handle win = window_create(spec);
  main_window_set(win);
  return win;
}

const builtin_entry* builtin_named(const char* name) {
  for (const builtin_entry& e : builtin_entries())
    if (strcmp(e.name, name) == 0) return &e;
  ADD_FAILURE() << "no built-in " << name;
  return nullptr;
}

int32_t builtin_call_named(const char* name, const std::vector<call_arg>& args) {
  const builtin_entry* e = builtin_named(name);
  if (!e) return 0;
  for (auto it = args.rbegin(); it != args.rend(); ++it) stack_push_value(&it->cell);
  builtin_call(e, e->hash, static_cast<int16_t>(args.size()), 0);
  int32_t v = stack_top()->i;
  stack_pop();
  return v;
}

bool builtin_instruction_run(uint8_t (&instruction)[8], uint32_t hash, int16_t count, bool drop) {
  uint16_t opcode = drop ? OP_BUILTIN_DROP : OP_BUILTIN;
  memcpy(instruction, &opcode, 2);
  memcpy(instruction + 2, &hash, 4);
  memcpy(instruction + 6, &count, 2);
  vm_frame->code = instruction + 2;
  run_state_set(RUN_GO);
  builtin_dispatch(drop);
  return vm_frame->code == instruction;
}

void game_env_load(const temp_dir& game, const std::string& text) {
  game.write("vaskel.env", text);
  ASSERT_EQ(env_load("vaskel.env"), 0);
  env_keys_reset();
}
