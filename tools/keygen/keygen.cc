// corvane-keygen: makes a reader key pair for the log encoder. The private half goes to one
// file as 64 hexadecimal digits, the public half (X then Y) to another as 128, the form the
// build takes in CORVANE_READER_KEYS_FILE; the public half is also printed. The private file
// is readable by its owner alone, and neither file is ever written through a symbolic link.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/log/log_reader.h"
#include "tools/common/command_line.h"
#include "tools/common/input_file.h"
#include "base/log/secp256k1.h"
#include "tools/keygen/key_file.h"

namespace {

constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kUsage = corvane::tools::kUsageExitCode;

const corvane::tools::ToolInterface kKeygenInterface = {
    "corvane-keygen",
    {"[--force] PRIVATE_KEY_FILE PUBLIC_KEY_FILE"},
    "Makes a new secp256k1 reader key pair for Corvane's logs.",
    {{"Arguments",
      {
          {"PRIVATE_KEY_FILE", "",
           "gets the private key: 64 hexadecimal digits, in a file only its\n"
           "owner may read. Keep it secret; it reads every log written\n"
           "against the public key."},
          {"PUBLIC_KEY_FILE", "",
           "gets the public key: 128 hexadecimal digits (X then Y), the form\n"
           "CORVANE_READER_KEYS_FILE takes. It is also printed."},
      }},
     {"Options", {{"--force", "", "replace files that exist (refused otherwise)"}}}},
    "The two files must differ. A symbolic link at either path is never written through:\n"
    "it is refused, or with --force replaced by the file.\n"
    "Exit codes: 0 done, 1 a file could not be written or no key could be made, 2 usage.",
    /*max_operands=*/2,
};

// Whether the two paths name one file, existing or not (links and "." steps resolved).
bool SamePath(const std::string& first, const std::string& second) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::equivalent(first, second, error)) return true;
  const auto resolved = [](const std::string& path) {
    std::error_code ignored;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(path, ignored), ignored);
    return canonical.empty() ? fs::absolute(path, ignored).lexically_normal() : canonical;
  };
  return resolved(first) == resolved(second);
}

// Something (a file, a directory, a link, dangling or not) is at `path`.
bool Taken(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() !=
             std::filesystem::file_type::not_found &&
         !error;
}

}  // namespace

int main(int argc, char** argv) {
  corvane::tools::CommandLine command_line;
  if (const auto answered =
          corvane::tools::ReadToolArguments(argc, argv, kKeygenInterface, &command_line)) {
    return *answered;
  }
  if (command_line.operands.size() != 2) {
    std::fputs("corvane-keygen: needs a private and a public key file (see --help)\n", stderr);
    return kUsage;
  }
  const bool force = command_line.Has("--force");
  const std::string& private_path = command_line.operands[0];
  const std::string& public_path = command_line.operands[1];
  const std::string paths[2] = {private_path, public_path};
  if (SamePath(paths[0], paths[1])) {
    std::fputs("corvane-keygen: the private and the public key need two different files\n", stderr);
    return kUsage;
  }
  for (const std::string& path : paths) {
    // Never replaced, not even with --force: a key file is a regular file.
    if (const std::string why = corvane::tools::WhyNotAFile(path); !why.empty()) {
      std::fprintf(stderr, "corvane-keygen: %s: %s; a key goes to a file\n", path.c_str(),
                   why.c_str());
      return kBadInput;
    }
    if (!force && Taken(path)) {
      std::fprintf(stderr, "corvane-keygen: %s exists; pass --force to overwrite it\n",
                   path.c_str());
      return kBadInput;
    }
  }

  base::log_crypt::Scalar private_key;
  base::log_crypt::PublicKey public_key;
  if (!base::log_crypt::DrawScalar(&private_key) ||
      !base::log_crypt::DerivePublicKey(private_key, &public_key)) {
    std::fputs("corvane-keygen: no key pair could be made (random source or libgcrypt)\n", stderr);
    return kBadInput;
  }
  const std::string public_hex = base::log_reader::ToHex(public_key);
  std::string private_text = base::log_reader::ToHex(private_key) + '\n';
  private_key.fill(0);

  // Both files are written whole before either takes its name, so that a failure leaves no
  // half of a pair behind.
  corvane::keygen::StagedKeyFile private_file(paths[0]);
  corvane::keygen::StagedKeyFile public_file(paths[1]);
  std::string error;
  const bool written = private_file.Write(private_text, /*owner_only=*/true, &error) &&
                       public_file.Write(public_hex + '\n', /*owner_only=*/false, &error);
  std::fill(private_text.begin(), private_text.end(), '\0');
  if (!written) {
    std::fprintf(stderr, "corvane-keygen: cannot write the key files: %s\n", error.c_str());
    return kBadInput;
  }
  using Placed = corvane::keygen::StagedKeyFile::Placed;
  Placed placed = private_file.Place(force, &error);
  if (placed == Placed::kPlaced) {
    placed = public_file.Place(force, &error);
    if (placed != Placed::kPlaced) private_file.Unplace();
  }
  if (placed == Placed::kExists) {
    std::fprintf(stderr, "corvane-keygen: %s; pass --force to overwrite it\n", error.c_str());
    return kBadInput;
  }
  if (placed != Placed::kPlaced) {
    std::fprintf(stderr, "corvane-keygen: cannot write the key files: %s\n", error.c_str());
    return kBadInput;
  }
  std::printf("%s\n", public_hex.c_str());
  return kOk;
}
