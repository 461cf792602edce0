#include "settings_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/datasource.h"
#include "base/env.h"
#include "base/registry.h"
#include "shell/env_keys.h"
#include "shell/settings.h"
#include "shell/window_core.h"
#include "platform/window.h"

static void reset_all() {
  reg_store_reset();
  env_free();
  env_keys_reset();
  settings_reset();
  data_sources_clear();
  window_core_reset();
  windows_reset();
}

void settings_test::SetUp() {
  engine_test::SetUp();
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.at("config").c_str(), 1);
  reset_all();
  data_base_folder_set(game.path().c_str());
}

void settings_test::TearDown() {
  reset_all();
  engine_test::TearDown();
}

void settings_test::load_env(const std::string& text) {
  game.write("vaskel.env", text);
  ASSERT_EQ(env_load("vaskel.env"), 0);
}

std::string settings_test::config_file(const std::string& relative) const {
  std::ifstream in(config_path(relative), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
