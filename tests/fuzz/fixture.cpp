#include "fixture.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "qelbridge.h"

namespace fs = std::filesystem;

namespace qelfuzz {
namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Exec(const std::string& db, const std::string& sql) {
  sqlite3* handle = nullptr;
  if (sqlite3_open(db.c_str(), &handle) == SQLITE_OK) {
    char* error = nullptr;
    if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::fprintf(stderr, "fixture SQL failed on %s: %s\n", db.c_str(), error ? error : "");
      std::abort();
    }
    sqlite3_free(error);
  }
  sqlite3_close(handle);
}

// rows(db) names the file of seed rows for a database ("" for none).
template <typename Rows>
void Build(const fs::path& root, Rows rows) {
  fs::create_directories(root / "data");
  for (const char* name : {"qel_data", "qel_exdata"}) {
    std::string db = (root / "data" / (std::string(name) + ".db")).string();
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(QEL_SCHEMA_DIR) / name)) {
      if (entry.path().extension() == ".sql") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    Exec(db, "PRAGMA user_version = 1;");
    for (const auto& file : files) Exec(db, ReadAll(file));
    fs::path seed = rows(std::string(name));
    if (!seed.empty() && fs::exists(seed)) Exec(db, ReadAll(seed));
  }
  std::ofstream(root / "ver.qel") << "V1.0.0.1\r\n";
}

fs::path FuzzDir() { return fs::path(__FILE__).parent_path(); }

template <typename Rows>
std::string MakeInstallation(Rows rows, const std::string& serverPath = "http://127.0.0.1:9/qel") {
  fs::path dir = fs::temp_directory_path() / ("qelfuzz-" + std::to_string(getpid()));
  fs::remove_all(dir);
  Build(dir, rows);
  std::string start = "{\"LOCAL_PATH\":\"" + dir.string() + "\",\"SERVER_PATH\":\"" + serverPath +
                      "\",\"IP\":\"127.0.0.1\",\"UA\":\"Windows\","
                      "\"PLATFORM\":\"Linux\",\"MAC\":\"00\"}";
  InitQelbridge(260, start.c_str());
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("qelfuzz-" + std::to_string(getpid())), ec);
  });
  return dir.string();
}

}  // namespace

const std::string& FixtureInstallation() {
  static const std::string root =
      MakeInstallation([](const std::string& db) { return FuzzDir() / ("fixture_rows." + db + ".sql"); });
  return root;
}

const std::string& LevelsInstallation() {
  static const std::string root = MakeInstallation([](const std::string& db) {
    return FuzzDir().parent_path() / "fixtures" / ("productlevels." + db + ".sql");
  });
  return root;
}

const std::string& ServiceInstallation(const std::string& serverPath) {
  static const std::string root = MakeInstallation(
      [](const std::string& db) { return FuzzDir() / ("fixture_rows." + db + ".sql"); }, serverPath);
  return root;
}

}  // namespace qelfuzz
