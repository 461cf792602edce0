// The whole load of a save from its slot, on a damaged valid save of a real scene: the load is
// refused while the game goes on, or it is taken, every restored frame resumes where an
// instruction starts, and the game runs on without ever meeting an undefined or malformed
// instruction. The slot's title, date and thumbnail readers take the same file.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "base/atomic_file.h"
#include "base/datasource.h"
#include "base/gamepath.h"
#include "image_fuzz.h"
#include "save/savefile.h"
#include "save/thumbnail.h"
#include "save/vm_exit.h"
#include "save_fuzz.h"
#include "shell/devtools.h"
#include "vko_assembler.h"
#include "vm/decode.h"
#include "vm/interpreter.h"
#include "vm/script_object.h"

namespace {

// Every label kind is set in the frame that saves, so the damage reaches each of them.
const char SCENE[] = R"(
.builtin save_snapshot 0xF8004993
.builtin save_unlock 0x4D849AA6
.builtin snapshot_unlock 0x1BB47604
.entry
    builtin.drop snapshot_unlock 0
    builtin.drop save_unlock 0
    push.s "kept"
    push.i 3
    call.drop scene 2
    ret
.func scene
    params int str
    locals int
    label.all picked
    label.back picked
    label.end done
    line 3
    builtin.drop save_snapshot 0
    load.i _p1
    set.i.pop _0
picked:
    line 4
done:
    ret
)";

// The scene's snapshot with a thumbnail, saved once into a game folder of its own.
const std::string& valid_save() {
  static const std::string bytes = [] {
    fuzz_image_setup();
    static_cast<headless_platform&>(plat()).use_fake_clock(0);  // the interpreter's waits cost no time
    static char pattern[] = "/tmp/vaskfuzz-XXXXXX";
    std::string folder = mkdtemp(pattern);
    data_base_folder_set(folder.c_str());
    save_base_folder_set(folder.c_str());
    vko_builder b;
    std::string error;
    if (!vko_assemble_text(SCENE, b, error)) abort();
    std::ofstream(folder + "/scene.vko", std::ios::binary) << b.build();
    vm_lifecycle_reset();
    vm_reset();
    object_entry_set("scene");
    interpreter_run();
    thumbnail_set(thumbnail{2, 2, std::vector<uint8_t>(12, 7)});
    std::string out;
    if (!savefile_write(save_slot_path(1).c_str()) || !player_file_read(save_slot_path(1), &out)) abort();
    return out;
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file = valid_save();
  fuzz_damage(&file, data, size);
  const std::string path = save_slot_path(1);
  std::ofstream(game_path_native(path), std::ios::binary | std::ios::trunc) << file;
  savefile_title(1);
  savefile_date(1);
  static page* target = page_new_rgb24(8, 8, 1);
  if (thumbnail t = savefile_thumbnail_load(1); t.width) thumbnail_put(t, target, 6, -1, false);
  auto& host = static_cast<headless_platform&>(plat());
  host.boxes.clear();
  try {
    if (!savefile_load_take(path.c_str())) return 0;
    vm_reset();
    savefile_restore();
    script_thread* t = thread_find(0);
    if (!t || !t->frames[0].code) abort();  // taken, yet not restored
    for (int32_t i = 0; i <= t->depth; ++i)
      if (!decode_is_instruction_start(t->frames[i].code)) abort();
    interpreter_run();
  } catch (const fuzz_fatal&) {
    // Damaged values may make the script report (a parameter, a type, a short stack): the
    // report's Cancel ends the run. Code that is no instruction (undefined or malformed, as read
    // from a wrong place) must never run.
    for (const auto& box : host.boxes)
      if (box.text.find("コード[") != std::string::npos && box.text.find("スタックの値が足りません") == std::string::npos)
        abort();
  }
  return 0;
}
