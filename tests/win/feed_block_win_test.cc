// The performance block through the real Win32 file mapping by name: the overlay's reader, the
// host's writer library, and corvane-feed.exe publishing from another process.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "base/os/win/scoped_resource.h"

// After <windows.h>, which the owners above include.
#include <aclapi.h>
#include <sddl.h>

#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_reader.h"
#include "tests/support/test_logger.h"
#include "tests/win/win_test_paths.h"

namespace {

using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;

std::string UniqueName(const char* what) {
  return std::string("corvane-") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(FeedBlockWinTest, ReaderAndWriterMeetByName) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  const std::string name = UniqueName("block-test");
  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(logger.Texts(base::kLogError),
            std::vector<std::string>{"SharedMemoryReader::Open OpenFileMapping failed: 2"});

  corvane::PerfFeedWriter writer(name);
  std::string error;
  ASSERT_TRUE(writer.Create(&error)) << error;
  ASSERT_TRUE(writer.Publish(R"({"cpu": 17.5, "diskio": [{"name": "c:", "used": 4}]})", true,
                             0x00012345, &error))
      << error;
  EXPECT_TRUE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(logger.Texts(base::kLogInfo),
            std::vector<std::string>{"SharedMemoryReader::Open success"});
  EXPECT_EQ(snapshot.cpu, 17.5);
  EXPECT_TRUE(snapshot.disk_valid);
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0x12345u);

  // The lock word is free again, seen through a view of our own.
  corvane::SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_GE(view.size(), corvane::kPerfBlockSize);
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);
  ASSERT_TRUE(corvane::BlockLockWord(view.data()).TryAcquire(5));
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 5u);
  corvane::BlockLockWord(view.data()).Release(5);

  reader.Close();
  reader.Close();
  EXPECT_FALSE(reader.is_open());
}

// The SDDL text of the parts `what` (DACL_SECURITY_INFORMATION, ...) of `descriptor`.
std::wstring DescriptorText(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION what) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what,
                                                            &text, nullptr)) {
    return L"(error " + std::to_wstring(GetLastError()) + L")";
  }
  const base::win::ScopedLocalMemory owner(text);
  return text;
}

// The SID of an ACE as text.
std::wstring SidText(const DWORD* sid_start) {
  wchar_t* sid = nullptr;
  if (!ConvertSidToStringSidW(const_cast<DWORD*>(sid_start), &sid)) return L"(no SID)";
  const base::win::ScopedLocalMemory owner(sid);
  return sid;
}

// The allowed ACEs of a DACL as "SID rights" texts; "all" for generic all, which Windows maps
// to a section's specific rights and Wine keeps as it was given.
std::set<std::wstring> AllowedAces(PACL dacl) {
  std::set<std::wstring> aces;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
      aces.insert(L"(not an allowed ACE)");
      continue;
    }
    const bool all = allowed->Mask == GENERIC_ALL || allowed->Mask == SECTION_ALL_ACCESS;
    aces.insert(SidText(&allowed->SidStart) + L" " +
                (all ? L"all" : std::to_wstring(allowed->Mask)));
  }
  return aces;
}

// The mandatory label of a SACL as "SID policy" ("S-1-16-8192 1": medium, no write up); empty
// when it has none.
std::wstring LabelOf(PACL sacl) {
  for (DWORD i = 0; sacl != nullptr && i < sacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(sacl, i, &ace)) continue;
    const auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
    if (label->Header.AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
    return SidText(&label->SidStart) + L" " + std::to_wstring(label->Mask);
  }
  return L"";
}

// The block a host makes through the writer (the kit's PerfFeedWriter, which its C interface
// and corvane-feed use) lets the creating account and the system in, and no one else: no
// Everyone, no Anonymous. Its medium label lets a player's overlay open it when the host runs
// elevated; Wine keeps the DACL but not the label, so the label is checked in the descriptor
// the writer hands to CreateFileMappingW, and on the section only where the system keeps it.
TEST(FeedBlockWinTest, WriterMakesTheBlockForTheAccountAndTheSystemAtMediumIntegrity) {
  const std::string name = UniqueName("security");
  corvane::PerfFeedWriter writer(name);
  std::string error;
  ASSERT_TRUE(writer.Create(&error)) << error;
  const std::wstring wide_name(name.begin(), name.end());
  const base::win::ScopedHandle section(
      OpenFileMappingW(READ_CONTROL | FILE_MAP_READ | FILE_MAP_WRITE, FALSE, wide_name.c_str()));
  ASSERT_TRUE(section.valid()) << GetLastError();

  PACL dacl = nullptr, sacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(section.get(), SE_KERNEL_OBJECT,
                            DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, &sacl, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const base::win::ScopedLocalMemory descriptor_owner(descriptor);
  // This process's account.
  HANDLE token_handle = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token_handle));
  const base::win::ScopedHandle token(token_handle);
  alignas(8) unsigned char user_buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, user_buffer, sizeof(user_buffer), &size));
  wchar_t* user_text = nullptr;
  ASSERT_TRUE(
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid, &user_text));
  const base::win::ScopedLocalMemory user_owner(user_text);
  const std::wstring user = user_text;

  // Full access (generic all, as the system maps it for a section) for exactly these two.
  EXPECT_EQ(AllowedAces(dacl), (std::set<std::wstring>{user + L" all", L"S-1-5-18 all"}))
      << DescriptorText(descriptor, DACL_SECURITY_INFORMATION);
  const std::wstring dacl_text = DescriptorText(descriptor, DACL_SECURITY_INFORMATION);
  EXPECT_EQ(dacl_text.find(L";;;WD)"), std::wstring::npos) << dacl_text;  // Everyone
  EXPECT_EQ(dacl_text.find(L";;;AN)"), std::wstring::npos) << dacl_text;  // Anonymous
  // Where the system keeps labels (Windows), the section's is medium, no write up.
  const std::wstring medium_no_write_up =
      L"S-1-16-8192 " + std::to_wstring(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP);
  const std::wstring label = LabelOf(sacl);
  if (!label.empty()) {
    EXPECT_EQ(label, medium_no_write_up);
  }

  // The descriptor the writer asks for carries that label; Windows gives it to the section.
  const std::string sddl =
      corvane::BlockSecurityDescriptorSddl(std::string(user.begin(), user.end()));
  PSECURITY_DESCRIPTOR asked = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      std::wstring(sddl.begin(), sddl.end()).c_str(), SDDL_REVISION_1, &asked, nullptr))
      << GetLastError();
  const base::win::ScopedLocalMemory asked_owner(asked);
  BOOL present = FALSE, defaulted = FALSE;
  PACL asked_sacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorSacl(asked, &present, &asked_sacl, &defaulted));
  EXPECT_EQ(LabelOf(asked_sacl), medium_no_write_up);
  EXPECT_EQ(DescriptorText(asked, DACL_SECURITY_INFORMATION),
            L"D:P(A;;GA;;;" + user + L")(A;;GA;;;SY)");
}

// A host's section whose pages are only reserved until the host commits them, with the host's
// own view of it. Its last page stays reserved: Wine shows other views of a section no commit
// that reaches the section's end.
class ReservedBlock {
 public:
  static constexpr size_t kPage = 4096;
  static constexpr size_t kSize = 3 * kPage;

  explicit ReservedBlock(const std::string& name) {
    const std::wstring wide_name(name.begin(), name.end());
    section_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE,
                                      0, kSize, wide_name.c_str()));
    if (section_.valid()) view_.reset(MapViewOfFile(section_.get(), FILE_MAP_WRITE, 0, 0, 0));
  }
  bool valid() const { return view_.valid(); }
  unsigned char* data() const { return static_cast<unsigned char*>(view_.get()); }

  bool Commit(size_t pages) {
    return VirtualAlloc(view_.get(), pages * kPage, MEM_COMMIT, PAGE_READWRITE) != nullptr;
  }
  // The state (MEM_RESERVE or MEM_COMMIT) of the page at `offset`, seen through the host's view.
  DWORD PageState(size_t offset) const {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(data() + offset, &info, sizeof(info));
    return info.State;
  }
  // Writes the header and `payload` the way a host does, holding the lock word meanwhile; with
  // `keep_lock` the lock word is left at the writer's value.
  void Publish(const std::string& payload, uint32_t length, uint32_t ipc_wnd,
               bool keep_lock = false) {
    ASSERT_TRUE(corvane::BlockLockWord(data()).TryAcquire(corvane::kConstantWriterLockValue));
    corvane::StoreHeaderWord(data(), corvane::kEnabledOffset, 1);
    corvane::StoreHeaderWord(data(), corvane::kLengthOffset, length);
    corvane::StoreHeaderWord(data(), corvane::kIpcWindowOffset, ipc_wnd);
    std::memcpy(data() + corvane::kPayloadOffset, payload.data(), payload.size());
    if (!keep_lock) corvane::BlockLockWord(data()).Release(corvane::kConstantWriterLockValue);
  }

 private:
  base::win::ScopedHandle section_;
  base::win::ScopedMappedView view_;
};

// A document of exactly `length` bytes: {"cpu": <cpu>} padded with spaces.
std::string DocumentOfLength(double cpu, size_t length) {
  std::string text = "{\"cpu\": " + std::to_string(cpu) + "}";
  text.resize(length, ' ');
  return text;
}

// A block whose pages its creator only reserved must not be touched (touching a reserved page
// would end the overlay), nor the part of a payload that lies in pages still reserved.
TEST(FeedBlockWinTest, ReservedPagesAreNeverTouched) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  const std::string name = UniqueName("reserved");
  ReservedBlock host(name);
  ASSERT_TRUE(host.valid()) << GetLastError();

  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  snapshot.cpu = 3.0;
  corvane::UiStyle style;
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_TRUE(reader.is_open());  // mapped once, not again at each read
  EXPECT_EQ(logger.Texts(base::kLogInfo),
            std::vector<std::string>{"SharedMemoryReader::Open success"});
  EXPECT_TRUE(logger.Texts(base::kLogError).empty());
  EXPECT_FALSE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0u);
  EXPECT_EQ(snapshot.cpu, 3.0);
  EXPECT_EQ(host.PageState(0), static_cast<DWORD>(MEM_RESERVE));  // nothing was committed

  // Only the first page committed, and a full-size payload that reaches into the second: the
  // header is read under the lock, the payload is refused, and the lock is free again.
  ASSERT_TRUE(host.Commit(1));
  host.Publish(DocumentOfLength(40.0, ReservedBlock::kPage - corvane::kHeaderSize),
               corvane::kMaxPayloadSize, 0x4321);
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0x4321u);
  EXPECT_EQ(snapshot.cpu, 3.0);
  EXPECT_EQ(corvane::BlockLockWord(host.data()).Peek(), 0u);
  EXPECT_EQ(host.PageState(ReservedBlock::kPage), static_cast<DWORD>(MEM_RESERVE));
}

// The host commits the block's pages only after the overlay mapped it: each read looks at the
// committed pages again, so the block is read as soon as it holds a document.
TEST(FeedBlockWinTest, BlockCommittedAfterTheOverlayOpenedIsRead) {
  TestLogger logger;
  ScopedLoggerReplacement replace(&logger);
  const std::string name = UniqueName("commit-later");
  ReservedBlock host(name);
  ASSERT_TRUE(host.valid()) << GetLastError();
  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ASSERT_TRUE(reader.Open());
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));

  // The first page committed, but the host still holds the lock: one try, the lock word left
  // as found, nothing taken from the header.
  ASSERT_TRUE(host.Commit(1));
  host.Publish(R"({"cpu": 12.5})", 13, 0x77, /*keep_lock=*/true);
  EXPECT_FALSE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(corvane::BlockLockWord(host.data()).Peek(), corvane::kConstantWriterLockValue);
  EXPECT_FALSE(reader.enabled());

  corvane::BlockLockWord(host.data()).Release(corvane::kConstantWriterLockValue);
  EXPECT_TRUE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(snapshot.cpu, 12.5);
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0x77u);
  EXPECT_EQ(corvane::BlockLockWord(host.data()).Peek(), 0u);

  // The second page committed later still: a payload of the full 4096 bytes, which reaches
  // into it, is read whole.
  ASSERT_TRUE(host.Commit(2));
  host.Publish(DocumentOfLength(61.0, corvane::kMaxPayloadSize), corvane::kMaxPayloadSize, 0x78);
  EXPECT_TRUE(reader.Read(1, "C:", snapshot, style));
  EXPECT_EQ(snapshot.cpu, 61.0);
  EXPECT_EQ(reader.ipc_wnd(), 0x78u);
  EXPECT_EQ(corvane::BlockLockWord(host.data()).Peek(), 0u);
  EXPECT_EQ(logger.Texts(base::kLogInfo),
            std::vector<std::string>{"SharedMemoryReader::Open success"});
}

// Starts corvane-feed.exe with `arguments` and --once, reads the block it names until a read
// succeeds, checks that the tool keeps running (on Windows it holds the block open), ends it.
void ReadWhatCorvaneFeedPublishes(const std::string& name, const std::wstring& arguments,
                                  corvane::SharedMemoryReader& reader,
                                  corvane::PerfSnapshot& snapshot, corvane::UiStyle& style) {
  const std::wstring build = corvane::testing::BuildDirectory();
  ASSERT_FALSE(build.empty()) << "CORVANE_BUILD_DIR is not set";
  std::wstring command = L"\"" + build + L"\\bin\\corvane-feed.exe\" --once --name " +
                         std::wstring(name.begin(), name.end()) + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << GetLastError();
  const base::win::ScopedHandle process_handle(process.hProcess);
  const base::win::ScopedHandle thread_handle(process.hThread);

  TestLogger logger;
  logger.lowest_enabled = base::kLogFatal;  // the open failures until the tool is up
  ScopedLoggerReplacement replace(&logger);
  bool read = false;
  for (int tries = 0; tries < 200 && !read; ++tries) {
    read = reader.Read(1, "C:", snapshot, style);
    if (!read) {
      DWORD code = 0;
      ASSERT_TRUE(GetExitCodeProcess(process.hProcess, &code));
      ASSERT_EQ(code, STILL_ACTIVE) << "corvane-feed ended with " << code;
      Sleep(50);
    }
  }
  EXPECT_TRUE(read);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
}

TEST(FeedBlockWinTest, CorvaneFeedInAnotherProcessPublishes) {
  const std::string name = UniqueName("feed-tool-test");
  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ReadWhatCorvaneFeedPublishes(
      name, LR"(--ipc 1A2B --json "{\"cpu\": 33.5, \"ui_style\": \"{\\\"alpha\\\": 50}\"}")",
      reader, snapshot, style);
  EXPECT_EQ(snapshot.cpu, 33.5);
  EXPECT_EQ(style.alpha, 128);
  EXPECT_TRUE(reader.enabled());
  EXPECT_EQ(reader.ipc_wnd(), 0x1A2Bu);
}

TEST(FeedBlockWinTest, CorvaneFeedPublishesLiveFigures) {
  const std::string name = UniqueName("feed-live-test");
  corvane::SharedMemoryReader reader(name);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ReadWhatCorvaneFeedPublishes(name, L"--live --show 0", reader, snapshot, style);
  EXPECT_FALSE(reader.enabled());
  EXPECT_GT(snapshot.mem_total, 0.0);
  EXPECT_GE(snapshot.mem_total, snapshot.mem_free);
  EXPECT_GE(snapshot.cpu, 0.0);
  EXPECT_LE(snapshot.cpu, 100.0);
}

TEST(FeedBlockWinTest, CorvaneFeedRefusesBadInputWithExitCode1) {
  const std::wstring build = corvane::testing::BuildDirectory();
  ASSERT_FALSE(build.empty());
  std::wstring command = L"\"" + build + L"\\bin\\corvane-feed.exe\" --json-file Z:\\no\\such.json";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  const base::win::ScopedHandle process_handle(process.hProcess);
  const base::win::ScopedHandle thread_handle(process.hThread);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 1u);
}

}  // namespace
