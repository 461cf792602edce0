// Windows: the GtkWindow with its menu bar and client area, the translation of GDK events into the
// engine's messages, painting through cairo, and the window services.
#include <glib-unix.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/cp932.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/gtk_platform.h"

gtk_host* gtk_platform::host_of(window_handle window) {
  return window_is_alive(window) ? static_cast<gtk_host*>(window->host) : nullptr;
}

void gtk_platform::post_to_all(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  for (gtk_host* host : hosts_) message_post(host->window, message, wparam, lparam);
}

// ---- Keys

static gboolean on_key(GtkWidget*, GdkEventKey* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  bool down = event->type == GDK_KEY_PRESS;
  bool extended = false;
  int vk = vk_from_key_event(event, extended);
  if (vk == 0) return TRUE;
  bool was_down = gtk_backend().key_async_state(vk) != 0;
  gtk_backend().set_key_down(vk, down);
  bool alt = vk == VK_MENU || (event->state & GDK_MOD1_MASK);
  bool ctrl = vk != VK_CONTROL && (event->state & GDK_CONTROL_MASK);
  // Alt, Alt combinations and F10 are system keys; with Ctrl, Alt is a shift key (AltGr).
  bool system = !ctrl && (alt || vk == VK_F10);
  if (vk == VK_MENU) {
    if (down && !was_down) host->alt_alone = true;
    if (!down) host->menu_key_pending = host->alt_alone;
  } else if (down) {
    host->alt_alone = false;
  }
  int scan = event->hardware_keycode >= 8 ? (event->hardware_keycode - 8) & 0xFF : 0;
  intptr_t lparam = 1 | intptr_t{scan} << 16 | (extended ? KEY_EXTENDED : 0) | (system && alt ? KEY_ALT_DOWN : 0);
  if (!down)
    lparam |= KEY_WAS_DOWN | KEY_RELEASED;
  else if (was_down)
    lparam |= KEY_WAS_DOWN;  // auto-repeat
  uint32_t message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  message_post(host->window, message, static_cast<uintptr_t>(vk), lparam);
  return TRUE;  // GTK's own access keys and F10 stay out: the engine decides (host_default_procedure)
}

// ---- Mouse

static uintptr_t mouse_flags(guint state) {
  uintptr_t flags = 0;
  if (state & GDK_BUTTON1_MASK) flags |= MK_LBUTTON;
  if (state & GDK_BUTTON2_MASK) flags |= MK_MBUTTON;
  if (state & GDK_BUTTON3_MASK) flags |= MK_RBUTTON;
  if (state & GDK_SHIFT_MASK) flags |= MK_SHIFT;
  if (state & GDK_CONTROL_MASK) flags |= MK_CONTROL;
  return flags;
}

static intptr_t mouse_lparam(double x, double y) {
  return make_lparam(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
}

struct button_codes {
  uint32_t down, up, dblclk;
  uintptr_t flag;
  int vk;
};

static const button_codes* button_of(guint button) {
  static const button_codes left{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON, VK_LBUTTON};
  static const button_codes middle{WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON, VK_MBUTTON};
  static const button_codes right{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON, VK_RBUTTON};
  switch (button) {
    case 1:
      return &left;
    case 2:
      return &middle;
    case 3:
      return &right;
    default:
      return nullptr;
  }
}

// A second press of the same button, soon enough and near enough, is a double click (GDK's own
// double-press events are ignored: a third quick press is a plain press again).
static bool is_double_click(gtk_host* host, const GdkEventButton* event) {
  GtkSettings* settings = gtk_widget_get_settings(host->area);
  int time = 400, distance = 5;
  g_object_get(settings, "gtk-double-click-time", &time, "gtk-double-click-distance", &distance, nullptr);
  return host->last_button == static_cast<int>(event->button) && !host->last_was_double &&
         event->time - host->last_time <= static_cast<guint32>(time) &&
         std::fabs(event->x - host->last_x) <= distance && std::fabs(event->y - host->last_y) <= distance;
}

static gboolean on_button_press(GtkWidget*, GdkEventButton* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  const button_codes* codes = button_of(event->button);
  if (event->type != GDK_BUTTON_PRESS || !codes) return TRUE;
  host->alt_alone = false;
  bool twice = is_double_click(host, event);
  host->last_button = static_cast<int>(event->button);
  host->last_time = event->time;
  host->last_x = event->x;
  host->last_y = event->y;
  host->last_was_double = twice;
  gtk_backend().set_key_down(codes->vk, true);
  message_post(host->window, twice ? codes->dblclk : codes->down, mouse_flags(event->state) | codes->flag,
               mouse_lparam(event->x, event->y));
  return TRUE;
}

static gboolean on_button_release(GtkWidget*, GdkEventButton* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  const button_codes* codes = button_of(event->button);
  if (!codes) return TRUE;
  gtk_backend().set_key_down(codes->vk, false);
  message_post(host->window, codes->up, mouse_flags(event->state) & ~codes->flag, mouse_lparam(event->x, event->y));
  return TRUE;
}

static gboolean on_motion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  message_post(host->window, WM_MOUSEMOVE, mouse_flags(event->state), mouse_lparam(event->x, event->y));
  return TRUE;
}

static gboolean on_leave(GtkWidget*, GdkEventCrossing* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  // A grab taken by a held button or an open menu is no leaving.
  if (event->mode == GDK_CROSSING_GRAB || event->detail == GDK_NOTIFY_INFERIOR) return FALSE;
  message_post(host->window, WM_MOUSELEAVE, 0, 0);
  return FALSE;
}

static void post_wheel(gtk_host* host, int delta, const GdkEventScroll* event) {
  uintptr_t wparam = mouse_flags(event->state) | static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16;
  message_post(host->window, WM_MOUSEWHEEL, wparam, mouse_lparam(event->x_root, event->y_root));
}

static gboolean on_scroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  if (event->direction == GDK_SCROLL_UP) {
    post_wheel(host, WHEEL_DELTA, event);
  } else if (event->direction == GDK_SCROLL_DOWN) {
    post_wheel(host, -WHEEL_DELTA, event);
  } else if (event->direction == GDK_SCROLL_SMOOTH) {
    // A smooth unit is one notch; whole wheel units go out, the rest waits for more.
    host->scroll_rest -= event->delta_y * WHEEL_DELTA;
    int units = static_cast<int>(host->scroll_rest);
    if (units != 0) {
      host->scroll_rest -= units;
      post_wheel(host, units, event);
    }
  }
  return TRUE;
}

// ---- The window itself

static gboolean on_focus(GtkWidget*, GdkEventFocus* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  if (!event->in) gtk_backend().clear_keys();  // releases happen elsewhere now
  host->alt_alone = false;
  message_post(host->window, WM_ACTIVATEAPP, event->in ? 1 : 0, 0);
  message_post(host->window, event->in ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
  return FALSE;
}

static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  // While a modal box or dialog is open the window stays as it is, as the engine's windows did.
  if (!gtk_backend().modal_open()) message_post(host->window, WM_CLOSE, 0, 0);
  return TRUE;  // the engine destroys its windows itself
}

// Another program destroyed the window under us (a window closed by force): there is nowhere
// left to ask the close question, so the game ends as at the session's end.
void host_destroyed_outside(gtk_host* host) {
  if (host->gone) return;
  host->gone = true;
  x11_window_gone(host->xid);
  message_post(host->window, WM_ENDSESSION, 1, 0);
}

static gboolean on_destroyed_outside(GtkWidget*, GdkEvent*, gpointer data) {
  host_destroyed_outside(static_cast<gtk_host*>(data));
  return TRUE;  // the widget stays until the engine destroys its window
}

static intptr_t client_size_lparam(gtk_host* host) {
  return make_lparam(gtk_widget_get_allocated_width(host->area), gtk_widget_get_allocated_height(host->area));
}

static gboolean on_window_state(GtkWidget*, GdkEventWindowState* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  host->state = event->new_window_state;
  constexpr int watched = GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_FULLSCREEN;
  if (!(event->changed_mask & watched)) return FALSE;
  message_post(host->window, WM_SIZE, static_cast<uintptr_t>(gtk_backend().window_show_state(host->window)),
               client_size_lparam(host));
  message_post(host->window, WM_WINDOWPOSCHANGED, 0, 0);
  return FALSE;
}

static gboolean on_map(GtkWidget*, GdkEvent*, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  if (host->place_pending) gtk_window_move(GTK_WINDOW(host->toplevel), host->place_x, host->place_y);
  host->place_pending = false;
  host->xid = x11_window_id(gtk_widget_get_window(host->toplevel));
  return FALSE;
}

static gboolean on_configure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  if (event->x != host->x || event->y != host->y) {
    host->x = event->x;
    host->y = event->y;
    gtk_window_get_position(GTK_WINDOW(host->toplevel), &host->frame_x, &host->frame_y);
    message_post(host->window, WM_MOVE, 0, make_lparam(event->x, event->y));
  }
  return FALSE;
}

// The engine fixes the window's size (the user cannot resize it): a new size of the client area is
// offered as WM_WINDOWPOSCHANGING, and a different answer becomes the area's size. Full screen is
// the window manager's to size.
static void on_area_allocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  if (host->state & (GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED)) return;
  window_pos pos{host->x, host->y, allocation->width, allocation->height, SWP_NOMOVE};
  if (!message_send(host->window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<intptr_t>(&pos))) return;
  int asked_w = 0, asked_h = 0;
  gtk_widget_get_size_request(host->area, &asked_w, &asked_h);
  // Already asked for: what the toolkit gave beyond it is not fought over (that would loop).
  if ((pos.width == allocation->width && pos.height == allocation->height) ||
      (pos.width == asked_w && pos.height == asked_h) || !window_side_usable(pos.width) ||
      !window_side_usable(pos.height))
    return;
  gtk_widget_set_size_request(host->area, pos.width, pos.height);
  gtk_window_resize(GTK_WINDOW(host->toplevel), 1, 1);
}

static gboolean on_draw(GtkWidget*, cairo_t* cr, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  host->paint = cr;
  message_send(host->window, WM_PAINT, 0, 0);
  host->paint = nullptr;
  return TRUE;
}

static void on_drop(GtkWidget*, GdkDragContext*, int, int, GtkSelectionData* selection, guint, guint, gpointer data) {
  gtk_host* host = static_cast<gtk_host*>(data);
  gchar** uris = gtk_selection_data_get_uris(selection);
  std::vector<std::string> paths;
  for (gchar** u = uris; u && *u; ++u) {
    if (gchar* file = g_filename_from_uri(*u, nullptr, nullptr)) {
      paths.push_back(engine_path_from_host(file));
      g_free(file);
    }
  }
  g_strfreev(uris);
  if (!paths.empty() && host->accept_files)
    message_post(host->window, WM_DROPFILES, dropped_files_add(std::move(paths)), 0);
}

void gtk_platform::window_host_create(plat_window* window) {
  auto* host = new gtk_host;
  host->window = window;
  window->host = host;
  hosts_.push_back(host);

  host->toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref_sink(host->toplevel);
  gtk_window_set_title(GTK_WINDOW(host->toplevel), cp932_to_utf8_lenient(window->title).c_str());
  gtk_window_set_resizable(GTK_WINDOW(host->toplevel), FALSE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(host->toplevel), box);
  host->menu_bar = menu_bar_build(host);
  if (host->menu_bar) {
    // The client area sets the window's width: a menu bar wider than the game is cut at the right
    // instead of widening the window (GTK's bar does not wrap onto a second line).
    host->menu_holder = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(host->menu_holder), GTK_POLICY_EXTERNAL, GTK_POLICY_NEVER);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(host->menu_holder), GTK_SHADOW_NONE);
    gtk_container_add(GTK_CONTAINER(host->menu_holder), host->menu_bar);
    gtk_box_pack_start(GTK_BOX(box), host->menu_holder, FALSE, FALSE, 0);
  }

  host->area = gtk_drawing_area_new();
  gtk_widget_set_size_request(host->area, std::max(window_side_usable(window->spec.client_width), 1),
                              std::max(window_side_usable(window->spec.client_height), 1));
  gtk_widget_set_hexpand(host->area, TRUE);
  gtk_widget_set_vexpand(host->area, TRUE);
  gtk_widget_add_events(host->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                        GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
  gtk_box_pack_start(GTK_BOX(box), host->area, TRUE, TRUE, 0);
  if (window->spec.status_bar_height > 0) {
    // The development status bar: one line, centred at the top in blue, cut with an ellipsis so
    // that a long text never widens the window.
    host->status_bar = gtk_label_new("");
    gtk_widget_set_size_request(host->status_bar, 1, window->spec.status_bar_height);
    gtk_label_set_single_line_mode(GTK_LABEL(host->status_bar), TRUE);
    gtk_label_set_ellipsize(GTK_LABEL(host->status_bar), PANGO_ELLIPSIZE_END);
    gtk_label_set_xalign(GTK_LABEL(host->status_bar), 0.5f);
    gtk_label_set_yalign(GTK_LABEL(host->status_bar), 0.0f);
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_foreground_new(0, 0, 0xFFFF));
    gtk_label_set_attributes(GTK_LABEL(host->status_bar), attributes);
    pango_attr_list_unref(attributes);
    gtk_box_pack_start(GTK_BOX(box), host->status_bar, FALSE, FALSE, 0);
  }

  g_signal_connect(host->area, "draw", G_CALLBACK(on_draw), host);
  g_signal_connect(host->area, "size-allocate", G_CALLBACK(on_area_allocate), host);
  g_signal_connect(host->area, "button-press-event", G_CALLBACK(on_button_press), host);
  g_signal_connect(host->area, "button-release-event", G_CALLBACK(on_button_release), host);
  g_signal_connect(host->area, "motion-notify-event", G_CALLBACK(on_motion), host);
  g_signal_connect(host->area, "leave-notify-event", G_CALLBACK(on_leave), host);
  g_signal_connect(host->area, "scroll-event", G_CALLBACK(on_scroll), host);
  g_signal_connect(host->toplevel, "key-press-event", G_CALLBACK(on_key), host);
  g_signal_connect(host->toplevel, "key-release-event", G_CALLBACK(on_key), host);
  g_signal_connect(host->toplevel, "focus-in-event", G_CALLBACK(on_focus), host);
  g_signal_connect(host->toplevel, "focus-out-event", G_CALLBACK(on_focus), host);
  g_signal_connect(host->toplevel, "delete-event", G_CALLBACK(on_delete), host);
  g_signal_connect(host->toplevel, "destroy-event", G_CALLBACK(on_destroyed_outside), host);
  g_signal_connect(host->toplevel, "window-state-event", G_CALLBACK(on_window_state), host);
  g_signal_connect(host->toplevel, "configure-event", G_CALLBACK(on_configure), host);
  g_signal_connect(host->toplevel, "map-event", G_CALLBACK(on_map), host);
  g_signal_connect(host->toplevel, "drag-data-received", G_CALLBACK(on_drop), host);
  gtk_widget_show_all(box);  // the window itself stays hidden until window_show
}

void gtk_platform::window_host_destroy(plat_window* window) {
  gtk_host* host = static_cast<gtk_host*>(window->host);
  if (!host) return;
  std::erase(hosts_, host);
  g_signal_handlers_disconnect_by_data(host->toplevel, host);
  g_signal_handlers_disconnect_by_data(host->area, host);
  if (host->menu_bar) g_signal_handlers_disconnect_by_data(host->menu_bar, host);
  for (auto& [id, entry] : host->menu) g_signal_handlers_disconnect_by_data(entry.item, host);
  for (GtkWidget* menu : host->menus) g_signal_handlers_disconnect_by_data(menu, host);
  gtk_widget_destroy(host->toplevel);
  g_object_unref(host->toplevel);
  window->host = nullptr;
  delete host;
}

void gtk_platform::window_host_title(plat_window* window) {
  if (gtk_host* host = host_of(window))
    gtk_window_set_title(GTK_WINDOW(host->toplevel), cp932_to_utf8_lenient(window->title).c_str());
}

void gtk_platform::window_set_foreground(window_handle window) {
  if (gtk_host* host = host_of(window))
    if (gtk_widget_get_visible(host->toplevel)) gtk_window_present(GTK_WINDOW(host->toplevel));
}

void gtk_platform::window_show(window_handle window, bool visible) {
  gtk_host* host = host_of(window);
  if (!host) return;
  if (visible)
    gtk_window_present(GTK_WINDOW(host->toplevel));
  else
    gtk_widget_hide(host->toplevel);
}

void gtk_platform::window_client_size(window_handle window, int& width, int& height) {
  gtk_host* host = host_of(window);
  width = height = 0;
  if (!host) return;
  if (gtk_widget_get_realized(host->area)) {
    width = gtk_widget_get_allocated_width(host->area);
    height = gtk_widget_get_allocated_height(host->area);
  } else {
    gtk_widget_get_size_request(host->area, &width, &height);
  }
}

void gtk_platform::window_set_client_size(window_handle window, int width, int height) {
  gtk_host* host = host_of(window);
  if (!host || !window_side_usable(width) || !window_side_usable(height)) return;
  gtk_widget_set_size_request(host->area, width, height);
  gtk_window_resize(GTK_WINDOW(host->toplevel), 1, 1);  // shrinks to the new natural size
}

void gtk_platform::window_position(window_handle window, int& x, int& y) {
  x = y = 0;
  gtk_host* host = host_of(window);
  if (!host) return;
  if (display_lost || host->gone) {
    x = host->frame_x, y = host->frame_y;
    return;
  }
  gtk_window_get_position(GTK_WINDOW(host->toplevel), &x, &y);
}

static bool display_places_windows() {
  // Wayland leaves the placement of windows to the compositor.
  return g_strcmp0(G_OBJECT_TYPE_NAME(gdk_display_get_default()), "GdkWaylandDisplay") != 0;
}

bool gtk_platform::window_move(window_handle window, int x, int y) {
  gtk_host* host = host_of(window);
  if (!host || !display_places_windows()) return false;
  host->place_pending = !gtk_widget_get_mapped(host->toplevel);
  host->place_x = x, host->place_y = y;
  gtk_window_move(GTK_WINDOW(host->toplevel), x, y);
  return true;
}

void gtk_platform::window_set_topmost(window_handle window, bool topmost) {
  if (gtk_host* host = host_of(window)) gtk_window_set_keep_above(GTK_WINDOW(host->toplevel), topmost);
}

void gtk_platform::window_set_fullscreen(window_handle window, bool fullscreen) {
  gtk_host* host = host_of(window);
  if (!host) return;
  GtkWindow* w = GTK_WINDOW(host->toplevel);
  if (fullscreen) {
    gtk_window_set_resizable(w, TRUE);  // window managers refuse to fill the screen with fixed windows
    // The window manager fills the monitor the window is on. (Asking for a monitor by number moves
    // the window to that monitor's corner first, and the manager then keeps that corner as the
    // place to return to.)
    gtk_window_fullscreen(w);
  } else {
    gtk_window_unfullscreen(w);
    gtk_window_set_resizable(w, FALSE);
  }
}

void gtk_platform::window_show_menu_bar(window_handle window, bool shown) {
  gtk_host* host = host_of(window);
  if (!host) return;
  host->menu_bar_shown = shown;
  if (host->menu_holder) gtk_widget_set_visible(host->menu_holder, shown);
}

int gtk_platform::window_show_state(window_handle window) {
  gtk_host* host = host_of(window);
  if (!host) return SIZE_RESTORED;
  if (host->state & GDK_WINDOW_STATE_ICONIFIED) return SIZE_MINIMIZED;
  if (host->state & GDK_WINDOW_STATE_MAXIMIZED) return SIZE_MAXIMIZED;
  return SIZE_RESTORED;
}

bool gtk_platform::window_is_fullscreen(window_handle window) {
  gtk_host* host = host_of(window);
  return host && (host->state & GDK_WINDOW_STATE_FULLSCREEN);
}

bool gtk_platform::window_foreground_elsewhere(window_handle window) {
  gtk_host* host = host_of(window);
  if (!host) return false;
  // The window manager's active window (null when it does not say, or under no manager).
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GdkWindow* active = gdk_screen_get_active_window(gtk_widget_get_screen(host->toplevel));
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!active) return false;
  bool ours = false;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l && !ours; l = l->next)
    ours = gtk_widget_get_window(GTK_WIDGET(l->data)) == active;
  g_list_free(toplevels);
  g_object_unref(active);
  return !ours;
}

void gtk_platform::window_status_text(window_handle window, const char* text) {
  gtk_host* host = host_of(window);
  if (host && host->status_bar)
    gtk_label_set_text(GTK_LABEL(host->status_bar), cp932_to_utf8_lenient(text ? text : "").c_str());
}

void gtk_platform::window_accept_files(window_handle window, bool accept) {
  gtk_host* host = host_of(window);
  if (!host || host->accept_files == accept) return;
  host->accept_files = accept;
  if (accept) {
    gtk_drag_dest_set(host->toplevel, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_dest_add_uri_targets(host->toplevel);
  } else {
    gtk_drag_dest_unset(host->toplevel);
  }
}

// ---- Painting

void gtk_platform::window_invalidate(window_handle window, const plat_rect* rect) {
  gtk_host* host = host_of(window);
  if (!host) return;
  if (!rect)
    gtk_widget_queue_draw(host->area);
  else if (rect->width > 0 && rect->height > 0)
    gtk_widget_queue_draw_area(host->area, rect->x, rect->y, rect->width, rect->height);
}

// The part of the client area that the running paint may touch.
static plat_rect paint_clip(cairo_t* cr) {
  double x1, y1, x2, y2;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  int left = static_cast<int>(std::floor(x1)), top = static_cast<int>(std::floor(y1));
  return {left, top, static_cast<int>(std::ceil(x2)) - left, static_cast<int>(std::ceil(y2)) - top};
}

void gtk_platform::window_paint_pixels(window_handle window, int x, int y, const pixel_source& source,
                                       const plat_rect& source_rect, int zoom_x, int zoom_y) {
  gtk_host* host = host_of(window);
  if (!host || !host->paint) return;
  plat_rect area = rect_intersect(paint_clip(host->paint), paint_picture_rect(source_rect, x, y, zoom_x, zoom_y));
  if (area.width <= 0 || area.height <= 0) return;
  // Every pixel of the area has a source pixel when the source rectangle lies inside the source:
  // then the surface is opaque (cairo copies it instead of blending) and its pixels are the host's
  // kept ones. Otherwise it starts transparent, so that pixels without a source paint nothing.
  bool opaque = source_rect.x >= 0 && source_rect.y >= 0 && int64_t{source_rect.x} + source_rect.width <= source.width &&
                int64_t{source_rect.y} + source_rect.height <= source.height;
  cairo_surface_t* surface;
  if (opaque) {
    size_t count = static_cast<size_t>(area.width) * area.height;
    if (host->picture_pixels.size() < count) host->picture_pixels.resize(count);
    surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(host->picture_pixels.data()),
                                                  CAIRO_FORMAT_RGB24, area.width, area.height, area.width * 4);
  } else {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.width, area.height);
  }
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return;
  }
  cairo_surface_flush(surface);
  auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
  // Cairo's rows are whole 32-bit pixels long.
  paint_stretch_xrgb(source, source_rect, x, y, zoom_x, zoom_y, area, data, cairo_image_surface_get_stride(surface) / 4);
  cairo_surface_mark_dirty(surface);
  cairo_save(host->paint);
  cairo_set_source_surface(host->paint, surface, area.x, area.y);
  cairo_rectangle(host->paint, area.x, area.y, area.width, area.height);
  cairo_fill(host->paint);
  cairo_restore(host->paint);
  cairo_surface_finish(surface);  // cairo lets go of the kept pixels here
  cairo_surface_destroy(surface);
}

void gtk_platform::window_paint_fill(window_handle window, const plat_rect& rect, uint32_t colour) {
  gtk_host* host = host_of(window);
  if (!host || !host->paint || rect.width <= 0 || rect.height <= 0) return;
  cairo_save(host->paint);
  cairo_set_source_rgb(host->paint, (colour & 0xFF) / 255.0, (colour >> 8 & 0xFF) / 255.0, (colour >> 16 & 0xFF) / 255.0);
  cairo_rectangle(host->paint, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(host->paint);
  cairo_restore(host->paint);
}

// ---- The message side

void gtk_platform::pump_host_events() {
  if (display_lost) return;  // the session's end runs inside the loop's own turn, which met the loss
  // Bounded: a stream of events (a held key, a running animation) must not keep the drain here.
  for (int i = 0; i < 256 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

intptr_t gtk_platform::host_default_procedure(window_handle window, uint32_t message, uintptr_t wparam,
                                              intptr_t lparam) {
  gtk_host* host = host_of(window);
  if (!host) return 0;
  switch (message) {
    case WM_SYSKEYDOWN:
      if (wparam == static_cast<uintptr_t>(VK_F4) && (lparam & KEY_ALT_DOWN))
        return message_send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      if ((lparam & KEY_ALT_DOWN) && ((wparam >= VK_A && wparam <= VK_A + 25) || (wparam >= VK_0 && wparam <= VK_0 + 9)))
        return message_send(window, WM_SYSCOMMAND, SC_KEYMENU, static_cast<intptr_t>(g_ascii_tolower(static_cast<char>(wparam))));
      return 0;
    case WM_SYSKEYUP:
      if (wparam == static_cast<uintptr_t>(VK_F10) || (wparam == static_cast<uintptr_t>(VK_MENU) && host->menu_key_pending)) {
        host->menu_key_pending = false;
        return message_send(window, WM_SYSCOMMAND, SC_KEYMENU, 0);
      }
      return 0;
    case WM_SYSCOMMAND:
      switch (wparam & SC_MASK) {
        case SC_CLOSE:
          return message_send(window, WM_CLOSE, 0, 0);
        case SC_KEYMENU:
          menu_bar_open(host, static_cast<int>(lparam));
          return 0;
        case SC_MINIMIZE:
          gtk_window_iconify(GTK_WINDOW(host->toplevel));
          return 0;
        case SC_MAXIMIZE:
          gtk_window_maximize(GTK_WINDOW(host->toplevel));
          return 0;
        case SC_RESTORE:
          gtk_window_unmaximize(GTK_WINDOW(host->toplevel));
          gtk_window_deiconify(GTK_WINDOW(host->toplevel));
          return 0;
      }
      return 0;
    default:
      return 0;
  }
}

// ---- The backend

gtk_platform::gtk_platform() {
  GdkScreen* screen = gdk_screen_get_default();
  auto displays_changed = +[](GdkScreen*, gpointer) {
    int width, height;
    gtk_backend().primary_screen_size(width, height);
    gtk_backend().post_to_all(WM_DISPLAYCHANGE, 32, make_lparam(width, height));
  };
  g_signal_connect(screen, "monitors-changed", G_CALLBACK(displays_changed), nullptr);
  g_signal_connect(screen, "size-changed", G_CALLBACK(displays_changed), nullptr);
  // A message posted from any thread wakes GTK's wait; the wait that returns clears the signal.
  g_unix_fd_add(message_post_signal(), G_IO_IN, [](gint, GIOCondition, gpointer) -> gboolean {
    message_post_signal_clear();
    return G_SOURCE_CONTINUE;
  }, nullptr);
}

static gtk_platform* the_backend = nullptr;

gtk_platform& gtk_backend() { return *the_backend; }

platform_backend* gtk_backend_open() {
  if (the_backend) return the_backend;
  g_set_prgname("vaskrun");
  menu_log_writer_install();
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  the_backend = new gtk_platform;  // lives until the process ends: exit handlers still use it
  x11_failures_watch();
  return the_backend;
}

platform_backend* desktop_backend_choose() {
  const char* headless = getenv("VASKRUN_HEADLESS");
  if (headless && strcmp(headless, "1") == 0) return nullptr;
  return gtk_backend_open();
}

uint32_t gtk_platform::clock_ms() { return host_clock_ms(); }

void gtk_platform::sleep_ms(uint32_t ms) { host_sleep_ms(ms); }

// One blocking turn of GLib's loop, bounded by a source that is ready at the clock's tick: GLib
// waits for a ready time in whole milliseconds rounded up, so the wait ends within a millisecond
// after the tick, never before it.
void gtk_platform::wait_events(uint32_t ms) {
  if (ms == 0 || display_lost) return;
  GSource* limit = nullptr;
  if (ms != WAIT_NO_LIMIT) {
    static GSourceFuncs ready_funcs = {nullptr, nullptr,
                                       [](GSource*, GSourceFunc, gpointer) -> gboolean { return G_SOURCE_CONTINUE; },
                                       nullptr, nullptr, nullptr};
    limit = g_source_new(&ready_funcs, sizeof(GSource));
    g_source_set_ready_time(limit, (g_get_monotonic_time() / 1000 + ms) * 1000);
    g_source_attach(limit, nullptr);
  }
  g_main_context_iteration(nullptr, TRUE);
  if (limit) {
    g_source_destroy(limit);
    g_source_unref(limit);
  }
}

bool gtk_platform::menu_active() {
  for (gtk_host* host : hosts_)
    if (host->menu_open) return true;
  return false;
}
