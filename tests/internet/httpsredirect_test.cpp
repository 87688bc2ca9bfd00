// A transfer that starts on https never goes on over plain http: such a
// redirect fails the call before anything (a password, a file's bytes) is
// sent to the http address, while a redirect to another https address is
// followed as before, for a post or an upload only within its own origin.
// The https server is the loopback test server behind
// TLS, with a certificate authority trusted inside this process only.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "httpsfront.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qelhttpjsonrequest.h"
#include "testsupport.h"

namespace {

using qel::internet::qelHttpJsonRequest;
using qeltest::HttpTestServer;
using qeltest::ReplyStatus;
using qeltest::ServedFile;
using qeltest::TransportTimeouts;

// The CA bundle libcurl reads when a transfer names none.
std::string SystemCaBundle() {
  CURL* handle = curl_easy_init();
  char* path = nullptr;
  std::string bundle;
  if (handle != nullptr && curl_easy_getinfo(handle, CURLINFO_CAINFO, &path) == CURLE_OK && path != nullptr)
    bundle = path;
  curl_easy_cleanup(handle);
  return bundle.empty() ? "/etc/ssl/certs/ca-certificates.crt" : bundle;
}

// A login as the bridge posts it, the password among its parameters.
std::string LoginEnvelope() {
  Json::Value param(Json::objectValue);
  param["loginName"] = "u1";
  param["password"] = "s3cret-pass";
  return qeltest::RpcEnvelope("PassportService.json", "login", param);
}

enum class Op { kPost, kUpload, kDownload, kResume };

class HttpsRedirectTest : public ::testing::Test {
 protected:
  static constexpr size_t kPartial = 1000;

  void SetUp() override {
    std::string why;
    ASSERT_TRUE(qeltest::MakeTestCertificates("certs", &certificates, &why)) << why;
    // Before any thread starts: the namespace is the process's own.
    if (!qeltest::TrustOnlyInThisProcess(certificates.caFile, SystemCaBundle(), &why)) GTEST_SKIP() << why;
    secure = std::make_unique<HttpTestServer>();
    plain = std::make_unique<HttpTestServer>();
    front = std::make_unique<qeltest::HttpsFront>(*secure, certificates);
    std::filesystem::create_directory("dl");
    for (size_t i = 0; i < 200000; ++i) content += static_cast<char>((i * 131u) % 251u);
    qeltest::WriteFile("upload.bin", upload);
    secure->ScriptRpc("PassportService.json", "login", "100000", Json::Value("welcome"));
  }

  // Runs op on url; a resumed download starts from a partial file of the
  // server's version.
  std::string Perform(Op op, const std::string& url, const std::string& target) {
    switch (op) {
      case Op::kPost:
        return http.Invoke(url, body);
      case Op::kUpload:
        return http.UploadFile(url, "", "upload.bin");
      case Op::kDownload:
        return http.DownloadFile(url, "", target, nullptr);
      case Op::kResume:
        qeltest::WriteFile(target + ".qeldld", content.substr(0, kPartial));
        qeltest::WriteFile(target + ".qeldld.ifrange", ServedFile::ContentETag(content));
        return http.DownloadFileEx(url, "", target, nullptr);
    }
    return std::string();
  }

  TransportTimeouts timeouts{TransportTimeouts::kHealthy};
  qeltest::TestCertificates certificates;
  std::unique_ptr<HttpTestServer> secure;
  std::unique_ptr<HttpTestServer> plain;
  std::unique_ptr<qeltest::HttpsFront> front;
  qelHttpJsonRequest http;
  std::string content;
  const std::string upload = "the attachment's own bytes";
  const std::string body = LoginEnvelope();
};

TEST_F(HttpsRedirectTest, NeverRedirectedFromHttpsToHttp) {
  struct Case {
    const char* name;
    Op op;
    int status;
    bool headToo;  // the size probe meets the redirect as well
  };
  const std::vector<Case> cases = {
      {"post, 307", Op::kPost, 307, true},
      {"post, 302", Op::kPost, 302, true},
      {"upload, 307", Op::kUpload, 307, true},
      {"upload, 302", Op::kUpload, 302, true},
      {"download, its probe 302", Op::kDownload, 302, true},
      {"download, its probe 307", Op::kDownload, 307, true},
      {"download, the transfer 302", Op::kDownload, 302, false},
      {"resumed download, 302", Op::kResume, 302, false},
      {"resumed download, 307", Op::kResume, 307, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string from = "/from" + std::to_string(i);
    const std::string to = "/to" + std::to_string(i);
    const std::string target = "dl/t" + std::to_string(i) + ".bin";
    secure->AddFile(from, content);
    secure->AddRedirect(from, c.status, plain->Url(to), c.headToo ? "" : "GET");
    plain->AddFile(to, content);

    EXPECT_EQ(ReplyStatus(Perform(c.op, front->Url(from), target)), 500003) << c.name;
    EXPECT_TRUE(plain->Requests().empty()) << c.name << ": the http address was reached";
    EXPECT_GE(secure->Requests().size(), 1u) << c.name << ": the https address was never reached";
    EXPECT_FALSE(std::filesystem::exists(target)) << c.name;
    if (c.op == Op::kResume) {
      EXPECT_EQ(qeltest::ReadFile(target + ".qeldld"), content.substr(0, kPartial)) << c.name;
    }
    secure->ClearRequests();
    plain->ClearRequests();
  }
}

TEST_F(HttpsRedirectTest, RedirectsWithinHttpsAreFollowed) {
  struct Case {
    const char* name;
    Op op;
    int status;  // 0: no redirect
  };
  const std::vector<Case> cases = {
      {"post, 307", Op::kPost, 307},
      {"post, 302", Op::kPost, 302},
      {"upload, 307", Op::kUpload, 307},
      {"download", Op::kDownload, 0},
      {"resumed download, 302", Op::kResume, 302},
      {"resumed download, 307", Op::kResume, 307},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string from = "/from" + std::to_string(i);
    const std::string to = c.op == Op::kPost ? HttpTestServer::kRpcPath : "/to" + std::to_string(i);
    const std::string target = "dl/t" + std::to_string(i) + ".bin";
    secure->AddFile(from, content);  // what the size probe of a resumed download meets
    if (c.status != 0) {
      if (c.op != Op::kPost) secure->AddFile(to, content);  // a post reaches the service there
      secure->AddRedirect(from, c.status, front->Url(to), c.op == Op::kResume ? "GET" : "");
    }

    std::string reply = Perform(c.op, front->Url(from), target);
    auto requests = secure->Requests();
    ASSERT_FALSE(requests.empty()) << c.name;
    const qeltest::HttpRequestRecord& last = requests.back();
    EXPECT_EQ(last.path, c.status == 0 ? from : to) << c.name;
    switch (c.op) {
      case Op::kPost:
        EXPECT_NE(reply.find("welcome"), std::string::npos) << c.name << ": " << reply;
        EXPECT_EQ(last.method, "POST") << c.name;
        EXPECT_EQ(last.body, body) << c.name;
        break;
      case Op::kUpload:
        EXPECT_NE(reply.find("upload/"), std::string::npos) << c.name << ": " << reply;
        EXPECT_EQ(last.method, "PUT") << c.name;
        EXPECT_EQ(last.body, upload) << c.name;
        break;
      case Op::kDownload:
      case Op::kResume:
        EXPECT_EQ(ReplyStatus(reply), 100000) << c.name;
        EXPECT_TRUE(qeltest::ReadFile(target) == content) << c.name;
        if (c.op == Op::kResume) {
          EXPECT_EQ(last.Header("Range"), "bytes=" + std::to_string(kPartial) + "-") << c.name;
        }
        break;
    }
    secure->ClearRequests();
  }
  EXPECT_TRUE(plain->Requests().empty());
}

// A login redirected to another https host would take its password there:
// a post or an upload fails (500003) and that host is reached by nothing.
TEST_F(HttpsRedirectTest, PostsAndUploadsNeverRedirectedToAnotherHttpsHost) {
  HttpTestServer elsewhere;
  qeltest::HttpsFront elsewhereFront(elsewhere, certificates);
  elsewhere.ScriptRpc("PassportService.json", "login", "100000", Json::Value("welcome"));
  const struct {
    const char* name;
    Op op;
    int status;
  } cases[] = {
      {"post, 307", Op::kPost, 307},
      {"post, 302", Op::kPost, 302},
      {"upload, 307", Op::kUpload, 307},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const std::string from = "/away" + std::to_string(i);
    const std::string to = c.op == Op::kPost ? HttpTestServer::kRpcPath : "/there" + std::to_string(i);
    secure->AddRedirect(from, c.status, elsewhereFront.Url(to));

    const std::string reply = Perform(c.op, front->Url(from), "");
    EXPECT_EQ(ReplyStatus(reply), 500003) << c.name << ": " << reply;
    EXPECT_TRUE(elsewhere.Requests().empty()) << c.name << ": the other host was reached";
    EXPECT_EQ(secure->Requests().size(), 1u) << c.name;
    secure->ClearRequests();
  }
}

}  // namespace
