// Text files: the field and line rules on loose files and inside an archive entry, lines longer
// than the buffer, written files, and handle validation.
#include "archive_writer.h"
#include "builtin_fixture.h"
#include "platform/platform.h"
#include "shell/window_core.h"
#include "vm/textfile.h"

namespace {

enum : uint32_t {
  H_CREATE = 0xD1921ED9, H_WRITE_LINE = 0x63B8CB23, H_OPEN = 0xE4E3B40D, H_CLOSE = 0xD6333B3C,
  H_READ_INT = 0x2539D212, H_READ_STR = 0x55232561, H_READ_LINE = 0x6008BEBB,
};

const std::string SO = "\x83\x5C";

class textfiles : public builtin_test {
 protected:
  void TearDown() override {
    textfile_close_all();
    builtin_test::TearDown();
  }
  int32_t open(const std::string& name, const std::string& data) {
    game.write(name, data);
    return run_int(H_OPEN, {name});
  }
};

TEST_F(textfiles, FieldsAndLinesFollowTheCommentTrimAndQuoteRules) {
  int32_t h = open("table.txt",
                   "10,20 ;comment\r\n\r\n   \r\n30 // note\na,\n\"x,y\",\"q\"\n1, rest , of it ;x\n  tail  \n");
  EXPECT_EQ(run_int(H_READ_INT, {h}), 10);
  EXPECT_EQ(run_int(H_READ_INT, {h}), 20);
  EXPECT_EQ(run_int(H_READ_INT, {h}), 30);  // empty and blank lines are skipped
  EXPECT_EQ(run_str(H_READ_STR, {h}), "a");
  EXPECT_EQ(run_str(H_READ_STR, {h}), "");  // the empty last field
  EXPECT_EQ(run_str(H_READ_STR, {h}), "\"x");  // quotes come off whole fields only
  EXPECT_EQ(run_str(H_READ_STR, {h}), "y\"");
  EXPECT_EQ(run_str(H_READ_STR, {h}), "q");
  EXPECT_EQ(run_int(H_READ_INT, {h}), 1);
  EXPECT_EQ(run_str(H_READ_LINE, {h}), "rest , of it");
  EXPECT_EQ(run_str(H_READ_LINE, {h}), "tail");
  EXPECT_EQ(run_str(H_READ_STR, {h}), "");
  EXPECT_EQ(run_int(H_READ_INT, {h}), 0);
  EXPECT_EQ(run_str(H_READ_LINE, {h}), "");
  EXPECT_EQ(run_int(H_CLOSE, {h}), 0);
  EXPECT_EQ(platform.boxes.size(), 0u);
}

TEST_F(textfiles, LongLinesAreReadInPiecesCutOnCharacterBoundaries) {
  std::string first(510, 'a');
  int32_t h = open("long.txt", first + SO + "b\r\n" + std::string(511, 'c') + "d\n");
  EXPECT_EQ(run_str(H_READ_LINE, {h}), first);  // the double-byte character did not fit
  EXPECT_EQ(run_str(H_READ_LINE, {h}), SO + "b");
  EXPECT_EQ(run_str(H_READ_LINE, {h}), std::string(511, 'c'));
  EXPECT_EQ(run_str(H_READ_LINE, {h}), "d");
}

TEST_F(textfiles, ReadsStopAtTheEndOfTheArchiveEntry) {
  // Names whose entries the archive stores back to back, the short one first.
  std::string image;
  for (int i = 0; i < 40 && image.find("1,25\n") == std::string::npos; ++i)
    image = archive_build(archive_version::v3, {{"t.txt", "1,2"}, {"n" + std::to_string(i) + ".txt", "5\n"}});
  ASSERT_NE(image.find("1,25\n"), std::string::npos);
  game.write("data.arc", image);
  data_sources_clear();
  data_base_folder_set(game.path().c_str());
  ASSERT_EQ(data_source_add("data", 0), DATA_SOURCE_ARCHIVE64);
  int32_t h = run_int(H_OPEN, {"t.txt"});
  EXPECT_EQ(run_int(H_READ_INT, {h}), 1);
  EXPECT_EQ(run_int(H_READ_INT, {h}), 2);
  EXPECT_EQ(run_str(H_READ_LINE, {h}), "");
}

// The error box's Retry finds the file put there meanwhile, and the whole of it is read.
TEST_F(textfiles, RetryReadsTheFileThatCameMeanwhile) {
  static const temp_dir* folder;
  folder = &game;
  window_hook_set([] { folder->write("late.txt", "4,5\n"); });
  int32_t h = run_int(H_OPEN, {"late.txt"});
  window_hook_set(nullptr);
  EXPECT_EQ(run_int(H_READ_INT, {h}), 4);
  EXPECT_EQ(run_int(H_READ_INT, {h}), 5);
}

TEST_F(textfiles, WrittenFilesEndLinesInCrLfAndAppearWhenClosed) {
  std::string target = game.at("out.txt");
  // A link where the file is written first is replaced, never followed.
  ASSERT_EQ(symlink(game.at("elsewhere").c_str(), (target + ".part").c_str()), 0);
  platform.file_dialog_answers.push_back({FILE_DIALOG_OK, engine_path_from_host(target)});
  int32_t h = run_int(H_CREATE, {"..\\..\\save.txt"});  // the game proposes the name, never the folder
  ASSERT_EQ(platform.file_dialogs.size(), 1u);
  EXPECT_EQ(platform.file_dialogs[0].file_name + platform.file_dialogs[0].title, "save.txtテキストの保存");
  EXPECT_EQ(run_int(H_WRITE_LINE, {h, "abc"}), h);
  EXPECT_EQ(run_int(H_WRITE_LINE, {h, SO}), h);
  EXPECT_EQ(access(target.c_str(), F_OK), -1);  // nothing half written in its place
  run_int(H_CLOSE, {h});
  FILE* f = fopen(target.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(read_rest(f), "abc\r\n" + SO + "\r\n");
  fclose(f);
  EXPECT_NE(access(game.at("elsewhere").c_str(), F_OK), 0);

  // A cancelled dialog gives a handle without a file: writes go nowhere, quietly.
  int32_t cancelled = run_int(H_CREATE, {"x.txt"});
  EXPECT_NE(cancelled, 0);
  EXPECT_EQ(run_int(H_WRITE_LINE, {cancelled, "lost"}), cancelled);
  EXPECT_EQ(run_str(H_READ_LINE, {cancelled}), "");
  EXPECT_EQ(run_int(H_CLOSE, {cancelled}), 0);
  EXPECT_EQ(platform.boxes.size(), 0u);
}

TEST_F(textfiles, BadAndClosedHandlesAreReportedAndHarmless) {
  int32_t h = open("a.txt", "7\n");
  run_int(H_CLOSE, {h});
  EXPECT_EQ(run_int(H_READ_INT, {h}), 0);
  EXPECT_EQ(run_int(H_WRITE_LINE, {-1, "x"}), 0);
  EXPECT_EQ(run_int(H_CLOSE, {h}), 0);
  EXPECT_EQ(run_str(H_READ_STR, {12345}), "");
  EXPECT_EQ(run_str(H_READ_LINE, {0}), "");
  ASSERT_EQ(platform.boxes.size(), 5u);
  EXPECT_EQ(box_text(0), "textfile_read_int : テキストファイルのハンドル(" + std::to_string(h) + ")が正しくありません");
  EXPECT_NE(box_text(2).find("textfile_close : "), std::string::npos);
  EXPECT_NE(open("b.txt", "1\n"), h);  // a new handle never takes the number of one just closed
}

}  // namespace
