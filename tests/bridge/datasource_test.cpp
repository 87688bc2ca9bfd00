// The SQLite datasource: generated SQL, writes with bound values, single
// values, attaching, and the registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "database/qelconnection.h"
#include "database/qeldatamanager.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "logbridge.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

using qeltest::ClearLog;
using qeltest::Logged;

// A record used as an array of one row.
qelRecord OneRow(const std::vector<std::pair<std::string, Json::Value>>& members) {
  Json::Value row(Json::objectValue);
  for (const auto& m : members) row[m.first] = m.second;
  qelRecord rec;
  rec.Append(row);
  return rec;
}

// All rows of a query as records.
std::vector<qelRecord> Rows(IQELDatasource* ds, qelQueryDef* def) {
  std::vector<qelRecord> rows;
  IQELQueryCursor* cursor = nullptr;
  if (!ds->Query(def, &cursor)) return rows;
  while (cursor->MoveNext()) {
    qelRecord rec;
    cursor->GetRecord(&rec);
    rows.push_back(rec);
  }
  EXPECT_TRUE(cursor->IsEOF());
  delete cursor;
  return rows;
}

class DatasourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearLog();
    StoreLogCallback(&qeltest::CaptureLog);
    install_.Main(
        "CREATE TABLE PEOPLE (ID TEXT PRIMARY KEY, NAME TEXT, SORT INTEGER);"
        "CREATE TABLE PETS (ID TEXT, OWNER TEXT, KIND TEXT);"
        "INSERT INTO PEOPLE VALUES ('1', 'Ann', 2), ('2', 'O''Brien', 1), ('3', NULL, 3);"
        "INSERT INTO PETS VALUES ('p1', '1', 'cat'), ('p2', '2', 'dog');");
    ds_.reset(new qelDatasourceSqlite(install_.dataDb()));
    ASSERT_TRUE(ds_->Open());
  }
  void TearDown() override {
    // Every path finalizes its statement.
    EXPECT_EQ(ds_->PendingStatements(), 0);
    ds_.reset();
    StoreLogCallback(nullptr);
  }

  qeltest::Installation install_;
  std::unique_ptr<qelDatasourceSqlite> ds_;
};

TEST(QuerySqlTest, DefinitionsGiveTheirSqlTexts) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> fields;  // (table, field); field "" adds the table only
    std::string filter;
    std::vector<std::pair<std::string, int>> orders;
    int limit;
    int offset;
    std::string sql;
  } cases[] = {
      {{{"T", ""}}, "", {}, -1, -1, "SELECT * FROM 'T' LIMIT -1 OFFSET -1"},
      {{{"PRODUCT", "ID"}, {"PRODUCT", "NAME"}},
       "ID = 1",
       {{"SORT", 0}},
       10,
       0,
       "SELECT ID,NAME FROM 'PRODUCT' WHERE ID = 1 ORDER BY SORT ASC LIMIT 10 OFFSET 0"},
      {{{"T", "COUNT(*)"}, {"T", "ID"}}, "", {}, -1, -1, "SELECT COUNT(*),ID FROM 'T' LIMIT -1 OFFSET -1"},
      {{{"T", "count(*)"}, {"T", "ID"}}, "", {}, -1, -1, "SELECT count(*) FROM 'T' LIMIT -1 OFFSET -1"},
      {{{"T", "ID"}, {"T", "count(DISTINCT ID)"}, {"T", "NAME"}},
       "",
       {},
       -1,
       -1,
       "SELECT ID,count(DISTINCT ID) FROM 'T' LIMIT -1 OFFSET -1"},
      {{{"T", "ID"}},
       "",
       {{"TEMPLATESORT", 1}, {"t1.PRODUCT_ID", 0}},
       5,
       -1,
       "SELECT ID FROM 'T' ORDER BY TEMPLATESORT DESC,t1.PRODUCT_ID ASC LIMIT 5 OFFSET -1"},
      {{{"P", "X"}, {"P", "Y"}, {"Q", "Z"}},
       "t1.ID = t2.ID",
       {},
       -1,
       -1,
       "SELECT t1.X, t1.Y ,t2.Z  FROM P t1, Q t2  WHERE t1.ID = t2.ID LIMIT -1 OFFSET -1 "},
      {{{"ERRORINFO_LANG", "ERRORDESC"}, {"ERRORINFO", "ERRORLEVE"}, {"ERRORINFO", "ERRORCODE"}},
       " t1.ERRORCODE = t2.ERRORCODE AND t1.LANG = 3 AND t2.ERRORCODE = '7' ",
       {},
       -1,
       -1,
       "SELECT t1.ERRORDESC ,t2.ERRORLEVE, t2.ERRORCODE  FROM ERRORINFO_LANG t1, ERRORINFO t2  WHERE  "
       "t1.ERRORCODE = t2.ERRORCODE AND t1.LANG = 3 AND t2.ERRORCODE = '7'  LIMIT -1 OFFSET -1 "},
      {{{"P", ""}, {"Q", "COUNT(*)"}, {"R", "A"}},
       "",
       {{"t3.A", 1}},
       1,
       2,
       "SELECT COUNT(*) ,t3.A  FROM P t1, Q t2, R t3  ORDER BY t3.A DESC LIMIT 1 OFFSET 2 "},
      {{{"P", ""}, {"Q", ""}}, "", {}, -1, -1, "SELECT  FROM P t1, Q t2  LIMIT -1 OFFSET -1 "},
  };
  for (const auto& c : cases) {
    qelQueryDef def;
    for (const auto& f : c.fields) f.second.empty() ? def.AddTable(f.first) : def.AddField(f.first, f.second);
    def.SetFilter(c.filter);
    for (const auto& o : c.orders) def.AddOrder(o.first, o.second);
    def.SetLimit(c.limit);
    def.SetOffset(c.offset);
    EXPECT_EQ(qelDatasourceSqlite::BuildSelectSql(&def), c.sql);
  }
  qelQueryDef empty;
  EXPECT_EQ(qelDatasourceSqlite::BuildSelectSql(&empty), "");
  EXPECT_EQ(qelDatasourceSqlite::BuildSelectSql(nullptr), "");
}

TEST(QuoteSqlTextTest, DoublesSingleQuotes) {
  const std::string gbk = qeltest::Gbk("奥布莱恩");
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", "''"}, {"abc", "'abc'"}, {"O'Brien", "'O''Brien'"}, {"''", "''''''"}, {gbk, "'" + gbk + "'"}};
  for (const auto& c : cases) EXPECT_EQ(QuoteSqlText(c.in), c.out) << c.in;
}

TEST_F(DatasourceTest, QueryReadsRowsAsGbkRecords) {
  qelQueryDef def;
  def.AddField("PEOPLE", "ID");
  def.AddField("PEOPLE", "NAME");
  def.AddOrder("SORT", 0);
  auto rows = Rows(ds_.get(), &def);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].GetValue("NAME"), "O'Brien");
  EXPECT_EQ(rows[1].GetValue("ID"), "1");
  EXPECT_EQ(rows[2].GetValue("NAME"), "") << "NULL reads as empty text";
  EXPECT_TRUE(rows[2].GetJson()["NAME"].isString());

  qelQueryDef count;
  count.AddField("PEOPLE", "COUNT(*)");
  rows = Rows(ds_.get(), &count);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].GetValue("COUNT(*)"), "3");

  qelQueryDef joined;
  joined.AddField("PEOPLE", "NAME");
  joined.AddField("PETS", "KIND");
  joined.SetFilter("t1.ID = t2.OWNER AND t2.KIND = " + QuoteSqlText("dog"));
  rows = Rows(ds_.get(), &joined);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ToString(), "{\n   \"KIND\" : \"dog\",\n   \"NAME\" : \"O'Brien\"\n}\n");

  qelQueryDef limited;
  limited.AddTable("PEOPLE");
  limited.AddOrder("ID", 1);
  limited.SetLimit(1);
  limited.SetOffset(1);
  rows = Rows(ds_.get(), &limited);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].GetValue("ID"), "2");
  EXPECT_EQ(rows[0].Size(), 3);
}

TEST_F(DatasourceTest, QueryFailsWithoutACursorOnBadInput) {
  qelQueryDef noTables;
  qelQueryDef broken;
  broken.AddTable("PEOPLE");
  broken.SetFilter("ID = = '1");
  qelQueryDef missingTable;
  missingTable.AddField("NO_SUCH_TABLE", "ID");
  qelQueryDef noFields;
  noFields.AddTable("PEOPLE");
  noFields.AddTable("PETS");
  qelQueryDef quoteInValue;
  quoteInValue.AddTable("PEOPLE");
  quoteInValue.SetFilter("NAME = 'O'Brien'");  // unquoted: must fail, not misbehave
  for (qelQueryDef* def : {&noTables, &broken, &missingTable, &noFields, &quoteInValue}) {
    IQELQueryCursor* cursor = reinterpret_cast<IQELQueryCursor*>(this);
    EXPECT_FALSE(ds_->Query(def, &cursor)) << qelDatasourceSqlite::BuildSelectSql(def);
    EXPECT_EQ(cursor, nullptr);
  }
  qelQueryDef good;
  good.AddTable("PEOPLE");
  EXPECT_FALSE(ds_->Query(nullptr, nullptr));
  EXPECT_FALSE(ds_->Query(&good, nullptr));

  EXPECT_EQ(ds_->PendingStatements(), 0);
  ds_->Close();
  IQELQueryCursor* cursor = nullptr;
  EXPECT_FALSE(ds_->Query(&good, &cursor)) << "closed";
  EXPECT_EQ(cursor, nullptr);
}

TEST_F(DatasourceTest, CursorOverAFailingStatementClosesOnce) {
  qelQueryDef def;
  def.AddTable("PEOPLE");
  def.SetFilter("abs(-9223372036854775808) = 1");  // integer overflow while stepping
  IQELQueryCursor* cursor = nullptr;
  ASSERT_TRUE(ds_->Query(&def, &cursor));
  EXPECT_EQ(ds_->PendingStatements(), 1) << "the cursor holds it";
  EXPECT_FALSE(cursor->IsEOF());
  EXPECT_FALSE(cursor->MoveNext());
  EXPECT_TRUE(cursor->IsEOF());
  EXPECT_TRUE(cursor->Reset());
  EXPECT_FALSE(cursor->IsEOF());
  EXPECT_FALSE(cursor->CloseCursor()) << "finalize repeats the step error";
  EXPECT_EQ(ds_->PendingStatements(), 0) << "freed even so";
  EXPECT_TRUE(cursor->CloseCursor()) << "nothing left to finalize";
  EXPECT_FALSE(cursor->MoveNext());
  qelRecord rec;
  EXPECT_TRUE(cursor->GetRecord(&rec));
  EXPECT_EQ(rec.Size(), 0);
  EXPECT_FALSE(cursor->GetRecord(nullptr));
  delete cursor;  // must not finalize again
}

TEST_F(DatasourceTest, AddRecordBindsGbkValuesAsUtf8) {
  const std::string name = qeltest::Gbk("张三's 公司");
  qelRecord rec = OneRow({{"ID", "9"}, {"NAME", name}, {"SORT", Json::Value()}});
  ASSERT_TRUE(ds_->AddRecord("PEOPLE", &rec));
  EXPECT_TRUE(Logged("Field [SORT] has no value"));
  EXPECT_TRUE(Logged("INSERT INTO PEOPLE(`ID`,`NAME`,`SORT`) VALUES(?,?,?)"));

  auto stored = install_.QueryMain("SELECT hex(NAME), SORT FROM PEOPLE WHERE ID = '9'");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0], "E5BCA0E4B889277320E585ACE58FB8|");  // UTF-8, SORT an empty text
  std::string value;
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "ID = '9'", &value), 0);
  EXPECT_EQ(value, name);
}

TEST_F(DatasourceTest, AddRecordRefusesBadInput) {
  qelRecord empty;
  qelRecord emptyRow = OneRow({});
  qelRecord plainObject;
  plainObject.SetValue("ID", "7");  // not wrapped in an array
  qelRecord missingColumn = OneRow({{"NOPE", "1"}});
  qelRecord duplicateKey = OneRow({{"ID", "1"}});
  for (IQELRecord* rec : {static_cast<IQELRecord*>(nullptr), static_cast<IQELRecord*>(&empty),
                          static_cast<IQELRecord*>(&emptyRow), static_cast<IQELRecord*>(&plainObject)}) {
    ClearLog();
    EXPECT_FALSE(ds_->AddRecord("PEOPLE", rec));
    EXPECT_TRUE(Logged(" param is null"));
  }
  ClearLog();
  EXPECT_FALSE(ds_->AddRecord("PEOPLE", &missingColumn));
  EXPECT_TRUE(
      Logged("Add record error.prepare SQL : INSERT INTO PEOPLE(`NOPE`) VALUES(?)  . SQLITE Error Code : 1"));
  EXPECT_FALSE(ds_->AddRecord("NO_SUCH_TABLE", &duplicateKey));
  ClearLog();
  EXPECT_FALSE(ds_->AddRecord("PEOPLE", &duplicateKey));
  EXPECT_TRUE(
      Logged("Add record error. step SQL: INSERT INTO PEOPLE(`ID`) VALUES(?) . SQLITE Error Code : 19"));
  EXPECT_FALSE(ds_->AddRecords("PEOPLE", &duplicateKey));
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PEOPLE"), std::vector<std::string>{"3"});
}

TEST_F(DatasourceTest, DeleteRecordBindsItsValues) {
  qelRecord obrien = OneRow({{"NAME", "O'Brien"}, {"SORT", Json::Value()}});
  ASSERT_TRUE(ds_->DeleteRecord("PEOPLE", &obrien));
  EXPECT_EQ(install_.QueryMain("SELECT ID FROM PEOPLE ORDER BY ID"), (std::vector<std::string>{"1", "3"}));

  // A value written to look like SQL is just a value.
  qelRecord injection = OneRow({{"ID", "1' OR '1'='1"}});
  EXPECT_TRUE(ds_->DeleteRecord("PEOPLE", &injection));
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PEOPLE"), std::vector<std::string>{"2"});

  qelRecord onlyNulls = OneRow({{"ID", Json::Value()}});
  ClearLog();
  EXPECT_FALSE(ds_->DeleteRecord("PEOPLE", &onlyNulls));
  EXPECT_TRUE(Logged("Can delete from database. filter is empty"));
  EXPECT_FALSE(Logged("DELETE")) << "no SQL runs";
  qelRecord empty;
  ClearLog();
  EXPECT_FALSE(ds_->DeleteRecord("PEOPLE", &empty));
  EXPECT_TRUE(Logged("record is null"));
  EXPECT_FALSE(ds_->DeleteRecord("PEOPLE", nullptr));
  qelRecord one = OneRow({{"ID", "1"}});
  EXPECT_FALSE(ds_->DeleteRecord("NO_SUCH_TABLE", &one));
  EXPECT_FALSE(ds_->DeleteRecords("PEOPLE", &one));
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PEOPLE"), std::vector<std::string>{"2"});
}

TEST_F(DatasourceTest, UpdateRecordWithUpfilter) {
  const std::string gbk = qeltest::Gbk("李四");
  qelRecord rec = OneRow({{"SORT", "7"}, {"UPFILTER", "ID = " + QuoteSqlText("2")}, {"NAME", gbk}});
  ClearLog();
  ASSERT_TRUE(ds_->UpdateRecord("PEOPLE", &rec));
  EXPECT_TRUE(Logged("SQL:UPDATE PEOPLE SET NAME = ?,SORT=? WHERE ID = '2' \n"));
  EXPECT_EQ(install_.QueryMain("SELECT ID, hex(NAME), SORT FROM PEOPLE ORDER BY ID"),
            (std::vector<std::string>{"1|416E6E|2", "2|E69D8EE59B9B|7", "3||3"}));

  // Without UPFILTER every row changes; a quote in a value is bound.
  qelRecord all = OneRow({{"NAME", "it's"}});
  ASSERT_TRUE(ds_->UpdateRecord("PEOPLE", &all));
  EXPECT_EQ(install_.QueryMain("SELECT DISTINCT NAME FROM PEOPLE"), std::vector<std::string>{"it's"});

  qelRecord onlyFilter = OneRow({{"UPFILTER", "ID = '1'"}});
  qelRecord badFilter = OneRow({{"NAME", "x"}, {"UPFILTER", "ID = = 1"}});
  qelRecord badColumn = OneRow({{"NOPE", "x"}});
  qelRecord duplicate = OneRow({{"ID", "1"}});
  qelRecord empty;
  for (IQELRecord* rec : {static_cast<IQELRecord*>(&onlyFilter), static_cast<IQELRecord*>(&badFilter),
                          static_cast<IQELRecord*>(&badColumn), static_cast<IQELRecord*>(&duplicate),
                          static_cast<IQELRecord*>(&empty), static_cast<IQELRecord*>(nullptr)}) {
    EXPECT_FALSE(ds_->UpdateRecord("PEOPLE", rec)) << (rec ? rec->ToString() : "null");
  }
  EXPECT_FALSE(ds_->UpdateRecord("NO_SUCH_TABLE", &all));
  EXPECT_EQ(install_.QueryMain("SELECT ID FROM PEOPLE ORDER BY ID"),
            (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(DatasourceTest, ExecDeleteAndClearTable) {
  int changes = -5;
  EXPECT_TRUE(ds_->ExecDelete("PEOPLE", "SORT > 1", &changes));
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(ds_->ExecDelete("PEOPLE", "SORT > 100", &changes));
  EXPECT_EQ(changes, 0);
  changes = -5;
  EXPECT_FALSE(ds_->ExecDelete("PEOPLE", "SORT > > 1", &changes));
  EXPECT_FALSE(ds_->ExecDelete("NO_SUCH_TABLE", "", &changes));
  EXPECT_EQ(changes, -5);
  EXPECT_TRUE(ds_->ExecDelete("PETS", "", nullptr));
  EXPECT_TRUE(install_.QueryMain("SELECT * FROM PETS").empty());

  EXPECT_TRUE(ds_->ClearTable("PEOPLE"));
  EXPECT_TRUE(install_.QueryMain("SELECT * FROM PEOPLE").empty());
  EXPECT_FALSE(ds_->ClearTable("NO_SUCH_TABLE"));
  EXPECT_FALSE(ds_->ClearTable("PEOPLE] WHERE [1"));
}

TEST_F(DatasourceTest, SingleValues) {
  std::string value = "unchanged";
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "ID = '2'", &value), 0);
  EXPECT_EQ(value, "O'Brien");
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "ID = '3'", &value), 0);
  EXPECT_EQ(value, "") << "NULL reads as empty";
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "COUNT(*)", "", &value), 0);
  EXPECT_EQ(value, "3");

  value = "unchanged";
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "ID = '99'", &value), 1);
  EXPECT_EQ(ds_->GetFieldValue("USERINFO", "UID", "", &value), 1) << "empty table";
  EXPECT_EQ(ds_->GetFieldValue("NO_SUCH_TABLE", "ID", "", &value), 1);
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "ID = 'x", &value), 1);
  EXPECT_EQ(value, "unchanged");

  EXPECT_EQ(ds_->GetRememberUser(&value), 1);
  install_.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u1', 'a', ''), ('u2', 'b', '1');");
  EXPECT_EQ(ds_->GetRememberUser(&value), 0);
  EXPECT_EQ(value, "u2");

  EXPECT_EQ(ds_->PendingStatements(), 0);
  ds_->Close();
  ClearLog();
  EXPECT_EQ(ds_->GetFieldValue("PEOPLE", "NAME", "", &value), 1);
  EXPECT_TRUE(Logged("Database error"));
}

TEST_F(DatasourceTest, TransactionsForward) {
  ASSERT_TRUE(ds_->BeginTransaction());
  EXPECT_TRUE(ds_->InTransaction());
  EXPECT_TRUE(ds_->ClearTable("PEOPLE"));
  EXPECT_TRUE(ds_->Rollback());
  EXPECT_FALSE(ds_->InTransaction());
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM PEOPLE"), std::vector<std::string>{"3"});
  ASSERT_TRUE(ds_->BeginTransaction());
  EXPECT_TRUE(ds_->ClearTable("PETS"));
  EXPECT_TRUE(ds_->Commit());
  EXPECT_TRUE(install_.QueryMain("SELECT * FROM PETS").empty());
}

TEST_F(DatasourceTest, AttachMakesTablesVisibleWithoutPrefix) {
  qeltest::Installation odd("数据]' x");  // a path SQL text could not hold
  odd.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP) VALUES ('42', 'S', '" + std::string("模板") + "');");
  ASSERT_TRUE(ds_->AttachExDB(qeltest::Gbk(odd.exDb()), "EXDB"));
  std::string value;
  EXPECT_EQ(ds_->GetFieldValue("COMPANY", "ID", "", &value), 0);
  EXPECT_EQ(value, "42");
  EXPECT_EQ(ds_->GetFieldValue("COMPANY", "COMTEMP", "", &value), 0);
  EXPECT_EQ(value, qeltest::Gbk("模板"));
  EXPECT_EQ(ds_->GetFieldValue("EXDB.COMPANY", "SERIALID", "", &value), 0);
  EXPECT_EQ(value, "S");
  EXPECT_FALSE(ds_->AttachExDB(qeltest::Gbk(odd.exDb()), "EXDB")) << "alias in use";
}

TEST_F(DatasourceTest, AttachRefusesWhatIsNotAnExistingFile) {
  std::filesystem::create_directories(qeltest::TestDir() + "/dir.db");
  const std::string missing = qeltest::TestDir() + "/missing.db";
  const std::string missingOdd = qeltest::TestDir() + "/缺少].db";
  for (const std::string& path : {missing, qeltest::Gbk(missingOdd), qeltest::TestDir() + "/dir.db"}) {
    ClearLog();
    EXPECT_FALSE(ds_->AttachExDB(path, "EXDB")) << path;
    EXPECT_TRUE(Logged("not exists")) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(std::filesystem::exists(missingOdd));

  ClearLog();
  EXPECT_FALSE(ds_->AttachExDB("", "EXDB"));
  EXPECT_TRUE(Logged("strDBPath is empty"));
  EXPECT_FALSE(ds_->AttachExDB(install_.exDb(), "BAD]ALIAS"));

  EXPECT_EQ(ds_->PendingStatements(), 0);
  ds_->Close();
  ClearLog();
  EXPECT_FALSE(ds_->AttachExDB(install_.exDb(), "EXDB"));
  EXPECT_TRUE(Logged("Database is not open"));
}

TEST(DatamanagerTest, OneDatasourcePerPath) {
  qeltest::Installation install;
  qelDataManager* manager = qelDataManager::GetInstance();
  ASSERT_EQ(manager, qelDataManager::GetInstance());

  qelConnection a;
  a.SetPath(install.dataDb());
  qelConnection sameAgain;
  sameAgain.SetPath(install.dataDb());
  qelConnection other;
  other.SetPath(install.exDb());
  IQELDatasource* first = manager->GetDatasource(&a);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->IsOpen()) << "handed out closed";
  EXPECT_EQ(manager->GetDatasource(&sameAgain), first);
  a.SetPath("changed afterwards");  // the registry keeps its own copy
  EXPECT_EQ(manager->GetDatasource(&sameAgain), first);
  IQELDatasource* second = manager->GetDatasource(&other);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_TRUE(first->Open());

  qelConnection otherType;
  otherType.SetType(2);
  otherType.SetPath(install.dataDb());
  EXPECT_EQ(manager->GetDatasource(&otherType), nullptr);
  EXPECT_EQ(manager->GetDatasource(nullptr), nullptr);

  // A path that does not exist gets a datasource that cannot open.
  qelConnection missing;
  missing.SetPath(qeltest::TestDir() + "/nowhere.db");
  IQELDatasource* absent = manager->GetDatasource(&missing);
  ASSERT_NE(absent, nullptr);
  EXPECT_FALSE(absent->Open());
  EXPECT_FALSE(std::filesystem::exists(qeltest::TestDir() + "/nowhere.db"));
}

TEST(ConnectionTest, CloneCopiesEveryMember) {
  qelConnection c;
  EXPECT_EQ(c.GetType(), 1);
  EXPECT_EQ(c.GetPath(), "");
  EXPECT_EQ(c.GetAttrNum(), 0);
  c.SetType(3);
  c.SetPath("p");
  c.SetAttr1("a1");
  c.SetAttrNum(4);
  c.SetAttr2("a2");
  c.SetAttr3("ignored");
  EXPECT_EQ(c.GetAttr3(), "");
  IQELConnection* clone = nullptr;
  c.Clone(&clone);
  ASSERT_NE(clone, nullptr);
  std::unique_ptr<IQELConnection> owned(clone);
  EXPECT_EQ(clone->GetType(), 3);
  EXPECT_EQ(clone->GetPath(), "p");
  EXPECT_EQ(clone->GetAttr1(), "a1");
  EXPECT_EQ(clone->GetAttrNum(), 4);
  EXPECT_EQ(clone->GetAttr2(), "a2");
  c.Clone(nullptr);  // harmless
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
