// vaskarc: packs files into a game archive.
//
//   vaskarc [-v1|-v2|-v3] [--damage=KIND] OUTPUT.arc INPUT...
//
// Each INPUT is a file or a folder; a folder's files are packed by bare name, subfolders included.
// The default version is v3. --damage writes a broken archive for tests: extra_byte, truncated,
// bad_magic, short_header, huge_count or offset_past_end.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive_writer.h"
#include "base/cp932.h"

namespace fs = std::filesystem;

static bool add_file(const fs::path& path, std::vector<archive_member>& members) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream data;
  data << in.rdbuf();
  std::string name;
  if (!utf8_to_cp932(path.filename().string(), name)) name = path.filename().string();
  members.push_back({name, data.str()});
  return true;
}

static const char USAGE[] =
    "usage: vaskarc [-v1|-v2|-v3] [--damage=KIND] OUTPUT.arc INPUT...\n"
    "Packs files into a game archive (version 3 unless told). Each INPUT is a file or a folder; a\n"
    "folder's files are packed by bare name, subfolders included. --damage writes a broken archive\n"
    "for tests: extra_byte, truncated, bad_magic, short_header, huge_count or offset_past_end.\n";

int main(int argc, char** argv) {
  archive_version version = archive_version::v3;
  archive_damage damage = archive_damage::none;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      fputs(USAGE, stdout);
      return 0;
    }
    if (opt == "-v1") version = archive_version::v1;
    else if (opt == "-v2") version = archive_version::v2;
    else if (opt == "-v3") version = archive_version::v3;
    else if (opt.rfind("--damage=", 0) == 0) {
      std::string kind = opt.substr(9);
      static const std::pair<const char*, archive_damage> KINDS[] = {
          {"extra_byte", archive_damage::extra_byte},     {"truncated", archive_damage::truncated},
          {"bad_magic", archive_damage::bad_magic},       {"short_header", archive_damage::short_header},
          {"huge_count", archive_damage::huge_count},     {"offset_past_end", archive_damage::offset_past_end}};
      bool known = false;
      for (auto& [n, d] : KINDS)
        if (kind == n) damage = d, known = true;
      if (!known) {
        fprintf(stderr, "vaskarc: unknown damage kind %s\n", kind.c_str());
        return 2;
      }
    } else {
      fprintf(stderr, "vaskarc: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (argc - i < 2) {
    fputs(USAGE, stderr);
    return 2;
  }
  const char* output = argv[i++];
  std::vector<archive_member> members;
  for (; i < argc; ++i) {
    fs::path input = argv[i];
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      for (const auto& e : fs::recursive_directory_iterator(input))
        if (e.is_regular_file() && !add_file(e.path(), members)) {
          fprintf(stderr, "vaskarc: cannot read %s\n", e.path().c_str());
          return 1;
        }
    } else if (!add_file(input, members)) {
      fprintf(stderr, "vaskarc: cannot read %s\n", argv[i]);
      return 1;
    }
  }
  if (!archive_write(output, version, members, damage)) {
    fprintf(stderr, "vaskarc: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
