// vaskasm: assembles script objects from text, and lists objects.
//
//   vaskasm [-x] INPUT.vasm OUTPUT.vko    assemble (-x writes the scrambled form)
//   vaskasm -d INPUT.vko                  print a listing of an object
//   vaskasm -r                            print the reference of the built-ins (docs/builtins.md)
//
// The text syntax is described in docs/assembler.md.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "builtin_reference.h"
#include "vko_assembler.h"

static bool read_file(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream data;
  data << in.rdbuf();
  out = data.str();
  return true;
}

static const char USAGE[] =
    "usage: vaskasm [-x] INPUT.vasm OUTPUT.vko\n"
    "       vaskasm -d INPUT.vko\n"
    "       vaskasm -r\n"
    "Assembles a script listing into a compiled object (-x: scrambled), lists an object (-d) as\n"
    "text that assembles back to the same bytes, or prints the reference of the built-ins (-r).\n";

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(USAGE, stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "-r") == 0) {
    fputs(builtin_reference().c_str(), stdout);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "-d") == 0) {
    std::string object;
    if (!read_file(argv[2], object)) {
      fprintf(stderr, "vaskasm: cannot read %s\n", argv[2]);
      return 1;
    }
    fputs(vko_disassemble(object).c_str(), stdout);
    return 0;
  }
  bool scrambled = argc == 4 && strcmp(argv[1], "-x") == 0;
  if (argc != 3 && !scrambled) {
    fputs(USAGE, stderr);
    return 2;
  }
  const char* input = argv[argc - 2];
  const char* output = argv[argc - 1];
  std::string source;
  if (!read_file(input, source)) {
    fprintf(stderr, "vaskasm: cannot read %s\n", input);
    return 1;
  }
  vko_builder builder;
  std::string error;
  std::vector<std::string> warnings;
  bool assembled = vko_assemble_text(source, builder, error, &warnings);
  for (const std::string& w : warnings) fprintf(stderr, "%s:%s\n", input, w.c_str());
  if (!assembled) {
    fprintf(stderr, "%s:%s\n", input, error.c_str());
    return 1;
  }
  if (!builder.write(output, scrambled)) {
    fprintf(stderr, "vaskasm: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
