// The pc program itself, started in temporary installation trees whose
// user-interface program is a stand-in that records how it was started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "launchertest.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using launchertest::CopyProgram;
using launchertest::FreshFolder;
using launchertest::IsEmptyFolder;
using launchertest::ModeOf;
using launchertest::RunProgram;
using launchertest::RunResult;
using launchertest::WaitForRecord;
using launchertest::WriteFileMode;
using qeltest::ReadFile;
using qeltest::WriteFile;

namespace {

const char kMarker[] = "qelupdate.incomplete";
const char kFailedToStart[] = " \xE8\xBF\x90\xE8\xA1\x8C\xE5\xA4\xB1\xE8\xB4\xA5";  // " 运行失败"

class PcTest : public testing::Test {
 protected:
  void SetUp() override {
    record_ = qeltest::TestDir() + "/record";
    fs::remove(record_);
    ASSERT_EQ(setenv("QEL_RECORD_FILE", record_.c_str(), 1), 0);
    work_ = FreshFolder("work");
  }

  // An installation with the launcher as `name` and the stand-in as Data/`name`.
  std::string Install(const std::string& name = "pc") {
    std::string install = FreshFolder("install-" + name);
    CopyProgram(QEL_PC_PROGRAM, install + "/" + name, 0755);
    CopyProgram(QEL_RECORDER_PROGRAM, install + "/Data/" + name, 0755);
    return install;
  }

  std::string record_;
  std::string work_;
};

TEST_F(PcTest, AppliesTheUpdateAndStartsTheProgramWithItsArguments) {
  const std::vector<std::string> args = {
      "two words",   "say \"hi\" 'there'", "", "\xE4\xB8\xAD\xE6\x96\x87 \xFF\xFE\x81\x40", "line\nbreak",
      "back\\slash", "--flag=$HOME;*"};
  for (const std::string name : {"pc", "y"}) {
    fs::remove(record_);
    std::string install = Install(name);
    WriteFileMode(install + "/Data/x.dll", "old", 0755);
    WriteFileMode(install + "/Data/AppUpdate/Data/x.dll", "new", 0644);
    WriteFile(install + "/Data/AppUpdate/plugins/new.so", "plugin");

    RunResult run = RunProgram(install + "/" + name, args, work_);
    EXPECT_EQ(run.status, 0) << name << ": " << run.errors;
    EXPECT_EQ(run.errors, "") << name;
    EXPECT_EQ(ReadFile(install + "/Data/x.dll"), "new") << name;
    EXPECT_EQ(ModeOf(install + "/Data/x.dll"), 0755) << name;
    EXPECT_EQ(ReadFile(install + "/plugins/new.so"), "plugin") << name;
    EXPECT_TRUE(IsEmptyFolder(install + "/Data/AppUpdate")) << name;

    std::vector<std::string> expected = {work_, install + "/Data/" + name};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(WaitForRecord(record_), expected) << name;
  }
}

TEST_F(PcTest, WithoutAnUpdateOnlyStartsTheProgram) {
  std::string install = Install();
  RunResult run = RunProgram(install + "/pc", {}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc"}));
  EXPECT_FALSE(fs::exists(install + "/Data/AppUpdate"));
}

TEST_F(PcTest, AFailedCopyKeepsTheUpdateAndStillStarts) {
  std::string install = Install();
  fs::create_directories(install + "/Data/x.dll");  // a folder where the update has a file
  WriteFile(install + "/Data/AppUpdate/Data/x.dll", "new");
  WriteFile(install + "/Data/AppUpdate/Data/y.dll", "new y");

  RunResult run = RunProgram(install + "/pc", {"a"}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find(install + "/Data/x.dll"), std::string::npos) << run.errors;
  EXPECT_FALSE(fs::exists(install + "/Data/y.dll")) << "all or nothing";
  EXPECT_EQ(ReadFile(install + "/Data/AppUpdate/Data/x.dll"), "new") << "kept for the next start";
  EXPECT_EQ(ReadFile(install + "/Data/AppUpdate/Data/y.dll"), "new y");
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc", "a"}));
}

TEST_F(PcTest, AnUpdatedProgramStaysExecutable) {
  std::string install = FreshFolder("install");
  CopyProgram(QEL_PC_PROGRAM, install + "/pc", 0755);
  WriteFileMode(install + "/Data/pc", "#!/bin/sh\nexit 0\n", 0755);
  // The downloaded program arrives without execute bits.
  CopyProgram(QEL_RECORDER_PROGRAM, install + "/Data/AppUpdate/Data/pc", 0644);

  RunResult run = RunProgram(install + "/pc", {"updated"}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(ModeOf(install + "/Data/pc"), 0755);
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc", "updated"}));
}

// The update replaces the running launcher; its own path must still name the
// installation it started from, not the file that was replaced.
TEST_F(PcTest, AnUpdateOfTheLauncherItselfStillStartsTheProgram) {
  std::string install = Install();
  CopyProgram(QEL_PC_PROGRAM, install + "/Data/AppUpdate/pc", 0755);
  WriteFile(install + "/Data/AppUpdate/Data/x.dll", "new");

  RunResult run = RunProgram(install + "/pc", {"a"}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(ReadFile(install + "/Data/x.dll"), "new");
  EXPECT_TRUE(IsEmptyFolder(install + "/Data/AppUpdate"));
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc", "a"}));
}

TEST_F(PcTest, AProgramThatCannotStartIsReported) {
  struct Case {
    const char* name;
    void (*arrange)(const std::string& install);
  };
  const Case cases[] = {
      {"missing", [](const std::string&) {}},
      {"not executable",
       [](const std::string& install) { WriteFileMode(install + "/Data/pc", "#!/bin/sh\nexit 0\n", 0644); }},
  };
  for (const Case& c : cases) {
    std::string install = FreshFolder("install");
    CopyProgram(QEL_PC_PROGRAM, install + "/pc", 0755);
    c.arrange(install);
    RunResult run = RunProgram(install + "/pc", {}, work_);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_NE(run.errors.find(install + "/Data/pc" + kFailedToStart), std::string::npos)
        << c.name << ": " << run.errors;
  }
}

// A release the client core is still downloading: nothing of it goes in,
// the folder stays as it is, and the program starts.
TEST_F(PcTest, AMarkedUpdateIsLeftAloneAndTheProgramStarts) {
  std::string install = Install();
  WriteFile(install + "/Data/x.dll", "old");
  WriteFile(install + "/Data/AppUpdate/Data/x.dll", "new");
  WriteFile(install + "/Data/AppUpdate/Data/ver.qel", "V2.0.0.0");
  WriteFile(install + "/Data/AppUpdate/Data/big.dat.qeltmp77-0", "half");
  WriteFile(install + std::string("/Data/AppUpdate/") + kMarker, "");
  launchertest::Tree before = launchertest::Snapshot(install);

  RunResult run = RunProgram(install + "/pc", {"a"}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(
      run.errors.find("update not complete yet, left for a later start: \"" + install + "/Data/AppUpdate\""),
      std::string::npos)
      << run.errors;
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc", "a"}));
  EXPECT_EQ(launchertest::Snapshot(install), before);
}

// The files a download writes while it runs, and the marker below the top,
// are never installed; the rest of an unmarked folder is.
TEST_F(PcTest, DownloadLeftoversAreNeverInstalled) {
  std::string install = Install();
  std::string update = install + "/Data/AppUpdate";
  WriteFile(update + "/Data/real.txt", "real");
  WriteFile(update + "/Data/big.dat.qeltmp1234-0", "half of big");
  WriteFile(update + "/Data/x.dll.qeltmpnew", "a replacement not yet moved");
  WriteFile(update + "/Data/y.dll.qeldld", "partial");
  WriteFile(update + "/Data/y.dll.qeldld.ifrange", "\"etag\"");
  WriteFile(update + "/sub/" + kMarker, "");
  launchertest::Tree expected = launchertest::Snapshot(install, "Data/AppUpdate");
  expected["Data/real.txt"] = launchertest::FileEntry("real");
  expected["sub"] = "<folder>";

  RunResult run = RunProgram(install + "/pc", {}, work_);
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(launchertest::Snapshot(install, "Data/AppUpdate"), expected) << run.errors;
  EXPECT_TRUE(IsEmptyFolder(update));
  EXPECT_EQ(WaitForRecord(record_), (std::vector<std::string>{work_, install + "/Data/pc"}));
}

// One file that cannot be placed keeps every other file, folder and the new
// version out; no temporary file stays behind, the update stays for the
// next start, the failure is reported and the program starts.
TEST_F(PcTest, AnUpdateThatCannotBePlacedLeavesTheInstallationAsItWas) {
  struct Case {
    const char* name;
    void (*arrange)(const std::string& install);
    const char* blocked;
    bool asUser;  // run as an unprivileged user: root may write anything
  };
  const Case cases[] = {
      {"a folder of its name exists",
       [](const std::string& install) {
         fs::create_directories(install + "/Data/x.dll");
         WriteFile(install + "/Data/AppUpdate/Data/x.dll", "new x");
       },
       "Data/x.dll", false},
      {"a folder it needs is a file",
       [](const std::string& install) {
         WriteFile(install + "/plugins", "a file");
         WriteFile(install + "/Data/AppUpdate/plugins/p.so", "new p");
       },
       "plugins", false},
      {"a file the user may not write",
       [](const std::string& install) {
         WriteFileMode(install + "/Data/locked.dll", "old locked", 0444);
         WriteFile(install + "/Data/AppUpdate/Data/locked.dll", "new locked");
       },
       "Data/locked.dll", true},
  };
  for (const Case& c : cases) {
    fs::remove(record_);
    std::string install = Install();
    WriteFile(install + "/Data/ver.qel", "V1.0.0.0");
    WriteFile(install + "/Data/a.dll", "old a");
    WriteFile(install + "/Data/AppUpdate/Data/ver.qel", "V2.0.0.0");
    WriteFile(install + "/Data/AppUpdate/Data/a.dll", "new a");
    WriteFile(install + "/Data/AppUpdate/zz/new/n.txt", "new n");
    c.arrange(install);
    std::string record = record_;
    if (c.asUser) {
      // The launcher and the program run as that user, who owns the
      // installation and the working folder, where the record goes.
      record = work_ + "/record";
      fs::remove(record);
      ASSERT_EQ(setenv("QEL_RECORD_FILE", record.c_str(), 1), 0);
      launchertest::GiveToUnprivileged(install);
      launchertest::GiveToUnprivileged(work_);
    }
    launchertest::Tree before = launchertest::Snapshot(install);

    RunResult run = RunProgram(install + "/pc", {"b"}, work_, c.asUser);
    ASSERT_EQ(setenv("QEL_RECORD_FILE", record_.c_str(), 1), 0);
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.errors;
    EXPECT_NE(run.errors.find(install + "/" + c.blocked), std::string::npos) << c.name << ": " << run.errors;
    EXPECT_EQ(launchertest::Snapshot(install), before) << c.name;
    EXPECT_EQ(WaitForRecord(record), (std::vector<std::string>{work_, install + "/Data/pc", "b"})) << c.name;
  }
}

}  // namespace
