#include "base/log/logger.h"

#include <cstring>

#include "base/log/log_entry.h"
#include "base/log/log_record.h"
#include "base/log/log_time.h"
#include "base/log/logger_state.h"
#include "base/os/clock.h"
#include "base/os/file_system.h"
#include "base/os/thread_id.h"

namespace base {
namespace {

std::atomic<ILogger*> g_replacement{nullptr};
std::atomic<void (*)()> g_worker_queue_lock_hook{nullptr};

bool EndsWithSeparator(const std::wstring& path) {
  return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

// The executable's directory followed by "\log\", created (without parents) when missing.
std::wstring DefaultLogDirectory() {
  const std::wstring executable = os::ExecutablePath();
  const size_t cut = executable.find_last_of(L"\\/");
  std::wstring dir = (cut == std::wstring::npos ? std::wstring() : executable.substr(0, cut));
  dir += L"\\log\\";
  os::CreateDirectoryOnly(dir);
  return dir;
}

// The application name part of the memory log of a process that finds the usual file held by
// another: app.corvane.1234.log beside app.corvane.log.
std::wstring MemLogNameOfProcess(const std::wstring& app_name, uint32_t process_id) {
  return app_name + L"." + std::to_wstring(process_id);
}

struct WorkerContext {
  std::shared_ptr<LogQueue> queue;
  std::shared_ptr<g3::TextFileSink> sink;
};

uint64_t MonotonicMilliseconds() {
  const os::CounterReading now = os::ReadMonotonicCounter();
  return static_cast<uint64_t>(CounterToNanoseconds(now.counter, now.frequency) / 1000000);
}

// Writes the queue to the text log until the state is torn down. On stop it drains the queue
// first: every entry queued before the stop is written. Once the queue is drained, what was
// written reaches the file when kTextFlushPeriodMs have passed since the last flush: a kill or
// a crash costs at most about that much of the text log, a full disk is met while the program
// runs, and a burst of records still goes out in few large writes.
void WorkerMain(void* raw) {
  const std::unique_ptr<WorkerContext> context(static_cast<WorkerContext*>(raw));
  LogQueue& queue = *context->queue;
  LogLines batch;
  bool unflushed = false;
  uint64_t last_flush_ms = MonotonicMilliseconds();
  for (;;) {
    if (unflushed && MonotonicMilliseconds() - last_flush_ms >= LogQueue::kTextFlushPeriodMs) {
      context->sink->Flush();
      unflushed = false;
      last_flush_ms = MonotonicMilliseconds();
    }
    queue.Sleep();
    for (;;) {
      // Read before the exchange: whatever was queued before the stop is in this batch.
      const bool stopping = queue.stop_requested();
      queue.TakeAll(batch, g_worker_queue_lock_hook.load(std::memory_order_acquire));
      if (batch.empty()) {
        if (stopping) return;
        break;
      }
      // The run's last records: a text log whose writes failed is tried again at once, not
      // only after its retry interval, so that they reach a disk that takes bytes again.
      if (stopping) context->sink->Flush();
      context->sink->Write(batch);
      batch.Recycle();
      unflushed = true;
    }
  }
}

// Hands `line` to the text log: written at once when synchronous, else queued for the worker.
void WriteToTextLog(logger::InnerData& data, std::string_view line) {
  if (data.synchronous) {
    if (data.sink) data.sink->Write(line);
    return;
  }
  data.queue->Push(line);
}

}  // namespace

logger::InnerData::~InnerData() {
  queue->RequestStop();
  // A worker that misses the limit is given up: on Windows terminated, perhaps while it held the
  // queue's lock, which then is never free again; elsewhere left to run on. Either way the queue
  // stays its own (it holds a reference), and this thread must not take that lock.
  const bool worker_ended =
      synchronous || !worker.running() || worker.StopWithin(kWorkerStopTimeoutMs);
  mem_log.Close();
  // Entries are left only when there was no worker to write them; they are not written.
  if (worker_ended) queue->Clear();
  // The closing text of the text log. A worker given up still holds the sink, which then
  // closes when that worker ends (or never, when it was terminated).
  sink.reset();
}

void LogQueue::TakeAll(LogLines& batch, void (*while_locked)()) {
  std::lock_guard hold(lock_);
  if (while_locked != nullptr) while_locked();
  std::swap(batch, queued_);
}

void LogQueue::Clear() {
  std::lock_guard hold(lock_);
  queued_ = LogLines();
}

logger::logger() : data_(std::make_shared<InnerData>()) {}

logger::~logger() {
  Uninit();
}

bool logger::Init(bool timestamp_in_name, const wchar_t* app_name, const wchar_t* log_dir,
                  const wchar_t* prefix, const wchar_t* subdir, bool synchronous, bool encrypt,
                  bool mem_log, uint64_t /*reserved_size*/, uint32_t /*reserved_count*/) {
  if (data_ && data_->initialised.load(std::memory_order_relaxed)) return true;

  const std::wstring file_prefix = prefix != nullptr ? prefix : L"app";
  std::wstring dir = log_dir != nullptr && log_dir[0] != L'\0' ? log_dir : DefaultLogDirectory();
  if (!EndsWithSeparator(dir)) dir += L'\\';
  if (subdir != nullptr) dir += subdir;
  if (!os::PathExists(dir)) os::CreateDirectoryTree(dir);

  if (!data_) data_ = std::make_shared<InnerData>();
  InnerData& data = *data_;
  data.log_dir = dir;

  if (!mem_log) {
    data.mem_log_on = false;
    data.memory_level.store(kLogNothing, std::memory_order_relaxed);
    if (os::CreateDirectoryTree(dir) == os::CreateDirectoryResult::kFailed) return false;
  } else {
    data.mem_log_on = true;
    data.mem_log_dir = dir + (EndsWithSeparator(dir) ? L"memlog" : L"\\memlog");
    if (os::CreateDirectoryTree(data.mem_log_dir) == os::CreateDirectoryResult::kFailed) {
      return false;
    }
    const std::wstring name = app_name != nullptr ? app_name : L"mem";
    const std::wstring mem_log_path =
        g3::JoinLogPath(dir, g3::LogFileName(file_prefix, name, false));
    if (data.mem_log.Open(&mem_log_path, encrypt) == os::MappedFile::OpenResult::kHeldElsewhere) {
      // Another process logs into this folder (a second overlay on the same host) and keeps
      // the file: this one takes a name of its own, with its process id.
      const std::wstring own_path = g3::JoinLogPath(
          dir,
          g3::LogFileName(file_prefix, MemLogNameOfProcess(name, os::CurrentProcessId()), false));
      data.mem_log.Open(&own_path, encrypt);
    }
  }

  // The new sink is in place before one left from an earlier, failed Init is deleted.
  auto sink = std::make_shared<g3::TextFileSink>(file_prefix, dir, app_name ? app_name : L"",
                                                 timestamp_in_name, encrypt);
  data.sink.swap(sink);
  sink.reset();

  data.synchronous = synchronous;
  if (!synchronous) {
    // Without a worker the entries stay queued until the tear-down; Init goes on regardless.
    auto* context = new WorkerContext{data.queue, data.sink};
    if (!data.worker.Start(WorkerMain, context)) delete context;
  }
  data.initialised.store(true, std::memory_order_relaxed);
  return true;
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
  InnerData* data = data_.get();
  if (data == nullptr) {
    record.DiscardText();
    return;
  }
  const int level = record.level();
  const bool to_memory =
      data->mem_log_on && level >= data->memory_level.load(std::memory_order_relaxed);
  const bool to_file = level >= data->file_level.load(std::memory_order_relaxed);
  if (to_memory || to_file) {
    // One line, one time, for both logs.
    LogLineBuffer line;
    AppendLogLineHead({LogTimestamp::Now(), os::CurrentThreadId(), LevelFromNumber(level).text,
                       FileBaseName(record.file() != nullptr ? record.file() : ""), record.line(),
                       record.function() != nullptr ? record.function() : ""},
                      line);
    const std::string_view message = record.text();
    const size_t head_size = line.size();
    line.resize(head_size + message.size());
    std::memcpy(line.data() + head_size, message.data(), message.size());
    const std::string_view text(line.data(), line.size());
    if (to_memory) data->mem_log.Write(text);
    if (to_file) WriteToTextLog(*data, text);
  }
  record.DiscardText();
}

bool logger::DumpToFile(const std::wstring& path) {
  return data_ && data_->mem_log_on && data_->mem_log.DumpToFile(path);
}

void logger::Flush() {
  if (data_ && data_->sink) data_->sink->Flush();
}

void logger::SetWriter(const std::string& writer) {
  if (data_ && data_->sink) data_->sink->SetWriter(writer);
}

void logger::FlushFile() {
  if (data_ && data_->mem_log_on) data_->mem_log.FlushFile();
}

const std::wstring& logger::GetLogDir() {
  static const std::wstring kNone;
  return data_ ? data_->log_dir : kNone;
}

ILogger* GetLogger() {
  if (ILogger* replacement = g_replacement.load(std::memory_order_acquire)) return replacement;
  static logger the_logger;
  return &the_logger;
}

void SetWorkerQueueLockHookForTesting(void (*hook)()) {
  g_worker_queue_lock_hook.store(hook, std::memory_order_release);
}

ILogger* ReplaceLoggerForTesting(ILogger* replacement) {
  return g_replacement.exchange(replacement, std::memory_order_acq_rel);
}

}  // namespace base
