#include <gtest/gtest.h>

#include <string>

#include "qel/json.h"
#include "qel/text.h"

namespace {

TEST(JsonWriter, KeepsGbkBytesExact) {
  const std::string values[] = {"\xD6\xD0\xCE\xC4", "\x95\x5C", "a\x95\x5C\"b",
                                std::string("\x81\x40\xFE\xFE")};
  for (const std::string& v : values) {
    Json::Value row(Json::objectValue);
    row["NAME"] = v;
    for (const std::string& text : {qel::WriteStyled(row), qel::WriteCompact(row)}) {
      Json::Value back;
      ASSERT_TRUE(qel::ParseJson(text, &back)) << text;
      EXPECT_EQ(back["NAME"].asString(), v) << text;
    }
  }
  Json::Value plain(Json::objectValue);
  plain["N"] = "\xD6\xD0";
  EXPECT_EQ(qel::WriteCompact(plain), "{\"N\":\"\xD6\xD0\"}");
}

TEST(JsonWriter, StyledAndCompactShapes) {
  Json::Value rows(Json::arrayValue);
  Json::Value row(Json::objectValue);
  row["B"] = "2";
  row["A"] = "1";
  rows.append(row);
  EXPECT_EQ(qel::WriteStyled(rows), "[\n   {\n      \"A\" : \"1\",\n      \"B\" : \"2\"\n   }\n]\n");
  EXPECT_EQ(qel::WriteStyled(Json::Value(Json::arrayValue)), "[]\n");
  EXPECT_EQ(qel::WriteStyled(Json::Value()), "null\n");
  EXPECT_EQ(qel::WriteCompact(rows), "[{\"A\":\"1\",\"B\":\"2\"}]");
}

TEST(JsonReader, BadTextsCountAsNotParsed) {
  const std::string texts[] = {"",
                               "x",
                               "{",
                               "[1,",
                               "{\"a\":}",
                               std::string(100000, '['),
                               std::string(5000, '[') + std::string(5000, ']')};
  for (const std::string& t : texts) {
    Json::Value v(7);
    EXPECT_FALSE(qel::ParseJson(t, &v)) << t.substr(0, 20);
    EXPECT_TRUE(v.isNull()) << t.substr(0, 20);
  }
}

TEST(JsonReader, GbkReplyWith5CSurvives) {
  // A reply that arrived as UTF-8 and was converted to GBK as a whole: the
  // raw 0x5C would read as an escape; parsing the UTF-8 form keeps it.
  std::string gbk = qel::Utf8ToGbk("{\"NAME\":\"\xE6\x98\x9E\",\"\xE4\xB8\xAD\":\"x\"}");
  Json::Value v;
  ASSERT_TRUE(qel::ParseGbkJson(gbk, &v));
  EXPECT_EQ(v["NAME"].asString(), "\x95\x5C");
  EXPECT_EQ(v["\xD6\xD0"].asString(), "x");
}

TEST(JsonAccessors, WrongKindsCountAsMissing) {
  Json::Value v;
  ASSERT_TRUE(
      qel::ParseJson(R"({"s":"x","n":12,"r":2.5,"big":1e300,"b":true,"o":{"k":"v"},"a":[1],"ns":"-9"})", &v));
  EXPECT_EQ(qel::StringMember(v, "s"), "x");
  EXPECT_EQ(qel::StringMember(v, "n"), "");
  EXPECT_EQ(qel::TextMember(v, "n"), "12");
  EXPECT_EQ(qel::TextMember(v, "r"), "2.5");
  EXPECT_EQ(qel::TextMember(v, "b"), "true");
  EXPECT_EQ(qel::TextMember(v, "o"), "");
  EXPECT_TRUE(qel::ObjectMember(v, "a").isNull());
  EXPECT_TRUE(qel::ArrayMember(v, "a").isArray());
  EXPECT_TRUE(qel::Member(Json::Value("text"), "s").isNull());
  EXPECT_TRUE(qel::Member(Json::Value(Json::arrayValue), "s").isNull());
  EXPECT_TRUE(qel::Element(v, 0).isNull());
  int64_t n = 0;
  EXPECT_TRUE(qel::ReadInt64(v, "n", &n));
  EXPECT_EQ(n, 12);
  EXPECT_TRUE(qel::ReadInt64(v, "ns", &n));
  EXPECT_EQ(n, -9);
  EXPECT_FALSE(qel::ReadInt64(v, "r", &n));
  EXPECT_FALSE(qel::ReadInt64(v, "big", &n));
  EXPECT_FALSE(qel::ReadInt64(v, "s", &n));
  EXPECT_FALSE(qel::ReadInt64(v, "missing", &n));
  Json::Value huge("99999999999999999999");
  EXPECT_FALSE(qel::ValueAsInt64(huge, &n));
}

}  // namespace
