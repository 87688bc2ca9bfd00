// The data update against plain baselines, in the same run:
//  1. bookkeeping: comparing a 10,000-file list with the installed one and
//     storing the differences in DOWNLOADINFO, against one raw SQLite
//     transaction that inserts the same rows with one bound statement;
//  2. downloads: fetching 1,000 small files from the loopback server into
//     the staging folder (with the per-file bookkeeping), against the curl
//     program fetching the same list in one run;
//  3. apply: putting 2,000 and 50,000 staged small files in place with
//     their bookkeeping (as the start does), against renaming the same
//     files alone; the disk syncs of each side are counted.
// Rounds alternate between the two sides; the best round of each counts.
// Prints both ratios (ours / baseline, target at most 2).
//
//   update_bench [rounds]
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "benchdb.h"
#include "database/qelinfoaccess.h"
#include "httptestserver.h"
#include "ratiobench.h"
#include "update/qelupdatecommon.h"
#include "update/qelupdatefiles.h"

extern char** environ;

namespace fs = std::filesystem;
using qel::dataspace::DownloadFileInfo;
using qel::dataspace::DownloadFileMap;
using qel::dataspace::qelUpdateCommon;
using qel::dataspace::qelUpdateFiles;

namespace {
std::atomic<long> g_syncs{0};
}  // namespace

// Every disk sync of the process is counted (SQLite's commits included).
extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
  g_syncs.fetch_add(1);
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return real(fd);
}
extern "C" __attribute__((visibility("default"))) int fdatasync(int fd) {
  g_syncs.fetch_add(1);
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  return real(fd);
}

namespace {

constexpr int kListFiles = 10000;
constexpr int kApplySizes[] = {2000, 50000};
constexpr int kDownloads = 1000;
constexpr double kTarget = 2.0;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

bool BuildInstallation(const std::string& root) {
  std::string error;
  for (const char* name : {"qel_data", "qel_exdata"}) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(std::string(QEL_SCHEMA_DIR) + "/" + name))
      files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    fs::create_directories(root + "/data");
    qelbench::Db db = qelbench::OpenDb(root + "/data/" + name + ".db", true, &error);
    if (!db) return false;
    for (const fs::path& file : files) {
      std::ifstream in(file);
      std::string sql((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!qelbench::Exec(db.get(), sql, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
      }
    }
  }
  qelbench::Db ex = qelbench::OpenDb(root + "/data/qel_exdata.db", false, &error);
  return ex &&
         qelbench::Exec(ex.get(), "INSERT INTO COMPANY (ID, COMTEMP, PACKTIME) VALUES ('1001', 't1', 100)",
                        &error);
}

// A list of count entries named /img/<first + i>.png.
std::string ListText(int first, int count) {
  std::string text = "{\"files\":[";
  for (int i = 0; i < count; ++i) {
    std::string name = "/img/" + std::to_string(first + i) + ".png";
    if (i > 0) text += ",";
    text +=
        "{\"url\":\"http://files.example/res\",\"filePath\":\"" + name + "\",\"fileName\":\"" + name + "\"}";
  }
  return text + "]}";
}

// The baseline: the same rows in one transaction with one bound statement.
double RawTransaction(sqlite3* db, const DownloadFileMap& rows) {
  auto start = std::chrono::steady_clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "DELETE FROM DOWNLOADINFO", nullptr, nullptr, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO DOWNLOADINFO (FILENAME, URL, CODE, OPERATETYPE, OPERATESTATUS) "
                     "VALUES (?, ?, ?, ?, 0)",
                     -1, &stmt, nullptr);
  for (const auto& row : rows) {
    sqlite3_bind_text(stmt, 1, row.second.FILENAME.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, row.second.URL.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 3, row.second.CODE.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 4, row.second.OPERATETYPE);
    sqlite3_step(stmt);
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return Seconds(start);
}

int CountRows(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM DOWNLOADINFO", -1, &stmt, nullptr);
  int count = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  return count;
}

// curl fetching every URL of the list in one run; wall time, process included.
double RunCurl(const std::vector<std::pair<std::string, std::string>>& files, const std::string& config) {
  {
    std::ofstream out(config);
    for (const auto& file : files)
      out << "url = \"" << file.first << "\"\noutput = \"" << file.second << "\"\n";
  }
  std::vector<std::string> args = {"curl", "-s", "-S", "-f", "-K", config};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Seconds(start);
}

// count small files named /apply/<i>.bin below folder.
void StageFiles(const std::string& folder, int count) {
  fs::create_directories(folder + "/apply");
  for (int i = 0; i < count; ++i)
    std::ofstream(folder + "/apply/" + std::to_string(i) + ".bin", std::ios::binary) << "small file " << i;
}

// The apply of count staged files against renaming them alone; the best
// round of each. False when the apply fails or leaves a file behind.
bool BenchApply(const std::string& root, sqlite3* db, int count, int rounds, double* ratio) {
  qel::dataspace::IQELDatasource* datasource = qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource();
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  DownloadFileMap list;
  for (int i = 0; i < count; ++i) {
    DownloadFileInfo info;
    info.FILENAME = "/apply/" + std::to_string(i) + ".bin";
    info.URL = "http://files.example" + info.FILENAME;
    info.OPERATETYPE = 0;
    info.OPERATESTATUS = 1;
    list.emplace(info.FILENAME, info);
  }
  const std::string staged = root + "/temp/files";
  const std::string plainFrom = root + "/plain-from";
  const std::string plainTo = root + "/plain-to";
  std::error_code ec;
  double bestApply = 1e9, bestMoves = 1e9;
  long applySyncs = 0, moveSyncs = 0;
  for (int round = 0; round < rounds; ++round) {
    fs::remove_all(root + "/files/apply", ec);
    fs::remove_all(plainFrom, ec);
    fs::remove_all(plainTo, ec);
    StageFiles(staged, count);
    StageFiles(plainFrom, count);
    if (files->AddToDownInfo(list, datasource) != 0 ||
        sqlite3_exec(db, "UPDATE DOWNLOADINFO SET OPERATESTATUS = 1", nullptr, nullptr, nullptr) != SQLITE_OK)
      return false;

    long syncs = g_syncs.load();
    auto start = std::chrono::steady_clock::now();
    if (files->FilesOperate(list, staged, datasource) != 0) return false;
    const double apply = Seconds(start);
    applySyncs = g_syncs.load() - syncs;
    if (CountRows(db) != 0 || !fs::is_empty(staged + "/apply")) return false;

    syncs = g_syncs.load();
    start = std::chrono::steady_clock::now();
    fs::create_directories(plainTo + "/apply");
    for (int i = 0; i < count; ++i) {
      const std::string name = "/apply/" + std::to_string(i) + ".bin";
      fs::rename(plainFrom + name, plainTo + name, ec);
      if (ec) return false;
    }
    const double moves = Seconds(start);
    moveSyncs = g_syncs.load() - syncs;
    bestApply = std::min(bestApply, apply);
    bestMoves = std::min(bestMoves, moves);
  }
  *ratio = bestApply / bestMoves;
  std::printf("apply of %d files: apply %.0f ms (%ld syncs), moves alone %.0f ms (%ld syncs)\n", count,
              bestApply * 1000, applySyncs, bestMoves * 1000, moveSyncs);
  std::printf("apply ratio for %d files: %.2f (target at most %.0f)%s\n", count, *ratio, kTarget,
              *ratio <= kTarget ? "" : "  ABOVE TARGET");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string root = qelbench::BenchRoot("update");
  std::error_code ec;
  fs::remove_all(root, ec);
  if (!BuildInstallation(root)) {
    std::fprintf(stderr, "cannot build the installation\n");
    return 1;
  }
  // Half of the list is installed already, half of the installed list is
  // gone from the new one: 5,000 downloads and 5,000 deletions.
  Write(root + "/temp/json/local.qjson", ListText(0, kListFiles));
  Write(root + "/json/local.qjson", ListText(kListFiles / 2, kListFiles));
  int status = 0;
  {
    qeltest::HttpTestServer server;
    sqlite3* db = qelbench::StartInstallation(root);
    if (db == nullptr) return 1;
    qel::dataspace::IQELDatasource* datasource =
        qel::dataspace::qelInfoAccess::GetInstance()->GetDatasource();
    qelUpdateFiles* files = qelUpdateFiles::GetInstance();
    DownloadFileMap installed;
    if (files->ResolveUpdateRequest() != 0 || files->GetLocalFileList(&installed) != 0) {
      std::fprintf(stderr, "cannot read the lists\n");
      return 1;
    }

    double bestOurs = 1e9, bestRaw = 1e9;
    DownloadFileMap result;
    for (int round = 0; round < rounds; ++round) {
      auto start = std::chrono::steady_clock::now();
      if (files->GetInternetDownLoadList(installed, &result, datasource) != 0) {
        std::fprintf(stderr, "the comparison failed\n");
        return 1;
      }
      bestOurs = std::min(bestOurs, Seconds(start));
      if (CountRows(db) != kListFiles) {
        std::fprintf(stderr, "DOWNLOADINFO holds %d rows\n", CountRows(db));
        return 1;
      }
      bestRaw = std::min(bestRaw, RawTransaction(db, result));
      if (CountRows(db) != kListFiles) return 1;
    }
    double bookkeeping = bestOurs / bestRaw;
    std::printf("bookkeeping of %d rows: compare and store %.1f ms, raw transaction %.1f ms\n", kListFiles,
                bestOurs * 1000, bestRaw * 1000);
    std::printf("bookkeeping ratio: %.2f (target at most %.0f)%s\n", bookkeeping, kTarget,
                bookkeeping <= kTarget ? "" : "  ABOVE TARGET");

    // Downloads of small files.
    DownloadFileMap list;
    std::vector<std::pair<std::string, std::string>> curlFiles;
    fs::create_directories(root + "/curl");
    for (int i = 0; i < kDownloads; ++i) {
      std::string name = "/small/" + std::to_string(i) + ".bin";
      server.AddFile(name, std::string(2048, static_cast<char>('a' + i % 26)));
      DownloadFileInfo info;
      info.FILENAME = name;
      info.URL = server.Url(name);
      info.OPERATETYPE = 0;
      list.emplace(name, info);
      curlFiles.emplace_back(info.URL, root + "/curl/" + std::to_string(i) + ".bin");
    }
    if (qelUpdateCommon::GetInstance()->CreateTempFolders() != 0 ||
        files->AddToDownInfo(list, datasource) != 0) {
      std::fprintf(stderr, "cannot stage the download list\n");
      return 1;
    }
    double bestDown = 1e9, bestCurl = 1e9;
    for (int round = 0; round < rounds; ++round) {
      DownloadFileMap pending = list;
      sqlite3_exec(db, "UPDATE DOWNLOADINFO SET OPERATESTATUS = 0", nullptr, nullptr, nullptr);
      // Both sides start from an empty folder each round.
      fs::remove_all(root + "/temp/files/small", ec);
      std::string error;
      auto start = std::chrono::steady_clock::now();
      if (files->DownFilesByList(&pending, &error, datasource) != 0) {
        std::fprintf(stderr, "the downloads failed: %s\n", error.c_str());
        return 1;
      }
      bestDown = std::min(bestDown, Seconds(start));
      double curl = RunCurl(curlFiles, root + "/curl.config");
      if (curl < 0) {
        std::fprintf(stderr, "curl failed\n");
        return 1;
      }
      bestCurl = std::min(bestCurl, curl);
      fs::remove_all(root + "/curl", ec);
      fs::create_directories(root + "/curl");
    }
    double downloads = bestDown / bestCurl;
    std::printf("downloads of %d files: update %.0f ms, curl %.0f ms\n", kDownloads, bestDown * 1000,
                bestCurl * 1000);
    std::printf("downloads ratio: %.2f (target at most %.0f)%s\n", downloads, kTarget,
                downloads <= kTarget ? "" : "  ABOVE TARGET");
    if (bookkeeping > kTarget || downloads > kTarget) status = 2;

    for (int count : kApplySizes) {
      double apply = 0;
      if (!BenchApply(root, db, count, count > 10000 ? std::min(rounds, 3) : rounds, &apply)) {
        std::fprintf(stderr, "the apply of %d files failed\n", count);
        return 1;
      }
      if (apply > kTarget) status = 2;
    }
    sqlite3_close(db);
  }
  qelbench::RemoveBenchRoot(root);
  return status;
}
