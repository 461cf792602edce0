// Script text files: comma-separated text read from the game data, and text files written where
// the user chooses. Scripts hold a file as an integer handle; every handle is looked up in the
// module's table before use, so a bad or closed one is reported and does no harm.
//
// Reading: a line is at most TEXT_LINE_SIZE - 1 bytes (a longer one is read as several, cut on a
// character boundary), "\r\n" and "\n" both end it, and a stream never reads past its game file's
// end (an archive entry's stream is the archive itself). In everything read, ";" or "//" starts a
// comment to the end of the line, and bytes of 32 or less are trimmed from both ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr size_t TEXT_LINE_SIZE = 512;

struct text_file_handle {
  FILE* file = nullptr;      // null: a create whose dialog the user cancelled
  uint32_t left = 0;         // bytes the reader may still take
  int32_t keep_empty_lines = 0;  // every handle is made with 0: empty lines are skipped
  bool writing = false;
  std::string path, temporary;   // written files: the chosen file and the one written until close
  char pending[TEXT_LINE_SIZE] = "";  // the unread rest of the current line
};

// A reading handle over an open host stream of size bytes (fuzzers, tools); the handle owns it.
int32_t textfile_wrap(FILE* file, uint32_t size);
// The handle's record, or null.
text_file_handle* textfile_find(int32_t handle);
// The next comma-separated field (false at the end of the file), and the rest of the current line
// or the next non-empty one ("" and false at the end).
bool textfile_next_field(text_file_handle* h, std::string& field);
bool textfile_rest_of_line(text_file_handle* h, std::string& line);
// Closes one handle (a written file takes its place now); false for a bad handle.
bool textfile_close_handle(int32_t handle);
// Closes every handle (the module's reset; also run at process exit, so no written text is lost).
void textfile_close_all();

int builtin_textfile_create(int32_t n, int32_t drop);
int builtin_textfile_write_line(int32_t n, int32_t drop);
int builtin_textfile_open(int32_t n, int32_t drop);
int builtin_textfile_close(int32_t n, int32_t drop);
int builtin_textfile_read_int(int32_t n, int32_t drop);
int builtin_textfile_read_str(int32_t n, int32_t drop);
int builtin_textfile_read_line(int32_t n, int32_t drop);
