// Archive writer for fixtures and the sample game: V1, V2 and V3 archives, and damaged variants
// that the loader must refuse.
#pragma once

#include <string>
#include <vector>

enum class archive_version { v1, v2, v3 };

enum class archive_damage {
  none,
  extra_byte,       // one byte after the last datum
  truncated,        // the last datum's last byte is missing
  bad_magic,        // the magic's version digit is unknown
  short_header,     // the file ends inside the header
  huge_count,       // the entry count claims more entries than the file could hold
  offset_past_end,  // the first entry points past the end of the file
};

struct archive_member {
  std::string name;  // engine text (CP932); hashed lower-cased, without any folder part
  std::string data;
};

// The archive's bytes. Entries are sorted by hash as the loader's binary search expects; with
// shuffle_data the data lie in another order than the table (still a sound archive).
std::string archive_build(archive_version version, const std::vector<archive_member>& members,
                          archive_damage damage = archive_damage::none, bool shuffle_data = false);

// Writes archive_build's bytes to a host path; false on a write error.
bool archive_write(const std::string& path, archive_version version, const std::vector<archive_member>& members,
                   archive_damage damage = archive_damage::none);
