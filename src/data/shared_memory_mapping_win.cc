#include "src/data/shared_memory_mapping.h"

#include <vector>

#include "base/os/win/scoped_resource.h"

// After <windows.h>, which the owners above include.
#include <sddl.h>

namespace corvane {

// Released in reverse order: the view first, then the section.
struct SharedMemoryMapping::Handles {
  base::win::ScopedHandle section;
  base::win::ScopedMappedView view;
};

namespace {

using Failure = SharedMemoryMapping::Failure;
using Step = SharedMemoryMapping::Step;

constexpr DWORD kReadWrite = FILE_MAP_READ | FILE_MAP_WRITE;  // 6

std::wstring WideName(const std::string& name) {
  if (name.empty()) return {};
  const int count =
      MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), count);
  return wide;
}

bool Fail(Step step, Failure* failure) {
  if (failure != nullptr) *failure = {step, static_cast<uint32_t>(GetLastError())};
  return false;
}

// The bytes at the start of the view that can be touched. A section its creator made with
// SEC_RESERVE has pages that are only reserved until it commits them, and touching one ends this
// process, so only the run of committed pages from the start counts (none at all gives 0, which
// every read refuses). Pages committed at different times may be reported as separate regions.
size_t ViewSize(void* view) {
  auto* const start = static_cast<unsigned char*>(view);
  size_t size = 0;
  for (;;) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(start + size, &info, sizeof(info)) != sizeof(info)) break;
    if (info.AllocationBase != view || info.State != MEM_COMMIT || info.RegionSize == 0) break;
    size = static_cast<size_t>(static_cast<unsigned char*>(info.BaseAddress) - start) +
           info.RegionSize;
  }
  return size;
}

}  // namespace

void SharedMemoryMapping::HandlesDeleter::operator()(Handles* handles) const {
  delete handles;
}

namespace {

// Maps all of `section` (offset 0, length 0: to its end) for reading and writing.
SharedMemoryMapping::Mapped MapWhole(HANDLE section, Failure* failure) {
  SharedMemoryMapping::HandlesPtr handles(new SharedMemoryMapping::Handles);
  handles->section.reset(section);
  handles->view.reset(MapViewOfFile(section, kReadWrite, 0, 0, 0));
  if (!handles->view) return Fail(Step::kMap, failure), SharedMemoryMapping::Mapped{};
  void* const view = handles->view.get();
  return {std::move(handles), view, ViewSize(view)};
}

}  // namespace

bool SharedMemoryMapping::OpenExisting(const std::string& name, Failure* failure) {
  Close();
  HANDLE section = OpenFileMappingW(kReadWrite, FALSE, WideName(name).c_str());
  if (section == nullptr) return Fail(Step::kOpen, failure);
  return Adopt(MapWhole(section, failure));
}

namespace {

// The account this process runs as, as an SID string; empty (with the error in GetLastError)
// when it cannot be read. An elevated process runs as the same account as the player.
std::string CurrentUserSid() {
  HANDLE token_handle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token_handle)) return {};
  const base::win::ScopedHandle token(token_handle);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<uint64_t> buffer((size + sizeof(uint64_t) - 1) / sizeof(uint64_t));  // aligned
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid,
                              &text)) {
    return {};
  }
  const base::win::ScopedLocalMemory owner(text);
  std::string sid;
  for (const wchar_t* c = text; *c != L'\0'; ++c) sid += static_cast<char>(*c);  // ASCII
  return sid;
}

// The block's descriptor for this process's account, owned; empty when it cannot be made.
base::win::ScopedLocalMemory BlockSecurityDescriptor(bool with_label) {
  const std::string user = CurrentUserSid();
  if (user.empty()) return {};
  const std::string sddl = BlockSecurityDescriptorSddl(user, with_label);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          std::wstring(sddl.begin(), sddl.end()).c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return {};
  }
  return base::win::ScopedLocalMemory(descriptor);
}

}  // namespace

bool SharedMemoryMapping::CreateOrOpen(const std::string& name, size_t min_size, Failure* failure) {
  Close();
  // A section that exists keeps its own security; a new one gets the block's (see
  // BlockSecurityDescriptorSddl). A creator below medium integrity (a sandboxed host) may not
  // give it a label above its own: it is made again without one, and gets the creator's.
  HANDLE section = nullptr;
  for (const bool with_label : {true, false}) {
    const base::win::ScopedLocalMemory descriptor = BlockSecurityDescriptor(with_label);
    if (!descriptor) return Fail(Step::kOpen, failure);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), /*bInheritHandle=*/FALSE};
    section = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE,
                                 static_cast<DWORD>(static_cast<uint64_t>(min_size) >> 32),
                                 static_cast<DWORD>(min_size), WideName(name).c_str());
    if (section != nullptr) break;
  }
  if (section == nullptr) return Fail(Step::kOpen, failure);
  return Adopt(MapWhole(section, failure));
}

void SharedMemoryMapping::RecheckSize() {
  if (data_ != nullptr) size_ = ViewSize(data_);
}

bool SharedMemoryMapping::Remove(const std::string&, uint32_t*) {
  return true;
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

}  // namespace corvane
