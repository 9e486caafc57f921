#include "tools/common/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace corvane::tools {
namespace {

namespace fs = std::filesystem;

std::string Describe(fs::file_type type) {
  if (type == fs::file_type::directory) return "it is a directory";
  if (type == fs::file_type::regular || type == fs::file_type::symlink ||
      type == fs::file_type::not_found || type == fs::file_type::none) {
    return {};
  }
  return "it is not a regular file (a device, a pipe or a socket)";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string WhyNotAFile(const std::string& path) {
  std::error_code error;
  return Describe(fs::symlink_status(path, error).type());
}

bool ReadInputFile(const std::string& path, size_t bound, InputFile* file, std::string* error) {
  *file = {};
  // Looked at before it is opened: opening a pipe waits for a writer, and a device such as
  // /dev/zero never ends.
  std::error_code status_error;
  const fs::file_status status = fs::status(path, status_error);
  if (status.type() == fs::file_type::not_found) {
    *error = "cannot read " + path;
    return false;
  }
  if (status_error) {
    *error = "cannot read " + path + ": " + status_error.message();
    return false;
  }
  if (status.type() != fs::file_type::regular) {
    const std::string why = Describe(status.type());
    *error = "cannot read " + path + ": " + (why.empty() ? "it is not a regular file" : why);
    return false;
  }
  const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(path.c_str(), "rb"));
  if (!stream) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  // One byte past the bound tells a longer file (one that grew since it was looked at, too).
  file->text.resize(bound + 1);
  const size_t read = std::fread(file->text.data(), 1, file->text.size(), stream.get());
  if (std::ferror(stream.get())) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    file->text.clear();
    return false;
  }
  file->text.resize(read);
  std::error_code size_error;
  const auto size = fs::file_size(path, size_error);
  file->size = size_error ? read : std::max<size_t>(read, static_cast<size_t>(size));
  file->longer = read > bound || file->size > bound;
  if (read > bound) file->text.resize(bound);
  return true;
}

}  // namespace corvane::tools
