#pragma once
// A key file written whole before it takes its name: the text goes to a new file beside the
// final path, created exclusively (so never through a symbolic link or into a file someone
// else holds open), and is then moved to the final path. Until it is moved, destruction
// removes it.
#include <string>
#include <string_view>
#include <utility>

namespace corvane::keygen {

class StagedKeyFile {
 public:
  explicit StagedKeyFile(std::string path) : path_(std::move(path)) {}
  ~StagedKeyFile();
  StagedKeyFile(const StagedKeyFile&) = delete;
  StagedKeyFile& operator=(const StagedKeyFile&) = delete;

  // Writes `text` to a new file beside the final path, readable by its owner alone when
  // `owner_only` (on Windows the new file has the user's default access in either case).
  // False, with the reason in `error`, when it cannot be created or written.
  bool Write(std::string_view text, bool owner_only, std::string* error);

  enum class Placed { kPlaced, kExists, kFailed };
  // Gives the written file its final name. Without `replace`, anything already there (a file,
  // a directory, a link, dangling or not) is left alone and reported as kExists; with it, a
  // file or a link there is replaced (the link itself, never what it points to).
  Placed Place(bool replace, std::string* error);

  // Removes the file from its final path again; only for a file placed without `replace`,
  // which this program created.
  void Unplace();

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string staged_path_;  // empty when there is no staged file
  bool placed_ = false;
};

}  // namespace corvane::keygen
