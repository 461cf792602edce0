// A modal dialog as the engine describes it: a title and a list of controls keyed by the engine's
// control ids, in the order they are laid out. The engine's dialog code fills the form, the
// backend shows it (or, headless, a test answers it) and the engine reads the controls back after
// OK. Texts are engine text (CP932).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class form_kind {
  text,   // a block of text, several lines
  check,  // a check box: label, value 0/1
  edit,   // one line of text: label beside it, text, at most limit bytes
  combo,  // a drop-down list: label beside it, rows, value the selected row (-1: none)
  link,   // an underlined address: text shown; clicking it calls on_link
  slider, // a track bar: label above it, value in low..high
  radio,  // a group of buttons: label above them, rows their texts, value the checked row (-1: none)
  tabs,   // a row of tabs: rows their names, value the one chosen
  list,   // rows of cells (each row's cells and the label's column headings separated by tabs),
          // columns the widths in pixels, value the selected row (-1: none); activating a row is OK
  picture, // pixels the engine draws (width x height, 0x00RRGGBB rows); on_change may redraw them
};

struct form_control {
  int id = 0;
  form_kind kind = form_kind::text;
  std::string label;
  std::string text;
  int value = 0;
  std::vector<std::string> rows;
  size_t limit = 0;
  int low = 0, high = 0;
  int page = -1;  // the tab that holds it, when the form has pages; -1: above them
  std::vector<int> columns;
  int width = 0, height = 0;     // picture
  std::vector<uint32_t> pixels;  // picture
};

struct dialog_form {
  std::string template_name;  // the engine's dialog name ("ABOUTDIALOG")
  std::string title;
  std::vector<form_control> controls;
  void (*on_link)(const form_control& link) = nullptr;
  // Tabs: a page per name, the one shown first, and (back after OK) the one shown last.
  std::vector<std::string> pages;
  int page = 0;
  // With on_defaults the dialog has a "初期化" button: it calls on_defaults, which may change every
  // control's value, and the controls then show the form again. on_change hears every slider, check,
  // radio, combo, tab and list change as it happens; after it the texts, tabs, lists, pictures and
  // the OK button show the form again. data is theirs.
  void (*on_defaults)(dialog_form& form) = nullptr;
  void (*on_change)(dialog_form& form, const form_control& control) = nullptr;
  void* data = nullptr;
  // The OK button's text ("" : "OK") and whether it can be pressed.
  std::string ok_label;
  bool ok_enabled = true;

  form_control* find(int id) {
    for (form_control& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
  form_control& add(int id, form_kind kind, std::string label = "", std::string text = "", int value = 0) {
    controls.push_back(form_control{id, kind, std::move(label), std::move(text), value, {}, 0, 0, 0, -1, {}, 0, 0, {}});
    return controls.back();
  }
};
