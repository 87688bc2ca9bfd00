// The data update end to end: check, the resumable download, stops by the
// host and killed processes at every step, bad packages, and the apply at
// the next start with the census.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "peakmemory.h"
#include "update_fixture.h"

namespace fs = std::filesystem;
using namespace updatetest;
using qeltest::Gbk;
using qeltest::HttpTestServer;
using qeltest::Installation;

namespace {

class UpdateProgramTest : public PublishedPackageTest {
 protected:
  size_t Gets(const std::string& path) const { return server_.CountRequests("GET", path); }

  static bool ReportedFinished(const Start& start) {
    for (const auto& report : start.progress) {
      if (report.first == 100 && report.second == FinishedText()) return true;
    }
    return false;
  }
};

int g_finishedReports = 0;
int CountFinished(int step, const char* text) {
  if (step == 100 && text != nullptr && text == FinishedText()) ++g_finishedReports;
  return 0;
}

TEST_F(UpdateProgramTest, FreshUpdateReportsEveryStepStagesThePackageAndIsAppliedAtTheNextStart) {
  Installation install = OldInstallation();
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.result, 0) << run.reply;

  std::vector<int> steps;
  for (const auto& report : run.progress) steps.push_back(report.first);
  ASSERT_GE(steps.size(), 6u);
  EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 4), (std::vector<int>{2, 6, 8, 10}));
  EXPECT_EQ(run.progress.back(), std::make_pair(100, FinishedText()));
  EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
  // Four differences (a, c, d/e, z): the downloads report 25, 55 and 70.
  std::vector<int> fileSteps;
  for (const auto& report : run.progress) {
    if (report.second.find("/img/") != std::string::npos || report.second.find("/z.txt") != std::string::npos)
      fileSteps.push_back(report.first);
  }
  fileSteps.erase(std::unique(fileSteps.begin(), fileSteps.end()), fileSteps.end());
  EXPECT_EQ(fileSteps, (std::vector<int>{25, 55, 70}));

  EXPECT_EQ(Config(install, 3), "4");
  EXPECT_EQ(Config(install, 4), "1");
  EXPECT_EQ(Config(install, 5), "100");
  EXPECT_EQ(
      install.QueryMain("SELECT FILENAME, OPERATETYPE, OPERATESTATUS FROM DOWNLOADINFO ORDER BY FILENAME"),
      (std::vector<std::string>{"/img/a.png|0|1", "/img/c.png|1|1", "/img/d/e.png|0|1", "/z.txt|0|1"}));
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/img/a.png"), "bytes of a");
  // Nothing installed before the restart.
  EXPECT_TRUE(fs::exists(install.root() + "/files/img/c.png"));
  EXPECT_EQ(Gets("/p1/res/img/b.png"), 0u);

  Start restart = RunStart(install, server_.RpcUrl(), 0);
  ASSERT_TRUE(restart.exited);
  ExpectInstalled(install, server_, package_, "after the apply");
  EXPECT_EQ(Config(install, 4), "2");
  auto census = install.QueryMain("SELECT TRACK FROM BEHAVIOR");
  ASSERT_EQ(census.size(), 1u);
  Json::Value track = qeltest::Parse(census[0]);
  EXPECT_EQ(qel::StringMember(track, "method"), "saveProdAKeyUpdate");
  const Json::Value& param = qel::ObjectMember(track, "param");
  EXPECT_EQ(qel::StringMember(param, "prodIds"), "10000000001,20000000003");
  EXPECT_EQ(qel::TextMember(param, "compId"), "1001");
  EXPECT_EQ(qel::StringMember(param, "addUid"), "u1");

  // Later starts neither apply again nor queue the census again.
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"});
  Start check = RunStart(install, server_.RpcUrl(), kCheck);
  EXPECT_EQ(check.result, 0);
  EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"0"});
}

TEST_F(UpdateProgramTest, CheckCreatesTheStateRowsAndAnswersAsAnArray) {
  Installation install = OldInstallation();
  Start check = RunStart(install, server_.RpcUrl(), kCheck);
  EXPECT_EQ(check.result, 0);
  EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"1"}) << check.reply;
  EXPECT_EQ(install.QueryMain("SELECT ID, VALUE FROM CONFIGINFO ORDER BY ID"),
            (std::vector<std::string>{"1|0", "2|0", "3|0", "4|0", "5|100", "6|u1", "7|1001"}));
}

// The check asks for the package's addresses after deciding; they decide
// the answer only when there is something to fetch.
TEST_F(UpdateProgramTest, CheckAsksForTheAddressesWhichMatterOnlyForAnUpdate) {
  const struct {
    const char* name;
    int64_t remoteTime;  // the installation has 100
    const char* addressStatus;
    int result;
    const char* status;  // "" when the check fails
  } cases[] = {
      {"newer package", 200, "100000", 0, "1"},
      {"newer package without addresses", 200, "100013", 100013, ""},
      {"same package", 100, "100000", 0, "0"},
      {"same package without addresses", 100, "100013", 0, "0"},
  };
  for (const auto& c : cases) {
    Installation install = OldInstallation(std::string("check-") + std::to_string(&c - cases));
    Package package = DefaultPackage();
    package.time = c.remoteTime;
    Publish(server_, package);
    if (std::string(c.addressStatus) != "100000")
      server_.ScriptRpc("SpClientSetupService.json", "loadUpdateData", c.addressStatus);
    server_.ClearRequests();
    size_t before = server_.RpcCalls().size();
    Start check = RunStart(install, server_.RpcUrl(), kCheck);
    EXPECT_EQ(check.result, c.result) << c.name;
    if (*c.status != '\0') {
      EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{c.status}) << c.name;
    }
    std::vector<std::string> services;
    auto calls = server_.RpcCalls();
    for (size_t i = before; i < calls.size(); ++i) {
      for (size_t r = 0; r < calls[i].requests.size(); ++r) services.push_back(calls[i].Service(r));
    }
    EXPECT_EQ(services, (std::vector<std::string>{"SpClientSetupService.json loadLatestUpdate",
                                                  "SpClientSetupService.json loadUpdateData"}))
        << c.name;
  }
}

TEST_F(UpdateProgramTest, CheckFailsWhenTheServiceCannotBeReachedOrGoesBackInTime) {
  Installation install = OldInstallation();
  Start unreachable = RunStart(install, server_.RefusedUrl("/qelservice"), kRun);
  EXPECT_EQ(unreachable.result, 500003);
  EXPECT_FALSE(ReportedFinished(unreachable));
  EXPECT_TRUE(unreachable.progress.empty());

  Package older = DefaultPackage();
  older.time = 50;
  Publish(server_, older);
  Start backwards = RunStart(install, server_.RpcUrl(), kCheck);
  EXPECT_EQ(backwards.result, 1);
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(run.result, 1);
  EXPECT_FALSE(ReportedFinished(run));
  EXPECT_EQ(Config(install, 3), "0");
  EXPECT_TRUE(fs::exists(install.root() + "/files/img/c.png"));
}

TEST_F(UpdateProgramTest, HostStopAtEachReportKeepsTheStepAndTheNextRunFinishesIt) {
  const struct {
    const char* name;
    int step;
    std::string text;
    const char* status;
  } cases[] = {
      {"report 2", 2, "", "1"},
      {"report 6", 6, "", "1"},
      {"report 8", 8, "", "1"},
      {"report 10", 10, "", "1"},
      {"file download", -1, "img/d/e.png", "2"},
      {"database download", -1, "qel_exdata.db", "3"},
  };
  for (const auto& c : cases) {
    Installation install = OldInstallation(std::string("stop-") + std::to_string(c.step));
    Interrupt stop;
    stop.step = c.step;
    stop.text = c.text;
    Start stopped = RunStart(install, server_.RpcUrl(), kRun, stop);
    ASSERT_TRUE(stopped.exited) << c.name;
    EXPECT_EQ(stopped.result, 500003) << c.name;
    EXPECT_FALSE(ReportedFinished(stopped)) << c.name;
    EXPECT_EQ(Config(install, 3), c.status) << c.name;

    Start resumed = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(resumed.result, 0) << c.name;
    EXPECT_TRUE(ReportedFinished(resumed)) << c.name;
    EXPECT_EQ(Config(install, 3), "4") << c.name;
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, package_, c.name);
  }
}

TEST_F(UpdateProgramTest, ProcessKilledAtEachStepResumesFetchesOnlyWhatIsMissingAndEndsInTheSameState) {
  const struct {
    const char* name;
    Interrupt at;
    const char* status;
    size_t aFetches;  // GETs of a.png over both runs
  } cases[] = {
      {"step 0", {-1, "", "DOWNLOAD OVER!", true}, "0", 1},
      {"step 1", {-1, "", "MAP SIZE:", true}, "1", 1},
      {"step 2", {-1, "", "EndCurrentFile update:", true}, "2", 1},
      {"step 3", {-1, "", "Begin Down:" + server_.Url("/p1/ex.db"), true}, "3", 1},
      {"step 4", {100, FinishedText(), "", true}, "4", 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("kill-" + std::to_string(n++));
    server_.ClearRequests();
    Start killed = RunStart(install, server_.RpcUrl(), kRun, c.at);
    ASSERT_TRUE(killed.killed) << c.name;
    EXPECT_EQ(Config(install, 3), c.status) << c.name;
    size_t zBefore = Gets("/p1/res/z.txt");

    Start resumed = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(resumed.result, 0) << c.name;
    // Killed after the download was complete, the restart applies it and
    // the run then has nothing left to do.
    EXPECT_EQ(ReportedFinished(resumed), std::string(c.status) != "4") << c.name;
    EXPECT_EQ(Gets("/p1/res/img/a.png"), c.aFetches) << c.name;
    if (zBefore > 0) {
      EXPECT_EQ(Gets("/p1/res/z.txt"), zBefore) << c.name << ": z.txt fetched again";
    }
    EXPECT_EQ(Gets("/p1/res/img/b.png"), 0u) << c.name;

    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, package_, c.name);
    EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << c.name;
  }
}

TEST_F(UpdateProgramTest, ANewerPackageFoundHalfwayStartsAgainFromTheList) {
  // Where the run of the older package stopped, and the status it left.
  const struct {
    const char* name;
    int step;
    const char* text;
    const char* status;
  } cases[] = {
      {"lists being compared", 6, "", "1"},
      {"files being downloaded", -1, "img/d/e.png", "2"},
      {"database being downloaded", -1, "qel_exdata.db", "3"},
  };
  int n = 0;
  for (const auto& c : cases) {
    Publish(server_, package_);
    server_.ClearRequests();
    Installation install = OldInstallation("newer-" + std::to_string(n++));
    Interrupt stop;
    stop.step = c.step;
    stop.text = c.text;
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun, stop).result, 500003) << c.name;
    ASSERT_EQ(Config(install, 3), c.status) << c.name;

    Package newer = DefaultPackage();
    newer.time = 300;
    newer.prefix = "/p2";
    newer.marker = "package-300";
    newer.files["/img/a.png"] = "bytes of the newer a";
    Publish(server_, newer);
    Start run = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(run.result, 0) << c.name;
    EXPECT_EQ(Gets("/p2/res/img/a.png"), 1u) << c.name;
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, newer, c.name);
    EXPECT_EQ(Marker(install.exDb()), "package-300") << c.name;
  }
}

// The package's database with its header intact and one page (1-based;
// 0 for the last) overwritten: the first bytes still say "SQLite format 3".
std::string DamagedDatabase(const std::string& db, size_t page = 0) {
  const size_t pageSize = (static_cast<unsigned char>(db[16]) << 8) | static_cast<unsigned char>(db[17]);
  if (page == 0) page = db.size() / pageSize;
  std::string damaged = db;
  std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>((page - 1) * pageSize), pageSize, '\xFF');
  return damaged;
}

// The package's database with a page in its middle overwritten.
std::string DatabaseWithADamagedMiddlePage(const std::string& db) {
  const size_t pageSize = (static_cast<unsigned char>(db[16]) << 8) | static_cast<unsigned char>(db[17]);
  return DamagedDatabase(db, db.size() / pageSize / 2);
}

// A whole database with the catalogue's table names and rows, but other
// columns: it passes SQLite's check, and neither a start nor a list can
// read it.
std::string DatabaseWithOtherColumns() {
  std::string path = qeltest::TestDir() + "/other-columns.db";
  std::error_code ec;
  fs::remove(path, ec);
  qeltest::ExecSql(path,
                   "CREATE TABLE COMPANY (COMPANY_ID TEXT, TITLE TEXT);"
                   "INSERT INTO COMPANY VALUES ('1001', 'c');"
                   "CREATE TABLE PRODUCT (ID TEXT, TITLE TEXT);"
                   "INSERT INTO PRODUCT VALUES ('10000000001', 'p');"
                   "CREATE TABLE PRODUCT_CATEGORY (ID TEXT, TITLE TEXT);"
                   "INSERT INTO PRODUCT_CATEGORY VALUES ('1000001', 'k');");
  return qeltest::ReadFile(path);
}

// The package's database whose company row reads, but whose PRODUCT table
// lacks the columns the product lists read.
std::string DatabaseWithAProductTableOfOtherColumns(const Package& package) {
  std::string path = qeltest::TestDir() + "/other-product.db";
  qeltest::WriteFile(path, package.db);
  qeltest::ExecSql(path,
                   "DROP TABLE PRODUCT; CREATE TABLE PRODUCT (PRODUCT_ID TEXT, LASTTIME INTEGER);"
                   "INSERT INTO PRODUCT VALUES ('10000000001', 150);");
  return qeltest::ReadFile(path);
}

// A database that is whole but holds none of the catalogue's tables.
std::string DatabaseWithoutTheCatalogue() {
  std::string path = qeltest::TestDir() + "/no-catalogue.db";
  qeltest::ExecSql(path, "CREATE TABLE NOTES (TEXT TEXT); INSERT INTO NOTES VALUES ('x');");
  return qeltest::ReadFile(path);
}

TEST_F(UpdateProgramTest, BadListOrDatabaseFailsItsStepAndChangesNothingInstalled) {
  const std::string damaged = DamagedDatabase(package_.db);
  const std::string damagedMiddle = DatabaseWithADamagedMiddlePage(package_.db);
  for (const std::string* db : {&damaged, &damagedMiddle}) {
    // The damage is one the header does not show and SQLite's check does.
    const std::string path = qeltest::TestDir() + "/damaged.db";
    qeltest::WriteFile(path, *db);
    ASSERT_EQ(db->compare(0, 16, std::string("SQLite format 3\0", 16)), 0);
    ASSERT_NE(qeltest::QuerySql(path, "PRAGMA quick_check"), std::vector<std::string>{"ok"});
  }
  const std::string otherColumns = DatabaseWithOtherColumns();
  {
    // SQLite finds it whole, with the catalogue's tables.
    const std::string path = qeltest::TestDir() + "/other-columns-copy.db";
    qeltest::WriteFile(path, otherColumns);
    ASSERT_EQ(qeltest::QuerySql(path, "PRAGMA quick_check"), std::vector<std::string>{"ok"});
  }
  auto served = [](const std::string& content) {
    qeltest::ServedFile file;
    file.content = content;
    return file;
  };
  auto html = [] {
    qeltest::ServedFile file;
    file.content = "<html><body>Service unavailable</body></html>";
    return file;
  };
  auto missing = [] {
    qeltest::ServedFile file;
    file.get = qeltest::FileFault::kNotFound;
    file.head = qeltest::FileFault::kNotFound;
    return file;
  };
  qeltest::ServedFile noFiles;
  noFiles.content = "{\"items\":[]}";
  const struct {
    const char* name;
    const char* path;
    qeltest::ServedFile served;
    int result;
    const char* status;
  } cases[] = {
      {"list 404", "/p1/list.qjson", missing(), 500009, "0"},
      {"list is an error page", "/p1/list.qjson", html(), 1, "1"},
      {"list without files", "/p1/list.qjson", noFiles, 1, "1"},
      {"database 404", "/p1/ex.db", missing(), 500009, "3"},
      {"database is an error page", "/p1/ex.db", html(), 1, "3"},
      {"database with a damaged last page", "/p1/ex.db", served(damaged), 1, "3"},
      {"database with a damaged middle page", "/p1/ex.db", served(damagedMiddle), 1, "3"},
      {"database with the catalogue's tables of other columns", "/p1/ex.db", served(otherColumns), 1, "3"},
      {"database whose product lists cannot be read", "/p1/ex.db",
       served(DatabaseWithAProductTableOfOtherColumns(package_)), 1, "3"},
      {"database without the catalogue", "/p1/ex.db", served(DatabaseWithoutTheCatalogue()), 1, "3"},
  };
  int n = 0;
  for (const auto& c : cases) {
    Publish(server_, package_);
    server_.AddFile(c.path, c.served);
    Installation install = OldInstallation("bad-" + std::to_string(n++));
    std::string exBefore = qeltest::ReadFile(install.exDb());
    Start run = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(run.result, c.result) << c.name;
    EXPECT_FALSE(ReportedFinished(run)) << c.name;
    EXPECT_EQ(Config(install, 3), c.status) << c.name;
    EXPECT_FALSE(fs::exists(install.root() + "/temp/data/qel_exdata.db")) << c.name;
    if (std::string(c.path) == "/p1/list.qjson") {
      EXPECT_TRUE(install.QueryMain("SELECT FILENAME FROM DOWNLOADINFO").empty()) << c.name;
    }
    // A start after the failure applies nothing: the installation keeps its data.
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/c.png"), "bytes of c") << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore) << c.name;
  }
}

// A catalogue the start cannot read that got in place all the same (staged
// by hand, or moved in by a start killed before it read it) is put back by
// the start: the replaced one serves, the update counts as not applied (no
// census), and the package then repairs the installation through the
// normal update.
TEST_F(UpdateProgramTest, CatalogueTheStartCannotReadIsPutBackAndAPackageRepairsIt) {
  const struct {
    const char* name;
    bool moved;  // already in place beside the replaced one, status 5
  } cases[] = {{"staged", false}, {"moved in", true}};
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("unreadable-" + std::to_string(n++));
    const std::string exBefore = qeltest::ReadFile(install.exDb());
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0) << c.name;
    if (c.moved) {
      fs::copy_file(install.exDb(), install.root() + "/data/qel_exdata.db.replaced");
      qeltest::WriteFile(install.exDb(), DatabaseWithOtherColumns());
      fs::remove(install.root() + "/temp/data/qel_exdata.db");
      install.Main("UPDATE CONFIGINFO SET VALUE = '5' WHERE ID = 3");
    } else {
      qeltest::WriteFile(install.root() + "/temp/data/qel_exdata.db", DatabaseWithOtherColumns());
    }

    Start start = RunStart(install, server_.RpcUrl(), kCheck);
    ASSERT_TRUE(start.exited) << c.name;
    EXPECT_EQ(qeltest::ReadFile(install.exDb()), exBefore) << c.name;
    EXPECT_FALSE(fs::exists(install.root() + "/data/qel_exdata.db.replaced")) << c.name;
    EXPECT_EQ(Config(install, 3), "0") << c.name;
    EXPECT_EQ(Config(install, 4), "0") << c.name;
    EXPECT_EQ(Config(install, 1), "100") << c.name;
    EXPECT_TRUE(install.QueryMain("SELECT ID FROM BEHAVIOR").empty()) << c.name;
    EXPECT_EQ(start.result, 0) << c.name;
    EXPECT_EQ(qeltest::Column(start.reply, "STATUS"), std::vector<std::string>{"1"}) << c.name;

    Start repair = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(repair.result, 0) << c.name;
    EXPECT_TRUE(ReportedFinished(repair)) << c.name;
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, package_, c.name);
    EXPECT_FALSE(fs::exists(install.root() + "/data/qel_exdata.db.replaced")) << c.name;
    EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << c.name;
  }
}

// With a catalogue that cannot be read and none to put back, the check and
// the run still work from the main database: the package repairs it.
TEST_F(UpdateProgramTest, UpdateRepairsACatalogueThatCannotBeRead) {
  const struct {
    const char* name;
    std::string db;
  } cases[] = {
      {"other columns", DatabaseWithOtherColumns()},
      {"damaged pages", DamagedDatabase(package_.db, 2)},
  };
  int n = 0;
  for (const auto& c : cases) {
    Installation install = OldInstallation("broken-" + std::to_string(n++));
    ASSERT_EQ(RunStart(install, server_.RpcUrl(), kCheck).result, 0) << c.name;
    qeltest::WriteFile(install.exDb(), c.db);

    Start check = RunStart(install, server_.RpcUrl(), kCheck);
    EXPECT_EQ(check.result, 0) << c.name;
    EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"1"}) << c.name;
    Start run = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(run.result, 0) << c.name;
    EXPECT_TRUE(ReportedFinished(run)) << c.name;
    ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << c.name;
    ExpectInstalled(install, server_, package_, c.name);
  }
}

TEST_F(UpdateProgramTest, DroppedFileDownloadFailsAndTheNextRunFetchesOnlyThatFile) {
  qeltest::ServedFile dropping;
  dropping.content = package_.files["/img/d/e.png"];
  dropping.get = qeltest::FileFault::kDropMidBody;
  server_.AddFile("/p1/res/img/d/e.png", dropping);
  Installation install = OldInstallation();
  Start failed = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(failed.result, 500003);
  EXPECT_FALSE(ReportedFinished(failed));
  EXPECT_EQ(Config(install, 3), "2");
  EXPECT_EQ(install.QueryMain("SELECT OPERATESTATUS FROM DOWNLOADINFO WHERE FILENAME = '/img/d/e.png'"),
            std::vector<std::string>{"0"});

  server_.AddFile("/p1/res/img/d/e.png", package_.files["/img/d/e.png"]);
  EXPECT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0);
  EXPECT_EQ(Gets("/p1/res/img/a.png"), 1u);
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  ExpectInstalled(install, server_, package_, "after the dropped download");
}

TEST_F(UpdateProgramTest, ProgressStaysWithinRangeWithoutAContentLength) {
  qeltest::ServedFile noLength;
  noLength.content = package_.db;
  noLength.get = qeltest::FileFault::kNoLength;
  noLength.head = qeltest::FileFault::kNoLength;
  server_.AddFile("/p1/ex.db", noLength);
  qeltest::ServedFile fileNoLength;
  fileNoLength.content = package_.files["/img/d/e.png"];
  fileNoLength.get = qeltest::FileFault::kNoLength;
  fileNoLength.head = qeltest::FileFault::kNoLength;
  server_.AddFile("/p1/res/img/d/e.png", fileNoLength);
  Installation install = OldInstallation();
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(run.result, 0);
  ASSERT_FALSE(run.progress.empty());
  for (const auto& report : run.progress) {
    EXPECT_GE(report.first, 0) << report.second;
    EXPECT_LE(report.first, 100) << report.second;
  }
}

TEST_F(UpdateProgramTest, UnsafeRepeatedAndMalformedListEntriesAreNeverFetched) {
  const std::string url = server_.Url("/p1/res");
  std::string deepName;
  while (deepName.size() < 4200) deepName += std::string(200, 'p') + "/";
  deepName += "a.png";
  const std::string longName = std::string(200, 'l') + ".png";
  const std::string longestName = std::string(255, 'm');
  Installation install = OldInstallation();
  // The staged path of this name is exactly PATH_MAX - 1 bytes.
  const std::string stagingFolder = install.root() + "/temp/files/";
  std::string deepestName;
  const size_t deepestBytes = PATH_MAX - 1 - stagingFolder.size();
  while (deepestName.size() + 202 < deepestBytes) deepestName += std::string(200, 'q') + "/";
  deepestName += std::string(deepestBytes - deepestName.size(), 'r');
  package_.extraEntries = {
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil1\",\"fileName\":\"../evil1.txt\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil2\",\"fileName\":\"/img/../../evil2.txt\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil3\",\"fileName\":\"C:/evil3.txt\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil4\",\"fileName\":5}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/img/w.png\",\"fileName\":\"\\\\img\\\\w.png\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/other-a\",\"fileName\":\"/img/a.png\"}",
      "7",
      // Too long for the file system: a segment over 255 bytes, a path over
      // PATH_MAX. Long names within the limits are fetched, a name of 255
      // bytes too (its temporary file beside it is named shorter).
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil5\",\"fileName\":\"/" + std::string(300, 's') +
          "/a.png\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil6\",\"fileName\":\"/" + deepName + "\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/longest\",\"fileName\":\"/img/" + longestName + "\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/long\",\"fileName\":\"/img/" + longName + "\"}",
      // Staged at a path of PATH_MAX - 1 bytes, the longest the file
      // system takes; one byte more is refused.
      "{\"url\":\"" + url + "\",\"filePath\":\"/deepest\",\"fileName\":\"/" + deepestName + "\"}",
      "{\"url\":\"" + url + "\",\"filePath\":\"/evil7\",\"fileName\":\"/" + deepestName + "x\"}",
  };
  Publish(server_, package_);
  for (const char* evil : {"/p1/res/evil1", "/p1/res/evil2", "/p1/res/evil3", "/p1/res/evil4",
                           "/p1/res/other-a", "/p1/res/evil5", "/p1/res/evil6", "/p1/res/evil7"})
    server_.AddFile(evil, "evil");
  server_.AddFile("/p1/res/deepest", "bytes of the deepest name");
  server_.AddFile("/p1/res/img/w.png", "bytes of w");
  server_.AddFile("/p1/res/long", "bytes of the long name");
  server_.AddFile("/p1/res/longest", "bytes of the longest name");
  Start run = RunStart(install, server_.RpcUrl(), kRun);
  EXPECT_EQ(run.result, 0);
  EXPECT_TRUE(ReportedFinished(run));
  for (const char* evil : {"/p1/res/evil1", "/p1/res/evil2", "/p1/res/evil3", "/p1/res/evil4",
                           "/p1/res/other-a", "/p1/res/evil5", "/p1/res/evil6", "/p1/res/evil7"})
    EXPECT_EQ(Gets(evil), 0u) << evil;
  ASSERT_EQ((install.root() + "/temp/files/" + deepestName).size(), static_cast<size_t>(PATH_MAX - 1));
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/" + deepestName), "bytes of the deepest name");
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited);
  ExpectInstalled(install, server_, package_, "after the unsafe names");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/" + longName), "bytes of the long name");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/" + longestName), "bytes of the longest name");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/w.png"), "bytes of w");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/" + deepestName), "bytes of the deepest name");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/a.png"), "bytes of a");
  for (const char* outside : {"/evil1.txt", "/evil2.txt", "/files/evil1.txt", "/temp/evil1.txt"})
    EXPECT_FALSE(fs::exists(install.root() + outside)) << outside;
  EXPECT_FALSE(fs::exists(fs::path(install.root()).parent_path() / "evil2.txt"));
}

// A stored step that is none of the known ones (a damaged row, a later
// version's) starts the update again from the list, whether the stored
// package time is older than the service's or its own: the package is
// fetched whole and applied, and the download list of before goes.
TEST_F(UpdateProgramTest, UnknownStoredStepStartsTheUpdateFromTheList) {
  int n = 0;
  for (const char* step : {"-1", "6", "x"}) {
    for (const char* lastTime : {"100", "200"}) {
      const std::string context = std::string("step ") + step + ", row 1 " + lastTime;
      Installation install = OldInstallation("unknown-" + std::to_string(n++));
      install.Main(std::string("INSERT INTO CONFIGINFO (ID, VALUE) VALUES (1, '") + lastTime +
                   "'), (2, '0'), (3, '" + step +
                   "'), (4, '0'), (5, '100'), (6, 'u1'), (7, '1001');"
                   "INSERT INTO DOWNLOADINFO VALUES ('/img/stale.png', 'x', '', 0, 1);");
      server_.ClearRequests();
      Start run = RunStart(install, server_.RpcUrl(), kRun);
      EXPECT_EQ(run.result, 0) << context;
      EXPECT_TRUE(ReportedFinished(run)) << context;
      EXPECT_EQ(Gets("/p1/list.qjson"), 1u) << context;
      EXPECT_EQ(Gets("/p1/ex.db"), 1u) << context;
      EXPECT_EQ(Config(install, 3), "4") << context;
      EXPECT_TRUE(
          install.QueryMain("SELECT FILENAME FROM DOWNLOADINFO WHERE FILENAME = '/img/stale.png'").empty())
          << context;
      ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << context;
      ExpectInstalled(install, server_, package_, context);
    }
  }
}

// The temporary files of downloads whose process was killed go when the
// next run starts, before it fetches anything.
TEST_F(UpdateProgramTest, StaleTemporaryFilesGoBeforeTheFirstDownload) {
  const std::string pid = GoneProcessId();
  Installation install = OldInstallation();
  const std::string stale[] = {
      "/temp/files/img/a.png.qeltmp" + pid + "-0",
      "/temp/files/img/d/e.png.qeltmp" + pid + "-1",
      "/temp/data/qel_exdata.db.qeltmp" + pid + "-2",
      "/temp/json/local.qjson.qeltmp" + pid + "-3",
  };
  for (const std::string& file : stale) {
    fs::create_directories(fs::path(install.root() + file).parent_path());
    qeltest::WriteFile(install.root() + file, "left by a killed run");
  }
  Interrupt at;
  at.log = "Begin Down:";
  at.kill = true;
  ASSERT_TRUE(RunStart(install, server_.RpcUrl(), kRun, at).killed);
  for (const std::string& file : stale) EXPECT_FALSE(fs::exists(install.root() + file)) << file;
}

// A list that parses, of `size` bytes: only its length can be wrong.
qeltest::ServedFile ListOfSize(size_t size) {
  qeltest::ServedFile list;
  list.content = "{\"files\":[]";
  list.content.append(size - list.content.size() - 1, ' ');
  list.content += "}";
  return list;
}

// The service's file list is bounded at 64 MiB: a longer one fails its step
// with 500003 as it arrives -- with or without an announced length, and
// also when its body never ends -- and is never held in memory: it takes
// less than half of what a list at the bound, read whole, takes in the
// same run.
TEST_F(UpdateProgramTest, ListOverTheBoundFailsWhileItArrives) {
  constexpr size_t kBound = 64u << 20;
  // A run that waited for the endless body would not come back.
  setenv("QEL_HTTP_LOW_SPEED_TIME_S", "3600", 1);
  Installation install = OldInstallation();
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server_.RpcUrl()).c_str()), 0);
  const struct {
    const char* name;
    qeltest::FileFault head;
    qeltest::FileFault get;
  } cases[] = {
      {"announced length", qeltest::FileFault::kNone, qeltest::FileFault::kNone},
      {"no length", qeltest::FileFault::kNoLength, qeltest::FileFault::kNoLength},
      {"endless body", qeltest::FileFault::kNoLength, qeltest::FileFault::kStallBody},
  };
  std::vector<long long> grown;
  SetUpdateDownCallback(CountFinished);
  for (const auto& c : cases) {
    {
      qeltest::ServedFile list = ListOfSize(kBound + (2u << 20));
      list.head = c.head;
      list.get = c.get;
      list.faultAfter = kBound + (1u << 20);
      server_.AddFile("/p1/list.qjson", std::move(list));
    }
    ASSERT_TRUE(qeltest::ResetPeakMemory());
    const long long before = qeltest::PeakMemory();
    g_finishedReports = 0;
    EXPECT_EQ(qeltest::Call(kRun).result, 500003) << c.name;
    grown.push_back(qeltest::PeakMemory() - before);
    EXPECT_EQ(g_finishedReports, 0) << c.name;
    EXPECT_EQ(Config(install, 3), "0") << c.name;
    EXPECT_FALSE(fs::exists(install.root() + "/temp/json/local.qjson")) << c.name;
  }
  SetUpdateDownCallback(nullptr);
  // The control: a list at the bound is taken, and read whole.
  server_.AddFile("/p1/list.qjson", ListOfSize(kBound));
  ASSERT_TRUE(qeltest::ResetPeakMemory());
  const long long before = qeltest::PeakMemory();
  qeltest::Call(kRun);
  const long long control = qeltest::PeakMemory() - before;
  EXPECT_GE(control, static_cast<long long>(kBound)) << "the control read its list whole";
  for (size_t i = 0; i < grown.size(); ++i) EXPECT_LT(grown[i], control / 2) << cases[i].name;
}

// A staging folder that is a file, or a link to a folder elsewhere (the
// downloads would land there): the run fails and writes nothing through it.
TEST_F(UpdateProgramTest, UnwritableStagingFolderFailsAndTheInstallationKeepsWorking) {
  int n = 0;
  for (bool link : {false, true}) {
    const char* name = link ? "a link" : "a file";
    Installation install = OldInstallation("staging-" + std::to_string(n++));
    fs::create_directories(install.root() + "/temp");
    const std::string outside = qeltest::TestDir() + "/outside-staging";
    fs::create_directories(outside);
    if (link) {
      fs::create_directory_symlink(outside, install.root() + "/temp/files");
    } else {
      qeltest::WriteFile(install.root() + "/temp/files", "a file where the folder belongs");
    }
    Start run = RunStart(install, server_.RpcUrl(), kRun);
    EXPECT_EQ(run.result, 1) << name;
    EXPECT_FALSE(ReportedFinished(run)) << name;
    EXPECT_NE(Config(install, 3), "4") << name;
    EXPECT_TRUE(fs::is_empty(outside)) << name;
    Start start = RunStart(install, server_.RpcUrl(), kCheck);
    EXPECT_EQ(start.result, 0) << name;
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/c.png"), "bytes of c") << name;
  }
}

// A check that fails forgets what the check before it found: the run after
// it asks the service again instead of fetching the earlier package.
TEST_F(UpdateProgramTest, FailedCheckForgetsTheAddressesOfTheCheckBefore) {
  Installation install = OldInstallation();
  SetUpdateDownCallback(CountFinished);
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server_.RpcUrl()).c_str()), 0);
  const struct {
    const char* name;
    const char* latestStatus;  // the service's answer to the second check
    int64_t time;
    int result;
  } cases[] = {
      {"service refuses", "100013", 200, 100013},
      {"package older than the installed one", "100000", 50, 1},
  };
  for (const auto& c : cases) {
    Publish(server_, package_);
    qeltest::Reply first = qeltest::Call(kCheck);
    ASSERT_EQ(first.result, 0) << c.name;
    ASSERT_EQ(qeltest::Column(first.text, "STATUS"), std::vector<std::string>{"1"}) << c.name;

    Package later = DefaultPackage();
    later.time = c.time;
    Publish(server_, later);
    if (std::string(c.latestStatus) != "100000")
      server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", c.latestStatus);
    server_.ClearRequests();
    g_finishedReports = 0;
    EXPECT_EQ(qeltest::Call(kCheck).result, c.result) << c.name;
    EXPECT_EQ(qeltest::Call(kRun).result, c.result) << c.name;
    EXPECT_EQ(g_finishedReports, 0) << c.name;
    EXPECT_EQ(Gets("/p1/list.qjson"), 0u) << c.name;
    EXPECT_EQ(Config(install, 3), "0") << c.name;
  }
  SetUpdateDownCallback(nullptr);
}

// A run that finds the download complete but not yet applied fetches
// nothing and only says that it is finished.
TEST_F(UpdateProgramTest, RunAtStoredStatus4OnlyReportsFinished) {
  Installation install = OldInstallation();
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server_.RpcUrl()).c_str()), 0);
  ASSERT_EQ(qeltest::Call(kRun).result, 0);
  ASSERT_EQ(Config(install, 3), "4");
  server_.ClearRequests();
  g_finishedReports = 0;
  SetUpdateDownCallback(CountFinished);
  EXPECT_EQ(qeltest::Call(kRun).result, 0);
  SetUpdateDownCallback(nullptr);
  EXPECT_EQ(g_finishedReports, 1);
  EXPECT_EQ(Gets("/p1/list.qjson"), 0u);
  EXPECT_EQ(Gets("/p1/ex.db"), 0u);
  EXPECT_EQ(Config(install, 3), "4");
}

// Asked from the progress callback while the run holds the update.
int g_nestedCheck = -1;
std::string g_nestedCheckReply;
int g_nestedRun = -1;
int AskWhileRunning(int step, const char*) {
  if (step == 2 && g_nestedCheck == -1) {
    qeltest::Reply check = qeltest::Call(kCheck);
    g_nestedCheck = check.result;
    g_nestedCheckReply = check.text;
    g_nestedRun = qeltest::Call(kRun).result;
  }
  return 0;
}

TEST_F(UpdateProgramTest, OneUpdateAtATime) {
  Installation install = OldInstallation();
  SetUpdateDownCallback(AskWhileRunning);
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server_.RpcUrl()).c_str()), 0);
  EXPECT_EQ(qeltest::Call(kRun).result, 0);
  EXPECT_EQ(g_nestedCheck, 0);
  EXPECT_EQ(qeltest::Column(g_nestedCheckReply, "STATUS"), std::vector<std::string>{"1"});
  EXPECT_NE(g_nestedRun, 0);
  SetUpdateDownCallback(nullptr);
  EXPECT_EQ(Config(install, 3), "4");
}

// A status, flag or mark that cannot be stored ends the run at that step
// with a failure and without the finished report; nothing of the later
// steps happens, and the stored status is one a later run resumes from.
TEST_F(UpdateProgramTest, StatusThatCannotBeStoredEndsTheRunAtItsStep) {
  Installation install = OldInstallation();
  SetLogCallback(qeltest::CaptureLog);
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server_.RpcUrl()).c_str()), 0);
  const struct {
    const char* refused;  // the status value the table refuses
    size_t listGets;
    const char* lastTime;          // row 1 afterwards
    const char* log;               // a line that ends so, or ""
    int row = 3;                   // the CONFIGINFO row refused; 0: the files' "downloaded" marks
    size_t fileGets = 0;           // GETs of a.png
    const char* status = nullptr;  // row 3 afterwards, when checked
  } cases[] = {
      {"0", 0, "100", "update localconfig error"},
      {"1", 1, "100", ""},
      {"2", 1, "200", ""},
      {"1", 1, "200", "", 0, 1, "2"},
      {"0", 0, "100", "", 4, 0, "0"},
      {"3", 1, "200", "", 3, 1, "2"},
      {"1", 1, "200", "", 4, 1, "3"},
      {"4", 1, "200", "", 3, 1, "3"},
  };
  SetUpdateDownCallback(CountFinished);
  for (const auto& c : cases) {
    std::string context =
        (c.row == 0 ? std::string("downloaded mark ") : "row " + std::to_string(c.row) + " value ") +
        c.refused;
    std::string refusal = c.row == 0
                              ? "UPDATE ON DOWNLOADINFO WHEN NEW.OPERATESTATUS = " + std::string(c.refused)
                              : "UPDATE ON CONFIGINFO WHEN NEW.ID = " + std::to_string(c.row) +
                                    " AND NEW.VALUE = '" + c.refused + "'";
    install.Main(
        "DROP TRIGGER IF EXISTS refuse; DELETE FROM CONFIGINFO; DELETE FROM DOWNLOADINFO;"
        "INSERT INTO CONFIGINFO (ID, VALUE) VALUES (1, '100'), (2, '0'), (3, '0'), (4, '0'), (5, '100'),"
        " (6, 'u1'), (7, '1001');"
        "CREATE TRIGGER refuse BEFORE " +
        refusal + " BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    server_.ClearRequests();
    qeltest::ClearLog();
    g_finishedReports = 0;
    EXPECT_EQ(qeltest::Call(kRun).result, 1) << context;
    EXPECT_EQ(g_finishedReports, 0) << context;
    EXPECT_EQ(Gets("/p1/list.qjson"), c.listGets) << context;
    EXPECT_EQ(Gets("/p1/res/img/a.png"), c.fileGets) << context;
    EXPECT_EQ(Config(install, 1), c.lastTime) << context;
    if (*c.log != '\0') {
      EXPECT_TRUE(qeltest::LoggedAtEnd(c.log)) << context;
    }
    if (c.status != nullptr) {
      EXPECT_EQ(Config(install, 3), c.status) << context;
    }
  }
  SetUpdateDownCallback(nullptr);
  install.Main("DROP TRIGGER refuse;");
}

}  // namespace
