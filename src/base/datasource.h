// Game-data sources: archives and loose folders, mounted by name, searched in mount order.
//
// Every subsystem reads game data through these calls and never through a path of its own. A
// stream opened from an archive is the archive file itself positioned at the entry: readers bound
// their reads by data_file_size (or the file's own length fields).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// A source's kind, and what data_source_add reports (NONE: nothing mounted).
enum data_source_kind {
  DATA_SOURCE_NONE = -1,
  DATA_SOURCE_FOLDER = 0,
  DATA_SOURCE_ARCHIVE32 = 1,  // V1 or V2: 32-bit name hashes
  DATA_SOURCE_ARCHIVE64 = 2,  // V3: 64-bit name hashes
};

constexpr size_t ARCHIVE_HEADER_SIZE = 28;
constexpr size_t DATA_PATH_SIZE = 260;  // buffers that data_file_source fills

struct archive_entry32 {
  uint32_t hash, offset, size;
};
struct archive_entry64 {
  uint64_t hash;
  uint32_t offset, size;
};
struct folder_entry {
  uint64_t hash;
  uint32_t folder;     // index into data_source::folders
  uint32_t next_same;  // next entry with the same hash, in scan order; UINT32_MAX ends the chain
};

// One mounted name. Records are never unlinked while the program runs, only reset.
struct data_source {
  std::string path;  // archive: the file it was opened by; folder: the folder with a trailing "\"
  std::string name;  // the mount name as given
  unsigned char header[ARCHIVE_HEADER_SIZE];  // as read; zero for a folder
  bool has_table = false;                     // an archive's entry table is loaded
  std::vector<archive_entry32> narrow;        // V1/V2, sorted by hash
  std::vector<archive_entry64> wide;          // V3, sorted by hash
  std::vector<folder_entry> index;            // a folder's files in scan order
  std::vector<std::string> folders;           // absolute folder paths, no trailing separator
  std::unordered_map<uint64_t, std::pair<uint32_t, uint32_t>> first_last;  // hash -> chain ends
  int sound_only = 0;  // the size query skips this folder for names that are not sound names
  int kind = DATA_SOURCE_FOLDER;
};

// The base folder's loose files take part in every lookup; empty means no loose step.
void data_base_folder_set(const char* folder);
const std::string& data_base_folder();

// Mounts a name: an archive "<name>.arc" or a folder "<name>". -1 nothing mounted, 0 folder,
// 1 V1/V2 archive, 2 V3 archive. A damaged archive ends the program after a box.
int data_source_add(const char* mount_name, int sound_only);
// Forgets a source's tables and index; the record stays. nullptr when no source has that name.
data_source* data_source_reset(const char* mount_name);
// Fills a record from the name (the work of data_source_add, under its lock).
int data_source_open(const char* mount_name, data_source* source);

// Lookups by game-file name. A name that is absolute or climbs out with ".." is found nowhere (mount
// names are the engine's own; scripts reach data_source_add through archive_load, which refuses them).
// The opens tell the size of what they opened when asked (an archive entry's size, else the file's
// length); data_file_size can differ, since it skips sound-only folders for other names.
FILE* Ffopen(const char* name, const char* mode, uint32_t* size = nullptr);  // never null: asks Retry/Cancel until it opens
FILE* data_file_open(const char* name, const char* mode, uint32_t* size = nullptr);
uint32_t data_file_size(const char* name);
uint64_t data_file_time(const char* name);  // 100 ns units since 1601, 0 when unknown
char* data_file_source(const char* name, char* out);  // out: DATA_PATH_SIZE bytes; nullptr when not found
int data_file_exists(const char* name);

// The sources in mount order (for tests and diagnostics; the file lock guards the list).
std::vector<data_source*> data_sources_list();

// Frees every source and clears the base folder. The program never does this while it runs;
// tests do between cases.
void data_sources_clear();
