// Download throughput of qelHttpJsonRequest::DownloadFile against the curl
// command-line program, both fetching the same file from the loopback test
// server in the same run. Prints each throughput and their ratio.
//
//   download_bench [MiB (at least 256)] [rounds]
//
// The rounds alternate between the two clients; the best round of each is
// compared, so that a passing hiccup of the machine hurts neither side.
// curl is timed by its own transfer time (%{time_total}), which leaves out
// its process start; DownloadFile by the whole call, size probe included.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "httptestserver.h"
#include "qelhttpjsonrequest.h"

extern char** environ;

namespace {

constexpr size_t kMiB = 1024 * 1024;

std::string MakeContent(size_t size) {
  std::string bytes(size, '\0');
  std::mt19937_64 random(20240531);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint64_t word = random();
    std::memcpy(&bytes[i], &word, 8);
  }
  return bytes;
}

bool SameAsContent(const std::string& path, const std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(8 * kMiB);
  size_t offset = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    size_t got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    if (offset + got > content.size() || std::memcmp(buffer.data(), content.data() + offset, got) != 0)
      return false;
    offset += got;
  }
  return offset == content.size();
}

// Runs curl and returns its transfer time in seconds, or a negative value.
double RunCurl(const std::string& url, const std::string& out) {
  std::string timingFile = out + ".time";
  std::vector<std::string> args = {"curl", "-s", "-S", "-f", "-o", out, "-w", "%{time_total}", url};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, timingFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "curl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  std::ifstream in(timingFile);
  double seconds = -1;
  in >> seconds;
  std::filesystem::remove(timingFile);
  return seconds;
}

double RunDownloadFile(const std::string& url, const std::string& out) {
  qel::internet::qelHttpJsonRequest http;
  auto start = std::chrono::steady_clock::now();
  std::string reply = http.DownloadFile(url, "", out, nullptr);
  auto end = std::chrono::steady_clock::now();
  if (reply.find("\"100000\"") == std::string::npos) {
    std::cerr << "DownloadFile failed: " << reply << "\n";
    return -1;
  }
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 256;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mib < 256) mib = 256;
  if (rounds < 1) rounds = 1;

  std::error_code ec;
  std::string work = (std::filesystem::temp_directory_path() / "qel-download-bench-XXXXXX").string();
  if (mkdtemp(work.data()) == nullptr) {
    std::cerr << "cannot make a work folder\n";
    return 2;
  }

  int exitCode = 0;
  try {
    const std::string content = MakeContent(mib * kMiB);
    qeltest::HttpTestServer server;
    server.AddFile("/bench.bin", content);
    const std::string url = server.Url("/bench.bin");
    const double megabytes = static_cast<double>(content.size()) / kMiB;

    double bestCurl = 0, bestOurs = 0;
    for (int round = 0; round < rounds && exitCode == 0; ++round) {
      std::string curlOut = work + "/curl.bin", ourOut = work + "/ours.bin";
      double curlSeconds = RunCurl(url, curlOut);
      bool curlOk = curlSeconds > 0 && SameAsContent(curlOut, content);
      std::filesystem::remove(curlOut, ec);
      double ourSeconds = RunDownloadFile(url, ourOut);
      bool oursOk = ourSeconds > 0 && SameAsContent(ourOut, content);
      std::filesystem::remove(ourOut, ec);
      if (!curlOk || !oursOk) {
        std::cerr << "round " << round + 1 << ": " << (curlOk ? "" : "curl ")
                  << (oursOk ? "" : "DownloadFile ") << "failed or wrote a wrong file\n";
        exitCode = 1;
        break;
      }
      std::printf("round %d: curl %.0f MiB/s, DownloadFile %.0f MiB/s\n", round + 1, megabytes / curlSeconds,
                  megabytes / ourSeconds);
      bestCurl = std::max(bestCurl, megabytes / curlSeconds);
      bestOurs = std::max(bestOurs, megabytes / ourSeconds);
    }
    if (exitCode == 0) {
      double ratio = bestOurs / bestCurl;
      std::printf("file: %zu MiB, rounds: %d (best of each)\n", mib, rounds);
      std::printf("curl:         %.0f MiB/s\n", bestCurl);
      std::printf("DownloadFile: %.0f MiB/s\n", bestOurs);
      std::printf("ratio:        %.2f (target at least 0.90)%s\n", ratio,
                  ratio >= 0.9 ? "" : "  BELOW TARGET");
    }
  } catch (const std::exception& e) {
    std::cerr << "benchmark failed: " << e.what() << "\n";
    exitCode = 2;
  }
  std::filesystem::remove_all(work, ec);
  return exitCode;
}
