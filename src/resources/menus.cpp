#include "resources/menus.h"

#include <algorithm>

// Labels by command id. The save and load entries, the quick entries, the choice jumps, the wide
// mode and the settings entry keep the texts the engine always showed.
static const std::vector<menu_command> commands = {
    {IDM_EXIT, "終了(&X)", false},
    {IDM_FULLSCREEN, "フルスクリーン(&F)", true},
    {IDM_WINDOWED, "ウィンドウ(&W)", true},
    {IDM_ABOUT, "バージョン情報(&A)...", false},
    {IDM_SPEED_DIALOG, "速度の設定(&S)...", false},
    {IDM_VOLUME_DIALOG, "音量の設定(&V)...", false},
    {IDM_CAPTURE, "画面をキャプチャ(&C)...", false},
    {IDM_SKIP_ALL, "全てスキップ(&K)", false},
    {IDM_SAVE, "セーブ(&S)", false},
    {IDM_LOAD, "ロード(&O)", false},
    {IDM_SAVE_AS, "名前を付けてセーブ(&A)", false},
    {IDM_LOAD_BY_NAME, "名前で指定してロード(&L)", false},
    {IDM_SKIP_READ, "既読スキップ(&R)", false},
    {IDM_AUTO, "オートモード(&A)", false},
    {IDM_BACKLOG, "メッセージ履歴(&B)", false},
    {IDM_TITLE_RETURN, "タイトルに戻る(&T)", false},
    {IDM_NANIDO_0, "とてもやさしい(&1)", true},
    {IDM_NANIDO_0 + 1, "やさしい(&2)", true},
    {IDM_NANIDO_0 + 2, "ふつう(&3)", true},
    {IDM_NANIDO_0 + 3, "むずかしい(&4)", true},
    {IDM_NANIDO_0 + 4, "とてもむずかしい(&5)", true},
    {IDM_GAME_SPEED_0, "遅い(&1)", true},
    {IDM_GAME_SPEED_0 + 1, "標準(&2)", true},
    {IDM_GAME_SPEED_0 + 2, "速い(&3)", true},
    {IDM_GAME_SPEED_0 + 3, "とても速い(&4)", true},
    {IDM_HELP, "ヘルプ(&H)", false},
    {IDM_TOPMOST, "常に手前に表示(&T)", true},
    {IDM_CONFIG, "コンフィグ", false},
    {IDM_SCREEN_OPTION, "画面の設定(&O)...", false},
    {IDM_FONT_SELECT, "フォントの選択(&F)...", false},
    {IDM_DEBUG_LOG, "デバッグログを開く(&D)", false},
    {IDM_VOICE_SETUP, "音声の設定(&O)...", false},
    {IDM_JOYSTICK, "ジョイスティックを使う(&J)", true},
    {IDM_MOVIE_OFF, "ムービーを再生しない(&0)", true},
    {IDM_USER_SUPPORT, "ユーザーサポート(&U)...", false},
    {IDM_HELP_EVENT, "操作方法(&M)", false},
    {IDM_QUICK_SAVE, "Qセーブ(&S)", false},
    {IDM_QUICK_LOAD, "Qロード(&L)", false},
    {IDM_PREV_CHOICE, "前の選択に戻る(&P)", false},
    {IDM_NEXT_CHOICE, "次の選択に飛ぶ(&N)", false},
    {IDM_WIDE_MODE, "ワイドモード(&M)", true},
    {IDM_EXTRA_SETUP, "拡張設定(&E)...", false},
    {IDM_MOVIE_METHOD_1, "再生方式１(&1)", true},
    {IDM_MOVIE_METHOD_2, "再生方式２(&2)", true},
};

const std::vector<menu_command>& menu_commands() { return commands; }

const menu_command* menu_command_find(int id) {
  auto it = std::find_if(commands.begin(), commands.end(), [id](const menu_command& c) { return c.id == id; });
  return it == commands.end() ? nullptr : &*it;
}

// Menus shared by the variants, put together from runs of entries. {0, nullptr} is a separator.
static constexpr menu_node SEPARATOR = {0, nullptr};
using menu_run = std::vector<menu_node>;

static menu_run join(std::initializer_list<menu_run> runs) {
  menu_run nodes;
  for (const menu_run& run : runs) nodes.insert(nodes.end(), run.begin(), run.end());
  return nodes;
}

static const menu_run save_load = {{IDM_SAVE, nullptr}, {IDM_LOAD, nullptr}, SEPARATOR};
static const menu_run by_name = {{IDM_SAVE_AS, nullptr}, {IDM_LOAD_BY_NAME, nullptr}, SEPARATOR};
static const menu_run file_tail = {
    {IDM_CAPTURE, nullptr}, SEPARATOR, {IDM_TITLE_RETURN, nullptr}, {IDM_EXIT, nullptr}};
static const menu_popup file_menu = {"ファイル(&F)", join({save_load, by_name, file_tail})};
// The variants without the save-as and load-by-name entries (their Alt shortcuts are off too).
static const menu_popup file_menu_short = {"ファイル(&F)", join({save_load, file_tail})};
static const menu_popup quick_menu = {"クイック(&Q)", {{IDM_QUICK_SAVE, nullptr}, {IDM_QUICK_LOAD, nullptr}}};
static const menu_popup screen_menu = {"画面(&D)",
                                       {{IDM_WINDOWED, nullptr},
                                        {IDM_FULLSCREEN, nullptr},
                                        {IDM_WIDE_MODE, nullptr},
                                        SEPARATOR,
                                        {IDM_TOPMOST, nullptr},
                                        {IDM_SCREEN_OPTION, nullptr}}};
static const menu_popup skip_menu = {"スキップ(&S)",
                                     {{IDM_SKIP_READ, nullptr},
                                      {IDM_SKIP_ALL, nullptr},
                                      {IDM_AUTO, nullptr},
                                      SEPARATOR,
                                      {IDM_NEXT_CHOICE, nullptr},
                                      {IDM_PREV_CHOICE, nullptr},
                                      SEPARATOR,
                                      {IDM_BACKLOG, nullptr}}};
static const menu_popup nanido_menu = {"難易度(&D)",
                                       {{IDM_NANIDO_0, nullptr},
                                        {IDM_NANIDO_0 + 1, nullptr},
                                        {IDM_NANIDO_0 + 2, nullptr},
                                        {IDM_NANIDO_0 + 3, nullptr},
                                        {IDM_NANIDO_0 + 4, nullptr}}};
static const menu_popup game_speed_menu = {"ゲーム速度(&G)",
                                           {{IDM_GAME_SPEED_0, nullptr},
                                            {IDM_GAME_SPEED_0 + 1, nullptr},
                                            {IDM_GAME_SPEED_0 + 2, nullptr},
                                            {IDM_GAME_SPEED_0 + 3, nullptr}}};
static const menu_popup movie_menu = {
    "ムービー(&M)", {{IDM_MOVIE_OFF, nullptr}, {IDM_MOVIE_METHOD_1, nullptr}, {IDM_MOVIE_METHOD_2, nullptr}}};
static const menu_run levels = {{0, &nanido_menu}, {0, &game_speed_menu}, SEPARATOR};
static const menu_run dialogs = {
    {IDM_SPEED_DIALOG, nullptr}, {IDM_VOLUME_DIALOG, nullptr}, {IDM_VOICE_SETUP, nullptr}, {IDM_FONT_SELECT, nullptr}};
static const menu_run devices = {SEPARATOR, {IDM_JOYSTICK, nullptr}, {0, &movie_menu}};
static const menu_popup settings_menu = {"設定(&C)", join({levels, dialogs, devices})};
// With the extra setup dialog.
static const menu_popup settings_menu_extra = {"設定(&C)", join({levels, dialogs, {{IDM_EXTRA_SETUP, nullptr}}, devices})};
// The game's own settings screen in place of the engine's dialogs.
static const menu_popup settings_menu_game = {"設定(&C)", join({{{IDM_CONFIG, nullptr}, SEPARATOR}, levels, {{IDM_JOYSTICK, nullptr}, {0, &movie_menu}}})};
static const menu_popup help_menu = {"ヘルプ(&H)",
                                     {{IDM_HELP, nullptr},
                                      {IDM_HELP_EVENT, nullptr},
                                      SEPARATOR,
                                      {IDM_USER_SUPPORT, nullptr},
                                      {IDM_DEBUG_LOG, nullptr},
                                      SEPARATOR,
                                      {IDM_ABOUT, nullptr}}};

static const std::vector<menu_model> models = {
    {"VASKEL_MAIN", {&file_menu, &quick_menu, &screen_menu, &skip_menu, &settings_menu, &help_menu}},
    {"VASKEL_MAIN_ALT_A", {&file_menu_short, &quick_menu, &screen_menu, &skip_menu, &settings_menu, &help_menu}},
    {"VASKEL_MAIN_ALT_B", {&file_menu_short, &quick_menu, &screen_menu, &skip_menu, &settings_menu, &help_menu}},
    {"VASKEL_MAIN_ALT_C", {&file_menu_short, &quick_menu, &screen_menu, &skip_menu, &settings_menu, &help_menu}},
    {"VASKEL_MAIN_NOCONFIG", {&file_menu, &quick_menu, &screen_menu, &skip_menu, &settings_menu_game, &help_menu}},
    {"VASKEL_MAIN_EXTRAMENU", {&file_menu, &quick_menu, &screen_menu, &skip_menu, &settings_menu_extra, &help_menu}},
};

const std::vector<menu_model>& menu_models() { return models; }

const menu_model* menu_model_find(std::string_view name) {
  for (const menu_model& m : models)
    if (name == m.name) return &m;
  return nullptr;
}

static void collect_ids(const menu_popup& popup, std::vector<int>& ids) {
  for (const menu_node& node : popup.nodes) {
    if (node.popup)
      collect_ids(*node.popup, ids);
    else if (node.id > 0)
      ids.push_back(node.id);
  }
}

std::vector<int> menu_model_ids(const menu_model& model) {
  std::vector<int> ids;
  for (const menu_popup* popup : model.bar) collect_ids(*popup, ids);
  return ids;
}

const char* message_dialog_text(std::string_view template_name) {
  if (template_name == "NAMECACHE") return "ゲームデータを準備しています。\nしばらくお待ちください。";
  return nullptr;
}
