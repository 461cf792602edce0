// Files the engine writes (saves, settings, read marks, caches) are written whole to a temporary
// file beside the target and renamed over it, so a crash never leaves a half-written file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// Writes the bytes to the engine path. false when the file could not be written; the old file, if
// any, is then untouched.
bool atomic_file_write(std::string_view engine_path, const void* data, size_t size);

// The same with the rest of an open stream as the file's bytes.
bool atomic_file_copy(std::string_view engine_path, FILE* source);

// Creates a folder (engine path) and the folders above it; true when it exists afterwards.
bool folder_create(std::string_view engine_path);
