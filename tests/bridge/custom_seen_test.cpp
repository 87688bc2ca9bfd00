// Mark as seen (0x522, 0x523): the _EXTEND rows that the "new" rule reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "bridgetest.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace {

using qeltest::Call;
using qeltest::Parse;
using qeltest::Reply;

class MarkSeenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.Ex(
        "INSERT INTO PRODUCT (PRODUCT_ID, SORT, SSORT, TEMPLATESORT, LASTTIME) VALUES "
        "('10010010001', 1, 1, 1, 1000), ('10010010002', 2, 2, 2, NULL), ('p''q', 3, 3, 3, 7);"
        "INSERT INTO PRODUCT_LANG (PRODUCT_ID, LANGID, NAME) VALUES ('10010010001', 3, 'P1'), "
        "('10010010002', 3, 'P2');"
        "INSERT INTO PRODUCT_CASE (CASE_ID, SORT, LASTTIME) VALUES ('k1', 1, 500);"
        "INSERT INTO PRODUCT_CASE_LANG (CASE_ID, LANGID, NAME) VALUES ('k1', 3, 'K1');"
        "INSERT INTO COM_CASES VALUES ('k1', 1);"
        "INSERT INTO CERTGROUP (CERTGROUP_ID, SORT, LASTTIME) VALUES ('g1', 1, 300);"
        "INSERT INTO CERT_CATEGORY (CERT_CATEGORY_ID, BEUSE, SORT) VALUES ('A', 1, 1);"
        "INSERT INTO BANNER_CATEGORY (BANNDERCATE_ID, BANNER_ID, ISSHOW, SORT, STATUS, LASTTIME) VALUES "
        "('c1', 'b1', 1, 1, 0, 40);");
    SetLogCallback(qeltest::CaptureLog);
    InitQelbridge(260, installation.StartupJson().c_str());
  }

  std::vector<std::string> Rows(const std::string& sql) const { return installation.QueryMain(sql); }

  qeltest::Installation installation;
};

std::string ProductStatus(const std::string& id) {
  Reply reply = Call(0x607, "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":\"" + id + "\"}}}");
  return qel::StringMember(qel::Element(Parse(reply.text), 0), "STATUS");
}

// Every item kind: the first mark inserts the item's time plus one, a second
// one updates the same row.
TEST_F(MarkSeenTest, EachKindWritesOneRowWithTheItemTimePlusOne) {
  const struct {
    int code;
    std::string request;
    std::string query;
    std::string row;
  } cases[] = {
      {0x522, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10010010001"}}})", "SELECT * FROM PRODUCT_EXTEND",
       "10010010001|1001"},
      {0x523, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10010010001"}}})", "SELECT * FROM PRODUCT_EXTEND",
       "10010010001|1001"},
      {0x523, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1","NAME":"K1"}}})", "SELECT * FROM CASE_EXTEND",
       "k1|501"},
      {0x523, R"({"PARAM":{" PRODUCT_CASE ":{"CASE_ID":"k1"}}})", "SELECT * FROM CASE_EXTEND", "k1|501"},
      {0x523, R"({"PARAM":{"CERTGROUP":{"CERTGROUP_ID":"g1"}}})", "SELECT * FROM CERTGROUP_EXTEND", "g1|301"},
      {0x523, R"({"PARAM":{"BANNER_CATEGORY":{"BANNER_ID":"b1","BANNDERCATE_ID":"c1"}}})",
       "SELECT BANNER_CATEGORY_ID, BANNER_ID, LASTTIME FROM BANNER_CATEGORY_EXTEND", "c1|b1|41"},
      {0x523, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"p'q"}}})", "SELECT * FROM PRODUCT_EXTEND", "p'q|8"},
  };
  for (const auto& c : cases) {
    installation.Main(
        "DELETE FROM PRODUCT_EXTEND; DELETE FROM CASE_EXTEND; DELETE FROM CERTGROUP_EXTEND;"
        "DELETE FROM BANNER_CATEGORY_EXTEND;");
    for (int mark = 1; mark <= 2; ++mark) {
      Reply reply = Call(c.code, c.request);
      EXPECT_EQ(reply.result, 0) << c.request << " mark " << mark;
      EXPECT_EQ(reply.text, "") << c.request;
      EXPECT_EQ(Rows(c.query), std::vector<std::string>{c.row}) << c.request << " mark " << mark;
    }
  }
}

TEST_F(MarkSeenTest, AMarkedItemIsNoLongerNew) {
  EXPECT_EQ(ProductStatus("10010010001"), "2");
  ASSERT_EQ(Call(0x522, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10010010001"}}})").result, 0);
  EXPECT_EQ(ProductStatus("10010010001"), "1");

  auto caseStatus = [] { return qel::StringMember(qel::Element(Parse(Call(0x009).text), 0), "STATUS"); };
  EXPECT_EQ(caseStatus(), "2");
  ASSERT_EQ(Call(0x523, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1"}}})").result, 0);
  EXPECT_EQ(caseStatus(), "1");

  // The item changed after it was seen: new again until the next mark.
  installation.Ex("UPDATE PRODUCT SET LASTTIME = 2000 WHERE PRODUCT_ID = '10010010001'");
  EXPECT_EQ(ProductStatus("10010010001"), "2");
  ASSERT_EQ(Call(0x522, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10010010001"}}})").result, 0);
  EXPECT_EQ(Rows("SELECT LASTTIME FROM PRODUCT_EXTEND"), std::vector<std::string>{"2001"});
  EXPECT_EQ(ProductStatus("10010010001"), "1");
}

// Without a time of its own (no row, a null or unreadable time, or a kind
// whose table has no time) the mark takes the current time plus one.
TEST_F(MarkSeenTest, ItemsWithoutATimeTakeTheCurrentTime) {
  installation.Ex("INSERT INTO PRODUCT_CASE (CASE_ID, SORT, LASTTIME) VALUES ('k2', 1, 'soon');");
  const struct {
    std::string request;
    std::string query;
  } cases[] = {
      {R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"999"}}})",
       "SELECT LASTTIME FROM PRODUCT_EXTEND WHERE PROD_ID='999'"},
      {R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10010010002"}}})",
       "SELECT LASTTIME FROM PRODUCT_EXTEND WHERE PROD_ID='10010010002'"},
      {R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k2"}}})",
       "SELECT LASTTIME FROM CASE_EXTEND WHERE CASE_ID='k2'"},
      {R"({"PARAM":{"CERT_CATEGORY":{"CERT_CATEGORY_ID":"A"}}})",
       "SELECT LASTTIME FROM COMPANYCERT_EXTEND WHERE CERT_CATEGORY_ID='A'"},
  };
  for (const auto& c : cases) {
    const int64_t before = static_cast<int64_t>(qel::NowMs());
    ASSERT_EQ(Call(0x523, c.request).result, 0) << c.request;
    const int64_t after = static_cast<int64_t>(qel::NowMs());
    std::vector<std::string> rows = Rows(c.query);
    ASSERT_EQ(rows.size(), 1u) << c.request;
    const int64_t stored = qel::StringToInt64(rows[0]);
    EXPECT_GE(stored, before + 1) << c.request;
    EXPECT_LE(stored, after + 1) << c.request;
  }
  EXPECT_TRUE(
      qeltest::LoggedBridge("qel::dataspace::qel_Invoke_Custom::SetStatusNormal", "Get last data error"));
}

TEST_F(MarkSeenTest, BadRequestsWriteNothing) {
  const struct {
    int code;
    std::string request;
    std::string message;
  } cases[] = {
      {0x523, "", "Json error"},
      {0x523, "not json", "Json error"},
      {0x523, R"({"LIMIT":1})", "Json error"},
      {0x523, R"({"PARAM":{}})", "Json Error"},
      {0x523, R"({"PARAM":{"COMPANYCERT":{"ID":"1"}}})", "not support"},
      {0x523, R"({"PARAM":{"product":{"PRODUCT_ID":"10010010001"}}})", "not support"},
      {0x523, R"({"PARAM":{"BANNER_CATEGORY":{"BANNER_ID":"b1"}}})", "Json error"},
      {0x523, R"({"PARAM":{"PRODUCT":"10010010001"}})", "Json error"},
      {0x523, R"({"PARAM":{"PRODUCT":["10010010001"]}})", "Json error"},
      {0x523, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":null}}})", "Json error"},
      {0x523, R"({"PARAM":{"PRODUCT_CASE":{"ID":"k1"}}})", "Json error"},
      // The first member by name decides, even when a later one would do.
      {0x523, R"({"PARAM":{"A":{},"PRODUCT":{"PRODUCT_ID":"10010010001"}}})", "not support"},
      {0x522, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1"}}})", "Can not get PRODUCTID fros from in "},
      {0x522, "", "Can not get PRODUCTID fros from in "},
  };
  for (const auto& c : cases) {
    qeltest::ClearLog();
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 1) << c.request;
    EXPECT_EQ(qel::StringMember(Parse(reply.text), "ERRORCODE"), "1") << c.request;
    EXPECT_TRUE(qeltest::LoggedAtEnd(c.message)) << c.request << "\n" << qeltest::LogText();
  }
  for (const char* table : {"PRODUCT_EXTEND", "CASE_EXTEND", "CERTGROUP_EXTEND", "BANNER_CATEGORY_EXTEND",
                            "COMPANYCERT_EXTEND"}) {
    EXPECT_EQ(Rows(std::string("SELECT COUNT(*) FROM ") + table), std::vector<std::string>{"0"}) << table;
  }
}

// A write that fails is reported, never taken for a mark.
TEST_F(MarkSeenTest, AFailedWriteIsAFailure) {
  installation.Main("DROP TABLE CASE_EXTEND;");
  qeltest::ClearLog();
  EXPECT_EQ(Call(0x523, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1"}}})").result, 1);
  installation.Main(
      "CREATE TABLE CASE_EXTEND (CASE_ID TEXT PRIMARY KEY, LASTTIME INTEGER);"
      "CREATE TRIGGER no_update BEFORE UPDATE ON CASE_EXTEND BEGIN SELECT RAISE(ABORT, 'read only'); END;"
      "INSERT INTO CASE_EXTEND VALUES ('k1', 5);");
  qeltest::ClearLog();
  EXPECT_EQ(Call(0x523, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1"}}})").result, 1);
  EXPECT_TRUE(qeltest::LoggedAtEnd("Update lasttime error")) << qeltest::LogText();
  EXPECT_EQ(Rows("SELECT * FROM CASE_EXTEND"), std::vector<std::string>{"k1|5"});
}

// A count that cannot be read is a failure, never taken for "no row yet":
// read as 0 it would add a second row for the item.
TEST_F(MarkSeenTest, AFailedCountWritesNothing) {
  // The marks live in CASE_MARKS; CASE_EXTEND takes writes but fails every
  // read (integer overflow while stepping).
  installation.Main(
      "DROP TABLE CASE_EXTEND;"
      "CREATE TABLE CASE_MARKS (CASE_ID TEXT, LASTTIME INTEGER);"
      "INSERT INTO CASE_MARKS VALUES ('k1', 5);"
      "CREATE VIEW CASE_EXTEND AS SELECT CASE_ID, LASTTIME FROM CASE_MARKS "
      "WHERE abs(-9223372036854775808) = 1;"
      "CREATE TRIGGER marks_insert INSTEAD OF INSERT ON CASE_EXTEND BEGIN "
      "INSERT INTO CASE_MARKS VALUES (NEW.CASE_ID, NEW.LASTTIME); END;"
      "CREATE TRIGGER marks_update INSTEAD OF UPDATE ON CASE_EXTEND BEGIN "
      "UPDATE CASE_MARKS SET LASTTIME = NEW.LASTTIME WHERE CASE_ID = OLD.CASE_ID; END;");
  EXPECT_EQ(Call(0x523, R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"k1"}}})").result, 1);
  EXPECT_EQ(Rows("SELECT * FROM CASE_MARKS"), std::vector<std::string>{"k1|5"});
}

// Marks from several threads at once still leave one row per item.
TEST_F(MarkSeenTest, ConcurrentMarksKeepOneRow) {
  installation.Main(
      "DROP TABLE CASE_EXTEND;"
      "CREATE TABLE CASE_EXTEND (CASE_ID TEXT, LASTTIME INTEGER);");  // a shipped table without a key
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 40; ++i) {
        const std::string request = R"({"PARAM":{"PRODUCT_CASE":{"CASE_ID":"c)" + std::to_string(i) + "\"}}}";
        if (Call(0x523, request).result != 0) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(Rows("SELECT COUNT(*), COUNT(DISTINCT CASE_ID) FROM CASE_EXTEND"),
            std::vector<std::string>{"40|40"});
}

}  // namespace
