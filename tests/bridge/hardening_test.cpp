// Faults found by the fuzz targets, each with the inputs that showed it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "database/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qel::dataspace::QuoteSqlText;

std::string FixtureRows(const std::string& database) {
  return qeltest::ReadFile(std::string(QEL_SOURCE_DIR) + "/tests/fuzz/fixture_rows." + database + ".sql");
}

// A value with bytes that are no GBK used to lose them when the SQL text
// was converted to UTF-8, so the literal stood for another value.
TEST(HardeningQuoteTest, TextsThatConversionWouldChangeMatchNothing) {
  const std::string trail5c = qeltest::Gbk("乗俓");  // both end in 0x5C
  struct Case {
    std::string in, out;
  } cases[] = {
      {"12", "'12'"},
      {"O'Brien", "'O''Brien'"},
      {trail5c, "'" + trail5c + "'"},
      {"\x80", "'\x80'"},  // the one single-byte GBK character
      {"100000\x83"
       "001",
       "NULL"},                 // a lead byte before a digit
      {"1000001\x81", "NULL"},  // a lead byte at the end
      {"\x81'", "NULL"},        // a lead byte before a quote
      {"\xFF", "NULL"},         // never GBK
      {std::string("1\0"
                   "2",
                   3),
       "NULL"},  // a zero byte would end the SQL text
  };
  for (const Case& c : cases) EXPECT_EQ(QuoteSqlText(c.in), c.out) << "input: " << c.in;
}

class HardeningInvokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Main(FixtureRows("qel_data"));
    install_.Ex(FixtureRows("qel_exdata"));
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  }

  qeltest::Installation install_;
};

// Requests whose id differs from an existing one only by a byte that is no
// GBK: each once answered with the rows of the existing id. A \u escape of
// a character GBK lacks after the existing id is answered as a raw byte that
// is no GBK there.
TEST_F(HardeningInvokeTest, IdWithBytesThatAreNoGbkFindsNothing) {
  struct Case {
    int code;
    const char* object;
    const char* member;
    std::string badId;     // an id with a raw byte that is no GBK
    std::string storedId;  // the id of rows that exist
  } cases[] = {
      // Found by the invoke target: the parent of "100000\x83001" was 1000001.
      {0x603, "PRODUCT_CATEGORY", "PRO_CATEGORY_ID",
       "100000\x83"
       "001",
       "1000001001"},
      {0x608, "PRODUCT_CATEGORY", "PRO_CATEGORY_ID", "1000001\x81", "1000001"},
      {0x604, "PRODUCT_CATEGORY", "PRO_CATEGORY_ID", "100000\x83", "1000001"},
      {0x607, "PRODUCT", "PRODUCT_ID", "10000000001\x81", "10000000001"},
      {0x001, "BANNER", "BANNER_ID", "1\x81", "1"},
  };
  for (const Case& c : cases) {
    const auto call = [&c](const std::string& id) {
      const std::string request =
          std::string("{\"PARAM\":{\"") + c.object + "\":{\"" + c.member + "\":\"" + id + "\"}}}";
      char* reply = nullptr;
      const int result = Invoke(c.code, request.c_str(), &reply);
      std::pair<int, std::string> answer(result, reply != nullptr ? reply : "");
      DeleteJsonStr(&reply);
      return answer;
    };
    const auto bad = call(c.badId);
    EXPECT_EQ(bad.first, 0) << c.badId;
    Json::Value rows;
    ASSERT_TRUE(qel::ParseJson(bad.second, &rows)) << c.badId;
    EXPECT_TRUE(rows.isArray() && rows.empty()) << c.badId << ": " << bad.second;

    const auto stored = call(c.storedId);
    const auto storedAndByte = call(c.storedId + "\x81");
    EXPECT_NE(storedAndByte, stored) << c.storedId;
    for (const char* escape : {"\\ud83d\\ude00", "\\ud83d", "\\udc00", "\\u0e01"}) {
      EXPECT_EQ(call(c.storedId + escape), storedAndByte) << c.storedId << escape;
    }
  }

  // The same value in a write's filter changes no row.
  qel::dataspace::qelRecord update;
  Json::Value row(Json::objectValue);
  row["LASTTIME"] = "1";
  row["UPFILTER"] = "PROD_ID = " + QuoteSqlText("10000000001\x81");
  update.Append(row);
  qel::dataspace::IQELDatasource* datasource = qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource();
  ASSERT_NE(datasource, nullptr);
  EXPECT_TRUE(datasource->UpdateRecord("PRODUCT_EXTEND", &update));
  EXPECT_EQ(install_.QueryMain("SELECT LASTTIME FROM PRODUCT_EXTEND WHERE PROD_ID = '10000000001'"),
            std::vector<std::string>{"1700000101"});
}

}  // namespace
