// The client core's log files. Each test leaves glog shut down so that the
// tests also pass when run in one process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <glog/logging.h>

#include "qelgloghelper.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

// Names of the files under ./qellog that start with `prefix`.
std::vector<std::string> LogFiles(const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("./qellog", ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  return names;
}

}  // namespace

TEST(GLogHelper, InitWritesTheCoreFilesUnderQellog) {
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  EXPECT_EQ(helper, qelGLogHelper::GetInstance());
  helper->Init("", 0);
  ASSERT_TRUE(google::IsGoogleLoggingInitialized());
  EXPECT_TRUE(helper->OwnsLogging());
  EXPECT_EQ(FLAGS_stderrthreshold, 0);
  EXPECT_TRUE(FLAGS_colorlogtostderr);
  EXPECT_EQ(FLAGS_logbufsecs, 0);
  EXPECT_EQ(FLAGS_max_log_size, 100);
  EXPECT_TRUE(FLAGS_stop_logging_if_full_disk);

  LOG(INFO) << "core line one";
  LOG(WARNING) << "core warning";
  google::FlushLogFiles(google::GLOG_INFO);

  std::vector<std::string> info = LogFiles("INFO_");
  ASSERT_FALSE(info.empty());
  bool found = false;
  for (const std::string& name : info) {
    EXPECT_NE(name.find("PC_CORE_"), std::string::npos) << name;
    if (qeltest::ReadFile("./qellog/" + name).find("core line one") != std::string::npos) found = true;
  }
  EXPECT_TRUE(found);
  EXPECT_FALSE(LogFiles("WARNING_").empty());

  helper->Shutdown();
  EXPECT_FALSE(google::IsGoogleLoggingInitialized());
  EXPECT_FALSE(helper->OwnsLogging());
  helper->Shutdown();  // exactly one shutdown: a second call does nothing
}

TEST(GLogHelper, SecondInitKeepsTheFirstSettings) {
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", 0);
  helper->Init("other", 2);
  EXPECT_EQ(FLAGS_stderrthreshold, 0);
  helper->Shutdown();
}

TEST(GLogHelper, LevelOutsideTheSeveritiesIsClamped) {
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init(nullptr, 9);
  EXPECT_EQ(FLAGS_stderrthreshold, google::GLOG_FATAL);
  helper->Shutdown();
}

TEST(GLogHelper, WithoutInitNothingIsSetUp) {
  fs::remove_all("./qellog");
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  LOG(INFO) << "before any set-up";
  helper->Shutdown();
  EXPECT_FALSE(google::IsGoogleLoggingInitialized());
  EXPECT_FALSE(fs::exists("./qellog"));
}

TEST(GLogHelper, GlogSetUpByAnotherLibraryStaysItsOwn) {
  // qelbridge (or the host) came first: its settings stay and it alone
  // shuts glog down.
  fs::remove_all("./qellog");
  google::InitGoogleLogging("host");
  FLAGS_stderrthreshold = 2;
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", 0);
  EXPECT_FALSE(helper->OwnsLogging());
  EXPECT_EQ(FLAGS_stderrthreshold, 2);
  EXPECT_FALSE(fs::exists("./qellog"));
  helper->Shutdown();
  EXPECT_TRUE(google::IsGoogleLoggingInitialized());
  google::ShutdownGoogleLogging();
}

// A setting the user gave in the environment wins over the built-in
// default; without it the default applies. glog reads GLOG_* when it is
// loaded, so each case puts the value in place the way glog did.
TEST(GLogHelper, EnvironmentSettingsWinOverTheDefaults) {
  struct Case {
    const char* variable;
    std::function<void(int)> set;
    std::function<int()> get;
    int given;
    int builtIn;
  } cases[] = {
      {"GLOG_stderrthreshold", [](int v) { FLAGS_stderrthreshold = v; }, [] { return FLAGS_stderrthreshold; },
       2, 0},
      {"GLOG_logbufsecs", [](int v) { FLAGS_logbufsecs = v; }, [] { return FLAGS_logbufsecs; }, 5, 0},
      {"GLOG_max_log_size", [](int v) { FLAGS_max_log_size = static_cast<uint32_t>(v); },
       [] { return static_cast<int>(FLAGS_max_log_size); }, 7, 100},
  };
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  for (const Case& c : cases) {
    ::setenv(c.variable, std::to_string(c.given).c_str(), 1);
    c.set(c.given);
    helper->Init("", 0);
    EXPECT_EQ(c.get(), c.given) << "variable: " << c.variable;
    helper->Shutdown();
    ::unsetenv(c.variable);
    helper->Init("", 0);
    EXPECT_EQ(c.get(), c.builtIn) << "variable: " << c.variable;
    helper->Shutdown();
  }
}

TEST(GLogHelper, EnvironmentLogFolderTakesTheFiles) {
  fs::remove_all("./qellog");
  fs::create_directory("./elsewhere");
  ::setenv("GLOG_log_dir", "./elsewhere", 1);
  FLAGS_log_dir = "./elsewhere";
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", 0);
  LOG(INFO) << "line for elsewhere";
  google::FlushLogFiles(google::GLOG_INFO);
  helper->Shutdown();
  ::unsetenv("GLOG_log_dir");
  EXPECT_FALSE(fs::exists("./qellog"));
  EXPECT_FALSE(fs::is_empty("./elsewhere"));
}
