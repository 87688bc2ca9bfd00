// The loopback test server's own promises that later tests build on:
// JSON-RPC scripting by interfaceUrl and method, recording, upload replies
// and a shutdown that ends stalled answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include <json/json.h>

#include "httptestserver.h"
#include "qel/json.h"
#include "qelhttpjsonrequest.h"
#include "testsupport.h"

namespace {

using qel::internet::qelHttpJsonRequest;
using qeltest::HttpTestServer;

Json::Value RequestObject(const std::string& interfaceUrl, const std::string& method) {
  Json::Value request(Json::objectValue);
  request["interfaceUrl"] = interfaceUrl;
  request["method"] = method;
  request["param"]["name"] = "u1";
  return request;
}

std::string Envelope(const Json::Value& requests) {
  Json::Value base(Json::objectValue);
  base["companyID"] = Json::Int64(1001);
  base["templateID"] = "7";
  base["parameter"] = requests;
  base["sign"] = "r5k2w8m3p";
  Json::Value envelope(Json::objectValue);
  envelope["jsonrpc"] = "2.0";
  envelope["method"] = "requestMethods";
  envelope["id"] = "4711";
  envelope["params"].append(qel::WriteCompact(base));
  return qel::WriteCompact(envelope);
}

Json::Value Parse(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(qel::ParseJson(text, &value)) << text;
  return value;
}

TEST(HttpTestServerTest, RepliesItemByItemAsScripted) {
  HttpTestServer server;
  Json::Value user(Json::objectValue);
  user["userId"] = "7";
  server.ScriptRpc("PassportService.json", "login", "100000", user);
  Json::Value requests(Json::arrayValue);
  requests.append(RequestObject("PassportService.json", "login"));
  requests.append(RequestObject("FavService.json", "saveProdFav"));

  qelHttpJsonRequest http;
  Json::Value reply = Parse(http.Invoke(server.RpcUrl(), Envelope(requests)));
  EXPECT_EQ(qel::StringMember(reply, "id"), "4711");
  const Json::Value& result = qel::ObjectMember(reply, "result");
  EXPECT_EQ(qel::StringMember(result, "status"), "100000");
  const Json::Value& items = qel::ArrayMember(result, "result");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(qel::StringMember(items[0], "status"), "100000");
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(items[0], "result"), "userId"), "7");
  EXPECT_EQ(qel::StringMember(items[1], "status"), "19999") << "an item nobody scripted";

  auto calls = server.RpcCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].path, HttpTestServer::kRpcPath);
  EXPECT_EQ(qel::StringMember(calls[0].envelope, "method"), "requestMethods");
  EXPECT_EQ(qel::TextMember(calls[0].base, "companyID"), "1001");
  ASSERT_EQ(calls[0].requests.size(), 2u);
  EXPECT_EQ(qel::StringMember(calls[0].requests[1], "method"), "saveProdFav");
}

TEST(HttpTestServerTest, RawScriptsAndBadEnvelopes) {
  HttpTestServer server;
  server.ScriptRpcRaw("FavService.json", "saveProdFav", 200, "{\"result\":{\"status\":\"100020\"}}");
  Json::Value requests(Json::arrayValue);
  requests.append(RequestObject("PassportService.json", "login"));
  requests.append(RequestObject("FavService.json", "saveProdFav"));

  qelHttpJsonRequest http;
  EXPECT_EQ(http.Invoke(server.RpcUrl(), Envelope(requests)), "{\"result\":{\"status\":\"100020\"}}");
  EXPECT_EQ(http.Invoke(server.RpcUrl(), "not json"), "bad envelope\n");
  EXPECT_EQ(http.Invoke(server.RpcUrl(), "{\"params\":[\"{broken\"]}"), "bad envelope\n");
  server.ClearRpcScripts();
  Json::Value reply = Parse(http.Invoke(server.RpcUrl(), Envelope(requests)));
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(reply, "result"), "status"), "100000");

  EXPECT_EQ(server.RpcCalls().size(), 2u);
  EXPECT_EQ(server.CountRequests("POST", HttpTestServer::kRpcPath), 4u);
  EXPECT_NE(http.Invoke(server.Url("/nothing/here"), "").find("404 Not Found"), std::string::npos);
  server.ClearRequests();
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(server.RpcCalls().empty());
}

TEST(HttpTestServerTest, DefaultUploadReplyCountsUploads) {
  HttpTestServer server;
  qeltest::WriteFile("a.txt", "abc");
  qelHttpJsonRequest http;
  http.UploadFile(server.Url("/servlet/UpLoadServer?"), "", "a.txt");
  Json::Value reply = Parse(http.UploadFile(server.Url("/servlet/UpLoadServer?"), "", "a.txt"));
  const Json::Value& item = qel::Element(qel::ArrayMember(qel::ObjectMember(reply, "result"), "result"), 0);
  EXPECT_EQ(qel::StringMember(qel::ObjectMember(item, "result"), "value1"), "upload/2.dat");
  EXPECT_EQ(server.Uploads().size(), 2u);
}

TEST(HttpTestServerTest, ShutdownEndsStalledAnswers) {
  // Larger than the socket buffers: the client blocks in sending.
  qeltest::WriteFile("large.bin", std::string(16 * 1024 * 1024, 'u'));
  for (bool upload : {false, true}) {
    auto server = std::make_unique<HttpTestServer>();
    qeltest::ServedFile stall;
    stall.get = qeltest::FileFault::kStallHeaders;
    server->AddFile("/stall", stall);
    server->SetUploadFault(qeltest::UploadFault::kStallBeforeBody);
    std::string url = server->Url("/stall");

    std::string reply;
    std::thread client([&] {
      qelHttpJsonRequest http;  // default time-outs: only the shutdown ends it
      reply = upload ? http.UploadFile(url, "", "large.bin") : http.Invoke(url, "");
    });
    EXPECT_TRUE(server->WaitForRequests(1)) << "upload: " << upload;
    server.reset();
    client.join();
    EXPECT_EQ(reply, "{\"jsonrpc\":\"2.0\",\"result\":{\"result\":\"\",\"status\":\"500003\"}}")
        << "upload: " << upload;
  }
}

}  // namespace
