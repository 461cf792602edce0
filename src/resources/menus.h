// The main window's menus: the command ids, their labels, and the menu bar of each menu variant
// that start-up may choose. Both backends build their menus from these models: the desktop one as
// real menus, the headless one as a record of each entry's state.
//
// Labels are engine text; "&" marks the access key ("&&" is a plain "&").
#pragma once

#include <string_view>
#include <vector>

// Command ids: WM_COMMAND carries them, code greys, checks and deletes entries by them.
enum : int {
  IDM_EXIT = 40001,
  IDM_FULLSCREEN = 40002,
  IDM_WINDOWED = 40003,
  IDM_ABOUT = 40004,
  IDM_SPEED_DIALOG = 40005,
  IDM_VOLUME_DIALOG = 40006,
  IDM_CAPTURE = 40007,
  IDM_SKIP_ALL = 40008,
  IDM_SAVE = 40009,
  IDM_LOAD = 40010,
  IDM_SAVE_AS = 40011,
  IDM_LOAD_BY_NAME = 40012,
  IDM_SKIP_READ = 40013,
  IDM_AUTO = 40014,
  IDM_BACKLOG = 40015,
  IDM_TITLE_RETURN = 40017,
  IDM_NANIDO_0 = 40018,  // to IDM_NANIDO_0 + 4
  IDM_GAME_SPEED_0 = 40023,  // to IDM_GAME_SPEED_0 + 3
  IDM_HELP = 40028,
  IDM_TOPMOST = 40029,
  IDM_CONFIG = 40030,
  IDM_SCREEN_OPTION = 40034,
  IDM_FONT_SELECT = 40035,
  IDM_DEBUG_LOG = 40037,
  IDM_VOICE_SETUP = 40038,
  IDM_JOYSTICK = 40039,
  IDM_MOVIE_OFF = 40040,
  IDM_USER_SUPPORT = 40041,
  IDM_HELP_EVENT = 40042,
  IDM_QUICK_SAVE = 40045,
  IDM_QUICK_LOAD = 40046,
  IDM_PREV_CHOICE = 40047,
  IDM_NEXT_CHOICE = 40048,
  IDM_WIDE_MODE = 40049,
  IDM_EXTRA_SETUP = 40050,
  IDM_MOVIE_METHOD_1 = 40052,
  IDM_MOVIE_METHOD_2 = 40053,
};

// A command: its id, its label, and whether it shows a check mark (the desktop backend makes those
// entries check items; a check set on another entry is only recorded).
struct menu_command {
  int id;
  const char* label;
  bool checkable;
};
// nullptr for an unknown id.
const menu_command* menu_command_find(int id);
const std::vector<menu_command>& menu_commands();

// An entry of a menu: a command (id > 0), a separator (id 0, no submenu) or a submenu.
struct menu_popup;
struct menu_node {
  int id;
  const menu_popup* popup;
};
struct menu_popup {
  const char* label;  // engine text with its access key
  std::vector<menu_node> nodes;
};
// A menu bar: its resource name and its top-level menus, left to right.
struct menu_model {
  const char* name;
  std::vector<const menu_popup*> bar;
};

// The variant of that name; nullptr when there is none.
const menu_model* menu_model_find(std::string_view name);
const std::vector<menu_model>& menu_models();

// Every command id of a model, in menu order (depth first).
std::vector<int> menu_model_ids(const menu_model& model);

// The text of a modeless wait dialog, by template name (engine text); nullptr when unknown.
const char* message_dialog_text(std::string_view template_name);
