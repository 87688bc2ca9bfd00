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

#include "database/qelinfoaccess.h"
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

int64_t DataVersion(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  int64_t version = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    version = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  return version;
}

// Copies every page of from into to; aborts when it cannot, since an input
// would then see what earlier ones left.
void CopyDatabase(sqlite3* to, sqlite3* from) {
  sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
  if (backup == nullptr || sqlite3_backup_step(backup, -1) != SQLITE_DONE ||
      sqlite3_backup_finish(backup) != SQLITE_OK) {
    std::fprintf(stderr, "fixture reset failed: %s\n", sqlite3_errmsg(to));
    std::abort();
  }
}

// The installation as built and started: a copy of each database in
// memory, our own connection to the file (which sees the bridge's commits
// through data_version), and the user loaded at start-up.
struct Pristine {
  struct Database {
    sqlite3* live = nullptr;
    sqlite3* built = nullptr;
    int64_t version = -1;
  };
  fs::path root;
  std::vector<Database> databases;
  std::string userId;
};
Pristine* g_pristine = nullptr;

void KeepPristine(const fs::path& root) {
  g_pristine = new Pristine{root, {}, qel::dataspace::qelInfoAccess::Identity().userId};
  for (const char* name : {"qel_data", "qel_exdata"}) {
    Pristine::Database db;
    std::string path = (root / "data" / (std::string(name) + ".db")).string();
    if (sqlite3_open_v2(path.c_str(), &db.live, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_open(":memory:", &db.built) != SQLITE_OK) {
      std::fprintf(stderr, "fixture cannot open %s\n", path.c_str());
      std::abort();
    }
    // A reset needs no durability, and fsync would dominate the run.
    sqlite3_exec(db.live, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    CopyDatabase(db.built, db.live);
    db.version = DataVersion(db.live);
    g_pristine->databases.push_back(db);
  }
}

template <typename Rows>
std::string MakeInstallation(Rows rows, const std::string& serverPath = "http://127.0.0.1:9/qel") {
  fs::path dir = fs::temp_directory_path() / ("qelfuzz-" + std::to_string(getpid()));
  fs::remove_all(dir);
  Build(dir, rows);
  std::string start = "{\"LOCAL_PATH\":\"" + dir.string() + "\",\"SERVER_PATH\":\"" + serverPath +
                      "\",\"IP\":\"127.0.0.1\",\"UA\":\"Windows\","
                      "\"PLATFORM\":\"Linux\",\"MAC\":\"00\"}";
  InitQelbridge(260, start.c_str());
  KeepPristine(dir);
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(fs::temp_directory_path() / ("qelfuzz-" + std::to_string(getpid())), ec);
  });
  return dir.string();
}

}  // namespace

void ResetInstallation() {
  if (g_pristine == nullptr) return;
  for (Pristine::Database& db : g_pristine->databases) {
    if (DataVersion(db.live) == db.version) continue;
    CopyDatabase(db.live, db.built);
    db.version = DataVersion(db.live);
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(g_pristine->root, ec)) {
    const fs::path name = entry.path().filename();
    if (name != "data" && name != "ver.qel") fs::remove_all(entry.path(), ec);
  }
  qel::dataspace::qelInfoAccess::SetUserId(g_pristine->userId);
}

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
