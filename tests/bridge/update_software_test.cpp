// The application-update check and file list, reached through the custom
// module's forwarders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridgetest.h"
#include "update_fixture.h"
#include "httptestserver.h"
#include "qel/json.h"
#include "qelbridge.h"
#include "testsupport.h"

using qeltest::Call;
using qeltest::Column;
using qeltest::HttpTestServer;
using qeltest::Installation;

namespace {

constexpr int kAppCheck = 0x572;
constexpr int kAppFiles = 0x573;
constexpr int kCheck = 0x571;

void ScriptVersion(HttpTestServer& server, const std::string& version) {
  Json::Value latest(Json::objectValue);
  latest["packageTime"] = "100";
  latest["APPVERSION"] = version;
  server.ScriptRpc("SpClientSetupService.json", "loadLatestUpdate", "100000", latest);
}

void Start(const Installation& install, const HttpTestServer& server) {
  install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', 100);");
  ASSERT_EQ(InitQelbridge(260, install.StartupJson(server.RpcUrl()).c_str()), 0);
}

TEST(UpdateSoftWare, ComparesTheLocalVersionWithTheServicesOne) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  Installation install("install", "V1.2.3.4");
  Start(install, server);
  const struct {
    const char* server;
    const char* status;
  } cases[] = {{"V1.2.3.5", "2"}, {"V1.3.0.0", "1"}, {"V2.0.0.0", "1"},
               {"V1.2.3.4", "0"}, {"V1.2.3.3", "3"}, {"V1.2.2.9", "3"}};
  for (const auto& c : cases) {
    ScriptVersion(server, c.server);
    qeltest::Reply reply = Call(kAppCheck);
    EXPECT_EQ(reply.result, 0) << c.server;
    EXPECT_EQ(Column(reply.text, "STATUS"), std::vector<std::string>{c.status})
        << c.server << ": " << reply.text;
  }
  Json::Value request = server.RpcCalls().back().requests.at(0);
  EXPECT_EQ(request["param"]["deviceType"].asInt(), 260);
  EXPECT_EQ(qel::StringMember(request["param"], "templateID"), "t1");
  EXPECT_EQ(qel::StringMember(request["param"], "langID"), "3");
}

// A ver.qel saved with a byte-order mark or trailing blanks holds the same
// version; each case starts a client of its own, since ver.qel is read at
// start-up.
TEST(UpdateSoftWare, LocalVersionIsComparedWithoutByteOrderMarkAndTrailingBlanks) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  const struct {
    const char* file;
    const char* server;
    const char* status;
  } cases[] = {
      {"\xEF\xBB\xBFV1.2.3.4", "V1.2.3.4", "0"},      {"V1.2.3.4 \t", "V1.2.3.4", "0"},
      {"\xEF\xBB\xBFV1.2.3.4 \r\n", "V1.2.3.4", "0"}, {"\xEF\xBB\xBFV1.2.3.4", "V1.2.3.5", "2"},
      {"\xEF\xBB\xBFV1.2.3.4 ", "V1.3.0.0", "1"},     {"V1.2.3.4\t", "V1.2.3.3", "3"},
      {"\xEF\xBB\xBF \r\n", "V1.0.0.0", "1"},
  };
  for (const auto& c : cases) {
    Installation install("install", c.file);
    install.Ex("INSERT INTO COMPANY (ID, SERIALID, COMTEMP, PACKTIME) VALUES ('1001', 's1', 't1', 100);");
    ScriptVersion(server, c.server);
    updatetest::Start start = updatetest::RunStart(install, server.RpcUrl(), kAppCheck);
    ASSERT_TRUE(start.exited) << c.file;
    EXPECT_EQ(start.result, 0) << c.file;
    EXPECT_EQ(Column(start.reply, "STATUS"), std::vector<std::string>{c.status})
        << "ver.qel: " << c.file << ", service: " << c.server << ": " << start.reply;
  }
}

TEST(UpdateSoftWare, WithoutALocalVersionAnUpdateIsNeededAndTheListAsksForVersion1) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  Installation install("install", "");
  Start(install, server);
  ScriptVersion(server, "V1.0.0.0");
  EXPECT_EQ(Column(Call(kAppCheck).text, "STATUS"), std::vector<std::string>{"1"});
  server.ScriptRpc("SpClientSetupService.json", "loadAppUpdateFile", "100000", Json::Value(Json::arrayValue));
  EXPECT_EQ(Call(kAppFiles).result, 0);
  Json::Value request = server.RpcCalls().back().requests.at(0);
  EXPECT_EQ(qel::StringMember(request["param"], "appVersionID"), "1");
}

TEST(UpdateSoftWare, FileListKeepsSafeNamesAndTheirGbkBytes) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  Installation install("install", "V1.2.3.4");
  Start(install, server);
  Json::Value files(Json::arrayValue);
  auto add = [&files](const std::string& name) {
    Json::Value file(Json::objectValue);
    file["url"] = "http://files.example/app";
    file["filePath"] = name;
    file["fileName"] = name;
    files.append(file);
  };
  add("/bin/qel.dll");
  add("/数据/誠.dat");  // a GBK second byte 0x5C
  add("../../etc/evil.so");
  add("C:/evil.dll");
  server.ScriptRpc("SpClientSetupService.json", "loadAppUpdateFile", "100000", files);
  qeltest::Reply reply = Call(kAppFiles);
  EXPECT_EQ(reply.result, 0);
  Json::Value list;
  ASSERT_TRUE(qel::ParseGbkJson(reply.text, &list)) << reply.text;
  EXPECT_EQ(Column(list, "fileName"),
            (std::vector<std::string>{"/bin/qel.dll", qeltest::Gbk("/数据/誠.dat")}));
  Json::Value request = server.RpcCalls().back().requests.at(0);
  EXPECT_EQ(qel::StringMember(request["param"], "appVersionID"), "V1.2.3.4");
}

TEST(UpdateSoftWare, ServiceFailuresReachTheCallerAsTheirCode) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  Installation install("install", "V1.2.3.4");
  Start(install, server);
  const std::string refused =
      "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{\"status\":\"100020\",\"result\":[]}}";
  server.ScriptRpcRaw("SpClientSetupService.json", "loadLatestUpdate", 200, refused);
  server.ScriptRpcRaw("SpClientSetupService.json", "loadAppUpdateFile", 200, refused);
  server.ScriptRpcRaw("SpClientSetupService.json", "loadUpdateData", 200, refused);
  EXPECT_EQ(Call(kAppCheck).result, 100020);
  EXPECT_EQ(Call(kAppFiles).result, 100020);
  EXPECT_EQ(Call(kCheck).result, 100020);
  // An item that is refused while the reply as a whole succeeds.
  server.ClearRpcScripts();
  server.ScriptRpc("SpClientSetupService.json", "loadAppUpdateFile", "100013");
  EXPECT_EQ(Call(kAppFiles).result, 100013);
  // No item at all never reads as success.
  server.ScriptRpcRaw("SpClientSetupService.json", "loadLatestUpdate", 200,
                      "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{\"status\":\"100000\",\"result\":[]}}");
  EXPECT_EQ(Call(kAppCheck).result, 19999);
}

TEST(UpdateForwarders, CheckIgnoresTheRequestText) {
  qeltest::TransportTimeouts timeouts(qeltest::TransportTimeouts::kHealthy);
  HttpTestServer server;
  Installation install("install", "V1.2.3.4");
  Start(install, server);
  ScriptVersion(server, "V1.2.3.4");
  qeltest::Reply empty = Call(kCheck, "");
  qeltest::Reply garbage = Call(kCheck, "{\"PARAM\":{\"X\":1}} not json");
  EXPECT_EQ(empty.result, 0);
  EXPECT_EQ(garbage.result, empty.result);
  EXPECT_EQ(garbage.text, empty.text);
  EXPECT_EQ(Column(empty.text, "STATUS"), std::vector<std::string>{"0"});
}

}  // namespace
