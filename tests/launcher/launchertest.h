// Small file helpers for the launcher tests: installation trees with files of
// given content and mode, their snapshots, and runs of the pc program.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testsupport.h"

extern char** environ;

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

// Every entry below root by its relative path: a file's mode and bytes, a
// folder as "<folder>", a link as "<link>" and its target. Entries below
// `skip` (relative, "" for none) are left out.
using Tree = std::map<std::string, std::string>;

inline Tree Snapshot(const std::string& root, const std::string& skip = "") {
  namespace fs = std::filesystem;
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    std::string relative = fs::relative(it->path(), root).string();
    if (!skip.empty() && (relative == skip || relative.rfind(skip + "/", 0) == 0)) {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink()) {
      tree[relative] = "<link>" + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[relative] = "<folder>";
    } else {
      tree[relative] =
          std::to_string(ModeOf(it->path().string())) + ":" + qeltest::ReadFile(it->path().string());
    }
  }
  return tree;
}

// The snapshot entry of a file with these bytes and mode.
inline std::string FileEntry(const std::string& content, int mode = 0644) {
  return std::to_string(mode) + ":" + content;
}

inline void CopyProgram(const std::string& from, const std::string& to, mode_t mode) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(::chmod(to.c_str(), mode), 0) << to;
}

struct RunResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string errors;
};

// The user the rows about a user's rights run as: root may write anything,
// and the tests run as root in CI.
constexpr uid_t kUnprivilegedId = 65534;

// Makes the test's folder reachable for that user and gives `root`, with
// everything below it (links themselves, never their targets), to the user.
inline void GiveToUnprivileged(const std::string& root) {
  namespace fs = std::filesystem;
  ASSERT_EQ(::chmod(qeltest::TestDir().c_str(), 0755), 0);
  ASSERT_EQ(::lchown(root.c_str(), kUnprivilegedId, kUnprivilegedId), 0) << root;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    ASSERT_EQ(::lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId), 0) << it->path();
  }
}

// In a forked child: standard error to `errorsFile`, the working folder,
// then (when asked) that user's ids alone. False when any step failed.
inline bool PrepareChild(const std::string& errorsFile, const std::string& cwd, bool unprivileged) {
  int fd = ::open(errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::dup2(fd, 2) < 0) return false;
  if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) return false;
  if (!unprivileged) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedId) == 0 && ::setuid(kUnprivilegedId) == 0 &&
         ::geteuid() == kUnprivilegedId;
}

inline int WaitForExit(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `body` in a forked child as the unprivileged user, in `cwd` (when
// given), its standard error kept in `errorsFile`; its result (0-125) is the
// status, 126 when the ids could not be dropped.
inline RunResult RunAsUnprivileged(const std::function<int()>& body, const std::string& cwd = "",
                                   const std::string& errorsFile = qeltest::TestDir() + "/child-stderr.txt") {
  RunResult result;
  pid_t pid = fork();
  if (pid == 0) _exit(PrepareChild(errorsFile, cwd, true) ? body() : 126);
  if (pid < 0) {
    ADD_FAILURE() << "fork";
    return result;
  }
  result.status = WaitForExit(pid);
  result.errors = qeltest::ReadFile(errorsFile);
  return result;
}

// Runs `program` with `args` in the working folder `cwd`, its standard error
// kept, and waits for it (not for what it starts); `unprivileged` runs it
// as kUnprivilegedId (status 126 when that failed).
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& cwd, bool unprivileged = false) {
  std::string errorsFile = qeltest::TestDir() + "/pc-stderr.txt";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (unprivileged) {
    return RunAsUnprivileged(
        [&] {
          ::execve(program.c_str(), argv.data(), environ);
          return 126;
        },
        cwd, errorsFile);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  posix_spawn_file_actions_addopen(&actions, 2, errorsFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
  result.errors = qeltest::ReadFile(errorsFile);
  return result;
}

// The stand-in's record: working folder, then argv; empty when it never came.
inline std::vector<std::string> WaitForRecord(const std::string& path) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::vector<std::string> fields;
  std::string text = qeltest::ReadFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    fields.push_back(text.substr(start, end - start));
  }
  return fields;
}

}  // namespace launchertest
