// Whole-file writes that never leave a half-written file: the data goes to a temporary file in
// the same folder, which is synced and then renamed over the target.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes as the whole content of the file at the host path. False when any step fails;
// the old file (if any) is then untouched and no temporary file is left behind.
bool atomic_file_write(const std::string& host_path, const void* data, size_t size);
