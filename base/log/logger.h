#pragma once
// The logger interface every part of the program writes through, and the process's logger.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace base {

class LogRecord;

class ILogger {
 public:
  virtual ~ILogger() = default;

  // Sets the logger up: files, directories and, unless `synchronous`, the worker thread.
  virtual bool Init(bool timestamp_in_name, const wchar_t* app_name, const wchar_t* log_dir,
                    const wchar_t* prefix, const wchar_t* subdir, bool synchronous, bool encrypt,
                    bool mem_log, uint64_t reserved_size, uint32_t reserved_count) = 0;
  virtual void Uninit() = 0;
  // Sets the lowest level number written to the text log.
  virtual void SetLevel(int level) = 0;
  virtual bool QueryLevel(int* out) = 0;
  virtual int GetLevel() = 0;
  // True when a record of `level` would reach the text log or the memory log.
  virtual bool IsEnabled(int level) = 0;
  // Takes the record's text (leaving it empty) and delivers it.
  virtual void Write(LogRecord& record) = 0;
  virtual bool DumpToFile(const std::wstring& path) = 0;
  virtual void Flush() = 0;
  virtual void FlushFile() = 0;
  virtual const std::wstring& GetLogDir() = 0;
  // Names the program that writes the logs (name, version, process) for records the logger
  // writes itself, such as the text log's count of lines a full disk cost. None by default.
  virtual void SetWriter(const std::string& /*writer*/) {}
};

class logger final : public ILogger {
 public:
  // Everything one initialisation owns: thresholds, directories, the text log's sink, the
  // memory log, the queue and the worker thread (base/log/logger_state.h).
  struct InnerData;

  logger();
  ~logger() override;

  bool Init(bool timestamp_in_name, const wchar_t* app_name, const wchar_t* log_dir,
            const wchar_t* prefix, const wchar_t* subdir, bool synchronous, bool encrypt,
            bool mem_log, uint64_t reserved_size, uint32_t reserved_count) override;
  void Uninit() override;
  void SetLevel(int level) override;
  bool QueryLevel(int* out) override;
  int GetLevel() override;
  bool IsEnabled(int level) override;
  void Write(LogRecord& record) override;
  bool DumpToFile(const std::wstring& path) override;
  void Flush() override;
  void FlushFile() override;
  const std::wstring& GetLogDir() override;
  void SetWriter(const std::string& writer) override;

 private:
  // Replaced only by Init and Uninit, which run on the main thread while no other thread logs.
  std::shared_ptr<InnerData> data_;
};

// The process's one logger (a function-local static), unless a test has put another in its place.
ILogger* GetLogger();

// Makes GetLogger return `replacement` (null restores the process's logger) and returns the
// previous replacement. For tests that observe the records a component writes.
ILogger* ReplaceLoggerForTesting(ILogger* replacement);

}  // namespace base
