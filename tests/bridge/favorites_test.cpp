// Favourites (0x501-0x504) and product search (0x511) of the custom module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "business/qel_invoke_custom.h"
#include "customtest.h"

namespace {

using qeltest::Call;
using qeltest::Column;
using qeltest::Gbk;

// {"PARAM":{table:{key:value}}} in GBK.
std::string Request(const char* table, const char* key, const std::string& value) {
  Json::Value root;
  root["PARAM"][table][key] = value;
  return qel::WriteStyled(root);
}

std::string Product(const std::string& id) { return Request("PRODUCT", "PRODUCT_ID", id); }

// Three products: a Chinese name with brand 3, a name holding "%" with
// brand 5, and a name holding a quote and "_" without a brand.
class FavoritesTest : public qeltest::CustomTest {
 protected:
  void SetUpRows() override {
    install_.Ex(
        "INSERT INTO PRODUCT(PRODUCT_ID, BRAND_ID, TEMPLATESORT, LASTTIME) VALUES"
        "('10010010001','3',3,1),('10010010002','5',2,1),('10010010003','',1,1);"
        "INSERT INTO PRODUCT_LANG(PRODUCT_ID, LANGID, NAME) VALUES"
        "('10010010001',3,'不锈钢阀门'),('10010010002',3,'Pump 100%'),('10010010003',3,'O''Brien_valve'),"
        "('10010010002',1,'Acme in another language');"
        "INSERT INTO BRAND(BRAND_ID) VALUES('3'),('5');"
        "INSERT INTO BRAND_LANG(BRAND_ID, LANGID, BRANDNAME) VALUES('3',3,'Acme'),('5',3,'Zeta');");
  }

  std::vector<std::string> Favorites() const { return Rows("SELECT PRODUCT_ID FROM FAVORITES ORDER BY 1"); }
  std::vector<std::string> Tracks() const { return Rows("SELECT TRACK FROM BEHAVIOR ORDER BY ID"); }
};

TEST_F(FavoritesTest, AddQueuesTheRequestAndTheProductListShowsIt) {
  EXPECT_EQ(Call(0x504, Product("10010010001")).result, 1);
  EXPECT_EQ(Call(0x501, "").text, "[]");

  qeltest::Reply added = Call(0x502, Product("10010010001"));
  EXPECT_EQ(added.result, 0) << added.text;
  EXPECT_EQ(Favorites(), std::vector<std::string>{"10010010001"});

  // The request waits in the queue; the service hears nothing yet.
  std::vector<std::string> tracks = Tracks();
  ASSERT_EQ(tracks.size(), 1u);
  Json::Value track = qeltest::Parse(tracks[0]);
  EXPECT_EQ(qel::StringMember(track, "interfaceUrl"), "FavService.json");
  EXPECT_EQ(qel::StringMember(track, "method"), "saveProdFav");
  Json::Value param(Json::objectValue);
  param["addUid"] = "";
  param["compId"] = "1001";
  param["isFav"] = "1";
  param["prodId"] = "10010010001";
  EXPECT_EQ(qel::Member(track, "param"), param);
  EXPECT_TRUE(server_.RpcCalls().empty());

  // Adding it again changes nothing.
  EXPECT_EQ(Call(0x502, Product("10010010001")).result, 0);
  EXPECT_EQ(Favorites().size(), 1u);
  EXPECT_EQ(Tracks().size(), 1u);

  EXPECT_EQ(Column(Call(0x607, Product("10010010001")).text, "FAVORITE"), std::vector<std::string>{"1"});
  EXPECT_EQ(Column(Call(0x607, Product("10010010002")).text, "FAVORITE"), std::vector<std::string>{"0"});
  EXPECT_EQ(Call(0x504, Product("10010010001")).result, 0);
  EXPECT_EQ(Call(0x504, Product("10010010002")).result, 1);
  EXPECT_EQ(Column(Call(0x501, "").text, "PRODUCT_ID"), std::vector<std::string>{"10010010001"});

  // The queued request reaches the service with the next batch.
  server_.ScriptRpc("FavService.json", "saveProdFav", "100000");
  EXPECT_EQ(Call(0x551).result, 0);
  ASSERT_EQ(server_.RpcCalls().size(), 1u);
  EXPECT_EQ(server_.RpcCalls()[0].Param(0), param);
  EXPECT_TRUE(Tracks().empty());

  EXPECT_EQ(Call(0x503, Product("10010010001")).result, 0);
  EXPECT_TRUE(Favorites().empty());
  EXPECT_EQ(Call(0x504, Product("10010010001")).result, 1);
  EXPECT_EQ(Call(0x501, "").text, "[]");
}

TEST_F(FavoritesTest, ListPagesAndSurvivesABrokenRequest) {
  install_.Main("INSERT INTO FAVORITES(PRODUCT_ID) VALUES('10010010003'),('10010010001'),('10010010002');");
  // A request text that does not parse still lists (no LIMIT read).
  EXPECT_EQ(Column(Call(0x501, "not json").text, "PRODUCT_ID"),
            (std::vector<std::string>{"10010010001", "10010010002", "10010010003"}));
  EXPECT_TRUE(qeltest::LoggedDirect("Get params error"));
  // LIMIT pages the favourites before the product list is built.
  EXPECT_EQ(Column(Call(0x501, "{\"PARAM\":{},\"LIMIT\":1}").text, "PRODUCT_ID"),
            std::vector<std::string>{"10010010003"});
}

TEST_F(FavoritesTest, BadProductIdsStoreNothing) {
  const struct {
    const char* name;
    std::string json;
  } cases[] = {
      {"quote", Product("1' OR '1'='1")},
      {"empty", Product("")},
      {"product is a text", "{\"PARAM\":{\"PRODUCT\":\"10010010001\"}}"},
      {"id is an object", "{\"PARAM\":{\"PRODUCT\":{\"PRODUCT_ID\":{}}}}"},
      {"no PARAM", "{}"},
      {"not json", "{"},
  };
  for (const auto& c : cases) {
    qeltest::ClearLog();
    EXPECT_EQ(Call(0x502, c.json).result, 1) << "case: " << c.name;
    EXPECT_TRUE(qeltest::LoggedDirect("Can not get PRODUCT_ID from json in")) << "case: " << c.name;
    EXPECT_NE(Call(0x504, c.json).result, 0) << "case: " << c.name;
  }
  EXPECT_TRUE(Favorites().empty());
  EXPECT_TRUE(Tracks().empty());
  // Removing by a quoted id only compares it.
  install_.Main("INSERT INTO FAVORITES(PRODUCT_ID) VALUES('10010010001');");
  EXPECT_EQ(Call(0x503, Product("1' OR '1'='1")).result, 0);
  EXPECT_EQ(Call(0x503, Product("")).result, 1);
  EXPECT_EQ(Favorites().size(), 1u);
}

TEST_F(FavoritesTest, SearchMatchesNamesAndBrandsWordForWord) {
  const struct {
    std::string filter;
    std::vector<std::string> ids;
  } cases[] = {
      {Gbk("阀门"), {"10010010001"}},
      {"pump", {"10010010002"}},
      {"Acme", {"10010010001"}},
      {Gbk("Zeta  阀门"), {"10010010001", "10010010002"}},
      {"100%", {"10010010002"}},
      // Wildcards and quotes are looked for as they are.
      {"%", {"10010010002"}},
      {"_", {"10010010003"}},
      {"O'Brien", {"10010010003"}},
      {"x' OR '1'='1", {}},
      {"nothing", {}},
      {"   ", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    qeltest::Reply reply = Call(0x511, Request("FILTER", "FILTER", c.filter));
    EXPECT_EQ(reply.result, 0) << "filter: " << c.filter;
    EXPECT_EQ(Column(reply.text, "PRODUCT_ID"), c.ids) << "filter: " << c.filter << "\n" << reply.text;
  }
  EXPECT_EQ(Call(0x511, Request("FILTER", "FILTER", "   ")).text, "[]");
  EXPECT_EQ(Call(0x511, "{\"PARAM\":{\"FILTER\":\"pump\"}}").result, 1);
  EXPECT_TRUE(qeltest::LoggedDirect("Can not get filter from json in"));
}

TEST(BuildLikeList, TrimsSkipsAndQuotesWords) {
  using qel::dataspace::qel_Invoke_Custom;
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({}, "t2.NAME"), "");
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({"", " ", "\t"}, "t2.NAME"), "");
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({"a", "", " b "}, "t2.NAME"),
            "t2.NAME LIKE '%a%' OR t2.NAME LIKE '%b%'");
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({"it's"}, "c"), "c LIKE '%it''s%'");
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({"it's_5%!"}, "c"), "c LIKE '%it''s!_5!%!!%' ESCAPE '!'");
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({"a", "5%"}, "c"), "c LIKE '%a%' OR c LIKE '%5!%%' ESCAPE '!'");
  // A GBK character whose second byte is "_" (0x5F) is not escaped.
  const std::string gbkWithUnderscore("\x81\x5F", 2);
  EXPECT_EQ(qel_Invoke_Custom::BuildLikeList({gbkWithUnderscore}, "c"),
            "c LIKE '%" + gbkWithUnderscore + "%'");
}

}  // namespace
