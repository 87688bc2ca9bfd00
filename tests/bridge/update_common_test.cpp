// Update bookkeeping: list names, the update type, CONFIGINFO and
// DOWNLOADINFO, and the file operations.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "database/qelquery.h"
#include "database/qelinfoaccess.h"
#include "httptestserver.h"
#include "qelbridge.h"
#include "testsupport.h"
#include "update/qelupdatecommon.h"
#include "update/qelupdatefiles.h"
#include "update_fixture.h"

namespace fs = std::filesystem;
using qel::dataspace::CheckListFileName;
using qel::dataspace::DownloadFileInfo;
using qel::dataspace::DownloadFileMap;
using qel::dataspace::qelInfoAccess;
using qel::dataspace::qelUpdateCommon;
using qel::dataspace::qelUpdateFiles;
using qeltest::Installation;

namespace {

// A relative name of exactly bytes bytes in segments of 200.
std::string LongName(size_t bytes) {
  std::string name;
  while (name.size() + 201 < bytes) name += std::string(200, 'p') + "/";
  return name + std::string(bytes - name.size(), 'q');
}

TEST(ListFileName, AcceptsRelativeNamesAndRefusesEverythingThatLeavesTheFolder) {
  const struct {
    std::string name;
    bool ok;
    std::string relative;
  } cases[] = {
      {"/img/a.png", true, "img/a.png"},
      {"img/a.png", true, "img/a.png"},
      {"\\img\\a.png", true, "img/a.png"},
      {qeltest::Gbk("/图/誠.png"), true, qeltest::Gbk("图/誠.png")},  // 誠 ends in 0x5C
      {"", false, ""},
      {"/", false, ""},
      {"//img/a.png", false, ""},
      {"/img//a.png", false, ""},  // would name the same file as "/img/a.png"
      {"img/", false, ""},
      {"../a.png", false, ""},
      {"/img/../../a.png", false, ""},
      {"/img/./a.png", false, ""},
      {"..", false, ""},
      {"C:/a.png", false, ""},
      {"C:a.png", false, ""},
      {"/img/a:b.png", false, ""},
      {std::string("/img/a\0.png", 11), false, ""},
      {"\\..\\a.png", false, ""},
      {"/img/\xFF\xFF.png", false, ""},
      // What the file system cannot take: a segment over 255 bytes, a
      // whole name from PATH_MAX (4096, its NUL counted) on.
      {"/" + std::string(255, 's') + "/a.png", true, std::string(255, 's') + "/a.png"},
      {"/" + std::string(256, 's') + "/a.png", false, ""},
      {"/img/" + std::string(256, 's'), false, ""},
      {"/" + LongName(4095), true, LongName(4095)},
      {"/" + LongName(4096), false, ""},
  };
  for (const auto& c : cases) {
    std::string relative;
    EXPECT_EQ(CheckListFileName(c.name, &relative), c.ok) << "name: " << c.name;
    if (c.ok) {
      EXPECT_EQ(relative, c.relative) << "name: " << c.name;
    }
  }
}

// Below its folder a name may pass through no link (a planted one would take
// the write outside), and its whole path must stay below PATH_MAX.
TEST(ListFilePlace, RefusesLinksBelowTheFolderAndPathsPastPathMax) {
  const std::string folder = qeltest::TestDir() + "/place";
  const std::string outside = qeltest::TestDir() + "/outside";
  fs::create_directories(folder + "/real/deep");
  fs::create_directories(outside);
  qeltest::WriteFile(outside + "/victim.png", "keep");
  fs::create_directory_symlink(outside, folder + "/linked");
  fs::create_symlink(outside + "/victim.png", folder + "/real/file.png");
  fs::create_symlink(outside + "/gone.png", folder + "/real/dangling.png");
  const struct {
    std::string name;
    bool ok;
  } cases[] = {
      {"/real/a.png", true},
      {"/real/deep/a.png", true},
      {"/missing/deeper/a.png", true},
      {"/linked/a.png", false},
      {"/linked/sub/a.png", false},
      {"/real/file.png", false},
      {"/real/dangling.png", false},
      {"/../outside/a.png", false},
      {"/" + std::string(255, 'n'), true},
      {"/" + std::string(256, 'n'), false},
      {"/" + std::string(255, 'd') + "/a.png", true},
  };
  for (const auto& c : cases) {
    std::string relative;
    EXPECT_EQ(qel::dataspace::CheckListFilePlace(c.name, folder, &relative), c.ok) << "name: " << c.name;
  }
  // A folder path that leaves no room below PATH_MAX.
  EXPECT_TRUE(qel::dataspace::CheckListFilePlace("/a.png", "/" + LongName(4088), nullptr));
  EXPECT_FALSE(qel::dataspace::CheckListFilePlace("/a.png", "/" + LongName(4089), nullptr));
  EXPECT_EQ(qeltest::ReadFile(outside + "/victim.png"), "keep");
}

TEST(UpdateFileOperations, LinksAreRemovedOrLeftNeverFollowed) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  const std::string dir = qeltest::TestDir();
  qeltest::WriteFile(dir + "/target", "keep");
  fs::create_symlink(dir + "/target", dir + "/link");
  fs::create_symlink(dir + "/nothing", dir + "/dangling");
  // Deleting a link removes the link, dangling or not; what it names stays.
  EXPECT_EQ(common->DeleteOneFile(dir + "/link"), 0);
  EXPECT_EQ(common->DeleteOneFile(dir + "/dangling"), 0);
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir + "/link")));
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir + "/dangling")));
  EXPECT_EQ(qeltest::ReadFile(dir + "/target"), "keep");
  // A link as the source of a move is no staged file: nothing moves.
  fs::create_symlink(dir + "/target", dir + "/staged");
  qeltest::WriteFile(dir + "/installed", "installed");
  EXPECT_EQ(common->MoveFileToDes(dir + "/staged", dir + "/installed"), 0);
  EXPECT_EQ(qeltest::ReadFile(dir + "/installed"), "installed");
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir + "/installed")));
  EXPECT_EQ(qeltest::ReadFile(dir + "/target"), "keep");
}

TEST(UpdateFileOperations, MakeDirsExCreatesOnlyTheFoldersAndMovesTheBase) {
  std::string base = qeltest::TestDir() + "/X";
  fs::create_directories(base);
  std::string folder = base;
  EXPECT_EQ(qelUpdateCommon::GetInstance()->MakeDirsEx("/img/a/b.png", &folder), 0);
  EXPECT_EQ(folder, base + "/img/a");
  EXPECT_TRUE(fs::is_directory(base + "/img/a"));
  EXPECT_FALSE(fs::exists(base + "/img/a/b.png"));
}

TEST(UpdateFileOperations, MoveReplacesTheDestinationAndRemovesTheSource) {
  qelUpdateCommon* common = qelUpdateCommon::GetInstance();
  std::string dir = qeltest::TestDir();
  qeltest::WriteFile(dir + "/src", "new bytes");
  qeltest::WriteFile(dir + "/dst", "old bytes that were longer");
  EXPECT_EQ(common->MoveFileToDes(dir + "/src", dir + "/dst"), 0);
  EXPECT_EQ(qeltest::ReadFile(dir + "/dst"), "new bytes");
  EXPECT_FALSE(fs::exists(dir + "/src"));
  // A missing source is no failure and leaves the destination alone.
  EXPECT_EQ(common->MoveFileToDes(dir + "/src", dir + "/dst"), 0);
  EXPECT_EQ(qeltest::ReadFile(dir + "/dst"), "new bytes");
  // A destination that cannot be replaced keeps the source.
  qeltest::WriteFile(dir + "/src2", "kept");
  fs::create_directories(dir + "/folder/inside");
  EXPECT_EQ(common->MoveFileToDes(dir + "/src2", dir + "/folder"), 1);
  EXPECT_EQ(qeltest::ReadFile(dir + "/src2"), "kept");
}

class UpdateBookkeepingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', 100);");
    install_.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u1', 'user1', '1');");
    ASSERT_EQ(InitQelbridge(260, install_.StartupJson().c_str()), 0);
    datasource_ = qelInfoAccess::GetInstance()->GetDatasource();
  }

  std::vector<std::string> Rows() const {
    return install_.QueryMain(
        "SELECT FILENAME, URL, OPERATETYPE, OPERATESTATUS FROM DOWNLOADINFO ORDER BY FILENAME");
  }

  Installation install_;
  qel::dataspace::IQELDatasource* datasource_ = nullptr;
};

TEST_F(UpdateBookkeepingTest, FirstCheckCreatesTheSevenRowsFromTheInstallation) {
  int type = -2;
  EXPECT_EQ(qelUpdateCommon::GetInstance()->GetUpdateType(200, &type), 0);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(install_.QueryMain("SELECT ID, VALUE FROM CONFIGINFO ORDER BY ID"),
            (std::vector<std::string>{"1|0", "2|0", "3|0", "4|0", "5|100", "6|u1", "7|1001"}));
}

TEST_F(UpdateBookkeepingTest, UpdateTypeFollowsTheTimesAndTheStatus) {
  const struct {
    int64_t local;
    int status;
    int64_t remote;
    int type;
    int result;
    const char* oldPackTime;  // row 5 afterwards (was "7")
  } cases[] = {
      {200, 0, 300, 1, 0, "200"}, {200, 5, 200, 0, 0, "200"},
      {200, 0, 200, 0, 0, "200"}, {200, 1, 200, 1, 0, "7"},
      {200, 3, 200, 1, 0, "7"},   {200, 4, 200, 1, 0, "7"},
      {200, 2, 300, 1, 0, "7"},   {200, 0, 150, -1, 1, "200"},
      {0, 0, 100, 0, 0, "100"},  // 0: COMPANY.PACKTIME
  };
  for (const auto& c : cases) {
    install_.Main("DELETE FROM CONFIGINFO; INSERT INTO CONFIGINFO (ID, VALUE) VALUES (1, '" +
                  std::to_string(c.local) + "'), (2, '0'), (3, '" + std::to_string(c.status) +
                  "'), (4, '0'), (5, '7'), (6, ''), (7, '0');");
    int type = -2;
    std::string context = "local " + std::to_string(c.local) + " status " + std::to_string(c.status) +
                          " remote " + std::to_string(c.remote);
    EXPECT_EQ(qelUpdateCommon::GetInstance()->GetUpdateType(c.remote, &type), c.result) << context;
    EXPECT_EQ(type, c.type) << context;
    EXPECT_EQ(install_.QueryMain("SELECT VALUE FROM CONFIGINFO WHERE ID = 5"),
              std::vector<std::string>{c.oldPackTime})
        << context;
  }
}

TEST_F(UpdateBookkeepingTest, LocalPackageTimeTellsAMissingTimeFromAFailedQuery) {
  const struct {
    const char* name;
    const char* sql;  // run before the read
    int64_t time;
  } cases[] = {
      {"the company's time", "", 100},
      {"an empty time", "UPDATE COMPANY SET PACKTIME = NULL", 0},
      {"no row of the current company", "UPDATE COMPANY SET ID = '2002'", 0},
      // The last case: without the table the query itself fails.
      {"a failed query", "DROP TABLE COMPANY", 1},
  };
  for (const auto& c : cases) {
    // Through the bridge's own connection, so that it knows the schema.
    if (*c.sql != '\0') {
      ASSERT_TRUE(qel::dataspace::ExecSql(datasource_, c.sql)) << c.name;
    }
    EXPECT_EQ(qelUpdateCommon::GetInstance()->GetLoaclPackTime(), c.time) << c.name;
  }
}

TEST_F(UpdateBookkeepingTest, DownloadResultsFollowTheTransferStatus) {
  qeltest::HttpTestServer server;
  server.AddFile("/ok", "bytes");
  qeltest::ServedFile missing;
  missing.get = qeltest::FileFault::kNotFound;
  missing.head = qeltest::FileFault::kNotFound;
  server.AddFile("/missing", missing);
  qeltest::ServedFile broken;
  broken.get = qeltest::FileFault::kServerErrorHtml;
  broken.head = qeltest::FileFault::kServerErrorHtml;
  server.AddFile("/broken", broken);
  SetLogCallback(qeltest::CaptureLog);
  const struct {
    const char* path;
    int result;
    const char* error;  // the error text afterwards
    bool file;
    const char* log;  // a line that ends so
    bool logUrl;      // followed by the URL
  } cases[] = {
      {"/ok", 0, "", true, "DownLoad StatusCode:100000", false},
      // A file the server does not have counts as fetched, and leaves nothing.
      {"/missing", 0, "", false, "404Error:", true},
      {"/broken", 500003, "500003", false, "DownLoad StatusCode:500003", false},
  };
  for (const auto& c : cases) {
    std::string target = install_.root() + "/dl" + std::string(c.path).substr(1);
    std::string url = server.Url(c.path);
    std::string error;
    qeltest::ClearLog();
    EXPECT_EQ(qelUpdateCommon::GetInstance()->DownloadFile(url, target, &error, nullptr), c.result) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
    EXPECT_EQ(fs::exists(target), c.file) << c.path;
    EXPECT_TRUE(qeltest::LoggedAtEnd("Begin Down:" + url)) << c.path;
    EXPECT_TRUE(qeltest::LoggedAtEnd("End Down:")) << c.path;
    EXPECT_TRUE(qeltest::LoggedAtEnd(c.log + (c.logUrl ? url : std::string()))) << c.path;
  }
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/dlok"), "bytes");
}

DownloadFileMap ListOf(const std::vector<std::string>& names) {
  DownloadFileMap files;
  for (const std::string& name : names) {
    DownloadFileInfo info;
    info.FILENAME = name;
    info.URL = "http://h/r" + name;
    files.emplace(name, info);
  }
  return files;
}

TEST_F(UpdateBookkeepingTest, CompareStoresDownloadsAndDeletionsAndIdenticalListsKeepTheTable) {
  fs::create_directories(install_.root() + "/temp/json");
  qeltest::WriteFile(install_.root() + "/temp/json/local.qjson",
                     "{\"files\":[{\"url\":\"http://h/r\",\"filePath\":\"/a\",\"fileName\":\"/a\"},"
                     "{\"url\":\"http://h/r\",\"filePath\":\"/b\",\"fileName\":\"/b\"},"
                     "{\"url\":\"http://h/other\",\"filePath\":\"/a\",\"fileName\":\"/a\"},"
                     "{\"url\":\"http://h/r\",\"filePath\":\"/o'q\",\"fileName\":\"/o'q\"}]}");
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  ASSERT_EQ(files->ResolveUpdateRequest(), 0);
  DownloadFileMap result;
  EXPECT_EQ(files->GetInternetDownLoadList(ListOf({"/b", "/c"}), &result, datasource_), 0);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"/a|http://h/r/a|0|0", "/c|http://h/r/c|1|0",
                                              "/o'q|http://h/r/o'q|0|0"}));
  ASSERT_EQ(files->UpdateOperateStatus("/o'q", 1, datasource_), 0);
  EXPECT_EQ(install_.QueryMain("SELECT OPERATESTATUS FROM DOWNLOADINFO WHERE FILENAME = '/o''q'"),
            std::vector<std::string>{"1"});

  EXPECT_EQ(files->GetInternetDownLoadList(ListOf({"/a", "/b", "/o'q"}), &result, datasource_), 0);
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(UpdateBookkeepingTest, RemoteListsThatAreNoListFailAndDeleteNothing) {
  fs::create_directories(install_.root() + "/temp/json");
  const char* lists[] = {"", "<html>busy</html>", "{\"files\":{}}", "[1,2]", "{\"items\":[]}"};
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  for (const char* list : lists) {
    qeltest::WriteFile(install_.root() + "/temp/json/local.qjson", list);
    EXPECT_EQ(files->ResolveUpdateRequest(), 1) << list;
    EXPECT_TRUE(files->GetRemoteMap().empty()) << list;
  }
  fs::remove(install_.root() + "/temp/json/local.qjson");
  EXPECT_EQ(files->ResolveUpdateRequest(), 1);
  // A list over the bound (one staged by an older run) is never read whole,
  // however good it is.
  qeltest::WriteFile(install_.root() + "/temp/json/local.qjson",
                     "{\"files\":[{\"url\":\"u\",\"filePath\":\"/a\",\"fileName\":\"/a\"}]}" +
                         std::string(qel::dataspace::kMaxListBytes, ' '));
  EXPECT_EQ(files->ResolveUpdateRequest(), 1);
  EXPECT_TRUE(files->GetRemoteMap().empty());
  // The bound itself is taken, one byte over it is not.
  const std::string entry = "{\"files\":[{\"url\":\"u\",\"filePath\":\"/a\",\"fileName\":\"/a\"}]}";
  for (int64_t over : {0, 1}) {
    std::string list = entry;
    list.resize(static_cast<size_t>(qel::dataspace::kMaxListBytes + over), ' ');
    qeltest::WriteFile(install_.root() + "/temp/json/local.qjson", list);
    list = std::string();
    EXPECT_EQ(files->ResolveUpdateRequest(), over == 0 ? 0 : 1) << over;
    EXPECT_EQ(files->GetRemoteMap().size(), over == 0 ? 1u : 0u) << over;
  }
}

// The temporary files that a killed download left ("<name>.qeltmp<pid>-<n>"
// of a process that is gone) go; a running process's and other names stay.
TEST_F(UpdateBookkeepingTest, StaleTemporaryFilesOfGoneProcessesAreRemoved) {
  const std::string dead = updatetest::GoneProcessId();
  const std::string alive = std::to_string(getpid());
  ASSERT_EQ(qelUpdateCommon::GetInstance()->CreateTempFolders(), 0);
  const std::string temp = install_.root() + "/temp";
  const struct {
    std::string path;
    bool removed;
  } cases[] = {
      {"/files/img/a.png.qeltmp" + dead + "-0", true},
      {"/data/qel_exdata.db.qeltmp" + dead + "-12", true},
      {"/json/local.qjson.qeltmp" + dead + "-3", true},
      {"/files/img/b.png.qeltmp" + alive + "-0", false},
      {"/files/img/a.png", false},
      {"/files/img/c.png.qeltmp", false},
      {"/files/img/d.png.qeltmpx-1", false},
      {"/files/img/e.png.qeltmp" + dead, false},
      {"/files/img/f.png.qeltmp" + dead + "-", false},
      {"/files/img/g.png.qeltmp" + dead + "-x", false},
  };
  for (const auto& c : cases) {
    fs::create_directories(fs::path(temp + c.path).parent_path());
    qeltest::WriteFile(temp + c.path, "partial");
  }
  EXPECT_EQ(qelUpdateCommon::GetInstance()->RemoveStaleTempFiles(), 3);
  for (const auto& c : cases) EXPECT_EQ(fs::exists(temp + c.path), !c.removed) << c.path;
}

TEST_F(UpdateBookkeepingTest, LargeListIsComparedAndStoredInOneGo) {
  std::string text = "{\"files\":[";
  for (int i = 0; i < 100000; ++i) {
    if (i > 0) text += ",";
    // Every name twice: the first entry stays.
    text += "{\"url\":\"http://h\",\"filePath\":\"/f" + std::to_string(i / 2) + "\",\"fileName\":\"/f" +
            std::to_string(i / 2) + "\"}";
  }
  text += "]}";
  fs::create_directories(install_.root() + "/temp/json");
  qeltest::WriteFile(install_.root() + "/temp/json/local.qjson", text);
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  ASSERT_EQ(files->ResolveUpdateRequest(), 0);
  EXPECT_EQ(files->GetRemoteMap().size(), 50000u);
  DownloadFileMap result;
  EXPECT_EQ(files->GetInternetDownLoadList(DownloadFileMap(), &result, datasource_), 0);
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM DOWNLOADINFO"), std::vector<std::string>{"50000"});
}

std::vector<int> g_steps;
int RecordStep(int step, const char*) {
  if (g_steps.empty() || g_steps.back() != step) g_steps.push_back(step);
  return 0;
}

TEST_F(UpdateBookkeepingTest, FourDownloadsReportTheirSteps) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  qeltest::HttpTestServer server;
  DownloadFileMap list;
  for (const char* name : {"/1", "/2", "/3", "/4"}) {
    server.AddFile(std::string("/r") + name, std::string("file ") + name);
    DownloadFileInfo info;
    info.FILENAME = name;
    info.URL = server.Url(std::string("/r") + name);
    info.OPERATETYPE = 0;
    list.emplace(name, info);
  }
  ASSERT_EQ(qelUpdateFiles::GetInstance()->AddToDownInfo(list, datasource_), 0);
  ASSERT_EQ(qelUpdateCommon::GetInstance()->CreateTempFolders(), 0);
  SetUpdateDownCallback(RecordStep);
  std::string error;
  EXPECT_EQ(qelUpdateFiles::GetInstance()->DownFilesByList(&list, &error, datasource_), 0);
  SetUpdateDownCallback(nullptr);
  EXPECT_EQ(g_steps, (std::vector<int>{25, 40, 55, 70}));
  EXPECT_EQ(qeltest::ReadFile(install_.root() + "/temp/files/3"), "file /3");
  EXPECT_EQ(install_.QueryMain("SELECT COUNT(*) FROM DOWNLOADINFO WHERE OPERATESTATUS = 1"),
            std::vector<std::string>{"4"});
}

std::vector<std::pair<int, std::string>> g_reports;
int RecordReport(int step, const char* text) {
  g_reports.emplace_back(step, text != nullptr ? text : "");
  return 0;
}

// The host shows the text as it comes: the file's name, one space and the
// share downloaded with one decimal.
TEST(UpdateProgress, TextNamesTheFileAndItsShareWithOneDecimal) {
  const std::string downloading = qeltest::Gbk("正在下载文件：");
  const std::string file = qeltest::Gbk("/img/图.png");
  const struct {
    bool database;
    double downloaded;
    double total;
    int step;
    const char* share;
  } cases[] = {
      {false, 425, 1000, 25, "42.5%"}, {false, 1, 3, 25, "33.3%"},       {false, 0, 0, 25, "0.0%"},
      {true, 500, 1000, 85, "50.0%"},  {true, 1000, 1000, 99, "100.0%"}, {true, 10, 0, 70, "0.0%"},
  };
  qelUpdateFiles* files = qelUpdateFiles::GetInstance();
  SetUpdateDownCallback(RecordReport);
  for (const auto& c : cases) {
    const std::string name = c.database ? "/data/qel_exdata.db" : file;
    const std::string context = name + " " + std::to_string(c.downloaded) + "/" + std::to_string(c.total);
    files->SetCurrentFile(name);
    files->SetCurrentStep(25);
    g_reports.clear();
    if (c.database) {
      qelUpdateFiles::DatabaseProgress(c.downloaded, c.total);
    } else {
      qelUpdateFiles::FileProgress(c.downloaded, c.total);
    }
    ASSERT_EQ(g_reports.size(), 1u) << context;
    EXPECT_EQ(g_reports[0].first, c.step) << context;
    EXPECT_EQ(g_reports[0].second, downloading + name + " " + c.share) << context;
  }
  SetUpdateDownCallback(nullptr);
}

}  // namespace
