#pragma once

// A TOML file that a user or a test writes, read with care: only a regular file, opened without
// blocking (a FIFO or a device never holds the reader up), of at most a given size, parsed by
// toml++ on a thread of its own whose stack holds the deepest nesting the text can have. That
// thread starts with every signal blocked. The parsed table lives on it, during one call.
//
// Errors: ReadTomlFile throws TomlFileError, whose text names the file and, for a file that is
// not TOML, the line and column: "FILE: not a regular file", "FILE:3:7: expected ...". A file
// that is not there is no error.
//
// Only what needs the table itself includes this (toml++ with it); the preferences store does not
// show it to its readers.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "preferences/Toml.h"

namespace preferences {

class TomlFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the file and hands its table to i_use, on the parsing thread; returns false, without
// calling i_use, when there is no such file. What i_use throws is thrown again here.
bool ReadTomlFile(const std::filesystem::path& i_path, std::size_t i_uMaxBytes,
                  const std::function<void(const toml::table&)>& i_use);

// The two halves of ReadTomlFile, for a reader that need not parse a text it has seen before:
// the file's text, or nothing when there is no such file; and the parse of that text, on a stack
// sized for it.
std::optional<std::string> ReadTomlText(const std::filesystem::path& i_path,
                                        std::size_t i_uMaxBytes);
void ParseTomlText(const std::string& i_strText, const std::filesystem::path& i_path,
                   const std::function<void(const toml::table&)>& i_use);

}  // namespace preferences
