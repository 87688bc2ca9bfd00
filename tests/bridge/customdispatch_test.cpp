// The method table of the custom module: which numbers it answers, and how
// a request without the input a method needs is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "customtest.h"
#include "datainterfaceinvoke.h"

namespace {

using qeltest::Call;

class CustomDispatchTest : public qeltest::CustomTest {
 protected:
  void SetUpRows() override {
    install_.Ex(
        "INSERT INTO SYS_AREA (AR_ID, AREAID, SORT) VALUES ('a86', '86', 1), ('a01', '8601', 1), "
        "('a0101', '860101', 1);"
        "INSERT INTO SYS_AREA_LANG (AR_ID, LANGID, NAME) VALUES ('a86', 3, 'China'), ('a01', 3, 'One'), "
        "('a0101', 3, 'OneOne');");
  }
};

TEST_F(CustomDispatchTest, NumbersOutsideTheTableLeaveTheReplyAlone) {
  qel::dataspace::Data_interface_invoke* module = qel::dataspace::GetInvokeModule(5);
  ASSERT_NE(module, nullptr);
  for (int method : {0, 5, 16, 18, 33, 36, 48, 51, 63, 64, 68, 79, 85, 111, 117, 255}) {
    std::string reply = "kept";
    EXPECT_EQ(module->Invoke(method, "{\"PARAM\":{}}", &reply), 1) << "method: " << method;
    EXPECT_EQ(reply, "kept") << "method: " << method;
  }
}

TEST_F(CustomDispatchTest, MissingInputTakesEachMethodsRoute) {
  const struct {
    int code;
    const char* json;
    const char* text;
    bool direct;
  } cases[] = {
      {0x502, "{}", "Can not get PRODUCT_ID from json in", true},
      {0x503, "{\"PARAM\":{\"PRODUCT\":{}}}", "Can not get PRODUCT_ID from json in", true},
      {0x504, "not json", "Can not get PRODUCT_ID from json in", true},
      {0x511, "{\"PARAM\":{\"FILTER\":{}}}", "Can not get filter from json in", true},
      {0x522, "{\"PARAM\":{}}", "Can not get PRODUCTID fros from in ", true},
      {0x53b, "{}", "Can not get params from json in", false},
      {0x53c, "{}", "Can not get params from json in", true},
      {0x542, "{\"PARAM\":{\"SYS_AREA\":\"8601\"}}", "Can not get params from json in", true},
      {0x543, "{}", "Can not get params from json in", true},
      {0x534, "", "There is not any user", true},
  };
  for (const auto& c : cases) {
    qeltest::ClearLog();
    EXPECT_EQ(Call(c.code, c.json).result, 1) << "code: " << std::hex << c.code;
    if (c.direct) {
      EXPECT_TRUE(qeltest::LoggedDirect(c.text)) << "code: " << std::hex << c.code << "\n"
                                                 << qeltest::LogText();
    } else {
      EXPECT_TRUE(qeltest::LoggedBridge("qel::dataspace::qel_Invoke_Custom::Invoke", c.text))
          << "code: " << std::hex << c.code << "\n"
          << qeltest::LogText();
    }
  }
}

TEST_F(CustomDispatchTest, AreasAreRouted) {
  const struct {
    int code;
    const char* json;
    int result;
    std::vector<std::string> ids;
  } cases[] = {
      {0x541, "", 0, {"8601"}},
      {0x541, "{\"PARAM\":{\"SYS_AREA\":{\"AREAID\":\"8601\"}}}", 0, {"860101"}},
      {0x541, "{\"PARAM\":{\"SYS_AREA\":{\"AREAID\":\"86' OR '1'='1\"}}}", 1, {}},
      {0x542, "{\"PARAM\":{\"SYS_AREA\":{\"AREAID\":\"860101\"}}}", 0, {"8601"}},
      {0x543, "{\"PARAM\":{\"SYS_AREA\":{\"AREAID\":\"8601\"}}}", 0, {"8601"}},
  };
  for (const auto& c : cases) {
    qeltest::Reply reply = Call(c.code, c.json);
    EXPECT_EQ(reply.result, c.result) << "code: " << std::hex << c.code << " " << c.json;
    if (c.result == 0) {
      EXPECT_EQ(qeltest::Column(reply.text, "AREAID"), c.ids) << c.json;
    }
  }
}

}  // namespace
