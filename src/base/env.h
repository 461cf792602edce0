// The environment file: the game's own configuration (window title, screen size, settings key
// names, menu variant, feature switches, defaults), shipped with its data and read once at
// start-up into a list of key and value texts.
//
// Syntax, line by line (text in CP932): at most 400 lines of at most 511 bytes each (a longer
// physical line goes on as the next line); a line beginning with "[EOF]" ends the file; a line
// whose first byte is a blank, a control byte or "/" is skipped; every byte of 32 or below
// separates tokens; the first token is the key, the next one the value, which must begin within
// 100 bytes of the key's end (else the line gives no entry); "|" in a value stands for a blank.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr const char* ENV_DEFAULT_FILE_NAME = "vaskel.env";
constexpr int ENV_MAX_LINES = 400;
constexpr size_t ENV_LINE_SIZE = 512;  // a line read holds at most ENV_LINE_SIZE - 1 bytes
constexpr size_t ENV_VALUE_REACH = 100;

struct env_entry {
  std::string key;
  std::string value;
};

// The file's name: string resource 1 of the program, or "vaskel.env" when that text is missing or
// begins with a blank (as in the shipped resources).
std::string env_file_name(const char* string_resource_1);

// Reads a game file (through the data sources) and appends its entries in file order; duplicates
// are kept and the first one wins. 0 after reading, -1 when the file cannot be opened.
int env_load(const char* file_name);

// The first entry's value read as a decimal number (0 when it holds none), or the default when no
// entry has the key. Keys compare exactly.
int env_get_int(const char* key, int default_value);

// Copies the first entry's value, or the default text, into out (size bytes, NUL included, cut on
// a character boundary) and returns out.
char* env_get_string(const char* key, char* out, size_t size, const char* default_text);

// Whether the last file read was UTF-8 rather than CP932 (then its text was converted).
bool env_read_as_utf8();

// Forgets every entry. An exit handler; tests call it between cases.
void env_free();

// The entries in file order (diagnostics and tests).
const std::vector<env_entry>& env_entries();
