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

extern char** environ;

namespace fs = std::filesystem;
using launchertest::FreshFolder;
using launchertest::IsEmptyFolder;
using launchertest::ModeOf;
using launchertest::WriteFileMode;
using qeltest::ReadFile;
using qeltest::WriteFile;

namespace {

const char kFailedToStart[] = " \xE8\xBF\x90\xE8\xA1\x8C\xE5\xA4\xB1\xE8\xB4\xA5";  // " 运行失败"

void CopyProgram(const std::string& from, const std::string& to, mode_t mode) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  ASSERT_EQ(::chmod(to.c_str(), mode), 0) << to;
}

struct RunResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string errors;
};

// Runs `program` with `args` in the working folder `cwd`, its standard error
// kept, and waits for it (not for what it starts).
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd) {
  std::string errorsFile = qeltest::TestDir() + "/pc-stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addopen(&actions, 2, errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  RunResult result;
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program << ": " << rc;
    return result;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.errors = ReadFile(errorsFile);
  return result;
}

// The stand-in's record: working folder, then argv; empty when it never came.
std::vector<std::string> WaitForRecord(const std::string& path) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<std::string> fields;
  std::string text = ReadFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    fields.push_back(text.substr(start, end - start));
  }
  return fields;
}

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

}  // namespace
