#include "settings_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/datasource.h"
#include "base/env.h"

void settings_test::SetUp() {
  engine_test::SetUp();
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.at("config").c_str(), 1);
  settings_state_reset();
  data_base_folder_set(game.path().c_str());
}

void settings_test::TearDown() {
  settings_state_reset();
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
