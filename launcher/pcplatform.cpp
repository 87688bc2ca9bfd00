#include "pcplatform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace qel {
namespace launcher {
namespace platform {

namespace {

// Owns a file descriptor; Close() reports close(2), the last write of a file.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int CopyContents(int from, int to) {
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (int rc = WriteAll(to, buffer, static_cast<size_t>(n))) return rc;
  }
}

}  // namespace

EntryKind KindOf(const std::string& path, int* error) {
  if (error) *error = 0;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR && error) *error = errno;
    return EntryKind::kMissing;
  }
  return KindOfMode(st.st_mode);
}

namespace {

std::string ReadExecutablePath() {
  // readlink does not say whether it cut the text, so grow until it fits.
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    if (buffer.size() >= (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ExecutablePath() {
  // Read once: an update that replaces the launcher's own file turns the
  // link into "<path> (deleted)" for the rest of this run.
  static const std::string path = ReadExecutablePath();
  return path;
}

int ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  entries->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    int rc = errno;
    ::close(fd);
    return rc;
  }
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return errno;
      break;
    }
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      // Gone since the listing was read: nothing to do for it.
      if (errno == ENOENT) continue;
      return errno;
    }
    entries->push_back({name, KindOfMode(st.st_mode)});
  }
  std::sort(entries->begin(), entries->end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return 0;
}

namespace {

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// What an existing destination allows: 0 with *mode set to the bits a
// replacing file keeps (unchanged when there is none), or why it is refused.
int CheckExisting(const std::string& destination, mode_t* mode) {
  struct stat destStat;
  if (::lstat(destination.c_str(), &destStat) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(destStat.st_mode)) return EISDIR;
  if (S_ISREG(destStat.st_mode)) {
    // A file the user may not write is not replaced behind its back.
    if (::access(destination.c_str(), W_OK) != 0) return errno;
    *mode = destStat.st_mode & 0777;
    return 0;
  }
  // A link is replaced by the file itself; what it points to is left alone.
  return S_ISLNK(destStat.st_mode) ? 0 : EEXIST;
}

}  // namespace

int StageFile(const std::string& source, const std::string& destination, std::string* temp) {
  temp->clear();
  Fd from(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (from.get() < 0) return errno;
  struct stat sourceStat;
  if (::fstat(from.get(), &sourceStat) != 0) return errno;
  if (!S_ISREG(sourceStat.st_mode)) return EINVAL;
  mode_t mode = sourceStat.st_mode & 0777;
  if (int rc = CheckExisting(destination, &mode)) return rc;

  std::string folder = FolderPart(destination);
  std::string name = destination.substr(folder.size());
  std::string path = folder + "." + name + ".pcnew-XXXXXX";
  Fd to(::mkostemp(path.data(), O_CLOEXEC));
  if (to.get() < 0) return errno;
  int rc = 0;
  if (::fchmod(to.get(), mode) != 0) rc = errno;
  if (rc == 0) rc = CopyContents(from.get(), to.get());
  if (rc == 0 && ::fsync(to.get()) != 0) rc = errno;
  if (!to.Close() && rc == 0) rc = errno;
  if (rc != 0) {
    ::unlink(path.c_str());
    return rc;
  }
  *temp = path;
  return 0;
}

bool IsStagedName(const std::string& name) {
  static const std::string kMark = ".pcnew-";
  constexpr size_t kRandom = 6;  // mkostemp's XXXXXX
  if (name.size() < 2 + kMark.size() + kRandom || name[0] != '.') return false;
  const size_t mark = name.size() - kRandom - kMark.size();
  if (name.compare(mark, kMark.size(), kMark) != 0) return false;
  return std::all_of(name.end() - kRandom, name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

int CommitStaged(const std::string& temp, const std::string& destination) {
  return ::rename(temp.c_str(), destination.c_str()) == 0 ? 0 : errno;
}

int CheckDestination(const std::string& destination) {
  mode_t mode = 0;
  if (int rc = CheckExisting(destination, &mode)) return rc;
  std::string folder = FolderPart(destination);
  if (folder.empty()) folder = ".";
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno; }

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0 ? 0 : errno; }

int StartProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  // glibc's posix_spawn reports a failed exec (missing file, no execute
  // permission) as its result, so "started" means the program is running.
  return ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
}

void ShowMessage(const std::string& text) {
  std::string line = text + "\n";
  WriteAll(STDERR_FILENO, line.data(), line.size());
}

}  // namespace platform
}  // namespace launcher
}  // namespace qel
