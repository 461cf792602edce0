#include <gtest/gtest.h>

#include <cstring>

#include "base/env.h"
#include "base/registry.h"
#include "resources/menus.h"
#include "settings_fixture.h"
#include "shell/env_keys.h"

using EnvironmentKeys = settings_test;

TEST_F(EnvironmentKeys, DefaultsWithoutAFile) {
  EXPECT_EQ(client_width(), 640);
  EXPECT_EQ(client_height(), 480);
  EXPECT_EQ(space_indent(), 1);
  EXPECT_EQ(indent_offset(), 0);
  EXPECT_EQ(music_vol_default(), 650);
  EXPECT_EQ(detect_wide_monitor(), 1);
  EXPECT_EQ(quickload_failsafe_default(), 2);
  EXPECT_EQ(quicksave_failsafe_default(), 0);
  EXPECT_STREQ(reg_global_name(), "VASKEL_SYSTEM");
  EXPECT_STREQ(reg_local_name(), "VASKEL_RUNTIME");
  EXPECT_STREQ(app_title(), "ＶＡＳＫＥＬ　スクリプトエンジン");
  EXPECT_EQ(alt_gender(), nullptr);
}

TEST_F(EnvironmentKeys, ValuesAreReadOnceAndKept) {
  load_env("SPACEINDENT 0\nINDENTOFFSET -1\nKINSOKU_TYPE 2\nTITLEBAR My|Game\nALTGENDER Voice\n");
  EXPECT_EQ(space_indent(), 0);
  EXPECT_EQ(indent_offset(), -1);  // -1 is a value here: the slot's sentinel is -999
  EXPECT_EQ(kinsoku_type(), 2);
  EXPECT_STREQ(app_title(), "My Game");
  EXPECT_STREQ(alt_gender(), "Voice");
  // The file changes under the cache: nothing read before changes during the run.
  env_free();
  load_env("SPACEINDENT 1\nINDENTOFFSET 5\nKINSOKU_TYPE 0\nTITLEBAR Other\n");
  EXPECT_EQ(space_indent(), 0);
  EXPECT_EQ(indent_offset(), -1);
  EXPECT_EQ(kinsoku_type(), 2);
  EXPECT_STREQ(app_title(), "My Game");
}

TEST_F(EnvironmentKeys, GameSizeOfZeroIsLookedUpAgain) {
  load_env("CLIENT_WIDTH 0\nCLIENT_HEIGHT -5\n");
  EXPECT_EQ(client_width(), 640);
  EXPECT_EQ(client_height(), 480);  // no negative game size reaches the pages
  env_free();
  load_env("CLIENT_WIDTH 800\nCLIENT_HEIGHT 600\n");
  EXPECT_EQ(client_width(), 800);
  EXPECT_EQ(client_height(), 600);
  env_free();
  EXPECT_EQ(client_width(), 800);  // now kept
}

TEST_F(EnvironmentKeys, LoadSaveDisabledGreysTheMenuOnce) {
  load_env("LOADSAVEDISABLE 1\n");
  EXPECT_EQ(loadsave_disabled(), 1);
  for (int id : {IDM_SAVE, IDM_SAVE_AS, IDM_LOAD, IDM_LOAD_BY_NAME}) {
    ASSERT_EQ(platform.menu_enabled.count(id), 1u) << id;
    EXPECT_FALSE(platform.menu_enabled[id]) << id;
  }
  platform.menu_enabled.clear();
  EXPECT_EQ(loadsave_disabled(), 1);
  EXPECT_TRUE(platform.menu_enabled.empty());
}

TEST_F(EnvironmentKeys, DesktopClasses) {
  struct {
    int width, height, expected;
  } cases[] = {{1280, 1024, 0}, {1024, 768, 0}, {1440, 900, 1}, {1920, 1080, 2}, {800, 0, 0}};
  for (const auto& c : cases) {
    env_keys_reset();
    platform.screen_width = c.width;
    platform.screen_height = c.height;
    EXPECT_EQ(wide_monitor_class(), c.expected) << c.width << "x" << c.height;
  }
  // Read once: a changed display does not change the class during the run.
  platform.screen_width = 1024;
  platform.screen_height = 768;
  EXPECT_EQ(wide_monitor_class(), 0);
}

TEST_F(EnvironmentKeys, StoredFullScreenSizesAreBounded) {
  const char* g = reg_global_name();
  const char* l = reg_local_name();
  platform.screen_width = 1280;
  platform.screen_height = 1024;
  reg_set_int(g, l, "FullScWide5", 2);
  EXPECT_EQ(full_sc_wide_get(), 0);  // a 4:3 desktop has no wide preference
  env_keys_reset();
  platform.screen_width = 1920;
  platform.screen_height = 1080;
  EXPECT_EQ(full_sc_wide_get(), 2);

  EXPECT_EQ(reg_width_get(), 0);
  reg_set_int(g, l, "RegWidth3", 2560);
  EXPECT_EQ(reg_width_get(), 1920);
  reg_set_int(g, l, "RegWidth3", 320);
  EXPECT_EQ(reg_width_get(), 640);

  EXPECT_EQ(reg_height_get(), 0);
  reg_set_int(g, l, "RegHeight3", 400);
  EXPECT_EQ(reg_height_get(), 480);
  reg_set_int(g, l, "WideMode", 1);
  EXPECT_EQ(reg_height_get(), 400);  // at least 3/4 of 480
  reg_set_int(g, l, "RegHeight3", 300);
  EXPECT_EQ(reg_height_get(), 360);
  reg_set_int(g, l, "RegHeight3", 5000);
  EXPECT_EQ(reg_height_get(), 1200);
}
