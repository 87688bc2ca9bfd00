// Shared set-up of the data-update tests: a package published on the
// loopback server, an installation that holds an older one, and client
// starts run as child processes, so that every start is a fresh process
// (as after a restart) and a start can be killed at a chosen point.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"
#include "testsupport.h"

namespace updatetest {

namespace fs = std::filesystem;

constexpr int kRun = 0x570;
constexpr int kCheck = 0x571;
constexpr int kAppCheck = 0x572;
constexpr int kAppFiles = 0x573;

inline std::string FinishedText() { return qeltest::Gbk("下载更新已完成，请重启客户端"); }

// A data package as the service publishes it.
struct Package {
  int64_t time = 200;
  std::string prefix = "/p1";                // where its files are served
  std::map<std::string, std::string> files;  // "fileName" -> bytes
  std::string marker = "package-200";        // a row that tells the databases of packages from one another
  std::vector<std::string> extraEntries;     // raw JSON entries added to the list
  std::string db;                            // the database bytes, set by Publish
};

// The bytes of a second database holding the package's company and marker.
inline std::string PackageDatabase(const Package& package) {
  std::string path =
      qeltest::TestDir() + "/pkgdb-" + std::to_string(package.time) + package.prefix.substr(1) + ".db";
  std::error_code ec;
  fs::remove(path, ec);
  for (const auto& file : qeltest::SchemaFiles("qel_exdata")) qeltest::ExecSql(path, qeltest::ReadFile(file));
  qeltest::ExecSql(path,
                   "INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', " +
                       std::to_string(package.time) +
                       ");"
                       "INSERT INTO PRODUCT (PRODUCT_ID, LASTTIME) VALUES ('10000000001', 150),"
                       " ('10000000002', 90), ('20000000003', 300), ('1234', 300);"
                       "CREATE TABLE MARKER (NAME TEXT); INSERT INTO MARKER VALUES ('" +
                       package.marker + "');");
  return qeltest::ReadFile(path);
}

inline std::string ListText(const qeltest::HttpTestServer& server, const Package& package) {
  std::string text = "{\"files\":[";
  bool first = true;
  for (const auto& file : package.files) {
    if (!first) text += ",";
    first = false;
    text += "{\"url\":\"" + server.Url(package.prefix + "/res") + "\",\"filePath\":\"" + file.first +
            "\",\"fileName\":\"" + file.first + "\"}";
  }
  for (const std::string& entry : package.extraEntries) {
    if (!first) text += ",";
    first = false;
    text += entry;
  }
  return text + "]}";
}

// Serves the package's files, list and database, and answers the two
// update requests with its time and addresses.
inline void Publish(qeltest::HttpTestServer& server, Package& package) {
  package.db = PackageDatabase(package);
  for (const auto& file : package.files) server.AddFile(package.prefix + "/res" + file.first, file.second);
  server.AddFile(package.prefix + "/list.qjson", ListText(server, package));
  server.AddFile(package.prefix + "/ex.db", package.db);
  Json::Value latest(Json::objectValue);
  latest["packageTime"] = std::to_string(package.time);
  latest["APPVERSION"] = "V1.2.3.5";
  server.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100000", latest);
  Json::Value urls(Json::objectValue);
  urls["DBURL"] = server.Url(package.prefix + "/ex.db");
  urls["FILEURL"] = server.Url(package.prefix + "/list.qjson");
  server.ScriptRpc("SpClientSetupService.json", "loadUpdateData", "100000", urls);
}

// The usual package: a.png and d/e.png are new, b.png stays, c.png goes.
inline Package DefaultPackage() {
  Package package;
  package.files = {{"/img/a.png", "bytes of a"},
                   {"/img/b.png", "bytes of b"},
                   {"/img/d/e.png", std::string(40000, 'e')},
                   {"/z.txt", "zzz"}};
  return package;
}

// A test beside a server that publishes the usual package.
class PublishedPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    package_ = DefaultPackage();
    Publish(server_, package_);
  }

  qeltest::TransportTimeouts timeouts_{qeltest::TransportTimeouts::kHealthy};
  qeltest::HttpTestServer server_;
  Package package_;
};

// An installation with package time 100 holding b.png and c.png.
inline qeltest::Installation OldInstallation(const std::string& name = "install") {
  qeltest::Installation install(name);
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', 100);");
  install.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u1', 'user1', '1');");
  fs::create_directories(install.root() + "/json");
  fs::create_directories(install.root() + "/files/img");
  qeltest::WriteFile(install.root() + "/json/local.qjson",
                     "{\"files\":[{\"url\":\"x\",\"filePath\":\"/img/b.png\",\"fileName\":\"/img/b.png\"},"
                     "{\"url\":\"x\",\"filePath\":\"/img/c.png\",\"fileName\":\"/img/c.png\"}]}");
  qeltest::WriteFile(install.root() + "/files/img/b.png", "bytes of b");
  qeltest::WriteFile(install.root() + "/files/img/c.png", "bytes of c");
  return install;
}

// Where a start is interrupted. A progress report matches when its step is
// `step` (any when -1) and its text contains `text`; a log line matches
// when it contains `log`. The start then stops the update (the callback
// answers 1) or, with kill, ends the process on the spot. With hold the
// start waits there instead until the test lets it go on (HeldStart).
struct Interrupt {
  int step = -1;
  std::string text;
  std::string log;
  bool kill = false;
  bool hold = false;
};

struct Start {
  bool exited = false;  // the child ended on its own
  bool killed = false;  // the child ended at the interrupt
  int result = -99;     // result of the call
  std::string reply;
  std::vector<std::pair<int, std::string>> progress;
  std::vector<std::string> watched;  // the log lines that held the watched text
};

namespace detail {
inline Interrupt g_interrupt;
inline std::string g_progressFile;
inline std::string g_watch;
inline std::string g_watchFile;
inline std::string g_base;
inline bool g_armed = true;
constexpr int kKilledExit = 77;

// What a held start does once let go: 'c' goes on, 's' stops the update
// (at a progress report), 'k' ends the process.
inline char Hold() {
  { std::ofstream(g_base + ".held") << "held"; }
  for (;;) {
    std::ifstream go(g_base + ".go");
    char action = 0;
    if (go >> action) return action;
    usleep(10000);
  }
}

inline void Record(int step, const char* text) {
  std::ofstream out(g_progressFile, std::ios::app | std::ios::binary);
  out << step << "\t" << (text != nullptr ? text : "") << "\n";
}

inline int OnProgress(int step, const char* text) {
  Record(step, text);
  const Interrupt& at = g_interrupt;
  if (!g_armed || !at.log.empty() || (at.step < 0 && at.text.empty())) return 0;
  if (at.step >= 0 && at.step != step) return 0;
  if (!at.text.empty() && std::string(text != nullptr ? text : "").find(at.text) == std::string::npos)
    return 0;
  g_armed = false;
  const char action = at.hold ? Hold() : at.kill ? 'k' : 's';
  if (action == 'k') _exit(kKilledExit);
  return action == 's' ? 1 : 0;
}

inline void OnLog(const char* text, const char*) {
  if (!g_watch.empty() && text != nullptr && std::string(text).find(g_watch) != std::string::npos) {
    std::ofstream out(g_watchFile, std::ios::app | std::ios::binary);
    out << text << "\n";
  }
  if (g_armed && !g_interrupt.log.empty() && text != nullptr &&
      std::string(text).find(g_interrupt.log) != std::string::npos) {
    g_armed = false;
    if (!g_interrupt.hold || Hold() == 'k') _exit(kKilledExit);
  }
}
}  // namespace detail

// One start of the client in a child process: InitQelbridge (which applies
// a finished download) and, unless code is 0, one call. The log lines that
// hold `watch` (when not empty) come back in Start::watched.
// The child of a start, forked; its files are named base.*.
inline pid_t BeginStart(const qeltest::Installation& install, const std::string& serverUrl, int code,
                        const Interrupt& interrupt, const std::string& watch, std::string* startBase) {
  static int counter = 0;
  std::string base = qeltest::TestDir() + "/start-" + std::to_string(++counter);
  *startBase = base;
  detail::g_interrupt = interrupt;
  detail::g_progressFile = base + ".progress";
  detail::g_watch = watch;
  detail::g_watchFile = base + ".watched";
  detail::g_base = base;
  detail::g_armed = true;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    SetLogCallback(detail::OnLog);
    SetUpdateDownCallback(detail::OnProgress);
    InitQelbridge(260, install.StartupJson(serverUrl).c_str());
    int result = 0;
    std::string reply;
    if (code != 0) {
      qeltest::Reply r = qeltest::Call(code);
      result = r.result;
      reply = r.text;
    }
    {
      std::ofstream out(base + ".result", std::ios::binary);
      out << result << "\n" << reply;
    }
    _exit(0);
  }
  return pid;
}

// Waits for the child of BeginStart and reads what it left.
inline Start FinishStart(pid_t pid, const std::string& base) {
  Start start;
  int status = 0;
  waitpid(pid, &status, 0);
  start.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  start.killed = WIFEXITED(status) && WEXITSTATUS(status) == detail::kKilledExit;
  std::ifstream result(base + ".result", std::ios::binary);
  if (result >> start.result) {
    result.get();
    std::ostringstream rest;
    rest << result.rdbuf();
    start.reply = rest.str();
  }
  std::ifstream progress(base + ".progress", std::ios::binary);
  std::string line;
  while (std::getline(progress, line)) {
    size_t tab = line.find('\t');
    start.progress.emplace_back(std::stoi(line.substr(0, tab)),
                                tab == std::string::npos ? "" : line.substr(tab + 1));
  }
  std::ifstream watched(base + ".watched", std::ios::binary);
  while (std::getline(watched, line)) start.watched.push_back(line);
  return start;
}

inline Start RunStart(const qeltest::Installation& install, const std::string& serverUrl, int code,
                      const Interrupt& interrupt = Interrupt(), const std::string& watch = "") {
  std::string base;
  pid_t pid = BeginStart(install, serverUrl, code, interrupt, watch, &base);
  return FinishStart(pid, base);
}

// A start that runs beside the test until its interrupt (hold set), waits
// there while the test acts, and goes on, stops or dies when let go.
class HeldStart {
 public:
  HeldStart(const qeltest::Installation& install, const std::string& serverUrl, int code, Interrupt at) {
    at.hold = true;
    pid_ = BeginStart(install, serverUrl, code, at, "", &base_);
  }
  ~HeldStart() {
    if (pid_ > 0) Finish('k');
  }
  HeldStart(const HeldStart&) = delete;
  HeldStart& operator=(const HeldStart&) = delete;

  // True once the start waits at its interrupt; false when it ended first.
  bool WaitHeld() {
    for (int i = 0; i < 12000; ++i) {
      if (fs::exists(base_ + ".held")) return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      usleep(5000);
    }
    return false;
  }
  // Lets it go ('c', 's' or 'k', see detail::Hold) and waits for its end.
  Start Finish(char action) {
    { std::ofstream(base_ + ".go.tmp") << action; }
    fs::rename(base_ + ".go.tmp", base_ + ".go");
    const pid_t pid = pid_;
    pid_ = -1;
    return FinishStart(pid, base_);
  }

 private:
  pid_t pid_ = -1;
  std::string base_;
};

// The id of a process that has ended: a child that exits at once, reaped.
inline std::string GoneProcessId() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  if (child > 0) waitpid(child, nullptr, 0);
  return std::to_string(child);
}

// CONFIGINFO row id -> value.
inline std::string Config(const qeltest::Installation& install, int id) {
  auto rows = install.QueryMain("SELECT VALUE FROM CONFIGINFO WHERE ID = " + std::to_string(id));
  return rows.empty() ? "<none>" : rows[0];
}

inline std::string Marker(const std::string& dbPath) {
  auto rows = qeltest::QuerySql(dbPath, "SELECT NAME FROM MARKER");
  return rows.empty() ? "<none>" : rows[0];
}

// Every file of the package installed with its bytes, c.png gone, the list
// and the database of the package in place, the staged files gone.
inline void ExpectInstalled(const qeltest::Installation& install, const qeltest::HttpTestServer& server,
                            const Package& package, const std::string& context) {
  for (const auto& file : package.files) {
    EXPECT_EQ(qeltest::ReadFile(install.root() + "/files" + file.first), file.second)
        << context << ": " << file.first;
  }
  EXPECT_FALSE(fs::exists(install.root() + "/files/img/c.png")) << context;
  EXPECT_EQ(qeltest::ReadFile(install.root() + "/json/local.qjson"), ListText(server, package)) << context;
  EXPECT_EQ(qeltest::ReadFile(install.exDb()), package.db) << context;
  EXPECT_EQ(Config(install, 3), "5") << context;
  EXPECT_EQ(Config(install, 1), std::to_string(package.time)) << context;
  EXPECT_TRUE(install.QueryMain("SELECT FILENAME FROM DOWNLOADINFO").empty()) << context;
  EXPECT_FALSE(fs::exists(install.root() + "/temp/files/img/a.png")) << context;
  EXPECT_FALSE(fs::exists(install.root() + "/temp/data/qel_exdata.db")) << context;
}

}  // namespace updatetest
