#include "shell/main_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "base/env.h"
#include "base/gamepath.h"
#include "base/registry.h"
#include "base/system.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "resources/menus.h"
#include "save/savefile.h"
#include "save/vm_exit.h"
#include "shell/capture.h"
#include "shell/devtools.h"
#include "shell/display_mode.h"
#include "shell/env_keys.h"
#include "shell/exit_state.h"
#include "shell/input.h"
#include "shell/menu_request.h"
#include "shell/message_box.h"
#include "shell/settings.h"
#include "shell/settings_dialogs.h"
#include "shell/shell_dialogs.h"
#include "shell/system_builtins.h"
#include "shell/window_core.h"
#include "sound/movie.h"
#include "vm/debug_log.h"
#include "vm/interpreter.h"
#include "vm/script_error.h"
#include "vm/script_object.h"
#include "vm/skip.h"

// Module state: the close guard, the compile flags and the environment keys read here, each read
// once (-1 until then).
struct main_window_state {
  int close_guard = 0;
  int gui_exit_dialog = -1, alt_menu_b = -1, alt_menu_c = -1, no_save_as = -1, no_config = -1;
  int fn_disable = -1, capture_disable = -1, joy_use = -1;
  bool help_read = false;
  char help_file[ENV_TEXT_SIZE] = "";
};
static main_window_state state;

void main_window_reset() {
  state = main_window_state{};
  compile_finished_set(0);
  compile_running_set(0);
}

static int cached(int& slot, const char* key) {
  if (slot == -1) slot = env_get_int(key, 0);
  return slot;
}

static int no_save_as() {
  if (state.no_save_as == -1 && cached(state.no_save_as, "NOSAVEAS"))
    for (int id : {IDM_SAVE_AS, IDM_LOAD_BY_NAME}) plat().menu_item_delete(main_window_get(), id);
  return state.no_save_as;
}

static const char* help_file() {
  if (!state.help_read) {
    state.help_read = true;
    env_get_string("HELP_FILE", state.help_file, sizeof state.help_file, "");
    if (strcmp(state.help_file, "none") == 0)
      for (int id : {IDM_HELP, IDM_HELP_EVENT}) plat().menu_item_delete(main_window_get(), id);
  }
  return state.help_file;
}

static bool reports_shown() { return error_report_mode_get() != 1; }
static const char* reg_a() { return reg_global_name(); }
static const char* reg_b() { return reg_local_name(); }

// The help is a web address (a ":" says so: no file name holds one) or a document of the game,
// which must lie inside it. When it does not open (most often: the desktop has no browser) the
// player is told, or F1 would seem to do nothing.
static void help_open() {
  const char* file = help_file();
  if (!*file || strcmp(file, "none") == 0) return;
  bool opened = strchr(file, ':') ? web_address_open(file) : game_name_confined(file) && plat().shell_open(file);
  if (!opened)
    warning_box("ヘルプ[%s]を開けませんでした。\nヘルプを開くプログラム（ブラウザ）が見つからないか、ヘルプがありません。",
                file);
}

static void skip_from_menu(int mode) {
  input_press_middle();
  skip_mode_set(mode);
}

static void orderly_end() {
  ExecOut();
  ReleaseVaskel();
  KATAZUKE();
  message_post_quit(0);
}

// The session ends, the program was told to end or its window is gone: nobody is asked, and the
// process ends here. It cannot go back into the game, whose machine the exit sequence freed, and
// it may be inside a box's or dialog's loop, which would hold a quit until the box is answered.
static void session_end() {
  save_window_state();
  orderly_end();
  if (reg_writes_finish() != 0) fprintf(stderr, "vaskrun: the settings could not be written\n");
  exit(0);
}

static void close_asked() {
  if (cached(state.gui_exit_dialog, "GUIEXITDLG") == 1) {
    request_post(95);
    return;
  }
  // The question pumps messages: a second close meanwhile must not ask again.
  if (state.close_guard) return;
  state.close_guard = 1;
  save_window_state();
  if (question_box("終了してよろしいですか？")) {
    orderly_end();
    return;
  }
  // The game goes on: until it ends in order, the next start sees an unfinished run.
  reg_writes_defer();
  reg_set_string_flush(reg_a(), reg_b(), "AbnormalTerminateFlg", "1");
  reg_set_string_flush(reg_a(), reg_b(), "WinStat", "0");
  reg_writes_resume();
  state.close_guard = 0;
}

// ALTMENU_B moves the function keys; 0 when the key was used up by the remap itself.
static int alt_b_remap(int key) {
  switch (key) {
    case VK_F1: return VK_F12;
    case VK_F2: return VK_F4;
    case VK_F3: return VK_F9;
    case VK_F4: return VK_F2;
    case VK_F5: return VK_F3;
    case VK_F9: request_post(97); return 0;
    case VK_F10:
    case VK_F12: return VK_F10;
    default: return key;
  }
}

static void key_down(int key) {
  if (cached(state.alt_menu_b, "ALTMENU_B")) key = alt_b_remap(key);
  bool fn_enabled = cached(state.fn_disable, "FNDISABLE") != 1;
  switch (key) {
    case 'C':
      if (reports_shown()) clipboard_copy_text((error_line_text() + "\r\n\r\n").c_str());
      break;
    case VK_F1: help_open(); break;
    case VK_F2:
      if (save_allowed_get()) request_post(REQUEST_SAVE_MENU);
      break;
    case VK_F3: request_post(REQUEST_LOAD_MENU); break;
    case VK_F5:
      if (!is_fullscreen() && cached(state.capture_disable, "CAPTUREDISABLE") != 1) capture_screen();
      break;
    case VK_F6:
      if (fn_enabled) skip_from_menu(3);
      break;
    case VK_F7:
      if (fn_enabled) skip_from_menu(2);
      break;
    case VK_F8:
      if (fn_enabled) skip_from_menu(4);
      break;
    case VK_F9:
      if (fn_enabled && cached(state.no_config, "NOCONFIG")) request_post(99);
      break;
    case VK_F11:
      if (reports_shown())
        editor_open_at_line(title_position_file(), title_position_line());
      else
        request_post(91);
      break;
    case VK_F12: request_post(98); break;
    default: break;
  }
}

static void system_key_down(int key) {
  // The order matters: NOSAVEAS's first read deletes the by-name entries.
  if (alt_menu_a() || cached(state.alt_menu_b, "ALTMENU_B") || no_save_as() || cached(state.alt_menu_c, "ALTMENU_C"))
    return;
  if (key == VK_F2) request_post(REQUEST_SAVE_DIALOG);
  if (key == VK_F3) request_post(REQUEST_LOAD_DIALOG);
}

static void movie_method_set(int method) {
  reg_set_int(reg_a(), reg_b(), "MoviePlayMethod", method);
  movie_set_mode(method);
  menu_refresh();
}

static void command(window_handle window, int id) {
  switch (id) {
    case IDM_EXIT: message_post(window, WM_CLOSE, 0, 0); return;
    case IDM_FULLSCREEN: screen_mode_set(1); return;
    case IDM_WINDOWED: screen_mode_set(0); return;
    case IDM_ABOUT:
      if (reports_shown()) title_show_position();
      about_dialog_open(reports_shown() ? 1 : 0);
      return;
    case IDM_SPEED_DIALOG: speed_config_dialog(); return;
    case IDM_VOLUME_DIALOG: volume_config_dialog(); return;
    case IDM_CAPTURE: capture_screen(); return;
    case IDM_SKIP_ALL: skip_from_menu(4); return;
    case IDM_SAVE: request_post(REQUEST_SAVE_MENU); return;
    case IDM_LOAD:
      if (request_current() != REQUEST_LOAD_MENU) request_post(REQUEST_LOAD_MENU);
      return;
    case IDM_SAVE_AS: request_post(REQUEST_SAVE_DIALOG); return;
    case IDM_LOAD_BY_NAME: request_post(REQUEST_LOAD_DIALOG); return;
    case IDM_SKIP_READ: skip_from_menu(2); return;
    case IDM_AUTO: skip_from_menu(3); return;
    case IDM_BACKLOG:
      message_post(window, WM_KEYDOWN, VK_PRIOR, 1);
      message_post(window, WM_KEYUP, VK_PRIOR, 1 | KEY_WAS_DOWN | KEY_RELEASED);
      return;
    case IDM_TITLE_RETURN: title_return_ask(); return;
    case IDM_HELP: help_open(); return;
    case IDM_TOPMOST:
      topmost_apply(topmost_get() ? 0 : 1);
      menu_refresh();
      return;
    case IDM_CONFIG:
      loadsave_disabled();
      if (cached(state.no_config, "NOCONFIG")) request_post(99);
      return;
    case IDM_SCREEN_OPTION:
      call_box_hook();
      screen_option_dialog_open();
      topmost_apply(-1);
      return;
    case IDM_FONT_SELECT: font_select_dialog(); return;
    case IDM_DEBUG_LOG: debug_log_open(); return;
    case IDM_VOICE_SETUP: voice_setup_dialog(); return;
    case IDM_JOYSTICK: joy_use_set(joy_use_get() ? 0 : cached(state.joy_use, "JOYUSE")); return;
    case IDM_MOVIE_OFF: movie_method_set(0); return;
    case IDM_MOVIE_METHOD_1: movie_method_set(1); return;
    case IDM_MOVIE_METHOD_2: movie_method_set(2); return;
    case IDM_USER_SUPPORT: user_support_dialog_open(); return;
    case IDM_HELP_EVENT: request_post(98); return;
    case IDM_QUICK_SAVE: request_post(REQUEST_QUICK_SAVE); return;
    case IDM_QUICK_LOAD: request_post(REQUEST_QUICK_LOAD); return;
    case IDM_PREV_CHOICE: request_post(97); return;
    case IDM_NEXT_CHOICE: request_post(96); return;
    case IDM_WIDE_MODE: {
      int wide = reg_get_int(reg_a(), reg_b(), "WideMode", 0) ? 0 : 1;
      reg_set_int(reg_a(), reg_b(), "WideMode", wide);
      plat().menu_item_check(window, IDM_WIDE_MODE, wide != 0);
      request_post(94);
      return;
    }
    case IDM_EXTRA_SETUP: extra_setup_dialog(); return;
    default:
      if (id >= IDM_NANIDO_0 && id <= IDM_NANIDO_0 + 4) {
        setting_store(SETTING_NANIDO, id - IDM_NANIDO_0);
        menu_refresh();
      } else if (id >= IDM_GAME_SPEED_0 && id <= IDM_GAME_SPEED_0 + 3) {
        setting_store(SETTING_GAME_SPEED, id - IDM_GAME_SPEED_0);
        menu_refresh();
      }
      return;
  }
}

static bool has_source_extension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  std::string_view ext(path.c_str() + dot);
  return cp932_iequal(ext, ".vks") || cp932_iequal(ext, ".txt");
}

// The buffer is filled first: the compiler takes its file from there, and the scripts read the
// same path afterwards.
static void files_dropped(uintptr_t drop) {
  std::vector<std::string> paths;
  if (dropped_files(drop, paths) && !paths.empty()) {
    cp932_copy(dropped_file_path(), DROPPED_FILE_SIZE, paths[0]);
    if (has_source_extension(paths[0])) {
      movie_close();
      if (compile_dropped_source()) compile_running_set(1);
    } else {
      compile_running_set(0);
    }
  }
  dropped_files_finish(drop);
}

intptr_t main_window_handler(window_handle window, uint32_t message, uintptr_t wparam, intptr_t) {
  switch (message) {
    case WM_CLOSE: close_asked(); return 1;
    case WM_KEYDOWN: key_down(static_cast<int>(wparam)); return 0;
    case WM_SYSKEYDOWN: system_key_down(static_cast<int>(wparam)); return 0;
    case WM_COMMAND: {
      int id = static_cast<int>(wparam & 0xFFFF);
      command(window, id);
      return id == IDM_EXIT ? 1 : 0;
    }
    case WM_SYSCOMMAND: {
      // While pages turn by themselves or a pad plays, neither the screen saver nor the display's
      // power saving may start.
      uintptr_t code = wparam & SC_MASK;
      if ((code == SC_MONITORPOWER || code == SC_SCREENSAVE) && (is_auto_mode() || joy_use_get())) {
        wndproc_set_result(1);
        return 1;
      }
      return 0;
    }
    case WM_INITMENU: menu_refresh(); return 0;
    case WM_DROPFILES: files_dropped(wparam); return 0;
    case WM_COMPILE_FINISHED:
      compile_finished_set(1);
      if (run_state_get() == RUN_LOAD && compile_running_get()) {
        threads_stop_all();
        movie_close();
      }
      return 0;
    case WM_COMPILE_ENDED:
      compile_running_set(0);
      compile_finished_set(1);
      return 0;
    case WM_DEBUGGER_QUIT:
      save_window_state();
      orderly_end();
      return 1;
    case WM_ENDSESSION: session_end(); return 1;
    default: return 0;
  }
}
