#include <gtest/gtest.h>

#include <cwchar>

#include "qelresource.h"

namespace {

TEST(Captions, TabledTextsByLanguageAndNumber) {
  struct Case {
    int lang;
    int index;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0, 1, L"全部产品"},
      {1, 1, L"All Product"},
      {0, 2, L"全部证书"},
      {1, 2, L"All Certificate"},
      {0, 3, L"型号/规格"},
      {1, 3,
       (L"Model/Specif"
        L"ications")},
      {0, 5, L"技术支持："},
      {1, 5, L"Tech Support:"},
      {1, 6, L"Tech Support:QEL"},
      {0, 7, L"："},
      {1, 7, L":"},
      {0, 8, L"报价"},
      {1, 8, L"Price"},
      {0, 9, L"暂无"},
      {1, 9, L"Not Available"},
      {1, 18, L"Ask Detail"},
      {0, 23, L"暂无描述"},
      {1, 23, L"No Description"},
      {0, 26, L"其他"},
      {1, 26, L"Others"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(getLANG(c.lang, c.index), c.text) << "lang " << c.lang << " index " << c.index;
  }
}

TEST(Captions, ChineseTextsAreWholeCodePoints) {
  // One wchar_t per character: the full-width colon is a single unit.
  const wchar_t* colon = getLANG(0, 7);
  ASSERT_NE(colon, nullptr);
  EXPECT_EQ(std::wcslen(colon), 1u);
  EXPECT_EQ(static_cast<unsigned long>(colon[0]), 0xFF1Aul);
  const wchar_t* supportLabel = getLANG(0, 6);
  ASSERT_NE(supportLabel, nullptr);
  EXPECT_EQ(std::wcsncmp(supportLabel, L"技术支持：", 5), 0);
  EXPECT_GT(std::wcslen(supportLabel), 5u) << "the provider name follows the label";
}

TEST(Captions, OutOfRangeIsNull) {
  const int cases[][2] = {{1, 27}, {0, 27}, {0, -1}, {1, -1}, {2, 0}, {-1, 0}, {0, 1000}, {7, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(getLANG(c[0], c[1]), nullptr) << "lang " << c[0] << " index " << c[1];
  }
}

TEST(Captions, AllFiftyFourPresentAndNonEmpty) {
  int present = 0;
  for (int lang = 0; lang < 2; ++lang) {
    for (int index = 0; index < 27; ++index) {
      const wchar_t* text = getLANG(lang, index);
      ASSERT_NE(text, nullptr) << "lang " << lang << " index " << index;
      EXPECT_GT(std::wcslen(text), 0u) << "lang " << lang << " index " << index;
      ++present;
    }
  }
  EXPECT_EQ(present, 54);
}

TEST(Captions, MarkerFunction) { EXPECT_EQ(fnQelResource(), 42); }

}  // namespace
