// The menu bar: real GTK menus built from the menu models, keyed by command id.
#include <cstring>

#include "base/cp932.h"
#include "platform/gtk/gtk_backend.h"
#include "resources/menus.h"

std::string menu_label_mnemonic(const char* engine_label) {
  std::string utf8 = cp932_to_utf8_lenient(engine_label ? engine_label : "");
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    if (c == '&' && i + 1 < utf8.size()) {
      ++i;
      out += utf8[i] == '&' ? "&" : "_";
      if (utf8[i] != '&') out += utf8[i];
    } else if (c == '_') {
      out += "__";
    } else {
      out += c;
    }
  }
  return out;
}

// A click on an entry: the command goes to the window. A check item keeps the state code gave it
// (GTK toggled it before this handler runs).
static void on_item_activate(GtkMenuItem* item, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "vask-id"));
  auto it = host->menu.find(id);
  if (it == host->menu.end()) return;
  if (it->second.checkable) {
    g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(on_item_activate), data);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), it->second.checked);
    g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(on_item_activate), data);
  }
  message_post(host->window, WM_COMMAND, static_cast<uintptr_t>(id), 0);
}

// A menu of the bar opens: the first one of a menu session lets the window refresh the entries
// (sent, so the marks are right before the menu is drawn), and every one is announced.
static void on_menu_show(GtkWidget* menu, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(menu), "vask-index"));
  if (!host->menu_open) {
    host->menu_open = true;
    message_send(host->window, WM_INITMENU, 0, 0);
  }
  message_post(host->window, WM_MENUSELECT, static_cast<uintptr_t>(index) | MF_POPUP << 16, 1);
}

// Set from menu_bar_open until the bar lets go (see log_writer).
static bool menu_opening = false;

static void on_bar_deactivate(GtkMenuShell*, gpointer data) {
  menu_opening = false;
  gtk_host* host = static_cast<gtk_host*>(data);
  if (!host->menu_open) return;
  host->menu_open = false;
  message_post(host->window, WM_MENUSELECT, MENUSELECT_CLOSED, 0);
}

static GtkWidget* popup_build(gtk_host* host, const menu_popup& popup) {
  GtkWidget* menu = gtk_menu_new();
  for (const menu_node& node : popup.nodes) {
    GtkWidget* item;
    if (node.popup) {
      item = gtk_menu_item_new_with_mnemonic(menu_label_mnemonic(node.popup->label).c_str());
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), popup_build(host, *node.popup));
    } else if (node.id <= 0) {
      item = gtk_separator_menu_item_new();
    } else {
      const menu_command* command = menu_command_find(node.id);
      std::string label = menu_label_mnemonic(command ? command->label : "?");
      bool checkable = command && command->checkable;
      item = checkable ? gtk_check_menu_item_new_with_mnemonic(label.c_str())
                       : gtk_menu_item_new_with_mnemonic(label.c_str());
      g_object_set_data(G_OBJECT(item), "vask-id", GINT_TO_POINTER(node.id));
      g_signal_connect(item, "activate", G_CALLBACK(on_item_activate), host);
      host->menu[node.id] = gtk_menu_entry{item, checkable, false};
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  return menu;
}

GtkWidget* menu_bar_build(gtk_host* host) {
  const menu_model* model = menu_model_find(host->window->spec.menu_name);
  if (!model) return nullptr;
  GtkWidget* bar = gtk_menu_bar_new();
  int index = 0;
  for (const menu_popup* popup : model->bar) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(menu_label_mnemonic(popup->label).c_str());
    GtkWidget* menu = popup_build(host, *popup);
    g_object_set_data(G_OBJECT(menu), "vask-index", GINT_TO_POINTER(index++));
    g_signal_connect(menu, "show", G_CALLBACK(on_menu_show), host);
    host->menus.push_back(menu);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
  }
  g_signal_connect(bar, "deactivate", G_CALLBACK(on_bar_deactivate), host);
  return bar;
}

// GTK logs through GLib's structured writer, which handlers set for a log domain never see, so the
// warning menu_bar_open causes is dropped here; everything else goes on to the default writer. It
// comes again for a submenu that drops down by itself while the keyboard holds the bar (the first
// entry of a menu is selected, and may be a submenu), so the drop lasts until the bar lets go.

static GLogWriterOutput log_writer(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
  if (menu_opening && (level & G_LOG_LEVEL_WARNING)) {
    const char *domain = "", *message = "";
    for (gsize i = 0; i < count; ++i) {
      if (fields[i].length >= 0) continue;  // both are NUL-terminated text
      if (strcmp(fields[i].key, "GLIB_DOMAIN") == 0) domain = static_cast<const char*>(fields[i].value);
      if (strcmp(fields[i].key, "MESSAGE") == 0) message = static_cast<const char*>(fields[i].value);
    }
    if (strcmp(domain, "Gtk") == 0 && g_str_has_prefix(message, "no trigger event")) return G_LOG_WRITER_HANDLED;
  }
  return g_log_writer_default(level, fields, count, data);
}

void menu_log_writer_install() {
  static bool installed = false;  // GLib takes a writer once per process
  if (!installed) g_log_set_writer_func(log_writer, nullptr, nullptr);
  installed = true;
}

void menu_bar_open(gtk_host* host, int access_key) {
  if (!host->menu_bar || !host->menu_bar_shown) return;
  GList* items = gtk_container_get_children(GTK_CONTAINER(host->menu_bar));
  GtkWidget* target = nullptr;
  guint wanted = gdk_keyval_to_lower(gdk_unicode_to_keyval(static_cast<guint32>(access_key)));
  for (GList* l = items; l && !target; l = l->next) {
    GtkWidget* item = GTK_WIDGET(l->data);
    if (!gtk_widget_get_visible(item) || !gtk_widget_get_sensitive(item)) continue;
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    if (access_key == 0 ||
        (GTK_IS_LABEL(label) && gdk_keyval_to_lower(gtk_label_get_mnemonic_keyval(GTK_LABEL(label))) == wanted))
      target = item;
  }
  g_list_free(items);
  if (!target) return;
  // As the item's own access key does: the bar takes the keyboard and the menu drops down. This
  // runs when the engine has let the key through, after GTK handled the event, so GTK finds no
  // event behind the popup and warns; it works all the same, and the log writer drops the warning.
  menu_opening = true;
  gtk_widget_mnemonic_activate(target, FALSE);
  if (!host->menu_open) menu_opening = false;
}

// ---- Entry state from code

void gtk_platform::menu_item_check(window_handle window, int id, bool checked) {
  gtk_host* host = host_of(window);
  if (!host) return;
  auto it = host->menu.find(id);
  if (it == host->menu.end()) return;
  it->second.checked = checked;
  if (!it->second.checkable) return;
  // Setting the mark activates the item in GTK: that must not reach the window as a command.
  GtkWidget* item = it->second.item;
  g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(on_item_activate), host);
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), checked);
  g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(on_item_activate), host);
}

void gtk_platform::menu_item_enable(window_handle window, int id, bool enabled) {
  gtk_host* host = host_of(window);
  if (!host) return;
  auto it = host->menu.find(id);
  if (it != host->menu.end()) gtk_widget_set_sensitive(it->second.item, enabled);
}

void gtk_platform::menu_item_delete(window_handle window, int id) {
  gtk_host* host = host_of(window);
  if (!host) return;
  auto it = host->menu.find(id);
  if (it == host->menu.end()) return;
  gtk_widget_destroy(it->second.item);
  host->menu.erase(it);
}
