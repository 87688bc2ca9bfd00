#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "launchertest.h"
#include "pclauncher.h"
#include "testsupport.h"

namespace fs = std::filesystem;
using launchertest::FreshFolder;
using launchertest::IsEmptyFolder;
using launchertest::IsLink;
using launchertest::ModeOf;
using launchertest::WriteFileMode;
using qel::launcher::ApplyAppUpdate;
using qel::launcher::ClearAppUpdate;
using qeltest::ReadFile;
using qeltest::WriteFile;

namespace {

TEST(AppUpdate, ReplacesFilesCreatesFoldersThenEmptiesTheUpdate) {
  std::string install = FreshFolder("install");
  std::string update = install + "/Data/AppUpdate";
  WriteFileMode(install + "/Data/x.dll", "old x", 0755);
  WriteFileMode(install + "/Data/ui.cfg", "kept", 0600);
  WriteFileMode(install + "/readme.txt", "old readme", 0640);
  fs::create_directories(install + "/Data/skins");

  WriteFileMode(update + "/Data/x.dll", "new x", 0644);
  WriteFileMode(update + "/readme.txt", "new readme", 0600);
  WriteFileMode(update + "/plugins/sub/new.so", "new plugin", 0750);
  WriteFileMode(update + "/Data/skins/\xE8\xB5\x84\xE6\x96\x99.png", "skin", 0644);
  fs::create_directories(update + "/empty");

  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  EXPECT_EQ(ReadFile(install + "/Data/x.dll"), "new x");
  EXPECT_EQ(ModeOf(install + "/Data/x.dll"), 0755) << "a replaced file keeps the bits of the old one";
  EXPECT_EQ(ReadFile(install + "/readme.txt"), "new readme");
  EXPECT_EQ(ModeOf(install + "/readme.txt"), 0640);
  EXPECT_EQ(ReadFile(install + "/plugins/sub/new.so"), "new plugin");
  EXPECT_EQ(ModeOf(install + "/plugins/sub/new.so"), 0750) << "a new file keeps its own bits";
  EXPECT_EQ(ReadFile(install + "/Data/skins/\xE8\xB5\x84\xE6\x96\x99.png"), "skin");
  EXPECT_TRUE(IsEmptyFolder(install + "/empty"));
  EXPECT_EQ(ReadFile(install + "/Data/ui.cfg"), "kept") << "nothing in the installation is deleted";
  // No temporary file is left beside a replaced one.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(install + "/Data"))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"AppUpdate", "skins", "ui.cfg", "x.dll"}));

  EXPECT_EQ(ClearAppUpdate(install), 1);
  EXPECT_TRUE(IsEmptyFolder(update)) << "the update folder stays, empty";
  EXPECT_EQ(ReadFile(install + "/Data/x.dll"), "new x");
}

TEST(AppUpdate, NoUpdateFolderDoesNothing) {
  std::string install = FreshFolder("install");
  WriteFile(install + "/Data/x.dll", "x");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 0);
  EXPECT_EQ(ClearAppUpdate(install), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(fs::exists(install + "/Data/AppUpdate"));
  EXPECT_EQ(ReadFile(install + "/Data/x.dll"), "x");
}

// An entry that cannot be copied fails the whole apply (so the update is kept
// for the next start) and is reported; the other entries are not installed
// either, since an update goes in whole or not at all.
TEST(AppUpdate, AnEntryThatCannotBeCopiedFailsTheApply) {
  struct Case {
    const char* name;
    void (*arrange)(const std::string& install);
    const char* blocked;  // the destination that must stay as it was
  };
  const Case cases[] = {
      {"file over a folder",
       [](const std::string& install) {
         fs::create_directories(install + "/Data/x.dll");
         WriteFile(install + "/Data/AppUpdate/Data/x.dll", "new");
       },
       "Data/x.dll"},
      {"folder over a file",
       [](const std::string& install) {
         WriteFile(install + "/plugins", "a file");
         WriteFile(install + "/Data/AppUpdate/plugins/p.so", "new");
       },
       "plugins"},
      {"folder over a link to a folder",
       [](const std::string& install) {
         std::string outside = FreshFolder("outside");
         fs::create_directory_symlink(outside, install + "/plugins");
         WriteFile(install + "/Data/AppUpdate/plugins/p.so", "new");
       },
       "plugins"},
  };
  for (const Case& c : cases) {
    std::string install = FreshFolder("install");
    c.arrange(install);
    WriteFile(install + "/Data/AppUpdate/z_last.txt", "copied");
    WriteFile(install + "/Data/AppUpdate/a_first.txt", "copied");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyAppUpdate(install), 0) << c.name;
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find(install + "/" + c.blocked), std::string::npos) << c.name << ": " << messages;
    EXPECT_FALSE(fs::exists(install + "/a_first.txt")) << c.name;
    EXPECT_FALSE(fs::exists(install + "/z_last.txt")) << c.name;
  }
  EXPECT_FALSE(fs::exists(qeltest::TestDir() + "/outside/p.so"))
      << "a link in the installation is not entered";
}

TEST(AppUpdate, FilesTheUserMayNotWriteFailTheApply) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes any file";
  std::string install = FreshFolder("install");
  WriteFileMode(install + "/Data/locked.dll", "old", 0444);
  fs::create_directories(install + "/shut");
  WriteFile(install + "/Data/AppUpdate/Data/locked.dll", "new");
  WriteFile(install + "/Data/AppUpdate/shut/new.txt", "new");
  ASSERT_EQ(::chmod((install + "/shut").c_str(), 0555), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 0);
  std::string messages = testing::internal::GetCapturedStderr();
  ::chmod((install + "/shut").c_str(), 0755);
  EXPECT_EQ(ReadFile(install + "/Data/locked.dll"), "old");
  EXPECT_FALSE(fs::exists(install + "/shut/new.txt"));
  EXPECT_NE(messages.find("locked.dll"), std::string::npos) << messages;
  EXPECT_NE(messages.find("new.txt"), std::string::npos) << messages;
}

TEST(AppUpdate, NeverFollowsLinks) {
  std::string outside = FreshFolder("outside");
  WriteFile(outside + "/secret.txt", "outside file");
  WriteFile(outside + "/target.so", "outside target");
  WriteFile(outside + "/dir/inner.txt", "outside inner");
  std::string install = FreshFolder("install");
  std::string update = install + "/Data/AppUpdate";
  // Links inside the update folder: skipped, never copied or deleted through.
  fs::create_directories(update + "/Data");
  fs::create_symlink(outside + "/secret.txt", update + "/Data/secret.txt");
  fs::create_directory_symlink(outside + "/dir", update + "/linked");
  // A link in the installation is replaced, not written through.
  fs::create_symlink(outside + "/target.so", install + "/Data/lib.so");
  WriteFileMode(update + "/Data/lib.so", "new lib", 0644);

  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 1) << "skipped links do not fail the apply";
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find(update + "/Data/secret.txt"), std::string::npos) << messages;
  EXPECT_NE(messages.find(update + "/linked"), std::string::npos) << messages;
  EXPECT_FALSE(fs::exists(fs::symlink_status(install + "/Data/secret.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(install + "/linked")));
  EXPECT_FALSE(IsLink(install + "/Data/lib.so"));
  EXPECT_EQ(ReadFile(install + "/Data/lib.so"), "new lib");
  EXPECT_EQ(ReadFile(outside + "/target.so"), "outside target");

  EXPECT_EQ(ClearAppUpdate(install), 1);
  EXPECT_TRUE(IsEmptyFolder(update));
  EXPECT_EQ(ReadFile(outside + "/secret.txt"), "outside file");
  EXPECT_EQ(ReadFile(outside + "/dir/inner.txt"), "outside inner");
}

TEST(AppUpdate, UpdateFolderThatIsALinkIsNeitherAppliedNorCleared) {
  std::string outside = FreshFolder("outside");
  WriteFile(outside + "/x.dll", "outside");
  std::string install = FreshFolder("install");
  fs::create_directories(install + "/Data");
  fs::create_directory_symlink(outside, install + "/Data/AppUpdate");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 0);
  EXPECT_EQ(ClearAppUpdate(install), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(fs::exists(install + "/x.dll"));
  EXPECT_EQ(ReadFile(outside + "/x.dll"), "outside");
}

TEST(AppUpdate, AnUpdateHoldingItsOwnFolderDoesNotCopyIntoItself) {
  std::string install = FreshFolder("install");
  std::string update = install + "/Data/AppUpdate";
  WriteFile(update + "/Data/AppUpdate/Data/AppUpdate/deep.txt", "deep");
  WriteFile(update + "/Data/new.txt", "new");
  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile(install + "/Data/new.txt"), "new");
  EXPECT_FALSE(fs::exists(update + "/new.txt"));
  EXPECT_FALSE(fs::exists(update + "/Data/AppUpdate/Data/new.txt"));
}

TEST(CopyFolder, RefusesEmptyEqualAndMissingPaths) {
  std::string root = FreshFolder("copy");
  WriteFile(root + "/src/a.txt", "a");
  struct Case {
    std::string destination, source;
  };
  const Case cases[] = {{"", root + "/src"},
                        {root + "/dst", ""},
                        {root + "/src", root + "/src"},
                        {root + "/dst", root + "/none"}};
  for (const Case& c : cases) {
    EXPECT_EQ(qel::launcher::CopyFolder(c.destination, c.source), 0)
        << "destination: " << c.destination << " source: " << c.source;
  }
  EXPECT_FALSE(fs::exists(root + "/dst"));
  // A single file as the source is copied as a file.
  EXPECT_EQ(qel::launcher::CopyFolder(root + "/one.txt", root + "/src/a.txt"), 1);
  EXPECT_EQ(ReadFile(root + "/one.txt"), "a");
}

TEST(MainProgramPath, BuildsDataPathOrNamesTheFault) {
  using qel::launcher::kPathLimit;
  using qel::launcher::ProgramPathResult;
  struct Case {
    std::string executable;
    ProgramPathResult result;
    std::string program;
  };
  const Case cases[] = {
      {"/opt/app/pc", ProgramPathResult::kOk, "/opt/app/Data/pc"},
      {"/opt/app/y", ProgramPathResult::kOk, "/opt/app/Data/y"},
      {"/opt/my app/\xE5\xAE\xA2\xE6\x88\xB7", ProgramPathResult::kOk,
       "/opt/my app/Data/\xE5\xAE\xA2\xE6\x88\xB7"},
      {"/pc", ProgramPathResult::kOk, "/Data/pc"},
      {"", ProgramPathResult::kInvalidPath, ""},
      {"pc", ProgramPathResult::kInvalidPath, ""},
      {"/" + std::string(kPathLimit, 'p'), ProgramPathResult::kInvalidPath, ""},
      // "/" + folder + "/Data" + "/pc" with its terminating zero just over, and just within, the limit.
      {"/" + std::string(kPathLimit - 9, 'f') + "/pc", ProgramPathResult::kInvalidPathLength, ""},
      {"/" + std::string(kPathLimit - 10, 'f') + "/pc", ProgramPathResult::kOk,
       "/" + std::string(kPathLimit - 10, 'f') + "/Data/pc"},
  };
  for (const Case& c : cases) {
    std::string program = "stale";
    EXPECT_EQ(qel::launcher::MainProgramPath(c.executable, &program), c.result) << c.executable.substr(0, 40);
    EXPECT_EQ(program, c.program) << c.executable.substr(0, 40);
  }
}

}  // namespace
