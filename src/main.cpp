// vaskrun: runs the game whose data lies in the current folder.
//
// The start-up sequence mounts the data sources and would then run the game's scripts; the script
// machine and the window are not part of this build yet, so the program mounts what it finds,
// reports it and stops.
#include <cstdio>
#include <string>

#include "base/cp932.h"
#include "base/datasource.h"
#include "base/memory.h"

// Mount names, in the order start-up mounts them: each group from its "12" form down to the bare
// name.
static void mount_group(const char* stem, int sound_only) {
  for (int n = 12; n >= 0; --n) {
    std::string name = n == 0 ? std::string(stem) : std::string(stem) + std::to_string(n);
    data_source_add(name.c_str(), sound_only);
  }
}

int main() {
  mem_new_handler_install();
  for (const char* stem : {"update", "fastdata", "scenario", "data", "slowdata"}) mount_group(stem, 0);
  for (const char* stem : {"stream", "voice"}) mount_group(stem, 1);

  static const char* const KIND_NAMES[] = {"folder", "archive (V1/V2)", "archive (V3)"};
  int count = 0;
  for (const data_source* s : data_sources_list()) {
    size_t files = s->index.size() + s->narrow.size() + s->wide.size();
    printf("vaskrun: mounted %-10s %-16s %zu files\n", cp932_to_utf8_lenient(s->name).c_str(), KIND_NAMES[s->kind],
           files);
    ++count;
  }
  if (count == 0) printf("vaskrun: no game data found in this folder\n");
  printf("vaskrun: the script machine and the game window are not built yet; nothing more to run\n");
  return 0;
}
