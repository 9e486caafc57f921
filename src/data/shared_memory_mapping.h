#pragma once
// A named shared-memory block mapped into this process for reading and writing: a file
// mapping section on Windows, a POSIX shared-memory object elsewhere (the same name with a
// leading "/", so it shows under /dev/shm). Closing unmaps the view and closes the handle;
// a second close does nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class SharedMemoryMapping {
 public:
  // Which call failed, and the system's error code (GetLastError or errno).
  enum class Step { kNone, kOpen, kMap };
  struct Failure {
    Step step = Step::kNone;
    uint32_t code = 0;
  };

  SharedMemoryMapping();
  ~SharedMemoryMapping();
  SharedMemoryMapping(const SharedMemoryMapping&) = delete;
  SharedMemoryMapping& operator=(const SharedMemoryMapping&) = delete;

  // Opens an existing block by name and maps all of it.
  bool OpenExisting(const std::string& name, Failure* failure);
  // Opens the block, creating it first when there is none, with room for at least `min_size`
  // bytes (an existing block is never shrunk), and maps all of it.
  bool CreateOrOpen(const std::string& name, size_t min_size, Failure* failure);
  void Close();

  unsigned char* data() const { return data_; }
  // Bytes of the view that may be touched.
  size_t size() const { return size_; }
  // Looks again at how many bytes of the view may be touched. On Windows a block's creator may
  // map it with its pages only reserved and commit them later, so the run of committed pages
  // can grow after the block was mapped; a POSIX object's pages are all usable from the start.
  void RecheckSize();

  // Removes the block's name so that no one can open it any more (POSIX). Windows removes a
  // section by itself with its last handle, so there this does nothing and succeeds.
  static bool Remove(const std::string& name, uint32_t* error_code);

  // The platform's owners of the section and the view, defined by the platform's file, and
  // one mapping as the platform's calls made it (no handles: the mapping failed).
  struct Handles;
  struct HandlesDeleter {
    void operator()(Handles* handles) const;
  };
  using HandlesPtr = std::unique_ptr<Handles, HandlesDeleter>;
  struct Mapped {
    HandlesPtr handles;
    void* data = nullptr;
    size_t size = 0;
  };

 private:
  // Keeps a mapping that worked; true when it did.
  bool Adopt(Mapped mapped);

  HandlesPtr handles_;
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

// The security descriptor, in SDDL, that a block made on Windows carries (a POSIX object gets
// mode 0600 instead): full access for the account `user_sid` ("S-1-5-21-...", the creator's)
// and for the system, no one else named, so no Everyone and no Anonymous; and, unless
// `with_label` is false, a medium integrity label (no write up). An elevated host's section
// otherwise gets its elevated token's default DACL (Administrators and the system) and a high
// label, which a player's overlay at medium integrity may not open.
std::string BlockSecurityDescriptorSddl(std::string_view user_sid, bool with_label = true);

// This process's id (GetCurrentProcessId, getpid): part of the value a writer locks with.
uint32_t CurrentProcessId();

}  // namespace corvane
