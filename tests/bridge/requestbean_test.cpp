// Request objects, the base object and the JSON-RPC envelope.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bridgetest.h"
#include "cqelbridge.h"
#include "internet/qelinternetrequestbean.h"
#include "internet/qelinternetutil.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

// A GBK character whose second byte is 0x5C ("\"), followed by a quote and a
// real backslash.
const std::string kGbkBackslashValue = std::string("\x95\x5C", 2) + "\"\\";

using qeltest::Parse;

// The wire's UTF-8 form of a text.
Json::Value ParseUtf8(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(qel::ParseJson(text, &value)) << text;
  return value;
}

// What the service sees: the envelope converted to UTF-8, then the base
// object inside "params", with every value converted back to GBK.
Json::Value BaseObjectOnTheWire(const std::string& envelope, Json::Value* outer = nullptr) {
  Json::Value root = ParseUtf8(GbkToUtf8(envelope));
  if (outer != nullptr) *outer = root;
  const Json::Value& inner = Element(ArrayMember(root, "params"), 0);
  EXPECT_TRUE(inner.isString()) << envelope;
  Json::Value base;
  EXPECT_TRUE(ParseUtf8JsonToGbk(inner.isString() ? inner.asString() : "", &base)) << envelope;
  return base;
}

class RequestBeanTest : public ::testing::Test {
 protected:
  void StartWithCompany(bool withRow = true) {
    install_ = std::make_unique<qeltest::Installation>();
    if (withRow) install_->Ex("INSERT INTO COMPANY(ID, SERIALID, COMTEMP) VALUES('1001', 'S77', 'T5');");
    StartQelbridge(260, install_->StartupJson());
    cqelbridge::GetInstance()->SetCurrentUID("u42");
  }

  std::unique_ptr<qeltest::Installation> install_;
};

Json::Value Params(const std::string& json) { return Parse(json); }

TEST_F(RequestBeanTest, EveryRequestTypeNamesItsServiceAndAddsItsKeys) {
  StartWithCompany();
  struct Case {
    int type;
    const char* url;
    const char* method;
    const char* companyKey;
    const char* userKey;
  };
  const Case cases[] = {
      {1, "PassportService.json", "login", "", ""},
      {2, "PassportService.json", "registerClientUser", "qyId", "userID"},
      {3, "SendPhoneMsgService.json", "sendPhoneMsg", "", ""},
      {4, "SendMailService.json", "sendMessageMail", "", ""},
      {5, "FeedBackService.json", "addFeedBack", "compId", "userId"},
      {6, "InquiryService.json", "saveProdInquiry", "compId", "addUid"},
      {7, "ConsultService.json", "saveProdConsult", "compId", "addUid"},
      {8, "FavService.json", "saveProdFav", "compId", "addUid"},
      {9, "AuthCodeService.json", "regACByNameAndTypeAndCode", "", ""},
      {10, "PrintService.json", "saveProdPrint", "compId", "addUid"},
      {11, "VisitService.json", "saveProdVisit", "compId", "addUid"},
      {12, "fileupload.json", "upload", "", ""},
      {13, "PassportService.json", "queryPassportByName", "", ""},
      {17, "PassportService.json", "queryPassportByName", "", ""},
      {18, "PassportService.json", "resetPassword", "", ""},
      {256, "SpColumnService.json", "loadSpColumn", "", ""},
      {257, "SpClientSetupService.json", "loadLatestUpdate", "companyID", ""},
      {258, "SpClientSetupService.json", "loadUpdateData", "companyID", ""},
      {259, "AKeyUpdateService.json", "saveProdAKeyUpdate", "compId", "addUid"},
      {515, "SpClientSetupService.json", "loadAppUpdateFile", "companyID", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type));
    qelInternetRequestBean bean;
    // Caller members named like a key are replaced by the bridge's values.
    ASSERT_TRUE(bean.AddOneRequestWithParam(
        c.type, Params(R"({"own":"v","compId":"caller","addUid":"caller","qyId":"caller","userID":"caller",)"
                       R"("userId":"caller","companyID":"caller"})")));
    ASSERT_EQ(bean.GetRequestCount(), 1);
    Json::Value request = bean.GetRequest(0);

    std::set<std::string> members;
    for (const std::string& name : request.getMemberNames()) members.insert(name);
    std::set<std::string> expected = {"userID",     "interfaceUrl", "method", "param",
                                      "version",    "localTime",    "source", "companyID",
                                      "templateID", "langID",       "client"};
    if (c.type == 12) expected.insert("code");
    EXPECT_EQ(members, expected);

    EXPECT_EQ(StringMember(request, "interfaceUrl"), c.url);
    EXPECT_EQ(StringMember(request, "method"), c.method);
    EXPECT_EQ(StringMember(request, "userID"), "u42");
    EXPECT_EQ(StringMember(request, "version"), "3.0");
    EXPECT_TRUE(request["localTime"].isInt64());
    EXPECT_GT(request["localTime"].asInt64(), 1500000000000LL);
    EXPECT_EQ(StringMember(request, "source"), "310000");
    EXPECT_EQ(StringMember(request, "companyID"), "1001");  // a string here, a number in the base object
    EXPECT_EQ(StringMember(request, "templateID"), "T5");
    EXPECT_EQ(StringMember(request, "langID"), "3");
    EXPECT_EQ(StringMember(ObjectMember(request, "client"), "macAddr"), "00-11-22-33-44-55");
    EXPECT_EQ(StringMember(ObjectMember(request, "client"), "deviceType"), "260");
    if (c.type == 12) {
      EXPECT_EQ(StringMember(request, "code"), "qyS77_product_inquiry_3");
    }

    const Json::Value& param = ObjectMember(request, "param");
    EXPECT_EQ(StringMember(param, "own"), "v");
    const std::string keys[] = {"compId", "addUid", "qyId", "userID", "userId", "companyID"};
    for (const std::string& key : keys) {
      std::string want = "caller";
      if (key == c.companyKey) want = "1001";
      if (key == c.userKey) want = "u42";
      EXPECT_EQ(StringMember(param, key.c_str()), want) << "key " << key;
    }
  }
}

TEST_F(RequestBeanTest, LoginParamsStayAsGivenAndNullParamsGetNoKeys) {
  StartWithCompany();
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(1, Params(R"({"name":"n","passwd":"p","type":"1"})")));
  EXPECT_EQ(bean.GetRequest(0)["param"], Params(R"({"name":"n","passwd":"p","type":"1"})"));

  ASSERT_TRUE(bean.AddOneRequestWithParam(7, Json::Value()));
  EXPECT_TRUE(HasMember(bean.GetRequest(1), "param"));
  EXPECT_TRUE(bean.GetRequest(1)["param"].isNull());
}

TEST_F(RequestBeanTest, NobodyLoggedInGivesEmptyUserKeys) {
  StartWithCompany();
  cqelbridge::GetInstance()->SetCurrentUID("");
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(7, Params(R"({"content":"c"})")));
  EXPECT_EQ(StringMember(bean.GetRequest(0), "userID"), "");
  EXPECT_TRUE(HasMember(ObjectMember(bean.GetRequest(0), "param"), "addUid"));
  EXPECT_EQ(StringMember(ObjectMember(bean.GetRequest(0), "param"), "addUid"), "");
}

TEST_F(RequestBeanTest, UndefinedTypesAndNonObjectParamsAreRefused) {
  StartWithCompany();
  StoreLogCallback(qeltest::CaptureLog);
  qelInternetRequestBean bean;
  ASSERT_FALSE(bean.AddOneRequestWithParam(14, Json::Value()));
  const std::string log = qeltest::LogText();
  EXPECT_NE(log.find("type is undefine"), std::string::npos) << log;
  EXPECT_LT(log.find("type is undefine"), log.find("loginin request content null")) << log;
  for (int type : {0, -1, 14, 15, 16, 19, 255, 260, 513, 514, 516, 1025, INT_MAX, INT_MIN}) {
    EXPECT_FALSE(bean.AddOneRequestWithParam(type, Params(R"({"a":"1"})"))) << "type " << type;
    EXPECT_TRUE(qelInternetUtil().GetInternalRequestData(type, Json::Value()).isNull()) << "type " << type;
  }
  for (const char* params : {R"("text")", "[1,2]", "[]", "0", "-3", "1.5", "true", "false", R"("")"}) {
    EXPECT_FALSE(bean.AddOneRequestWithParam(7, Params(params))) << "params " << params;
  }
  EXPECT_EQ(bean.GetRequestCount(), 0);
}

TEST_F(RequestBeanTest, EnvelopeCarriesTheSignedBaseObject) {
  StartWithCompany();
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(1, Params(R"({"name":"n","passwd":"p","type":"1"})")));
  ASSERT_TRUE(bean.AddOneRequestWithParam(8, Params(R"({"isFav":"1","prodId":"9"})")));
  std::string envelope = bean.GetJsonRPCParam();

  ASSERT_EQ(envelope.rfind("{\"id\":\"", 0), 0u) << envelope;
  EXPECT_LT(envelope.find("\"id\""), envelope.find("\"jsonrpc\""));
  EXPECT_LT(envelope.find("\"jsonrpc\""), envelope.find("\"method\""));
  EXPECT_LT(envelope.find("\"method\""), envelope.find("\"params\""));
  EXPECT_EQ(envelope.find_first_of(" \n"), std::string::npos) << envelope;

  Json::Value outer;
  Json::Value base = BaseObjectOnTheWire(envelope, &outer);
  EXPECT_EQ(outer.size(), 4u);
  EXPECT_EQ(StringMember(outer, "jsonrpc"), "2.0");
  EXPECT_EQ(StringMember(outer, "method"), "requestMethods");
  std::string id = StringMember(outer, "id");
  ASSERT_TRUE(IsDecimalId(id)) << id;
  EXPECT_LE(StringToInt(id), 32767);
  EXPECT_EQ(ArrayMember(outer, "params").size(), 1u);

  std::set<std::string> members;
  for (const std::string& name : base.getMemberNames()) members.insert(name);
  EXPECT_EQ(members, (std::set<std::string>{"companyID", "templateID", "packageTime", "source", "localTime",
                                            "custom", "parameter", "sign"}));
  EXPECT_TRUE(base["companyID"].isInt64());
  EXPECT_FALSE(base["companyID"].isString());
  EXPECT_EQ(base["companyID"].asInt64(), 1001);
  EXPECT_EQ(StringMember(base, "templateID"), "T5");
  EXPECT_TRUE(base["packageTime"].isInt64());
  EXPECT_TRUE(base["localTime"].isInt64());
  EXPECT_EQ(StringMember(base, "source"), "310000");
  EXPECT_EQ(StringMember(base, "custom"), "");
  EXPECT_EQ(StringMember(base, "sign"), "r5k2w8m3p");
  ASSERT_EQ(ArrayMember(base, "parameter").size(), 2u);
  EXPECT_EQ(base["parameter"][0], bean.GetRequest(0));
  EXPECT_EQ(base["parameter"][1], bean.GetRequest(1));
}

TEST_F(RequestBeanTest, BaseObjectWithoutCompanyRowOrRequests) {
  StartWithCompany(/*withRow=*/false);
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(256, Json::Value()));
  Json::Value base = BaseObjectOnTheWire(bean.GetJsonRPCParam());
  EXPECT_EQ(base.getMemberNames(), (std::vector<std::string>{"parameter", "sign"}));

  install_->Ex("INSERT INTO COMPANY(ID, SERIALID, COMTEMP) VALUES('1001', 'S77', 'T5');");
  qelInternetRequestBean empty;
  base = BaseObjectOnTheWire(empty.GetJsonRPCParam());
  EXPECT_FALSE(HasMember(base, "parameter"));
  EXPECT_EQ(StringMember(base, "sign"), "r5k2w8m3p");
  EXPECT_EQ(base["companyID"].asInt64(), 1001);
}

TEST(RequestBeanNoDatabase, FailedCompanyQueryGivesNoEnvelope) {
  // No installation: the datasource stays closed and the query fails.
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(1, Params(R"({"name":"n"})")));
  EXPECT_EQ(bean.GetJsonRPCParam(), "");
}

TEST_F(RequestBeanTest, GbkValueWithBackslashTrailByteSurvivesTheEnvelope) {
  StartWithCompany();
  Json::Value params(Json::objectValue);
  params["content"] = kGbkBackslashValue;
  params[std::string("\x95\x5C", 2)] = "member name";
  qelInternetRequestBean bean;
  ASSERT_TRUE(bean.AddOneRequestWithParam(7, params));
  std::string envelope = bean.GetJsonRPCParam();

  // The service's view (UTF-8), converted back: byte for byte.
  Json::Value base = BaseObjectOnTheWire(envelope);
  const Json::Value& param = ObjectMember(Element(ArrayMember(base, "parameter"), 0), "param");
  EXPECT_EQ(StringMember(param, "content"), kGbkBackslashValue);
  EXPECT_EQ(StringMember(param, std::string("\x95\x5C", 2).c_str()), "member name");

  // In UTF-8 the character is U+661E.
  Json::Value root = ParseUtf8(GbkToUtf8(envelope));
  Json::Value utf8Base = ParseUtf8(Element(ArrayMember(root, "params"), 0).asString());
  EXPECT_EQ(StringMember(ObjectMember(Element(ArrayMember(utf8Base, "parameter"), 0), "param"), "content"),
            "\xE6\x98\x9E\"\\");
}

TEST_F(RequestBeanTest, StoredRequestTextReadsBackUnchanged) {
  StartWithCompany();
  Json::Value params(Json::objectValue);
  params["content"] = kGbkBackslashValue;
  qelInternetRequestBean first;
  ASSERT_TRUE(first.AddOneRequestWithParam(10, params));
  std::string stored = first.GetRequestString(0);
  EXPECT_EQ(stored.back(), '\n');
  // The queue keeps the text in SQLite as UTF-8; it must convert cleanly.
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8(stored)), stored);

  qelInternetRequestBean second;
  EXPECT_TRUE(second.AddOneRequestWithString(stored));
  ASSERT_EQ(second.GetRequestCount(), 1);
  EXPECT_EQ(second.GetRequest(0), first.GetRequest(0));
}

TEST_F(RequestBeanTest, StoredTextThatIsNoRequestAddsNothing) {
  StartWithCompany();
  qelInternetRequestBean bean;
  EXPECT_FALSE(bean.AddOneRequestWithString(""));
  for (const char* text : {"{", "not json", "[1]", "\"x\"", "null", "12", "{\"a\":}"}) {
    EXPECT_TRUE(bean.AddOneRequestWithString(text)) << text;
  }
  EXPECT_EQ(bean.GetRequestCount(), 0);
  EXPECT_TRUE(bean.GetRequest(0).isNull());
  EXPECT_TRUE(bean.GetRequest(-1).isNull());
  EXPECT_EQ(bean.GetRequestString(0), "");
  EXPECT_EQ(bean.GetRequestString(-1), "");
}

TEST_F(RequestBeanTest, EnvelopeIdsAreDrawnAfreshOnEveryThread) {
  StartWithCompany();
  constexpr int kThreads = 8;
  constexpr int kPerThread = 40;
  std::vector<std::vector<std::string>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ids] {
      for (int i = 0; i < kPerThread; ++i) {
        qelInternetRequestBean bean;
        bean.AddOneRequestWithParam(11, Json::Value(Json::objectValue));
        ids[t].push_back(StringMember(ParseUtf8(GbkToUtf8(bean.GetJsonRPCParam())), "id"));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> distinct;
  for (const auto& list : ids) {
    for (const std::string& id : list) {
      ASSERT_TRUE(IsDecimalId(id)) << id;
      ASSERT_LE(StringToInt(id), 32767);
      distinct.insert(id);
    }
  }
  // Built within the same clock tick, they still differ (a few may collide).
  EXPECT_GT(distinct.size(), static_cast<size_t>(kThreads * kPerThread / 2));
}

TEST_F(RequestBeanTest, ParamsOfAnyShapeFromOutside) {
  StartWithCompany();
  const std::string texts[] = {
      std::string(300, '[') + std::string(300, ']'),
      "{\"a\":" + std::string(200, '[') + std::string(200, ']') + "}",
      "{\"a\":\"\xFF\xFE\x80\",\"\x81\":\"\x81\"}",
      std::string("{\"a\":\"x\\u0000y\"}"),
      "{\"a\":1e400,\"b\":-1e400,\"c\":18446744073709551615,\"d\":-9223372036854775808}",
      "{\"a\":\"" + std::string(1 << 20, 'x') + "\"}",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    Json::Value params;
    ParseGbkJson(text, &params);
    qelInternetRequestBean bean;
    bool added = bean.AddOneRequestWithParam(7, params);
    EXPECT_EQ(added, params.isNull() || params.isObject());
    bean.AddOneRequestWithString(text);
    std::string envelope = bean.GetJsonRPCParam();
    EXPECT_FALSE(envelope.empty());
    for (int i = -1; i <= bean.GetRequestCount(); ++i) bean.GetRequestString(i);
  }
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
