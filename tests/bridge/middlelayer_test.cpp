// The shared query helpers and the method table that the modules are built
// on.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "business/qel_invoke_productcategory.h"
#include "business/qelmethodtable.h"
#include "cqelbridge.h"
#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "internet/qelinternetrequestbean.h"
#include "logbridge.h"
#include "qel/text.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

class QueryHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qeltest::ExecSql(path_, "CREATE TABLE T(ID TEXT, NAME TEXT)");
    qeltest::ExecSql(path_, "INSERT INTO T VALUES('1', 'a'), ('2', NULL), ('3', 'it''s')");
    ASSERT_TRUE(source_.Open());
  }

  std::string path_ = qeltest::TestDir() + "/q.db";
  qelDatasourceSqlite source_{qeltest::TestDir() + "/q.db"};
};

TEST_F(QueryHelpersTest, RowsComeAsObjectsAndNoStatementIsLeftBehind) {
  std::vector<std::string> names;
  {
    StorageRead<CursorPtr> query =
        RunSql(&source_, "SELECT ID, NAME FROM T WHERE ID <> ? ORDER BY ID", {"2"});
    ASSERT_TRUE(query.Found());
    WalkRows(query.value.get(), [&](Json::Value& row) { names.push_back(StringMember(row, "NAME")); });
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a", "it's"}));

  // A cursor dropped half-way still finalizes its statement.
  {
    StorageRead<CursorPtr> query = RunSql(&source_, "SELECT ID FROM T");
    ASSERT_TRUE(query.Found() && query.value->MoveNext());
  }
  qelQueryDef def;
  def.AddField("T", "ID");
  std::vector<std::string> ids;
  EXPECT_EQ(
      ForEachRow(&source_, &def, [&](Json::Value& row) { ids.push_back(StringMember(row, "ID")); }).state,
      ReadState::kRead);
  EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(source_.PendingStatements(), 0);
}

TEST_F(QueryHelpersTest, FailuresGiveNoCursorAndNoVisit) {
  const StorageRead<CursorPtr> noColumn = RunSql(&source_, "SELECT NOPE FROM T");
  EXPECT_EQ(noColumn.state, ReadState::kMissing);
  EXPECT_FALSE(noColumn.value);
  EXPECT_EQ(noColumn.message, "no such column: NOPE") << "the engine's message comes with the failure";
  EXPECT_EQ(RunSql(nullptr, "SELECT 1").state, ReadState::kFailed);
  qelQueryDef missing;
  missing.AddField("NO_SUCH_TABLE", "ID");
  bool visited = false;
  EXPECT_EQ(ForEachRow(&source_, &missing, [&](Json::Value&) { visited = true; }).state, ReadState::kMissing);
  EXPECT_EQ(ForEachRow(nullptr, &missing, [&](Json::Value&) { visited = true; }).state, ReadState::kFailed);
  EXPECT_FALSE(visited);
  qelQueryDef none;
  none.AddField("T", "ID");
  none.SetFilter("ID = 'none'");
  EXPECT_EQ(ForEachRow(&source_, &none, [&](Json::Value&) { visited = true; }).state, ReadState::kNoRow);
  EXPECT_FALSE(ExecSql(&source_, "UPDATE NO_SUCH_TABLE SET A = 1"));
  EXPECT_EQ(source_.PendingStatements(), 0);
}

// A statement that fails at a later step (here an arithmetic error on the
// second row) is a failed query: the rows read before it are no answer,
// and a single value that fails is not "no row".
TEST_F(QueryHelpersTest, AStepThatFailsHalfWayIsNoAnswer) {
  qeltest::ExecSql(path_, "CREATE TABLE V(N INTEGER); INSERT INTO V VALUES(1), (-9223372036854775808)");
  {
    StorageRead<CursorPtr> query = RunSql(&source_, "SELECT abs(N) AS A FROM V ORDER BY rowid");
    ASSERT_TRUE(query.Found());
    int visited = 0;
    const StorageRead<> walk = WalkRows(query.value.get(), [&](Json::Value&) { ++visited; });
    EXPECT_FALSE(walk.Ran());
    EXPECT_EQ(visited, 1);
    EXPECT_TRUE(CursorFailed(query.value.get()));
    EXPECT_EQ(walk.state, ReadState::kMissing)
        << "an arithmetic error is refused SQL, not an unreadable file";
    EXPECT_EQ(walk.message, "integer overflow");
  }
  qelQueryDef def;
  def.AddField("V", "abs(N) AS A");
  EXPECT_FALSE(ForEachRow(&source_, &def, [](Json::Value&) {}).Ran());
  def.AddOrder("N", 0);  // the failing row first
  EXPECT_EQ(QueryFirstRow(&source_, &def).state, ReadState::kMissing);
  def.SetFilter("N > 1");
  EXPECT_EQ(QueryFirstRow(&source_, &def).state, ReadState::kNoRow);
  def.SetFilter("N = 1");
  const StorageRead<Json::Value> first = QueryFirstRow(&source_, &def);
  EXPECT_EQ(first.state, ReadState::kRead);
  EXPECT_EQ(StringMember(first.value, "A"), "1");

  EXPECT_EQ(ReadFieldValue(&source_, "V", "abs(N)", "N < 0").state, ReadState::kMissing);
  EXPECT_EQ(ReadFieldValue(&source_, "V", "abs(N)", "N > 1").state, ReadState::kNoRow);
  const StorageRead<std::string> value = ReadFieldValue(&source_, "V", "abs(N)", "N = 1");
  EXPECT_EQ(value.state, ReadState::kRead);
  EXPECT_EQ(value.value, "1");
  EXPECT_EQ(ReadFieldValue(nullptr, "V", "N", "").state, ReadState::kFailed);
  EXPECT_EQ(source_.PendingStatements(), 0);
}

// What a read reports belongs to that read: after a call that met a table
// this database lacks, a later call that succeeds, or that fails before any
// statement runs (no datasource, a definition without tables, a closed
// database), never reads as "missing table", which a reply would take for
// "none", nor carries the earlier call's message.
TEST_F(QueryHelpersTest, AnEarlierMissingTableNeverMarksALaterRead) {
  qelQueryDef missing;
  missing.AddField("NO_SUCH_TABLE", "ID");
  qelQueryDef present;
  present.AddField("T", "ID");
  qelQueryDef empty;
  qelDatasourceSqlite closed(path_);
  ASSERT_TRUE(closed.Open());
  closed.Close();
  const struct {
    const char* call;
    // Runs the call; what it reports.
    std::function<ReadState()> read;
    ReadState state;
  } cases[] = {
      {"a query that runs", [&] { return RunQuery(&source_, &present).state; }, ReadState::kRead},
      {"a query without a datasource", [&] { return RunQuery(nullptr, &present).state; }, ReadState::kFailed},
      {"a definition without tables", [&] { return RunQuery(&source_, &empty).state; }, ReadState::kFailed},
      {"a value without a datasource", [&] { return ReadFieldValue(nullptr, "T", "ID", "").state; },
       ReadState::kFailed},
      {"a query on a closed database",
       [&] {
         const StorageRead<CursorPtr> read = RunQuery(&closed, &present);
         EXPECT_EQ(read.message, "database is closed") << "never the earlier call's SQL error";
         return read.state;
       },
       ReadState::kFailed},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(RunQuery(&source_, &missing).state, ReadState::kMissing) << "the missing table itself is told";
    EXPECT_EQ(c.read(), c.state) << c.call;
  }
  EXPECT_EQ(source_.PendingStatements(), 0);
}

TEST_F(QueryHelpersTest, WritesBindTheirValuesAndCountTheirRows) {
  int changes = -1;
  // A quote in a bound value is a character, never SQL.
  EXPECT_TRUE(
      ExecSql(&source_, "UPDATE T SET NAME = ? WHERE ID IN (?, ?)", {"x' OR '1'='1", "1", "2"}, &changes));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(qeltest::QuerySql(path_, "SELECT NAME FROM T ORDER BY ID"),
            (std::vector<std::string>{"x' OR '1'='1", "x' OR '1'='1", "it's"}));
}

// Every row count goes through CountRows: a plain table, a filter, a join
// named with aliases, and the failures that must not read as a count of 0.
TEST_F(QueryHelpersTest, RowCountsReadOneWayAndFailuresAreNoCount) {
  qeltest::ExecSql(path_, "CREATE TABLE U(ID TEXT)");
  qeltest::ExecSql(path_, "INSERT INTO U VALUES('1'), ('1'), ('3')");
  struct Case {
    const char* table;
    std::string filter;
    bool ok;
    int64_t count;
  } cases[] = {
      {"T", "", true, 3},
      {"T", "NAME IS NULL", true, 1},
      {"T", "NAME = " + QuoteSqlText("it's"), true, 1},
      {"T", "ID = 'none'", true, 0},
      {"T t1, U t2", "t1.ID = t2.ID", true, 3},
      {"NO_SUCH_TABLE", "", false, -1},
      {"T", "NOPE = 1", false, -1},
  };
  for (const Case& c : cases) {
    const StorageRead<int64_t> count = CountRows(&source_, c.table, c.filter);
    EXPECT_EQ(count.Found(), c.ok) << c.table << " / " << c.filter;
    if (c.ok) {
      EXPECT_EQ(count.value, c.count) << c.table << " / " << c.filter;
    }
  }
  EXPECT_EQ(CountRows(nullptr, "T", "").state, ReadState::kFailed);
  EXPECT_EQ(source_.PendingStatements(), 0);
}

TEST(ReplyTexts, CountAndEmptyListKeepTheirShape) {
  EXPECT_EQ(CountReply(ReadValue<int64_t>(7)), "[\n   {\n      \"COUNT\" : \"7\"\n   }\n]\n");
  EXPECT_EQ(CountReply(StorageRead<int64_t>(ReadState::kMissing)), "")
      << "a failed count gives no count reply";
  EXPECT_EQ(RowsText(Json::Value(Json::arrayValue)), "[]");
  EXPECT_EQ(RowsText(Json::Value()), "[]");
  EXPECT_EQ(JoinQuoted({"1", "o'k"}), "'1','o''k'");
  EXPECT_EQ(JoinQuoted({}), "");
}

TEST(SessionQueries, WorkOnTheSessionDatabase) {
  qeltest::Installation install;
  install.Ex("INSERT INTO COMPANY(ID, SERIALID, COMTEMP) VALUES('1001', 'S77', 'T5');");
  StartQelbridge(513, install.StartupJson());

  const StorageRead<std::string> value = QueryValue("SELECT SERIALID FROM COMPANY WHERE ID = ?", {"1001"});
  EXPECT_TRUE(value.Found());
  EXPECT_EQ(value.value, "S77");
  EXPECT_EQ(QueryValue("SELECT SERIALID FROM COMPANY WHERE ID = ?", {"9"}).state, ReadState::kNoRow);
  EXPECT_EQ(CountText(QueryCount("COMPANY", "")), "1");
  EXPECT_EQ(CountText(QueryCount("NO_SUCH_TABLE", "")), "") << "a count that cannot be read is no count";

  const SessionIdentity identity = qelInfoAccess::Identity();
  EXPECT_EQ(identity.companyId, "1001");
  EXPECT_EQ(identity.serialId, "S77");
  EXPECT_EQ(identity.templateId, "T5");
  EXPECT_EQ(identity.platformCode, "430000");
  EXPECT_EQ(identity.platform, 513);
  EXPECT_EQ(identity.langId, "3");
  cqelbridge::GetInstance()->SetCurrentUID("u1");
  EXPECT_EQ(qelInfoAccess::Identity().userId, "u1");
}

// A bean built for a given caller carries that caller, whatever the
// session holds: nothing reaches back into the bridge.
TEST(SessionIdentityValue, BeansCarryTheCallerTheyAreGiven) {
  SessionIdentity caller{"u7", "1001", "T5", "S77", "530000", "3", 514, "00-11"};
  qelInternetRequestBean bean(caller);
  ASSERT_TRUE(bean.AddOneRequestWithParam(12, Json::Value(Json::objectValue)));
  ASSERT_TRUE(bean.AddOneRequestWithParam(7, Json::Value(Json::objectValue)));
  const Json::Value upload = bean.GetRequest(0);
  const Json::Value consult = bean.GetRequest(1);
  EXPECT_EQ(StringMember(upload, "userID"), "u7");
  EXPECT_EQ(StringMember(upload, "companyID"), "1001");
  EXPECT_EQ(StringMember(upload, "templateID"), "T5");
  EXPECT_EQ(StringMember(upload, "source"), "530000");
  EXPECT_EQ(StringMember(upload, "langID"), "3");
  EXPECT_EQ(StringMember(upload, "code"), "qyS77_product_inquiry_3");
  EXPECT_EQ(StringMember(ObjectMember(upload, "client"), "deviceType"), "514");
  EXPECT_EQ(StringMember(ObjectMember(upload, "client"), "macAddr"), "00-11");
  EXPECT_EQ(StringMember(ObjectMember(consult, "param"), "compId"), "1001");
  EXPECT_EQ(StringMember(ObjectMember(consult, "param"), "addUid"), "u7");
  EXPECT_EQ(qelInfoAccess::Identity().userId, "") << "the session is untouched";
}

// Every module reads LIMIT and OFFSET the same way: the category module's
// own reading agrees with the shared one.
TEST(PageValues, OneReadingForEveryModule) {
  const struct {
    const char* value;
    int expected;
  } cases[] = {
      {"20", 20},   {"\"20\"", 20}, {"0", -1},          {"\"x\"", -1}, {"true", -1},
      {"null", -1}, {"[5]", -1},    {"3000000000", -1}, {"-4", -4},    {"\" 7\"", -1},
  };
  for (const auto& c : cases) {
    const std::string json =
        std::string(R"({"PARAM":{},"LIMIT":)") + c.value + R"(,"OFFSET":)" + c.value + "}";
    RequestParams params;
    EXPECT_EQ(ParseRequestParams(json, "", "", &params, nullptr), 0) << json;
    int limit = -9;
    int offset = -9;
    qel_Invoke_ProductCategory().ParseCategoryRequest(json, &limit, &offset);
    EXPECT_EQ(params.limit, c.expected) << json;
    EXPECT_EQ(params.offset, c.expected) << json;
    EXPECT_EQ(limit, c.expected) << json;
    EXPECT_EQ(offset, c.expected) << json;
  }
}

// ---- method table ----------------------------------------------------------

struct FakeModule {
  std::vector<std::string> seen;
};

int Echo(FakeModule& module, const MethodRequest& request, std::string* reply) {
  module.seen.push_back(request.params.value);
  *reply = request.params.value + "|" + std::to_string(request.params.limit) + "|" +
           (request.params.values.empty() ? "-" : request.params.values[0]);
  return kResultSuccess;
}

int Throws(FakeModule&, const MethodRequest&, std::string*) { throw std::runtime_error("boom"); }

int RootKind(FakeModule&, const MethodRequest& request, std::string* reply) {
  *reply = request.root.isObject() ? "object" : "null";
  return 5;
}

bool DecimalValue(const MethodRequest& request) { return IsDecimalId(request.params.value); }

using Method = MethodDescriptor<FakeModule>;

const MethodTable<FakeModule>& Table() {
  static const MethodTable<FakeModule> table(
      {
          Method(1, &Echo)
              .Key("PRODUCT", "PRODUCT_ID")
              .Extra({"EXTRA"})
              .Accept(&DecimalValue)
              .OnFail(FailRoute::kDirect, "Can not get PRODUCT_ID from json in ", 7),
          Method(2, &Echo).Param().OnFail(FailRoute::kBridge, "Can not get params from json in",
                                          kResultFailed, "fake::Invoke"),
          Method(3, &Throws),
          Method(4, &RootKind).Parsed(),
      },
      kResultUnknownMethod, [] { return std::string("unknown"); });
  return table;
}

TEST(MethodTableTest, DispatchesParsesOnceAndTakesTheFailureRoute) {
  StoreLogCallback(&qeltest::CaptureLog);
  struct Case {
    int method;
    std::string json;
    int result;
    std::string reply;
    std::string directLog;  // "" when nothing goes straight to the host
  };
  const Case cases[] = {
      {1, R"({"LIMIT":3,"PARAM":{"EXTRA":"e","PRODUCT":{"PRODUCT_ID":"12"}}})", 0, "12|3|e", ""},
      {1, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"1 OR 1"}}})", 7, "before",
       "Can not get PRODUCT_ID from json in "},
      {1, R"({"PARAM":{}})", 7, "before", "Can not get PRODUCT_ID from json in "},
      {1, "not json", 7, "before", "Can not get PRODUCT_ID from json in "},
      {2, R"({"PARAM":{}})", 0, "|-1|-", ""},
      {2, R"({"LIMIT":"x"})", 1, "before", ""},
      {3, "", kResultFailed, "before", ""},
      {4, "{}", 5, "object", ""},
      {4, "[", 5, "null", ""},
      {9, "", kResultUnknownMethod, "unknown", ""},
  };
  for (const Case& c : cases) {
    qeltest::ClearLog();
    FakeModule module;
    std::string reply = "before";
    EXPECT_EQ(Table().Invoke(module, c.method, c.json, &reply), c.result) << c.method << " " << c.json;
    EXPECT_EQ(reply, c.reply) << c.method << " " << c.json;
    if (!c.directLog.empty()) {
      EXPECT_TRUE(qeltest::LoggedDirect(c.directLog)) << c.method << " " << c.json;
    }
  }
  qeltest::ClearLog();
  FakeModule module;
  EXPECT_EQ(Table().Invoke(module, 2, "[]", nullptr), kResultFailed);
  EXPECT_TRUE(qeltest::LoggedBridge("fake::Invoke", "Can not get params from json in"));
  // A null reply still runs the handler, into a scratch text.
  EXPECT_EQ(Table().Invoke(module, 1, R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"5"}}})", nullptr), 0);
  EXPECT_EQ(module.seen, std::vector<std::string>{"5"});
  StoreLogCallback(nullptr);
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
