// Reading JSON-RPC replies of any shape.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bridgetest.h"
#include "internet/qelinternetresponsebean.h"
#include "internet/qelinternetresponsenode.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

using Node = std::unique_ptr<qelInternetResponseNode>;

// A GBK character whose second byte is 0x5C ("\").
const std::string kGbkBackslashChar("\x95\x5C", 2);

TEST(ResponseBeanTest, RepliesOfEveryShape) {
  struct Case {
    std::string text;
    bool parsed;
    bool success;
    std::string status;
    int count;
    std::string itemStatus;  // of item 0
    int nodeKind;            // of item 0's result; -1: no node
  };
  const Case cases[] = {
      // The service's answers.
      {R"({"result":{"status":"100000","result":[{"status":"100000","result":{"userId":"7"}}]}})", true, true,
       "100000", 1, "100000", 7},
      {R"({"jsonrpc":"2.0","id":"5","result":{"status":"100000","result":[{"status":"100000","result":"ok"},)"
       R"({"status":"100013","result":null}]}})",
       true, true, "100000", 2, "100000", 4},
      {R"({"result":{"status":"100013","result":[]}})", true, false, "100013", 0, "19999", -1},
      {R"({"result":{"status":"100000","result":[{"status":"","result":"ok"}]}})", true, true, "100000", 1,
       "19999", 4},
      {R"({"result":{"status":"100000","result":[{"status":"100000","result":true}]}})", true, true, "100000",
       1, "100000", 0},
      {R"({"result":{"status":"100000","result":[{"status":"100000","result":[1,2,3]}]}})", true, true,
       "100000", 1, "100000", 6},
      {R"({"result":{"status":"100000","result":[{"status":"100000"}]}})", true, true, "100000", 1, "100000",
       -1},
      // The transport's status reply.
      {R"({"result":{"status":"500003","result":""}})", true, false, "500003", 0, "19999", -1},
      // Numeric statuses read like their text.
      {R"({"result":{"status":100000,"result":[{"status":100000,"result":12}]}})", true, true, "100000", 1,
       "100000", 4},
      {R"({"result":{"status":100000.0,"result":[{"status":100013,"result":1.5}]}})", true, true, "100000", 1,
       "100013", 0},
      // Statuses that are missing, zero or of another kind never read as 0.
      {R"({"result":{}})", true, false, "19999", 0, "19999", -1},
      {R"({"result":{"status":"0","result":[{"status":"0","result":"x"}]}})", true, false, "19999", 1,
       "19999", 4},
      {R"({"result":{"status":"abc","result":[{"status":"abc","result":"x"}]}})", true, false, "19999", 1,
       "19999", 4},
      {R"({"result":{"status":{"a":1},"result":[{"status":[1],"result":"x"}]}})", true, false, "19999", 1,
       "19999", 4},
      {R"({"result":{"status":true,"result":[{"status":null,"result":"x"}]}})", true, false, "19999", 1,
       "19999", 4},
      {R"({"result":{"status":"100000abc","result":[{"status":"100000abc","result":"x"}]}})", true, true,
       "100000", 1, "19999", 4},
      {R"({"result":{"status":"-5","result":[{"status":"-5","result":"x"}]}})", true, false, "-5", 1, "19999",
       4},
      // Items of the wrong kind.
      {R"({"result":{"status":"100000","result":{"status":"100000","result":"x"}}})", true, true, "100000", 0,
       "19999", -1},
      {R"({"result":{"status":"100000","result":"items"}})", true, true, "100000", 0, "19999", -1},
      {R"({"result":{"status":"100000","result":7}})", true, true, "100000", 0, "19999", -1},
      {R"({"result":{"status":"100000","result":["x",1]}})", true, true, "100000", 2, "19999", -1},
      {R"({"result":{"status":"100000","result":[null]}})", true, true, "100000", 1, "19999", -1},
      {R"({"result":{"status":"100000","result":[[{"status":"100000","result":"x"}]]}})", true, true,
       "100000", 1, "19999", -1},
      // Not a reply at all.
      {"", false, false, "19999", 0, "19999", -1},
      {"{", false, false, "19999", 0, "19999", -1},
      {"not json", false, false, "19999", 0, "19999", -1},
      {"null", false, false, "19999", 0, "19999", -1},
      {R"({"id":1,"jsonrpc":"2.0"})", false, false, "19999", 0, "19999", -1},
      {R"({"result":null})", false, false, "19999", 0, "19999", -1},
      {R"({"result":"x"})", false, false, "19999", 0, "19999", -1},
      {R"({"result":[{"status":"100000","result":[]}]})", false, false, "19999", 0, "19999", -1},
      {R"([{"result":{"status":"100000","result":[{"status":"100000","result":"x"}]}}])", false, false,
       "19999", 0, "19999", -1},
      {R"("{\"result\":{}}")", false, false, "19999", 0, "19999", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("reply: " + c.text);
    qelInternetResponseBean bean;
    EXPECT_EQ(bean.ParseResponse(c.text), c.parsed);
    EXPECT_EQ(bean.IsSuccess(), c.success);
    EXPECT_EQ(bean.GetStatusString(), c.status);
    EXPECT_EQ(bean.GetResultCount(), c.count);
    EXPECT_EQ(bean.GetItemStatus(0), c.itemStatus);
    EXPECT_EQ(bean.IsItemSuccess(0), c.itemStatus == "100000");
    Node node(bean.GetResultNode(0));
    EXPECT_EQ(node ? node->kind : -1, c.nodeKind);
  }
}

TEST(ResponseBeanTest, ItemsAndNodesByIndex) {
  qelInternetResponseBean bean;
  ASSERT_TRUE(bean.ParseResponse(
      R"({"result":{"status":"100000","result":[{"status":"100000","result":{"userId":"7","n":3}},)"
      R"({"status":"100015","result":"code"}]}})"));
  EXPECT_EQ(bean.GetResultCount(), 2);
  EXPECT_EQ(StringMember(bean.GetResult(1), "status"), "100015");
  EXPECT_EQ(bean.GetItemStatus(1), "100015");
  EXPECT_FALSE(bean.IsItemSuccess(1));

  Node first(bean.GetResultNode(0));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, 7);
  EXPECT_EQ(first->GetFieldVal("USERID"), "7");
  EXPECT_EQ(first->GetFieldVal("userid"), "7");
  EXPECT_EQ(first->GetFieldVal("userId"), "7");
  EXPECT_EQ(first->GetFieldVal("N"), "3");
  EXPECT_EQ(first->GetFieldVal("missing"), "");
  EXPECT_EQ(first->GetStrValue(), "");

  StoreLogCallback(qeltest::CaptureLog);
  EXPECT_EQ(Node(bean.GetResultNode(2)), nullptr);
  EXPECT_NE(qeltest::LogText().find("nIndex Overflow"), std::string::npos) << qeltest::LogText();
  qelInternetResponseBean noResult;
  ASSERT_TRUE(noResult.ParseResponse(R"({"result":{"status":"100000","result":[{"status":"100000"}]}})"));
  EXPECT_EQ(Node(noResult.GetResultNode(0)), nullptr);
  EXPECT_NE(qeltest::LogText().find("CreateResponseNode error,Value isNUll"), std::string::npos)
      << qeltest::LogText();
  StoreLogCallback(nullptr);

  Node second(bean.GetResultNode(1));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->GetStrValue(), "code");

  for (int i : {-1, 2, 1000, INT32_MIN}) {
    SCOPED_TRACE("index " + std::to_string(i));
    EXPECT_TRUE(bean.GetResult(i).isNull());
    EXPECT_EQ(Node(bean.GetResultNode(i)), nullptr);
    EXPECT_EQ(bean.GetItemStatus(i), "19999");
    EXPECT_FALSE(bean.IsItemSuccess(i));
  }
}

TEST(ResponseBeanTest, FailedParseKeepsTheEarlierReply) {
  qelInternetResponseBean bean;
  ASSERT_TRUE(
      bean.ParseResponse(R"({"result":{"status":"100000","result":[{"status":"100000","result":"a"}]}})"));
  for (const char* bad : {"{", R"({"result":"x"})", "[]"}) {
    EXPECT_FALSE(bean.ParseResponse(bad)) << bad;
    EXPECT_TRUE(bean.IsSuccess()) << bad;
    EXPECT_EQ(bean.GetResultCount(), 1) << bad;
  }
  // A second reply replaces the first one completely.
  ASSERT_TRUE(bean.ParseResponse(R"({"result":{"status":"500003","result":""}})"));
  EXPECT_EQ(bean.GetResultCount(), 0);
  EXPECT_EQ(bean.GetStatusString(), "500003");
}

TEST(ResponseNodeTest, ValueKinds) {
  struct Case {
    const char* json;
    int kind;
    std::string strValue;
    int arraySize;
  };
  const Case cases[] = {
      {"null", 0, "", 0},
      {"\"text\"", 4, "text", 0},
      {"\"\"", 4, "", 0},
      {"-12", 4, "-12", 0},
      {"9223372036854775807", 4, "9223372036854775807", 0},
      {"18446744073709551615", 0, "", 0},  // beyond the signed range: unsigned
      {"2.5", 0, "", 0},
      {"false", 0, "", 0},
      {"[1,[2],{}]", 6, "", 3},
      {"[]", 6, "", 0},
      {"{}", 7, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Json::Value value;
    ASSERT_TRUE(ParseJson(c.json, &value));
    qelInternetResponseNode node(value);
    EXPECT_EQ(node.kind, c.kind);
    EXPECT_EQ(node.GetStrValue(), c.strValue);
    EXPECT_EQ(node.arraySize, c.arraySize);
  }
  EXPECT_EQ(qelInternetResponseNodeFactory::CreateResponseNode(Json::Value()), nullptr);
}

TEST(ResponseNodeTest, ObjectMembersByUpperCasedName) {
  Json::Value value;
  ASSERT_TRUE(ParseJson(R"({"name":"b","Name":"a","NAME":"c","Id":7,"big":18446744073709551615,"r":1.5,)"
                        R"("ok":true,"sub":{"x":"1"},"list":[1],"none":null,"x":"1"})",
                        &value));
  Node node(qelInternetResponseNodeFactory::CreateResponseNode(value));
  ASSERT_TRUE(node);
  ASSERT_EQ(node->kind, 7);
  // Names differing only in case: the one sorting first ("NAME") wins.
  EXPECT_EQ(node->GetFieldVal("name"), "c");
  EXPECT_EQ(node->GetFieldVal("Name"), "c");
  EXPECT_EQ(node->GetFieldVal("ID"), "7");
  EXPECT_EQ(node->GetFieldVal("BIG"), "18446744073709551615");
  EXPECT_EQ(node->GetFieldVal("r"), "1.5");
  EXPECT_EQ(node->GetFieldVal("OK"), "true");
  // Nested values are children, not fields.
  EXPECT_EQ(node->GetFieldVal("SUB"), "");
  EXPECT_EQ(node->GetFieldVal("LIST"), "");
  EXPECT_EQ(node->GetFieldVal("NONE"), "");
  EXPECT_EQ(node->GetChildren().size(), 3u);
  EXPECT_EQ(node->GetChildren().count("SUB"), 1u);
  EXPECT_EQ(node->GetChildren().count("LIST"), 1u);
  EXPECT_EQ(node->GetChildren().count("NONE"), 1u);
}

TEST(ResponseNodeTest, GbkNamesKeepTheirTrailBytes) {
  // 0xB0 0x61 and 0xB0 0x41 are two characters; upper-casing the trail byte
  // 'a' would merge them.
  const std::string lowerTrail("\xB0\x61", 2);
  const std::string upperTrail("\xB0\x41", 2);
  Json::Value value(Json::objectValue);
  value[lowerTrail + "id"] = "1";
  value[upperTrail + "id"] = "2";
  qelInternetResponseNode node(value);
  EXPECT_EQ(node.GetFieldVal(lowerTrail + "ID"), "1");
  EXPECT_EQ(node.GetFieldVal(upperTrail + "id"), "2");
  EXPECT_EQ(UpperGbkName(lowerTrail + "ab"), lowerTrail + "AB");
  // A lead byte at the very end has no trail byte.
  EXPECT_EQ(UpperGbkName("a\xB0"), "A\xB0");
}

TEST(ResponseBeanTest, GbkValueWithBackslashTrailByteSurvivesTheReply) {
  // The transport converts the service's UTF-8 reply to GBK: the character
  // stands in the text with its 0x5C byte unescaped.
  Json::Value reply;
  ASSERT_TRUE(
      ParseJson(R"({"result":{"status":"100000","result":[{"status":"100000","result":)"
                R"({"nick":"\u661E\"\\","list":["\u661E"]}},{"status":"100000","result":"\u661E"}]}})",
                &reply));
  const std::string gbkText = Utf8ToGbk(WriteCompactUtf8(reply));
  ASSERT_NE(gbkText.find(kGbkBackslashChar + "\\\""), std::string::npos) << gbkText;

  qelInternetResponseBean bean;
  ASSERT_TRUE(bean.ParseResponse(gbkText));
  ASSERT_EQ(bean.GetResultCount(), 2);
  Node node(bean.GetResultNode(0));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->GetFieldVal("NICK"), kGbkBackslashChar + "\"\\");
  EXPECT_EQ(node->GetChildren().at("LIST")[0].asString(), kGbkBackslashChar);
  Node text(bean.GetResultNode(1));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->GetStrValue(), kGbkBackslashChar);
}

TEST(ResponseBeanTest, MalformedRepliesNeverCrash) {
  std::vector<std::string> texts = {
      std::string(100000, '['),
      std::string(5000, '[') + std::string(5000, ']'),
      "{\"result\":" + std::string(300, '{') + std::string(300, '}') + "}",
      R"({"result":{"status":"100000","result":[)" + std::string(250, '[') + std::string(250, ']') + "]}}",
      std::string("{\"result\":{\"status\":\"100000\",\"result\":[{\"status\":\"1\0", 52) + "00000\"}]}}",
      "{\"result\":{\"status\":\"100000\",\"result\":[{\"status\":\"\xFF\xFE\",\"result\":{\"\x81\":\"\x80\"}"
      "}]}}",
      R"({"result":{"status":"99999999999999999999","result":[{"status":"99999999999999999999","result":1}]}})",
      R"({"result":{"status":1e400,"result":[{"status":-1e400,"result":1e400}]}})",
      R"({"result":{"status":"100000","result":[{"status":"100000","result":{"a":{"b":[{"c":null}]}}}]}})",
      R"({"result":{"status":"100000","result":[{"status":"100000","result":{"":"empty name"}}]}})",
      R"({"result":{"status":"100000","result":[]},"result":"dup"})",
      "\xEF\xBB\xBF{\"result\":{\"status\":\"100000\"}}",
      "{\"result\":{\"status\":\"100000\",\"result\":[\"" + std::string(1 << 20, 'x') + "\"]}}",
      "// comment\n{\"result\":{\"status\":\"100000\",\"result\":[]}}",
      "{\"result\":{\"status\":\"100000\",\"result\":[]}} trailing",
  };
  std::string many = R"({"result":{"status":"100000","result":[)";
  for (int i = 0; i < 20000; ++i)
    many += std::string(i ? "," : "") + R"({"status":"100000","result":{"a":"1"}})";
  texts.push_back(many + "]}}");

  for (const std::string& text : texts) {
    SCOPED_TRACE("reply: " + text.substr(0, 60));
    qelInternetResponseBean bean;
    bool parsed = bean.ParseResponse(text);
    if (!parsed) {
      EXPECT_EQ(bean.GetResultCount(), 0);
      EXPECT_EQ(bean.GetStatusString(), "19999");
    }
    EXPECT_FALSE(bean.GetStatusString().empty());
    int count = bean.GetResultCount();
    for (int i = -1; i <= count && i < 50; ++i) {
      bean.GetResult(i);
      EXPECT_FALSE(bean.GetItemStatus(i).empty());
      bean.IsItemSuccess(i);
      Node node(bean.GetResultNode(i));
      if (node) {
        node->GetFieldVal("A");
        node->GetStrValue();
      }
    }
  }
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
