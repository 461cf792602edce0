// What GDK does on X failures that would end the process on the spot, losing what the session's
// end keeps (eternal variables, read marks, settings): the game ends in order instead.
//
// The connection to the display breaking (the server gone at a logout, or the client killed as
// xkill does): Xlib calls the handler from inside the call that met the break, on the window
// thread, with the display already marked broken, so every later request fails without reaching
// the server. The handler does not return: the session's end exits the process. Should the end's
// own requests meet the broken connection again, the exit handler lets them fail quietly instead
// of exiting before the end is done.
//
// An error about one of our windows that another program destroyed: requests sent before the
// destruction reached us (the pointer's position, a paint) come back as BadWindow or BadDrawable,
// which GDK's handler answers with an immediate exit. The window is gone: the game ends as at the
// session's end, as its destroy event also says.
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/gtk/gtk_backend.h"
#include "platform/window.h"

// Module state: GDK's own error handler, which ours hands every other error to, and the X windows
// of ours that another program destroyed (errors about them may come until the end).
static XErrorHandler gdk_error_handler = nullptr;
static std::vector<unsigned long> windows_gone;

void x11_window_gone(unsigned long xid) {
  if (xid != 0 && std::find(windows_gone.begin(), windows_gone.end(), xid) == windows_gone.end())
    windows_gone.push_back(xid);
}

static int on_display_lost(Display*) {
  if (gtk_backend().display_lost) return 0;  // the end below is under way
  gtk_backend().display_lost = true;
  fprintf(stderr, "vaskrun: the connection to the display was lost; the game ends as at the session's end\n");
  session_end_display_lost();
}

static void on_display_lost_exit(Display*, void*) {}

static int on_x_error(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow || error->error_code == BadDrawable) {
    for (gtk_host* host : gtk_backend().hosts())
      if (host->xid != 0 && host->xid == error->resourceid) host_destroyed_outside(host);
    if (std::find(windows_gone.begin(), windows_gone.end(), error->resourceid) != windows_gone.end()) return 0;
  }
  return gdk_error_handler ? gdk_error_handler(display, error) : 0;
}

void x11_failures_watch() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return;  // other displays keep their own handling
  XSetIOErrorHandler(on_display_lost);
  XSetIOErrorExitHandler(GDK_DISPLAY_XDISPLAY(display), on_display_lost_exit, nullptr);
  gdk_error_handler = XSetErrorHandler(on_x_error);
}

unsigned long x11_window_id(GdkWindow* window) {
  return window && GDK_IS_X11_WINDOW(window) ? GDK_WINDOW_XID(window) : 0;
}
