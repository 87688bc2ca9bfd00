// The client core's log files. Each test leaves glog shut down so that the
// tests also pass when run in one process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>
#include <string>

#include <glog/logging.h>

#include "qel/glogsetup.h"
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

namespace {

// The glog variables the set-up reads; each case starts without them.
constexpr const char* kGlogVariables[] = {
    "GLOG_stderrthreshold",  "GLOG_logtostderr", "GLOG_alsologtostderr", "GLOG_minloglevel",
    "GLOG_colorlogtostderr", "GLOG_logbufsecs",  "GLOG_max_log_size",    "GLOG_stop_logging_if_full_disk",
    "GLOG_log_dir"};

void ClearGlogEnvironment() {
  for (const char* variable : kGlogVariables) ::unsetenv(variable);
}

// The settings glog runs with, as one comparable text.
std::string GlogSettings() {
  return "stderrthreshold=" + std::to_string(FLAGS_stderrthreshold) +
         " logtostderr=" + std::to_string(FLAGS_logtostderr) +
         " alsologtostderr=" + std::to_string(FLAGS_alsologtostderr) +
         " minloglevel=" + std::to_string(FLAGS_minloglevel) +
         " colorlogtostderr=" + std::to_string(FLAGS_colorlogtostderr) +
         " logbufsecs=" + std::to_string(FLAGS_logbufsecs) +
         " max_log_size=" + std::to_string(FLAGS_max_log_size) +
         " stop_logging_if_full_disk=" + std::to_string(FLAGS_stop_logging_if_full_disk);
}

}  // namespace

// A host's setting in the environment wins over the built-in default, also
// when the host set it after glog was loaded (glog itself reads the
// variables only then); without one the defaults apply. Standard error
// carries WARNING and up at the level the libraries pass.
TEST(GLogHelper, SettingsUnderTheDefaultsAndTheHostsEnvironment) {
  const std::string defaults =
      "stderrthreshold=1 logtostderr=0 alsologtostderr=0 minloglevel=0 colorlogtostderr=1 logbufsecs=0 "
      "max_log_size=100 stop_logging_if_full_disk=1";
  struct Case {
    const char* variable;  // null: no variable
    const char* value;
    const char* changed;  // what the value changes in `defaults`, as "old>new"
  } cases[] = {
      {nullptr, nullptr, ""},
      {"GLOG_stderrthreshold", "0", "stderrthreshold=1>stderrthreshold=0"},
      {"GLOG_stderrthreshold", "3", "stderrthreshold=1>stderrthreshold=3"},
      {"GLOG_logtostderr", "1", "logtostderr=0>logtostderr=1"},
      {"GLOG_alsologtostderr", "true", "alsologtostderr=0>alsologtostderr=1"},
      {"GLOG_minloglevel", "2", "minloglevel=0>minloglevel=2"},
      {"GLOG_colorlogtostderr", "0", "colorlogtostderr=1>colorlogtostderr=0"},
      {"GLOG_logbufsecs", "5", "logbufsecs=0>logbufsecs=5"},
      {"GLOG_max_log_size", "7", "max_log_size=100>max_log_size=7"},
      {"GLOG_stop_logging_if_full_disk", "no", "stop_logging_if_full_disk=1>stop_logging_if_full_disk=0"},
  };
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  for (const Case& c : cases) {
    ClearGlogEnvironment();
    if (c.variable != nullptr) ::setenv(c.variable, c.value, 1);
    std::string expected = defaults;
    std::string changed = c.changed;
    if (!changed.empty()) {
      size_t arrow = changed.find('>');
      expected.replace(expected.find(changed.substr(0, arrow)), arrow, changed.substr(arrow + 1));
    }
    helper->Init("", google::GLOG_WARNING);
    EXPECT_EQ(GlogSettings(), expected) << (c.variable != nullptr ? c.variable : "no variable");
    helper->Shutdown();
  }
  ClearGlogEnvironment();
}

// What reaches standard error: WARNING and up by default, more or less
// when the host's environment asks for it.
TEST(GLogHelper, StandardErrorCarriesWarningsUnlessTheHostAsksOtherwise) {
  struct Case {
    const char* variable;
    const char* value;
    bool info;
    bool warning;
  } cases[] = {
      {nullptr, nullptr, false, true},
      {"GLOG_stderrthreshold", "0", true, true},
      {"GLOG_alsologtostderr", "1", true, true},
      {"GLOG_logtostderr", "1", true, true},
      {"GLOG_stderrthreshold", "2", false, false},
  };
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  for (const Case& c : cases) {
    ClearGlogEnvironment();
    if (c.variable != nullptr) ::setenv(c.variable, c.value, 1);
    helper->Init("", google::GLOG_WARNING);
    testing::internal::CaptureStderr();
    LOG(INFO) << "an info line";
    LOG(WARNING) << "a warning line";
    std::string err = testing::internal::GetCapturedStderr();
    helper->Shutdown();
    const std::string name = c.variable != nullptr ? std::string(c.variable) + "=" + c.value : "no variable";
    EXPECT_EQ(err.find("an info line") != std::string::npos, c.info) << name << "\n" << err;
    EXPECT_EQ(err.find("a warning line") != std::string::npos, c.warning) << name << "\n" << err;
  }
  ClearGlogEnvironment();
}

// A file grows up to the size bound and the next line starts another file.
TEST(GLogHelper, FilesRotateAtTheSizeBound) {
  ClearGlogEnvironment();
  fs::remove_all("./qellog");
  ::setenv("GLOG_max_log_size", "1", 1);  // megabytes
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", google::GLOG_WARNING);
  const std::string line(20000, 'x');
  for (int i = 0; i < 60; ++i) LOG(INFO) << line;  // past 1 MiB
  // glog names a file by the second it was opened in: the next one can
  // only be opened in a later second.
  const std::time_t opened = std::time(nullptr);
  while (std::time(nullptr) == opened) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (int i = 0; i < 40; ++i) LOG(INFO) << line;
  google::FlushLogFiles(google::GLOG_INFO);
  helper->Shutdown();
  ClearGlogEnvironment();

  std::vector<std::string> info = LogFiles("INFO_");
  EXPECT_GE(info.size(), 2u);
  for (const std::string& name : info) {
    // A file is closed at the first line written once it holds 1 MiB.
    EXPECT_LE(fs::file_size("./qellog/" + name), (1u << 20) + line.size() + 200) << name;
  }
}

namespace {

// Names as glog gives them, for files this fixture plants.
std::string PlantLog(const std::string& name, std::chrono::hours age, std::uintmax_t size = 4) {
  const std::string path = "./qellog/" + name;
  qeltest::WriteFile(path, "old\n");
  if (size > 4) fs::resize_file(path, size);  // sparse: takes no disk
  fs::last_write_time(path, fs::file_time_type::clock::now() - age);
  return path;
}

}  // namespace

// A set-up removes log files past the age bound, of every severity and
// either library's extension, and keeps recent ones and files that are no
// logs.
TEST(GLogHelper, OldFilesAreCleanedAtSetUp) {
  ClearGlogEnvironment();
  fs::remove_all("./qellog");
  fs::create_directory("./qellog");
  const auto old = std::chrono::hours(24 * qel::kLogKeepDays + 1);
  const auto recent = std::chrono::hours(24 * qel::kLogKeepDays - 1);
  std::vector<std::string> removed = {
      PlantLog("INFO_20200101-000000.11PC_CORE_", old), PlantLog("WARNING_20200101-000000.11PC_CORE_", old),
      PlantLog("ERROR_20200101-000000.11PC_CORE_", old), PlantLog("INFO_20200101-000000.1291_", old),
      PlantLog("ERROR_20200101-000000.1291_", old)};
  std::vector<std::string> kept = {PlantLog("INFO_20200102-000000.13PC_CORE_", recent),
                                   PlantLog("WARNING_20200102-000000.1391_", recent),
                                   PlantLog("notes.txt", old), PlantLog("INFO_notes", old)};
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", google::GLOG_WARNING);
  LOG(INFO) << "a line";
  helper->Shutdown();
  for (const std::string& path : removed) EXPECT_FALSE(fs::exists(path)) << path;
  for (const std::string& path : kept) EXPECT_TRUE(fs::exists(path)) << path;
}

// However young, the oldest files go once the folder holds more than the
// byte bound.
TEST(GLogHelper, OldestFilesGoPastTheByteBound) {
  ClearGlogEnvironment();
  fs::remove_all("./qellog");
  fs::create_directory("./qellog");
  const std::uintmax_t third = qel::kLogKeepBytes / 3 + 1;
  const std::string oldest = PlantLog("INFO_20200101-000000.1PC_CORE_", std::chrono::hours(3), third);
  const std::string older = PlantLog("INFO_20200101-000001.1PC_CORE_", std::chrono::hours(2), third);
  const std::string newest = PlantLog("INFO_20200101-000002.1PC_CORE_", std::chrono::hours(1), third);
  const std::string small = PlantLog("ERROR_20200101-000003.1PC_CORE_", std::chrono::hours(4));
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", google::GLOG_WARNING);
  helper->Shutdown();
  EXPECT_FALSE(fs::exists(oldest));
  EXPECT_FALSE(fs::exists(small));  // older than the files that fill the bound
  EXPECT_TRUE(fs::exists(older));
  EXPECT_TRUE(fs::exists(newest));
}

TEST(GLogHelper, EnvironmentLogFolderTakesTheFiles) {
  fs::remove_all("./qellog");
  fs::create_directory("./elsewhere");
  // Old files of this set-up there go; another program's stay.
  const std::string ours = "./elsewhere/.vm.root.log.INFO.20200101-000000.1PC_CORE_";
  const std::string theirs = "./elsewhere/other.vm.root.log.INFO.20200101-000000.1";
  for (const std::string& path : {ours, theirs}) {
    qeltest::WriteFile(path, "old\n");
    fs::last_write_time(path,
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * qel::kLogKeepDays + 1));
  }
  ::setenv("GLOG_log_dir", "./elsewhere", 1);
  qelGLogHelper* helper = qelGLogHelper::GetInstance();
  helper->Init("", 0);
  LOG(INFO) << "line for elsewhere";
  google::FlushLogFiles(google::GLOG_INFO);
  helper->Shutdown();
  ::unsetenv("GLOG_log_dir");
  EXPECT_FALSE(fs::exists("./qellog"));
  EXPECT_FALSE(fs::exists(ours));
  EXPECT_TRUE(fs::exists(theirs));
  bool written = false;
  for (const auto& entry : fs::directory_iterator("./elsewhere")) {
    written =
        written || qeltest::ReadFile(entry.path().string()).find("line for elsewhere") != std::string::npos;
  }
  EXPECT_TRUE(written);
}
