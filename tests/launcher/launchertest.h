// Small file helpers for the launcher tests: installation trees with files of
// given content and mode.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "testsupport.h"

namespace launchertest {

inline void WriteFileMode(const std::string& path, const std::string& content, mode_t mode) {
  qeltest::WriteFile(path, content);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// Permission bits, or -1 when missing. Never follows a link.
inline int ModeOf(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 0777);
}

inline bool IsLink(const std::string& path) {
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path));
}

inline bool IsEmptyFolder(const std::string& path) {
  return std::filesystem::is_directory(std::filesystem::symlink_status(path)) &&
         std::filesystem::is_empty(path);
}

// A fresh folder below the test's temporary folder.
inline std::string FreshFolder(const std::string& name) {
  std::string path = qeltest::TestDir() + "/" + name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

}  // namespace launchertest
