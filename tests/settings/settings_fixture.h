// A clean store and environment per test: the user's configuration folder and the game folder
// are temporary folders, and every cache of the settings modules starts empty.
#pragma once

#include <string>

#include "test_support.h"

class settings_test : public engine_test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the environment file into the game folder and loads it.
  void load_env(const std::string& text);
  // The text of a file under the configuration folder ("" when it does not exist).
  std::string config_file(const std::string& relative) const;
  std::string config_path(const std::string& relative) const { return home.at("config/" + relative); }

  temp_dir home;  // $HOME; $XDG_CONFIG_HOME is its "config" folder
  temp_dir game;  // the base folder, holding the environment file
};
