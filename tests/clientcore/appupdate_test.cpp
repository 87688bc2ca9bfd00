// The application update as a host and the launcher see it. The host runs
// in a child process (every run a fresh start, and one that can be killed
// at a chosen point): the client core on the real bridge lists a release
// from a loopback service and downloads it into Data/AppUpdate; then the
// real pc applies it. Every check compares the installation byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "../launcher/launchertest.h"
#include "common/qelcommon2.h"
#include "fakebridge.h"
#include "fakecommon.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qelclientcore.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;
using namespace qelclientcore;
using launchertest::Snapshot;
using launchertest::Tree;
using qeltest::ReadFile;
using qeltest::WriteFile;

const char kMarker[] = "qelupdate.incomplete";

CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

Json::Value Entry(const std::string& url, const std::string& filePath, const std::string& fileName) {
  Json::Value entry(Json::objectValue);
  entry["url"] = url;
  entry["filePath"] = filePath;
  entry["fileName"] = fileName;
  return entry;
}

// ---- The marker, with a common library that only pretends to download ----

// Answers every download with the status scripted for its URL (success by
// default) and writes nothing.
class ScriptedDownloads : public commontest::FakeCommonServices {
 public:
  std::string failWith;  // status for URLs that hold "fail"
  std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                           CommonDownloadProgress* progress) override {
    FakeCommonServices::DownloadFile(url, second, path, progress);
    std::string status = url.find("fail") != std::string::npos ? failWith : "100000";
    return "{\"jsonrpc\":\"2.0\",\"result\":{\"result\":\"\",\"status\":\"" + status + "\"}}";
  }
};

class ReleaseMarker : public ::testing::Test {
 protected:
  void SetUp() override {
    downloads_ = std::make_shared<ScriptedDownloads>();
    downloads_->moduleDir = qeltest::TestDir() + "/module";
    downloads_->failWith = "500003";
    CCommon2::instance().SetServices(downloads_);
    update_ = downloads_->moduleDir + "/AppUpdate";
  }
  void TearDown() override { CCommon2::instance().SetServices(nullptr); }

  void ScriptList(const std::vector<Json::Value>& entries) {
    Json::Value list(Json::arrayValue);
    for (const Json::Value& entry : entries) list.append(entry);
    bridge_.Script(0x573, 0, qel::WriteStyled(list));
  }
  bool Marked() const { return fs::exists(update_ + "/" + kMarker); }

  qeltest::FakeBridge bridge_;
  std::shared_ptr<ScriptedDownloads> downloads_;
  std::string update_;
};

// The marker stays from the list until every entry has downloaded whole; a
// failed download, or one of a file the list does not name, changes nothing.
TEST_F(ReleaseMarker, StaysUntilEveryEntryHasDownloadedWhole) {
  ScriptList({Entry("http://h/", "a.bin", "/Data/a.bin"), Entry("http://h/fail/", "b.bin", "/Data/b.bin")});
  std::vector<AppUpdateFiles> list;
  Core().GetUpdateAppList(list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(Marked());

  const struct {
    const char* step;
    std::string url, path;
    bool marked;
  } steps[] = {
      {"first entry", list[0].url, list[0].localPath, true},
      {"second entry fails", list[1].url, list[1].localPath, true},
      {"a file outside the list", "http://h/x", update_ + "/x.bin", true},
      {"first entry again", list[0].url, list[0].localPath, true},
  };
  for (const auto& s : steps) {
    Core().DownloadFile(s.url, s.path);
    EXPECT_EQ(Marked(), s.marked) << s.step;
  }
  downloads_->failWith = "100000";
  Core().DownloadFile(list[1].url, list[1].localPath);
  EXPECT_FALSE(Marked()) << "the last entry completes the release";

  // A later list starts afresh: marked again, the folder emptied.
  WriteFile(update_ + "/Data/a.bin", "from the release before");
  ScriptList({Entry("http://h/", "c.bin", "/Data/c.bin")});
  std::vector<AppUpdateFiles> next;
  Core().GetUpdateAppList(next);
  ASSERT_EQ(next.size(), 1u);
  Tree fresh = Snapshot(update_);
  EXPECT_EQ(fresh.size(), 1u);
  EXPECT_EQ(fresh.count(kMarker), 1u);

  // An empty list is a complete release.
  ScriptList({});
  Core().GetUpdateAppList(next);
  EXPECT_FALSE(Marked());
  EXPECT_EQ(next.size(), 1u);
}

// "dup.txt", "\dup.txt" and "/dup.txt" name one file: the first entry is
// kept, so the release completes with the file the list named first.
TEST_F(ReleaseMarker, OneEntryPerTarget) {
  ScriptList({Entry("http://h/1/", "dup.txt", "dup.txt"), Entry("http://h/2/", "dup.txt", "\\dup.txt"),
              Entry("http://h/3/", "dup.txt", "/dup.txt"), Entry("http://h/4/", "Dup.txt", "Dup.txt"),
              Entry("http://h/5/", "m", kMarker)});
  std::vector<AppUpdateFiles> list;
  Core().GetUpdateAppList(list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].url, "http://h/1/dup.txt");
  EXPECT_EQ(list[1].url, "http://h/4/Dup.txt");
  for (const AppUpdateFiles& file : list) Core().DownloadFile(file.url, file.localPath);
  EXPECT_FALSE(Marked());
}

// An update folder that is a link or a file cannot be marked: the host gets
// no list (so nothing it downloads is installed half), and nothing is
// removed through the link.
TEST_F(ReleaseMarker, AFolderThatCannotBeMarkedGivesNoList) {
  const struct {
    const char* name;
    void (*arrange)(const std::string& update);
  } cases[] = {
      {"link to a folder",
       [](const std::string& update) {
         WriteFile(qeltest::TestDir() + "/outside/keep.txt", "outside");
         fs::create_directory_symlink(qeltest::TestDir() + "/outside", update);
       }},
      {"a file", [](const std::string& update) { WriteFile(update, "a file"); }},
  };
  for (const auto& c : cases) {
    fs::remove_all(downloads_->moduleDir);
    fs::create_directories(downloads_->moduleDir);
    c.arrange(update_);
    ScriptList({Entry("http://h/", "a.bin", "a.bin")});
    std::vector<AppUpdateFiles> list;
    Core().GetUpdateAppList(list);
    EXPECT_TRUE(list.empty()) << c.name;
  }
  EXPECT_EQ(ReadFile(qeltest::TestDir() + "/outside/keep.txt"), "outside");
  EXPECT_FALSE(fs::exists(qeltest::TestDir() + "/outside/" + kMarker));
}

// ---- End to end: host child processes, the loopback service and pc --------

struct ReleaseFile {
  std::string name;  // "fileName" of the list: the path below pc's folder
  std::string content;
};

// In list order; the version file is not last, so a host that stops after
// it has the new version downloaded without the rest.
std::vector<ReleaseFile> DefaultRelease() {
  std::string big;
  for (int i = 0; i < 64 * 1024; ++i) big += static_cast<char>('a' + i % 26);
  return {{"/Data/qel.dll", "new library"},
          {"/Data/ver.qel", "\xEF\xBB\xBFV1.2.3.5 \r\n"},
          {"/Data/big.dat", big},
          {"/plugins/p.so", "new plugin"}};
}

struct HostResult {
  bool exited = false;               // ended on its own
  bool killed = false;               // ended by SIGKILL
  int need = -1;                     // IsNeedUpdateApp()
  std::vector<std::string> targets;  // localPath of every entry handed out
};

class AppUpdateEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', 100);");
    launchertest::CopyProgram(QEL_PC_PROGRAM, root_ + "/pc", 0755);
    launchertest::CopyProgram(QEL_RECORDER_PROGRAM, root_ + "/Data/pc", 0755);
    WriteFile(root_ + "/Data/qel.dll", "old library");
    WriteFile(root_ + "/readme.txt", "kept");
    record_ = qeltest::TestDir() + "/record";
    work_ = launchertest::FreshFolder("work");
    ::setenv("QEL_RECORD_FILE", record_.c_str(), 1);
    ::setenv("QEL_INSTALL_DIR", module_.root().c_str(), 1);
    ::setenv("QEL_SERVER_PATH", server_.RpcUrl().c_str(), 1);
    ::setenv("QEL_CACHED_DATA_INTERVAL_MS", "900000", 1);
    ::unsetenv("QEL_LOG_RECORD");
    Publish(DefaultRelease());
  }

  void Publish(const std::vector<ReleaseFile>& files, std::vector<Json::Value> extra = {}) {
    release_ = files;
    Json::Value latest(Json::objectValue);
    latest["packageTime"] = "100";
    latest["APPVERSION"] = "V1.2.3.5";
    server_.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100000", latest);
    Json::Value list(Json::arrayValue);
    for (const ReleaseFile& file : files) {
      server_.AddFile("/app" + file.name, file.content);
      list.append(Entry(server_.Url("/app"), file.name, file.name));
    }
    for (const Json::Value& entry : extra) list.append(entry);
    server_.ScriptRpc("SpClientSetupService.json", "loadAppUpdateFile", "100000", list);
  }

  // A host run: the check, then (with list) the list and a download of each
  // entry in order; with killBefore >= 0 it kills itself before that one.
  pid_t StartHost(bool list = true, int killBefore = -1) {
    std::string results = Results();
    fs::remove(results);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    CCommon2::instance().SetServices(nullptr);
    if (!Core().Init()) _exit(3);
    std::ofstream out(results, std::ios::binary);
    out << Core().IsNeedUpdateApp() << "\n";
    std::vector<AppUpdateFiles> files;
    if (list) Core().GetUpdateAppList(files);
    for (const AppUpdateFiles& file : files) out << file.localPath << "\n";
    out.close();
    for (size_t i = 0; i < files.size(); ++i) {
      if (static_cast<int>(i) == killBefore) ::kill(::getpid(), SIGKILL);
      Core().DownloadFile(files[i].url, files[i].localPath);
    }
    _exit(0);
  }

  HostResult WaitForHost(pid_t pid) {
    HostResult host;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    host.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    host.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    std::ifstream in(Results(), std::ios::binary);
    std::string line;
    if (std::getline(in, line)) host.need = std::atoi(line.c_str());
    while (std::getline(in, line)) host.targets.push_back(line);
    return host;
  }

  HostResult RunHost(bool list = true, int killBefore = -1) {
    return WaitForHost(StartHost(list, killBefore));
  }

  // pc as the user starts it; it must start the program whatever happened.
  launchertest::RunResult RunPc() {
    fs::remove(record_);
    launchertest::RunResult run = launchertest::RunProgram(root_ + "/pc", {"--from-pc"}, work_);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(launchertest::WaitForRecord(record_),
              (std::vector<std::string>{work_, root_ + "/Data/pc", "--from-pc"}));
    return run;
  }

  // Waits until a download of `name` has written `bytes` into its temporary
  // file, and gives that file's path ("" after the bound of a broken test).
  std::string WaitForPartial(const std::string& name, size_t bytes) {
    fs::path file = fs::path(update_ + name);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(file.parent_path(), ec)) {
        std::string found = entry.path().filename().string();
        if (found.rfind(file.filename().string() + ".qeltmp", 0) == 0 &&
            fs::file_size(entry.path(), ec) == bytes)
          return entry.path().string();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string();
  }

  // `tree` with the release's files laid over it, each with its folders; a
  // file takes the mode of the one it replaces, else of its download.
  Tree WithRelease(Tree tree, const std::string& base) const {
    for (const ReleaseFile& file : release_) {
      std::string relative = file.name.substr(1);
      std::string replaced = base + file.name;
      int mode = launchertest::ModeOf(fs::exists(replaced) ? replaced : update_ + file.name);
      tree[relative] = launchertest::FileEntry(file.content, mode);
      for (fs::path folder = fs::path(relative).parent_path(); !folder.empty(); folder = folder.parent_path())
        tree[folder.string()] = "<folder>";
    }
    return tree;
  }

  // The host finishes the release; pc installs exactly it and empties the
  // folder; the installation then reads as the service's version.
  void ExpectTheReleaseCompletesAndIsInstalled(const std::string& context) {
    HostResult host = RunHost();
    ASSERT_TRUE(host.exited) << context;
    EXPECT_EQ(host.targets.size(), release_.size()) << context;
    EXPECT_EQ(Snapshot(update_), WithRelease(Tree(), update_)) << context << ": the release alone, no marker";

    Tree expected = WithRelease(Snapshot(root_, "Data/AppUpdate"), root_);
    launchertest::RunResult run = RunPc();
    EXPECT_EQ(run.errors, "") << context;
    EXPECT_EQ(Snapshot(root_, "Data/AppUpdate"), expected) << context;
    EXPECT_TRUE(launchertest::IsEmptyFolder(update_)) << context;
    EXPECT_EQ(RunHost(false).need, 0) << context << ": the installed ver.qel holds the service's version";
  }

  // pc leaves a marked folder and the installation exactly as they were.
  void ExpectPcLeavesItAlone(const std::string& context) {
    ASSERT_TRUE(fs::exists(update_ + "/" + kMarker)) << context;
    Tree before = Snapshot(root_);
    launchertest::RunResult run = RunPc();
    EXPECT_NE(run.errors.find(update_), std::string::npos) << context << ": " << run.errors;
    EXPECT_EQ(Snapshot(root_), before) << context;
  }

  std::string Results() const { return qeltest::TestDir() + "/host-results"; }

  qeltest::TransportTimeouts timeouts_{qeltest::TransportTimeouts::kHealthy};
  qeltest::HttpTestServer server_;
  std::string root_ = qeltest::TestDir() + "/inst";
  qeltest::Installation module_{"inst/Data", "V1.2.3.4"};
  std::string update_ = root_ + "/Data/AppUpdate";
  std::string record_;
  std::string work_;
  std::vector<ReleaseFile> release_;
};

TEST_F(AppUpdateEndToEnd, ACompleteReleaseIsInstalledWholeAndItsVersionCountsAsCurrent) {
  // ver.qel of the release carries a byte-order mark and a trailing blank.
  ExpectTheReleaseCompletesAndIsInstalled("complete");
  EXPECT_EQ(ReadFile(root_ + "/Data/ver.qel"), "\xEF\xBB\xBFV1.2.3.5 \r\n");
}

// Killed after two files (the new ver.qel among them), then inside a file:
// pc installs nothing either time, and the next run fetches the release
// again.
TEST_F(AppUpdateEndToEnd, AHostKilledBetweenOrInsideFilesLeavesTheInstallationAsItWas) {
  HostResult between = RunHost(true, 2);
  ASSERT_TRUE(between.killed);
  EXPECT_EQ(between.need, 2);
  EXPECT_EQ(ReadFile(update_ + "/Data/ver.qel"), release_[1].content);
  ExpectPcLeavesItAlone("killed between files");

  const std::string& big = release_[2].content;
  qeltest::ServedFile stalled;
  stalled.content = big;
  stalled.get = qeltest::FileFault::kStallBody;
  server_.AddFile("/app/Data/big.dat", stalled);
  pid_t host = StartHost();
  std::string partial = WaitForPartial("/Data/big.dat", big.size() / 2);
  ::kill(host, SIGKILL);
  ASSERT_TRUE(WaitForHost(host).killed);
  ASSERT_NE(partial, "") << "the download never got half way";
  EXPECT_TRUE(fs::exists(partial));
  ExpectPcLeavesItAlone("killed inside a file");

  server_.AddFile("/app/Data/big.dat", big);
  ExpectTheReleaseCompletesAndIsInstalled("after the kills");
}

// DownloadFile still returns nothing: a file that did not arrive whole keeps
// the release out, and the check keeps answering that an update is needed.
TEST_F(AppUpdateEndToEnd, AFailedDownloadKeepsTheWholeReleaseOut) {
  const struct {
    const char* name;
    qeltest::FileFault get, head;
  } cases[] = {
      {"404", qeltest::FileFault::kNotFound, qeltest::FileFault::kNotFound},
      {"500", qeltest::FileFault::kServerErrorHtml, qeltest::FileFault::kNone},
      {"short body", qeltest::FileFault::kShortBody, qeltest::FileFault::kNone},
  };
  for (const auto& c : cases) {
    qeltest::ServedFile faulty;
    faulty.content = release_[3].content;
    faulty.get = c.get;
    faulty.head = c.head;
    server_.AddFile("/app" + release_[3].name, faulty);
    HostResult host = RunHost();
    ASSERT_TRUE(host.exited) << c.name;
    EXPECT_EQ(host.need, 2) << c.name;
    EXPECT_FALSE(fs::exists(update_ + release_[3].name)) << c.name;
    ExpectPcLeavesItAlone(c.name);
    EXPECT_EQ(RunHost(false).need, 2) << c.name;
  }
  server_.AddFile("/app" + release_[3].name, release_[3].content);
  ExpectTheReleaseCompletesAndIsInstalled("after the failures");
}

// Files an earlier attempt left in the folder (without the marker) are not
// installed with the next release: its list removes them.
TEST_F(AppUpdateEndToEnd, FilesOfAnEarlierAttemptAreNotInstalled) {
  WriteFile(update_ + "/Data/stale.dll", "stale");
  WriteFile(update_ + "/Data/qel.dll", "library of an abandoned release");
  WriteFile(update_ + "/Data/big.dat.qeltmp4242-0", "half");
  WriteFile(update_ + "/old/x.txt", "old");
  ExpectTheReleaseCompletesAndIsInstalled("stale files");
  EXPECT_FALSE(fs::exists(root_ + "/Data/stale.dll"));
  EXPECT_FALSE(fs::exists(root_ + "/old"));
}

// pc started while the host downloads neither installs nor clears anything;
// the host's files stay where they are.
TEST_F(AppUpdateEndToEnd, PcDuringTheDownloadsLeavesThemAlone) {
  qeltest::ServedFile stalled;
  stalled.content = release_[2].content;
  stalled.get = qeltest::FileFault::kStallBody;
  server_.AddFile("/app/Data/big.dat", stalled);
  pid_t host = StartHost();
  std::string partial = WaitForPartial("/Data/big.dat", release_[2].content.size() / 2);
  EXPECT_NE(partial, "") << "the download never got half way";
  ExpectPcLeavesItAlone("pc during the downloads");
  EXPECT_EQ(ReadFile(update_ + "/Data/qel.dll"), "new library");
  ::kill(host, SIGKILL);
  WaitForHost(host);
}

// A list naming one file twice gives one entry: the first one is the one
// installed, and the other is never fetched.
TEST_F(AppUpdateEndToEnd, AFileNamedTwiceIsFetchedOnceFromItsFirstEntry) {
  server_.AddFile("/other/Data/qel.dll", "library of the second entry");
  Publish(DefaultRelease(), {Entry(server_.Url("/other"), "/Data/qel.dll", "\\Data\\qel.dll"),
                             Entry(server_.Url("/other"), "/Data/qel.dll", "Data/qel.dll")});
  ExpectTheReleaseCompletesAndIsInstalled("duplicates");
  EXPECT_EQ(ReadFile(root_ + "/Data/qel.dll"), "new library");
  EXPECT_EQ(server_.CountRequests("GET", "/other/Data/qel.dll"), 0u);
}

}  // namespace
