#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qel/text.h"
#include "testsupport.h"

namespace {

// GBK bytes of some characters used below.
const std::string kGbkZhongWen = "\xD6\xD0\xCE\xC4";  // 中文
const std::string kGbkWith5C = "\x95\x5C";            // 昞: second byte is "\"

TEST(TextConversion, Table) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string gbk;
  } cases[] = {
      {"empty", "", ""},
      {"ascii", "abc 123 {}\"\\", "abc 123 {}\"\\"},
      {"chinese", "中文", kGbkZhongWen},
      {"second byte 0x5C", "\xE6\x98\x9E", kGbkWith5C},
      {"mixed", "a中b文c",
       "a\xD6\xD0"
       "b\xCE\xC4"
       "c"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qel::Utf8ToGbk(c.utf8), c.gbk) << c.name;
    EXPECT_EQ(qel::GbkToUtf8(c.gbk), c.utf8) << c.name;
    std::string inPlace = c.gbk;
    EXPECT_EQ(qel::GbkToUtf8(inPlace, &inPlace), 0);
    EXPECT_EQ(qel::Utf8ToGbk(inPlace, &inPlace), 0);
    EXPECT_EQ(inPlace, c.gbk) << c.name << ": round trip in place";
  }
}

TEST(TextConversion, UnconvertibleSequencesAreDroppedAndTheRestKept) {
  struct Case {
    const char* name;
    std::string (*convert)(std::string_view);
    std::string in, out;
  } cases[] = {
      {"character GBK lacks", qel::Utf8ToGbk,
       "a\xF0\x9F\x98\x80"
       "中",
       "a" + kGbkZhongWen.substr(0, 2)},
      {"broken UTF-8 byte", qel::Utf8ToGbk, "x\xC3y", "xy"},
      {"lone GBK lead byte at the end", qel::GbkToUtf8, kGbkZhongWen + "\xD6", "中文"},
      {"invalid GBK byte inside", qel::GbkToUtf8,
       "a\xFF"
       "b",
       "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.convert(c.in), c.out) << c.name;
}

// A GBK code that is well formed but that the converter cannot map goes
// whole; the character after it must survive, whatever byte it starts with.
TEST(TextConversion, UnmappableGbkCodesNeverTakeTheNextCharacter) {
  struct Case {
    const char* name;
    std::string gbk;
    std::string utf8;
  } cases[] = {
      {"user-defined area, then a Chinese character", "\xAA\xA1\xB2\xFA", "产"},
      {"unmapped symbol, then a backslash", "\xA2\xE3\\", "\\"},
      {"last user-defined area, then a bracket", "\xF8\xA1]", "]"},
      {"ASCII second byte: only the lead goes", "\xA1\x40@", "@@"},
      {"second byte 0x80",
       "\xFE\x80"
       "a",
       "a"},
      {"inside a JSON string", "\"\xAA\xA8\\\"\"", "\"\\\"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(qel::GbkToUtf8(c.gbk), c.utf8) << c.name;
}

// Every two-byte code followed by a Chinese character: a code the converter
// maps keeps its character, any other gives at most its ASCII second byte,
// and the character after it is always whole.
TEST(TextConversion, EveryTwoByteCodeLeavesTheNextCharacterWhole) {
  iconv_t plain = iconv_open("UTF-8", "GBK");
  ASSERT_NE(plain, reinterpret_cast<iconv_t>(-1));
  const std::string follower = "\xB2\xFA";  // 产
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int second = 0x40; second <= 0xFE; ++second) {
      if (second == 0x7F) continue;
      char code[2] = {static_cast<char>(lead), static_cast<char>(second)};
      char mapped[16];
      char* in = code;
      size_t inLeft = 2;
      char* out = mapped;
      size_t outLeft = sizeof mapped;
      iconv(plain, nullptr, nullptr, nullptr, nullptr);
      bool maps = iconv(plain, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
      std::string expected = maps ? std::string(mapped, sizeof mapped - outLeft)
                                  : (second < 0x80 ? std::string(1, code[1]) : std::string());
      expected += "产";
      ASSERT_EQ(qel::GbkToUtf8(std::string(code, 2) + follower), expected)
          << std::hex << "code " << lead << " " << second;
    }
  }
  iconv_close(plain);
}

TEST(TextConversion, ConvertCode) {
  EXPECT_EQ(qel::ConvertCode("gbk", "utf-8//IGNORE", nullptr), nullptr);
  char* empty = qel::ConvertCode("gbk", "utf-8//IGNORE", "");
  EXPECT_STREQ(empty, "");
  delete[] empty;
  const char utf16[] = {'h', 0, 'i', 0, 0x2D, 0x4E, 0, 0};  // "hi中"
  char* converted = qel::ConvertCode("UTF-16LE", "gbk//IGNORE", utf16);
  EXPECT_EQ(std::string(converted), "hi\xD6\xD0");
  delete[] converted;
}

TEST(StringHelpers, TrimSplitCase) {
  EXPECT_EQ(qel::Trim(" \t\n a b \r\n"), "a b");
  EXPECT_EQ(qel::TrimLeft("  x "), "x ");
  EXPECT_EQ(qel::TrimRight("  x "), "  x");
  std::vector<std::string> fields;
  EXPECT_EQ(qel::SplitString("a,b,,c,", ',', &fields), 4);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(qel::SplitString("", ',', &fields), 0);
  EXPECT_TRUE(fields.empty());
  EXPECT_EQ(qel::ToUpper("ab\xD6\xD0z"), "AB\xD6\xD0Z");
  EXPECT_TRUE(qel::StartsWithNoCase("HTTPS://x", "https://"));
}

TEST(StringHelpers, NumbersNeverOverflow) {
  struct Case {
    std::string text;
    int asInt;
    int64_t asInt64;
    uint64_t asUInt64;
  } cases[] = {
      {"", 0, 0, 0},
      {"abc", 0, 0, 0},
      {"  42xyz", 42, 42, 42},
      {"-7", -7, -7, 0},
      {"99999999999", 2147483647, 99999999999LL, 99999999999ULL},
      {"-99999999999", -2147483647 - 1, -99999999999LL, 0},
      {"99999999999999999999999", 2147483647, INT64_MAX, UINT64_MAX},
      {"18446744073709551615", 2147483647, INT64_MAX, UINT64_MAX},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qel::StringToInt(c.text), c.asInt) << c.text;
    EXPECT_EQ(qel::StringToInt64(c.text), c.asInt64) << c.text;
    EXPECT_EQ(qel::StringToUInt64(c.text), c.asUInt64) << c.text;
  }
  EXPECT_EQ(qel::Int64ToString(-5), "-5");
  EXPECT_EQ(qel::UInt64ToString(UINT64_MAX), "18446744073709551615");
  EXPECT_TRUE(qel::IsDecimalId("0123"));
  for (const char* bad : {"", "1 OR 1=1", "-1", "12a", "1'"}) EXPECT_FALSE(qel::IsDecimalId(bad)) << bad;
}

// Every caller reads the same number; only what out of range means differs,
// and the scanner says which case it met.
TEST(StringHelpers, ScanIntegerTellsNoneExactAndOutOfRange) {
  using S = qel::IntegerScan;
  struct Case {
    std::string text;
    S intScan;
    int asInt;
    S int64Scan;
    S uint64Scan;
  } cases[] = {
      {"", S::kNone, 0, S::kNone, S::kNone},
      {" +", S::kNone, 0, S::kNone, S::kNone},
      {"\t-12x", S::kExact, -12, S::kExact, S::kNone},
      {"2147483647", S::kExact, 2147483647, S::kExact, S::kExact},
      {"-2147483648", S::kExact, -2147483647 - 1, S::kExact, S::kNone},
      {"2147483648", S::kOutOfRange, 2147483647, S::kExact, S::kExact},
      {"-9223372036854775808", S::kOutOfRange, -2147483647 - 1, S::kExact, S::kNone},
      {"9223372036854775808", S::kOutOfRange, 2147483647, S::kOutOfRange, S::kExact},
      {"18446744073709551616", S::kOutOfRange, 2147483647, S::kOutOfRange, S::kOutOfRange},
  };
  for (const Case& c : cases) {
    int asInt = 7;
    int64_t asInt64 = 7;
    uint64_t asUInt64 = 7;
    EXPECT_EQ(qel::ScanInteger(c.text, &asInt), c.intScan) << c.text;
    EXPECT_EQ(asInt, c.asInt) << c.text;
    EXPECT_EQ(qel::ScanInteger(c.text, &asInt64), c.int64Scan) << c.text;
    EXPECT_EQ(qel::ScanInteger(c.text, &asUInt64), c.uint64Scan) << c.text;
  }
}

TEST(Versions, ParseAndFormat) {
  const uint64_t v1234 = (1ULL << 56) | (2ULL << 48) | (3ULL << 32) | 4ULL;
  struct Case {
    std::string text;
    bool ok;
    uint64_t value;
  } cases[] = {
      {std::to_string(v1234), true, v1234},
      {"V1.2.3.4", true, v1234},
      {"0", true, 0},
      {"V255.255.65535.4294967295", true, UINT64_MAX},
      {"V256.0.0.0", false, 0},
      {"V1.2.3", false, 0},
      {"V1.2.3.4.", false, 0},
      {"V1..3.4", false, 0},
      {"", false, 0},
      {" ", false, 0},
      {"18446744073709551616", false, 0},
      {"12x", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t value = 99;
    EXPECT_EQ(qel::ParseVersion(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  EXPECT_EQ(qel::VersionToString(std::to_string(v1234)), "V1.2.3.4");
  EXPECT_EQ(qel::VersionToString(UINT64_MAX), "V255.255.65535.4294967295");
}

TEST(FileHelpers, NamesAndExtensions) {
  struct Case {
    std::string path, name, ext;
  } cases[] = {
      {"", "", ""},
      {"a.txt", "a.txt", ".txt"},
      {"C:\\x\\dir/file.tar.gz", "file.tar.gz", ".tar.gz"},
      {"a.b/c\\noext", "noext", ""},
      {"dir/" + kGbkWith5C + ".png", kGbkWith5C + ".png", ".png"},  // 0x5C inside a character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qel::GetFileName(c.path), c.name) << c.path;
    EXPECT_EQ(qel::GetFileExt(c.path), c.ext) << c.path;
  }
  EXPECT_FALSE(qel::IsPath(""));
  EXPECT_TRUE(qel::IsPath("x"));
}

TEST(FileHelpers, CopyAndCreate) {
  const std::string dir = qeltest::TestDir();
  const std::string src = dir + "/" + kGbkZhongWen + ".bin";  // a GBK name reaches the disk as UTF-8
  qeltest::WriteFile(dir + "/中文.bin", std::string("a\0b", 3));
  ASSERT_TRUE(qel::FileExists(src));
  EXPECT_EQ(qel::CopyFileByStream(src, dir + "/copy.bin"), 0);
  EXPECT_EQ(qeltest::ReadFile(dir + "/copy.bin"), std::string("a\0b", 3));
  EXPECT_EQ(qel::CopyFileByStream("", dir + "/x"), 2);
  EXPECT_EQ(qel::CopyFileByStream(dir + "/missing", dir + "/x"), 2);
  EXPECT_EQ(qel::CopyFileByStream(src, src), 2) << "a copy onto itself would truncate the source";
  EXPECT_EQ(qeltest::ReadFile(dir + "/中文.bin").size(), 3u);
  EXPECT_EQ(qel::CopyFileByStream(src, dir + "/no/such/folder/x"), 9);

  EXPECT_EQ(qel::CreateDirectories(""), 2);
  EXPECT_EQ(qel::CreateDirectories(dir + "\\a\\b/c"), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/a/b/c"));
  EXPECT_EQ(qel::CreateDirectories(dir + "/a"), 0);
  EXPECT_EQ(qel::CreateDirectories(dir + "/copy.bin/sub"), 9) << "a file stands where a folder must go";
}

TEST(Misc, LevelWidthAndClock) {
  const int widths[] = {0, 6, 3, 3, 3, 0, 0};
  for (int level = 0; level <= 6; ++level)
    EXPECT_EQ(qel::GetCategoryLevelWidth(level), widths[level]) << level;
  EXPECT_EQ(qel::GetCategoryLevelWidth(-1), 0);
  uint64_t a = qel::NowMs(), b = qel::NowMs();
  EXPECT_LE(a, b);
  EXPECT_GT(a, 1600000000000ULL);
}

TEST(GbkText, ValidityOfByteSequences) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {{"", true},          {"abc\\", true},   {"\xD5\x5C\xD0\xC5\x81\x5C", true},
                        {"\xFF\xFE", false}, {"12\xFF", false}, {std::string("a") + "\xD5", false},
                        {"\xD5\x22", false}};
  for (const Case& c : cases) EXPECT_EQ(qel::IsValidGbk(c.text), c.valid) << c.text;
}

// A view ends where it ends: a lead byte as its last byte is an incomplete
// character even when the byte after the view would complete it, and no
// byte past the view is read (the heap buffers are of exact size, so ASan
// reports any read beyond them).
TEST(GbkText, ValidityEndsAtTheEndOfTheView) {
  const std::string larger = "ab\xD5\x5C";  // 0xD5 0x5C is one character
  EXPECT_TRUE(qel::IsValidGbk(larger));
  EXPECT_FALSE(qel::IsValidGbk(std::string_view(larger.data(), 3)));
  EXPECT_FALSE(qel::IsKeyText(std::string_view(larger.data(), 3)));

  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {{"ab\xD5", false}, {"\xD5", false}, {"\xD5\x5C", true}, {"a\xD5\x5C\x81", false}};
  for (const auto& c : cases) {
    std::unique_ptr<char[]> exact(new char[c.bytes.size()]);
    std::memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    EXPECT_EQ(qel::IsValidGbk(std::string_view(exact.get(), c.bytes.size())), c.valid) << c.bytes;
  }
}

// "\x81\x40" is one character whose second byte is "@": an account name
// holding it is no mail address.
TEST(GbkText, AsciiCharactersAreNotSecondBytes) {
  struct Case {
    std::string text;
    bool holdsAt;
  };
  const Case cases[] = {
      {"a@b.c", true}, {"\x81\x40", false}, {"\x81\x40@", true}, {"\xD5\x5C\x81\x40", false}, {"", false}};
  for (const Case& c : cases) EXPECT_EQ(qel::GbkContainsAscii(c.text, '@'), c.holdsAt) << c.text;
}

}  // namespace
