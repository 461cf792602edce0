// The menu models: what every variant holds, and labels a player can use.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "resources/menus.h"

// The access key of a label: the character after a single "&" (0 for none).
static char access_key(const char* label) {
  for (const char* p = label; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(p[1])));
  }
  return 0;
}

static const char* node_label(const menu_node& node) {
  if (node.popup) return node.popup->label;
  const menu_command* c = menu_command_find(node.id);
  return c ? c->label : nullptr;
}

static void check_popup(const menu_popup& popup, const std::string& where) {
  std::map<char, std::string> keys;
  for (const menu_node& node : popup.nodes) {
    if (!node.popup && node.id == 0) continue;  // separator
    const char* label = node_label(node);
    ASSERT_NE(label, nullptr) << where << ": id " << node.id << " has no label";
    char key = access_key(label);
    if (key == 0) continue;
    EXPECT_FALSE(keys.count(key)) << where << ": access key '" << key << "' twice";
    keys[key] = label;
    if (node.popup) check_popup(*node.popup, where + " > " + node.popup->label);
  }
}

TEST(MenuModels, EveryVariantIsComplete) {
  const char* const names[] = {"VASKEL_MAIN",          "VASKEL_MAIN_ALT_A",    "VASKEL_MAIN_ALT_B",
                               "VASKEL_MAIN_ALT_C",    "VASKEL_MAIN_NOCONFIG", "VASKEL_MAIN_EXTRAMENU"};
  for (const char* name : names) {
    const menu_model* model = menu_model_find(name);
    ASSERT_NE(model, nullptr) << name;
    std::vector<int> ids = menu_model_ids(*model);
    std::set<int> unique(ids.begin(), ids.end());
    EXPECT_EQ(unique.size(), ids.size()) << name << ": an id stands twice";
    for (int always : {IDM_EXIT, IDM_SAVE, IDM_LOAD, IDM_QUICK_SAVE, IDM_QUICK_LOAD, IDM_FULLSCREEN, IDM_WINDOWED})
      EXPECT_TRUE(unique.count(always)) << name << " lacks " << always;
    // Top-level menus and every menu below have distinct access keys.
    std::map<char, int> top_keys;
    for (const menu_popup* popup : model->bar) {
      EXPECT_EQ(++top_keys[access_key(popup->label)], 1) << name << ": " << popup->label;
      check_popup(*popup, std::string(name) + " > " + popup->label);
    }
  }
  EXPECT_EQ(menu_model_find("VASKEL_NONE"), nullptr);
  EXPECT_EQ(menu_model_find(""), nullptr);
}

TEST(MenuModels, VariantsDifferWhereTheirKeysSay) {
  auto holds = [](const char* name, int id) {
    std::vector<int> ids = menu_model_ids(*menu_model_find(name));
    return std::find(ids.begin(), ids.end(), id) != ids.end();
  };
  EXPECT_TRUE(holds("VASKEL_MAIN_NOCONFIG", IDM_CONFIG));
  EXPECT_FALSE(holds("VASKEL_MAIN", IDM_CONFIG));
  EXPECT_FALSE(holds("VASKEL_MAIN_NOCONFIG", IDM_VOLUME_DIALOG));
  EXPECT_TRUE(holds("VASKEL_MAIN_EXTRAMENU", IDM_EXTRA_SETUP));
  EXPECT_FALSE(holds("VASKEL_MAIN", IDM_EXTRA_SETUP));
  for (const char* alt : {"VASKEL_MAIN_ALT_A", "VASKEL_MAIN_ALT_B", "VASKEL_MAIN_ALT_C"}) {
    EXPECT_FALSE(holds(alt, IDM_SAVE_AS)) << alt;  // their Alt shortcuts are off too
    EXPECT_FALSE(holds(alt, IDM_LOAD_BY_NAME)) << alt;
  }
  // Every command the window knows stands in some variant.
  for (const menu_command& c : menu_commands()) {
    bool somewhere = false;
    for (const menu_model& m : menu_models()) somewhere |= holds(m.name, c.id);
    EXPECT_TRUE(somewhere) << c.id;
  }
}

TEST(MenuModels, LabelsTheEngineAlwaysShowed) {
  EXPECT_STREQ(menu_command_find(IDM_SAVE)->label, "セーブ(&S)");
  EXPECT_STREQ(menu_command_find(IDM_LOAD_BY_NAME)->label, "名前で指定してロード(&L)");
  EXPECT_STREQ(menu_command_find(IDM_QUICK_SAVE)->label, "Qセーブ(&S)");
  EXPECT_STREQ(menu_command_find(IDM_CONFIG)->label, "コンフィグ");
  EXPECT_TRUE(menu_command_find(IDM_WIDE_MODE)->checkable);
  EXPECT_FALSE(menu_command_find(IDM_EXIT)->checkable);
  EXPECT_EQ(menu_command_find(40016), nullptr);
  EXPECT_NE(message_dialog_text("NAMECACHE"), nullptr);
  EXPECT_EQ(message_dialog_text("OTHER"), nullptr);
}
