// Test helper, not shipped: writes sample logs through the real encoder, against a public key
// file, in the layouts of the program's text log and memory log, and the record lines a reader
// should print for them.
//   log_sample PUBLIC_KEY_FILE OUT_DIR COUNT
// OUT_DIR gets text.log, plain.log (not enciphered), memory.log, memory.dump and expected.txt;
// loss.log (a whole text log, closed, that holds the logger's record of lines it could not
// write, as one whose file failed from its first bytes holds it);
// spaces.log and controls.log (plain text logs with messages of spaces and of control
// characters); and files someone made: bomb.log (a text log that would inflate to 2 GiB),
// random.bin (8 MiB of random bytes), random.log (a log header and 8 MiB of random bytes) and
// heads.log (a log header and 3 MiB of record heads that never end) and damages.log (200,000
// empty segments, each followed by one stray byte: 400,000 damaged places).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "base/log/log_reader.h"
#include "base/log/write_failure.h"
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
  memory.Close();  // as the program's memory log closes: the newest record is whole
  // Whole, with no damaged place, and still records are missing.
  auto with_loss = corvane::testing::MakeRecords(3);
  with_loss[1].file = "text_file_sink";
  with_loss[1].level = "WARNING";
  with_loss[1].message = "12" + std::string(g3::kLossRecordWords) +
                         "No space left on device (error 28); the log of Corvane "
                         "version=1.2.3.4, pid=1234";
  corvane::testing::TextLogWriter loss(true, table);
  for (const auto& r : with_loss) loss.Add(r);

  const bool ok =
      Write(dir + "/text.log", text.Finish()) && Write(dir + "/plain.log", plain.Finish()) &&
      Write(dir + "/memory.log", memory.File()) && Write(dir + "/memory.dump", memory.Dump()) &&
      Write(dir + "/expected.txt", expected) && Write(dir + "/loss.log", loss.Finish());

  // Messages whose spaces and control characters are theirs.
  auto special = corvane::testing::MakeRecords(3);
  special[0].message = "ends with spaces" + std::string(20, ' ');
  special[1].message = std::string(16, ' ') + "inside" + std::string(16, ' ') + "x";
  special[2].message = "last  ";
  corvane::testing::TextLogWriter spaces(false, table);
  for (const auto& r : special) spaces.Add(r);
  special[0].message = "red \x1b[31mtext\x1b[0m\a";
  special[1].message = "second\nline\rback \xE2\x80\xAEtxt.exe";
  special[2].message =
      "csi \xC2\x9B"
      "2J";
  corvane::testing::TextLogWriter controls(false, table);
  for (const auto& r : special) controls.Add(r);

  std::mt19937_64 random(20260102);
  std::string noise(8 << 20, '\0');
  for (auto& c : noise) c = static_cast<char>(random());
  std::string heads = corvane::testing::PlainSegmentHeader(false);
  while (heads.size() < (3u << 20)) heads += "\n[2026-01-02 03:04:05.678][1][INFO][";
  const bool hostile_ok =
      Write(dir + "/spaces.log", spaces.Finish()) &&
      Write(dir + "/controls.log", controls.Finish()) &&
      Write(dir + "/bomb.log",
            corvane::testing::DecompressionBomb(
                "", "\n[2026-01-02 03:04:05.678][1][INFO][bomb(1)]\t" + std::string(980, 'x'),
                2048)) &&
      Write(dir + "/random.bin", noise) &&
      Write(dir + "/random.log", corvane::testing::PlainSegmentHeader(true) + noise) &&
      Write(dir + "/heads.log", heads) &&
      Write(dir + "/damages.log", corvane::testing::EmptySegmentsWithStrayBytes(200000));
  return ok && hostile_ok ? 0 : 1;
}
