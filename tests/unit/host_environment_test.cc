// Host install path, log directory and version text rules.
#include <gtest/gtest.h>

#include "src/main/host_environment.h"

namespace {

using corvane::FindVexoraArgument;
using corvane::ParentOfExecutableDirectory;

TEST(VexoraArgumentTest, FirstArgumentThatStartsWithThePrefix) {
  EXPECT_EQ(FindVexoraArgument({L"app.exe", L"--hwnd", L"1A2B", L"vx=D:\\Games\\Host"}),
            L"D:\\Games\\Host");
  EXPECT_EQ(FindVexoraArgument({L"app.exe", L"vx=A", L"vx=B"}), L"A");
  EXPECT_EQ(FindVexoraArgument({L"vx=C:\\self"}), L"C:\\self");  // the program path counts too
}

TEST(VexoraArgumentTest, OnlyAtTheStartAndInExactCase) {
  EXPECT_EQ(FindVexoraArgument({L"app.exe", L"xvx=D:\\"}), L"");
  EXPECT_EQ(FindVexoraArgument({L"app.exe", L"VX=D:\\"}), L"");
  EXPECT_EQ(FindVexoraArgument({L"app.exe"}), L"");
  EXPECT_EQ(FindVexoraArgument({}), L"");
}

TEST(VexoraArgumentTest, QuotesAtEitherEndAreRemoved) {
  EXPECT_EQ(FindVexoraArgument({L"vx=\"D:\\Games\\Host\""}), L"D:\\Games\\Host");
  EXPECT_EQ(FindVexoraArgument({L"vx=\"\"D:\\a\"b\"\""}), L"D:\\a\"b");
  EXPECT_EQ(FindVexoraArgument({L"vx="}), L"");
  EXPECT_EQ(FindVexoraArgument({L"vx=\"\""}), L"");
}

TEST(ParentInstallDirTest, TwoLevelsUp) {
  EXPECT_EQ(ParentOfExecutableDirectory(L"D:\\Games\\Host\\overlay\\app.exe"), L"D:\\Games\\Host");
  EXPECT_EQ(ParentOfExecutableDirectory(L"/opt/host/overlay/app"), L"/opt/host");
  EXPECT_EQ(ParentOfExecutableDirectory(L"D:/Games\\overlay/app.exe"), L"D:/Games");
  EXPECT_EQ(ParentOfExecutableDirectory(L"C:\\app.exe"), L"");  // "C:" has no separator
  EXPECT_EQ(ParentOfExecutableDirectory(L"app.exe"), L"");
  EXPECT_EQ(ParentOfExecutableDirectory(L""), L"");
}

TEST(HostLogDirectoryTest, AppendsLogOnlyToAPath) {
  EXPECT_EQ(corvane::HostLogDirectory(L"D:\\Games\\Host"), L"D:\\Games\\Host\\log");
  EXPECT_FALSE(corvane::HostLogDirectory(L"").has_value());
}

TEST(FileVersionTest, FourNumbersFromTwoWords) {
  EXPECT_EQ(corvane::FormatFileVersion(0x00010002, 0x00030004), L"1.2.3.4");
  EXPECT_EQ(corvane::FormatFileVersion(0xFFFFFFFF, 0), L"65535.65535.0.0");
}

}  // namespace
