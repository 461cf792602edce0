// Snapshots written, the VM reset and the file restored: the game resumes at the snapshot call
// with everything it held; damaged saves are refused while the game goes on, and damaged or
// special player files never cost the player anything.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>

#include "base/env.h"
#include "base/registry.h"
#include "save/value_blob.h"
#include "save_fixture.h"
#include "shell/devtools.h"
#include "shell/env_keys.h"
#include "shell/menu_request.h"
#include "shell/startup.h"
#include "text/glyph.h"
#include "vm/debug_log.h"
#include "vm/readmark.h"

namespace {

using ::testing::StartsWith;

const char* const SCENE = R"(
.builtin save_snapshot 0xF8004993
.builtin save_unlock 0x4D849AA6
.builtin snapshot_unlock 0x1BB47604
.entry
    builtin.drop save_unlock 0
    builtin.drop snapshot_unlock 0
    push.i 5
    call.drop scene 1
    push.i 1
    set.i.pop @back_in_entry
    ret
.func scene
    params int
    locals str
    push.s "local"
    set.s.pop _0
    label.decide chosen
    line 7
    push.s "chapter"
    builtin.drop save_snapshot 1
    load.i _p1
    set.i.pop @param
    load.s _0
    set.s.pop @local
    ret
chosen:
    ret
)";

// While it lives no file can be opened: the soft limit comes down to the lowest free descriptor
// (every lower one is in use). It goes back up when this goes, also after a failed check.
struct no_descriptor_left {
  rlimit saved;
  no_descriptor_left() {
    getrlimit(RLIMIT_NOFILE, &saved);
    int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(lowest);
    rlimit limit = {static_cast<rlim_t>(lowest), saved.rlim_max};
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  ~no_descriptor_left() { setrlimit(RLIMIT_NOFILE, &saved); }
};

class SaveRestore : public save_test {
 protected:
  // Runs the scene up to its end with a varied machine; the snapshot it took is written to slot 1.
  std::string scene_saved(bool written = true) {
    define("@s", string_cell(string_block_new("text")));
    array_block* a = ints({1, 2, 3});
    define("@a", array_cell(a));
    a->refcount++;
    define("@b", array_cell(a));
    define("@sa", array_cell(texts({"x", nullptr, "", "y"})));
    define("%t", float_cell(2.5f));
    message_log_append("line one", 8);
    return slot_saved(1, SCENE, 10, written);
  }
  // What the run loop does for a load.
  void restore(const std::string& path) {
    vm_reset();
    save_load_path_set(path.c_str());
    savefile_restore();
  }
  static std::string file(const std::string& path) {
    std::ifstream in(host(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void put(const std::string& path, const std::string& bytes) {
    std::ofstream(host(path), std::ios::binary) << bytes;
  }
  // The reset machine: nothing of the file came in.
  void expect_reset_state() {
    EXPECT_EQ(var_global.count, 0);
    EXPECT_EQ(vm_thread, thread_find(0));
    EXPECT_EQ(vm_thread->depth, 0);
    EXPECT_EQ(vm_frame->code, nullptr);
    EXPECT_EQ(vm_frame->top, 1);
    EXPECT_EQ(resume_value_get(), 0);
    EXPECT_EQ(message_log_bytes()[MESSAGE_LOG_SIZE - 3], 0);
  }
};

TEST_F(SaveRestore, AGameResumesAtItsSnapshotWithVariablesFramesLabelsAndLog) {
  std::string path = scene_saved();
  restore(path);

  // Shared blocks come back shared, empty string-array elements empty.
  value_cell *a = variable("@a"), *b = variable("@b"), *sa = variable("@sa");
  ASSERT_TRUE(a && b && sa && variable("@s") && variable("%t"));
  EXPECT_EQ(a->a, b->a);
  EXPECT_EQ(array_numbers(a->a)[2].i, 3);
  EXPECT_STREQ(variable("@s")->s->text, "text");
  EXPECT_EQ(variable("%t")->f, 2.5f);
  const char* elements[] = {"x", "", "", "y"};
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(array_strings(sa->a)[i]->text, elements[i]);
  EXPECT_EQ(vm_thread->depth, 1);
  EXPECT_NE(vm_frame->decide_label, nullptr);
  EXPECT_EQ(vm_frame->line, 7);
  EXPECT_EQ(memcmp(message_log_bytes() + MESSAGE_LOG_SIZE - 11, "line one", 8), 0);
  EXPECT_EQ(variable("@param"), nullptr);

  // The snapshot call runs again, then the scene and the entry go on with their stack.
  EXPECT_EQ(interpreter_run(), RUN_END);
  EXPECT_EQ(int_of("@param"), 5);
  EXPECT_STREQ(variable("@local")->s->text, "local");
  EXPECT_EQ(int_of("@back_in_entry"), 1);
  // The call took a new snapshot, which saves and loads again.
  std::string again = save_slot_path(2);
  ASSERT_TRUE(savefile_write(again.c_str()));
  restore(again);
  EXPECT_EQ(vm_thread->depth, 1);
  EXPECT_EQ(variable("@a")->a, variable("@b")->a);
}

TEST_F(SaveRestore, TheRunLoopLoadsASavedGameAndResumesItsCall) {
  vko_builder b;
  std::string error;
  ASSERT_TRUE(vko_assemble_text(R"(
.builtin save_snapshot 0xF8004993
.builtin save_unlock 0x4D849AA6
.builtin snapshot_unlock 0x1BB47604
.builtin save_to_slot 0x89018DD1
.builtin load_from_slot 0x3A3CA0F1
.entry
    builtin.drop save_unlock 0
    builtin.drop snapshot_unlock 0
    push.i 5
    call.drop scene 1
    ret
.func scene
    params int
    push.s "t"
    builtin.drop save_snapshot 1
    load.i #saved
    jt back
    push.i 1
    set.i.pop #saved
    push.i 1
    builtin.drop save_to_slot 1
    push.i 1
    builtin.drop load_from_slot 1
    ret
back:
    load.i _p1
    set.i.pop #came_back
    ret
)", b, error)) << error;
  game.write("start.vko", b.build());
  static int runs;
  runs = 0;
  EXPECT_EQ(run_loop([] { return ++runs == 2 ? (interpreter_run(), 9) : interpreter_run(); }), 9);
  EXPECT_EQ(int_of("#came_back"), 5);
}

// A damaged save is refused while the game goes on; should one reach the restore all the same, it
// leaves the reset machine.
TEST_F(SaveRestore, EveryDamagedSaveIsRefusedBeforeAnyResetAndLeavesTheResetMachineAfterOne) {
  std::string path = scene_saved();
  const std::string good = file(path);
  const size_t frames = SAVE_HEADER_SIZE, cells = frames + 2 * FRAME_RECORD_SIZE, blob = cells + 16 * (4 + 1 + 3);
  auto word = [&](size_t at) { return le32(reinterpret_cast<const uint8_t*>(good.data()) + at); };
  const size_t top = frames + FRAME_RECORD_SIZE;
  std::vector<std::string> damaged;
  for (size_t cut : {size_t(0), size_t(15), size_t(SAVE_HEADER_SIZE - 1), frames, frames + FRAME_RECORD_SIZE,
                     cells, cells + 16 * 4, cells + 16 * 5, blob, good.size() - 1})
    damaged.push_back(good.substr(0, cut));
  struct {
    size_t at;
    uint32_t value;
  } fields[] = {
      {0, 0},                          // magic
      {144, 256},                      // depth beyond the frames a thread has
      {144, 0xFFFFFFFF},               // negative depth
      {148, 0x7FFFFFFF},               // thumbnail larger than the file
      {148, 0xFFFFFFFF},               // negative thumbnail width
      {156, 0x7FFFFFFF},               // absurd counts
      {160, 0xFFFFFFFF},               //
      {168, 0x7FFFFFFF},               // blob size
      {frames + 128, 1 << 20},         // code position outside the object
      {frames + 136, 99},              // stack top beyond the stack
      {frames + FRAME_RECORD_SIZE + 136, 2},  // the top frame does not end the stack
      {frames + FRAME_RECORD_SIZE + 148, 1 << 20},  // skip label outside the object
      {top + 128, word(top + 128) + 2},       // inside the snapshot call
      {frames + 128, word(frames + 128) - 2},  // inside the call the outer frame returns from
      {top + 148, word(top + 148) + 1},       // a skip label inside an instruction
      {cells + 4, 9},                  // no such type
      {cells + 16 + 8, 0x7FFFFF00},    // block offset outside the blob
      {blob + 8, 0x7FFFFFFF},          // string length beyond the blob
      {blob + 11 + 8 + 8, 0xFFFFFFFF}, // negative array dimension
  };
  for (const auto& f : fields) {
    std::string bytes = good;
    memcpy(bytes.data() + f.at, u32(f.value).data(), 4);
    damaged.push_back(bytes);
  }
  std::string nameless = good;  // the object's name, then no NUL in the field
  memset(nameless.data() + frames + 3, 'A', 125);
  damaged.push_back(nameless);
  std::string missing = good;
  memcpy(missing.data() + frames, "GONE.VKO", 9);  // an object that does not exist
  damaged.push_back(missing);

  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    put(path, damaged[i]);
    platform.boxes.clear();
    push_int(1);
    EXPECT_EQ(call_int("load_from_slot", 1), -1);
    EXPECT_NE(vm_run_state, RUN_LOAD);
    EXPECT_EQ(platform.boxes.size() == 1 ? platform.boxes[0].text : "", "セーブデータが壊れているため、ロードできませんでした");
    restore(path);
    expect_reset_state();
  }
  put(path, good);
  push_int(1);
  EXPECT_EQ(call_int("load_from_slot", 1), 0);
  put(path, damaged[0]);  // what the load was taken with is what comes back
  vm_reset();
  savefile_restore();
  EXPECT_EQ(vm_thread->depth, 1);
}

TEST_F(SaveRestore, SlotsNameTheirFilesWithTheQuickRingNeverNegative) {
  reg_set_int(reg_global_name(), reg_local_name(), "QuickNum", 5);
  struct {
    int slot;
    const char* name;
  } rows[] = {{-5, "vaskel_last.sav"},      {10001, "vaskel_last.sav"},    {0, "vaskel_0000.sav"},
              {9999, "vaskel_9999.sav"},    {10003, "vaskel_quick5.sav"},  {10010, "vaskel_quick6.sav"},
              {10000, "vaskel_quick0.sav"}, {20000, "vaskel_quick0.sav"}, {14001, "vaskel_quick7.sav"}, {2147483647, "vaskel_quick1.sav"}};
  for (const auto& r : rows)
    EXPECT_EQ(save_slot_path(r.slot), std::string(save_path("savedata\\")) + r.name) << r.slot;
}

TEST_F(SaveRestore, TitlesAreCutOnACharacterBoundaryAndALockedSnapshotOnlyTakesTheTitle) {
  call_int("save_unlock");
  call_int("snapshot_unlock");
  std::string wide = std::string(126, 'a') + "\x82\xa0";  // a double-byte character across byte 127
  push_string(wide.c_str());
  call_int("save_snapshot", 1);
  call("save_title_current");
  EXPECT_EQ(std::string(stack_top()->s->text), std::string(126, 'a'));
  stack_pop();

  call_int("snapshot_lock");
  push_string("later");
  call_int("save_snapshot", 1);
  ASSERT_TRUE(savefile_write(save_slot_path(3).c_str()));
  EXPECT_EQ(savefile_title(3), "later");
  EXPECT_EQ(savefile_title(4), "");
  EXPECT_EQ(savefile_date(3).size(), 17u);
}

TEST_F(SaveRestore, AFailedWriteIsReportedAndTheLastSaveIsKeptRightAfterALoad) {
  std::string path = scene_saved();
  // "savedata" is a file: nothing can be written under it.
  std::filesystem::rename(host(save_path("savedata")), host(save_path("moved")));
  std::ofstream(host(save_path("savedata"))) << "x";
  EXPECT_FALSE(savefile_write(path.c_str()));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_THAT(platform.boxes[0].text, StartsWith("ファイルの書き込みでエラーが発生しました"));
  std::filesystem::remove(host(save_path("savedata")));
  std::filesystem::rename(host(save_path("moved")), host(save_path("savedata")));

  push_int(1);
  EXPECT_EQ(call_int("load_from_slot", 1), 0);
  EXPECT_EQ(vm_run_state, RUN_LOAD);
  restore(path);
  EXPECT_EQ(interpreter_run(), RUN_END);  // the snapshot call runs again
  thread_switch(thread_create(0));
  push_int(SLOT_LAST);
  call_int("save_to_slot", 1);
  EXPECT_FALSE(std::filesystem::exists(host(save_slot_path(SLOT_LAST))));
  push_int(SLOT_LAST);
  call_int("save_to_slot", 1);
  EXPECT_TRUE(std::filesystem::exists(host(save_slot_path(SLOT_LAST))));
  push_int(1);
  EXPECT_EQ(call_int("save_delete", 1), -1);
  EXPECT_FALSE(std::filesystem::exists(host(path)));
  push_int(1);
  EXPECT_EQ(call_int("load_from_slot", 1), -1);
}

TEST_F(SaveRestore, SeenNamesIgnoreExtensionAndCaseUntilTheTableIsFull) {
  EXPECT_EQ(seen_name_add("Bgm01.ogg"), 0);
  EXPECT_EQ(seen_name_test("BGM01.wav"), 1);
  EXPECT_EQ(seen_name_test("bgm02"), 0);
  for (int i = 1; i < SEEN_NAME_COUNT; ++i) seen_name_add(("n" + std::to_string(i)).c_str());
  EXPECT_EQ(seen_name_add("bgm01"), 0);
  EXPECT_EQ(seen_name_add("one more"), -1);
}

// Only 1 switches saving off (the value that greys the menu); any other value saves everything.
TEST_F(SaveRestore, WithLoadAndSaveDisabledNoFileIsWrittenAndOnlyOneDisables) {
  for (int value : {1, 2, -1}) {
    SCOPED_TRACE(value);
    bool written = value != 1;
    env_free();
    game_env_load(game, "LOADSAVEDISABLE " + std::to_string(value) + "\n");
    std::string path = scene_saved(written);
    EXPECT_EQ(std::filesystem::exists(host(path)), written);
    EXPECT_EQ(system_file_save(), written);
    EXPECT_EQ(std::filesystem::exists(host(save_path(SYSTEM_FILE_NAME))), written);
  }
  settings_state_reset();
}

// A damaged eternal or read-mark file is renamed aside (never over an earlier one) before the
// fresh file that replaces it can be written; a sound one stays.
TEST_F(SaveRestore, DamagedEternalAndReadMarkFilesAreKeptAsideBeforeAFreshStart) {
  std::string eternal = system_file_bytes(), no_cells = eternal;
  no_cells[16] = 1;
  std::string mark = fixed("A.VKO", 128) + u32(99) + u32(8) + std::string(12 + 17, '\0');
  struct {
    const char* name;
    std::string bytes;
    size_t aside;  // damaged copies of that name after the read
  } files[] = {{SYSTEM_FILE_NAME, eternal, 0}, {SYSTEM_FILE_NAME, "short", 1}, {SYSTEM_FILE_NAME, no_cells, 2},
               {READMARK_FILE, "", 0},         {READMARK_FILE, mark, 1}};
  for (const auto& f : files) {
    std::filesystem::path path = host(save_path(f.name));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << f.bytes;
    readmark_reset();
    f.name == SYSTEM_FILE_NAME ? system_file_load() : readmark_load();
    std::vector<std::string> aside;
    for (const auto& e : std::filesystem::directory_iterator(path.parent_path()))
      if (e.path().filename().string().starts_with(path.filename().string() + ".damaged-")) aside.push_back(file(e.path()));
    EXPECT_EQ(aside.size(), f.aside) << f.bytes.size();
    EXPECT_EQ(std::count(aside.begin(), aside.end(), f.bytes), f.aside > 0);
  }
  EXPECT_TRUE(system_file_save());
}

// Every reader of player files refuses a FIFO in a file's place at once: a child reads them all
// (it would wait for a writer for ever) and must end.
TEST_F(SaveRestore, AFifoInPlaceOfAnyPlayerFileIsRefusedWithoutWaiting) {
  std::filesystem::create_directories(host(save_path("savedata")));
  for (std::string name : {save_slot_path(1), std::string(save_path(SYSTEM_FILE_NAME)), std::string(save_path(READMARK_FILE)),
                           std::string(save_path(font_cache_file_name("F", 40, 80).c_str()))})
    ASSERT_EQ(mkfifo(host(name).c_str(), 0600), 0) << name;
  pid_t child = fork();
  if (child == 0) {
    bool refused = savefile_title(1).empty() && savefile_date(1).empty() && savefile_thumbnail_load(1).width == 0 &&
                   save_file_check(save_slot_path(1)) == SAVE_FILE_MISSING && !savefile_load_take(save_slot_path(1).c_str());
    readmark_reset(), readmark_load(), system_file_load(), font_cache_open("F", 20, 10);
    _exit(refused && !readmark_list_head() && var_eternal.count == 0 ? 0 : 1);
  }
  int status = -1;
  for (int waited = 0; waited < 6000 && waitpid(child, &status, WNOHANG) == 0; ++waited) usleep(10000);
  if (status == -1) kill(child, SIGKILL), waitpid(child, nullptr, 0);
  EXPECT_EQ(status, 0) << "the child hung or a reader took the FIFO";
}

// A save killed at any moment leaves the slot holding the old save or the new one, whole.
TEST_F(SaveRestore, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
  std::string path = scene_saved();
  const std::string old_file = file(path);
  call_int("snapshot_lock");
  push_string("second");
  call_int("save_snapshot", 1);
  const std::string new_file = savefile_bytes();
  ASSERT_NE(new_file, old_file);
  // Kills land anywhere in twice the time a child takes to start and save once, however fast
  // this build forks and saves.
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  if (pid_t once = fork(); once == 0) {
    savefile_write(save_slot_path(9).c_str());
    _exit(0);
  } else {
    waitpid(once, nullptr, 0);
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  long span_us = 2 * ((t1.tv_sec - t0.tv_sec) * 1000000 + (t1.tv_nsec - t0.tv_nsec) / 1000) + 1;
  std::mt19937 random(12345);
  int news = 0;
  for (int round = 0; round < 40; ++round) {
    put(path, old_file);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) savefile_write(path.c_str());
    }
    usleep(static_cast<useconds_t>(random() % span_us));
    kill(child, SIGKILL);
    int status;
    waitpid(child, &status, 0);
    std::string now = file(path);
    EXPECT_TRUE(now == old_file || now == new_file) << round;
    news += now == new_file;
  }
  EXPECT_GT(news, 0);
}

// A "savedata" that the game ships as a link into another game's saves, or that is no folder of
// the user's own, is never written, renamed, deleted or swept through: the save fails with its box
// and the log says why. Reads through the link stay.
TEST_F(SaveRestore, ASaveFolderThatIsALinkOrAnotherUsersIsNeverWrittenThrough) {
  std::string path = scene_saved(), savedata = host(save_path("savedata"));
  temp_dir other;
  std::filesystem::rename(savedata, other.at("savedata"));  // another game's saves
  other.write("savedata/vaskel_system.mss", "short");       // damaged: a load sets it aside
  other.write("savedata/x.sav.tmp-abcdef", "");
  auto listing = [](const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) files[e.path().filename()] = file(e.path());
    return files;
  };
  std::filesystem::create_symlink(other.at("savedata"), savedata);
  for (bool link : {true, false}) {
    if (!link) {  // another user's folder: only root can make one
      if (geteuid() != 0) break;
      std::filesystem::remove(savedata);
      std::filesystem::rename(other.at("savedata"), savedata);
      ASSERT_EQ(chown(savedata.c_str(), 65534, 65534), 0);
    }
    auto before = listing(savedata);
    platform.boxes.clear();
    EXPECT_FALSE(savefile_write(path.c_str()));
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(savefile_title(1), "chapter");
    system_file_load();  // would set the damaged eternal file aside
    readmark_attach("A.VKO", 8), readmark_save();
    push_int(1), call_int("save_delete", 1);
    EXPECT_EQ(atomic_file_sweep(save_path("savedata"), FOLDER_GAME), 0);
    EXPECT_EQ(listing(savedata), before) << link;
    EXPECT_THAT(file(save_path(DEBUG_LOG_FILE)), HasSubstr(link ? "]はシンボリックリンクのため、[" : "]はこのユーザーのフォルダではないため、["));
  }
}

// A save, or the exit sequence, that cannot write a player file names the file (or the refused
// folder) and the reason on stderr, and a save at the end of its box, as a refused read does.
TEST_F(SaveRestore, AFileThatCannotBeWrittenIsNamedWithTheReason) {
  const std::string slot = scene_saved(), savedata = host(save_path("savedata"));
  const std::string emfile = std::string(": ") + strerror(EMFILE);
  const struct {
    bool savedata_a_file, at_exit;  // else out of descriptors
    std::vector<std::string> said;  // lines on stderr
    std::string box_end;
  } cases[] = {
      {false, false, {host(slot) + " not written" + emfile}, host(slot) + emfile},
      {true, false, {savedata + " is not a folder; a game's folder is used only as a real folder of the user's own: "
                                "vaskel_0001.sav not written"}, savedata + ": not a folder"},
      {false, true, {host(save_path(SYSTEM_FILE_NAME)) + " not written" + emfile,
                     host(save_path(READMARK_FILE)) + " not written" + emfile}, ""},
  };
  for (const auto& c : cases) {
    if (c.savedata_a_file) std::filesystem::rename(savedata, savedata + ".moved"), std::ofstream(savedata) << "x";
    readmark_attach("A.VKO", 8);
    platform.boxes.clear();
    testing::internal::CaptureStderr();
    {
      std::optional<no_descriptor_left> exhausted;
      if (!c.savedata_a_file) exhausted.emplace();
      c.at_exit ? ExecOut() : void(savefile_write(slot.c_str()));
    }
    std::string said = testing::internal::GetCapturedStderr();
    for (const std::string& line : c.said) EXPECT_THAT(said, HasSubstr("vaskrun: " + line + "\n"));
    EXPECT_EQ(platform.boxes.size(), c.at_exit ? 0u : 1u);
    if (!c.at_exit && !platform.boxes.empty()) {
      EXPECT_EQ(platform.boxes[0].text, "ファイルの書き込みでエラーが発生しました\n(" + c.box_end + ")");
    }
    if (c.savedata_a_file) std::filesystem::remove(savedata), std::filesystem::rename(savedata + ".moved", savedata);
  }
}

}  // namespace
