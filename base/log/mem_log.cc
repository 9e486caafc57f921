#include "base/log/mem_log.h"

#include <cstring>

#include <fmt/format.h>

#include "base/log/log_crypt.h"
#include "base/os/debug_output.h"
#include "base/os/file_system.h"

namespace base {

MemLog::MemLog() = default;

MemLog::~MemLog() {
  Close();
}

os::MappedFile::OpenResult MemLog::Open(const std::wstring* path, bool encrypt) {
  std::lock_guard lock(lock_);
  ring_.Detach();
  file_.Close();
  encoder_.reset();
  path_ = path != nullptr ? *path : std::wstring();
  const os::MappedFile::OpenResult opened = file_.Open(path, kFileSize);
  if (opened != os::MappedFile::OpenResult::kMapped) return opened;
  encoder_ = std::make_shared<log_crypt::LogCrypt>(0, encrypt, /*compress=*/false);

  uint8_t* view = file_.data();
  const std::string header = encoder_->Header();
  const std::string trailer = encoder_->Trailer();
  std::memcpy(view, header.data(), std::min<size_t>(header.size(), kHeaderSize));
  std::memcpy(view + kHeaderSize + kCapacity, trailer.data(),
              std::min<size_t>(trailer.size(), kTrailerSize));
  ring_.Attach(view + kHeaderSize, kCapacity);
  return opened;
}

void MemLog::Write(std::string_view line) {
  std::lock_guard lock(lock_);
  if (!encoder_ || !file_.data()) return;
  // One pass over the whole line: the encoder's output is the same as for the line's head and
  // message encoded one after the other, since its carried bytes pass from call to call.
  if (!encoder_->Encode(line, piece_, /*final=*/false)) return;
  ring_.Place(piece_);
}

bool MemLog::DumpToFile(const std::wstring& path) {
  std::lock_guard lock(lock_);
  const uint8_t* view = file_.data();
  if (view == nullptr) return false;
  const auto* bytes = reinterpret_cast<const char*>(view);
  uint32_t error = 0;
  if (!os::WriteWholeFile(path,
                          {std::string_view(bytes, kHeaderSize), ring_.Older(), ring_.Newer(),
                           std::string_view(bytes + kHeaderSize + kCapacity, kTrailerSize)},
                          &error)) {
    os::WriteDebugOutput(fmt::format("DumpToFile Error: {}", error));
    return false;
  }
  return true;
}

void MemLog::FlushFile() {
  if (!file_.FlushAndTouch()) {
    os::WriteDebugOutput(fmt::format("Flush File Error: {}", os::LastErrorCode()));
  }
}

void MemLog::Close() {
  std::lock_guard lock(lock_);
  // The encoder holds back up to 7 bytes of the newest piece until a block is full; released
  // here, so that the last record of a run that stops normally is whole in the ring. They go
  // out with at least one zero byte after them (a block of zeros when nothing was held back):
  // record text never holds one, so a reader knows that the newest record ends there whole.
  static constexpr std::string_view kEndOfRun{"\0", 1};
  if (encoder_ && file_.data() != nullptr && encoder_->Encode(kEndOfRun, piece_, /*final=*/true)) {
    ring_.Place(piece_);
  }
  ring_.Detach();
  file_.Close();
  encoder_.reset();
}

uint32_t MemLog::position() {
  std::lock_guard lock(lock_);
  return ring_.position();
}

bool MemLog::wrapped() {
  std::lock_guard lock(lock_);
  return ring_.wrapped();
}

}  // namespace base
