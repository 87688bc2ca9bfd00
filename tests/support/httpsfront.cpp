#include "httpsfront.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testsupport.h"

extern char** environ;

namespace qeltest {

namespace {

// Starts argv[0] from PATH with its output going to outputFd (or to the
// log file when outputFd < 0); the child's id, or -1.
pid_t Spawn(const std::vector<std::string>& args, int outputFd, const std::string& logFile) {
  std::vector<char*> argv;
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

bool Run(const std::vector<std::string>& args, const std::string& logFile, std::string* why) {
  pid_t pid = Spawn(args, -1, logFile);
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *why = args[0] + " " + args[1] + " failed (is " + args[0] + " installed?): " + ReadFile(logFile);
    return false;
  }
  return true;
}

// One line of /proc/self/mountinfo: where the mount is and whether it
// shares its mounts with another namespace.
struct MountLine {
  std::string mountPoint;
  bool shared = false;
};

// Undoes mountinfo's octal escapes ("\040" for a space).
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The mount that holds path, as far as this process can see one.
bool MountHolding(const std::string& path, MountLine* found) {
  std::ifstream mountinfo("/proc/self/mountinfo");
  std::string line;
  bool any = false;
  while (std::getline(mountinfo, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, options, field;
    fields >> id >> parent >> device >> root >> mountPoint >> options;
    MountLine entry;
    entry.mountPoint = Unescape(mountPoint);
    while (fields >> field && field != "-") {
      if (field.compare(0, 7, "shared:") == 0) entry.shared = true;
    }
    const std::string& mp = entry.mountPoint;
    bool holds = mp == "/" || path == mp || (path.compare(0, mp.size(), mp) == 0 && path[mp.size()] == '/');
    // The deepest mount point wins; of two at one place, the later one.
    if (holds && (!any || mp.size() >= found->mountPoint.size())) {
      *found = entry;
      any = true;
    }
  }
  return any;
}

}  // namespace

bool MakeTestCertificates(const std::string& folder, TestCertificates* out, std::string* why) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string config = folder + "/openssl.cnf";
  WriteFile(config,
            "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = qel test authority\n"
            "[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
            "subjectKeyIdentifier = hash\n"
            "[server]\nbasicConstraints = critical,CA:FALSE\nkeyUsage = critical,digitalSignature\n"
            "extendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1\n"
            "authorityKeyIdentifier = keyid\nsubjectKeyIdentifier = hash\n");
  out->caFile = folder + "/ca.crt";
  out->certFile = folder + "/server.crt";
  out->keyFile = folder + "/server.key";
  const std::string caKey = folder + "/ca.key";
  const std::string request = folder + "/server.csr";
  const std::string log = folder + "/openssl.log";
  return Run({"openssl", "req", "-x509", "-config", config, "-extensions", "ca", "-newkey", "ec", "-pkeyopt",
              "ec_paramgen_curve:P-256", "-nodes", "-keyout", caKey, "-out", out->caFile, "-days", "2"},
             log, why) &&
         Run({"openssl", "req", "-new", "-config", config, "-newkey", "ec", "-pkeyopt",
              "ec_paramgen_curve:P-256", "-nodes", "-keyout", out->keyFile, "-out", request, "-subj",
              "/CN=127.0.0.1"},
             log, why) &&
         Run({"openssl", "x509", "-req", "-in", request, "-CA", out->caFile, "-CAkey", caKey, "-set_serial",
              "2", "-days", "2", "-extfile", config, "-extensions", "server", "-out", out->certFile},
             log, why);
}

bool TrustOnlyInThisProcess(const std::string& caFile, const std::string& systemBundle, std::string* why) {
  char resolved[PATH_MAX];
  if (::realpath(systemBundle.c_str(), resolved) == nullptr) {
    *why = "no system CA bundle at " + systemBundle;
    return false;
  }
  const std::string bundle = resolved;
  if (::unshare(CLONE_NEWNS) != 0) {
    *why = std::string("no mount namespace of its own (unshare: ") + std::strerror(errno) + ")";
    return false;
  }
  // Private, so that the bind mount below stays in this namespace. In a
  // chroot "/" may be no mount point; then the mount holding the bundle is
  // made private, if this process can see it.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    MountLine holder;
    if (!MountHolding(bundle, &holder) ||
        ::mount(nullptr, holder.mountPoint.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      *why = "the mount holding " + bundle + " cannot be made private here (a chroot?)";
      return false;
    }
  }
  MountLine holder;
  if (!MountHolding(bundle, &holder) || holder.shared) {
    *why = "the mount holding " + bundle + " is not known to be private";
    return false;
  }
  if (::mount(caFile.c_str(), bundle.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    *why = std::string("bind mount over ") + bundle + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

HttpsFront::HttpsFront(const HttpTestServer& backend, const TestCertificates& certificates) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("https front: pipe failed");
  const std::string script = std::string(QEL_SOURCE_DIR) + "/tests/support/httpsfront.py";
  const std::string log = certificates.certFile + ".front.log";
  pid_ =
      Spawn({"python3", script, certificates.certFile, certificates.keyFile, std::to_string(backend.port())},
            fds[1], log);
  ::close(fds[1]);
  std::string line;
  while (pid_ >= 0 && line.find('\n') == std::string::npos) {
    pollfd p = {fds[0], POLLIN, 0};
    if (::poll(&p, 1, 30000) <= 0) break;
    char buffer[64];
    ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (line.compare(0, 5, "port ") == 0) port_ = std::atoi(line.c_str() + 5);
  if (port_ <= 0) {
    if (pid_ >= 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    throw std::runtime_error("https front did not start (python3 " + script + "): " + ReadFile(log));
  }
}

HttpsFront::~HttpsFront() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

std::string HttpsFront::BaseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }

std::string HttpsFront::Url(const std::string& pathAndQuery) const { return BaseUrl() + pathAndQuery; }

}  // namespace qeltest
