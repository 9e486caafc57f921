#include <string>

#include "base/os/win/scoped_resource.h"
#include "tools/keygen/key_file.h"

namespace corvane::keygen {
namespace {

// The paths come from the narrow command line, in the process's code page.
std::string Reason(const std::string& path) {
  return path + ": error " + std::to_string(GetLastError());
}

}  // namespace

StagedKeyFile::~StagedKeyFile() {
  if (!staged_path_.empty()) DeleteFileA(staged_path_.c_str());
}

bool StagedKeyFile::Write(std::string_view text, bool /*owner_only*/, std::string* error) {
  // CREATE_NEW refuses any name that is taken, a link included. The new file gets the
  // default access of the user's files, which keeps it from other users.
  base::win::ScopedFileHandle file;
  std::string staged;
  for (int attempt = 0; !file.valid() && attempt < 100; ++attempt) {
    staged =
        path_ + ".new-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    file.reset(CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) {
    *error = Reason(staged);
    return false;
  }
  staged_path_ = staged;
  DWORD written = 0;
  const bool ok =
      WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size() && FlushFileBuffers(file.get());
  if (!ok) *error = Reason(staged_path_);
  return ok;
}

StagedKeyFile::Placed StagedKeyFile::Place(bool replace, std::string* error) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExA(staged_path_.c_str(), path_.c_str(), flags)) {
    const DWORD code = GetLastError();
    *error = Reason(path_);
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? Placed::kExists
                                                                     : Placed::kFailed;
  }
  staged_path_.clear();
  placed_ = !replace;
  return Placed::kPlaced;
}

void StagedKeyFile::Unplace() {
  if (placed_) DeleteFileA(path_.c_str());
  placed_ = false;
}

}  // namespace corvane::keygen
