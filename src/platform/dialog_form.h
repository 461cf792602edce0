// A modal dialog as the engine describes it: a title and a list of controls keyed by the engine's
// control ids, in the order they are laid out. The engine's dialog code fills the form, the
// backend shows it (or, headless, a test answers it) and the engine reads the controls back after
// OK. Texts are engine text (CP932).
#pragma once

#include <string>
#include <vector>

enum class form_kind {
  text,   // a block of text, several lines
  check,  // a check box: label, value 0/1
  edit,   // one line of text: label beside it, text, at most limit bytes
  combo,  // a drop-down list: label beside it, rows, value the selected row (-1: none)
  link,   // an underlined address: text shown; clicking it calls on_link
};

struct form_control {
  int id = 0;
  form_kind kind = form_kind::text;
  std::string label;
  std::string text;
  int value = 0;
  std::vector<std::string> rows;
  size_t limit = 0;
};

struct dialog_form {
  std::string template_name;  // the engine's dialog name ("ABOUTDIALOG")
  std::string title;
  std::vector<form_control> controls;
  void (*on_link)(const form_control& link) = nullptr;

  form_control* find(int id) {
    for (form_control& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
  form_control& add(int id, form_kind kind, std::string label = "", std::string text = "", int value = 0) {
    controls.push_back(form_control{id, kind, std::move(label), std::move(text), value, {}, 0});
    return controls.back();
  }
};
