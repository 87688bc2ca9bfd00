// Downloads of the transport: the plain download into a new target and the
// resumable one, against honest and misbehaving servers. In every case the
// target ends byte-identical to the server's file or does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <csignal>
#include <sys/resource.h>

#include "httptestserver.h"
#include "qel/json.h"
#include "qelhttpjsonrequest.h"
#include "testsupport.h"

namespace {

using qel::internet::qelHttpJsonRequest;
using qeltest::FileFault;
using qeltest::HttpTestServer;
using qeltest::ReplyStatus;
using qeltest::ServedFile;
using qeltest::TransportTimeouts;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsPrefix(const std::string& prefix, const std::string& whole) {
  return prefix.size() <= whole.size() && whole.compare(0, prefix.size(), prefix) == 0;
}

// Progress callbacks are plain functions: they record into globals.
std::vector<std::pair<double, double>> g_progress;
std::vector<std::pair<double, double>> g_otherProgress;

int RecordProgress(double downloaded, double total) {
  g_progress.emplace_back(downloaded, total);
  return 0;
}

int RecordOtherProgress(double downloaded, double total) {
  g_otherProgress.emplace_back(downloaded, total);
  return 0;
}

int StopAtFirstChunk(double downloaded, double total) {
  g_progress.emplace_back(downloaded, total);
  return 1;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory("dl");
    content = RandomBytes(300 * 1024, 7);
    g_progress.clear();
    g_otherProgress.clear();
  }

  ServedFile File(FileFault get, FileFault head = FileFault::kNone) const {
    ServedFile file;
    file.content = content;
    file.get = get;
    file.head = head;
    return file;
  }

  // A partial file as an earlier call leaves it: its bytes, and the
  // validator of the version they came from ("" for none, as an earlier
  // version of the library left them).
  static void WritePartial(const std::string& target, const std::string& bytes,
                           const std::string& validator) {
    qeltest::WriteFile(target + ".qeldld", bytes);
    if (!validator.empty()) qeltest::WriteFile(target + ".qeldld.ifrange", validator);
  }

  std::vector<qeltest::HttpRequestRecord> Gets(const std::string& path) const {
    std::vector<qeltest::HttpRequestRecord> gets;
    for (const auto& request : server.Requests()) {
      if (request.method != "HEAD" && request.path == path) gets.push_back(request);
    }
    return gets;
  }

  // Transfers that should succeed get time to do so on a loaded machine; a
  // case that waits for a stall shortens the time-outs for itself.
  TransportTimeouts timeouts{TransportTimeouts::kHealthy};
  HttpTestServer server;
  qelHttpJsonRequest http;
  std::string content;
};

TEST_F(DownloadTest, PlainDownloadWritesTheWholeFileAndReportsProgress) {
  server.AddFile("/files/a.bin", content);
  std::string reply = http.DownloadFile(server.Url("/files/a.bin"), "", "dl/a.bin", RecordProgress);
  EXPECT_EQ(reply, "{\"jsonrpc\":\"2.0\",\"result\":{\"result\":\"\",\"status\":\"100000\"}}");
  EXPECT_TRUE(qeltest::ReadFile("dl/a.bin") == content);
  EXPECT_EQ(Entries("dl"), std::vector<std::string>{"a.bin"}) << "no temporary file stays behind";

  ASSERT_FALSE(g_progress.empty());
  for (size_t i = 0; i < g_progress.size(); ++i) {
    EXPECT_EQ(g_progress[i].second, static_cast<double>(content.size()));
    if (i > 0) {
      EXPECT_GT(g_progress[i].first, g_progress[i - 1].first);
    }
  }
  EXPECT_EQ(g_progress.back().first, static_cast<double>(content.size()));

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_FALSE(requests[1].HasHeader("Range"));
  EXPECT_EQ(requests[1].Header("Accept-Encoding"), "identity");
}

TEST_F(DownloadTest, PlainDownloadFailuresLeaveNoFile) {
  struct Case {
    const char* name;
    ServedFile file;
    std::string url;   // "" -> the file's own URL
    std::string path;  // "" -> dl/t<i>.bin
    int code;
    TransportTimeouts::Budget budget = TransportTimeouts::kHealthy;  // short for a stall
  };
  ServedFile claimsMore = File(FileFault::kNone);
  claimsMore.headLength = static_cast<int64_t>(content.size()) + 10;
  ServedFile claimsLess = File(FileFault::kNone);
  claimsLess.headLength = static_cast<int64_t>(content.size()) - 10;
  const std::string ftp = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x";

  std::vector<Case> cases = {
      {"empty URL", File(FileFault::kNone), "-", "", 500001},
      {"empty path", File(FileFault::kNone), "", "-", 500007},
      {"target folder missing", File(FileFault::kNone), "", "nofolder/t.bin", 500003},
      {"probe answers 404", File(FileFault::kNotFound, FileFault::kNotFound), "", "", 500009},
      {"transfer answers 404", File(FileFault::kNotFound), "", "", 500009},
      {"probe answers HTML 500", File(FileFault::kNone, FileFault::kServerErrorHtml), "", "", 500003},
      {"transfer answers HTML 500", File(FileFault::kServerErrorHtml), "", "", 500003},
      {"server refuses", File(FileFault::kNone), server.RefusedUrl("/x"), "", 500003},
      {"server drops mid-body", File(FileFault::kDropMidBody), "", "", 500003},
      {"server sends less than promised", File(FileFault::kShortBody), "", "", 500003},
      {"server stalls in the body", File(FileFault::kStallBody), "", "", 500003,
       TransportTimeouts::kStalledDownload},
      {"server stalls before answering", File(FileFault::kStallHeaders), "", "", 500003,
       TransportTimeouts::kStalledDownload},
      {"probe stalls", File(FileFault::kNone, FileFault::kStallHeaders), "", "", 500003,
       TransportTimeouts::kStalledCall},
      {"probe claims more bytes", claimsMore, "", "", 500003},
      {"probe claims fewer bytes", claimsLess, "", "", 500003},
      {"not http", File(FileFault::kNone), ftp, "", 500003},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string urlPath = "/t" + std::to_string(i) + ".bin";
    server.AddFile(urlPath, c.file);
    std::string url = c.url.empty() ? server.Url(urlPath) : (c.url == "-" ? "" : c.url);
    std::string path = c.path.empty() ? "dl/t" + std::to_string(i) + ".bin" : (c.path == "-" ? "" : c.path);
    TransportTimeouts budget(c.budget);
    EXPECT_EQ(ReplyStatus(http.DownloadFile(url, "", path, RecordProgress)), c.code) << c.name;
    EXPECT_TRUE(Entries("dl").empty()) << c.name;
  }
  EXPECT_FALSE(Exists("nofolder"));
}

// The temporary file beside a target takes a shorter form of its name where
// the whole would pass the file system's limit: every name the file system
// holds can be downloaded, and nothing but the target stays.
TEST_F(DownloadTest, TargetsAtTheNameLimitDownload) {
  server.AddFile("/a.bin", content);
  for (size_t length : {size_t{240}, size_t{NAME_MAX}}) {
    const std::string name(length, 'n');
    EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/a.bin"), "", "dl/" + name, nullptr)), 100000)
        << "length " << length;
    EXPECT_TRUE(qeltest::ReadFile("dl/" + name) == content) << "length " << length;
    EXPECT_EQ(Entries("dl"), std::vector<std::string>{name}) << "length " << length;
    std::filesystem::remove("dl/" + name);
  }
}

TEST_F(DownloadTest, PlainDownloadNeverTouchesAnExistingTarget) {
  server.AddFile("/a.bin", content);
  qeltest::WriteFile("dl/a.bin", "old");
  EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/a.bin"), "", "dl/a.bin", nullptr)), 500007);
  EXPECT_EQ(qeltest::ReadFile("dl/a.bin"), "old");
  EXPECT_TRUE(server.Requests().empty()) << "no request for an existing target";
}

TEST_F(DownloadTest, StoppingThroughTheCallback) {
  server.AddFile("/a.bin", content);
  EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/a.bin"), "", "dl/a.bin", StopAtFirstChunk)), 500003);
  EXPECT_EQ(g_progress.size(), 1u);
  EXPECT_TRUE(Entries("dl").empty());

  // The resumable download keeps exactly the first chunk and goes on from it.
  g_progress.clear();
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/b.bin", StopAtFirstChunk)), 500003);
  ASSERT_EQ(g_progress.size(), 1u);
  std::string partial = qeltest::ReadFile("dl/b.bin.qeldld");
  EXPECT_EQ(static_cast<double>(partial.size()), g_progress[0].first);
  EXPECT_TRUE(IsPrefix(partial, content));
  EXPECT_EQ(qeltest::ReadFile("dl/b.bin.qeldld.ifrange"), ServedFile::ContentETag(content));
  EXPECT_FALSE(Exists("dl/b.bin"));

  g_progress.clear();
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/b.bin", RecordProgress)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/b.bin") == content);
  EXPECT_EQ(Entries("dl"), std::vector<std::string>{"b.bin"});
  EXPECT_EQ(Gets("/a.bin").back().Header("Range"), "bytes=" + std::to_string(partial.size()) + "-");
}

TEST_F(DownloadTest, ResumeAsksForTheRestAndRenamesWhenComplete) {
  server.AddFile("/a.bin", content);
  WritePartial("dl/a.bin", content.substr(0, 1000), ServedFile::ContentETag(content));
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/a.bin", RecordProgress)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/a.bin") == content);
  EXPECT_EQ(Entries("dl"), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(Gets("/a.bin").at(0).Header("Range"), "bytes=1000-");
  EXPECT_EQ(Gets("/a.bin").at(0).Header("If-Range"), ServedFile::ContentETag(content));
  ASSERT_FALSE(g_progress.empty());
  EXPECT_GT(g_progress.front().first, 1000.0);
  EXPECT_EQ(g_progress.back().first, static_cast<double>(content.size()));
}

// A partial file of P bytes against every way a server can answer the rest.
TEST_F(DownloadTest, ResumeTable) {
  const size_t P = 100000;
  enum class Partial { kGone, kUnchanged, kGrown, kWhole };
  struct Case {
    const char* name;
    FileFault get;
    int code;
    Partial partialAfter;  // for a failed call
    bool stalls = false;   // ends only by the low-speed time-out
    // The transfer first meets a 302 with an ETag of its own; the address it
    // names answers as `get` says, with a Last-Modified and no ETag. The
    // validator kept beside the partial must come from that final answer.
    bool redirected = false;
  };
  const std::string date = "Tue, 02 Jan 2024 10:00:00 GMT";
  const std::vector<Case> cases = {
      {"206 from P", FileFault::kNone, 100000, Partial::kGone},
      {"200 with the whole file", FileFault::kIgnoreRange, 100000, Partial::kGone},
      {"206 from another offset", FileFault::kWrongRangeStart, 500003, Partial::kUnchanged},
      {"416", FileFault::kRangeNotSatisfiable, 500003, Partial::kGone},
      {"drops mid-body", FileFault::kDropMidBody, 500003, Partial::kGrown},
      {"sends fewer bytes than promised", FileFault::kShortBody, 500003, Partial::kWhole},
      {"stalls in the body", FileFault::kStallBody, 500003, Partial::kGrown, true},
      {"HTML 500", FileFault::kServerErrorHtml, 500003, Partial::kUnchanged},
      {"404", FileFault::kNotFound, 500009, Partial::kGone},
      {"302 with an ETag, then the whole file cut mid-body", FileFault::kDropMidBody, 500003, Partial::kGrown,
       false, true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string urlPath = "/r" + std::to_string(i) + ".bin";
    std::string target = "dl/r" + std::to_string(i) + ".bin";
    std::string temp = target + ".qeldld";
    ServedFile file = File(c.get);
    file.wrongRangeStart = static_cast<int64_t>(P) - 100;
    if (c.redirected) {
      ServedFile moved = file;
      moved.etag.clear();
      moved.lastModified = date;
      server.AddFile(urlPath + ".moved", moved);
      server.AddRedirect(urlPath, 302, server.Url(urlPath + ".moved"), "GET", "\"of-the-redirect\"");
      file = File(FileFault::kNone);
    }
    server.AddFile(urlPath, file);
    WritePartial(target, content.substr(0, P), ServedFile::ContentETag(content));

    {
      TransportTimeouts budget(c.stalls ? TransportTimeouts::kStalledDownload : TransportTimeouts::kHealthy);
      EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url(urlPath), "", target, nullptr)), c.code) << c.name;
    }
    if (c.code == 100000) {
      EXPECT_TRUE(qeltest::ReadFile(target) == content) << c.name;
      EXPECT_FALSE(Exists(temp)) << c.name;
    } else {
      EXPECT_FALSE(Exists(target)) << c.name;
      std::string partial = Exists(temp) ? qeltest::ReadFile(temp) : std::string();
      EXPECT_TRUE(IsPrefix(partial, content)) << c.name << ": the partial file is corrupt";
      if (c.partialAfter != Partial::kGone) {
        // The validator names the version of the bytes the partial holds.
        EXPECT_EQ(qeltest::ReadFile(temp + ".ifrange"),
                  c.redirected ? date : ServedFile::ContentETag(content))
            << c.name;
      }
      switch (c.partialAfter) {
        case Partial::kGone:
          EXPECT_FALSE(Exists(temp)) << c.name;
          EXPECT_FALSE(Exists(temp + ".ifrange")) << c.name;
          break;
        case Partial::kUnchanged:
          EXPECT_EQ(partial.size(), P) << c.name;
          break;
        case Partial::kGrown:
          EXPECT_GT(partial.size(), P) << c.name;
          EXPECT_LT(partial.size(), content.size()) << c.name;
          break;
        case Partial::kWhole:
          EXPECT_EQ(partial.size(), content.size()) << c.name;
          break;
      }
    }

    // Whatever was left, an honest server completes the file next time.
    server.RemoveRedirect(urlPath);
    server.AddFile(urlPath, content);
    EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url(urlPath), "", target, nullptr)), 100000) << c.name;
    EXPECT_TRUE(qeltest::ReadFile(target) == content) << c.name;
    EXPECT_FALSE(Exists(temp)) << c.name;
    EXPECT_FALSE(Exists(temp + ".ifrange")) << c.name;
  }
}

// A partial file of P bytes from an earlier version of the server's file
// against a server that replaced it, or kept it. The target must be one
// version whole: never the old head with the new tail.
TEST_F(DownloadTest, ResumeNeverMixesTwoVersions) {
  const size_t P = 100000;
  const std::string old = content;
  const std::string date = "Tue, 02 Jan 2024 10:00:00 GMT";
  // The partial's bytes carry a mark, so that a target holding it shows
  // that they were kept (a 206), and one without it that they were not.
  std::string marked = old.substr(0, P);
  marked[P / 2] = static_cast<char>(~marked[P / 2]);
  const std::string resumed = marked + old.substr(P);

  auto served = [](const std::string& bytes) {
    ServedFile file;
    file.content = bytes;
    return file;
  };
  ServedFile sameSize = served(RandomBytes(old.size(), 21));
  ServedFile larger = served(RandomBytes(old.size() + 5000, 22));
  ServedFile smaller = served(RandomBytes(old.size() - 5000, 23));
  ServedFile noValidators = served(old);
  noValidators.etag.clear();
  ServedFile unchanged = served(old);
  ServedFile byDate = served(old);
  byDate.etag.clear();
  byDate.lastModified = date;
  ServedFile weakTagAndDate = byDate;
  weakTagAndDate.etag = "W/\"weak\"";
  ServedFile newerByDate = served(sameSize.content);
  newerByDate.etag.clear();
  newerByDate.lastModified = "Wed, 03 Jan 2024 10:00:00 GMT";
  // The probe still sees the old version; the transfer meets the new one.
  ServedFile replacedAfterProbe = sameSize;
  replacedAfterProbe.headEtag = ServedFile::ContentETag(old);
  // Such a server would send the new version's bytes from P: none may land.
  ServedFile ignoresIfRange = replacedAfterProbe;
  ignoresIfRange.ignoreIfRange = true;
  // The probe names the partial's version; the 206 that follows names none
  // (a proxy that drops the headers): nothing says it is another version.
  ServedFile rangeWithoutValidators = served(old);
  rangeWithoutValidators.etag.clear();
  rangeWithoutValidators.headEtag = ServedFile::ContentETag(old);
  rangeWithoutValidators.ignoreIfRange = true;

  const std::string oldTag = ServedFile::ContentETag(old);
  struct Case {
    const char* name;
    ServedFile file;
    std::string partial;
    std::string validator;  // kept beside the partial, "" none
    int code;               // of the first call; a failed one is called again
    std::string expected;   // the target in the end
    std::string range;      // Range of the first transfer, "" none
    std::string ifRange;    // its If-Range
  };
  const std::string fromP = "bytes=" + std::to_string(P) + "-";
  const std::vector<Case> cases = {
      {"replaced with the same size", sameSize, marked, oldTag, 100000, sameSize.content, "", ""},
      {"replaced with a larger file", larger, marked, oldTag, 100000, larger.content, "", ""},
      {"replaced with a smaller file", smaller, marked, oldTag, 100000, smaller.content, "", ""},
      {"partial holds the whole old file", sameSize, old, oldTag, 100000, sameSize.content, "", ""},
      {"replaced, Last-Modified only", newerByDate, marked, date, 100000, newerByDate.content, "", ""},
      {"replaced between probe and transfer", replacedAfterProbe, marked, oldTag, 100000, sameSize.content,
       fromP, oldTag},
      {"server ignores If-Range", ignoresIfRange, marked, oldTag, 500003, sameSize.content, fromP, oldTag},
      {"server without validators", noValidators, marked, oldTag, 100000, old, "", ""},
      {"partial without a validator", unchanged, marked, "", 100000, old, "", ""},
      // Nobody can tell the versions apart: a resume could join two of them.
      {"neither side has a validator", noValidators, marked, "", 100000, old, "", ""},
      {"206 without validators", rangeWithoutValidators, marked, oldTag, 100000, resumed, fromP, oldTag},
      {"unchanged file", unchanged, marked, oldTag, 100000, resumed, fromP, oldTag},
      {"unchanged file, Last-Modified only", byDate, marked, date, 100000, resumed, fromP, date},
      {"unchanged file, weak ETag and Last-Modified", weakTagAndDate, marked, date, 100000, resumed, fromP,
       date},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string urlPath = "/v" + std::to_string(i) + ".bin";
    std::string target = "dl/v" + std::to_string(i) + ".bin";
    server.AddFile(urlPath, c.file);
    WritePartial(target, c.partial, c.validator);

    EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url(urlPath), "", target, nullptr)), c.code) << c.name;
    auto gets = Gets(urlPath);
    ASSERT_EQ(gets.size(), 1u) << c.name;
    EXPECT_EQ(gets[0].Header("Range"), c.range) << c.name;
    EXPECT_EQ(gets[0].Header("If-Range"), c.ifRange) << c.name;
    if (c.code != 100000) {
      // None of the other version's bytes landed, and the stale partial
      // went: the next call starts over even while the probe still names
      // the old version.
      EXPECT_FALSE(Exists(target)) << c.name;
      EXPECT_FALSE(Exists(target + ".qeldld")) << c.name;
      EXPECT_FALSE(Exists(target + ".qeldld.ifrange")) << c.name;
      EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url(urlPath), "", target, nullptr)), 100000) << c.name;
      EXPECT_FALSE(Gets(urlPath).back().HasHeader("Range")) << c.name;
    }
    EXPECT_TRUE(qeltest::ReadFile(target) == c.expected) << c.name;
    EXPECT_FALSE(Exists(target + ".qeldld")) << c.name;
    EXPECT_FALSE(Exists(target + ".qeldld.ifrange")) << c.name;
  }
}

TEST_F(DownloadTest, ResumableDownloadEdges) {
  server.AddFile("/a.bin", content);

  // An existing target counts as complete; only the probe goes out.
  qeltest::WriteFile("dl/exists.bin", "old");
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/exists.bin", nullptr)), 100000);
  EXPECT_EQ(qeltest::ReadFile("dl/exists.bin"), "old");
  EXPECT_TRUE(Gets("/a.bin").empty());

  // A partial file of the server's version that is already whole is renamed
  // without a transfer.
  WritePartial("dl/whole.bin", content, ServedFile::ContentETag(content));
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/whole.bin", nullptr)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/whole.bin") == content);
  EXPECT_TRUE(Gets("/a.bin").empty());

  // One longer than the file is no prefix of it: the download starts over.
  WritePartial("dl/long.bin", content + "garbage", ServedFile::ContentETag(content));
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/long.bin", nullptr)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/long.bin") == content);
  ASSERT_EQ(Gets("/a.bin").size(), 1u);
  EXPECT_FALSE(Gets("/a.bin")[0].HasHeader("Range"));
  EXPECT_EQ(Entries("dl"), (std::vector<std::string>{"exists.bin", "long.bin", "whole.bin"}));
}

TEST_F(DownloadTest, ResumableDownloadFailures) {
  ServedFile claimsMore = File(FileFault::kNone);
  claimsMore.headLength = static_cast<int64_t>(content.size()) + 10;
  struct Case {
    const char* name;
    ServedFile file;
    std::string url;
    std::string path;
    int code;
  };
  std::vector<Case> cases = {
      {"empty URL", File(FileFault::kNone), "-", "", 500001},
      {"empty path", File(FileFault::kNone), "", "-", 500007},
      {"probe answers 404", File(FileFault::kNotFound, FileFault::kNotFound), "", "", 500009},
      {"probe answers HTML 500", File(FileFault::kNone, FileFault::kServerErrorHtml), "", "", 500003},
      {"server refuses", File(FileFault::kNone), server.RefusedUrl("/x"), "", 500003},
      {"target folder missing", File(FileFault::kNone), "", "nofolder/t.bin", 500003},
      {"probe claims more bytes", claimsMore, "", "", 500003},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string urlPath = "/t" + std::to_string(i) + ".bin";
    server.AddFile(urlPath, c.file);
    std::string url = c.url.empty() ? server.Url(urlPath) : (c.url == "-" ? "" : c.url);
    std::string path = c.path.empty() ? "dl/t" + std::to_string(i) + ".bin" : (c.path == "-" ? "" : c.path);
    EXPECT_EQ(ReplyStatus(http.DownloadFileEx(url, "", path, nullptr)), c.code) << c.name;
    EXPECT_TRUE(Entries("dl").empty()) << c.name;
  }
  EXPECT_TRUE(Entries(".").size() == 1u) << "nothing written outside dl/";
}

// Links planted at the names of the partial file and of its validator. The
// download never writes or reads through them: it fails, and the link and
// what it points to stay as they were (a dangling one stays dangling).
TEST_F(DownloadTest, ResumableDownloadNeverFollowsALink) {
  server.AddFile("/a.bin", content);
  const std::string etag = ServedFile::ContentETag(content);
  struct Case {
    const char* name;
    const char* linkSuffix;  // beside the target
    bool dangling;
    // What the file the link names holds; for a validator beside a partial,
    // the server's ETag, which read through the link would resume it.
    std::string elsewhere;
    bool partial;  // a true partial file of the server's version is there too
  };
  const std::vector<Case> cases = {
      {"dangling partial", ".qeldld", true, "", false},
      {"partial linked to a file", ".qeldld", false, "keep me", false},
      {"dangling validator", ".qeldld.ifrange", true, "", false},
      {"validator linked to a file", ".qeldld.ifrange", false, "keep me", false},
      {"validator linked to a file, beside a partial", ".qeldld.ifrange", false, etag, true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string target = "dl/l" + std::to_string(i) + ".bin";
    const std::string link = target + c.linkSuffix;
    const std::string pointsTo = qeltest::TestDir() + "/elsewhere" + std::to_string(i) + ".txt";
    if (!c.dangling) qeltest::WriteFile(pointsTo, c.elsewhere);
    if (c.partial) qeltest::WriteFile(target + ".qeldld", content.substr(0, 1000));
    std::filesystem::create_symlink(pointsTo, link);

    EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", target, nullptr)), 500003) << c.name;
    EXPECT_FALSE(Exists(target)) << c.name;
    std::error_code ec;
    EXPECT_EQ(std::filesystem::read_symlink(link, ec).string(), pointsTo) << c.name << ": the link went";
    if (c.dangling) {
      EXPECT_FALSE(Exists(pointsTo)) << c.name;
    } else {
      EXPECT_EQ(qeltest::ReadFile(pointsTo), c.elsewhere) << c.name;
    }
    if (c.partial) {
      EXPECT_EQ(qeltest::ReadFile(target + ".qeldld"), content.substr(0, 1000)) << c.name;
    }
  }
  EXPECT_TRUE(Gets("/a.bin").empty()) << "nothing is fetched for a refused file";
}

// A link planted at the validator's name after the call checked it, while the
// answer is on its way: the validator kept at the first byte is not written
// through it. The download fails or brings the whole file, and the file the
// link names stays as it was (a dangling one stays dangling).
TEST_F(DownloadTest, ValidatorNeverWrittenThroughALinkPlantedBeforeTheFirstByte) {
  server.AddFile("/a.bin", content);
  struct Case {
    const char* name;
    bool dangling;
  };
  const std::vector<Case> cases = {
      {"validator linked to a file", false},
      {"dangling validator", true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string target = "dl/p" + std::to_string(i) + ".bin";
    const std::string link = target + ".qeldld.ifrange";
    const std::string pointsTo = qeltest::TestDir() + "/planted" + std::to_string(i) + ".txt";
    if (!c.dangling) qeltest::WriteFile(pointsTo, "keep me");
    auto planted = std::make_shared<std::atomic<bool>>(false);
    server.SetFileHook([link, pointsTo, planted](const qeltest::HttpRequestRecord& request) {
      if (request.method == "HEAD" || planted->exchange(true)) return;
      std::error_code ec;
      std::filesystem::create_symlink(pointsTo, link, ec);
      if (ec) planted->store(false);
    });

    int status = ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", target, nullptr));
    server.SetFileHook(nullptr);
    ASSERT_TRUE(planted->load()) << c.name << ": the link was never planted";
    if (c.dangling) {
      EXPECT_FALSE(Exists(pointsTo)) << c.name << ": written through the link";
    } else {
      EXPECT_EQ(qeltest::ReadFile(pointsTo), "keep me") << c.name << ": written through the link";
    }
    if (Exists(target)) {
      EXPECT_TRUE(qeltest::ReadFile(target) == content) << c.name;
    } else {
      EXPECT_NE(status, 100000) << c.name << ": success without the file";
    }
  }
}

TEST_F(DownloadTest, WriteErrorsFailTheDownload) {
  server.AddFile("/a.bin", content);
  // Writes past 100 KiB fail with EFBIG in this process (its own, per test).
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 100 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);

  EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/a.bin"), "", "dl/a.bin", nullptr)), 500003);
  EXPECT_TRUE(Entries("dl").empty());
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/b.bin", nullptr)), 500003);
  EXPECT_FALSE(Exists("dl/b.bin"));
  std::string partial = qeltest::ReadFile("dl/b.bin.qeldld");
  EXPECT_LE(partial.size(), limited.rlim_cur);
  EXPECT_TRUE(IsPrefix(partial, content));

  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/a.bin"), "", "dl/b.bin", nullptr)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/b.bin") == content);
}

TEST_F(DownloadTest, ServerWithoutContentLength) {
  server.AddFile("/n.bin", File(FileFault::kNoLength, FileFault::kNoLength));
  EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/n.bin"), "", "dl/plain.bin", RecordProgress)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/plain.bin") == content);
  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.back().second, -1.0) << "total unknown";
  EXPECT_EQ(ReplyStatus(http.DownloadFileEx(server.Url("/n.bin"), "", "dl/resumable.bin", nullptr)), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/resumable.bin") == content);
  EXPECT_EQ(Entries("dl"), (std::vector<std::string>{"plain.bin", "resumable.bin"}));
}

TEST_F(DownloadTest, BodyMakesTheTransferAPostAndSpacesAreEscaped) {
  server.AddFile("/my%20files/a%20b.bin", content);
  EXPECT_EQ(ReplyStatus(http.DownloadFile(server.Url("/my files/a b.bin"), "k=v", "dl/a b.bin", nullptr)),
            100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/a b.bin") == content);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].body, "k=v");
}

TEST_F(DownloadTest, ConcurrentDownloadsKeepTheirOwnState) {
  std::string other = RandomBytes(200 * 1024, 11);
  server.AddFile("/a.bin", content);
  server.AddFile("/b.bin", other);
  std::string replyA, replyB;
  std::thread a([&] {
    qelHttpJsonRequest own;
    replyA = own.DownloadFile(server.Url("/a.bin"), "", "dl/a.bin", RecordProgress);
  });
  std::thread b([&] {
    qelHttpJsonRequest own;
    replyB = own.DownloadFileEx(server.Url("/b.bin"), "", "dl/b.bin", RecordOtherProgress);
  });
  a.join();
  b.join();
  EXPECT_EQ(ReplyStatus(replyA), 100000);
  EXPECT_EQ(ReplyStatus(replyB), 100000);
  EXPECT_TRUE(qeltest::ReadFile("dl/a.bin") == content);
  EXPECT_TRUE(qeltest::ReadFile("dl/b.bin") == other);
  ASSERT_FALSE(g_progress.empty());
  ASSERT_FALSE(g_otherProgress.empty());
  EXPECT_EQ(g_progress.back(), std::make_pair(double(content.size()), double(content.size())));
  EXPECT_EQ(g_otherProgress.back(), std::make_pair(double(other.size()), double(other.size())));
}

}  // namespace
