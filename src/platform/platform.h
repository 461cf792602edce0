// The platform seam: every service of the host system that the engine uses, behind one interface.
//
// The engine was written against a window system of messages, boxes and a millisecond clock; this
// header names those services once. Two backends implement it: headless (tests, batch runs, runs
// without a display) and gtk (the desktop). Engine code calls plat() and never a host library.
// Text crossing this seam is engine text (CP932); backends convert at their own boundary.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

// Message-box styles and answers. The values are the engine's own numbers (callers combine them).
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_BUTTON_MASK = 0xF,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_ICON_MASK = 0xF0,
  MB_TOPMOST = 0x40000,
};
enum { IDOK = 1, IDCANCEL = 2, IDRETRY = 4, IDYES = 6, IDNO = 7 };

class platform_backend {
 public:
  virtual ~platform_backend() = default;

  // A modal box over owner (may be nullptr); returns the ID* of the button chosen, or 0 when no
  // box could be shown.
  virtual int message_box(window_handle owner, const char* text, const char* caption, unsigned style) = 0;

  // The host side of windows (window.h keeps the records, the procedures and the queue).
  virtual void window_host_create(plat_window* window) = 0;
  virtual void window_host_destroy(plat_window* window) = 0;
  virtual void window_host_title(plat_window* window) = 0;  // the title changed
  virtual void window_set_foreground(window_handle window) = 0;
  // Handles pending host events, which post the messages they translate to.
  virtual void pump_host_events() = 0;
  // The host's handling of a message no procedure claimed (a system key opening the menu bar).
  virtual intptr_t host_default_procedure(window_handle window, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam) = 0;

  // Monotonic milliseconds, wrapping at 2^32 like the engine's clock always did.
  virtual uint32_t clock_ms() = 0;
  virtual void sleep_ms(uint32_t ms) = 0;

  // Clipboard text (engine text). get returns false when the clipboard holds no text.
  virtual bool clipboard_set_text(const std::string& text) = 0;
  virtual bool clipboard_get_text(std::string& text) = 0;

  // The modeless "please wait" dialog shown during long start-up steps, by template name.
  virtual bool message_dialog_show(const char* template_name) = 0;
  virtual void message_dialog_close() = 0;

  // Entries of a window's menu bar, by command id. Setting a check mark or greying an entry from
  // code never fires its command; ids that the menu does not hold, and a window without a menu
  // (or none at all), are ignored.
  virtual void menu_item_check(window_handle window, int id, bool checked) = 0;
  virtual void menu_item_enable(window_handle window, int id, bool enabled) = 0;
  // A deleted entry is gone for good.
  virtual void menu_item_delete(window_handle window, int id) = 0;

  // The primary display's size in pixels.
  virtual void primary_screen_size(int& width, int& height) = 0;

  // Keeps the screen saver and the display's power saving away while on; ends with the process.
  virtual bool idle_inhibit(bool on) = 0;
  // True when no other process holds the name (engine text); the name is then held until exit.
  virtual bool single_instance(const char* name) = 0;
};

// The backend in use. The headless backend is installed until a program installs another.
platform_backend& plat();
// Installs a backend (not owned) and returns the previous one; nullptr restores the default.
platform_backend* plat_install(platform_backend* backend);

// Services that both backends share.
// Takes the single-instance lock of a name: a lock file in the user's runtime folder. True when it
// was free; the lock is then held until the process ends (or the lock is released, for tests).
bool instance_lock_acquire(const std::string& name);
void instance_lock_release(const std::string& name);
