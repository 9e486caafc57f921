// corvane-logcat: prints the records of a Corvane log: a text log, a memory-log file or a
// memory-log dump, deciphered with a reader's private key.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/log/log_reader.h"
#include "tools/common/command_line.h"

namespace {

using base::log_reader::DecodedLog;
using base::log_reader::DecodeStatus;

constexpr int kOk = 0;
constexpr int kBadInput = 1;
constexpr int kUsage = corvane::tools::kUsageExitCode;

const corvane::tools::ToolInterface kLogcatInterface = {
    "corvane-logcat",
    {"[--key PRIVATE_KEY_FILE] [--json | --raw] [--min-level LEVEL] LOG_FILE"},
    "Prints the records of a Corvane log, oldest first: a text log (app.corvane.<time>.log),\n"
    "a memory-log file (app.corvane.log, or app.corvane.<process id>.log of a Corvane that\n"
    "found that one held by another) or a memory-log dump.",
    {{"Options",
      {
          {"--key", "FILE",
           "the reader's private key, 64 hexadecimal digits (as corvane-keygen\n"
           "writes it; keys/dev-reader.key for development builds). Needed for\n"
           "enciphered logs."},
          {"--json", "",
           "one JSON object per line and record: time, thread, level, file,\n"
           "line, message"},
          {"--raw", "",
           "each record exactly as the log holds it. Without it (and --json),\n"
           "control characters, terminal escapes and bytes that are no UTF-8 are\n"
           "written as escapes (\\n, \\x1b, \\u202e), one record per line."},
          {"--min-level", "LEVEL",
           "only records of this level or above: DEBUG, TRACE, INFO, NOTICE,\n"
           "WARNING, ERROR, FATAL, or 0..6"},
      }}},
    "What could not be read is said on standard error: a wrong key, a file that is no log,\n"
    "where a cut-short or damaged file stopped (everything before it is printed), and each\n"
    "damaged place that reading went past (at the next segment header, as after a spell in\n"
    "which the disk was full), with its byte offset; past the first 20, one line gives how many\n"
    "more there are and the bytes they lie between. A memory log read as a running or\n"
    "crashed program left it is read whole, but its newest record may lack up to 7 bytes at\n"
    "its end: that is said too.\n"
    "Exit codes: 0 the whole log was read, 1 bad input (a file or key that cannot be read,\n"
    "such as a directory, a pipe or a device; no log, wrong key, cut short or damaged, or\n"
    "records missing: a log that holds a record of lines it could not write), 2 usage.",
    /*max_operands=*/1,
};

// A key file holds 64 hexadecimal digits and a line end; anything far longer is no key file.
constexpr size_t kKeyFileMostBytes = 4096;

// The content of the regular file at `path` (at most `most_bytes` of it when given), or
// nothing with the reason in `why`. A directory, a pipe or a device is refused before it is
// read: a device such as /dev/zero never ends, and a directory read as a stream makes the
// library throw.
std::optional<std::string> ReadRegularFile(const std::string& path, std::string* why,
                                           std::optional<size_t> most_bytes = std::nullopt) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    *why = error.message();
    return std::nullopt;
  }
  if (std::filesystem::is_directory(status)) {
    *why = "it is a directory";
    return std::nullopt;
  }
  if (!std::filesystem::is_regular_file(status)) {
    *why = "it is no regular file (a pipe or a device)";
    return std::nullopt;
  }
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *why = std::strerror(errno);
      return std::nullopt;
    }
    std::string bytes;
    if (most_bytes) {
      bytes.resize(*most_bytes + 1);
      in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      bytes.resize(static_cast<size_t>(in.gcount()));
      if (bytes.size() > *most_bytes) {
        *why = "it is longer than " + std::to_string(*most_bytes) + " bytes";
        return std::nullopt;
      }
    } else {
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (in.bad()) {
      *why = "it cannot be read to its end";
      return std::nullopt;
    }
    return bytes;
  } catch (const std::exception& failure) {
    *why = failure.what();
    return std::nullopt;
  }
}

int Usage(const char* message) {
  std::fprintf(stderr, "corvane-logcat: %s (see --help)\n", message);
  return kUsage;
}

enum class Output { kEscaped, kRaw, kJson };

void Print(const DecodedLog& log, Output output, int min_level) {
  std::string out;
  for (const auto& record : log.records) {
    if (base::log_reader::LevelNumberFromText(record.level).value_or(0) < min_level) continue;
    if (output == Output::kJson) {
      const nlohmann::json object = {{"time", record.time},   {"thread", record.thread},
                                     {"level", record.level}, {"file", record.file},
                                     {"line", record.line},   {"message", record.message}};
      out = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } else if (output == Output::kRaw) {
      out = base::log_reader::FormatRecord(record);
    } else {
      out = base::log_reader::EscapeForTerminal(base::log_reader::FormatRecord(record));
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  std::fflush(stdout);
}

// The first damaged places are said one by one; past them, one line gives how many more
// there are and where they lie, so that a file damaged all over stays quick to read.
constexpr size_t kDamagedPlacesInFull = 20;

void ReportDamagedPlaces(const std::string& log_path,
                         const std::vector<base::log_reader::SkippedDamage>& skipped) {
  const size_t in_full = std::min(skipped.size(), kDamagedPlacesInFull);
  for (size_t i = 0; i < in_full; ++i) {
    const auto& damage = skipped[i];
    std::fprintf(stderr, "corvane-logcat: %s: damaged at byte %llu: %s; ", log_path.c_str(),
                 static_cast<unsigned long long>(damage.at), damage.what.c_str());
    if (damage.resumed_at != 0) {
      std::fprintf(stderr, "read on from the segment header at byte %llu\n",
                   static_cast<unsigned long long>(damage.resumed_at));
    } else {
      std::fprintf(stderr, "nothing readable follows\n");
    }
  }
  if (in_full == skipped.size()) return;
  const auto& first = skipped[in_full];
  const auto& last = skipped.back();
  std::fprintf(stderr,
               "corvane-logcat: %s: %zu more damaged place%s from byte %llu to byte %llu, not "
               "listed one by one\n",
               log_path.c_str(), skipped.size() - in_full, skipped.size() - in_full == 1 ? "" : "s",
               static_cast<unsigned long long>(first.at),
               static_cast<unsigned long long>(std::max(last.at, last.resumed_at)));
}

}  // namespace

int main(int argc, char** argv) {
  corvane::tools::CommandLine command_line;
  if (const auto answered =
          corvane::tools::ReadToolArguments(argc, argv, kLogcatInterface, &command_line)) {
    return *answered;
  }
  if (command_line.Has("--json") && command_line.Has("--raw")) {
    return Usage("--json or --raw, not both");
  }
  const Output output = command_line.Has("--json")  ? Output::kJson
                        : command_line.Has("--raw") ? Output::kRaw
                                                    : Output::kEscaped;
  int min_level = 0;
  if (const std::string* level_text = command_line.Value("--min-level")) {
    const auto level = base::log_reader::LevelNumberFromText(*level_text);
    if (!level) return Usage(("unknown level " + *level_text).c_str());
    min_level = *level;
  }
  if (command_line.operands.empty()) return Usage("no log file given");
  const std::string& log_path = command_line.operands.front();
  const std::string* key_option = command_line.Value("--key");
  const std::string key_path = key_option ? *key_option : std::string();

  std::optional<base::log_crypt::Scalar> key;
  if (!key_path.empty()) {
    std::string why;
    const auto text = ReadRegularFile(key_path, &why, kKeyFileMostBytes);
    if (!text) {
      std::fprintf(stderr, "corvane-logcat: cannot read the key file %s: %s\n", key_path.c_str(),
                   why.c_str());
      return kBadInput;
    }
    key = base::log_reader::ParsePrivateKey(*text);
    if (!key || !base::log_crypt::ScalarInRange(*key)) {
      std::fprintf(stderr, "corvane-logcat: %s holds no private key (64 hexadecimal digits)\n",
                   key_path.c_str());
      return kBadInput;
    }
  }
  std::string why;
  const auto bytes = ReadRegularFile(log_path, &why);
  if (!bytes) {
    std::fprintf(stderr, "corvane-logcat: cannot read %s: %s\n", log_path.c_str(), why.c_str());
    return kBadInput;
  }

  const DecodedLog log = base::log_reader::DecodeLog(
      {reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()}, key ? &*key : nullptr);
  switch (log.status) {
    case DecodeStatus::kNotALog:
      std::fprintf(stderr, "corvane-logcat: %s is no Corvane log: %s\n", log_path.c_str(),
                   log.problem.c_str());
      return kBadInput;
    case DecodeStatus::kNoKey:
      std::fprintf(stderr, "corvane-logcat: %s is enciphered: give the reader's --key\n",
                   log_path.c_str());
      return kBadInput;
    case DecodeStatus::kWrongKey:
      std::fprintf(stderr, "corvane-logcat: %s: wrong key: %s\n", log_path.c_str(),
                   log.problem.c_str());
      return kBadInput;
    default:
      break;
  }
  Print(log, output, min_level);
  if (log.newest_end == base::log_reader::NewestEnd::kMayLackTail) {
    std::fprintf(stderr,
                 "corvane-logcat: %s: the newest record may lack up to 7 bytes at its end (the "
                 "program was running or was ended when the file was read)\n",
                 log_path.c_str());
  } else if (log.newest_end == base::log_reader::NewestEnd::kAtFirstSpaceRun) {
    std::fprintf(stderr,
                 "corvane-logcat: %s: not enciphered: the newest record is taken to end at its "
                 "first run of 8 spaces, which cannot be told from spaces of its own\n",
                 log_path.c_str());
  } else if (log.newest_end == base::log_reader::NewestEnd::kMayCarryOlderBytes) {
    std::fprintf(stderr,
                 "corvane-logcat: %s: the memory log has no mark where its newest record ends: "
                 "records are in the order of their times, and the newest one's end may carry "
                 "bytes of an older record\n",
                 log_path.c_str());
  }
  ReportDamagedPlaces(log_path, log.skipped);
  const auto loss_records =
      std::count_if(log.records.begin(), log.records.end(), base::log_reader::IsLossRecord);
  if (loss_records > 0) {
    std::fprintf(stderr,
                 "corvane-logcat: %s: records are missing: %zu record%s of the program say%s how "
                 "many lines it could not write\n",
                 log_path.c_str(), static_cast<size_t>(loss_records), loss_records == 1 ? "" : "s",
                 loss_records == 1 ? "s" : "");
  }
  if (log.status == DecodeStatus::kComplete) return loss_records > 0 ? kBadInput : kOk;
  if (!log.skipped.empty() && log.status == DecodeStatus::kDamaged &&
      log.stopped_at == bytes->size()) {
    std::fprintf(stderr,
                 "corvane-logcat: %s: read to its end past %zu damaged place%s: %zu records\n",
                 log_path.c_str(), log.skipped.size(), log.skipped.size() == 1 ? "" : "s",
                 log.records.size());
  } else {
    std::fprintf(stderr, "corvane-logcat: %s: %s after %zu records\n", log_path.c_str(),
                 log.problem.c_str(), log.records.size());
  }
  return kBadInput;
}
