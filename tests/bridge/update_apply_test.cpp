// The apply of a finished download at start-up: a failed move is retried
// by the next start, unfinished downloads are left alone, and names from
// DOWNLOADINFO never reach outside the resource folder.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "update_fixture.h"

namespace fs = std::filesystem;
using namespace updatetest;
using qeltest::HttpTestServer;
using qeltest::Installation;

namespace {

class UpdateApplyTest : public PublishedPackageTest {};

TEST_F(UpdateApplyTest, FailedMoveKeepsStatus4AndTheStagedFilesAndTheNextStartFinishes) {
  Installation install = OldInstallation();
  ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  // A folder where z.txt has to go: the move cannot replace it.
  fs::create_directories(install.root() + "/files/z.txt/blocker");
  std::string exBefore = qeltest::ReadFile(install.exDb());

  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "4");
  EXPECT_EQ(Config(install, 4), "1");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/z.txt"), "zzz");
  EXPECT_TRUE(fs::exists(install.root() + "/temp/data/qel_exdata.db"));
  EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore);
  EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty()) << "census before a complete apply";
  // What was moved before the failure is marked, so it is not moved again.
  EXPECT_EQ(install.QueryMain("SELECT OPERATESTATUS FROM DOWNLOADINFO WHERE FILENAME = '/img/a.png'"),
            std::vector<std::string>{"2"});

  fs::remove_all(install.root() + "/files/z.txt");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  ExpectInstalled(install, server_, package_, "second start");
  EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"});
  EXPECT_EQ(Config(install, 4), "2");
}

TEST_F(UpdateApplyTest, FailedDatabaseMoveStopsTheApplyBeforeTheStatusChanges) {
  Installation install = OldInstallation();
  ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  fs::remove(install.exDb());
  fs::create_directories(install.exDb() + "/blocker");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "4");
  EXPECT_TRUE(fs::exists(install.root() + "/temp/data/qel_exdata.db"));
  EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty());
}

TEST_F(UpdateApplyTest, KilledDuringTheApplyTheNextStartContinuesIt) {
  Installation install = OldInstallation();
  ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  Interrupt at;
  at.log = "temp/files/z.txt";
  at.kill = true;
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0, at).killed);
  EXPECT_EQ(Config(install, 3), "4");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  ExpectInstalled(install, server_, package_, "after the killed apply");
}

// A state write of the apply that the database refuses stops the apply at
// status 4, reported as a failure, without the census; once the write goes
// through again the next start finishes the apply.
TEST_F(UpdateApplyTest, RefusedStateWriteStopsTheApplyAndTheNextStartFinishesIt) {
  const struct {
    const char* name;
    const char* refusal;  // the trigger's event and condition
  } cases[] = {
      {"a file's applied mark", "UPDATE ON DOWNLOADINFO WHEN NEW.OPERATESTATUS = 2"},
      {"flag 1", "UPDATE ON CONFIGINFO WHEN NEW.ID = 4 AND NEW.VALUE = '1'"},
      {"status 5", "UPDATE ON CONFIGINFO WHEN NEW.ID = 3 AND NEW.VALUE = '5'"},
  };
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("refused-" + std::to_string(n++));
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0) << c.name;
    install.Main(std::string("CREATE TRIGGER refuse BEFORE ") + c.refusal +
                 " BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    Start refused = RunStart(install, server_.RpcUrl(), 0, Interrupt(), "updateOperate Error");
    ASSERT_TRUE(refused.exited) << c.name;
    EXPECT_FALSE(refused.watched.empty()) << c.name << ": the failed apply is reported";
    EXPECT_EQ(Config(install, 3), "4") << c.name;
    EXPECT_EQ(Config(install, 4), "1") << c.name;
    EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty()) << c.name;

    install.Main("DROP TRIGGER refuse;");
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, package_, c.name);
    EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << c.name;
    EXPECT_EQ(Config(install, 4), "2") << c.name;
  }
}

// An installation made with data/ and ver.qel alone, or without one of the
// folders the apply moves into, takes the package like any other.
TEST_F(UpdateApplyTest, ApplyCreatesTheFoldersItMovesInto) {
  const struct {
    const char* name;
    bool json;                     // json/ with the installed list of b.png and c.png
    bool files;                    // files/ with b.png and c.png
    bool goneBeforeApply = false;  // both removed between the run and the apply
  } cases[] = {
      {"bare", false, false},
      {"no json", false, true},
      {"no files", true, false},
      {"made by the run, gone before the apply", false, false, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("layout-" + std::to_string(n++));
    if (!c.json) fs::remove_all(install.root() + "/json");
    if (!c.files) fs::remove_all(install.root() + "/files");
    Start run = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(run.result, 0) << c.name;
    ASSERT_EQ(Config(install, 3), "4") << c.name;
    if (c.goneBeforeApply) {
      ASSERT_TRUE(fs::is_directory(install.root() + "/files")) << c.name;
      ASSERT_TRUE(fs::is_directory(install.root() + "/json")) << c.name;
      fs::remove_all(install.root() + "/files");
      fs::remove_all(install.root() + "/json");
    }

    Start restart = RunStart(install, server_.RpcUrl(), 0, Interrupt(), "updateOperate Error");
    ASSERT_TRUE(restart.exited) << c.name;
    EXPECT_TRUE(restart.watched.empty()) << c.name << ": " << restart.watched.front();
    EXPECT_EQ(Config(install, 3), "5") << c.name;
    // The files new to the installation, and b.png wherever it was not
    // installed yet by the installation's list.
    for (const char* file : {"/img/a.png", "/img/d/e.png", "/z.txt", "/img/b.png"}) {
      if (std::string(file) == "/img/b.png" && c.json) continue;
      EXPECT_EQ(qeltest::ReadFile(install.root() + "/files" + file), package_.files[file]) << c.name << file;
    }
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/json/local.qjson"), ListText(server_, package_)) << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.exDb()), package_.db) << c.name;
    EXPECT_FALSE(fs::exists(install.root() + "/temp/data/qel_exdata.db")) << c.name;
    EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << c.name;
  }
}

// A bookkeeping table the apply cannot read (its pages damaged) fails the
// apply before anything moves: the update stays staged, and once the file
// is whole again the next start applies it.
TEST_F(UpdateApplyTest, UnreadableBookkeepingStopsTheApplyBeforeAnythingMoves) {
  int n = 0;
  for (const char* table : {"DOWNLOADINFO", "CONFIGINFO"}) {
    Installation install = OldInstallation("unreadable-" + std::to_string(n++));
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0) << table;
    ASSERT_EQ(Config(install, 3), "4") << table;
    const std::string whole = qeltest::ReadFile(install.dataDb());
    const std::string exBefore = qeltest::ReadFile(install.exDb());
    const std::string listBefore = qeltest::ReadFile(install.root() + "/json/local.qjson");
    qeltest::DamageTable(install.dataDb(), table);

    RunStart(install, server_.RpcUrl(), 0);
    if (std::string(table) != "CONFIGINFO") {
      EXPECT_EQ(Config(install, 3), "4") << table;
    }
    EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore) << table;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/json/local.qjson"), listBefore) << table;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/c.png"), "bytes of c") << table;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/img/a.png"), "bytes of a") << table;

    qeltest::WriteFile(install.dataDb(), whole);
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << table;
    ExpectInstalled(install, server_, package_, table);
    EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << table;
  }
}

// A listed file that is neither staged nor installed when the apply comes
// (removed by someone else) is not taken as applied: the update goes back
// to its downloads, the next run fetches that file alone, and the start
// after it installs the whole package. A file the service answered 404
// is no such gap: the apply ends without it.
TEST_F(UpdateApplyTest, ListedFileMissingAtTheApplyIsFetchedAgain) {
  Installation install = OldInstallation();
  ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  fs::remove(install.root() + "/temp/files/img/a.png");
  const std::string exBefore = qeltest::ReadFile(install.exDb());
  Start apply = RunStart(install, server_.RpcUrl(), 0, Interrupt(), "updateOperate Error");
  ASSERT_TRUE(apply.exited);
  EXPECT_FALSE(apply.watched.empty()) << "the incomplete apply is reported";
  EXPECT_EQ(Config(install, 3), "2");
  EXPECT_EQ(install.QueryMain("SELECT OPERATESTATUS FROM DOWNLOADINFO WHERE FILENAME = '/img/a.png'"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore);
  EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty());
  Start check = RunStart(install, server_.RpcUrl(), kCheck);
  EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"1"});

  server_.ClearRequests();
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(server_.CountRequests("GET", "/p1/res/img/a.png"), 1u);
  EXPECT_EQ(server_.CountRequests("GET", "/p1/res/z.txt"), 0u);
  EXPECT_EQ(server_.CountRequests("GET", "/p1/res/img/d/e.png"), 0u);
  ASSERT_EQ(Config(install, 3), "4");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  ExpectInstalled(install, server_, package_, "after the second apply");
  EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"});

  Installation absent = OldInstallation("absent");
  qeltest::ServedFile missing;
  missing.get = qeltest::FileFault::kNotFound;
  missing.head = qeltest::FileFault::kNotFound;
  server_.AddFile("/p1/res/img/a.png", missing);
  ASSERT_EQ(RunStart(absent, server_.RpcUrl(), kRun).result, 0);
  ASSERT_TRUE(RunStart(absent, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(absent, 3), "5");
  EXPECT_FALSE(fs::exists(absent.root() + "/files/img/a.png"));
  EXPECT_EQ(qeltest::ReadFile(absent.root() + "/files/z.txt"), "zzz");
}

// The commit of the apply's last writes is checked: refused (another
// connection holds the database), the update stays at status 4 without the
// census, and the next start finishes it.
TEST_F(UpdateApplyTest, RefusedCommitLeavesStatus4AndTheNextStartFinishes) {
  Installation install = OldInstallation();
  ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  ASSERT_EQ(Config(install, 3), "4");
  // The file moves write no row: only the commit meets the lock.
  install.Main("DELETE FROM DOWNLOADINFO;");
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open_v2(install.dataDb().c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM CONFIGINFO;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  Start refused = RunStart(install, server_.RpcUrl(), 0, Interrupt(), "updateOperate Error");
  sqlite3_exec(reader, "COMMIT;", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  ASSERT_TRUE(refused.exited);
  EXPECT_FALSE(refused.watched.empty()) << "the refused commit is reported";
  EXPECT_EQ(Config(install, 3), "4");
  EXPECT_EQ(Config(install, 4), "1");
  EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty());

  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "5");
  EXPECT_EQ(qeltest::ReadFile(install.exDb()), package_.db);
  EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"});
}

// A link planted in the installed files or in the staging folder, pointing
// outside: the names below it are skipped and logged, nothing outside is
// written, moved or deleted, and the rest of the package is applied.
TEST_F(UpdateApplyTest, LinksInTheFilesOrTheStagingFolderAreNeverFollowed) {
  const struct {
    const char* name;
    const char* link;  // replaced by a link to the outside folder
    bool beforeRun;    // planted before the download (else before the apply)
  } cases[] = {
      {"link in files", "/files/img", true},
      {"link in the staging folder", "/temp/files/img", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("links-" + std::to_string(n));
    const std::string outside = qeltest::TestDir() + "/outside-" + std::to_string(n++);
    fs::create_directories(outside);
    qeltest::WriteFile(outside + "/c.png", "outside c");
    qeltest::WriteFile(outside + "/a.png", "outside a");
    auto plant = [&] {
      fs::remove_all(install.root() + c.link);
      fs::create_directories(fs::path(install.root() + c.link).parent_path());
      fs::create_directory_symlink(outside, install.root() + c.link);
    };
    if (c.beforeRun) plant();
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0) << c.name;
    ASSERT_EQ(Config(install, 3), "4") << c.name;
    if (!c.beforeRun) plant();
    Start apply =
        RunStart(install, server_.RpcUrl(), 0, Interrupt(), "Unsafe file name skipped (symbolic link)");
    ASSERT_TRUE(apply.exited) << c.name;
    EXPECT_FALSE(apply.watched.empty()) << c.name << ": the skipped names are logged";
    EXPECT_EQ(Config(install, 3), "5") << c.name;
    EXPECT_EQ(qeltest::ReadFile(outside + "/c.png"), "outside c") << c.name;
    EXPECT_EQ(qeltest::ReadFile(outside + "/a.png"), "outside a") << c.name;
    EXPECT_FALSE(fs::exists(outside + "/d")) << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 2) << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/z.txt"), "zzz") << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.exDb()), package_.db) << c.name;
  }
}

// The link planted in the staging folder before the download: nothing is
// fetched through it, and what an earlier run staged is not cleared
// through it either.
TEST_F(UpdateApplyTest, LinkInTheStagingFolderIsNeverDownloadedThrough) {
  Installation install = OldInstallation();
  const std::string outside = qeltest::TestDir() + "/outside";
  fs::create_directories(outside);
  qeltest::WriteFile(outside + "/old.png", "outside old");
  install.Main("INSERT INTO DOWNLOADINFO VALUES ('/img/old.png', 'x', '', 0, 1);");
  fs::create_directories(install.root() + "/temp/files");
  fs::create_directory_symlink(outside, install.root() + "/temp/files/img");
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(server_.CountRequests("GET", "/p1/res/img/a.png"), 0u);
  EXPECT_EQ(server_.CountRequests("GET", "/p1/res/img/d/e.png"), 0u);
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/z.txt"), "zzz");
  EXPECT_EQ(qeltest::ReadFile(outside + "/old.png"), "outside old");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "5");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
  EXPECT_FALSE(fs::exists(install.root() + "/files/img/c.png"));
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/z.txt"), "zzz");
}

TEST_F(UpdateApplyTest, UnfinishedDownloadIsNotApplied) {
  Installation install = OldInstallation();
  Interrupt at;
  at.log = "Begin Down:" + server_.Url("/p1/ex.db");
  at.kill = true;
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), kRun, at).killed);
  ASSERT_EQ(Config(install, 3), "3");
  std::string exBefore = qeltest::ReadFile(install.exDb());
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "3");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/c.png"), "bytes of c");
  EXPECT_FALSE(fs::exists(install.root() + "/files/img/a.png"));
  EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore);
}

TEST_F(UpdateApplyTest, NamesInTheTableNeverReachOutsideTheResourceFolder) {
  Installation install = OldInstallation();
  install.Main(
      "INSERT INTO CONFIGINFO (ID, VALUE) VALUES (1, '200'), (2, '0'), (3, '4'), (4, '1'), (5, '100'), (6, "
      "'u1'),"
      " (7, '1001');"
      "INSERT INTO DOWNLOADINFO VALUES ('../victim.txt', 'x', '', 1, 1), ('/img/../../victim2.txt', 'x', '', "
      "1, 1),"
      " ('../../moved.txt', 'x', '', 0, 1), ('/img/c.png', 'x', '', 1, 1), ('/img/q''s.png', 'x', '', 0, "
      "1);");
  qeltest::WriteFile(install.root() + "/victim.txt", "keep");
  qeltest::WriteFile(install.root() + "/victim2.txt", "keep");
  fs::create_directories(install.root() + "/temp/files/img");
  qeltest::WriteFile(install.root() + "/moved.txt", "keep");
  qeltest::WriteFile(install.root() + "/temp/files/img/q's.png", "quoted");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(Config(install, 3), "5");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/victim.txt"), "keep");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/victim2.txt"), "keep");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/moved.txt"), "keep");
  EXPECT_FALSE(fs::exists(install.root() + "/files/img/c.png"));
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/q's.png"), "quoted");
  EXPECT_TRUE(install.QueryMain("SELECT FILENAME FROM DOWNLOADINFO").empty());
}

TEST_F(UpdateApplyTest, CensusWithoutChangedProductsQueuesEmptyIdsForTheUserOfTheCheck) {
  Installation install = OldInstallation();
  install.Main(
      "INSERT INTO CONFIGINFO (ID, VALUE) VALUES (1, '200'), (2, '0'), (3, '5'), (4, '1'), (5, '999'), (6, "
      "'u9'),"
      " (7, '1001');");
  install.Ex("INSERT INTO PRODUCT (PRODUCT_ID, LASTTIME) VALUES ('10000000001', 150);");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  auto rows = install.QueryMain("SELECT TRACK FROM BEHAVIOR");
  ASSERT_EQ(rows.size(), 1u);
  Json::Value track = qeltest::Parse(rows[0]);
  EXPECT_TRUE(qel::HasMember(qel::ObjectMember(track, "param"), "prodIds"));
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(track, "param"), "prodIds"), "");
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(track, "param"), "addUid"), "u9");
  EXPECT_EQ(Config(install, 4), "2");
}

}  // namespace
