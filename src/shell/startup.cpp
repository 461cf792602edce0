#include "shell/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "base/atomic_file.h"
#include "base/cp932.h"
#include "base/datasource.h"
#include "base/env.h"
#include "base/fatal.h"
#include "base/gamepath.h"
#include "base/hash.h"
#include "base/random.h"
#include "base/registry.h"
#include "base/system.h"
#include "graphics/image_cache.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "graphics/sprite.h"
#include "platform/platform.h"
#include "resources/menus.h"
#include "save/savefile.h"
#include "save/vm_exit.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/ime.h"
#include "shell/input.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/setting_builtins.h"
#include "shell/settings.h"
#include "shell/shell_dialogs.h"
#include "shell/window_core.h"
#include "sound/dsound.h"
#include "sound/movie.h"
#include "text/glyph.h"
#include "vm/debugger.h"
#include "vm/hooks.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

// The program's string 1 names the environment file; ours begins with a blank, so the default
// name "vaskel.env" holds.
static const char STRING_RESOURCE_1[] = " ";
static const char WINDOW_CLASS[] = "VASKEL_EXEC_CLASS";
static const int FAST_DATA_FOLDER_SIZE = 512;
// A timer message every 100 ms that no handler acts on: the window never sits without messages.
static const uintptr_t WAKE_TIMER_ID = 0x10002;

// The state that start-up keeps for the run.
static struct {
  int drop_cache = 0;             // the user chose to drop the HDD cache: copies are deleted first
  std::string fast_data_folder;   // the development file's first line, or the current folder
  std::string cache_folder;       // the HDD cache folder; empty for none
  int saved_win_stat = 0;         // the display mode of the last run (WinStat), restored at start
} startup;

void archive_cache_folder_set(const char* folder) { startup.cache_folder = folder ? folder : ""; }
void drop_cache_set(int flag) { startup.drop_cache = flag; }
const std::string& fast_data_folder() { return startup.fast_data_folder; }
void startup_reset() { startup = {}; }

// The report mode shows reports (and the development features) unless it is 1.
static bool reports_shown() { return error_report_mode_get() != 1; }

static const char* reg_global() { return reg_global_name(); }
static const char* reg_local() { return reg_local_name(); }
static int stored_int(const char* name, int fallback) { return reg_get_int(reg_global(), reg_local(), name, fallback); }
static void store_int(const char* name, int value) { reg_set_int(reg_global(), reg_local(), name, value); }

// ---------------------------------------------------------------------------------------------
// Data sources

// Mounts "<stem>12" down to "<stem>1", then "<stem>".
static void mount_group(const char* stem, int sound_only, bool fold_report_mode, bool refresh_cache) {
  for (int n = 12; n >= 0; --n) {
    std::string name = n == 0 ? std::string(stem) : std::string(stem) + std::to_string(n);
    if (refresh_cache) archive_cache_refresh(name.c_str());
    int result = data_source_add(name.c_str(), sound_only);
    if (fold_report_mode) error_report_mode_set(result);
  }
}

void startup_mount_pass() {
  error_report_mode_set(-2);
  mount_group("update", 0, true, false);
  mount_group("fastdata", 0, true, false);
  // No folder and no V3 archive decided the mode: a player's install. (A V3 result sets 1.)
  if (error_report_mode_get() == -2) error_report_mode_set(DATA_SOURCE_ARCHIVE64);
}

void startup_sources_mount() {
  mount_group("scenario", 0, false, false);
  mount_group("data", 0, false, true);
  mount_group("slowdata", 0, false, true);
  mount_group("stream", 1, false, true);
  mount_group("voice", 1, false, true);
  startup.drop_cache = 0;  // every copy was dropped once; later refreshes keep what they made
}

// The host's current folder as engine text.
static std::string current_folder() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) return ".";
  std::string engine;
  return utf8_to_cp932(buffer, engine) ? engine : std::string(buffer);
}

// The folder that holds the program file becomes the current folder.
static void change_to_program_folder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return;
  path[n] = '\0';
  char* slash = strrchr(path, '/');
  if (!slash) return;
  slash[slash == path ? 1 : 0] = '\0';  // the root keeps its separator
  if (chdir(path) != 0) return;
}

// Copies happen only where the shipped archive can be older than a copy: a file whose time lies
// this close to the shipped one counts as the same (100 ns units).
static const uint64_t CACHE_TIME_SLACK = 2500;

static uint64_t file_time_100ns(const struct stat& st) {
  return static_cast<uint64_t>(st.st_mtim.tv_sec) * 10000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100u;
}

void archive_cache_refresh(const char* mount_name) {
  if (startup.cache_folder.empty()) return;
  std::string shipped = std::string(mount_name) + ".arc";
  std::string copy = game_path_join(startup.cache_folder, shipped);
  std::string copy_host = game_path_native(copy);
  if (startup.drop_cache) unlink(copy_host.c_str());

  struct stat copy_stat;
  bool have_copy = stat(copy_host.c_str(), &copy_stat) == 0;
  FILE* original = nullptr;
  for (int attempt = 0; attempt < 21; ++attempt) {
    original = game_fopen(shipped, "rb");
    if (original || !have_copy) break;
    if (attempt < 20) plat().sleep_ms(5);
  }
  if (!original) {
    if (!have_copy) return;
    notice_box("[%s]のオリジナルファイルが開けません。キャッシュを消去します", shipped.c_str());
    unlink(copy_host.c_str());
    return;
  }
  struct stat original_stat;
  bool copy_it = false;
  if (!have_copy) {
    notice_box("[%s]が新規に作成されました。キャッシュします", shipped.c_str());
    copy_it = true;
  } else if (fstat(fileno(original), &original_stat) == 0 &&
             file_time_100ns(copy_stat) + CACHE_TIME_SLACK < file_time_100ns(original_stat)) {
    notice_box("[%s]が更新されました。キャッシュします", shipped.c_str());
    copy_it = true;
  }
  if (copy_it) {
    folder_create(startup.cache_folder);
    atomic_file_copy(copy, original);
  }
  fclose(original);
}

// ---------------------------------------------------------------------------------------------
// The development file

// The development file names a folder and a command or two: it is never this long.
static const uint64_t DEV_FILE_LIMIT = 1u << 20;

std::vector<std::string> dev_file_parse(std::string_view text, int count) {
  std::vector<std::string> lines;
  char buffer[FAST_DATA_FOLDER_SIZE];
  while (static_cast<int>(lines.size()) < count && !text.empty()) {
    size_t n = file_line_length(text, sizeof buffer - 1);
    memset(buffer, 0, sizeof buffer);
    memcpy(buffer, text.data(), n);
    text.remove_prefix(n);
    // ';' and '/' never occur inside a CP932 character, nor do bytes below '!'.
    if (char* semicolon = strchr(buffer, ';')) *semicolon = '\0';
    if (char* comment = strstr(buffer, "//")) *comment = '\0';
    size_t end = strlen(buffer);
    while (end > 0 && static_cast<unsigned char>(buffer[end - 1]) < '!') buffer[--end] = '\0';
    const char* start = buffer;
    while (*start && static_cast<unsigned char>(*start) < '!') ++start;
    if (*start) lines.emplace_back(start);
  }
  return lines;
}

std::vector<std::string> dev_file_lines(int count) {
  std::string text;
  if (!host_file_read("fastread.inf", DEV_FILE_LIMIT, &text) && !host_file_read("fastread.txt", DEV_FILE_LIMIT, &text))
    return {};
  return dev_file_parse(text, count);
}

// Where the old engine asked for a fixed disk, this host asks whether the folder can be written:
// an install on read-only media is the case the HDD cache was made for.
static bool on_fixed_media(const std::string& folder) { return access(game_path_native(folder).c_str(), W_OK) == 0; }

// The development file comes with the game, so the folder it names may lie outside the game only
// when the user asked for development; otherwise the file counts only when it names a folder
// inside the game's (said once, at the first reading).
static std::vector<std::string> dev_file_accepted(int count, bool tell) {
  std::vector<std::string> lines = dev_file_lines(count);
  if (!lines.empty() && !development_asked() && !game_name_confined(lines[0])) {
    if (tell)
      fprintf(stderr, "vaskrun: the development file names a folder outside the game (%s); it counts only with %s\n",
              lines[0].c_str(), DEVELOPMENT_SWITCH);
    lines.clear();
  }
  return lines;
}

// The development file's first line names the fast-data folder; its "savedata" is where saves go
// and, on read-only media, it caches the archives and takes part in every lookup.
static void fast_data_folder_choose() {
  std::vector<std::string> lines;
  if (reports_shown()) lines = dev_file_accepted(1, true);
  std::string here = current_folder();
  if (!lines.empty()) {
    startup.fast_data_folder = lines[0].substr(0, cp932_cut_length(lines[0], FAST_DATA_FOLDER_SIZE - 1));
    folder_create(game_path_join(startup.fast_data_folder, "savedata"));
    save_base_folder_set(startup.fast_data_folder.c_str());
    startup.cache_folder = on_fixed_media(here) ? "" : startup.fast_data_folder;
    if (!startup.cache_folder.empty()) data_base_folder_set(startup.cache_folder.c_str());
    return;
  }
  startup.fast_data_folder = here.substr(0, cp932_cut_length(here, FAST_DATA_FOLDER_SIZE - 1));
  data_base_folder_set(startup.fast_data_folder.c_str());
}

// The second reading, once the settings are known: the first line again, and the third as the
// editor's command when no editor is set.
static void dev_file_reread() {
  std::vector<std::string> lines = dev_file_accepted(3, false);
  if (!lines.empty()) startup.fast_data_folder = lines[0];
  if (lines.size() >= 3 && setting_text_get(SETTING_EDITOR)[0] == '\0') setting_text_store(SETTING_EDITOR, lines[2].c_str());
}

// ---------------------------------------------------------------------------------------------
// Start-up steps

// The environment file, looked for again from the program's folder when the current folder does
// not hold the game.
static void environment_load() {
  std::string name = env_file_name(STRING_RESOURCE_1);
  for (int pass = 0; !data_file_exists(name.c_str()); ++pass) {
    if (pass == 1) {
      error_box_fatal(
          "起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。\n"
          "ショートカットからの起動は作業フォルダの設定をご確認ください。");
      fatal_exit(FATAL_EXIT_CODE);
    }
    change_to_program_folder();
    startup_mount_pass();
  }
  env_load(name.c_str());
}

// An environment file in UTF-8 has been read as the text it holds; development mode tells the
// game's maker, once the window carries the title read from it.
static void environment_text_report() {
  if (env_read_as_utf8() && reports_shown())
    warning_box("%s は UTF-8 で書かれています。\n環境ファイルは CP932 (Shift_JIS) で保存してください。\n"
                "(今回は UTF-8 として読みました。)",
                env_file_name(STRING_RESOURCE_1).c_str());
}

static void single_instance_keep() {
  if (plat().single_instance(app_title())) return;
  plat().message_box(nullptr, "既に起動中です", app_title(), MB_ICONERROR);
  exit(0);
}

static void abnormal_exit_check() {
  if (stored_int("AbnormalTerminateFlg", 0) && reports_shown()) {
    int answer = plat().message_box(
        nullptr,
        "前回のプログラム実行時に異常終了が確認されました。\n繰り返し異常終了が確認される場合はＨＤＤキャッシュの破損"
        "が考えられます。\n\nＨＤＤキャッシュを破棄しますか？（推奨）\n",
        "異常終了の検出", MB_ICONWARNING | MB_YESNO);
    if (answer == IDYES) startup.drop_cache = 1;
  }
  reg_set_string_flush(reg_global(), reg_local(), "AbnormalTerminateFlg", "1");
}

// The first environment key that is set chooses the menu.
static const char* menu_variant() {
  static const struct {
    const char* key;
    const char* menu;
  } variants[] = {{"ALTMENU_A", "VASKEL_MAIN_ALT_A"},
                  {"ALTMENU_B", "VASKEL_MAIN_ALT_B"},
                  {"ALTMENU_C", "VASKEL_MAIN_ALT_C"},
                  {"NOCONFIG", "VASKEL_MAIN_NOCONFIG"},
                  {"USEEXTRASETUP", "VASKEL_MAIN_EXTRAMENU"}};
  for (const auto& v : variants)
    if (env_get_int(v.key, 0)) return v.menu;
  return "VASKEL_MAIN";
}

bool window_position_fit(const screen_rect& screen, int client_width, int client_height, int* x, int* y) {
  int64_t left = *x, right_edge = static_cast<int64_t>(screen.x) + screen.width;
  if (left < screen.x - client_width * 4 / 5 || left > right_edge - client_width / 5) return false;
  int64_t top = *y, lowest = static_cast<int64_t>(screen.y) + screen.height - client_height / 3;
  if (top > lowest) top = lowest;
  if (top < screen.y) top = screen.y;
  *y = static_cast<int>(top);
  return true;
}

// The virtual screen: the rectangle around every display.
static screen_rect virtual_screen() {
  std::vector<monitor_info> list;
  plat().monitors(list);
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  for (const monitor_info& m : list) {
    left = std::min(left, m.area.x);
    top = std::min(top, m.area.y);
    right = std::max(right, m.area.x + m.area.width);
    bottom = std::max(bottom, m.area.y + m.area.height);
  }
  if (list.empty()) return {0, 0, 0, 0};
  return {left, top, right - left, bottom - top};
}

window_handle main_window_create() {
  window_spec spec;
  spec.class_name = WINDOW_CLASS;
  spec.title = app_title();
  spec.procedure = main_window_class_proc;
  spec.client_width = client_width();
  spec.client_height = client_height();
  spec.menu_name = menu_variant();
  if (reports_shown()) spec.status_bar_height = STATUS_BAR_HEIGHT;
  window_handle window = window_create(spec);
  main_window_set(window);
  // The saved position (WinPosX/WinPosY, -9999 for none) is used where it can be reached and the
  // system lets programs place windows; an unusable one also forgets the saved display mode.
  int x = stored_int("WinPosX", -9999), y = stored_int("WinPosY", -9999);
  if (!save_screenpos_get() || x == -9999 || y == -9999 ||
      !window_position_fit(virtual_screen(), spec.client_width, spec.client_height, &x, &y))
    startup.saved_win_stat = 0;
  else
    plat().window_move(window, x, y);
  return window;
}

// Entries that the game's environment leaves out, greys or checks (each key read once).
void menu_entries_apply(window_handle window) {
  platform_backend& p = plat();
  char help[ENV_TEXT_SIZE];
  if (strcmp(env_get_string("HELP_FILE", help, sizeof help, ""), "none") == 0) {
    p.menu_item_delete(window, IDM_HELP);
    p.menu_item_delete(window, IDM_HELP_EVENT);
  }
  loadsave_disabled();  // its first read greys save and load
  if (env_get_int("NOSAVEAS", 0) == 1) {
    p.menu_item_delete(window, IDM_SAVE_AS);
    p.menu_item_delete(window, IDM_LOAD_BY_NAME);
  }
  if (!env_get_int("ALTMENU_C", 0) && env_get_int("RETLASTSEL_ENABLE", 0) == 0) p.menu_item_delete(window, IDM_PREV_CHOICE);
  if (env_get_int("FONTSEL", 0) == 0) p.menu_item_delete(window, IDM_FONT_SELECT);
  if (env_get_int("VOICESEL", 0) == 0) p.menu_item_delete(window, IDM_VOICE_SETUP);
  if (int joy = env_get_int("JOYUSE", 0))
    joy_use_set(stored_int("JoyUse", 0) ? joy : 0);
  else
    p.menu_item_delete(window, IDM_JOYSTICK);
  if (!is_fullscreen() && env_get_int("CAPTUREDISABLE", 0) == 1) p.menu_item_enable(window, IDM_CAPTURE, false);
  if (env_get_int("FNDISABLE", 0) == 1)
    for (int id : {IDM_AUTO, IDM_SKIP_READ, IDM_SKIP_ALL, IDM_CONFIG}) p.menu_item_delete(window, id);
}

// A movie back end that crashed last time is swapped for the other one.
void movie_method_choose() {
  bool method_key = env_get_int("MOVIEMETHOD", 1) != 0;
  if (stored_int("AbnormalMovieTerminateFlg", 0)) {
    int method = stored_int("MoviePlayMethod", method_key ? 2 : 1);
    if (method_key)
      method = method == 1 ? 2 : method == 3 ? 1 : 0;
    else
      method = method == 2 ? 1 : method == 3 ? 2 : 0;
    store_int("MoviePlayMethod", method);
    store_int("AbnormalMovieTerminateFlg", 0);
  }
  movie_set_mode(stored_int("MoviePlayMethod", method_key ? 2 : 1));
}

void wide_menu_apply(window_handle window) {
  if (env_get_int("WIDEMODEMENU", 0) == 0) plat().menu_item_delete(window, IDM_WIDE_MODE);
  if (stored_int("WideMode", 0)) plat().menu_item_check(window, IDM_WIDE_MODE, true);
  full_screen_fit_set(-1);
  if (!reports_shown()) plat().menu_item_delete(window, IDM_DEBUG_LOG);
}

// The full-screen size that the stored settings ask for, handed to the display modes.
static void fullscreen_settings_apply() {
  if (stored_int("WideMode", 0) == 0) {
    int height = stored_int("RegHeight3", 0);
    if (height) {
      if (height < client_height_wide()) height = client_height_wide();
      if (height > 1200) height = 1200;
    }
    if (height < client_height()) {
      store_int("RegWidth3", 0);
      store_int("RegHeight3", 0);
    }
  }
  fullscreen_choice_apply(full_sc_wide_get());
}

static void front_page_create() {
  page* front = page_new_rgb24(client_width(), client_height(), 1);
  if (!front) front = page_new_rgb24(1, 1, 1);
  front_page_set(front);
}

// The start object's "$init@GLOBAL" runs once, before the run loop; what it makes survives every
// reset. False when the object has no such function.
static bool start_object_init() {
  vm_reset();
  script_object* start = object_load("start");
  uint8_t* init = object_function(start, crc32_string("$init@GLOBAL"));
  if (!init) {
    error_box_fatal("[start.vsk]に $init@GLOBAL 関数がありません");
    return false;
  }
  vm_frame->code = init;
  hook_list_keep(1);
  interpreter_run();
  sprite_mark_all_kept();
  page_mark_all_persistent();
  hook_list_mark_all();
  hook_list_keep(0);
  if (ignore_screen_mode() != 1 && save_screenpos_get()) display_mode_toggle(startup.saved_win_stat);
  return true;
}

int WinMain(const char* command_line, int show_command) {
  atexit(process_exit_restore);
  development_asked_set(development_requested(command_line));
  startup.drop_cache = 0;
  engine_srand(static_cast<uint32_t>(time(nullptr)));
  // Start-up is one operation for the boxes that name a refused file; the game's own calls are
  // their own operations.
  std::optional<file_failure_scope> report_scope(std::in_place);

  startup_mount_pass();
  environment_load();
  fast_data_folder_choose();
  // The launcher window that the old engine told about the start has no counterpart here.
  single_instance_keep();
  // No save of this game and no write of its settings is under way now.
  atomic_file_sweep(save_path("savedata"), FOLDER_GAME);
  reg_store_sweep(reg_global(), reg_local());
  abnormal_exit_check();
  // The abnormal-exit flag is on disk; the rest of start-up's settings writes go out as one.
  reg_writes_defer();
  // The machine-wide movie-player values that the old engine switched have no meaning here.

  if (reports_shown()) message_dialog_show(nullptr, "NAMECACHE");
  startup_sources_mount();
  message_dialog_close();
  display_switch_hook_set(topmost_apply);

  wndproc_handler_add(main_window_handler);
  front_page_set(nullptr);
  page_cleanup_register();
  input_init();
  capslock_force(0);

  startup_settings_load();
  startup.saved_win_stat = stored_int("WinStat", 0);
  reg_set_string_flush(reg_global(), reg_local(), "WinStat", "0");
  // No editor is looked for at install paths: in development the editor comes from the settings
  // or the development file, and "none" means there is none yet.
  if (reports_shown() && strcmp(setting_text_get(SETTING_EDITOR), "none") == 0) setting_text_store(SETTING_EDITOR, "");

  window_handle window = main_window_create();
  environment_text_report();
  menu_entries_apply(window);
  movie_method_choose();
  wide_menu_apply(window);

  if (loadsave_disabled() != 1) {
    font_cache_build();
    font_cache_build2();
  }
  dsound_ensure_init();
  debugger_connect(command_line);
  plat().window_show(window, show_command != 0);
  menu_refresh();

  wide_monitor_class();
  fullscreen_settings_apply();

  window_hook_set(leave_fullscreen_callback);
  windowed_hook_set(leave_fullscreen_callback);
  exit_hook_set(abnormal_exit_handler);
  fullscreen_hook_set(enter_fullscreen_callback);
  ime_disable();
  if (env_get_int("ALTMENU_B", 0)) fullscreen_key_set(VK_F2);

  topmost_apply(stored_int("TOPMOST", 0));
  work_area_fit();
  plat().idle_inhibit(true);
  timer_set(window, WAKE_TIMER_ID, 100);
  space_key_mode_set(env_get_int("ERASEONSPACE", 0));

  if (reports_shown()) dev_file_reread();
  config_load();
  image_cache_set_budget(image_cache_budget_from_memory(free_physical_memory()));
  front_page_create();
  if (reg_writes_resume() != 0) fprintf(stderr, "vaskrun: the settings could not be written\n");

  report_scope.reset();
  if (start_object_init()) run_loop(interpreter_run);
  return startup_tail();
}

// ---------------------------------------------------------------------------------------------
// Run loop and ends

// Thread 0 starts at the entry of the custom start object (once) or of "start".
static void run_entry_set() {
  std::string custom = start_object_get();
  start_object_set("");
  const char* name = custom.empty() ? "start" : custom.c_str();
  script_object* object = object_load(name);
  if (object->entry_offset == OBJECT_NO_ENTRY) {
    script_error("[%s]実行関数が設定されていません。", custom.empty() ? "start.vks" : name);
    return;
  }
  vm_frame->code = object->code + object->entry_offset;
}

int32_t run_loop(int32_t (*interpreter)()) {
  for (;;) {
    vm_reset();
    run_entry_set();
    int32_t loaded = 0, resume = 0, result;
    for (;;) {
      push_int(resume);
      push_string("");
      push_int(loaded);
      hook_fire(RUN_START_EVENT, 3, 0);
      result = interpreter();
      page* front = front_page_get();
      if (page_grid* grid = page_grid_find(front); grid && !grid->dirty) --grid->users;
      front_page_set(front);
      display_mode_reapply();
      movie_close();
      if (result != RUN_LOAD) break;
      vm_reset();
      savefile_restore();
      savefile_sound_restore();
      loaded = 1;
      resume = resume_value_get();
    }
    if (result != RUN_END) return result;
  }
}

int startup_tail() {
  ExecOut();
  ReleaseVaskel();
  save_window_state();
  KATAZUKE();
  message_post_quit(0);
  return 0;
}

void abnormal_exit_handler() {
  store_int("AbnormalTerminateFlg", 0);
  ExecOut();
  ReleaseVaskel();
  KATAZUKE();
  message_post_quit(0);
}
