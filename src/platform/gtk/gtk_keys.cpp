// Key events to virtual-key codes. The code names the key, not the character: Shift+1 is still the
// 1 key, so the keyval is taken at the key's first level (NumLock kept, so the keypad gives digits
// or movement keys as its light says).
#include <gdk/gdkkeysyms.h>

#include "platform/gtk/gtk_backend.h"

struct keyval_code {
  guint keyval;
  int vk;
  bool extended;
};

static const keyval_code keyval_codes[] = {
    {GDK_KEY_BackSpace, VK_BACK, false},
    {GDK_KEY_Tab, VK_TAB, false},
    {GDK_KEY_ISO_Left_Tab, VK_TAB, false},
    {GDK_KEY_Clear, VK_CLEAR, false},
    {GDK_KEY_Return, VK_RETURN, false},
    {GDK_KEY_KP_Enter, VK_RETURN, true},
    {GDK_KEY_Shift_L, VK_SHIFT, false},
    {GDK_KEY_Shift_R, VK_SHIFT, false},
    {GDK_KEY_Control_L, VK_CONTROL, false},
    {GDK_KEY_Control_R, VK_CONTROL, true},
    {GDK_KEY_Alt_L, VK_MENU, false},
    {GDK_KEY_Alt_R, VK_MENU, true},
    {GDK_KEY_Meta_L, VK_MENU, false},
    {GDK_KEY_Meta_R, VK_MENU, true},
    {GDK_KEY_Pause, VK_PAUSE, false},
    {GDK_KEY_Caps_Lock, VK_CAPITAL, false},
    {GDK_KEY_Eisu_toggle, VK_OEM_ATTN, false},
    {GDK_KEY_Kanji, VK_KANJI, false},
    {GDK_KEY_Zenkaku_Hankaku, VK_OEM_AUTO, false},
    {GDK_KEY_Hiragana_Katakana, VK_OEM_COPY, false},
    {GDK_KEY_Henkan, VK_CONVERT, false},
    {GDK_KEY_Muhenkan, VK_NONCONVERT, false},
    {GDK_KEY_Escape, VK_ESCAPE, false},
    {GDK_KEY_space, VK_SPACE, false},
    {GDK_KEY_Page_Up, VK_PRIOR, true},
    {GDK_KEY_Page_Down, VK_NEXT, true},
    {GDK_KEY_End, VK_END, true},
    {GDK_KEY_Home, VK_HOME, true},
    {GDK_KEY_Left, VK_LEFT, true},
    {GDK_KEY_Up, VK_UP, true},
    {GDK_KEY_Right, VK_RIGHT, true},
    {GDK_KEY_Down, VK_DOWN, true},
    {GDK_KEY_Select, VK_SELECT, false},
    {GDK_KEY_Print, VK_SNAPSHOT, true},
    {GDK_KEY_Execute, VK_EXECUTE, false},
    {GDK_KEY_Insert, VK_INSERT, true},
    {GDK_KEY_Delete, VK_DELETE, true},
    {GDK_KEY_Help, VK_HELP, false},
    {GDK_KEY_Super_L, VK_LWIN, true},
    {GDK_KEY_Super_R, VK_RWIN, true},
    {GDK_KEY_Menu, VK_APPS, true},
    // The keypad with NumLock off: the movement keys, not extended.
    {GDK_KEY_KP_Insert, VK_INSERT, false},
    {GDK_KEY_KP_End, VK_END, false},
    {GDK_KEY_KP_Down, VK_DOWN, false},
    {GDK_KEY_KP_Page_Down, VK_NEXT, false},
    {GDK_KEY_KP_Left, VK_LEFT, false},
    {GDK_KEY_KP_Begin, VK_CLEAR, false},
    {GDK_KEY_KP_Right, VK_RIGHT, false},
    {GDK_KEY_KP_Home, VK_HOME, false},
    {GDK_KEY_KP_Up, VK_UP, false},
    {GDK_KEY_KP_Page_Up, VK_PRIOR, false},
    {GDK_KEY_KP_Delete, VK_DELETE, false},
    {GDK_KEY_KP_Multiply, VK_MULTIPLY, false},
    {GDK_KEY_KP_Add, VK_ADD, false},
    {GDK_KEY_KP_Separator, VK_SEPARATOR, false},
    {GDK_KEY_KP_Subtract, VK_SUBTRACT, false},
    {GDK_KEY_KP_Decimal, VK_DECIMAL, false},
    {GDK_KEY_KP_Divide, VK_DIVIDE, true},
    {GDK_KEY_Num_Lock, VK_NUMLOCK, true},
    {GDK_KEY_Scroll_Lock, VK_SCROLL, false},
    // Punctuation by the key that carries it on a US or JIS board.
    {GDK_KEY_semicolon, VK_OEM_1, false},
    {GDK_KEY_colon, VK_OEM_1, false},
    {GDK_KEY_equal, VK_OEM_PLUS, false},
    {GDK_KEY_plus, VK_OEM_PLUS, false},
    {GDK_KEY_comma, VK_OEM_COMMA, false},
    {GDK_KEY_minus, VK_OEM_MINUS, false},
    {GDK_KEY_period, VK_OEM_PERIOD, false},
    {GDK_KEY_slash, VK_OEM_2, false},
    {GDK_KEY_grave, VK_OEM_3, false},
    {GDK_KEY_at, VK_OEM_3, false},
    {GDK_KEY_bracketleft, VK_OEM_4, false},
    {GDK_KEY_backslash, VK_OEM_5, false},
    {GDK_KEY_yen, VK_OEM_5, false},
    {GDK_KEY_bracketright, VK_OEM_6, false},
    {GDK_KEY_apostrophe, VK_OEM_7, false},
    {GDK_KEY_asciicircum, VK_OEM_7, false},
    {GDK_KEY_underscore, VK_OEM_102, false},
};

static int vk_from_keyval(guint keyval, bool& extended) {
  extended = false;
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return VK_A + static_cast<int>(keyval - GDK_KEY_a);
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return VK_A + static_cast<int>(keyval - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return VK_0 + static_cast<int>(keyval - GDK_KEY_0);
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return VK_NUMPAD0 + static_cast<int>(keyval - GDK_KEY_KP_0);
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) return VK_F1 + static_cast<int>(keyval - GDK_KEY_F1);
  for (const keyval_code& k : keyval_codes) {
    if (k.keyval == keyval) {
      extended = k.extended;
      return k.vk;
    }
  }
  return 0;
}

int vk_from_key_event(const GdkEventKey* event, bool& extended) {
  guint base = 0;
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event->window));
  GdkModifierType numlock = GdkModifierType(event->state & GDK_MOD2_MASK);
  if (gdk_keymap_translate_keyboard_state(keymap, event->hardware_keycode, numlock, 0, &base, nullptr, nullptr,
                                          nullptr)) {
    if (int vk = vk_from_keyval(base, extended)) return vk;
  }
  // A first layout without Latin letters, or a key the first level does not know.
  return vk_from_keyval(event->keyval, extended);
}
