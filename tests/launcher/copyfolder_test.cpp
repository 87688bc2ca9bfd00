#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// What the launcher's renames and syncs meet: the launcher's objects are
// linked into this program, so its calls to rename and fsync come to the
// definitions below, which record them and fail or act where a test asks.
struct Hooks {
  bool record = false;
  std::vector<std::string> renamed;  // target names, in order
  std::string failRenameOf;          // a target name whose rename fails
  std::function<void()> onFirstSync;
};
Hooks g_hooks;

// Resets the hooks around a test.
class HookedTest : public testing::Test {
 protected:
  void SetUp() override { g_hooks = Hooks(); }
  void TearDown() override { g_hooks = Hooks(); }
};

// Every path below root whose name has the form of a staged temporary file.
std::vector<std::string> StagedFilesBelow(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename().string().find(".pcnew-") != std::string::npos) found.push_back(entry.path());
  }
  return found;
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  const std::string target = fs::path(to).filename();
  if (g_hooks.record) g_hooks.renamed.push_back(target);
  if (!g_hooks.failRenameOf.empty() && target == g_hooks.failRenameOf) {
    errno = EIO;
    return -1;
  }
  return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

extern "C" int fsync(int fd) {
  if (g_hooks.onFirstSync) {
    std::function<void()> once = std::move(g_hooks.onFirstSync);
    g_hooks.onFirstSync = nullptr;
    once();
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

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
    // A new folder that sorts before the blocked entry is made first.
    WriteFile(install + "/Data/AppUpdate/Addons/sub/n.txt", "copied");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyAppUpdate(install), 0) << c.name;
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find(install + "/" + c.blocked), std::string::npos) << c.name << ": " << messages;
    EXPECT_FALSE(fs::exists(install + "/a_first.txt")) << c.name;
    EXPECT_FALSE(fs::exists(install + "/z_last.txt")) << c.name;
    EXPECT_FALSE(fs::exists(install + "/Addons")) << c.name << ": the folders it made go again";
    EXPECT_EQ(StagedFilesBelow(install), std::vector<std::string>{}) << c.name;
  }
  EXPECT_FALSE(fs::exists(qeltest::TestDir() + "/outside/p.so"))
      << "a link in the installation is not entered";
}

// Run as an unprivileged user (root may write anything): a file and a
// folder that user may not write fail the apply, and both are reported.
TEST(AppUpdate, FilesTheUserMayNotWriteFailTheApply) {
  std::string install = FreshFolder("install");
  WriteFileMode(install + "/Data/locked.dll", "old", 0444);
  fs::create_directories(install + "/shut");
  WriteFile(install + "/Data/AppUpdate/Data/locked.dll", "new");
  WriteFile(install + "/Data/AppUpdate/Data/free.dll", "new");
  WriteFile(install + "/Data/AppUpdate/shut/new.txt", "new");
  launchertest::GiveToUnprivileged(install);
  ASSERT_EQ(::chmod((install + "/shut").c_str(), 0555), 0);
  launchertest::RunResult run =
      launchertest::RunAsUnprivileged([&install] { return ApplyAppUpdate(install); });
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(ReadFile(install + "/Data/locked.dll"), "old");
  EXPECT_FALSE(fs::exists(install + "/Data/free.dll")) << "all or nothing";
  EXPECT_FALSE(fs::exists(install + "/shut/new.txt"));
  EXPECT_NE(run.errors.find(install + "/Data/locked.dll"), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find(install + "/shut/new.txt"), std::string::npos) << run.errors;
  EXPECT_EQ(StagedFilesBelow(install), std::vector<std::string>{});
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

// Version 1 installed, a release of version 2 in the update folder that
// replaces a file, adds two, one in a new folder.
std::string InstallationWithARelease() {
  std::string install = FreshFolder("install");
  std::string update = install + "/Data/AppUpdate";
  WriteFile(install + "/Data/ver.qel", "V1");
  WriteFile(install + "/Data/a.dll", "old a");
  WriteFile(update + "/Data/a.dll", "new a");
  WriteFile(update + "/Data/b.dll", "new b");
  WriteFile(update + "/Data/ver.qel", "V2");
  WriteFile(update + "/sub/new/c.txt", "new c");
  return install;
}

// The renames come once every file is written, "ver.qel" last. One that
// fails stops the commit: the version file stays old unless it was reached,
// no temporary file stays, the update is kept and the failure reported.
TEST_F(HookedTest, ARenameThatFailsStopsTheCommitBeforeTheVersion) {
  struct Case {
    const char* failAt;  // "" for none
    std::vector<std::string> renamed;
  };
  const Case cases[] = {
      {"", {"a.dll", "b.dll", "c.txt", "ver.qel"}},
      {"a.dll", {"a.dll"}},
      {"c.txt", {"a.dll", "b.dll", "c.txt"}},
      {"ver.qel", {"a.dll", "b.dll", "c.txt", "ver.qel"}},
  };
  for (const Case& c : cases) {
    std::string install = InstallationWithARelease();
    std::string update = install + "/Data/AppUpdate";
    g_hooks.record = true;
    g_hooks.renamed.clear();
    g_hooks.failRenameOf = c.failAt;
    testing::internal::CaptureStderr();
    const int applied = ApplyAppUpdate(install);
    std::string messages = testing::internal::GetCapturedStderr();
    g_hooks.record = false;
    g_hooks.failRenameOf.clear();
    const bool failed = c.failAt[0] != '\0';
    EXPECT_EQ(applied, failed ? 0 : 1) << c.failAt << ": " << messages;
    EXPECT_EQ(g_hooks.renamed, c.renamed) << c.failAt;
    EXPECT_EQ(ReadFile(install + "/Data/ver.qel"), failed ? "V1" : "V2") << c.failAt;
    EXPECT_EQ(StagedFilesBelow(install), std::vector<std::string>{}) << c.failAt;
    EXPECT_EQ(ReadFile(update + "/Data/ver.qel"), "V2") << c.failAt << ": the update is kept";
    if (failed) {
      EXPECT_NE(messages.find(std::string("/") + c.failAt), std::string::npos) << messages;
      EXPECT_NE(messages.find("kept for the next start"), std::string::npos) << messages;
    }
  }
}

// A host that starts a new release while the files are being written marks
// the folder: nothing of the copy goes in, and the folder stays.
TEST_F(HookedTest, TheMarkerAppearingWhileTheFilesAreWrittenKeepsEverythingOut) {
  std::string install = InstallationWithARelease();
  std::string update = install + "/Data/AppUpdate";
  launchertest::Tree before = launchertest::Snapshot(install, "Data/AppUpdate");
  g_hooks.onFirstSync = [&update] { WriteFile(update + "/" + qel::launcher::kIncompleteUpdateMarker, ""); };
  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 0);
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(g_hooks.onFirstSync == nullptr) << "the copy wrote no file";
  EXPECT_EQ(launchertest::Snapshot(install, "Data/AppUpdate"), before) << messages;
  EXPECT_EQ(ClearAppUpdate(install), 0);
  EXPECT_EQ(ReadFile(update + "/sub/new/c.txt"), "new c");
}

// Whatever lies at the marker's name -- the marker, a link to a file, a
// link to nothing, a folder -- marks a release still being downloaded:
// neither applied nor cleared, and said so.
TEST(AppUpdate, AnythingAtTheMarkersNameLeavesTheFolderAlone) {
  struct Case {
    const char* name;
    void (*place)(const std::string& marker, const std::string& outside);
  };
  const Case cases[] = {
      {"marker", [](const std::string& marker, const std::string&) { WriteFile(marker, ""); }},
      {"link to a file",
       [](const std::string& marker, const std::string& outside) { fs::create_symlink(outside, marker); }},
      {"link to nothing", [](const std::string& marker,
                             const std::string& outside) { fs::create_symlink(outside + ".none", marker); }},
      {"folder", [](const std::string& marker, const std::string&) { fs::create_directories(marker); }},
  };
  std::string outside = FreshFolder("outside") + "/file";
  WriteFile(outside, "outside");
  for (const Case& c : cases) {
    std::string install = FreshFolder("install");
    std::string update = install + "/Data/AppUpdate";
    WriteFile(install + "/Data/x.dll", "old");
    WriteFile(update + "/Data/x.dll", "new");
    c.place(update + "/" + qel::launcher::kIncompleteUpdateMarker, outside);
    launchertest::Tree before = launchertest::Snapshot(install);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ApplyAppUpdate(install), 0) << c.name;
    EXPECT_EQ(ClearAppUpdate(install), 0) << c.name;
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("update not complete yet, left for a later start: \"" + update + "\""),
              std::string::npos)
        << c.name << ": " << messages;
    EXPECT_EQ(launchertest::Snapshot(install), before) << c.name;
    EXPECT_EQ(ReadFile(outside), "outside") << c.name;
  }
}

// A copy killed before its renames leaves its temporary files beside their
// targets; the next copy removes those in every folder it writes to, and
// nothing else: not a link or a folder of that form, not a name of another
// form, not what a link points to.
TEST(AppUpdate, TheTemporaryFilesOfAKilledCopyGo) {
  std::string outside = FreshFolder("outside");
  WriteFile(outside + "/.kept.pcnew-AAAAAA", "outside");
  std::string install = FreshFolder("install");
  std::string update = install + "/Data/AppUpdate";
  WriteFile(update + "/Data/x.dll", "new x");
  WriteFile(update + "/plugins/p.so", "new p");
  WriteFile(update + "/top.txt", "new top");
  const std::vector<std::string> leftovers = {"/Data/.x.dll.pcnew-a1B2c3", "/Data/.y.dll.pcnew-ZZZZZZ",
                                              "/plugins/.p.so.pcnew-000000", "/.top.txt.pcnew-q9Q9q9"};
  for (const std::string& file : leftovers) WriteFile(install + file, "half");
  WriteFile(install + "/Data/.x.dll.pcnew-abc", "another form");
  WriteFile(install + "/Data/x.dll.pcnew-abcdef", "another form");
  WriteFile(install + "/Data/.x.dll.pcnew-abc-ef", "another form");
  fs::create_directories(install + "/Data/.dir.pcnew-abcdef");
  fs::create_symlink(outside + "/.kept.pcnew-AAAAAA", install + "/Data/.link.pcnew-abcdef");
  WriteFile(install + "/untouched/.u.pcnew-abcdef", "in no folder the update writes to");
  launchertest::Tree expected = launchertest::Snapshot(install, "Data/AppUpdate");
  for (const std::string& file : leftovers) expected.erase(file.substr(1));
  expected["Data/x.dll"] = launchertest::FileEntry("new x");
  expected["plugins/p.so"] = launchertest::FileEntry("new p");
  expected["top.txt"] = launchertest::FileEntry("new top");

  testing::internal::CaptureStderr();
  EXPECT_EQ(ApplyAppUpdate(install), 1);
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(launchertest::Snapshot(install, "Data/AppUpdate"), expected) << messages;
  EXPECT_EQ(ReadFile(outside + "/.kept.pcnew-AAAAAA"), "outside");
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
