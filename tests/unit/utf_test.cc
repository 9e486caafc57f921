// Wide, UTF-16 and UTF-8 text at the seams.
#include <gtest/gtest.h>

#include "base/strings/utf.h"

namespace {

TEST(UtfTest, WideToUtf8CoversEveryLength) {
  EXPECT_EQ(base::WideToUtf8(L"D:\\Games"), "D:\\Games");
  EXPECT_EQ(base::WideToUtf8(L"\u00e9\u4e2d"), "\xc3\xa9\xe4\xb8\xad");
  EXPECT_EQ(base::WideToUtf8(L"\U0001F600"), "\xf0\x9f\x98\x80");
  EXPECT_EQ(base::WideToUtf8(L""), "");
}

TEST(UtfTest, Utf16RoundTripWithSurrogatePairs) {
  const std::wstring wide = L"a\u4e2d\U0001F600z";
  const std::u16string utf16 = base::WideToUtf16(wide);
  EXPECT_EQ(utf16, u"a\u4e2d\U0001F600z");
  EXPECT_EQ(utf16.size(), 5u);
  EXPECT_EQ(base::Utf16ToWide(utf16), wide);
}

TEST(UtfTest, LoneSurrogateBecomesReplacementCharacter) {
  const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
  EXPECT_EQ(base::WideToUtf8(base::Utf16ToWide(lone)),
            "a\xef\xbf\xbd"
            "b");
}

TEST(UtfTest, Utf8ToWideRoundTripsEveryLength) {
  const std::wstring wide = L"/tmp/d\u00e9/\u4e2d\U0001F600";
  EXPECT_EQ(base::Utf8ToWide("/tmp/d\xc3\xa9/\xe4\xb8\xad\xf0\x9f\x98\x80"), wide);
  EXPECT_EQ(base::Utf8ToWide(base::WideToUtf8(wide)), wide);
  EXPECT_EQ(base::WideToUtf16(base::Utf8ToWide("\xf0\x9f\x98\x80")).size(), 2u);
  EXPECT_EQ(base::Utf8ToWide(""), L"");
}

TEST(UtfTest, Utf8ToWideReplacesEachBadByte) {
  EXPECT_EQ(base::Utf8ToWide("a\xe9z"), L"a\uFFFDz");                  // Latin-1, not UTF-8
  EXPECT_EQ(base::Utf8ToWide("\xc0\xaf"), L"\uFFFD\uFFFD");            // overlong '/'
  EXPECT_EQ(base::Utf8ToWide("\xed\xa0\x80"), L"\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_EQ(base::Utf8ToWide("\xf4\x90\x80\x80").front(), L'\uFFFD');  // above U+10FFFF
  EXPECT_EQ(base::Utf8ToWide("x\xe4\xb8"), L"x\uFFFD\uFFFD");          // cut short
}

}  // namespace
