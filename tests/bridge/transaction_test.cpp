// Transactions on the one shared connection: the owner object, and two
// threads writing at the same time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "database/qelquery.h"
#include "database/qeltransaction.h"
#include "database/sqlite/qeldatasourcesqlite.h"
#include "glogcapture.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = qeltest::TestDir() + "/tx.db";
    qeltest::ExecSql(path_, "CREATE TABLE T(WHO TEXT, N INTEGER)");
    ASSERT_TRUE(source_.Open());
  }

  // The WHO values of the table, in insertion order, read on a separate
  // connection so the answer does not depend on the shared one.
  std::vector<std::string> Stored() const {
    return qeltest::QuerySql(path_, "SELECT WHO FROM T ORDER BY rowid");
  }

  bool Insert(const std::string& who) {
    return ExecSql(&source_, "INSERT INTO T(WHO, N) VALUES(?, 1)", {who});
  }

  std::string path_;
  qelDatasourceSqlite source_{qeltest::TestDir() + "/tx.db"};
};

TEST_F(TransactionTest, RollsBackUnlessCommitted) {
  {
    qelTransaction tx(&source_);
    ASSERT_TRUE(tx.Active());
    ASSERT_TRUE(Insert("dropped"));
  }
  EXPECT_FALSE(source_.InTransaction());
  {
    qelTransaction tx(&source_);
    ASSERT_TRUE(Insert("kept"));
    EXPECT_TRUE(tx.Commit());
    EXPECT_FALSE(tx.Active());
    EXPECT_FALSE(tx.Commit()) << "a second commit has nothing to commit";
  }
  {
    qelTransaction tx(&source_);
    ASSERT_TRUE(Insert("undone"));
    EXPECT_TRUE(tx.Rollback());
  }
  EXPECT_EQ(Stored(), std::vector<std::string>{"kept"});
}

TEST_F(TransactionTest, NotActiveWithoutAnOpenDatabaseOrWhenNested) {
  qelTransaction none(nullptr);
  EXPECT_FALSE(none.Active());
  EXPECT_FALSE(none.Commit());

  qelDatasourceSqlite closed(qeltest::TestDir() + "/missing.db");
  qelTransaction onClosed(&closed);
  EXPECT_FALSE(onClosed.Active());

  qelTransaction outer(&source_);
  ASSERT_TRUE(outer.Active());
  qelTransaction inner(&source_);
  EXPECT_FALSE(inner.Active()) << "a nested BEGIN must not be reported as a transaction";
  ASSERT_TRUE(Insert("outer"));
  EXPECT_TRUE(outer.Commit());
  EXPECT_EQ(Stored(), std::vector<std::string>{"outer"});
}

TEST_F(TransactionTest, FailedCommitLeavesNoTransactionOpen) {
  qeltest::ExecSql(path_,
                   "CREATE TABLE P(ID INTEGER PRIMARY KEY); CREATE TABLE C(P INTEGER REFERENCES P(ID) "
                   "DEFERRABLE INITIALLY DEFERRED)");
  ASSERT_TRUE(ExecSql(&source_, "PRAGMA foreign_keys = ON"));
  {
    qelTransaction tx(&source_);
    ASSERT_TRUE(ExecSql(&source_, "INSERT INTO C(P) VALUES(7)"));
    EXPECT_FALSE(tx.Commit()) << "the deferred key check fails the commit";
  }
  EXPECT_FALSE(source_.InTransaction());
  EXPECT_TRUE(qeltest::QuerySql(path_, "SELECT P FROM C").empty());
}

// A write that fails inside a transaction on a read-only or a full
// installation: SQLite's message is logged at WARNING, nothing is stored,
// and the owner rolls back only what SQLite still holds open (a full disk
// ends the transaction inside SQLite), so no ERROR about a rollback
// without a transaction follows.
TEST_F(TransactionTest, FailedWritesWarnWithSqlitesMessageAndRollBackOnlyWhatIsOpen) {
  ASSERT_TRUE(Insert("before"));
  struct Case {
    const char* name;
    const char* message;
    bool readOnly;  // else full
  } cases[] = {
      {"read-only", "attempt to write a readonly database", true},
      {"full", "database or disk is full", false},
  };
  for (const Case& c : cases) {
    qelDatasourceSqlite source(path_);
    if (c.readOnly) {
      ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
      ASSERT_TRUE(source.Open());
      // Permission bits do not hold for a superuser; the connection is then
      // made read-only the way SQLite offers, with the same failure.
      if (access(path_.c_str(), W_OK) == 0) {
        ASSERT_TRUE(ExecSql(&source, "PRAGMA query_only = ON")) << c.name;
      }
    } else {
      ASSERT_TRUE(source.Open());
      ASSERT_TRUE(
          ExecSql(&source, "PRAGMA max_page_count = " + qeltest::QuerySql(path_, "PRAGMA page_count").at(0)));
    }
    qeltest::GlogErrors log(google::GLOG_WARNING);
    {
      qelTransaction tx(&source);
      ASSERT_TRUE(tx.Active()) << c.name;
      EXPECT_FALSE(ExecSql(&source, "INSERT INTO T(WHO, N) VALUES(hex(randomblob(20000)), 1)")) << c.name;
    }
    EXPECT_FALSE(source.InTransaction()) << c.name;
    EXPECT_TRUE(log.HasAt(google::GLOG_WARNING, {c.message})) << c.name << "\n" << log.Text();
    EXPECT_FALSE(log.Has({})) << "no ERROR line (" << c.name << ")\n" << log.Text();
    source.Close();
    ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
    EXPECT_EQ(Stored(), std::vector<std::string>{"before"}) << c.name;
  }
}

// One thread writes inside a transaction that it rolls back; the other
// writes outside it at the same time. Without the writer lock the second
// thread's row lands inside the first thread's transaction and is rolled
// back with it.
TEST_F(TransactionTest, ConcurrentWriterNeitherLosesNorTakesInRows) {
  std::atomic<bool> inside{false};
  std::atomic<bool> outsideStarted{false};
  std::atomic<bool> outsideDone{false};
  bool outsideOk = false;
  int changes = -1;

  std::thread transactional([&] {
    qelTransaction tx(&source_);
    ASSERT_TRUE(tx.Active());
    ASSERT_TRUE(Insert("tx-1"));
    inside = true;
    while (!outsideStarted) std::this_thread::yield();
    // Give the other thread time to run its statement if nothing stops it.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(outsideDone) << "a statement of another thread ran inside the transaction";
    ASSERT_TRUE(Insert("tx-2"));
    EXPECT_TRUE(tx.Rollback());
  });
  std::thread plain([&] {
    while (!inside) std::this_thread::yield();
    outsideStarted = true;
    outsideOk = ExecSql(&source_, "INSERT INTO T(WHO, N) VALUES('outside', 1)", {}, &changes);
    outsideDone = true;
  });
  transactional.join();
  plain.join();

  EXPECT_TRUE(outsideOk);
  EXPECT_EQ(changes, 1) << "the changed-row count belongs to the statement that asked";
  EXPECT_EQ(Stored(), std::vector<std::string>{"outside"});
}

// The same with the outside thread reading: it never sees rows of a
// transaction that is rolled back.
TEST_F(TransactionTest, ConcurrentReaderNeverSeesUncommittedRows) {
  std::atomic<bool> inside{false};
  std::string seen = "unset";

  std::thread transactional([&] {
    qelTransaction tx(&source_);
    ASSERT_TRUE(tx.Active());
    ASSERT_TRUE(Insert("uncommitted"));
    inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  });
  std::thread reader([&] {
    while (!inside) std::this_thread::yield();
    CursorPtr cursor = std::move(RunSql(&source_, "SELECT COUNT(*) AS C FROM T").value);
    ASSERT_TRUE(cursor);
    qelRecord row;
    if (cursor->MoveNext() && cursor->GetRecord(&row)) seen = row.GetValue("C");
  });
  transactional.join();
  reader.join();
  EXPECT_EQ(seen, "0");
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
