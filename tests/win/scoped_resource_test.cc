// The one owner of Win32 resources: release once, clear, keep the last error.
#include <gtest/gtest.h>

#include "base/os/win/scoped_resource.h"

namespace {

int g_releases = 0;

struct CountingTraits {
  using Handle = int;
  static Handle Empty() { return 0; }
  static void Release(Handle) {
    ++g_releases;
    SetLastError(ERROR_INVALID_HANDLE);  // a release that disturbs the error
  }
};
using Counted = base::win::ScopedResource<CountingTraits>;

TEST(ScopedResourceTest, ReleasesOnceAndClears) {
  g_releases = 0;
  {
    Counted a(7);
    EXPECT_TRUE(a.valid());
    a.reset();
    EXPECT_FALSE(a.valid());
    a.reset();  // a second release does nothing
    EXPECT_EQ(g_releases, 1);
    a.reset(8);
  }
  EXPECT_EQ(g_releases, 2);
}

TEST(ScopedResourceTest, MoveTransfersOwnership) {
  g_releases = 0;
  {
    Counted a(7);
    Counted b(std::move(a));
    EXPECT_FALSE(a.valid());
    EXPECT_EQ(b.get(), 7);
    Counted c(9);
    c = std::move(b);  // releases 9
    EXPECT_EQ(g_releases, 1);
    EXPECT_EQ(c.get(), 7);
  }
  EXPECT_EQ(g_releases, 2);
}

TEST(ScopedResourceTest, KeepsTheLastErrorAcrossARelease) {
  Counted a(7);
  SetLastError(ERROR_FILE_NOT_FOUND);
  a.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ScopedResourceTest, ModuleOwnerUnloads) {
  ASSERT_EQ(GetModuleHandleW(L"dciman32.dll"), nullptr) << "dciman32 is already in the process";
  {
    base::win::ScopedModule module(LoadLibraryW(L"dciman32.dll"));
    ASSERT_TRUE(module.valid());
    EXPECT_NE(GetModuleHandleW(L"dciman32.dll"), nullptr);
  }
  EXPECT_EQ(GetModuleHandleW(L"dciman32.dll"), nullptr);
}

}  // namespace
