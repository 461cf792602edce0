// The engine's own modal dialogs: a GtkDialog built from a dialog_form, one row per control in the
// form's order, OK and Cancel at the bottom. The controls are read back into the form on OK.
#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "platform/gtk/gtk_backend.h"

namespace {

struct form_view {
  dialog_form* form = nullptr;
  std::vector<GtkWidget*> widgets;  // one per control, in the form's order
  GtkWidget* notebook = nullptr;
  GtkWidget* ok = nullptr;
  bool writing = false;             // the view itself is setting the controls: no change events
  std::vector<std::vector<std::string>> list_rows;  // what each list shows, to refill only on change
};

constexpr int RESPONSE_DEFAULTS = 1000;

std::string utf8(const std::string& engine_text) { return cp932_to_utf8_lenient(engine_text); }

// A right click anywhere on the dialog is Cancel (lists take their clicks first, so they are
// connected too).
gboolean on_form_button(GtkWidget* widget, GdkEventButton* event, gpointer) {
  if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
    gtk_dialog_response(GTK_DIALOG(gtk_widget_get_toplevel(widget)), GTK_RESPONSE_CANCEL);
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

// A picture control's pixels as GTK shows them (the engine's rows are 0x00RRGGBB).
GdkPixbuf* picture_pixbuf(const form_control& c) {
  int width = std::max(c.width, 1), height = std::max(c.height, 1);
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
  gdk_pixbuf_fill(pixbuf, 0xFFFFFFFF);
  if (c.pixels.size() >= static_cast<size_t>(c.width) * c.height) {
    guchar* data = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < c.width; x++) {
        uint32_t p = c.pixels[static_cast<size_t>(y) * c.width + x];
        guchar* out = data + y * stride + x * 3;
        out[0] = p >> 16 & 0xFF;
        out[1] = p >> 8 & 0xFF;
        out[2] = p & 0xFF;
      }
  }
  return pixbuf;
}

GtkWidget* labelled(GtkWidget* grid, int row, const std::string& label, GtkWidget* control) {
  GtkWidget* caption = gtk_label_new(utf8(label).c_str());
  gtk_label_set_xalign(GTK_LABEL(caption), 0.0f);
  gtk_grid_attach(GTK_GRID(grid), caption, 0, row, 1, 1);
  gtk_widget_set_hexpand(control, TRUE);
  gtk_grid_attach(GTK_GRID(grid), control, 1, row, 1, 1);
  return control;
}

std::vector<std::string> tab_split(const std::string& text) {
  std::vector<std::string> cells;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\t', start);
    cells.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return cells;
    start = end + 1;
  }
}

GtkTreeView* list_tree(GtkWidget* w) { return GTK_TREE_VIEW(gtk_bin_get_child(GTK_BIN(w))); }

GtkWidget* list_widget(const form_control& c) {
  std::vector<std::string> headings = tab_split(c.label);
  std::vector<GType> types(headings.size(), G_TYPE_STRING);
  GtkListStore* store = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
  GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_grid_lines(GTK_TREE_VIEW(tree), GTK_TREE_VIEW_GRID_LINES_BOTH);
  int total = 0;
  for (size_t i = 0; i < headings.size(); i++) {
    GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes(
        utf8(headings[i]).c_str(), gtk_cell_renderer_text_new(), "text", static_cast<gint>(i), nullptr);
    int width = i < c.columns.size() ? c.columns[i] : 80;
    // The widths are the least: texts in the desktop's font may need more.
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_GROW_ONLY);
    gtk_tree_view_column_set_min_width(column, width);
    total += width;
    gtk_tree_view_append_column(GTK_TREE_VIEW(tree), column);
  }
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller), TRUE);
  gtk_widget_set_size_request(scroller, total + 4, -1);
  gtk_container_add(GTK_CONTAINER(scroller), tree);
  return scroller;
}

// The list's rows (again, when they changed) and its selection.
void list_write(form_view* view, size_t index, GtkWidget* w, const form_control& c) {
  GtkTreeView* tree = list_tree(w);
  auto* store = GTK_LIST_STORE(gtk_tree_view_get_model(tree));
  if (view->list_rows[index] != c.rows) {
    gtk_list_store_clear(store);
    int columns = gtk_tree_model_get_n_columns(GTK_TREE_MODEL(store));
    for (const std::string& row : c.rows) {
      std::vector<std::string> cells = tab_split(row);
      GtkTreeIter it;
      gtk_list_store_append(store, &it);
      for (int i = 0; i < columns && i < static_cast<int>(cells.size()); i++)
        gtk_list_store_set(store, &it, i, utf8(cells[i]).c_str(), -1);
    }
    view->list_rows[index] = c.rows;
  }
  GtkTreeSelection* selection = gtk_tree_view_get_selection(tree);
  if (c.value >= 0 && c.value < static_cast<int>(c.rows.size())) {
    GtkTreePath* path = gtk_tree_path_new_from_indices(c.value, -1);
    gtk_tree_selection_select_path(selection, path);
    gtk_tree_path_free(path);
  } else {
    gtk_tree_selection_unselect_all(selection);
  }
}

int list_read(GtkWidget* w) {
  GtkTreeModel* model = nullptr;
  GtkTreeIter it;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(list_tree(w)), &model, &it)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(model, &it);
  int row = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return row;
}

void control_write(GtkWidget* w, const form_control& c);

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
    case form_kind::slider: {
      GtkWidget* w = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, c.low, c.high > c.low ? c.high : c.low + 1, 1);
      gtk_scale_set_draw_value(GTK_SCALE(w), TRUE);
      gtk_scale_set_digits(GTK_SCALE(w), 0);
      gtk_range_set_value(GTK_RANGE(w), c.value);
      gtk_widget_set_size_request(w, 240, -1);
      return labelled(grid, row, c.label, w);
    }
    case form_kind::radio: {
      GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
      GtkWidget* first = nullptr;
      for (size_t i = 0; i < c.rows.size(); i++) {
        GtkWidget* b = first ? gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(first), utf8(c.rows[i]).c_str())
                             : gtk_radio_button_new_with_label(nullptr, utf8(c.rows[i]).c_str());
        if (!first) first = b;
        gtk_box_pack_start(GTK_BOX(box), b, FALSE, FALSE, 0);
      }
      // A group with no row checked shows none: GTK checks the first, so an extra hidden one holds it.
      GtkWidget* none = gtk_radio_button_new_from_widget(first ? GTK_RADIO_BUTTON(first) : nullptr);
      gtk_widget_set_no_show_all(none, TRUE);
      gtk_box_pack_start(GTK_BOX(box), none, FALSE, FALSE, 0);
      return labelled(grid, row, c.label, box);
    }
    case form_kind::picture: {
      GtkWidget* w = gtk_image_new();
      gtk_widget_set_halign(w, GTK_ALIGN_START);
      control_write(w, c);
      gtk_grid_attach(GTK_GRID(grid), w, 0, row, 2, 1);
      return w;
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
    case form_kind::tabs: {
      GtkWidget* w = gtk_notebook_new();
      // Pages are shown at once: a notebook switches only to shown pages, and would switch by
      // itself as they are shown later.
      for (const std::string& name : c.rows) {
        GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_widget_show(page);
        gtk_notebook_append_page(GTK_NOTEBOOK(w), page, gtk_label_new(utf8(name).c_str()));
      }
      gtk_notebook_set_scrollable(GTK_NOTEBOOK(w), TRUE);
      gtk_grid_attach(GTK_GRID(grid), w, 0, row, 2, 1);
      return w;
    }
    case form_kind::list: {
      GtkWidget* w = list_widget(c);
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
    case form_kind::slider:
      c.value = static_cast<int>(gtk_range_get_value(GTK_RANGE(w)) + 0.5);
      break;
    case form_kind::radio: {
      GList* buttons = gtk_container_get_children(GTK_CONTAINER(w));
      c.value = -1;
      int i = 0;
      for (GList* b = buttons; b; b = b->next, i++)
        if (i < static_cast<int>(c.rows.size()) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(b->data))) c.value = i;
      g_list_free(buttons);
      break;
    }
    case form_kind::tabs:
      c.value = gtk_notebook_get_current_page(GTK_NOTEBOOK(w));
      break;
    case form_kind::list:
      c.value = list_read(w);
      break;
    default:
      break;
  }
}

// The form's value shown in the control again (after Defaults).
void control_write(GtkWidget* w, const form_control& c) {
  switch (c.kind) {
    case form_kind::check:
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.value != 0);
      break;
    case form_kind::combo:
      gtk_combo_box_set_active(GTK_COMBO_BOX(w), c.value);
      break;
    case form_kind::slider:
      gtk_range_set_value(GTK_RANGE(w), c.value);
      break;
    case form_kind::radio: {
      GList* buttons = gtk_container_get_children(GTK_CONTAINER(w));
      int i = 0, shown = c.value >= 0 && c.value < static_cast<int>(c.rows.size()) ? c.value : -1;
      for (GList* b = buttons; b; b = b->next, i++)
        if (i == shown || (shown < 0 && !b->next)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b->data), TRUE);
      g_list_free(buttons);
      break;
    }
    case form_kind::picture: {
      // No pixels: nothing shown (a slot without a thumbnail).
      if (c.pixels.empty()) {
        gtk_image_clear(GTK_IMAGE(w));
        break;
      }
      GdkPixbuf* pixbuf = picture_pixbuf(c);
      gtk_image_set_from_pixbuf(GTK_IMAGE(w), pixbuf);
      g_object_unref(pixbuf);
      break;
    }
    default:
      break;
  }
}

// What the form says again in the controls that only show it, and in the OK button.
void form_show(form_view* view) {
  view->writing = true;
  for (size_t i = 0; i < view->form->controls.size(); i++) {
    const form_control& c = view->form->controls[i];
    GtkWidget* w = view->widgets[i];
    switch (c.kind) {
      case form_kind::text: gtk_label_set_text(GTK_LABEL(w), utf8(c.text).c_str()); break;
      case form_kind::tabs: gtk_notebook_set_current_page(GTK_NOTEBOOK(w), c.value); break;
      case form_kind::list: list_write(view, i, w, c); break;
      case form_kind::picture: control_write(w, c); break;
      default: break;
    }
  }
  gtk_widget_set_sensitive(view->ok, view->form->ok_enabled);
  view->writing = false;
}

// Activating a list row is OK, while OK can be pressed.
void on_row_activated(GtkTreeView* tree, GtkTreePath*, GtkTreeViewColumn*, gpointer data) {
  auto* view = static_cast<form_view*>(data);
  if (view->form->ok_enabled) gtk_dialog_response(GTK_DIALOG(gtk_widget_get_toplevel(GTK_WIDGET(tree))), GTK_RESPONSE_OK);
}

struct change_link {
  form_view* view;
  size_t index;
};

void on_control_changed(GtkWidget*, gpointer data) {
  auto* link = static_cast<change_link*>(data);
  form_view* view = link->view;
  if (view->writing || !view->form->on_change) return;
  form_control& c = view->form->controls[link->index];
  int before = c.value;
  control_read(view->widgets[link->index], c);
  // Tabs and lists also tell of what the view set itself (their notices may come late): only a
  // new choice is a change.
  if ((c.kind == form_kind::tabs || c.kind == form_kind::list) && c.value == before) return;
  view->form->on_change(*view->form, c);
  form_show(view);
}

void on_property_changed(GObject* w, GParamSpec*, gpointer data) { on_control_changed(GTK_WIDGET(w), data); }

void connect_changes(GtkWidget* w, const form_control& c, change_link* link) {
  switch (c.kind) {
    case form_kind::check: g_signal_connect(w, "toggled", G_CALLBACK(on_control_changed), link); break;
    case form_kind::combo: g_signal_connect(w, "changed", G_CALLBACK(on_control_changed), link); break;
    case form_kind::slider: g_signal_connect(w, "value-changed", G_CALLBACK(on_control_changed), link); break;
    case form_kind::tabs: g_signal_connect(w, "notify::page", G_CALLBACK(on_property_changed), link); break;
    case form_kind::list:
      g_signal_connect(gtk_tree_view_get_selection(list_tree(w)), "changed", G_CALLBACK(on_control_changed), link);
      break;
    case form_kind::radio: {
      GList* buttons = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* b = buttons; b; b = b->next) g_signal_connect(b->data, "toggled", G_CALLBACK(on_control_changed), link);
      g_list_free(buttons);
      break;
    }
    default: break;
  }
}

// "初期化" keeps the dialog open: the form's defaults are shown in the controls.
bool on_form_response(int response, void* data) {
  if (response != RESPONSE_DEFAULTS) return true;
  auto* view = static_cast<form_view*>(data);
  for (size_t i = 0; i < view->form->controls.size(); i++) control_read(view->widgets[i], view->form->controls[i]);
  if (view->notebook) view->form->page = gtk_notebook_get_current_page(GTK_NOTEBOOK(view->notebook));
  view->form->on_defaults(*view->form);
  view->writing = true;
  for (size_t i = 0; i < view->form->controls.size(); i++) control_write(view->widgets[i], view->form->controls[i]);
  view->writing = false;
  return false;
}

}  // namespace

int gtk_platform::dialog_run(window_handle owner, dialog_form& form) {
  gtk_host* host = host_of(owner);
  GtkWindow* parent = host && gtk_widget_get_visible(host->toplevel) ? GTK_WINDOW(host->toplevel) : nullptr;
  std::string ok_label = form.ok_label.empty() ? std::string("OK") : utf8(form.ok_label);
  GtkWidget* dialog = gtk_dialog_new_with_buttons(utf8(form.title).c_str(), parent, GTK_DIALOG_DESTROY_WITH_PARENT,
                                                  U8("キャンセル"), GTK_RESPONSE_CANCEL, ok_label.c_str(),
                                                  GTK_RESPONSE_OK, nullptr);
  gtk_window_set_position(GTK_WINDOW(dialog), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  gtk_widget_add_events(dialog, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(dialog, "button-press-event", G_CALLBACK(on_form_button), nullptr);

  if (form.on_defaults) gtk_dialog_add_button(GTK_DIALOG(dialog), U8("初期化"), RESPONSE_DEFAULTS);

  auto new_grid = [] {
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    g_object_set(grid, "margin", 16, nullptr);
    return grid;
  };
  GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), content);
  GtkWidget* top = new_grid();
  gtk_box_pack_start(GTK_BOX(content), top, FALSE, FALSE, 0);
  form_view view;
  view.form = &form;
  view.ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  view.list_rows.resize(form.controls.size());
  std::vector<GtkWidget*> page_grids;
  if (!form.pages.empty()) {
    view.notebook = gtk_notebook_new();
    for (const std::string& name : form.pages) {
      page_grids.push_back(new_grid());
      gtk_notebook_append_page(GTK_NOTEBOOK(view.notebook), page_grids.back(), gtk_label_new(utf8(name).c_str()));
    }
    gtk_box_pack_start(GTK_BOX(content), view.notebook, TRUE, TRUE, 0);
  }
  std::vector<std::pair<form_view*, size_t>> links;
  std::vector<change_link> changes;
  links.reserve(form.controls.size());
  changes.reserve(form.controls.size());
  std::vector<int> rows(page_grids.size() + 1, 0);
  for (size_t i = 0; i < form.controls.size(); i++) {
    const form_control& c = form.controls[i];
    int page = c.page >= 0 && c.page < static_cast<int>(page_grids.size()) ? c.page : -1;
    GtkWidget* grid = page < 0 ? top : page_grids[page];
    GtkWidget* w = control_widget(grid, rows[page + 1]++, c);
    view.widgets.push_back(w);
    if (c.kind == form_kind::link) {
      links.emplace_back(&view, i);
      g_signal_connect(w, "activate-link", G_CALLBACK(on_link_activate), &links.back());
    }
    if (c.kind == form_kind::radio) control_write(w, c);
    if (c.kind == form_kind::list) {
      g_signal_connect(list_tree(w), "row-activated", G_CALLBACK(on_row_activated), &view);
      g_signal_connect(list_tree(w), "button-press-event", G_CALLBACK(on_form_button), nullptr);
    }
    changes.push_back(change_link{&view, i});
    connect_changes(w, c, &changes.back());
  }
  if (view.notebook) {
    gtk_widget_show_all(view.notebook);
    gtk_notebook_set_current_page(GTK_NOTEBOOK(view.notebook), form.page);
  }
  form_show(&view);

  int response = run_modal(dialog, on_form_response, &view);
  if (response == GTK_RESPONSE_OK) {
    for (size_t i = 0; i < form.controls.size(); i++) control_read(view.widgets[i], form.controls[i]);
    if (view.notebook) form.page = gtk_notebook_get_current_page(GTK_NOTEBOOK(view.notebook));
  }
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_OK ? IDOK : IDCANCEL;
}
