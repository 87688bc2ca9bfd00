// Every test process runs in a folder of its own, removed at exit, so that
// files written relative to the working directory never collide.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "testsupport.h"

namespace {
std::string g_testDir;
}

namespace qeltest {
const std::string& TestDir() { return g_testDir; }
}  // namespace qeltest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string pattern = (std::filesystem::temp_directory_path() / "qeltest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 2;
  g_testDir = pattern;
  if (chdir(g_testDir.c_str()) != 0) return 2;
  int rc = RUN_ALL_TESTS();
  if (std::getenv("QEL_KEEP_TEST_DIR") == nullptr) {
    std::error_code ec;
    if (chdir("/") == 0) std::filesystem::remove_all(g_testDir, ec);
  }
  return rc;
}
