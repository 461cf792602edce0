// The save and load dialogs as models: which slot a row chooses, the rows' texts and marks, the
// page kept between openings, the default name of a save, and both dialogs answered headless.
#include <filesystem>
#include <fstream>

#include "base/registry.h"
#include "save/loadsave_dialog.h"
#include "save_fixture.h"
#include "shell/env_keys.h"
#include "shell/menu_request.h"

namespace {

class LoadSave : public save_test {
 protected:
  // The store as this test's own folder holds it (the page is kept there).
  void SetUp() override {
    save_test::SetUp();
    reg_store_reset();
  }
  void TearDown() override {
    reg_store_reset();
    save_test::TearDown();
  }
  // A slot file as the save module writes them: the header (magic, title, thumbnail size) and
  // the thumbnail's pixels; nothing after it is read by the dialogs.
  void slot_file(int slot, const std::string& title, int tw = 0, int th = 0) {
    save_header h{};
    memcpy(h.magic, SAVE_MAGIC, sizeof SAVE_MAGIC);
    snprintf(h.title, sizeof h.title, "%s", title.c_str());
    h.thumbnail_width = tw, h.thumbnail_height = th;
    std::filesystem::path file = host(save_slot_path(slot));
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&h), sizeof h);
    for (int i = 0; i < tw * th * 3; i++) out.put(static_cast<char>(i));
  }
  static int stored_base() { return reg_get_int(reg_global_name(), reg_local_name(), "LOADSAVEDLG_NumBase", -7); }
  static void store_base(int base) { reg_set_int(reg_global_name(), reg_local_name(), "LOADSAVEDLG_NumBase", base); }
};

TEST_F(LoadSave, RowsChooseTheirSlotsOnEveryPage) {
  slot_file(304, "page three");
  slot_file(SLOT_LAST, "auto");
  slot_file(10005, "quick three");
  struct {
    int mode, tab, row;
    const char* number;
    int slot;  // -1: the row cannot be chosen
  } rows[] = {
      {0, 2, 3, " 24", 304},   {1, 2, 3, " 24", 304},     {0, 0, 0, "  1", 101},    {1, 0, 0, "  1", -1},
      {0, 9, 9, "100", 1010},  {1, 10, 0, "Auto", 10001}, {1, 10, 4, "Q 03", 10005}, {1, 10, 1, "", -1},
      {1, 10, 9, "Q 08", -1},
  };
  for (const auto& r : rows) {
    loadsave_dialog d = loadsave_model(r.mode, -1);
    loadsave_page_set(d, r.tab);
    ASSERT_EQ(d.rows.size(), 10u);
    loadsave_select(d, r.row);
    EXPECT_EQ(d.rows[r.row].number, r.number) << r.mode << " " << r.tab << " " << r.row;
    EXPECT_EQ(d.selection, r.slot) << r.number;
    EXPECT_EQ(d.ok_enabled, r.slot >= 0) << r.number;
    EXPECT_EQ(loadsave_close(d, true), r.slot) << r.number;
  }
  EXPECT_EQ(loadsave_row_slot(LOADSAVE_BASE_AUTO_QUICK, 1), -1) << "the empty row names no slot";
}

TEST_F(LoadSave, TitlesSplitAtTheBecauseCharacterOnly) {
  struct {
    std::string title, chapter, comment;
  } cases[] = {
      {"第一章∵森の入口", "第一章", "森の入口"},
      {"森の入口", "", "森の入口"},
      {"∵後", "", "後"},
      {"前∵中∵後", "前", "中∵後"},
      {"\x88\x81\xE6\x40", "", "\x88\x81\xE6\x40"},  // 0x81 0xE6 across two characters is no mark
  };
  for (const auto& c : cases) {
    loadsave_dialog d;
    loadsave_add_row(d, "  1", c.title, "26/12/09 07:00:00", "");
    EXPECT_EQ(d.rows[0].chapter, c.chapter) << c.title;
    EXPECT_EQ(d.rows[0].comment, c.comment) << c.title;
  }
}

TEST_F(LoadSave, NewMarksTheNewestSlotTheAutoRowAndAQuickSaveThatExists) {
  slot_file(103, "a");
  loadsave_dialog d = loadsave_model(1, 103);
  for (int row = 0; row < 10; row++) EXPECT_EQ(d.rows[row].marker, row == 2 ? "NEW" : "") << row;
  EXPECT_FALSE(d.rows[2].date.empty());
  loadsave_page_set(d, 10);
  EXPECT_EQ(d.rows[0].marker, "NEW") << "the Auto row, even without a file";
  EXPECT_EQ(d.rows[2].marker, "") << "no quick save yet";
  slot_file(10003, "q");
  slot_file(10004, "q2");
  loadsave_fill_page(d);
  for (int row = 1; row < 10; row++) EXPECT_EQ(d.rows[row].marker, row == 2 ? "NEW" : "") << row;
}

TEST_F(LoadSave, ThePageOpenLastIsKeptAndOpensAgain) {
  struct {
    int stored, mode, base;
  } cases[] = {
      {-7, 0, 101},   {501, 0, 501}, {1101, 0, 101}, {1101, 1, 1101},
      {1001, 1, 1001}, {55, 1, 101},  {350, 0, 101},  {1201, 1, 101},  // no page of the dialog: the first
  };
  for (const auto& c : cases) {
    if (c.stored != -7) store_base(c.stored);
    loadsave_dialog d = loadsave_model(c.mode, -1);
    EXPECT_EQ(d.base, c.base) << c.stored << " " << c.mode;
    EXPECT_EQ(d.tabs.size(), c.mode ? 11u : 10u);
    loadsave_close(d, false);
    EXPECT_EQ(stored_base(), c.base);
  }
  loadsave_dialog d = loadsave_model(0, -1);
  loadsave_page_set(d, 3);
  loadsave_select(d, 0);
  EXPECT_EQ(d.selection, 401);
  EXPECT_EQ(loadsave_close(d, false), -1) << "Cancel chooses nothing";
  EXPECT_EQ(stored_base(), 401) << "and still keeps the page";
}

TEST_F(LoadSave, TheDefaultNameHoldsNoCharacterThatNamesCannot) {
  std::tm when{};
  when.tm_year = 2026 - 1900, when.tm_mon = 11, when.tm_mday = 9, when.tm_hour = 7, when.tm_min = 5, when.tm_sec = 59;
  const std::string stamp = "（26年12月09日 07時05分）.sav";
  struct {
    std::string title, name;
  } cases[] = {
      {"第一章/森", "第一章／森" + stamp},
      {"a\\b:c,d;e*f?g'h<i>j|k", "a￥b：c，d；e＊f？g”h＜i＞j｜k" + stamp},
      {"ソ表", "ソ表" + stamp},  // trail bytes 0x5C are no backslash
      {"前\x87\x86後", "前" + stamp},
      {"", stamp},
      {std::string(300, '/'), [] {
         std::string s;
         for (int i = 0; i < 255; i++) s += "／";
         return s;
       }()},  // 511 bytes at most, whole characters
  };
  for (const auto& c : cases) EXPECT_EQ(save_default_name(c.title.c_str(), when), c.name) << c.title;
}

TEST_F(LoadSave, TheFormShowsThePageAndHandsBackTheChosenSlot) {
  slot_file(304, "三章∵橋の上", 4, 3);
  store_base(301);
  platform.form_answers.push_back([](dialog_form& f) {
    EXPECT_EQ(f.title, "データのセーブ");
    EXPECT_EQ(f.ok_label, "セーブ");
    EXPECT_FALSE(f.ok_enabled);
    EXPECT_EQ(f.find(IDC_LOADSAVE_TABS)->value, 2);
    form_control* list = f.find(IDC_LOADSAVE_LIST);
    EXPECT_EQ(list->rows[3], " 24\t三章\t橋の上\t" + savefile_date(304) + "\t");
    list->value = 3;
    f.on_change(f, *list);
    EXPECT_TRUE(f.ok_enabled);
    EXPECT_EQ(f.find(IDC_LOADSAVE_CHAPTER)->text, "三章");
    EXPECT_EQ(f.find(IDC_LOADSAVE_COMMENT)->text, "橋の上");
    const form_control* preview = f.find(IDC_LOADSAVE_PREVIEW);
    EXPECT_EQ(preview->width, 4);
    EXPECT_EQ(preview->pixels.size(), 12u);
    EXPECT_EQ(preview->pixels[11], 35u << 16 | 34u << 8 | 33u);  // blue-green-red bytes 33, 34, 35
    return IDOK;
  });
  EXPECT_EQ(loadsave_dialog_open(0, -1), 304);
}

TEST_F(LoadSave, TheFileChooserRefusesLongPathsAndKeepsTheFolderChosen) {
  std::string path;
  const std::string folder = "C:\\ゲーム\\保存";
  std::string long_name = folder + "\\" + std::string(191 - folder.size() - 1, 'x');  // 191 bytes: taken
  platform.file_dialog_answers = {{FILE_DIALOG_OK, long_name},
                                  {FILE_DIALOG_OK, long_name + "y"},
                                  {FILE_DIALOG_ERROR, ""},
                                  {FILE_DIALOG_CANCEL, ""}};
  EXPECT_EQ(save_file_dialog(path, 1, "章/一"), 0);
  EXPECT_EQ(path, long_name);
  EXPECT_EQ(save_file_dialog(path, 0, ""), 1) << "192 bytes of CP932 are too many";
  EXPECT_EQ(save_file_dialog(path, 0, ""), 1);
  EXPECT_EQ(save_file_dialog(path, 0, ""), 1);
  ASSERT_EQ(platform.file_dialogs.size(), 4u);
  const file_dialog_spec &save = platform.file_dialogs[0], &load = platform.file_dialogs[1];
  EXPECT_TRUE(save.save && !load.save);
  EXPECT_EQ(save.file_name.substr(0, 6), "章／一");
  EXPECT_EQ(save.folder.substr(save.folder.size() - 9), "\\savedata");
  EXPECT_EQ(load.file_name, "");
  EXPECT_EQ(load.folder, folder) << "the folder of the file chosen last";
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text, "ファイル名が長すぎます");
  EXPECT_EQ(platform.boxes[1].text, "エラーです");
}

TEST_F(LoadSave, TheDialogBuiltinsAnswerWhatHappened) {
  slot_file(4, "only a header");
  slot_saved(5);
  vm_reset();  // no snapshot any more
  std::string foreign = save_slot_path(6);
  std::ofstream(host(foreign)) << "not a save";
  run_state_set(RUN_GO);
  platform.file_dialog_answers = {{FILE_DIALOG_OK, foreign}, {FILE_DIALOG_OK, save_slot_path(4)},
                                  {FILE_DIALOG_OK, save_slot_path(5)}, {FILE_DIALOG_OK, save_slot_path(7)}};
  EXPECT_EQ(call_int("load_as_dialog"), -1) << "a foreign file";
  EXPECT_EQ(call_int("load_as_dialog"), -1) << "a damaged save";
  EXPECT_EQ(run_state_get(), RUN_GO);
  EXPECT_EQ(platform.boxes.size() == 1 ? platform.boxes[0].text : "", "セーブデータが壊れているため、ロードできませんでした");
  EXPECT_EQ(call_int("load_as_dialog"), 0);
  EXPECT_EQ(run_state_get(), RUN_LOAD);
  run_state_set(RUN_GO);
  EXPECT_EQ(call_int("save_as_dialog"), -1) << "no snapshot taken: nothing was written";
  EXPECT_FALSE(game_path_is_file(save_slot_path(7)));
  EXPECT_EQ(call_int("save_as_dialog"), -1) << "cancelled";
  reg_set_int(reg_global_name(), reg_local_name(), "QuickloadFailsafe", 0);
  slot_file(10003, "a damaged quick save");
  request_post(REQUEST_QUICK_LOAD);
  EXPECT_EQ(request_dispatch(), 0);
  EXPECT_EQ(platform.boxes.size(), 2u);
}

}  // namespace
