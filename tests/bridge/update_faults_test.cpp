// Faults in every step of the data update, as one table: the update is
// first brought to step 0 to 4 (the process is killed there), then the next
// start meets a fault -- the host stops it, the process is killed, the
// connections drop, the installed-files folder cannot be written -- and
// then the fault is gone. Whatever the fault, the installation keeps
// working, and once the fault is gone the update ends in the same state as
// an uninterrupted one: every file and the database of the package in
// place, the state rows finished, the census queued once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "update_fixture.h"

namespace fs = std::filesystem;
using namespace updatetest;
using qeltest::HttpTestServer;
using qeltest::Installation;

namespace {

enum class Fault { kHostStop, kKilled, kConnectionDrops, kUnwritableTarget };

const char* Name(Fault fault) {
  switch (fault) {
    case Fault::kHostStop:
      return "host stops";
    case Fault::kKilled:
      return "killed";
    case Fault::kConnectionDrops:
      return "connection drops";
    case Fault::kUnwritableTarget:
      return "unwritable target";
  }
  return "?";
}

class UpdateFaultsTest : public PublishedPackageTest {
 protected:
  // Every file of the package (list, resources, database) answers with its
  // headers and then closes the connection halfway, or is served again.
  void DropConnections(bool drop) {
    auto serve = [&](const std::string& path, const std::string& content) {
      qeltest::ServedFile file;
      file.content = content;
      if (drop) file.get = qeltest::FileFault::kDropMidBody;
      server_.AddFile(path, file);
    };
    for (const auto& file : package_.files) serve(package_.prefix + "/res" + file.first, file.second);
    serve(package_.prefix + "/list.qjson", ListText(server_, package_));
    serve(package_.prefix + "/ex.db", package_.db);
  }

  // A folder replaced by a plain file (nothing can be written below it),
  // its contents kept aside; or put back.
  static void Block(const std::string& folder, bool block) {
    const std::string aside = folder + ".aside";
    std::error_code ec;
    if (block) {
      fs::create_directories(fs::path(folder).parent_path());
      if (fs::exists(folder)) fs::rename(folder, aside);
      qeltest::WriteFile(folder, "not a folder");
    } else {
      fs::remove(folder);
      if (fs::exists(aside)) fs::rename(aside, folder);
    }
  }
};

TEST_F(UpdateFaultsTest, EveryFaultAtEveryStepEndsLikeAnUninterruptedUpdate) {
  // Where the first start is killed, the state row 3 it leaves, the first
  // report of the next run (10 starts the file downloads, 70 the database
  // download; a staged update is applied at start-up before any report),
  // and the folder that the step writes into (staged files, the staged
  // database, the installed files).
  const struct {
    int step;
    Interrupt at;
    const char* status;
    int report;
    const char* target;
  } steps[] = {
      {0, {-1, "", "DOWNLOAD OVER!", true}, "0", 10, "/temp/files"},
      {1, {-1, "", "MAP SIZE:", true}, "1", 10, "/temp/files"},
      {2, {-1, "", "EndCurrentFile update:", true}, "2", 10, "/temp/files"},
      {3, {-1, "", "Begin Down:" + server_.Url("/p1/ex.db"), true}, "3", 70, "/temp/data"},
      {4, {100, FinishedText(), "", true}, "4", -1, "/files"},
  };
  const Fault faults[] = {Fault::kHostStop, Fault::kKilled, Fault::kConnectionDrops,
                          Fault::kUnwritableTarget};

  int n = 0;
  for (const auto& step : steps) {
    for (Fault fault : faults) {
      const std::string context = "step " + std::to_string(step.step) + ", " + Name(fault);
      Installation install = OldInstallation("faults-" + std::to_string(n++));

      Start first = RunStart(install, server_.RpcUrl(), kRun, step.at);
      ASSERT_TRUE(first.killed) << context;
      ASSERT_EQ(Config(install, 3), step.status) << context;

      // The start that meets the fault.
      Interrupt interrupt;
      if (fault == Fault::kHostStop || fault == Fault::kKilled) {
        // The apply of a staged update asks the host nothing: the process is
        // killed at its first move instead.
        interrupt.step = step.report;
        interrupt.kill = fault == Fault::kKilled;
        if (step.step == 4 && interrupt.kill) interrupt = Interrupt{-1, "", "LocalPath:", true};
      }
      const std::string target = install.root() + step.target;
      if (fault == Fault::kConnectionDrops) DropConnections(true);
      if (fault == Fault::kUnwritableTarget) Block(target, true);
      Start faulty = RunStart(install, server_.RpcUrl(), kRun, interrupt);
      if (fault == Fault::kConnectionDrops) DropConnections(false);
      if (fault == Fault::kUnwritableTarget) Block(target, false);
      if (fault != Fault::kKilled) {
        EXPECT_TRUE(faulty.exited) << context;
        // A run that met its fault before the download was complete never
        // reports it finished, and never reports success.
        bool finished = false;
        for (const auto& report : faulty.progress) finished |= report.first == 100;
        if (!finished && step.step < 4) {
          EXPECT_NE(faulty.result, 0) << context;
        }
      }

      // The installation works: a start that browses gets its reply.
      Start browse = RunStart(install, server_.RpcUrl(), 0x601);
      EXPECT_TRUE(browse.exited) << context;
      EXPECT_EQ(browse.result, 0) << context << ": " << browse.reply;

      // The fault is gone: one run finishes the update, the next start
      // applies it.
      Start resumed = RunStart(install, server_.RpcUrl(), kRun);
      EXPECT_TRUE(resumed.exited) << context;
      EXPECT_EQ(resumed.result, 0) << context << ": " << resumed.reply;
      ASSERT_TRUE(RunStart(install, server_.RpcUrl(), 0).exited) << context;
      ExpectInstalled(install, server_, package_, context);
      EXPECT_EQ(install.QueryMain("SELECT COUNT(*) FROM BEHAVIOR"), std::vector<std::string>{"1"})
          << context << ": the census is queued once";
      Start check = RunStart(install, server_.RpcUrl(), kCheck);
      EXPECT_EQ(check.result, 0) << context;
      EXPECT_EQ(qeltest::Column(check.reply, "STATUS"), std::vector<std::string>{"0"}) << context;
    }
  }
}

}  // namespace
