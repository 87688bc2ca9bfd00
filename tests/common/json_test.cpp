#include <gtest/gtest.h>

#include <string>

#include "qel/json.h"
#include "qel/text.h"

namespace {

// GBK bytes of characters whose second byte is 0x5C, and their UTF-8 form.
const char kCheng[] = "\xD5\x5C";  // U+8AA0
const char kXin[] = "\xD0\xC5";    // U+4FE1
const char kJou[] = "\x81\x5C";    // U+4E57
const char kChengUtf8[] = "\xE8\xAA\xA0";
const char kXinUtf8[] = "\xE4\xBF\xA1";
const char kJouUtf8[] = "\xE4\xB9\x97";

// Reads a written text the way a host does: GBK first, then JSON.
bool ReadAsHost(const std::string& gbkText, Json::Value* utf8Value) {
  return qel::IsValidGbk(gbkText) && qel::ParseJson(qel::GbkToUtf8(gbkText), utf8Value);
}

TEST(JsonWriter, TextsDecodeAsGbkToTheSameCharacters) {
  struct Case {
    const char* label;
    std::string gbk;
    std::string utf8;
  };
  const Case cases[] = {
      {"second byte 0x5C", std::string(kCheng) + kXin, std::string(kChengUtf8) + kXinUtf8},
      {"first-byte 0x81 with 0x5C", kJou, kJouUtf8},
      {"real backslash", "a\\b", "a\\b"},
      {"character then backslash", std::string(kCheng) + "\\", std::string(kChengUtf8) + "\\"},
      {"backslash then character", std::string("\\") + kCheng, std::string("\\") + kChengUtf8},
      {"character then quote", std::string(kJou) + "\"x", std::string(kJouUtf8) + "\"x"},
      {"escapes beside characters", std::string("\n") + kCheng + "\t" + kJou + "\x01",
       std::string("\n") + kChengUtf8 + "\t" + kJouUtf8 + "\x01"},
      {"plain GBK", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"two-byte ends", "\x81\x40\xFE\x4F", qel::GbkToUtf8("\x81\x40\xFE\x4F")},
  };
  for (const Case& c : cases) {
    Json::Value row(Json::objectValue);
    row["NAME"] = c.gbk;
    row[c.gbk] = "k";
    Json::Value rows(Json::arrayValue);
    rows.append(row);
    for (const std::string& text : {qel::WriteStyled(rows), qel::WriteCompact(rows)}) {
      Json::Value host;
      ASSERT_TRUE(ReadAsHost(text, &host)) << c.label << ": " << text;
      EXPECT_EQ(host[0]["NAME"].asString(), c.utf8) << c.label;
      EXPECT_EQ(host[0][c.utf8].asString(), "k") << c.label;
      Json::Value back;
      ASSERT_TRUE(qel::ParseGbkJson(text, &back)) << c.label;
      EXPECT_EQ(back, rows) << c.label;
    }
  }
  // The second byte is written once; a real backslash stays escaped.
  Json::Value v(Json::objectValue);
  v["N"] = std::string(kCheng) + kXin + "\\";
  EXPECT_EQ(qel::WriteCompact(v), std::string("{\"N\":\"") + kCheng + kXin + "\\\\\"}");
}

// A value holding bytes that start no GBK character is still written as a
// GBK document: such bytes are dropped, so none pairs with the backslash of
// an escape after it, and the rest of the value survives.
TEST(JsonWriter, BytesThatStartNoCharacterAreDropped) {
  struct Case {
    const char* label;
    std::string value;
    std::string written;  // the GBK value as read back
  };
  const Case cases[] = {
      {"first byte before a control escape", "x\xF1\x0Fy", "x\x0Fy"},
      {"first byte before a quote", "\x81\"a", "\"a"},
      {"first byte at the end", std::string("a") + kCheng + "\xD5", std::string("a") + kCheng},
      {"0xFF; 0x80 is the euro sign", std::string("\x80") + "a\xFF", std::string("\x80") + "a"},
      {"first byte before ASCII", "\xD5 b", " b"},
  };
  for (const Case& c : cases) {
    Json::Value row(Json::objectValue);
    row["NAME"] = c.value;
    for (const std::string& text : {qel::WriteStyled(row), qel::WriteCompact(row)}) {
      EXPECT_TRUE(qel::IsValidGbk(text)) << c.label << ": " << text;
      Json::Value back;
      ASSERT_TRUE(qel::ParseGbkJson(text, &back)) << c.label << ": " << text;
      EXPECT_EQ(back["NAME"].asString(), c.written) << c.label;
    }
  }
}

TEST(JsonWriter, Utf8TextsKeepEveryEscape) {
  // "昞" in UTF-8 ends in 0x9E, which would pass for a GBK first byte.
  Json::Value v(Json::objectValue);
  v["N"] = "\xE6\x98\x9E\\";
  const std::string text = qel::WriteCompactUtf8(v);
  EXPECT_EQ(text, "{\"N\":\"\xE6\x98\x9E\\\\\"}");
  Json::Value back;
  ASSERT_TRUE(qel::ParseJson(text, &back));
  EXPECT_EQ(back, v);
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

TEST(JsonReader, ReadsGbkTextsAsAHostWritesThem) {
  // Written in UTF-8 by a host, then encoded as GBK: white space, escapes
  // and \u forms of 0x5C characters all read back as GBK bytes.
  std::string utf8 = std::string("{ \"PATH\" :\n\t\"/data/") + kJouUtf8 + "\\\\" + kChengUtf8 +
                     "\", \"ESC\":\"\\u8aa0\\u4fe1\\\"\", \"" + kJouUtf8 + "\":[\"" + kXinUtf8 + "\"]}";
  Json::Value v;
  ASSERT_TRUE(qel::ParseGbkJson(qel::Utf8ToGbk(utf8), &v));
  EXPECT_EQ(v["PATH"].asString(), std::string("/data/") + kJou + "\\" + kCheng);
  EXPECT_EQ(v["ESC"].asString(), std::string(kCheng) + kXin + "\"");
  EXPECT_EQ(v[kJou][0].asString(), kXin);

  // Bytes that are no GBK are kept: "1\x81" never reads as the id "1".
  struct Case {
    const char* label;
    std::string text;
    std::string value;
  } cases[] = {
      {"byte that is no GBK", "{\"ID\":\"1\x81\"}", "1\x81"},
      {"lone first byte before a backslash escape", "[\"\xFF\\\\\"]", "\xFF\\"},
      {"\\u with a second byte 0x5C", "[\"\\u4e57\\u8AA0\\\\\"]", std::string(kJou) + kCheng + "\\"},
      {"\\u beside raw GBK", std::string("[\"") + kCheng + "\\u4fe1\"]", std::string(kCheng) + kXin},
      // An escape GBK cannot give leaves a byte that is never GBK, so
      // "1\ud83d\ude00" never reads as the id "1".
      {"\\u pair outside GBK", "[\"a\\ud83d\\ude00b\"]",
       "a\xFF"
       "b"},
      {"lone second half", "[\"1\\udc00\"]", "1\xFF"},
      {"lone first half", "[\"1\\ud83d\"]", "1\xFF"},
      {"first half before another escape", "[\"\\ud83d\\u0041\\ud83d\\ud83d\\ude00\"]",
       "\xFF"
       "A\xFF\xFF"},
      {"\\u outside GBK, no pair", "[\"1\\u0e01\"]", "1\xFF"},
      {"member name with a pair", "{\"ID\":\"1\",\"ID\\ud83d\\ude00\":\"2\"}", "1"},
      {"ASCII \\u", "[\"\\u0041\\u005c\"]", "A\\"},
  };
  for (const Case& c : cases) {
    Json::Value out;
    ASSERT_TRUE(qel::ParseGbkJson(c.text, &out)) << c.label;
    const Json::Value& value = out.isArray() ? out[0] : out["ID"];
    EXPECT_EQ(value.asString(), c.value) << c.label;
  }

  const std::string bad[] = {"", "{", std::string("{\"N\":\"") + kCheng + "\"", "{\"N\":\"a\\\"}"};
  for (const std::string& t : bad) {
    Json::Value out(7);
    EXPECT_FALSE(qel::ParseGbkJson(t, &out)) << t;
    EXPECT_TRUE(out.isNull()) << t;
  }
}

TEST(JsonReader, WholeTextHoldsOneValueOnly) {
  struct Case {
    std::string text;
    bool whole;
  } cases[] = {{"{\"a\":1}", true},           {"{\"a\":1}\n\t ", true},    {"{\"a\":1} x", false},
               {"{\"a\":1}{\"b\":2}", false}, {"[\"\xD5\x5C\"]\"", false}, {std::string("[1]\0x", 4), false}};
  for (const Case& c : cases) {
    Json::Value v;
    EXPECT_TRUE(qel::ParseGbkJson(c.text, &v)) << c.text;
    EXPECT_EQ(qel::ParseWholeGbkJson(c.text, &v), c.whole) << c.text;
  }
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
