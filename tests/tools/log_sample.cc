// Test helper, not shipped: writes sample logs through the real encoder, against a public key
// file, in the layouts of the program's text log and memory log, and the record lines a reader
// should print for them.
//   log_sample PUBLIC_KEY_FILE OUT_DIR COUNT
// OUT_DIR gets text.log, plain.log (not enciphered), memory.log, memory.dump and expected.txt.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/log/log_reader.h"
#include "tests/support/log_layouts.h"

namespace {

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: log_sample PUBLIC_KEY_FILE OUT_DIR COUNT\n", stderr);
    return 2;
  }
  std::ifstream key_file(argv[1], std::ios::binary);
  const std::string key_text((std::istreambuf_iterator<char>(key_file)),
                             std::istreambuf_iterator<char>());
  const auto key = base::log_reader::ParsePublicKey(key_text);
  if (!key) {
    std::fprintf(stderr, "log_sample: %s holds no public key\n", argv[1]);
    return 1;
  }
  const std::vector<base::log_crypt::PublicKey> table(3, *key);
  const std::string dir = argv[2];
  const auto records = corvane::testing::MakeRecords(std::stoul(argv[3]));

  corvane::testing::TextLogWriter text(true, table);
  corvane::testing::TextLogWriter plain(false, table);
  corvane::testing::MemoryLogWriter memory(true, table);
  std::string expected;
  for (const auto& r : records) {
    text.Add(r);
    plain.Add(r);
    memory.Add(r);
    expected += r.Line().substr(1) + "\n";
  }
  const bool ok =
      Write(dir + "/text.log", text.Finish()) && Write(dir + "/plain.log", plain.Finish()) &&
      Write(dir + "/memory.log", memory.File()) && Write(dir + "/memory.dump", memory.Dump()) &&
      Write(dir + "/expected.txt", expected);
  return ok ? 0 : 1;
}
