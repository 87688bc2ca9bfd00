// The SQLite wrapper: opening, statement codes, encodings, transactions.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "database/sqlite/qelsqlite.h"
#include "logbridge.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

using qeltest::ClearLog;
using qeltest::Logged;

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearLog();
    StoreLogCallback(&qeltest::CaptureLog);
    install_.Main("CREATE TABLE T (ID TEXT, NAME TEXT);");
  }
  void TearDown() override { StoreLogCallback(nullptr); }

  qeltest::Installation install_;
};

TEST_F(SqliteTest, OpenRefusesWhatIsNotAnExistingDatabaseFile) {
  std::filesystem::create_directories(qeltest::TestDir() + "/folder.db");
  struct Case {
    std::string path;
    std::string why;
  } cases[] = {
      {qeltest::TestDir() + "/missing.db", "missing file"},
      {qeltest::TestDir() + "/no/such/dir/x.db", "missing folder"},
      {qeltest::TestDir() + "/folder.db", "a directory"},
      {"", "empty path"},
  };
  for (const auto& c : cases) {
    ClearLog();
    qelSqlite sqlite(c.path);
    EXPECT_FALSE(sqlite.Open()) << c.why;
    EXPECT_FALSE(sqlite.IsOpen()) << c.why;
    EXPECT_TRUE(Logged("Database: " + c.path + " not exists")) << c.why;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite.ExecPrepare("SELECT 1", &stmt), 0) << c.why;
    EXPECT_EQ(stmt, nullptr) << c.why;
    EXPECT_TRUE(Logged("Database is closed")) << c.why;
  }
  EXPECT_FALSE(std::filesystem::exists(qeltest::TestDir() + "/missing.db"));
  EXPECT_FALSE(std::filesystem::exists(qeltest::TestDir() + "/no"));
  EXPECT_TRUE(std::filesystem::is_directory(qeltest::TestDir() + "/folder.db"));
}

// An existing file whose path SQLite refuses (longer than its 512-byte
// limit): the open fails, reports it, and keeps no connection behind.
TEST_F(SqliteTest, OpenThatSqliteRefusesLeavesNoHandle) {
  std::string dir = qeltest::TestDir();
  while (dir.size() < 600) dir += "/" + std::string(100, 'd');
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/qel_data.db";
  std::filesystem::copy_file(install_.dataDb(), path);

  qelSqlite sqlite(path);
  EXPECT_FALSE(sqlite.Open()) << "a path over SQLite's limit";
  const sqlite3_int64 before = sqlite3_memory_used();
  for (int i = 0; i < 20; ++i) {
    ClearLog();
    EXPECT_FALSE(sqlite.Open());
    EXPECT_FALSE(sqlite.IsOpen());
    EXPECT_TRUE(Logged("sqlite3_open ret " + std::to_string(SQLITE_CANTOPEN)));
  }
  EXPECT_EQ(sqlite3_memory_used(), before) << "every failed open released its connection";
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite.ExecPrepare("SELECT 1", &stmt), 0);
  EXPECT_EQ(stmt, nullptr);
  sqlite.Close();  // nothing to close: harmless
  EXPECT_FALSE(sqlite.IsOpen());
}

TEST_F(SqliteTest, OpenCloseAndReopen) {
  qelSqlite sqlite(install_.dataDb());
  EXPECT_FALSE(sqlite.IsOpen());
  ASSERT_TRUE(sqlite.Open());
  EXPECT_TRUE(sqlite.Open()) << "already open";
  EXPECT_TRUE(sqlite.IsOpen());
  sqlite.Close();
  EXPECT_FALSE(sqlite.IsOpen());
  EXPECT_TRUE(Logged("sqlite3_closed "));
  sqlite.Close();  // closing twice is harmless
  EXPECT_TRUE(sqlite.Open());
}

TEST_F(SqliteTest, OpensAPathWithNonAsciiAndBracketCharacters) {
  qeltest::Installation odd("安装]'目录");
  qelSqlite sqlite(qeltest::Gbk(odd.dataDb()));
  ASSERT_TRUE(sqlite.Open());
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("SELECT COUNT(*) FROM USERINFO", &stmt), -1);
  EXPECT_EQ(sqlite.ExecStep(stmt), 5);
  EXPECT_EQ(sqlite.ExecFinalize(stmt), -1);
}

TEST_F(SqliteTest, StatementCodes) {
  install_.Main("INSERT INTO T VALUES ('1', 'a'), ('2', NULL);");
  qelSqlite sqlite(install_.dataDb());
  ASSERT_TRUE(sqlite.Open());

  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("SELECT ID, NAME AS N FROM T ORDER BY ID", &stmt), -1);
  ASSERT_NE(stmt, nullptr);
  int count = 0;
  EXPECT_EQ(sqlite.ColumnCount(stmt, &count), -1);
  EXPECT_EQ(count, 2);
  std::string name;
  EXPECT_EQ(sqlite.ColumnName(stmt, &name, 1), -1);
  EXPECT_EQ(name, "N");
  EXPECT_EQ(sqlite.ExecStep(stmt), 5);
  std::string text;
  EXPECT_EQ(sqlite.ColumnText(stmt, &text, 1), -1);
  EXPECT_EQ(text, "a");
  EXPECT_EQ(sqlite.ExecStep(stmt), 5);
  text = "stale";
  EXPECT_EQ(sqlite.ColumnText(stmt, &text, 1), -1);
  EXPECT_EQ(text, "") << "NULL reads as empty";
  EXPECT_EQ(sqlite.ExecStep(stmt), 6);
  EXPECT_EQ(sqlite.ResetStatement(stmt), -1);
  EXPECT_EQ(sqlite.ExecFinalize(stmt), -1);

  // Null statement everywhere.
  EXPECT_EQ(sqlite.ExecStep(nullptr), 4);
  EXPECT_EQ(sqlite.ResetStatement(nullptr), 4);
  EXPECT_EQ(sqlite.ColumnCount(nullptr, &count), 4);
  EXPECT_EQ(sqlite.ColumnName(nullptr, &name, 0), 4);
  EXPECT_EQ(sqlite.ColumnText(nullptr, &text, 0), 4);
  EXPECT_EQ(sqlite.ExecFinalize(nullptr), -1);
}

TEST_F(SqliteTest, PrepareFailuresLeaveNoStatement) {
  qelSqlite sqlite(install_.dataDb());
  ASSERT_TRUE(sqlite.Open());
  const std::vector<std::string> bad = {"SELEC * FROM T", "SELECT * FROM NO_SUCH_TABLE", "SELECT NOPE FROM T",
                                        "SELECT 'it''s' FROM T WHERE NAME = 'O'Brien'"};
  for (const std::string& sql : bad) {
    ClearLog();
    sqlite3_stmt* stmt = reinterpret_cast<sqlite3_stmt*>(&sqlite);  // must be overwritten
    EXPECT_EQ(sqlite.ExecPrepare(sql, &stmt), 2) << sql;
    EXPECT_EQ(stmt, nullptr) << sql;
    EXPECT_TRUE(Logged("sqlite3_prepare_v2  Error : ")) << sql;
    EXPECT_EQ(sqlite.ExecStep(stmt), 4) << sql;
    EXPECT_EQ(sqlite.ExecFinalize(stmt), -1) << sql;
    EXPECT_EQ(sqlite.PendingStatements(), 0) << sql;
  }
}

TEST_F(SqliteTest, EverySqlTextIsLogged) {
  qelSqlite sqlite(install_.dataDb());
  ASSERT_TRUE(sqlite.Open());
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("SELECT ID FROM T", &stmt), -1);
  sqlite.ExecFinalize(stmt);
  EXPECT_TRUE(Logged("SQL:SELECT ID FROM T \nsqlite3_prepare_v2 ret = 0"));
}

TEST_F(SqliteTest, StepFailureIsCodeThreeAndFinalizeReportsIt) {
  install_.Main("CREATE TABLE U (ID TEXT PRIMARY KEY); INSERT INTO U VALUES ('1');");
  qelSqlite sqlite(install_.dataDb());
  ASSERT_TRUE(sqlite.Open());
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("INSERT INTO U VALUES ('1')", &stmt), -1);
  ClearLog();
  EXPECT_EQ(sqlite.ExecStep(stmt), 3);
  EXPECT_TRUE(Logged("Sqlite_step error. Result : 19, Msg: "));
  EXPECT_EQ(sqlite.ExecFinalize(stmt), 1);
  EXPECT_TRUE(Logged("sqlite3_finalize error. Rst :19 Msg :"));
}

TEST_F(SqliteTest, GbkTextIsStoredAsUtf8AndReadBackAsGbk) {
  const std::string gbkValue = qeltest::Gbk("中文名称");
  const std::string gbkName = qeltest::Gbk("名");
  qelSqlite sqlite(install_.dataDb());
  ASSERT_TRUE(sqlite.Open());
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("INSERT INTO T VALUES ('1', '" + gbkValue + "')", &stmt), -1);
  EXPECT_EQ(sqlite.ExecStep(stmt), 6);
  EXPECT_EQ(sqlite.ExecFinalize(stmt), -1);

  auto hex = install_.QueryMain("SELECT hex(NAME) FROM T");
  ASSERT_EQ(hex.size(), 1u);
  EXPECT_EQ(hex[0], "E4B8ADE69687E5908DE7A7B0");  // UTF-8 of the value

  ASSERT_EQ(sqlite.ExecPrepare("SELECT NAME AS " + gbkName + " FROM T", &stmt), -1);
  ASSERT_EQ(sqlite.ExecStep(stmt), 5);
  std::string name, text;
  sqlite.ColumnName(stmt, &name, 0);
  sqlite.ColumnText(stmt, &text, 0);
  EXPECT_EQ(name, gbkName);
  EXPECT_EQ(text, gbkValue);
  sqlite.ExecFinalize(stmt);
}

TEST_F(SqliteTest, TransactionsFollowSqlitesOwnState) {
  qelSqlite sqlite(install_.dataDb());
  EXPECT_FALSE(sqlite.BeginTransaction()) << "closed";
  EXPECT_FALSE(sqlite.InTransaction());
  ASSERT_TRUE(sqlite.Open());

  ASSERT_TRUE(sqlite.BeginTransaction());
  EXPECT_TRUE(sqlite.InTransaction());
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(sqlite.BeginTransaction());
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("开启事务失败: 事务已开启"), std::string::npos) << err;
  EXPECT_TRUE(sqlite.InTransaction()) << "the open transaction stays";
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite.ExecPrepare("INSERT INTO T VALUES ('1', 'x')", &stmt), -1);
  EXPECT_EQ(sqlite.ExecStep(stmt), 6);
  sqlite.ExecFinalize(stmt);
  EXPECT_TRUE(sqlite.Rollback());
  EXPECT_FALSE(sqlite.InTransaction());
  EXPECT_TRUE(install_.QueryMain("SELECT * FROM T").empty()) << "rolled back";

  ASSERT_TRUE(sqlite.BeginTransaction()) << "a new one after rollback";
  ASSERT_EQ(sqlite.ExecPrepare("INSERT INTO T VALUES ('2', 'y')", &stmt), -1);
  EXPECT_EQ(sqlite.ExecStep(stmt), 6);
  sqlite.ExecFinalize(stmt);
  EXPECT_TRUE(sqlite.Commit());
  EXPECT_FALSE(sqlite.InTransaction());
  EXPECT_EQ(install_.QueryMain("SELECT ID FROM T"), std::vector<std::string>{"2"});
  ASSERT_TRUE(sqlite.BeginTransaction()) << "a new one after commit";

  // A transaction ended by SQL of its own is not reported open any more.
  ASSERT_EQ(sqlite.ExecPrepare("ROLLBACK", &stmt), -1);
  EXPECT_EQ(sqlite.ExecStep(stmt), 6);
  sqlite.ExecFinalize(stmt);
  EXPECT_FALSE(sqlite.InTransaction());
  EXPECT_TRUE(sqlite.BeginTransaction());
  EXPECT_TRUE(sqlite.Commit());

  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(sqlite.Commit()) << "nothing to commit";
  EXPECT_FALSE(sqlite.Rollback()) << "nothing to roll back";
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("提交事务记录失败，错误码:1 ，错误原因:-------------"), std::string::npos) << err;
  EXPECT_NE(err.find("回滚事务记录失败，错误码:1"), std::string::npos) << err;
}

TEST_F(SqliteTest, NotADatabaseFileFailsAtTheFirstStatement) {
  qeltest::WriteFile(qeltest::TestDir() + "/text.db", "this is not a database, only some text long enough");
  qelSqlite sqlite(qeltest::TestDir() + "/text.db");
  ASSERT_TRUE(sqlite.Open());  // SQLite reads the header lazily
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite.ExecPrepare("SELECT * FROM T", &stmt), 2);
  EXPECT_EQ(stmt, nullptr);
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
