// The engine's own modal dialogs: a GtkDialog built from a dialog_form, one row per control in the
// form's order, OK and Cancel at the bottom. The controls are read back into the form on OK.
#include <cstring>

#include "base/cp932.h"
#include "platform/gtk/gtk_backend.h"

namespace {

struct form_view {
  dialog_form* form;
  std::vector<GtkWidget*> widgets;  // one per control, in the form's order
};

std::string utf8(const std::string& engine_text) { return cp932_to_utf8_lenient(engine_text); }

// A right click anywhere on the dialog is Cancel.
gboolean on_form_button(GtkWidget* dialog, GdkEventButton* event, gpointer) {
  if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    return TRUE;
  }
  return FALSE;
}

gboolean on_link_activate(GtkLabel*, gchar*, gpointer data) {
  auto* pair = static_cast<std::pair<form_view*, size_t>*>(data);
  dialog_form* form = pair->first->form;
  if (form->on_link) form->on_link(form->controls[pair->second]);
  return TRUE;  // the engine opens it
}

GtkWidget* labelled(GtkWidget* grid, int row, const std::string& label, GtkWidget* control) {
  GtkWidget* caption = gtk_label_new(utf8(label).c_str());
  gtk_label_set_xalign(GTK_LABEL(caption), 0.0f);
  gtk_grid_attach(GTK_GRID(grid), caption, 0, row, 1, 1);
  gtk_widget_set_hexpand(control, TRUE);
  gtk_grid_attach(GTK_GRID(grid), control, 1, row, 1, 1);
  return control;
}

GtkWidget* control_widget(GtkWidget* grid, int row, const form_control& c) {
  switch (c.kind) {
    case form_kind::text: {
      GtkWidget* w = gtk_label_new(utf8(c.text).c_str());
      gtk_label_set_justify(GTK_LABEL(w), GTK_JUSTIFY_CENTER);
      gtk_label_set_line_wrap(GTK_LABEL(w), TRUE);
      gtk_label_set_selectable(GTK_LABEL(w), TRUE);
      gtk_grid_attach(GTK_GRID(grid), w, 0, row, 2, 1);
      return w;
    }
    case form_kind::check: {
      GtkWidget* w = gtk_check_button_new_with_label(utf8(c.label).c_str());
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.value != 0);
      gtk_grid_attach(GTK_GRID(grid), w, 0, row, 2, 1);
      return w;
    }
    case form_kind::edit: {
      GtkWidget* w = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(w), utf8(c.text).c_str());
      return labelled(grid, row, c.label, w);
    }
    case form_kind::combo: {
      GtkWidget* w = gtk_combo_box_text_new();
      for (const std::string& r : c.rows) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(w), utf8(r).c_str());
      gtk_combo_box_set_active(GTK_COMBO_BOX(w), c.value);
      return labelled(grid, row, c.label, w);
    }
    case form_kind::link: {
      GtkWidget* w = gtk_label_new(nullptr);
      if (!c.text.empty()) {
        gchar* escaped = g_markup_escape_text(utf8(c.text).c_str(), -1);
        gchar* markup = g_strdup_printf("<a href=\"%s\">%s</a>", escaped, escaped);
        gtk_label_set_markup(GTK_LABEL(w), markup);
        g_free(markup);
        g_free(escaped);
      }
      gtk_grid_attach(GTK_GRID(grid), w, 0, row, 2, 1);
      return w;
    }
  }
  return nullptr;
}

// What the user left in a control, back into the form (edits converted to engine text and held
// to the control's limit on a character boundary).
void control_read(GtkWidget* w, form_control& c) {
  switch (c.kind) {
    case form_kind::check:
      c.value = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) ? 1 : 0;
      break;
    case form_kind::edit: {
      std::string text;
      if (!utf8_to_cp932(gtk_entry_get_text(GTK_ENTRY(w)), text)) text.clear();
      if (c.limit) text.resize(cp932_cut_length(text, c.limit));
      c.text = text;
      break;
    }
    case form_kind::combo:
      c.value = gtk_combo_box_get_active(GTK_COMBO_BOX(w));
      break;
    default:
      break;
  }
}

}  // namespace

int gtk_platform::dialog_run(window_handle owner, dialog_form& form) {
  gtk_host* host = host_of(owner);
  GtkWindow* parent = host && gtk_widget_get_visible(host->toplevel) ? GTK_WINDOW(host->toplevel) : nullptr;
  GtkWidget* dialog = gtk_dialog_new_with_buttons(utf8(form.title).c_str(), parent, GTK_DIALOG_DESTROY_WITH_PARENT,
                                                  U8("キャンセル"), GTK_RESPONSE_CANCEL, "OK", GTK_RESPONSE_OK, nullptr);
  gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_widget_add_events(dialog, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(dialog, "button-press-event", G_CALLBACK(on_form_button), nullptr);

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  g_object_set(grid, "margin", 16, nullptr);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid);

  form_view view{&form, {}};
  std::vector<std::pair<form_view*, size_t>> links;
  links.reserve(form.controls.size());
  for (size_t i = 0; i < form.controls.size(); i++) {
    GtkWidget* w = control_widget(grid, static_cast<int>(i), form.controls[i]);
    view.widgets.push_back(w);
    if (form.controls[i].kind == form_kind::link) {
      links.emplace_back(&view, i);
      g_signal_connect(w, "activate-link", G_CALLBACK(on_link_activate), &links.back());
    }
  }

  int response = run_modal(dialog, nullptr, nullptr);
  if (response == GTK_RESPONSE_OK)
    for (size_t i = 0; i < form.controls.size(); i++) control_read(view.widgets[i], form.controls[i]);
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_OK ? IDOK : IDCANCEL;
}
