// The connection to the display breaking (the server gone at a logout, or the client killed as
// xkill does). GDK's own handler ends the process on the spot, which would lose what the session's
// end keeps: eternal variables, read marks and settings. Ours ends the session in order instead.
//
// Xlib calls the handler from inside the call that met the broken connection, on the window
// thread, with the display already marked broken: every later request fails without reaching the
// server. The handler does not return: the session's end exits the process. Should the end's own
// requests meet the broken connection again, the exit handler lets them fail quietly instead of
// exiting before the end is done.
#include <gdk/gdkx.h>

#include <cstdio>

#include "platform/gtk/gtk_backend.h"
#include "platform/window.h"

static int on_display_lost(Display*) {
  if (gtk_backend().display_lost) return 0;  // the end below is under way
  gtk_backend().display_lost = true;
  fprintf(stderr, "vaskrun: the connection to the display was lost; the game ends as at the session's end\n");
  session_end_display_lost();
}

static void on_display_lost_exit(Display*, void*) {}

void display_loss_watch() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return;  // other displays keep their own handling
  XSetIOErrorHandler(on_display_lost);
  XSetIOErrorExitHandler(GDK_DISPLAY_XDISPLAY(display), on_display_lost_exit, nullptr);
}
