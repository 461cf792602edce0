// Modal boxes and choosers, and the modeless wait dialog.
#include <algorithm>
#include <cstring>

#include "base/cp932.h"
#include "base/gamepath.h"
#include "platform/gtk/gtk_backend.h"
// After the engine's headers: the X headers define names they use.
#include <gdk/gdkx.h>
#include "resources/menus.h"

struct modal_run {
  int response = GTK_RESPONSE_NONE;
  bool done = false;
  bool (*accept)(int, void*);
  void* data;
};

static void on_modal_response(GtkDialog*, int response, gpointer data) {
  modal_run* run = static_cast<modal_run*>(data);
  if (run->accept && !run->accept(response, run->data)) return;
  run->response = response;
  run->done = true;
}

// Closing the dialog (its close button, Escape) is an answer like any other, which the box may
// refuse; GTK must not destroy the dialog under the loop.
static gboolean on_modal_delete(GtkWidget* dialog, GdkEvent*, gpointer data) {
  on_modal_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT, data);
  return TRUE;
}

// A window manager gives a new dialog the keyboard. Without one nobody does, and GTK's own request
// carries the time of this program's last input, which the server refuses once another program
// has moved the focus since: the box would take no key at all. So it asks with the server's time.
static gboolean on_modal_map(GtkWidget* dialog, GdkEvent*, gpointer) {
  GdkWindow* window = gtk_widget_get_window(dialog);
  if (!window || !GDK_IS_X11_DISPLAY(gdk_window_get_display(window))) return FALSE;
  GdkScreen* screen = gtk_widget_get_screen(dialog);
  if (!gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_ACTIVE_WINDOW")))
    gdk_window_focus(window, gdk_x11_get_server_time(window));
  return FALSE;
}

static void on_modal_destroy(GtkWidget*, gpointer data) {
  modal_run* run = static_cast<modal_run*>(data);
  if (!run->done) run->response = GTK_RESPONSE_DELETE_EVENT;
  run->done = true;
}

int gtk_platform::run_modal(GtkWidget* dialog, bool (*accept)(int, void*), void* data) {
  modal_run run{GTK_RESPONSE_NONE, false, accept, data};
  g_object_ref(dialog);
  gulong response_handler = g_signal_connect(dialog, "response", G_CALLBACK(on_modal_response), &run);
  gulong destroy_handler = g_signal_connect(dialog, "destroy", G_CALLBACK(on_modal_destroy), &run);
  gulong delete_handler = g_signal_connect(dialog, "delete-event", G_CALLBACK(on_modal_delete), &run);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "map-event", G_CALLBACK(on_modal_map), nullptr);
  gtk_widget_show_all(dialog);
  gtk_window_present(GTK_WINDOW(dialog));
  ++modal_depth_;
  bool quit = false;
  uintptr_t quit_code = 0;
  while (!run.done) {
    // Until the dialog answers, a message is posted or a timer is due.
    wait_events(timers_due_in());
    // The engine's messages are handled meanwhile, as in the system's own modal loops; a quit
    // waits for the box to close and is posted again for the drain to end the process.
    window_message m;
    while (!run.done && !quit && message_peek(m)) {
      if (m.message == WM_QUIT) {
        quit = true;
        quit_code = m.wparam;
      } else if (m.message < WM_REGISTERED_FIRST) {
        message_dispatch(m);
      }
    }
  }
  --modal_depth_;
  if (g_signal_handler_is_connected(dialog, response_handler)) g_signal_handler_disconnect(dialog, response_handler);
  if (g_signal_handler_is_connected(dialog, destroy_handler)) g_signal_handler_disconnect(dialog, destroy_handler);
  if (g_signal_handler_is_connected(dialog, delete_handler)) g_signal_handler_disconnect(dialog, delete_handler);
  g_object_unref(dialog);
  if (quit) message_post_quit(static_cast<int>(quit_code));
  return run.response;
}

static GtkWindow* owner_window(window_handle owner) {
  gtk_host* host = gtk_platform::host_of(owner);
  return host && gtk_widget_get_visible(host->toplevel) ? GTK_WINDOW(host->toplevel) : nullptr;
}

// ---- Message boxes

// A Yes/No box has no way out but its two buttons.
static bool box_accepts(int response, void* data) {
  unsigned buttons = *static_cast<unsigned*>(data);
  return response > 0 || buttons != MB_YESNO;
}

int gtk_platform::message_box(window_handle owner, const char* text, const char* caption, unsigned style) {
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (style & MB_ICON_MASK) {
    case MB_ICONERROR:
      type = GTK_MESSAGE_ERROR;
      break;
    case MB_ICONQUESTION:
      type = GTK_MESSAGE_QUESTION;
      break;
    case MB_ICONWARNING:
      type = GTK_MESSAGE_WARNING;
      break;
    case MB_ICONINFORMATION:
      type = GTK_MESSAGE_INFO;
      break;
  }
  GtkWidget* box = gtk_message_dialog_new(owner_window(owner), GTK_DIALOG_DESTROY_WITH_PARENT, type,
                                          GTK_BUTTONS_NONE, "%s", cp932_to_utf8_lenient(text ? text : "").c_str());
  if (!box) return 0;
  gtk_window_set_title(GTK_WINDOW(box), cp932_to_utf8_lenient(caption ? caption : "").c_str());
  if (style & MB_TOPMOST) gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  unsigned buttons = style & MB_BUTTON_MASK;
  int first = IDOK, on_close = IDOK;
  switch (buttons) {
    case MB_OKCANCEL:
      gtk_dialog_add_buttons(GTK_DIALOG(box), "OK", IDOK, U8("キャンセル"), IDCANCEL, nullptr);
      on_close = IDCANCEL;
      break;
    case MB_YESNO:
      gtk_dialog_add_buttons(GTK_DIALOG(box), U8("はい(_Y)"), IDYES, U8("いいえ(_N)"), IDNO, nullptr);
      gtk_window_set_deletable(GTK_WINDOW(box), FALSE);
      first = IDYES;
      on_close = IDNO;  // only when the box was destroyed under it
      break;
    case MB_RETRYCANCEL:
      gtk_dialog_add_buttons(GTK_DIALOG(box), U8("再試行(_R)"), IDRETRY, U8("キャンセル"), IDCANCEL, nullptr);
      first = IDRETRY;
      on_close = IDCANCEL;
      break;
    default:
      gtk_dialog_add_button(GTK_DIALOG(box), "OK", IDOK);
      break;
  }
  gtk_dialog_set_default_response(GTK_DIALOG(box), first);
  int response = run_modal(box, box_accepts, &buttons);
  gtk_widget_destroy(box);
  return response > 0 ? response : on_close;
}

// ---- The file chooser

// "*.sav" matching any case: "*.[sS][aA][vV]".
static std::string case_blind_pattern(const std::string& pattern) {
  std::string out;
  for (char c : pattern) {
    if (g_ascii_isalpha(c)) {
      out += '[';
      out += g_ascii_tolower(c);
      out += g_ascii_toupper(c);
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

// GTK's file chooser takes its size from its font (some 1100 by 820 pixels), and on a small
// screen its buttons would lie below the edge. A chooser larger than its monitor's work area is made
// to fit, centred; a size that fits (the one the user left it at, say) stays.
static void fit_to_work_area(GtkWidget* w, gpointer) {
  GdkWindow* window = gtk_widget_get_window(w);
  GdkMonitor* monitor = window ? gdk_display_get_monitor_at_window(gdk_window_get_display(window), window) : nullptr;
  if (!monitor) return;
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(w), &width, &height);
  if (width <= area.width && height <= area.height) return;
  width = std::min(width, area.width * 9 / 10), height = std::min(height, area.height * 9 / 10);
  gtk_window_resize(GTK_WINDOW(w), width, height);
  gtk_window_move(GTK_WINDOW(w), area.x + (area.width - width) / 2, area.y + (area.height - height) / 2);
}

int gtk_platform::file_dialog(window_handle owner, const file_dialog_spec& spec, std::string& path) {
  GtkFileChooserAction action = spec.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN;
  GtkWidget* chooser = gtk_file_chooser_dialog_new(
      cp932_to_utf8_lenient(spec.title).c_str(), owner_window(owner), action, U8("キャンセル"), GTK_RESPONSE_CANCEL,
      spec.save ? U8("保存(_S)") : U8("開く(_O)"), GTK_RESPONSE_ACCEPT, nullptr);
  if (!chooser) return FILE_DIALOG_ERROR;
  GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
  gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  g_signal_connect_after(chooser, "map", G_CALLBACK(fit_to_work_area), nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(fc, spec.save);
  gtk_file_chooser_set_local_only(fc, TRUE);
  if (!spec.filter_pattern.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, cp932_to_utf8_lenient(spec.filter_name).c_str());
    for (const std::string& p : command_line_split(spec.filter_pattern))  // "*.a *.b"
      gtk_file_filter_add_pattern(filter, case_blind_pattern(p).c_str());
    gtk_file_chooser_add_filter(fc, filter);
  }
  if (!spec.folder.empty()) {
    std::string folder = game_path_native(spec.folder);
    if (g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) gtk_file_chooser_set_current_folder(fc, folder.c_str());
  }
  if (spec.save && !spec.file_name.empty())
    gtk_file_chooser_set_current_name(fc, cp932_to_utf8_lenient(spec.file_name).c_str());

  int response = run_modal(chooser, nullptr, nullptr);
  int result = FILE_DIALOG_CANCEL;
  if (response == GTK_RESPONSE_ACCEPT) {
    gchar* chosen = gtk_file_chooser_get_filename(fc);
    if (chosen) {
      std::string host_path = chosen;
      g_free(chosen);
      const char* base = strrchr(host_path.c_str(), '/');
      if (!spec.default_extension.empty() && !strchr(base ? base : host_path.c_str(), '.'))
        host_path += "." + spec.default_extension;
      path = engine_path_from_host(host_path);
      result = FILE_DIALOG_OK;
    } else {
      result = FILE_DIALOG_ERROR;  // a choice that is no local file
    }
  }
  gtk_widget_destroy(chooser);
  return result;
}

// ---- The text-input dialog

// Only OK ends it: closing and Escape are refused.
static bool ok_only(int response, void*) { return response == GTK_RESPONSE_OK; }

void gtk_platform::text_input_dialog(window_handle owner, const std::string& title, const std::string& prompt,
                                     std::string& text) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(cp932_to_utf8_lenient(title).c_str(), owner_window(owner),
                                                  GTK_DIALOG_MODAL, "OK", GTK_RESPONSE_OK, nullptr);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(box), 12);
  GtkWidget* label = gtk_label_new(cp932_to_utf8_lenient(prompt).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  GtkWidget* entry = gtk_entry_new();
  gtk_widget_set_name(entry, "text_input_entry");
  gtk_entry_set_text(GTK_ENTRY(entry), cp932_to_utf8_lenient(text).c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 40);
  gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), box, TRUE, TRUE, 0);
  run_modal(dialog, ok_only, nullptr);
  // A character the engine's code page lacks becomes "?".
  text = utf8_to_cp932_lenient(gtk_entry_get_text(GTK_ENTRY(entry)));
  gtk_widget_destroy(dialog);
}

// ---- The wait dialog

bool gtk_platform::message_dialog_show(const char* template_name) {
  const char* text = message_dialog_text(template_name ? template_name : "");
  if (!text) return false;
  message_dialog_close();
  wait_dialog_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_type_hint(GTK_WINDOW(wait_dialog_), GDK_WINDOW_TYPE_HINT_DIALOG);
  gtk_window_set_position(GTK_WINDOW(wait_dialog_), GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(wait_dialog_), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(wait_dialog_), FALSE);
  gtk_window_set_title(GTK_WINDOW(wait_dialog_), "vaskrun");
  GtkWidget* label = gtk_label_new(cp932_to_utf8_lenient(text).c_str());
  gtk_widget_set_margin_start(label, 24);
  gtk_widget_set_margin_end(label, 24);
  gtk_widget_set_margin_top(label, 16);
  gtk_widget_set_margin_bottom(label, 16);
  gtk_container_add(GTK_CONTAINER(wait_dialog_), label);
  // Closing it by hand would only hide progress; it goes when the work is done.
  g_signal_connect(wait_dialog_, "delete-event", G_CALLBACK(gtk_true), nullptr);
  gtk_widget_show_all(wait_dialog_);
  return true;
}

void gtk_platform::message_dialog_close() {
  if (!wait_dialog_) return;
  gtk_widget_destroy(wait_dialog_);
  wait_dialog_ = nullptr;
}
