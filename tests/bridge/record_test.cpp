// Records: one row object or an array of rows, GBK text throughout.
#include <gtest/gtest.h>

#include "database/qelrecord.h"
#include "qel/json.h"
#include "testsupport.h"

namespace qel {
namespace dataspace {
namespace {

qelRecord Row(const std::string& a, const std::string& b) {
  qelRecord rec;
  rec.SetValue("A", a);
  rec.SetValue("B", b);
  return rec;
}

TEST(RecordTest, NewRecordIsAnEmptyArrayText) {
  qelRecord rec;
  EXPECT_EQ(rec.Size(), 0);
  EXPECT_EQ(rec.ToString(), "[]");
  std::string name = "n", value = "v";
  rec.GetItem(0, &name, &value);
  EXPECT_EQ(name, "n");
  EXPECT_EQ(value, "v");
  EXPECT_FALSE(rec.RemoveAt(0));
  EXPECT_FALSE(rec.RemoveMember("A"));
  EXPECT_TRUE(rec.Clear());
}

TEST(RecordTest, MembersInNameOrder) {
  qelRecord rec;
  EXPECT_TRUE(rec.SetValue("B", "2"));
  EXPECT_TRUE(rec.SetValue("A", "1"));
  EXPECT_EQ(rec.Size(), 2);
  std::string name, value;
  rec.GetItem(1, &name, &value);
  EXPECT_EQ(name, "B");
  EXPECT_EQ(value, "2");
  name.clear();
  rec.GetItem(2, &name, &value);
  EXPECT_EQ(name, "");

  EXPECT_FALSE(rec.RemoveAt(2));
  EXPECT_TRUE(rec.RemoveAt(1));
  EXPECT_EQ(rec.Size(), 1);
  EXPECT_EQ(rec.GetValue("A"), "1");
  EXPECT_EQ(rec.GetValue("B"), "");
}

TEST(RecordTest, ReadingAMissingMemberAddsANullMember) {
  qelRecord rec = Row("1", "2");
  EXPECT_EQ(rec.GetValue("X"), "");
  EXPECT_EQ(rec.Size(), 3);
  EXPECT_EQ(rec.ToString(), "{\n   \"A\" : \"1\",\n   \"B\" : \"2\",\n   \"X\" : null\n}\n");
  EXPECT_FALSE(rec.RemoveMember("X")) << "a null member does not count";
  EXPECT_EQ(rec.Size(), 2);
  EXPECT_TRUE(rec.RemoveMember("A"));
  EXPECT_FALSE(rec.RemoveMember("A"));
  EXPECT_TRUE(rec.Clear());
  EXPECT_EQ(rec.Size(), 0);
}

TEST(RecordTest, AppendMakesAStyledArrayWithGbkBytesKept) {
  const std::string gbk = qeltest::Gbk("产品");
  qelRecord rec;
  rec.Append(Row(gbk, "x").GetJson());
  rec.Append(Row("y", "z").GetJson());
  EXPECT_EQ(rec.Size(), 2);
  EXPECT_EQ(
      rec.ToString(),
      "[\n   {\n      \"A\" : \"" + gbk +
          "\",\n      \"B\" : \"x\"\n   },\n   {\n      \"A\" : \"y\",\n      \"B\" : \"z\"\n   }\n]\n");
  EXPECT_EQ(rec.ToString(), qel::WriteStyled(rec.GetJson()));
}

TEST(RecordTest, WrongKindAnswersEmptyOrFalse) {
  qelRecord array;
  array.Append(Json::Value("a"));
  qelRecord text(Json::Value("plain"));
  qelRecord number(Json::Value(5));
  qelRecord object = Row("1", "2");
  object.Append(Json::Value("ignored"));  // an object is no array
  EXPECT_EQ(object.Size(), 2);

  for (qelRecord* rec : {&array, &text, &number}) {
    const std::string before = rec->ToString();
    EXPECT_EQ(rec->GetValue("A"), "") << before;
    EXPECT_FALSE(rec->SetValue("A", "1")) << before;
    EXPECT_FALSE(rec->RemoveMember("A")) << before;
    EXPECT_FALSE(rec->RemoveAt(0)) << before;
    std::string name = "n";
    rec->GetItem(0, &name, nullptr);
    EXPECT_EQ(name, "n") << before;
    EXPECT_EQ(rec->ToString(), before);
  }
  text.Append(Json::Value("x"));
  EXPECT_EQ(text.GetJson(), Json::Value("plain"));
  EXPECT_EQ(text.Size(), 0);

  // Clear empties any kind; a scalar becomes null.
  EXPECT_TRUE(array.Clear());
  EXPECT_EQ(array.Size(), 0);
  EXPECT_TRUE(text.Clear());
  EXPECT_EQ(text.ToString(), "[]");
  EXPECT_TRUE(text.SetValue("A", "1"));
}

TEST(RecordTest, NonStringMembersReadAsText) {
  Json::Value row(Json::objectValue);
  row["N"] = 12;
  row["B"] = true;
  row["O"] = Json::Value(Json::objectValue);
  qelRecord rec(row);
  EXPECT_EQ(rec.GetValue("N"), "12");
  EXPECT_EQ(rec.GetValue("B"), "true");
  EXPECT_EQ(rec.GetValue("O"), "");
  std::string name, value = "v";
  rec.GetItem(2, &name, &value);
  EXPECT_EQ(name, "O");
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
