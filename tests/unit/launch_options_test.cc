// "--hwnd" and "--game-id" on the command line.
#include <gtest/gtest.h>

#include "src/main/launch_options.h"

namespace {

using corvane::ExtractOption;
using corvane::ParseLaunchArgs;

TEST(ExtractOptionTest, SubstringRule) {
  EXPECT_EQ(ExtractOption(L"--hwnd 1A2B --game-id 42", L"--hwnd"), L"1A2B");
  EXPECT_EQ(ExtractOption(L"--hwnd    1A2B", L"--hwnd"), L"1A2B");
  EXPECT_EQ(ExtractOption(L"--hwnd=1A2B", L"--hwnd"), L"=1A2B");
  EXPECT_EQ(ExtractOption(L"--hwndX 12", L"--hwnd"), L"X");
  EXPECT_EQ(ExtractOption(L"--hwnd \"12 34\"", L"--hwnd"), L"\"12");
  EXPECT_EQ(ExtractOption(L"--hwnd\t12", L"--hwnd"), L"\t12");  // only spaces are skipped
  EXPECT_EQ(ExtractOption(L"x --hwnd", L"--hwnd"), L"");
  EXPECT_EQ(ExtractOption(L"x --hwnd   ", L"--hwnd"), L"");
  EXPECT_EQ(ExtractOption(L"--HWND 12", L"--hwnd"), L"");
  EXPECT_EQ(ExtractOption(L"--hwnd 1 --hwnd 2", L"--hwnd"), L"1");
}

TEST(LaunchArgsTest, HandleIsAlwaysHexadecimal) {
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 1A2B --game-id 42").game_window, 0x1A2Bu);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 0x1a2b").game_window, 0x1A2Bu);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 0X1A2B").game_window, 0x1A2Bu);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 123").game_window, 0x123u);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 1a2bzz").game_window, 0x1A2Bu);  // trailing text ignored
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd FFFFFFFFFFFFFFFF").game_window, ~uintptr_t{0});
}

TEST(LaunchArgsTest, LongHandlesKeepTheirLowBitsAndASignNegates) {
  // More than 16 digits: the low 64 bits stay, as msvcrt's "%Ix" keeps them.
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 10000000000001A2B").game_window, 0x1A2Bu);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 0x123456789ABCDEF0123").game_window,
            static_cast<uintptr_t>(0x456789ABCDEF0123ull));
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd +1A2B").game_window, 0x1A2Bu);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd -1").game_window, ~uintptr_t{0});
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd -0x10").game_window, static_cast<uintptr_t>(0) - 16);
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd -").game_window, 0u);
}

TEST(LaunchArgsTest, UnusableHandlesAreZero) {
  for (const wchar_t* line : {L"", L"--hwnd=1A2B", L"--hwnd", L"--game-id 4 --hwnd", L"--hwnd   ",
                              L"--hwnd zz", L"--hwnd 0", L"--hwnd 0x"}) {
    EXPECT_EQ(ParseLaunchArgs(line).game_window, 0u) << line;
  }
}

TEST(LaunchArgsTest, GameIdFollowsWcstoull) {
  EXPECT_EQ(ParseLaunchArgs(L"--hwnd 1").game_id, 0u);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id 42").game_id, 42u);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id abc").game_id, 0u);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id -1").game_id, UINT64_MAX);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id +7x").game_id, 7u);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id 99999999999999999999999").game_id, UINT64_MAX);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id 18446744073709551615").game_id, UINT64_MAX);
  EXPECT_EQ(ParseLaunchArgs(L"--game-id 0x10").game_id, 0u);
}

TEST(LaunchArgsTest, FirstOccurrenceOfEachCountsAndSearchesAreIndependent) {
  const auto args = ParseLaunchArgs(L"--game-id 7 --hwnd ab --game-id 8 --hwnd cd");
  EXPECT_EQ(args.game_window, 0xABu);
  EXPECT_EQ(args.game_id, 7u);
}

}  // namespace
