// The custom module on an installation whose main database is damaged: every
// request that reads or writes it fails with its failure result and error
// reply, never with a reply that reads as an answer (an empty list, a count
// of 0, a product not seen or not a favourite).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cqelbridge.h"
#include "customtest.h"

namespace {

using qel::dataspace::cqelbridge;
using qeltest::Call;
using qeltest::Reply;

// How the file is damaged.
enum class Damage {
  kGarbage,     // every byte replaced: no database at all
  kTablePages,  // header and schema intact; the pages of the module's tables overwritten
};

// The root pages of the tables the custom module reads, as the file lists
// them.
std::vector<int> TablePages(const std::string& path) {
  std::vector<int> pages;
  for (const std::string& row :
       qeltest::QuerySql(path,
                         "SELECT rootpage FROM sqlite_master WHERE tbl_name IN ('FAVORITES', 'PROD_CONSULT', "
                         "'PROD_INQUIRY', 'BEHAVIOR', 'USERINFO', 'PRODUCT_EXTEND')")) {
    pages.push_back(std::stoi(row));
  }
  return pages;
}

// Overwrites the file in place, so that the bridge's open connection reads
// the damage.
void DamageFile(const std::string& path, Damage damage) {
  std::string content = qeltest::ReadFile(path);
  ASSERT_GT(content.size(), 4096u);
  if (damage == Damage::kGarbage) {
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(0xA5 ^ (i * 7));
  } else {
    const int pageSize = std::stoi(qeltest::QuerySql(path, "PRAGMA page_size").at(0));
    for (int page : TablePages(path)) {
      for (int i = 0; i < pageSize; ++i) content[static_cast<size_t>(page - 1) * pageSize + i] = '\xFF';
    }
  }
  FILE* file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file), content.size());
  ASSERT_EQ(std::fclose(file), 0);
}

class DamagedMainTest : public qeltest::CustomTest, public ::testing::WithParamInterface<Damage> {
 protected:
  void SetUpRows() override {
    InsertStoredRows();
    install_.Main("INSERT INTO BEHAVIOR (TRACK) VALUES ('{\"interfaceUrl\":\"VisitService.json\"}');");
  }
};

TEST_P(DamagedMainTest, RequestsFailInsteadOfAnswering) {
  cqelbridge::GetInstance()->SetCurrentUID("u1");
  DamageFile(install_.dataDb(), GetParam());
  const std::string product = R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000002"}}})";
  const struct {
    const char* name;
    int code;
    std::string request;
  } cases[] = {
      {"favourites", 0x501, ""},
      {"add favourite", 0x502, product},
      {"remove favourite", 0x503, product},
      {"is favourite", 0x504, product},
      {"mark product seen", 0x522, product},
      {"user information", 0x534, ""},
      {"consultation count", 0x537, product},
      {"inquiry count", 0x538, product},
      {"consultations", 0x53b, product},
      {"inquiries", 0x53c, product},
      {"consult", 0x539, R"({"PARAM":{"PROD_CONSULT":{"CONSULT_ID":"0","CONTENT":"c"}}})"},
      {"delete consultation", 0x53d,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000002"},"PROD_CONSULT":{"CONSULT_ID":"7"}}})"},
      {"delete inquiry", 0x53e,
       R"({"PARAM":{"PRODUCT":{"PRODUCT_ID":"10000000002"},"PROD_INQUIRY":{"INQUIRY_ID":"8"}}})"},
      {"send usage records", 0x551, ""},
      {"queue a visit", 0x553, R"({"prodId":"12"})"},
  };
  for (const auto& c : cases) {
    const Reply reply = Call(c.code, c.request);
    EXPECT_EQ(reply.result, 1) << "request: " << c.name << "\n" << reply.text;
    // A main database that is no database at all leaves the bridge
    // unloaded, and its error table cannot be read either.
    if (GetParam() == Damage::kTablePages) {
      EXPECT_EQ(ErrorCode(reply.text), "1") << "request: " << c.name << "\n" << reply.text;
    }
  }
  // Nothing reached the service: the queue could not be read.
  EXPECT_TRUE(server_.RpcCalls().empty());
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedMainTest, ::testing::Values(Damage::kGarbage, Damage::kTablePages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return info.param == Damage::kGarbage ? "Garbage" : "TablePages";
                         });

}  // namespace
