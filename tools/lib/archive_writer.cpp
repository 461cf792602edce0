#include "archive_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/cp932.h"
#include "base/hash.h"

static void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}

static void put_u64(std::string& out, uint64_t v) {
  put_u32(out, static_cast<uint32_t>(v));
  put_u32(out, static_cast<uint32_t>(v >> 32));
}

static std::string file_part(const std::string& name) {
  size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string archive_build(archive_version version, const std::vector<archive_member>& members,
                          archive_damage damage, bool shuffle_data) {
  struct entry {
    uint64_t hash;
    const archive_member* member;
    uint32_t offset;
  };
  std::vector<entry> entries;
  for (const archive_member& m : members) {
    std::string lower = cp932_lower(file_part(m.name));
    uint64_t hash = version == archive_version::v3 ? crc64_string(lower.c_str()) : crc32_string(lower.c_str());
    entries.push_back({hash, &m, 0});
  }
  std::sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) { return a.hash < b.hash; });

  size_t entry_size = version == archive_version::v1 ? 8 : version == archive_version::v2 ? 12 : 16;
  size_t table_entries = entries.size() + (version == archive_version::v1 ? 1 : 0);
  uint32_t data_start = static_cast<uint32_t>(28 + table_entries * entry_size);

  // Data order: table order, or reversed (V1 spans must follow the table, so it never shuffles).
  std::vector<entry*> data_order;
  for (entry& e : entries) data_order.push_back(&e);
  if (shuffle_data && version != archive_version::v1) std::reverse(data_order.begin(), data_order.end());
  std::string data;
  for (entry* e : data_order) {
    e->offset = data_start + static_cast<uint32_t>(data.size());
    data += e->member->data;
  }

  std::string out;
  static const char* const MAGIC[] = {"VaskelArcV1.000", "VaskelArcV2.000", "VaskelArcV3.000"};
  std::string magic(MAGIC[static_cast<int>(version)], 16);  // the NUL is part of the magic
  if (damage == archive_damage::bad_magic) magic[10] = '9';
  out += magic;
  put_u32(out, damage == archive_damage::huge_count ? 0x10000000u : static_cast<uint32_t>(entries.size()));
  put_u32(out, 0);
  put_u32(out, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const entry& e = entries[i];
    uint32_t offset = (damage == archive_damage::offset_past_end && i == 0) ? 0x7FFFFFF0u : e.offset;
    if (version == archive_version::v3)
      put_u64(out, e.hash);
    else
      put_u32(out, static_cast<uint32_t>(e.hash));
    put_u32(out, offset);
    if (version != archive_version::v1) put_u32(out, static_cast<uint32_t>(e.member->data.size()));
  }
  if (version == archive_version::v1) {
    put_u32(out, 0);
    put_u32(out, data_start + static_cast<uint32_t>(data.size()));
  }
  out += data;
  if (damage == archive_damage::extra_byte) out.push_back('\0');
  if (damage == archive_damage::truncated && !out.empty()) out.pop_back();
  if (damage == archive_damage::short_header) out.resize(20);
  return out;
}

bool archive_write(const std::string& path, archive_version version, const std::vector<archive_member>& members,
                   archive_damage damage) {
  std::string bytes = archive_build(version, members, damage);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}
