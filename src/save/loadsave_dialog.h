// The save and load dialogs: the system's file chooser for ".sav" files, and LOADSAVE, the
// program's own dialog of ten pages of ten numbered slots (and, when loading, a page of the
// last-save file and the eight quick slots) with each slot's chapter, comment, date and thumbnail.
//
// LOADSAVE is a model (loadsave_dialog) that the view changes through loadsave_page_set and
// loadsave_select and closes through loadsave_close; the view is the platform's dialog form
// (loadsave_form_view). The page open last is kept in the registry value LOADSAVEDLG_NumBase as
// its first slot number (101, 201, ... 1001, 1101 for the Auto / Quick page).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "save/thumbnail.h"

// The controls of LOADSAVE.
enum {
  IDC_LOADSAVE_PROMPT = 1000,
  IDC_LOADSAVE_TABS = 1001,
  IDC_LOADSAVE_LIST = 1002,
  IDC_LOADSAVE_CHAPTER = 1003,
  IDC_LOADSAVE_COMMENT = 1004,
  IDC_LOADSAVE_DATE = 1005,
  IDC_LOADSAVE_PREVIEW = 1006,
};
constexpr int LOADSAVE_BASE_FIRST = 101, LOADSAVE_BASE_AUTO_QUICK = 1101;

struct loadsave_row {
  std::string number, chapter, comment, date, marker;
};

struct loadsave_dialog {
  int mode = 0;  // 0 save, else load
  int newest = -1;
  int base = LOADSAVE_BASE_FIRST;
  std::vector<std::string> tabs;
  std::vector<loadsave_row> rows;
  int row = -1;        // the list's selected row
  int selection = -1;  // the slot OK hands back
  int shown = -1;      // the slot whose details are shown
  std::string chapter, comment, date;
  bool ok_enabled = false;
  thumbnail preview;  // width 0: none
};

// The dialog as it opens (the page from LOADSAVEDLG_NumBase, filled).
loadsave_dialog loadsave_model(int mode, int newest);
// The rows of the page of base.
void loadsave_fill_page(loadsave_dialog& d);
// A row; the title splits at its first "∵" into chapter and comment (all comment without one).
void loadsave_add_row(loadsave_dialog& d, const std::string& number, const std::string& title, const std::string& date,
                      const char* marker);
// The slot of a row of the page of base, -1 for none (the Auto / Quick page's empty row).
int loadsave_row_slot(int base, int row);
// The tab chosen: its page is filled and nothing is selected.
void loadsave_page_set(loadsave_dialog& d, int tab);
// The list's selection (-1 none): the details, the preview and OK follow it.
void loadsave_select(loadsave_dialog& d, int row);
// OK or Cancel: the page is stored; the chosen slot, or -1.
int loadsave_close(loadsave_dialog& d, bool ok);
// The dialog shown on the platform's dialog form: 1 OK, 0 Cancel.
int loadsave_form_view(loadsave_dialog& d);
// Opens LOADSAVE over the main window: the chosen slot, or -1.
int loadsave_dialog_open(int mode, int newest);

// The default name of a save: the title up to its first 0x8786 character, then the date and time,
// characters that names cannot hold in their full-width forms, within 511 bytes.
std::string save_default_name(const char* title, const std::tm& when);
// The file chooser for saves (save nonzero, title in the default name) or loads: 0 with the path
// chosen, 1 otherwise. The folder of the file chosen is the next dialog's.
int save_file_dialog(std::string& path, int save, const char* title);
// The dialogs of the menu and the built-ins: the snapshot written to a chosen file (true when
// written), and a chosen save file taken for loading (true when the run loop will load it).
bool save_as_file();
bool load_as_file();

// Forgets the save folder (tests).
void loadsave_reset();

int builtin_loadsave_dialog_open(int32_t n, int32_t drop);
int builtin_save_as_dialog(int32_t n, int32_t drop);
int builtin_load_as_dialog(int32_t n, int32_t drop);
