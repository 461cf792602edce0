#include "save/loadsave_dialog.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/cp932.h"
#include "base/registry.h"
#include "platform/platform.h"
#include "save/savefile.h"
#include "shell/capture.h"
#include "shell/env_keys.h"
#include "shell/menu_request.h"
#include "shell/window_core.h"
#include "vm/dispatcher.h"
#include "vm/variables.h"

// Module state: the folder the file chooser opens in ("" until the first dialog).
static struct {
  std::string folder;
} loadsave;

void loadsave_reset() { loadsave = {}; }

static constexpr size_t SAVE_FOLDER_SIZE = 260;
static constexpr size_t DEFAULT_NAME_SIZE = 512;
static constexpr int SLOTS_PER_PAGE = 10, PAGE_COUNT = 10;
static constexpr int SLOT_QUICK_FIRST = 10003, QUICK_ROWS = 8;
static const char* const NUM_BASE = "LOADSAVEDLG_NumBase";

// ---------------------------------------------------------------------------------------------
// The file chooser

// Characters that file names cannot hold, and their full-width forms.
static constexpr struct {
  char ascii;
  unsigned char lead, trail;
} FULL_WIDTH[] = {
    {'\\', 0x81, 0x8F}, {'/', 0x81, 0x5E}, {':', 0x81, 0x46}, {',', 0x81, 0x43}, {';', 0x81, 0x47}, {'*', 0x81, 0x96},
    {'?', 0x81, 0x48},  {'\'', 0x81, 0x68}, {'<', 0x81, 0x83}, {'>', 0x81, 0x84}, {'|', 0x81, 0x62},
};

std::string save_default_name(const char* title, const std::tm& when) {
  std::string head = title ? title : "";
  size_t mark = cp932_find(head, "\x87\x86");
  if (mark != std::string::npos) head.resize(mark);
  char stamp[64];
  snprintf(stamp, sizeof stamp, "（%02d年%02d月%02d日 %02d時%02d分）.sav", when.tm_year % 100, when.tm_mon + 1,
           when.tm_mday, when.tm_hour, when.tm_min);
  std::string name = head + stamp, out;
  // Whole characters only, within the name buffer.
  for (size_t i = 0; i < name.size();) {
    size_t len = cp932_char_len(name.c_str() + i);
    std::string piece = name.substr(i, len);
    if (len == 1)
      for (const auto& f : FULL_WIDTH)
        if (name[i] == f.ascii) piece = {static_cast<char>(f.lead), static_cast<char>(f.trail)};
    if (out.size() + piece.size() > DEFAULT_NAME_SIZE - 1) break;
    out += piece;
    i += len;
  }
  return out;
}

static const std::string& save_folder() {
  if (loadsave.folder.empty()) {
    char host[4096];
    loadsave.folder = (getcwd(host, sizeof host) ? engine_path_from_host(host) : std::string(".")) + "\\savedata";
  }
  return loadsave.folder;
}

int save_file_dialog(std::string& path, int save, const char* title) {
  file_dialog_spec spec;
  spec.save = save != 0;
  spec.title = save ? "データに名前を指定してセーブ" : "データの名前を指定してロード";
  spec.filter_name = "ゲームデータ (*.sav)";
  spec.filter_pattern = "*.sav";
  spec.default_extension = "sav";
  spec.folder = save_folder();
  if (save) {
    time_t now = time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    spec.file_name = save_default_name(title, local);
  }
  std::string chosen = file_dialog_ask(spec);
  if (chosen.empty()) return 1;
  const char* slash = cp932_strrchr(chosen.c_str(), '\\');
  if (slash) {
    std::string folder(chosen.c_str(), slash);
    loadsave.folder = folder.substr(0, cp932_cut_length(folder, SAVE_FOLDER_SIZE - 1));
  }
  path = chosen;
  return 0;
}

bool save_as_file() {
  std::string path;
  if (save_file_dialog(path, 1, snapshot_title()) != 0) return false;
  bool written = savefile_write(path.c_str(), FOLDER_USER);
  save_just_loaded_set(0);
  return written;
}

bool load_as_file() {
  std::string path;
  return save_file_dialog(path, 0, "") == 0 && save_file_check(path) == SAVE_FILE_OURS &&
         savefile_load_take(path.c_str());
}

// ---------------------------------------------------------------------------------------------
// LOADSAVE

static bool is_auto_quick(int base) { return base == LOADSAVE_BASE_AUTO_QUICK; }

// A stored base that names no page of the mode opens the first page.
static int base_valid(int base, int mode) {
  bool page = base >= LOADSAVE_BASE_FIRST && base <= LOADSAVE_BASE_AUTO_QUICK && (base - 1) % 100 == 0;
  return page && (mode != 0 || !is_auto_quick(base)) ? base : LOADSAVE_BASE_FIRST;
}

int loadsave_row_slot(int base, int row) {
  if (row < 0 || row >= SLOTS_PER_PAGE) return -1;
  if (!is_auto_quick(base)) return base + row;
  if (row == 0) return SLOT_LAST;
  return row >= 2 ? SLOT_QUICK_FIRST + row - 2 : -1;
}

void loadsave_add_row(loadsave_dialog& d, const std::string& number, const std::string& title, const std::string& date,
                      const char* marker) {
  loadsave_row r{number, "", title, date, marker ? marker : ""};
  size_t mark = cp932_find(title, "\x81\xE6");  // "∵"
  if (mark != std::string::npos) {
    r.chapter = title.substr(0, mark);
    r.comment = title.substr(mark + 2);
  }
  d.rows.push_back(std::move(r));
}

void loadsave_fill_page(loadsave_dialog& d) {
  d.rows.clear();
  char number[16];
  if (!is_auto_quick(d.base)) {
    for (int row = 0; row < SLOTS_PER_PAGE; row++) {
      int slot = d.base + row;
      snprintf(number, sizeof number, "%3d", d.base / 10 - 9 + row);
      loadsave_add_row(d, number, savefile_title(slot), savefile_date(slot), slot == d.newest ? "NEW" : "");
    }
    return;
  }
  loadsave_add_row(d, "Auto", savefile_title(SLOT_LAST), savefile_date(SLOT_LAST), "NEW");
  loadsave_add_row(d, "", "", "", "");
  for (int q = 0; q < QUICK_ROWS; q++) {
    int slot = SLOT_QUICK_FIRST + q;
    std::string date = savefile_date(slot);
    snprintf(number, sizeof number, "Q %02d", q + 1);
    loadsave_add_row(d, number, savefile_title(slot), date, q == 0 && !date.empty() ? "NEW" : "");
  }
}

loadsave_dialog loadsave_model(int mode, int newest) {
  loadsave_dialog d;
  d.mode = mode;
  d.newest = newest;
  d.base = base_valid(reg_get_int(reg_global_name(), reg_local_name(), NUM_BASE, LOADSAVE_BASE_FIRST), mode);
  char name[24];
  for (int page = 1; page <= PAGE_COUNT; page++) {
    snprintf(name, sizeof name, "Page %d", page);
    d.tabs.push_back(name);
  }
  if (mode != 0) d.tabs.push_back("Auto / Quick");
  loadsave_fill_page(d);
  return d;
}

void loadsave_page_set(loadsave_dialog& d, int tab) {
  if (tab < 0 || tab >= static_cast<int>(d.tabs.size())) return;
  d.base = tab * 100 + LOADSAVE_BASE_FIRST;
  loadsave_fill_page(d);
  loadsave_select(d, -1);
}

void loadsave_select(loadsave_dialog& d, int row) {
  if (row < 0 || row >= static_cast<int>(d.rows.size())) row = -1;
  d.row = row;
  int slot = loadsave_row_slot(d.base, row);
  if (slot < 0) d.selection = -1;
  if (slot == d.shown) return;
  d.shown = slot;
  d.preview = thumbnail{};
  d.ok_enabled = false;
  d.selection = -1;
  if (slot < 0) {
    // No row: no details (the chapter line too, so that none of another slot stays).
    d.chapter.clear(), d.comment.clear(), d.date.clear();
    return;
  }
  const loadsave_row& r = d.rows[row];
  d.chapter = r.chapter, d.comment = r.comment, d.date = r.date;
  if (d.mode == 0 || !r.date.empty()) {
    d.ok_enabled = true;
    d.preview = savefile_thumbnail_load(slot);
    d.selection = slot;
  }
}

int loadsave_close(loadsave_dialog& d, bool ok) {
  if (!ok || !d.ok_enabled) d.selection = -1;
  d.preview = thumbnail{};
  reg_set_int(reg_global_name(), reg_local_name(), NUM_BASE, d.base);
  return d.selection;
}

// ---------------------------------------------------------------------------------------------
// The view: the model on the platform's dialog form, every choice handed back as it happens.

static void form_values(dialog_form& f, const loadsave_dialog& d) {
  f.ok_enabled = d.ok_enabled;
  f.find(IDC_LOADSAVE_TABS)->value = d.base / 100 - 1;
  form_control* list = f.find(IDC_LOADSAVE_LIST);
  list->rows.clear();
  for (const loadsave_row& r : d.rows)
    list->rows.push_back(r.number + "\t" + r.chapter + "\t" + r.comment + "\t" + r.date + "\t" + r.marker);
  list->value = d.row;
  f.find(IDC_LOADSAVE_CHAPTER)->text = d.chapter;
  f.find(IDC_LOADSAVE_COMMENT)->text = d.comment;
  f.find(IDC_LOADSAVE_DATE)->text = d.date;
  form_control* preview = f.find(IDC_LOADSAVE_PREVIEW);
  preview->width = d.preview.width, preview->height = d.preview.height;
  // The thumbnail's rows are blue-green-red bytes; the form's pictures are 0x00RRGGBB.
  preview->pixels.clear();
  for (size_t i = 0; i + 2 < d.preview.pixels.size(); i += 3)
    preview->pixels.push_back(uint32_t{d.preview.pixels[i + 2]} << 16 | uint32_t{d.preview.pixels[i + 1]} << 8 |
                              d.preview.pixels[i]);
}

static void form_changed(dialog_form& f, const form_control& c) {
  auto* d = static_cast<loadsave_dialog*>(f.data);
  if (c.id == IDC_LOADSAVE_TABS) loadsave_page_set(*d, c.value);
  if (c.id == IDC_LOADSAVE_LIST) loadsave_select(*d, c.value);
  form_values(f, *d);
}

int loadsave_form_view(loadsave_dialog& d) {
  dialog_form f;
  f.template_name = "LOADSAVE";
  f.title = d.mode ? "データのロード" : "データのセーブ";
  f.ok_label = d.mode ? "ロード" : "セーブ";
  f.data = &d;
  f.on_change = form_changed;
  f.add(IDC_LOADSAVE_PROMPT, form_kind::text, "",
        d.mode ? "ロードするデータを選択してください" : "セーブする場所を選択してください");
  f.add(IDC_LOADSAVE_TABS, form_kind::tabs).rows = d.tabs;
  f.add(IDC_LOADSAVE_LIST, form_kind::list, "No\t章題\tコメント\t日時\tNEW").columns = {40, 160, 240, 120, 40};
  f.add(IDC_LOADSAVE_CHAPTER, form_kind::text);
  f.add(IDC_LOADSAVE_COMMENT, form_kind::text);
  f.add(IDC_LOADSAVE_DATE, form_kind::text);
  f.add(IDC_LOADSAVE_PREVIEW, form_kind::picture);
  form_values(f, d);
  if (plat().dialog_run(main_window_get(), f) != IDOK) return 0;
  // What the player left, in case the view told no change on its way.
  if (const form_control* tabs = f.find(IDC_LOADSAVE_TABS); tabs->value != d.base / 100 - 1)
    loadsave_page_set(d, tabs->value);
  loadsave_select(d, f.find(IDC_LOADSAVE_LIST)->value);
  return 1;
}

int loadsave_dialog_open(int mode, int newest) {
  loadsave_dialog d = loadsave_model(mode, newest);
  call_box_hook();
  bool ok = loadsave_form_view(d) == 1;
  return loadsave_close(d, ok);
}

// ---------------------------------------------------------------------------------------------
// Built-ins

int builtin_loadsave_dialog_open(int32_t, int32_t) {
  push_int(loadsave_dialog_open(builtin_arg_int(1), builtin_arg_int(2)));
  return 0;
}

int builtin_save_as_dialog(int32_t, int32_t) {
  push_int(save_as_file() ? 0 : -1);
  return 0;
}

int builtin_load_as_dialog(int32_t, int32_t) {
  push_int(load_as_file() ? 0 : -1);
  return 0;
}
