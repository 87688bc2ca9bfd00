// Faults found by the fuzz targets, each with the inputs that showed it.
#include <gtest/gtest.h>

#include <string>
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
// GBK: each once answered with the rows of the existing id.
TEST_F(HardeningInvokeTest, IdWithBytesThatAreNoGbkFindsNothing) {
  struct Case {
    int code;
    std::string request;
  } cases[] = {
      // Found by the invoke target: the parent of "100000\x83001" was 1000001.
      {0x603,
       "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"100000\x83"
       "001\"}}}"},
      {0x608, "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"1000001\x81\"}}}"},
      {0x604, "{\"PARAM\":{\"PRODUCT_CATEGORY\":{\"PRO_CATEGORY_ID\":\"100000\x83\"}}}"},
      {0x607, "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"10000000001\x81\"}}}"},
      {0x001, "{\"PARAM\":{\"BANNER\":{\"BANNER_ID\":\"1\x81\"}}}"},
  };
  for (const Case& c : cases) {
    char* reply = nullptr;
    EXPECT_EQ(Invoke(c.code, c.request.c_str(), &reply), 0) << "code 0x" << std::hex << c.code;
    Json::Value rows;
    ASSERT_TRUE(reply != nullptr && qel::ParseJson(reply, &rows)) << "code 0x" << std::hex << c.code;
    EXPECT_TRUE(rows.isArray() && rows.empty()) << "code 0x" << std::hex << c.code << ": " << reply;
    DeleteJsonStr(&reply);
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
