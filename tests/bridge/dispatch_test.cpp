#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "datainterfaceinvoke.h"
#include "qel/json.h"
#include "qelbridge.h"

namespace {

using qel::dataspace::Data_interface_invoke;

// Records what reaches it and answers with a scripted result.
class RecordingModule : public Data_interface_invoke {
 public:
  int Invoke(int method, std::string json, std::string* reply) override {
    methods.push_back(method);
    requests.push_back(json);
    if (throws) throw std::runtime_error("boom");
    *reply = answer;
    return result;
  }
  std::vector<int> methods;
  std::vector<std::string> requests;
  std::string answer = "[]\n";
  int result = 0;
  bool throws = false;
};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    for (unsigned i = 0; i < 7; ++i) saved_[i] = qel::dataspace::SwapInvokeModule(i, &modules_[i]);
  }
  void TearDown() override {
    for (unsigned i = 0; i < 7; ++i) qel::dataspace::SwapInvokeModule(i, saved_[i]);
  }
  RecordingModule modules_[7];
  Data_interface_invoke* saved_[7] = {};
};

TEST_F(Dispatch, CodeSplitting) {
  struct Case {
    int code;
    int module;  // -1: none
    int method;
  } cases[] = {{0x607, 6, 7}, {0x10, 0, 16},  {0x10607, 6, 7}, {0x5FF, 5, 255},
               {0x400, 4, 0}, {0x700, -1, 0}, {-1, -1, 0},     {0x7FFF0000 | 0x0301, 3, 1}};
  for (const Case& c : cases) {
    for (auto& m : modules_) m.methods.clear();
    char* reply = nullptr;
    int result = Invoke(c.code, "{}", &reply);
    ASSERT_NE(reply, nullptr);
    if (c.module < 0) {
      EXPECT_EQ(result, -2) << "code: " << c.code;
      EXPECT_STREQ(reply, "null\n") << "no database: the error query cannot run";
    } else {
      EXPECT_EQ(result, 0) << "code: " << c.code;
      ASSERT_EQ(modules_[c.module].methods.size(), 1u) << "code: " << c.code;
      EXPECT_EQ(modules_[c.module].methods[0], c.method) << "code: " << c.code;
      EXPECT_STREQ(reply, "[]\n");
    }
    DeleteJsonStr(&reply);
  }
}

TEST_F(Dispatch, NonZeroResultReplacesTheRows) {
  for (int code : {1, -1, -2, 100020}) {
    modules_[6].result = code;
    modules_[6].answer = "[{\"ROW\":\"1\"}]";
    char* reply = nullptr;
    EXPECT_EQ(Invoke(0x601, "", &reply), code);
    EXPECT_STREQ(reply, "null\n") << "result " << code;
    DeleteJsonStr(&reply);
  }
}

TEST_F(Dispatch, ThrowingModuleGivesResultOne) {
  modules_[2].throws = true;
  char* reply = nullptr;
  EXPECT_EQ(Invoke(0x201, "{}", &reply), 1);
  EXPECT_STREQ(reply, "null\n");
  DeleteJsonStr(&reply);
  std::string text;
  EXPECT_EQ(Invoke_CPP(0x201, "{}", text), 1);
}

TEST_F(Dispatch, ReplyOwnershipAndBadArguments) {
  modules_[1].answer = std::string(1000, 'x');
  char* reply = nullptr;
  ASSERT_EQ(Invoke(0x100, nullptr, &reply), 0) << "a null request reads as \"\"";
  EXPECT_EQ(modules_[1].requests.back(), "");
  EXPECT_EQ(std::strlen(reply), 1000u);
  EXPECT_EQ(reply[1000], '\0');
  DeleteJsonStr(&reply);
  EXPECT_EQ(reply, nullptr);
  DeleteJsonStr(&reply);
  DeleteJsonStr(nullptr);
  EXPECT_EQ(Invoke(0x100, "{}", nullptr), -1);
  EXPECT_EQ(modules_[1].methods.size(), 1u) << "no dispatch without an out-pointer";
}

TEST_F(Dispatch, RequestsOfAnyShapeReachTheModuleUnchanged) {
  const std::string texts[] = {
      "", "x", "[1,2]", std::string(10000, '['), std::string(1 << 20, 'a'), std::string("\xD6\xD0\x95\x5C")};
  for (const std::string& t : texts) {
    char* reply = nullptr;
    EXPECT_EQ(Invoke(0x600, t.c_str(), &reply), 0);
    EXPECT_EQ(modules_[6].requests.back(), t);
    DeleteJsonStr(&reply);
  }
}

TEST_F(Dispatch, InvokeCppPlaceholderAndPassThrough) {
  modules_[4].result = 1;
  modules_[4].answer = "{\"Error\":\"x\"}";
  std::string reply;
  EXPECT_EQ(Invoke_CPP(0x401, "", reply), 1);
  EXPECT_EQ(reply, "{\"Error\":\"x\"}") << "a non-empty handler reply is kept";
  modules_[4].answer = "";
  reply.clear();
  EXPECT_EQ(Invoke_CPP(0x401, "", reply), 1);
  EXPECT_EQ(reply, "[\n   {\n      \"ERRORDESC\" : \" \",\n      \"ERRORLEVEL\" : \" \"\n   }\n]\n");
  reply = "kept";
  EXPECT_EQ(Invoke_CPP(0x900, "", reply), -2);
  EXPECT_EQ(reply, "kept") << "no module: the reply stays as it was";
}

TEST_F(Dispatch, InvokeExNeverWritesPastTheStatedCapacity) {
  modules_[0].answer = "0123456789";
  struct Case {
    int capacity;
    int result;
    std::string text;
  } cases[] = {{64, 0, "0123456789"}, {11, 0, "0123456789"}, {10, -1, ""}, {4, -1, ""}};
  for (const Case& c : cases) {
    std::vector<char> array(c.capacity + 8, '#');
    std::memcpy(array.data(), &c.capacity, sizeof c.capacity);
    char* buffer = array.data();
    EXPECT_EQ(InvokeEx(0x001, "", &buffer), c.result) << "capacity " << c.capacity;
    EXPECT_STREQ(array.data(), c.text.c_str()) << "capacity " << c.capacity;
    for (size_t i = c.capacity; i < array.size(); ++i) ASSERT_EQ(array[i], '#') << "capacity " << c.capacity;
  }
}

TEST(CodeTransfer, Directions) {
  std::string text = "\xE4\xB8\xAD";
  EXPECT_EQ(c_codethansfer(0, &text), 0);
  EXPECT_EQ(text, "\xD6\xD0");
  EXPECT_EQ(c_codethansfer(2, &text), 0);
  EXPECT_EQ(text, "\xD6\xD0");
  EXPECT_EQ(c_codethansfer(1, &text), 0);
  EXPECT_EQ(text, "\xE4\xB8\xAD");
  EXPECT_EQ(c_codethansfer(1, nullptr), 0);
}

TEST(ModuleTable, SevenModulesAndTheirUnhandledCodes) {
  for (unsigned i = 0; i < 7; ++i) EXPECT_NE(qel::dataspace::GetInvokeModule(i), nullptr) << i;
  EXPECT_EQ(qel::dataspace::GetInvokeModule(7), nullptr);
  EXPECT_EQ(qel::dataspace::GetInvokeModule(255), nullptr);
}

}  // namespace
