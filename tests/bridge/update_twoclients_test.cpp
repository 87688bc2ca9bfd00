// Two clients on one installation: while one checks, downloads or applies
// the data update, the other's check answers "under way" at once, its run
// is refused and its start applies nothing -- neither asks the service nor
// touches a staged file. However the first then ends (goes on, is stopped
// by its host, is killed), the update ends with the package installed byte
// for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "update_fixture.h"

namespace fs = std::filesystem;
using namespace updatetest;
using qeltest::HttpTestServer;
using qeltest::Installation;

namespace {

// Every file below the installation but its databases (a start opens
// them), with its bytes.
std::map<std::string, std::string> Snapshot(const Installation& install) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(install.root())) {
    const std::string path = entry.path().string();
    if (path.find("/data/") != std::string::npos || !entry.is_regular_file()) continue;
    files[path.substr(install.root().size())] = qeltest::ReadFile(path);
  }
  return files;
}

class UpdateTwoClientsTest : public PublishedPackageTest {};

TEST_F(UpdateTwoClientsTest, SecondClientWaitsOutTheFirstWhereverTheFirstEnds) {
  const struct {
    const char* name;
    Interrupt at;  // where the first client holds
    bool apply;    // the first client is a start applying a staged update, else a run
  } points[] = {
      {"list compared", {6, "", "", false}, false},
      {"file download", {-1, "img/d/e.png", "", false}, false},
      {"database download", {-1, "qel_exdata.db", "", false}, false},
      {"finished", {100, FinishedText(), "", false}, false},
      {"apply", {-1, "", "LocalPath:", false}, true},
  };
  int n = 0;
  for (const auto& point : points) {
    for (char end : {'c', 's', 'k'}) {
      // An apply asks the host nothing, so it cannot be stopped.
      if (point.apply && end == 's') continue;
      const std::string context = std::string(point.name) + ", then " + end;
      Installation install = OldInstallation("two-" + std::to_string(n++));
      if (point.apply) {
        ASSERT_EQ(RunStart(install, server_.RpcUrl(), kRun).result, 0) << context;
        ASSERT_EQ(Config(install, 3), "4") << context;
      }
      HeldStart first(install, server_.RpcUrl(), point.apply ? 0 : kRun, point.at);
      ASSERT_TRUE(first.WaitHeld()) << context;

      const auto before = Snapshot(install);
      const std::string statusBefore = Config(install, 3);
      const size_t requestsBefore = server_.Requests().size();
      const size_t callsBefore = server_.RpcCalls().size();
      Start check = RunStart(install, server_.RpcUrl(), kCheck);
      EXPECT_EQ(check.result, 0) << context;
      EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"1"}) << context;
      Start run = RunStart(install, server_.RpcUrl(), kRun);
      EXPECT_TRUE(run.exited) << context;
      EXPECT_EQ(run.result, 1) << context;
      EXPECT_TRUE(run.progress.empty()) << context;
      Start start = RunStart(install, server_.RpcUrl(), 0);
      EXPECT_TRUE(start.exited) << context;
      EXPECT_EQ(server_.Requests().size(), requestsBefore) << context << ": the second client asked";
      EXPECT_EQ(server_.RpcCalls().size(), callsBefore) << context << ": the second client asked";
      EXPECT_EQ(Snapshot(install), before) << context << ": the second client changed files";
      EXPECT_EQ(Config(install, 3), statusBefore) << context;

      Start ended = first.Finish(end);
      EXPECT_EQ(ended.killed, end == 'k') << context;
      if (end == 'c' && !point.apply) {
        EXPECT_EQ(ended.result, 0) << context;
      }
      if (end == 's' && point.at.step != 100) {
        EXPECT_EQ(ended.result, 500003) << context;
      }

      // The lock went with the first client, however it ended: the update
      // can be finished and applied.
      Start resumed = RunStart(install, server_.RpcUrl(), kRun);
      EXPECT_TRUE(resumed.exited) << context;
      EXPECT_EQ(resumed.result, 0) << context;
      ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << context;
      ExpectInstalled(install, server_, package_, context);
      EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"}) << context;
    }
  }
}

}  // namespace
