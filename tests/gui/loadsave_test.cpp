// LOADSAVE in GTK: a scene's snapshot is saved to the slot the player picks in the dialog (page 3,
// fourth row, taken with Return), the scene changes, and loading that slot through the dialog
// brings the scene back, where it goes on from its snapshot. Both dialogs are saved as screenshots.
#include <cstring>

#include "base/datasource.h"
#include "base/hash.h"
#include "base/registry.h"
#include "graphics/page.h"
#include "graphics/presentation.h"
#include "gui_fixture.h"
#include "headless_game.h"
#include "save/loadsave_dialog.h"
#include "save/savefile.h"
#include "save/vm_exit.h"
#include "shell/devtools.h"
#include "shell/window_core.h"
#include "test_support.h"
#include "vko_assembler.h"
#include "vm/builtin_table.h"
#include "vm/dispatcher.h"
#include "vm/interpreter.h"
#include "vm/script_object.h"
#include "vm/thread.h"
#include "vm/variables.h"

// After gtest: the X headers define None.
#include <gdk/gdkx.h>

namespace {

// The scene: @room 1 at its snapshot (with a thumbnail of the screen), 2 after it. The assembler
// reads UTF-8.
const char8_t* const SCENE = u8R"(
.builtin save_snapshot 0xF8004993
.builtin save_unlock 0x4D849AA6
.builtin snapshot_unlock 0x1BB47604
.builtin thumbnail_capture 0x9143DC9E
.entry
    builtin.drop save_unlock 0
    builtin.drop snapshot_unlock 0
    push.i 120
    push.i 160
    builtin.drop thumbnail_capture 2
    push.i 1
    set.i.pop @room
    push.s "第三章∵橋の上"
    builtin.drop save_snapshot 1
    load.i @room
    push.i 1
    add.i
    set.i.pop @room
    ret
)";

GtkWidget* child_of_type(GtkWidget* w, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(w, type)) return w;
  if (!GTK_IS_CONTAINER(w)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(w));
  GtkWidget* found = nullptr;
  for (GList* c = children; c && !found; c = c->next) found = child_of_type(GTK_WIDGET(c->data), type);
  g_list_free(children);
  return found;
}

int32_t room() {
  value_cell* c = var_table_find(&var_global, crc32_string("@room@GLOBAL"));
  return c ? c->i : -1;
}

class LoadSaveDialog : public gui_test {
 protected:
  temp_dir game, saves;

  void SetUp() override {
    gui_test::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    headless_engine_clear();
    reg_store_reset();
    data_base_folder_set(game.path().c_str());
    save_base_folder_set(saves.path().c_str());
    vm_lifecycle_reset();
    vm_reset();
    main_window_set(open_window(640, 480));
    page* front = page_new_rgb24(640, 480, 1);
    for (int y = 0; y < 480; y++) memset(front->bits + static_cast<ptrdiff_t>(y) * front->stride, y / 2, 640 * 3);
    front_page_set(front);
  }
  void TearDown() override {
    vm_lifecycle_reset();
    headless_engine_clear();
    reg_store_reset();
    save_base_folder_set("");
    gui_test::TearDown();
  }

  static int32_t call(const char* name, std::initializer_list<int32_t> arguments) {
    for (int32_t a : arguments) push_int(a);
    for (const builtin_entry& e : builtin_entries())
      if (strcmp(e.name, name) == 0) builtin_call(&e, e.hash, static_cast<int16_t>(arguments.size()), 0);
    int32_t v = stack_top()->i;
    stack_pop();
    return v;
  }

  // Opens LOADSAVE; once it is on screen picks the row of the tab, saves the screenshot and presses
  // Return on the row (or right-clicks the list). The slot it answers.
  int pick(int mode, int tab, int row, const std::string& shot, bool right_click = false) {
    struct step {
      LoadSaveDialog* test;
      int tab, row;
      std::string shot;
      bool right_click;
      int ticks = 0;
      bool ok_enabled = false, preview = false;
    } s{this, tab, row, shot, right_click};
    guint timer = g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
          auto* s = static_cast<step*>(data);
          GtkWidget* d = visible_toplevel(GTK_TYPE_DIALOG);
          if (!d || !gtk_widget_get_mapped(d) || ++s->ticks < 4) return G_SOURCE_CONTINUE;
          if (s->ticks == 4) {
            gtk_notebook_set_current_page(GTK_NOTEBOOK(child_of_type(d, GTK_TYPE_NOTEBOOK)), s->tab);
            GtkTreePath* path = gtk_tree_path_new_from_indices(s->row, -1);
            GtkWidget* tree = child_of_type(d, GTK_TYPE_TREE_VIEW);
            gtk_tree_view_set_cursor(GTK_TREE_VIEW(tree), path, nullptr, FALSE);
            gtk_tree_path_free(path);
            gtk_widget_grab_focus(tree);
            return G_SOURCE_CONTINUE;
          }
          if (s->ticks < 8) return G_SOURCE_CONTINUE;  // drawn
          GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(d), GTK_RESPONSE_OK);
          s->ok_enabled = gtk_widget_get_sensitive(ok);
          GtkWidget* image = child_of_type(d, GTK_TYPE_IMAGE);
          s->preview = image && gtk_image_get_storage_type(GTK_IMAGE(image)) == GTK_IMAGE_PIXBUF;
          int x, y;
          gdk_window_get_origin(gtk_widget_get_window(d), &x, &y);
          if (!s->shot.empty())
            s->test->save_screenshot(s->shot, x, y, gtk_widget_get_allocated_width(d), gtk_widget_get_allocated_height(d));
          unsigned long xid = GDK_WINDOW_XID(gtk_widget_get_window(d));
          std::string command = "xdotool windowfocus --sync " + std::to_string(xid) + " key Return";
          if (s->right_click) {
            int tx, ty;
            gdk_window_get_origin(gtk_widget_get_window(child_of_type(d, GTK_TYPE_TREE_VIEW)), &tx, &ty);
            command = "xdotool mousemove " + std::to_string(tx + 100) + " " + std::to_string(ty + 40) + " click 3";
          }
          g_spawn_command_line_async(command.c_str(), nullptr);
          return G_SOURCE_REMOVE;
        },
        &s);
    int slot = loadsave_dialog_open(mode, 304);
    if (s.ticks < 8) g_source_remove(timer);
    EXPECT_TRUE(s.ok_enabled) << shot;
    EXPECT_EQ(s.preview, mode != 0) << shot << ": the thumbnail of the slot's file";
    return slot;
  }
};

TEST_F(LoadSaveDialog, ASaveThroughTheDialogIsLoadedBackThroughIt) {
  gchar* found = g_find_program_in_path("xdotool");
  if (!found) GTEST_SKIP() << "xdotool is not installed";
  g_free(found);
  vko_builder b;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(reinterpret_cast<const char*>(SCENE), b, error)) << error;
  game.write("scene.vko", b.build());
  object_entry_set(object_load("scene")->name);
  EXPECT_EQ(interpreter_run(), RUN_END);
  ASSERT_EQ(room(), 2);
  thread_switch(thread_create(0));  // the scene ended its thread; built-ins need one

  // The player saves on page 3, fourth row; the slot is written as the game's menu does.
  int slot = pick(0, 2, 3, "loadsave-save-dialog");
  ASSERT_EQ(slot, 304);
  EXPECT_EQ(call("save_to_slot", {slot}), 0);
  EXPECT_EQ(savefile_title(304), "第三章∵橋の上");

  // The scene moves on; loading the slot through the dialog (on the page open last) brings it back.
  var_table_find(&var_global, crc32_string("@room@GLOBAL"))->i = 9;
  slot = pick(1, 2, 3, "loadsave-load-dialog");
  ASSERT_EQ(slot, 304);
  EXPECT_EQ(call("load_from_slot", {slot}), 0);
  ASSERT_EQ(run_state_get(), RUN_LOAD);
  vm_reset();  // what the run loop does for a load
  savefile_restore();
  EXPECT_EQ(room(), 1) << "the scene as it was at its snapshot";
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(room(), 2) << "and it goes on from there";

  EXPECT_EQ(pick(1, 2, 3, "", true), -1) << "a right click on the list is Cancel";
}

}  // namespace
