// The one calling pattern: request texts, reply release, and replies of
// every shape reaching the list, record, count and status readers.
#include <gtest/gtest.h>

#include <limits>

#include "fakebridge.h"
#include "qel/json.h"
#include "qelclientcore.h"

namespace {

using qelclientcore::CQelClientCore;
using qeltest::Expect;
using qeltest::FakeBridge;
using qeltest::Gbk;

CQelClientCore& Core() { return *CQelClientCore::GetInstance(); }

TEST(RequestBuilder, ListAGoesInsideParamListBAtTheRoot) {
  qelclientcore::detail::RequestBuilder empty;
  Json::Value parsed;
  ASSERT_TRUE(qel::ParseJson(empty.Text(), &parsed));
  EXPECT_EQ(parsed, Expect(R"({"PARAM":null})"));

  qelclientcore::detail::RequestBuilder request;
  request.Param("PRODUCT", qelclientcore::detail::IdObject("PRODUCT_ID", "12"))
      .Root("LIMIT", 20)
      .Root("OFFSET", 0);
  ASSERT_TRUE(qel::ParseJson(request.Text(), &parsed));
  EXPECT_EQ(parsed, Expect(R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"12"}},"LIMIT":20,"OFFSET":0})"));
}

// Every outcome of one call releases the reply text exactly once and gives
// the failure result unless the reply was accepted.
TEST(CallPattern, EveryReplyIsReleasedOnceAndOnlyAcceptedRepliesCount) {
  struct Case {
    const char* name;
    int result;
    std::optional<std::string> reply;
    int count;
  };
  const Case cases[] = {
      {"no reply", 0, std::nullopt, 0},
      {"no reply, failure code", 1, std::nullopt, 0},
      {"failure with error object", 100013, qeltest::ErrorReply(100013, "x"), 0},
      {"failure with a count shape", 1, std::string(R"([{"COUNT":"5"}])"), 0},
      {"result 0, array", 0, std::string(R"([{"COUNT":"5"}])"), 5},
      {"result 0, bare object", 0, std::string(R"({"COUNT":"6"})"), 6},
      {"result 0, empty text", 0, std::string(""), 0},
      {"result 0, not JSON", 0, std::string("[{\"COUNT\":"), 0},
      {"result 0, number count", 0, std::string(R"([{"COUNT":5}])"), 0},
      {"result 0, count not a number", 0, std::string(R"([{"COUNT":"many"}])"), 0},
      {"result 0, array of numbers", 0, std::string("[1,2]"), 0},
      {"result 0, empty array", 0, std::string("[]"), 0},
  };
  for (const Case& c : cases) {
    FakeBridge bridge;
    bridge.Script(0x609, c.result, c.reply);
    EXPECT_EQ(Core().GetAllProuductsCount(-1), c.count) << c.name;
    EXPECT_EQ(bridge.HandedOut(), bridge.Released()) << c.name;
    EXPECT_EQ(bridge.Count(), 1u) << c.name;
  }
}

// A list getter needs an array of objects; anything else leaves the
// caller's vector empty, and elements that are not objects are skipped.
TEST(CallPattern, ListRepliesOfTheWrongShapeGiveNoRecords) {
  struct Case {
    const char* name;
    int result;
    std::optional<std::string> reply;
    std::vector<uint64_t> ids;
  };
  const Case cases[] = {
      {"no reply", 0, std::nullopt, {}},
      {"failure", 1, qeltest::ErrorReply(1, ""), {}},
      {"object root", 0, std::string(R"({"PRODUCT_ID":"1"})"), {}},
      {"not JSON", 0, std::string("[{"), {}},
      {"array of numbers", 0, std::string("[1,2,3]"), {}},
      {"mixed elements", 0, std::string(R"([7,{"PRODUCT_ID":"8"},"x",null,{"PRODUCT_ID":"9"}])"), {8, 9}},
      {"id as number", 0, std::string(R"([{"PRODUCT_ID":8}])"), {0}},
      {"largest id", 0, std::string(R"([{"PRODUCT_ID":"18446744073709551615"}])"), {18446744073709551615ULL}},
  };
  for (const Case& c : cases) {
    FakeBridge bridge;
    bridge.Script(0x604, c.result, c.reply);
    std::vector<qelclientcore::Product> products(3);  // emptied first
    Core().GetProductsByCategory(5, products, -1, 10, 0);
    std::vector<uint64_t> ids;
    for (const auto& p : products) ids.push_back(p.productId);
    EXPECT_EQ(ids, c.ids) << c.name;
    EXPECT_EQ(bridge.HandedOut(), bridge.Released()) << c.name;
  }
}

TEST(CallPattern, SingleRecordNeedsAnObjectAsElementZero) {
  struct Case {
    const char* name;
    std::optional<std::string> reply;
    bool filled;
  };
  const Case cases[] = {
      {"no reply", std::nullopt, false},
      {"object root", std::string(R"({"AREAID":"3","NAME":"a"})"), false},
      {"string element", std::string(R"(["x"])"), false},
      {"empty array", std::string("[]"), false},
      {"object element", std::string(R"([{"AREAID":"3","NAME":"a"}])"), true},
  };
  for (const Case& c : cases) {
    FakeBridge bridge;
    bridge.Script(0x543, 0, c.reply);
    qelclientcore::GeoTag tag;
    Core().GetGeoTagsById(3, tag);
    EXPECT_EQ(tag.areaId == 3 && tag.name == L"a", c.filled) << c.name;
    EXPECT_EQ(tag.json.empty(), !c.filled) << c.name;
  }
}

// Texts reach the bridge as GBK JSON that decodes as written: quotes and
// backslashes escaped, a GBK second byte 0x5C left alone.
TEST(CallPattern, SearchTextArrivesIntact) {
  const std::string texts[] = {
      "a\"b", "back\\slash", "\"},{\"x\":\"", Gbk("誠实 \\ \"引号\""), Gbk("表"),
  };
  for (const std::string& text : texts) {
    FakeBridge bridge;
    std::vector<qelclientcore::Product> out;
    Core().SearchProduct(text, out);
    qeltest::FakeRequest request = bridge.Last();
    EXPECT_EQ(request.code, 0x511);
    EXPECT_EQ(
        qel::StringMember(qel::ObjectMember(qel::ObjectMember(request.json, "PARAM"), "FILTER"), "FILTER"),
        text)
        << qeltest::Utf8(text);
    // Decoded as GBK, the request is valid JSON holding the same text.
    Json::Value utf8;
    ASSERT_TRUE(qel::ParseJson(qeltest::Utf8(request.text), &utf8)) << request.text;
    EXPECT_EQ(utf8["PARAM"]["FILTER"]["FILTER"].asString(), qeltest::Utf8(text));
  }
}

// A Chinese reply reaches the record's wide text, and wide text that GBK
// cannot hold is dropped while the rest is sent.
TEST(CallPattern, GbkRoundTripThroughRecordAndRequest) {
  FakeBridge bridge;
  bridge.Script(0x604, 0, Gbk(R"([{"PRODUCT_ID":"1","NAME":"誠實的表 \\ \"x\""}])"));
  std::vector<qelclientcore::Product> out;
  Core().GetProductsByCategory(1, out, -1, 1, 0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].name, L"誠實的表 \\ \"x\"");

  qelclientcore::MyFeed feed;
  feed.email = L"a@b";
  feed.suggest = L"好誠 \\ \"x\"";
  std::wstring error;
  Core().newFeed(feed, error);
  EXPECT_EQ(qel::StringMember(bridge.Last().json["PARAM"]["FEEDBACKSERVICE"], "SUGGEST"),
            Gbk("好誠 \\ \"x\""));
}

TEST(CallPattern, ExtremeIdsAreWrittenInFull) {
  const uint64_t ids[] = {0, std::numeric_limits<uint64_t>::max(), static_cast<uint64_t>(-1)};
  for (uint64_t id : ids) {
    FakeBridge bridge;
    Core().IsProductInFavorite(id);
    EXPECT_EQ(bridge.Last().json,
              Expect(R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":")" + std::to_string(id) + R"("}}})"))
        << id;
  }
  FakeBridge bridge;
  Core().GetSecondaryModules(-1);
  EXPECT_EQ(bridge.Last().json, Expect(R"({"PARAM":{"BANNER":{"BANNER_ID":"-1"}}})"));
}

}  // namespace
