#pragma once
// The files a tool is given to read or write, checked alike by every tool: a directory, a
// device, a pipe or a socket where a file is expected gets one clear line instead of a hang,
// an endless read or an abort, and a read never takes more than its bound, whatever the source.
#include <cstddef>
#include <string>

namespace corvane::tools {

// Why `path` is no file to read or to replace: "it is a directory", "it is not a regular file
// (a device, a pipe or a socket)"; empty for a regular file, a symbolic link (not followed) or
// nothing at all.
std::string WhyNotAFile(const std::string& path);

struct InputFile {
  std::string text;     // at most the bound's bytes
  size_t size = 0;      // the file's size (more than the text when it is longer than the bound)
  bool longer = false;  // the file holds more than the bound
};

// Reads a regular file, at most `bound` bytes of it: a longer one says so in `longer` and
// `size` without being read past the bound. False with one line in `error`: "cannot read
// PATH" when there is nothing there, "cannot read PATH: <why>" otherwise.
bool ReadInputFile(const std::string& path, size_t bound, InputFile* file, std::string* error);

}  // namespace corvane::tools
