// One installation shared by two processes: a lock another process holds is
// waited out (reads never come back empty, writes are never refused), a
// start that cannot open its files stays unloaded until a later call opens
// them, and a database that cannot be read (locked past the wait, damaged)
// gives each handler's failure form, never "[]" or a partial list.
#include <gtest/gtest.h>

#include <poll.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bridgetest.h"
#include "cqelbridge.h"
#include "database/qelinfoaccess.h"
#include "glogcapture.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"
#include "update_fixture.h"

namespace {

using qeltest::Call;
using qeltest::Column;
using qeltest::Reply;
using Strings = std::vector<std::string>;

const char kProduct[] = "10010010001";
const char kCategory[] = "1001001";

// One category with one product, and what every request of the tables
// below reads: a brand, a display mode, a picture, a case, a certificate
// category with a group, the company; a seen-mark and a favourite.
const char kCatalogue[] =
    "INSERT INTO COMPANY(ID, SERIALID, COMTEMP) VALUES('1001', 'S77', 'T5');"
    "INSERT INTO PRODUCT_CATEGORY VALUES('1001001', 1, 1, 1, 1);"
    "INSERT INTO PRODUCT_CATEGORY_LANG VALUES('1001001', 3, 'A', '', '', '', '');"
    "INSERT INTO PRODUCT(PRODUCT_ID, PICFIRST, BRAND_ID, TEMPLATESORT, LASTTIME)"
    " VALUES('10010010001', 'p.png', '3', 1, 100);"
    "INSERT INTO PRODUCT_LANG VALUES('10010010001', 3, 'P1', '', '', '', 'intro');"
    "INSERT INTO PRODUCT_CLASS VALUES('10010010001', '1001001');"
    "INSERT INTO PROD_SHOW VALUES('10010010001', 2);"
    "INSERT INTO BRAND VALUES('3');"
    "INSERT INTO BRAND_LANG VALUES('3', 3, 'B3', '');"
    "INSERT INTO PRODUCT_RESOURCE VALUES('10010010001', 'pic1', 1);"
    "INSERT INTO PICTURE(RES_ID, PATH, STATUS) VALUES('pic1', 'p/1.jpg', 1);"
    "INSERT INTO PICTURE_LANG(RES_ID, LANGID, NAME) VALUES('pic1', 3, 'pic');"
    "INSERT INTO PROD_CERTGROUP VALUES('10010010001', 'g1');"
    "INSERT INTO PRODUCT_CASE VALUES('c1', 1, 10);"
    "INSERT INTO PRODUCT_CASE_LANG(CASE_ID, LANGID, NAME) VALUES('c1', 3, 'Case');"
    "INSERT INTO PROD_PRODCASE VALUES('10010010001', 'c1');"
    "INSERT INTO COM_CASES VALUES('c1', 1);"
    "INSERT INTO CERT_CATEGORY VALUES('k', 1, 1);"
    "INSERT INTO CERT_CATEGORY_LANG(CERT_CATEGORY_ID, LANGID, NAME) VALUES('k', 3, 'K');"
    "INSERT INTO CERTGROUP VALUES('g1', 1, 10);"
    "INSERT INTO CERTGROUP_CERTCATEGORY VALUES('g1', 'k');";
const char kLocalState[] =
    "INSERT INTO PRODUCT_EXTEND VALUES('10010010001', 50);"
    "INSERT INTO FAVORITES(PRODUCT_ID) VALUES('10010010001');"
    "INSERT INTO CASE_EXTEND VALUES('c1', 5);";

std::string Request(const std::string& table, const std::string& key, const std::string& value,
                    const std::string& extra = "") {
  return "{\"PARAM\":{\"" + table + "\":{\"" + key + "\":\"" + value + "\"}" + extra + "}}";
}
std::string ProductRequest() { return Request("PRODUCT", "PRODUCT_ID", kProduct); }
std::string CategoryRequest() { return Request("PRODUCT_CATEGORY", "PRO_CATEGORY_ID", kCategory); }

// Messages between this process and a forked one: one byte each way.
class Channel {
 public:
  Channel() {
    if (pipe(toChild_) != 0 || pipe(toParent_) != 0) ADD_FAILURE() << "pipe";
  }
  ~Channel() {
    for (int fd : {toChild_[0], toChild_[1], toParent_[0], toParent_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  void Send(char c, bool fromChild) {
    if (write(fromChild ? toParent_[1] : toChild_[1], &c, 1) != 1) ADD_FAILURE() << "write";
  }
  // The next byte, or 0 when none comes within timeoutMs (or the other
  // side is gone).
  char Receive(bool inChild, int timeoutMs) {
    pollfd fd{inChild ? toChild_[0] : toParent_[0], POLLIN, 0};
    char c = 0;
    if (poll(&fd, 1, timeoutMs) != 1 || read(fd.fd, &c, 1) != 1) return 0;
    return c;
  }

 private:
  int toChild_[2] = {-1, -1};
  int toParent_[2] = {-1, -1};
};

// A second process holding locks on one database file. Forked before this
// process opens any database (an SQLite connection must never cross a
// fork); when told, it runs `lockSql` (BEGIN EXCLUSIVE, or a transaction
// with its writes) and ends it when told, or by itself after a short hold.
// Its connection waits for locks as a client's does.
class LockingProcess {
 public:
  explicit LockingProcess(const std::string& dbPath, std::string lockSql = "BEGIN EXCLUSIVE")
      : lockSql_(std::move(lockSql)) {
    pid_ = fork();
    if (pid_ == 0) _exit(RunChild(dbPath));
  }
  ~LockingProcess() {
    if (pid_ <= 0) return;
    channel_.Send('Q', false);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  LockingProcess(const LockingProcess&) = delete;
  LockingProcess& operator=(const LockingProcess&) = delete;

  // Returns once the lock is held; with autoRelease the transaction is
  // committed kShortHoldMs after, well within this process's wait.
  bool Lock(bool autoRelease = false) {
    channel_.Send(autoRelease ? 'l' : 'L', false);
    return channel_.Receive(false, 10000) == 'k';
  }
  bool Release() {
    channel_.Send('R', false);
    return channel_.Receive(false, 10000) == 'k';
  }

 private:
  static constexpr int kShortHoldMs = 500;

  int RunChild(const std::string& dbPath) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 1;
    sqlite3_busy_timeout(db, 5000);
    while (true) {
      const char command = channel_.Receive(true, 60000);
      if (command == 'L' || command == 'l') {
        const bool locked = sqlite3_exec(db, lockSql_.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        channel_.Send(locked ? 'k' : 'e', true);
        if (command == 'l') {
          usleep(kShortHoldMs * 1000);
          sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
      } else if (command == 'R') {
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        channel_.Send('k', true);
      } else {
        sqlite3_close(db);
        return 0;
      }
    }
  }

  std::string lockSql_;
  Channel channel_;
  pid_t pid_ = -1;
};

class SharedInstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Ex(kCatalogue);
    install_.Main(kLocalState);
  }
  // The category list as a host reads it; empty when there is none.
  static Strings Categories() { return Column(Call(0x601).text, "PRO_CATEGORY_ID"); }

  qeltest::Installation install_;
};

// ---- start-up beside another process's lock ----------------------------------

struct LockedStart {
  const char* name;
  bool onMainDatabase;  // else the catalogue file
  bool heldPastTheWait;
  bool laterCallIsAStart;  // else a request
};

class LockedStartTest : public SharedInstallationTest, public ::testing::WithParamInterface<LockedStart> {};

// A lock dropped within the wait delays the start; one held past it fails
// the start (the host learns it), and the call after the lock is gone
// opens the installation with its catalogue, user and company. The lock's
// transaction writes what the start reads (the remembered user, the
// company's serial), so a start that sees it read after the other process
// was done, not past its lock.
TEST_P(LockedStartTest, WaitsOrFailsAndALaterCallOpens) {
  const LockedStart& c = GetParam();
  const std::string rememberUser = "INSERT INTO USERINFO(UID, USERID, REMEMBER) VALUES('u7', 'me', '1');";
  if (!c.onMainDatabase) install_.Main(rememberUser);
  LockingProcess other(
      c.onMainDatabase ? install_.dataDb() : install_.exDb(),
      "BEGIN EXCLUSIVE;" + (c.onMainDatabase ? rememberUser : "UPDATE COMPANY SET SERIALID = 'S78';"));
  ASSERT_TRUE(other.Lock(!c.heldPastTheWait));

  qeltest::GlogErrors errors;
  const int result = InitQelbridge(260, install_.StartupJson().c_str());
  if (!c.heldPastTheWait) {
    EXPECT_EQ(result, 0);
  } else {
    EXPECT_NE(result, 0) << "a start without its databases is no success";
    EXPECT_TRUE(
        errors.Has({"cannot attach the second database", "database is locked", "a later call tries again"}))
        << errors.Text();
    // Read without a call into the bridge, which would try to open it again.
    EXPECT_EQ(qel::dataspace::qelInfoAccess::Identity().companyId, "");
    ASSERT_TRUE(other.Release());
    if (c.laterCallIsAStart) {
      EXPECT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
    }
  }
  EXPECT_EQ(Categories(), Strings{kCategory});
  qel::dataspace::cqelbridge* bridge = qel::dataspace::cqelbridge::GetInstance();
  EXPECT_EQ(bridge->GetCompanyID(), "1001");
  EXPECT_EQ(bridge->GetSerialID(), c.onMainDatabase ? "S77" : "S78");
  EXPECT_EQ(bridge->GetCurrentUID(), "u7");
}

std::string LockedStartName(const ::testing::TestParamInfo<LockedStart>& info) { return info.param.name; }
void PrintTo(const LockedStart& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Files, LockedStartTest,
                         ::testing::Values(LockedStart{"MainReleasedWithinTheWait", true, false, false},
                                           LockedStart{"CatalogueReleasedWithinTheWait", false, false, false},
                                           LockedStart{"MainHeldPastTheWaitThenARequest", true, true, false},
                                           LockedStart{"CatalogueHeldPastTheWaitThenAStart", false, true,
                                                       true}),
                         LockedStartName);

// A downloaded data update waits for a start, and another process holds the
// main database past the wait: the start fails with its databases opened.
// The repeated start in this process, after the lock is gone, loads the
// catalogue it has open and never replaces a file of the update under it;
// the update stays staged until the next process starts, which applies it.
TEST(SharedInstallationUpdateTest, RepeatedStartAfterALockedStartLeavesAStagedUpdateToTheNextProcess) {
  qeltest::TransportTimeouts timeouts{qeltest::TransportTimeouts::kHealthy};
  qeltest::HttpTestServer server;
  updatetest::Package package = updatetest::DefaultPackage();
  updatetest::Publish(server, package);
  qeltest::Installation install = updatetest::OldInstallation();
  ASSERT_EQ(updatetest::RunStart(install, server.RpcUrl(), updatetest::kRun).result, 0);
  ASSERT_EQ(updatetest::Config(install, 3), "4");
  const std::string catalogueBefore = qeltest::ReadFile(install.exDb());
  const std::string staged = install.root() + "/temp/data/qel_exdata.db";
  ASSERT_TRUE(std::filesystem::exists(staged));

  // The client whose start meets the lock runs in a child, so that the next
  // start below is a process that never opened the installation.
  const pid_t client = fork();
  if (client == 0) {
    int failed = 0;
    {
      LockingProcess other(install.dataDb());
      if (!other.Lock()) {
        failed = 1;
      } else if (InitQelbridge(260, install.StartupJson(server.RpcUrl()).c_str()) == 0) {
        failed = 2;
      } else if (!other.Release()) {
        failed = 3;
      } else if (InitQelbridge(260, install.StartupJson(server.RpcUrl()).c_str()) != 0) {
        failed = 4;
      } else if (qel::dataspace::cqelbridge::GetInstance()->GetCompanyID() != "1001") {
        failed = 5;
      } else if (qeltest::ReadFile(install.exDb()) != catalogueBefore) {
        failed = 6;
      }
    }
    _exit(failed);
  }
  ASSERT_GT(client, 0);
  int status = 0;
  ASSERT_EQ(waitpid(client, &status, 0), client);
  ASSERT_TRUE(WIFEXITED(status));
  // 1: no lock, 2: the locked start succeeded, 3: no release, 4: the repeated
  // start failed, 5: it has no company, 6: its catalogue was replaced.
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(qeltest::ReadFile(install.exDb()) == catalogueBefore) << "the catalogue was replaced";
  EXPECT_TRUE(std::filesystem::exists(staged));
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/temp/files/img/a.png"), "bytes of a");
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/files/img/c.png"), "bytes of c");
  EXPECT_EQ(updatetest::Config(install, 3), "4");

  ASSERT_TRUE(updatetest::RunStart(install, server.RpcUrl(), 0).exited);
  updatetest::ExpectInstalled(install, server, package, "the next process's start");
}

// A catalogue file that is no database at all: the start fails, and the
// lists fail too instead of answering that there is nothing.
TEST_F(SharedInstallationTest, CatalogueThatIsNoDatabaseFailsTheStartAndTheLists) {
  qeltest::WriteFile(install_.exDb(), std::string(8192, 'x'));
  EXPECT_NE(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  Reply reply = Call(0x601);
  EXPECT_EQ(reply.result, 0);
  EXPECT_EQ(reply.text, "");
  EXPECT_EQ(Call(0x430, ProductRequest()).result, 1);
}

// ---- a writer beside a reader, two writers ---------------------------------

// How often a person changes favourites, at most, on either client: one
// process's lock is never held for more than one write at a time, so
// neither process waits longer than one transaction of the other's. (Two
// processes writing back to back can keep one out past any wait: SQLite's
// lock wait is not fair.)
constexpr int kPersonsPaceMs = 100;

// Adds and removes `favourite` `rounds` times, a person's pause before
// each write; the number of writes refused.
int ChangeFavouriteAtAPersonsPace(const std::string& favourite, int rounds) {
  int refused = 0;
  for (int i = 0; i < rounds; ++i) {
    usleep(kPersonsPaceMs * 1000);
    if (Call(0x502, favourite).result != 0) ++refused;
    usleep(kPersonsPaceMs * 1000);
    if (Call(0x503, favourite).result != 0) ++refused;
  }
  return refused;
}

// Another process adds and removes a favourite while this one reads the
// catalogue as fast as it can: no read comes back empty or short, no
// write is refused.
TEST_F(SharedInstallationTest, WriterBesideReaderNeitherEmptiesReadsNorRefusesWrites) {
  constexpr int kWriteRounds = 15;
  const std::string favourite = Request("PRODUCT", "PRODUCT_ID", "10010010009");
  Channel channel;
  const pid_t writer = fork();
  if (writer == 0) {
    if (channel.Receive(true, 60000) != 'G') _exit(100);
    if (InitQelbridge(260, install_.StartupJson().c_str()) != 0) _exit(101);
    const int refused = ChangeFavouriteAtAPersonsPace(favourite, kWriteRounds);
    channel.Send('D', true);
    _exit(refused > 99 ? 99 : refused);
  }
  ASSERT_GT(writer, 0);
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  const std::string categories = Call(0x601).text;
  ASSERT_EQ(Column(categories, "PRO_CATEGORY_ID"), Strings{kCategory});
  channel.Send('G', false);

  int rounds = 0;
  int wrong = 0;
  std::string firstWrong;
  while (channel.Receive(false, 0) != 'D') {
    Reply list = Call(0x601);
    Reply products = Call(0x604, CategoryRequest());
    if (list.result != 0 || list.text != categories || products.result != 0 ||
        Column(products.text, "PRODUCT_ID") != Strings{kProduct}) {
      if (wrong++ == 0) firstWrong = list.text + " / " + products.text;
    }
    ++rounds;
  }
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "writes refused (100+: the writer did not start)";
  EXPECT_GT(rounds, 0);
  EXPECT_EQ(wrong, 0) << "of " << rounds << " rounds; first: " << firstWrong;
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM FAVORITES WHERE PRODUCT_ID = '10010010009'"),
            Strings{"0"});
}

// Another process's write transaction is open (its write lock held, its
// change not yet committed) when this process writes, and ends shortly
// after: the write waits it out and succeeds, and both changes are there.
// A transaction that read before it wrote would meet the other's pending
// commit as a deadlock that no wait resolves (SQLite refuses it at once),
// so transactions take the write lock when they begin.
TEST_F(SharedInstallationTest, AWriteWaitsOutAnotherProcesssWriteTransaction) {
  struct Case {
    const char* name;
    const char* otherWrites;
    int code;
    const char* favourites;  // after both
  };
  const Case cases[] = {
      {"remove beside an add", "INSERT INTO FAVORITES(PRODUCT_ID) VALUES('10010010009');", 0x503,
       "10010010009"},
      {"add beside a remove", "DELETE FROM FAVORITES WHERE PRODUCT_ID = '10010010009';", 0x502,
       "10010010001"},
  };
  std::vector<std::unique_ptr<LockingProcess>> others;
  for (const Case& c : cases) {
    others.push_back(
        std::make_unique<LockingProcess>(install_.dataDb(), std::string("BEGIN IMMEDIATE;") + c.otherWrites));
  }
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    ASSERT_TRUE(others[i]->Lock(true)) << c.name;
    EXPECT_EQ(Call(c.code, ProductRequest()).result, 0) << c.name;
    EXPECT_EQ(install_.QueryMain("SELECT group_concat(PRODUCT_ID) FROM"
                                 " (SELECT PRODUCT_ID FROM FAVORITES ORDER BY PRODUCT_ID)"),
              Strings{c.favourites})
        << c.name;
  }
}

// Two processes add and remove favourites at once, each at a person's
// pace: neither write is ever refused.
TEST_F(SharedInstallationTest, TwoWritersAtAPersonsPaceNeverRefuseEachOther) {
  constexpr int kWriteRounds = 15;
  Channel channel;
  const pid_t writer = fork();
  if (writer == 0) {
    if (channel.Receive(true, 60000) != 'G') _exit(100);
    if (InitQelbridge(260, install_.StartupJson().c_str()) != 0) _exit(101);
    const int refused =
        ChangeFavouriteAtAPersonsPace(Request("PRODUCT", "PRODUCT_ID", "10010010009"), kWriteRounds);
    _exit(refused > 99 ? 99 : refused);
  }
  ASSERT_GT(writer, 0);
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  channel.Send('G', false);
  const int refused = ChangeFavouriteAtAPersonsPace(ProductRequest(), kWriteRounds);
  int status = 0;
  ASSERT_EQ(waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "writes of the other process refused (100+: it did not start)";
  EXPECT_EQ(refused, 0) << "writes of this process refused";
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM FAVORITES"), Strings{"0"});
}

// ---- failure forms -------------------------------------------------------------

// One request and what it reads. A result of 0 fails as an empty reply
// (the catalogue lists), 1 as the error reply.
struct Failing {
  const char* name;
  bool mainDatabase;  // where the damaged table lives
  const char* table;
  const char* dropFromMain;  // a table to drop first: the lists then read row by row
  int code;
  std::string request;
  int failResult;
};

const Failing kFailing[] = {
    {"CategoryList", false, "PRODUCT_CATEGORY", "", 0x601, "", 0},
    {"CategoryProductCounts", false, "PRODUCT_CLASS", "", 0x601, "", 0},
    {"CategoryNewCounts", true, "PRODUCT_EXTEND", "", 0x608, CategoryRequest(), 0},
    {"CategoryCountsRowByRow", false, "PRODUCT_CLASS", "PRODUCT_EXTEND", 0x601, "", 0},
    {"ProductList", false, "PRODUCT", "", 0x604, CategoryRequest(), 0},
    {"ProductFavouriteFlags", true, "FAVORITES", "", 0x606, "", 0},
    {"ProductNewFlagRowByRow", true, "PRODUCT_EXTEND", "FAVORITES", 0x607, ProductRequest(), 0},
    {"ProductShowWayRowByRow", false, "PROD_SHOW", "FAVORITES", 0x604, CategoryRequest(), 0},
    {"ProductCount", false, "PRODUCT", "", 0x609, "", 0},
    {"DetailHead", false, "PROD_CERTGROUP", "", 0x430, ProductRequest(), 1},
    {"DetailPictures", false, "PICTURE", "", 0x411, ProductRequest(), 1},
    {"DetailCasesSeenFlag", true, "CASE_EXTEND", "", 0x409, ProductRequest(), 1},
    {"CompanyCasesNewFlag", true, "CASE_EXTEND", "", 0x009, "", 0},
    {"CertificateCategoryNewCounts", false, "CERTGROUP", "", 0x010, "", 0},
};

void ExpectFailureForm(const Failing& c, const Reply& reply) {
  EXPECT_EQ(reply.result, c.failResult) << c.name << ": " << reply.text;
  if (c.failResult == 0) {
    EXPECT_EQ(reply.text, "") << c.name;
  } else {
    EXPECT_EQ(qel::StringMember(qeltest::Parse(reply.text), "ERRORCODE"), std::to_string(c.failResult))
        << c.name;
  }
}

// The same requests on the intact installation answer with rows, so that
// each failure below is a failure of what the request reads.
TEST_F(SharedInstallationTest, EveryRequestOfTheFailureTablesAnswersOnTheIntactInstallation) {
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  for (const Failing& c : kFailing) {
    Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 0) << c.name;
    Json::Value rows = qeltest::Parse(reply.text);
    EXPECT_TRUE(rows.isArray() && !rows.empty()) << c.name << ": " << reply.text;
  }
}

class DamagedTableTest : public SharedInstallationTest, public ::testing::WithParamInterface<Failing> {};

TEST_P(DamagedTableTest, GivesTheFailureFormNeverAnAnswer) {
  const Failing& c = GetParam();
  if (c.dropFromMain[0] != '\0') install_.Main(std::string("DROP TABLE ") + c.dropFromMain + ";");
  qeltest::DamageTable(c.mainDatabase ? install_.dataDb() : install_.exDb(), c.table);
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  ExpectFailureForm(c, Call(c.code, c.request));
  ExpectFailureForm(c, Call(c.code, c.request));
}

std::string FailingName(const ::testing::TestParamInfo<Failing>& info) { return info.param.name; }
void PrintTo(const Failing& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Requests, DamagedTableTest, ::testing::ValuesIn(kFailing), FailingName);

// Another process holds the file a request reads past the wait: each
// request waits once and fails as a whole.
class LockedReadTest : public SharedInstallationTest, public ::testing::WithParamInterface<Failing> {};

TEST_P(LockedReadTest, GivesTheFailureFormAfterTheWait) {
  const Failing& c = GetParam();
  LockingProcess other(c.mainDatabase ? install_.dataDb() : install_.exDb());
  ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
  ASSERT_TRUE(other.Lock());
  Reply reply;
  std::string failures;
  {
    qeltest::GlogErrors warnings(google::GLOG_WARNING);
    reply = Call(c.code, c.request);
    failures = warnings.Text();
  }
  ASSERT_TRUE(other.Release());
  ExpectFailureForm(c, reply);
  // Each statement that waits in vain logs its failure: one line, so one
  // wait, not one per statement.
  size_t waits = 0;
  for (size_t at = 0; (at = failures.find("database is locked", at)) != std::string::npos; ++at) ++waits;
  EXPECT_EQ(waits, 1u) << c.name << ": " << failures;
  // Once the lock is gone the same request answers.
  Reply again = Call(c.code, c.request);
  EXPECT_EQ(again.result, 0) << c.name;
  EXPECT_NE(again.text, "") << c.name;
}

INSTANTIATE_TEST_SUITE_P(Requests, LockedReadTest,
                         ::testing::Values(Failing{"CategoryList", false, "", "", 0x601, "", 0},
                                           Failing{"ProductListReadingLocalState", true, "", "", 0x604,
                                                   CategoryRequest(), 0},
                                           Failing{"DetailHead", false, "", "", 0x430, ProductRequest(), 1}),
                         FailingName);

}  // namespace
