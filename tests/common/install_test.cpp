// Putting a file in place: write beside, check, rename; the source last.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "qel/text.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
  std::string dir = qeltest::TestDir() + "/install";
  Folder() { fs::create_directories(dir); }
  std::string At(const std::string& name) const { return dir + "/" + name; }
  // Only the names the test made: no temporary file may stay behind.
  size_t Entries() const {
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it) ++n;
    return n;
  }
};

TEST(InstallFile, CopyOrMoveReplacesTheTargetWhole) {
  for (bool removeSource : {false, true}) {
    Folder folder;
    qeltest::WriteFile(folder.At("new.bin"), std::string("fresh\0bytes", 11));
    qeltest::WriteFile(folder.At("target.bin"), "an older and longer content");
    EXPECT_EQ(qel::InstallFile(folder.At("new.bin"), folder.At("target.bin"), removeSource), 0)
        << removeSource;
    EXPECT_EQ(qeltest::ReadFile(folder.At("target.bin")), std::string("fresh\0bytes", 11)) << removeSource;
    EXPECT_EQ(fs::exists(folder.At("new.bin")), !removeSource) << removeSource;
    EXPECT_EQ(folder.Entries(), removeSource ? 1u : 2u) << removeSource;
    fs::remove_all(folder.dir);
  }
}

TEST(InstallFile, AFailedInstallKeepsTargetAndSource) {
  Folder folder;
  qeltest::WriteFile(folder.At("new.bin"), "fresh");
  // A folder in the target's place cannot be replaced by a file.
  fs::create_directories(folder.At("target"));
  qeltest::WriteFile(folder.At("target/keep"), "kept");
  EXPECT_EQ(qel::InstallFile(folder.At("new.bin"), folder.At("target"), true), 9);
  EXPECT_EQ(qeltest::ReadFile(folder.At("new.bin")), "fresh")
      << "the source goes only after a complete install";
  EXPECT_EQ(qeltest::ReadFile(folder.At("target/keep")), "kept");
  EXPECT_EQ(folder.Entries(), 2u) << "no temporary file stays behind";

  EXPECT_EQ(qel::InstallFile(folder.At("missing"), folder.At("x"), true), 2);
  EXPECT_EQ(qel::InstallFile(folder.At("new.bin"), folder.At("new.bin"), true), 2);
  EXPECT_EQ(qeltest::ReadFile(folder.At("new.bin")), "fresh");
}

// A link planted at the temporary name beside the target is never written
// through: the copy fails and what the link names stays as it was.
TEST(InstallFile, NeverWritesThroughALinkAtTheTemporaryName) {
  Folder folder;
  const std::string outside = qeltest::TestDir() + "/victim";
  qeltest::WriteFile(outside, "keep");
  qeltest::WriteFile(folder.At("new.bin"), "fresh");
  fs::create_symlink(outside, folder.At("target.bin.qeltmp"));
  EXPECT_EQ(qel::InstallFile(folder.At("new.bin"), folder.At("target.bin"), false), 9);
  EXPECT_EQ(qeltest::ReadFile(outside), "keep");
  EXPECT_FALSE(fs::exists(folder.At("target.bin")));
}

}  // namespace
