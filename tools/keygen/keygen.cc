// corvane-keygen: makes a reader key pair for the log encoder. The private half goes to one
// file as 64 hexadecimal digits, the public half (X then Y) to another as 128, the form the
// build takes in CORVANE_READER_KEYS_FILE; the public half is also printed.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/log/log_reader.h"
#include "base/log/secp256k1.h"

namespace {

constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kUsage = 2;

constexpr char kHelp[] =
    "Usage: corvane-keygen [--force] PRIVATE_KEY_FILE PUBLIC_KEY_FILE\n"
    "\n"
    "Makes a new secp256k1 reader key pair for Corvane's logs.\n"
    "  PRIVATE_KEY_FILE  gets the private key: 64 hexadecimal digits. Keep it secret; it\n"
    "                    reads every log written against the public key.\n"
    "  PUBLIC_KEY_FILE   gets the public key: 128 hexadecimal digits (X then Y), the form\n"
    "                    CORVANE_READER_KEYS_FILE takes. It is also printed.\n"
    "  --force           overwrite files that exist (refused otherwise)\n"
    "\n"
    "Exit codes: 0 done, 1 a file could not be written or no key could be made, 2 usage.\n";

bool WriteKeyFile(const std::string& path, const std::string& hex) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << hex << '\n';
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  bool force = false;
  std::string paths[2];
  int path_count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kOk;
    }
    if (arg == "--force") {
      force = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "corvane-keygen: unknown option %s (see --help)\n", arg.c_str());
      return kUsage;
    } else if (path_count < 2) {
      paths[path_count++] = arg;
    } else {
      std::fputs("corvane-keygen: too many arguments (see --help)\n", stderr);
      return kUsage;
    }
  }
  if (path_count != 2) {
    std::fputs("corvane-keygen: needs a private and a public key file (see --help)\n", stderr);
    return kUsage;
  }
  for (const std::string& path : paths) {
    std::error_code error;
    if (!force && std::filesystem::exists(path, error)) {
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
  const bool written = WriteKeyFile(paths[0], base::log_reader::ToHex(private_key)) &&
                       WriteKeyFile(paths[1], public_hex);
  private_key.fill(0);
  if (!written) {
    std::fputs("corvane-keygen: cannot write the key files\n", stderr);
    return kBadInput;
  }
  std::printf("%s\n", public_hex.c_str());
  return kOk;
}
