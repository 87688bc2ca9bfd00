// JSON-RPC requests, uploads, status replies and the path helper of the
// transport, against the loopback test server.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <json/json.h>

#include "glogcapture.h"
#include "httptestserver.h"
#include "peakmemory.h"
#include "qel/json.h"
#include "qelhttpjsonrequest.h"
#include "testsupport.h"

namespace {

using qel::internet::qelHttpJsonRequest;
using qeltest::FileFault;
using qeltest::HttpTestServer;
using qeltest::ReplyStatus;
using qeltest::RpcEnvelope;
using qeltest::ServedFile;
using qeltest::TransportTimeouts;
using qeltest::UploadFault;

std::string StatusReply(int code) {
  return "{\"jsonrpc\":\"2.0\",\"result\":{\"result\":\"\",\"status\":\"" + std::to_string(code) + "\"}}";
}

// Compares bytes without printing them: a binary body of some hundred
// kilobytes in a failure message costs more than the test itself.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure()
         << actual.size() << " bytes instead of " << expected.size() << ", first difference at byte " << at;
}

class HttpJsonRequestTest : public ::testing::Test {
 protected:
  // Calls that should succeed get time to do so on a loaded machine; the
  // stall cases shorten them for themselves.
  TransportTimeouts timeouts{TransportTimeouts::kHealthy};
  HttpTestServer server;
  qelHttpJsonRequest http;
};

TEST_F(HttpJsonRequestTest, FailuresComeBackAsStatusReplies) {
  std::filesystem::create_directory("folder");
  qeltest::WriteFile("upload.bin", "x");
  ServedFile drop;
  drop.content = std::string(100000, 'd');
  drop.get = FileFault::kDropMidBody;
  server.AddFile("/drop", drop);

  struct Case {
    const char* name;
    bool upload;
    std::string url;
    std::string body;
    std::string path;
    int code;
    bool reachesServer;
  };
  const std::vector<Case> cases = {
      {"invoke, empty URL", false, "", "{}", "", 500001, false},
      {"invoke, refused", false, server.RefusedUrl("/x"), "{}", "", 500003, false},
      {"invoke, not http", false, "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x", "", "", 500003,
       false},
      {"invoke, file URL", false, "file:///etc/hostname", "", "", 500003, false},
      {"invoke, server drops mid-body", false, server.Url("/drop"), "", "", 500003, true},
      {"upload, empty URL before empty path", true, "", "", "", 500001, false},
      {"upload, empty path", true, server.Url("/up"), "", "", 500007, false},
      {"upload, missing file", true, server.Url("/up"), "", "missing.bin", 500006, false},
      {"upload, a folder", true, server.Url("/up"), "", "folder", 500006, false},
      {"upload, refused", true, server.RefusedUrl("/up"), "", "upload.bin", 500003, false},
  };
  for (const Case& c : cases) {
    size_t before = server.Requests().size();
    std::string reply = c.upload ? http.UploadFile(c.url, c.body, c.path) : http.Invoke(c.url, c.body);
    EXPECT_EQ(reply, StatusReply(c.code)) << c.name;
    EXPECT_EQ(server.Requests().size() - before, c.reachesServer ? 1u : 0u) << c.name;
  }
}

// A server that never answers, or never reads what is sent, must not hold a
// call past its time-out. The call runs on a thread of its own so that a
// missing time-out fails the test instead of leaving it waiting for ever.
TEST_F(HttpJsonRequestTest, StalledCallsEndAtTheirTimeOut) {
  qeltest::WriteFile("small.bin", "x");
  // Larger than the socket buffers: the client blocks in sending.
  qeltest::WriteFile("large.bin", std::string(16 * 1024 * 1024, 'u'));
  ServedFile stall;
  stall.get = FileFault::kStallHeaders;
  struct Case {
    const char* name;
    bool upload;
    std::string path;
    UploadFault fault;
  };
  const std::vector<Case> cases = {
      {"invoke, no answer", false, "", UploadFault::kNone},
      {"upload, no answer", true, "small.bin", UploadFault::kStallAfterBody},
      {"upload, body never read", true, "large.bin", UploadFault::kStallBeforeBody},
  };
  for (const Case& c : cases) {
    auto stalling = std::make_unique<HttpTestServer>();
    stalling->AddFile("/stall", stall);
    stalling->SetUploadFault(c.fault);
    const std::string url = stalling->Url("/stall");
    TransportTimeouts budget(TransportTimeouts::kStalledCall);
    auto call = std::async(std::launch::async, [&] {
      qelHttpJsonRequest own;
      return c.upload ? own.UploadFile(url, "", c.path) : own.Invoke(url, "");
    });
    // Far beyond the shortened time-out: only a call without one is still
    // waiting then.
    EXPECT_TRUE(call.wait_for(std::chrono::seconds(30)) == std::future_status::ready)
        << c.name << ": still waiting long after its time-out";
    EXPECT_TRUE(stalling->WaitForRequests(1)) << c.name;
    stalling.reset();  // ends the stall of a call that is still waiting
    EXPECT_EQ(call.get(), StatusReply(500003)) << c.name;
  }
}

TEST_F(HttpJsonRequestTest, EmptyBodyIsGetAndBodyIsPostInUtf8) {
  server.AddFile("/page", "plain page");
  EXPECT_EQ(http.Invoke(server.Url("/page"), ""), "plain page");
  std::string gbkBody = qeltest::Gbk("name=产品&x=1");
  http.Invoke(server.RpcUrl(), gbkBody);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].path, HttpTestServer::kRpcPath);
  EXPECT_EQ(requests[1].body, "name=产品&x=1");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-www-form-urlencoded; charset=UTF-8");
}

// A post that meets a redirect reaches the new address as the same post;
// a GET there would read a page or a cached answer as the service's reply.
TEST_F(HttpJsonRequestTest, RedirectedPostStaysAPostWithItsBody) {
  server.ScriptRpc("PassportService.json", "login", "100000", Json::Value("welcome"));
  const std::string body = RpcEnvelope("PassportService.json", "login", Json::Value(qeltest::Gbk("张三")));
  for (int status : {301, 302, 303, 307, 308}) {
    server.ClearRequests();
    std::string from = "/moved" + std::to_string(status);
    server.AddRedirect(from, status, server.RpcUrl());
    std::string reply = http.Invoke(server.Url(from), body);

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u) << status;
    EXPECT_EQ(requests[0].path, from) << status;
    EXPECT_EQ(requests[1].method, "POST") << status;
    EXPECT_EQ(requests[1].path, HttpTestServer::kRpcPath) << status;
    EXPECT_EQ(requests[1].body, qeltest::Utf8(body)) << status;
    EXPECT_NE(reply.find("welcome"), std::string::npos) << status << ": " << reply;
  }
}

// A post or an upload carries accounts and passwords: it follows a
// redirect within its own origin, the body sent again whole, and never to
// another origin (here another port of the same host), which is reached
// by nothing.
TEST_F(HttpJsonRequestTest, RedirectsAreFollowedOnlyWithinTheirOrigin) {
  HttpTestServer other;
  other.ScriptRpc("PassportService.json", "login", "100000", Json::Value("welcome"));
  server.ScriptRpc("PassportService.json", "login", "100000", Json::Value("welcome"));
  const std::string body = RpcEnvelope("PassportService.json", "login", Json::Value("s3cret-pass"));
  const std::string upload = "the attachment's own bytes";
  qeltest::WriteFile("upload.bin", upload);
  const struct {
    const char* name;
    bool upload;
    int status;
    bool sameOrigin;
  } cases[] = {
      {"post, 307, same origin", false, 307, true},    {"post, 307, other origin", false, 307, false},
      {"post, 302, other origin", false, 302, false},  {"post, 308, other origin", false, 308, false},
      {"upload, 307, same origin", true, 307, true},   {"upload, 307, other origin", true, 307, false},
      {"upload, 301, other origin", true, 301, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    server.ClearRequests();
    other.ClearRequests();
    const std::string from = "/from" + std::to_string(i);
    const std::string to = c.upload ? "/to" + std::to_string(i) : std::string(HttpTestServer::kRpcPath);
    server.AddRedirect(from, c.status, c.sameOrigin ? server.Url(to) : other.Url(to));
    const std::string reply =
        c.upload ? http.UploadFile(server.Url(from), "", "upload.bin") : http.Invoke(server.Url(from), body);
    if (c.sameOrigin) {
      auto requests = server.Requests();
      ASSERT_EQ(requests.size(), 2u) << c.name;
      EXPECT_EQ(requests[1].path, to) << c.name;
      EXPECT_EQ(requests[1].method, c.upload ? "PUT" : "POST") << c.name;
      EXPECT_EQ(requests[1].body, c.upload ? upload : qeltest::Utf8(body)) << c.name;
      EXPECT_NE(ReplyStatus(reply), 500003) << c.name << ": " << reply;
    } else {
      EXPECT_EQ(ReplyStatus(reply), 500003) << c.name << ": " << reply;
      EXPECT_TRUE(other.Requests().empty()) << c.name << ": the other origin was reached";
      EXPECT_EQ(server.Requests().size(), 1u) << c.name;
    }
  }
}

TEST_F(HttpJsonRequestTest, ChineseTextSurvivesBothDirections) {
  Json::Value result(Json::objectValue);
  result["userName"] = "张三";
  result["company"] = "上海机械有限公司";
  server.ScriptRpc("PassportService.json", "login", "100000", result);

  Json::Value param(Json::objectValue);
  param["name"] = qeltest::Gbk("李四");
  std::string reply = http.Invoke(server.RpcUrl(), RpcEnvelope("PassportService.json", "login", param));

  auto calls = server.RpcCalls();
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].requests.size(), 1u);
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(calls[0].requests[0], "param"), "name"), "李四");

  Json::Value parsed;
  ASSERT_TRUE(qel::ParseJson(reply, &parsed)) << reply;
  const Json::Value& item = qel::Element(qel::ArrayMember(qel::ObjectMember(parsed, "result"), "result"), 0);
  EXPECT_EQ(qel::StringMember(item, "status"), "100000");
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(item, "result"), "userName"), qeltest::Gbk("张三"));
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(item, "result"), "company"),
            qeltest::Gbk("上海机械有限公司"));
}

TEST_F(HttpJsonRequestTest, InvalidGbkSequenceIsDroppedAndTheRestSent) {
  // "中", a byte that is no GBK, "文": the rest of the text must not be cut.
  std::string body = qeltest::Gbk("中") + "\xFF" + qeltest::Gbk("文") + "end";
  http.Invoke(server.RpcUrl(), body);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body, "中文end");
}

TEST_F(HttpJsonRequestTest, SpacesAloneAreEscaped) {
  server.AddFile("/a%20b/c%20d", "spaced");
  EXPECT_EQ(http.Invoke(server.Url("/a b/c d?q=x y&p=%41+z"), ""), "spaced");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/a%20b/c%20d?q=x%20y&p=%41+z");
}

// An error page is the caller's reply, as it came; the status it came with
// is logged, so that an operator can tell a failing service from a bad reply.
TEST_F(HttpJsonRequestTest, ErrorPageIsReturnedAsTheReplyAndItsStatusLogged) {
  const std::string html = "<html><body>服务器错误 Internal Server Error</body></html>";
  qeltest::WriteFile("a.txt", "abc");
  struct Case {
    const char* name;
    bool upload;
    int httpStatus;
  };
  const std::vector<Case> cases = {
      {"invoke, 500", false, 500}, {"invoke, 404", false, 404}, {"invoke, 200", false, 200},
      {"upload, 502", true, 502},  {"upload, 200", true, 200},
  };
  for (const Case& c : cases) {
    server.ScriptRpcRaw("PassportService.json", "login", c.httpStatus, html, "text/html;charset=UTF-8");
    server.SetUploadReply(c.httpStatus, html);
    qeltest::GlogErrors warnings(google::GLOG_WARNING);
    std::string reply =
        c.upload ? http.UploadFile(server.Url("/servlet/UpLoadServer?user=u1&password=s3cret"), "", "a.txt")
                 : http.Invoke(server.RpcUrl() + "?password=s3cret",
                               RpcEnvelope("PassportService.json", "login", Json::Value()));
    EXPECT_EQ(reply, qeltest::Gbk(html)) << c.name;
    if (c.httpStatus == 200) {
      EXPECT_EQ(warnings.Text(), "") << c.name;
    } else {
      EXPECT_TRUE(warnings.HasAt(google::GLOG_WARNING,
                                 {"HTTP status " + std::to_string(c.httpStatus), server.BaseUrl()}))
          << c.name << ": " << warnings.Text();
    }
    EXPECT_EQ(warnings.Text().find("s3cret"), std::string::npos) << c.name << ": " << warnings.Text();
  }
}

// A reply is held in memory while it arrives, so it has a bound: up to
// 16 MiB it is the caller's, anything longer fails while it arrives
// (announced or not) and the memory it takes stays near the bound: a
// 32 MiB reply takes no more than one a byte over the bound, in this run.
TEST_F(HttpJsonRequestTest, RepliesLongerThan16MiBFailWhileTheyArrive) {
  const size_t kBound = 16u * 1024u * 1024u;
  qeltest::WriteFile("a.txt", "abc");
  struct Case {
    const char* name;
    bool upload;
    size_t size;
    bool announced;  // with a Content-Length
    int control;     // the case, a byte over the bound, whose memory it may not exceed
  };
  const std::vector<Case> cases = {
      {"invoke, 16 MiB", false, kBound, true, -1},
      {"invoke, 16 MiB unannounced", false, kBound, false, -1},
      {"invoke, 16 MiB + 1", false, kBound + 1, true, -1},
      {"invoke, 16 MiB + 1 unannounced", false, kBound + 1, false, -1},
      {"invoke, 32 MiB", false, 2 * kBound, true, 2},
      {"invoke, 32 MiB unannounced", false, 2 * kBound, false, 3},
      {"upload, 16 MiB", true, kBound, true, -1},
      {"upload, 16 MiB + 1", true, kBound + 1, true, -1},
      {"upload, 16 MiB + 1 unannounced", true, kBound + 1, false, -1},
      {"upload, 32 MiB unannounced", true, 2 * kBound, false, 8},
  };
  std::vector<long long> grown(cases.size(), 0);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string path = "/big" + std::to_string(i);
    {
      // Built before the peak is measured, and kept by the server alone.
      std::string body(c.size, 'r');
      if (c.upload) {
        server.SetUploadReply(200, body);
        server.SetUploadFault(c.announced ? UploadFault::kNone : UploadFault::kNoLength);
      } else {
        ServedFile file;
        file.content = std::move(body);
        file.get = c.announced ? FileFault::kNone : FileFault::kNoLength;
        server.AddFile(path, std::move(file));
      }
    }
    ASSERT_TRUE(qeltest::ResetPeakMemory());
    long long before = qeltest::PeakMemory();
    std::string reply =
        c.upload ? http.UploadFile(server.Url("/up"), "", "a.txt") : http.Invoke(server.Url(path), "{}");
    grown[i] = qeltest::PeakMemory() - before;
    if (c.size <= kBound) {
      EXPECT_EQ(reply.size(), c.size) << c.name;
      EXPECT_EQ(reply.find_first_not_of('r'), std::string::npos) << c.name;
    } else {
      EXPECT_EQ(reply, StatusReply(500003)) << c.name;
    }
    if (c.control >= 0) {
      // Holding the whole reply would take another 16 MiB and more.
      EXPECT_LT(grown[i], grown[static_cast<size_t>(c.control)] + static_cast<long long>(kBound / 2))
          << c.name << " against " << cases[static_cast<size_t>(c.control)].name;
    }
    reply = std::string();
    server.RemoveFile(path);
    server.SetUploadReply(200, "");
  }
}

TEST_F(HttpJsonRequestTest, UploadSendsTheExactBytesByPut) {
  std::string content;
  for (unsigned i = 0; i < 300000; ++i) content += static_cast<char>((i * 7919u) % 256u);  // NUL and 0xFF too
  qeltest::WriteFile("picture.jpg", content);
  qeltest::WriteFile("empty.jpg", "");
  server.SetUploadReply(200,
                        "{\"result\":{\"status\":\"100000\",\"result\":[{\"status\":\"100000\","
                        "\"result\":{\"value1\":\"上传/图片.jpg\"}}]}}");

  std::string url = server.Url("/servlet/UpLoadServer?");
  std::string reply = http.UploadFile(url, "ignored=1", "picture.jpg");
  // The server records an upload before it answers, so the order below holds
  // once the reply is here.
  ASSERT_NE(reply.find(qeltest::Gbk("上传/图片.jpg")), std::string::npos)
      << "reply converted to GBK: " << reply;
  EXPECT_NE(http.UploadFile(url, "", "empty.jpg").find(qeltest::Gbk("上传/图片.jpg")), std::string::npos);

  auto uploads = server.Uploads();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0].target, "/servlet/UpLoadServer?");
  EXPECT_TRUE(SameBytes(uploads[0].body, content)) << "upload differs from the file";
  EXPECT_EQ(uploads[0].Header("Content-Length"), std::to_string(content.size()));
  EXPECT_FALSE(uploads[0].HasHeader("Expect"));
  EXPECT_EQ(uploads[0].Header("Content-Type"), "multipart/form-data");
  EXPECT_EQ(uploads[0].Header("charset"), "UTF-8");
  EXPECT_TRUE(SameBytes(uploads[1].body, ""));
  EXPECT_EQ(uploads[1].Header("Content-Length"), "0");
}

TEST_F(HttpJsonRequestTest, FileNameOfAPath) {
  const std::string gbkTrail = "\x81\x5C";  // one GBK character whose second byte is "\"
  struct Case {
    std::string path;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"C:\\data\\files\\a.db", "a.db"},
      {"data/files\\sub\\a.db", "files\\sub\\a.db"},
      {"/abs/path/name.txt", "name.txt"},
      {"name.txt", "name.txt"},
      {"folder/", ""},
      {"", ""},
      {"dir\\" + gbkTrail + "x.txt", gbkTrail + "x.txt"},
      {gbkTrail + "x.txt", gbkTrail + "x.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(http.getFileNameByAbsPath(c.path), c.name) << "path: " << c.path;
}

TEST_F(HttpJsonRequestTest, CopiesAndConcurrentFirstUseAreSafe) {
  server.AddFile("/ping", "pong");
  qelHttpJsonRequest copy(http);
  qelHttpJsonRequest assigned;
  assigned = copy;
  EXPECT_EQ(copy.Invoke(server.Url("/ping"), ""), "pong");
  EXPECT_EQ(assigned.Invoke(server.Url("/ping"), ""), "pong");

  std::vector<std::string> replies(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < replies.size(); ++i) {
    threads.emplace_back([&, i] {
      qelHttpJsonRequest own;
      replies[i] = own.Invoke(server.Url("/ping"), "");
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& reply : replies) EXPECT_EQ(reply, "pong");
}

}  // namespace
