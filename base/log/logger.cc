#include "base/log/logger.h"

#include "base/log/log_record.h"
#include "base/os/debug_output.h"

namespace base {
namespace {
std::atomic<ILogger*> g_replacement{nullptr};
}

logger::logger() : data_(std::make_shared<InnerData>()) {}

logger::~logger() {
  Uninit();
}

bool logger::Init(bool, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, bool, bool,
                  bool, uint64_t, uint32_t) {
  // The text log, the memory log and the worker thread are not part of this build yet, so the
  // logger stays uninitialised and admits no record.
  os::WriteDebugOutput("logger: the text and memory logs are not available in this build");
  return false;
}

void logger::Uninit() {
  data_.reset();
}

void logger::SetLevel(int level) {
  if (data_) data_->file_level.store(level, std::memory_order_relaxed);
}

bool logger::QueryLevel(int* out) {
  if (!data_) return false;
  if (out != nullptr) *out = data_->file_level.load(std::memory_order_relaxed);
  return true;
}

int logger::GetLevel() {
  return data_ ? data_->file_level.load(std::memory_order_relaxed) : kLogFatal;
}

bool logger::IsEnabled(int level) {
  const InnerData* data = data_.get();
  return data != nullptr && data->initialised.load(std::memory_order_relaxed) &&
         (level >= data->file_level.load(std::memory_order_relaxed) ||
          level >= data->memory_level.load(std::memory_order_relaxed));
}

void logger::Write(LogRecord& record) {
  // Nothing receives records yet; the text is still taken, as every Write does.
  record.TakeText();
}

bool logger::DumpToFile(const std::wstring&) {
  return false;
}

void logger::Flush() {}

void logger::FlushFile() {}

const std::wstring& logger::GetLogDir() {
  static const std::wstring kNone;
  return data_ ? data_->log_dir : kNone;
}

ILogger* GetLogger() {
  if (ILogger* replacement = g_replacement.load(std::memory_order_acquire)) return replacement;
  static logger the_logger;
  return &the_logger;
}

ILogger* ReplaceLoggerForTesting(ILogger* replacement) {
  return g_replacement.exchange(replacement, std::memory_order_acq_rel);
}

}  // namespace base
