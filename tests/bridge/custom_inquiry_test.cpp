// Inquiry submission with attachment upload (0x53a).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "customtest.h"
#include "qel/text.h"

namespace {

namespace fs = std::filesystem;
using qeltest::Call;
using qeltest::CustomTest;
using qeltest::Reply;

std::string Inquiry(const std::string& id, const std::string& img) {
  Json::Value item(Json::objectValue);
  item["INQUIRY_ID"] = id;
  item["IMG"] = img;
  item["CONTENT"] = "price?";
  item["ADDTIME"] = "2026-12-10";
  item["NUM"] = "12 boxes";
  item["CONTACT"] = "Li";
  item["TEL1"] = "t1";
  item["TEL2"] = "t2";
  item["TEL3"] = "t3";
  item["MOBILENUM"] = "139";
  item["EMAIL"] = "li@x.y";
  item["AREAR"] = "86010101";
  item["ADDRESS"] = "West Lake";
  item["PRODUCT_ID"] = "10010010001";
  item["DUEDATE"] = "2027-01-01";
  Json::Value request;
  request["PARAM"]["PROD_INQUIRY"] = item;
  return qel::WriteCompact(request);
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
  return names;
}

class InquiryTest : public CustomTest {
 protected:
  void SetUpRows() override {
    install_.Main("INSERT INTO USERINFO (UID, USERID, REMEMBER) VALUES ('u1', 'me', '1');");
  }
  std::string UploadDir() const { return install_.root() + "/uploadfile"; }
  std::vector<std::string> Ids() const {
    return Rows("SELECT INQUIRY_ID FROM PROD_INQUIRY ORDER BY CAST(INQUIRY_ID AS INTEGER)");
  }
  // INQUIRY_ID of a failure reply: the id the inquiry is kept under, "0"
  // when none; null when the reply names none.
  static Json::Value KeptId(const Reply& reply) {
    Json::Value error;
    if (!qel::ParseJson(reply.text, &error)) return Json::Value();
    return qel::Member(error, "INQUIRY_ID");
  }
  std::vector<qeltest::RpcCall> InquiryCalls() const {
    std::vector<qeltest::RpcCall> calls;
    for (const qeltest::RpcCall& call : server_.RpcCalls()) {
      if (call.Service(0) == "InquiryService.json saveProdInquiry") calls.push_back(call);
    }
    return calls;
  }
};

TEST_F(InquiryTest, WithoutAttachmentNothingIsCopiedOrUploaded) {
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  Reply reply = Call(0x53a, Inquiry("0", ""));
  ASSERT_EQ(reply.result, 0) << reply.text;
  EXPECT_EQ(reply.text, "");
  EXPECT_TRUE(server_.Uploads().empty());
  EXPECT_FALSE(fs::exists(UploadDir()));
  EXPECT_EQ(
      Rows(
          "SELECT INQUIRY_ID, PRODUCT_ID, CONTENT, ADDTIME, NUM, CONTACT, TEL1, TEL2, TEL3, MOBILENUM, EMAIL,"
          " AREAR, ADDRESS, IMG, DUEDATE, SENTSTATUS, ITYPE, USERID FROM PROD_INQUIRY"),
      std::vector<std::string>{"2|10010010001|price?|2026-12-10|12 boxes|Li|t1|t2|t3|139|li@x.y|86010101|"
                               "West Lake||2027-01-01|2|1|u1"});

  std::vector<qeltest::RpcCall> calls = InquiryCalls();
  ASSERT_EQ(calls.size(), 1u);
  Json::Value expected(Json::objectValue);
  expected["adjunctType"] = "";
  expected["adjunctAddress"] = "";
  expected["adjunct"] = "";
  expected["linkPhone"] = "139";
  expected["linkTel"] = "t2";
  expected["prodId"] = Json::Int64(10010010001);
  expected["finalDate"] = "2027-01-01";
  expected["estimatedNum"] = 12;
  expected["province"] = 0;
  expected["city"] = 0;
  expected["country"] = 86010101;
  expected["content"] = "price?";
  expected["address"] = "West Lake";
  expected["linkMan"] = "Li";
  expected["email"] = "li@x.y";
  expected["compId"] = "1001";
  expected["addUid"] = "u1";
  EXPECT_EQ(calls[0].Param(0), expected) << qel::WriteStyled(calls[0].Param(0));
}

// Where the attachment lies decides whether it is copied; the copy is named
// by the clock with the extension of the file's own name.
TEST_F(InquiryTest, AttachmentPaths) {
  const std::string outside = qeltest::TestDir() + "/pictures";
  fs::create_directories(outside + "/my.album");
  fs::create_directories(UploadDir() + "/sub");
  qeltest::WriteFile(outside + "/photo.png", "PNG-1");
  qeltest::WriteFile(outside + "/my.album/photo.jpeg", "JPEG-2");
  qeltest::WriteFile(outside + "/my.album/noext", "X");
  qeltest::WriteFile(outside + "/a b.测 试", "SPACE");
  qeltest::WriteFile(UploadDir() + "/kept.png", "KEPT");
  qeltest::WriteFile(UploadDir() + "/sub/deeper.gif", "GIF");
  qeltest::WriteFile(install_.root() + "/beside.bmp", "BMP");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");

  const struct {
    std::string path;
    int result;
    bool copied;
    std::string content;  // bytes that are uploaded
    std::string ext;      // of the stored name
    std::string encodedExt;
  } cases[] = {
      {outside + "/photo.png", 0, true, "PNG-1", ".png", ".png"},
      {outside + "/my.album/photo.jpeg", 0, true, "JPEG-2", ".jpeg", ".jpeg"},
      {outside + "\\my.album\\photo.jpeg", 0, true, "JPEG-2", ".jpeg", ".jpeg"},
      {outside + "/a b.测 试", 0, true, "SPACE", ".测 试", ".%E6%B5%8B%20%E8%AF%95"},
      {UploadDir() + "/kept.png", 0, false, "KEPT", "", ""},
      {UploadDir() + "/sub/deeper.gif", 0, true, "GIF", ".gif", ".gif"},
      {UploadDir() + "/../beside.bmp", 0, true, "BMP", ".bmp", ".bmp"},
      {outside + "/my.album/noext", 1, false, "", "", ""},
      {outside + "/missing.png", 1, false, "", "", ""},
      {outside + "/my.album", 1, false, "", "", ""},
  };
  for (const auto& c : cases) {
    install_.Main("DELETE FROM PROD_INQUIRY;");
    const std::vector<std::string> before = FilesIn(UploadDir());
    const size_t uploads = server_.Uploads().size();
    const size_t calls = InquiryCalls().size();

    Reply reply = Call(0x53a, Inquiry("0", qeltest::Gbk(c.path)));
    EXPECT_EQ(reply.result, c.result) << c.path;
    std::vector<std::string> stored = Rows("SELECT IMG FROM PROD_INQUIRY");
    if (c.result != 0) {
      EXPECT_TRUE(stored.empty()) << c.path;
      EXPECT_EQ(server_.Uploads().size(), uploads) << c.path;
      EXPECT_EQ(InquiryCalls().size(), calls) << c.path;
      EXPECT_EQ(FilesIn(UploadDir()).size(), before.size()) << c.path;
      continue;
    }
    ASSERT_EQ(stored.size(), 1u) << c.path;
    const std::string name = stored[0].substr(std::string("/uploadfile/").size());
    EXPECT_EQ(stored[0], "/uploadfile/" + name) << c.path;
    EXPECT_EQ(FilesIn(UploadDir()).size(), before.size() + (c.copied ? 1 : 0)) << c.path;
    if (c.copied) {
      EXPECT_EQ(name.substr(name.size() - c.ext.size()), c.ext) << c.path;
      EXPECT_TRUE(qel::IsDecimalId(name.substr(0, name.size() - c.ext.size()))) << c.path << " " << name;
    } else {
      EXPECT_EQ(name, "kept.png") << c.path;
    }
    EXPECT_EQ(qeltest::ReadFile(UploadDir() + "/" + name), c.content) << c.path;

    ASSERT_EQ(server_.Uploads().size(), uploads + 1) << c.path;
    const qeltest::HttpRequestRecord upload = server_.Uploads().back();
    EXPECT_EQ(upload.method, "PUT");
    EXPECT_EQ(upload.path, "/servlet/UpLoadServer") << c.path;
    const std::string encodedName =
        c.copied ? name.substr(0, name.size() - c.ext.size()) + c.encodedExt : std::string("kept.png");
    EXPECT_EQ(upload.query, "code=qyS77_product_inquiry_3&fileName=" + encodedName) << c.path;
    EXPECT_EQ(upload.body, c.content) << c.path;

    std::vector<qeltest::RpcCall> sent = InquiryCalls();
    ASSERT_EQ(sent.size(), calls + 1) << c.path;
    // The file name at the end of the address the upload reply gave.
    EXPECT_EQ(sent.back().Param(0)["adjunctAddress"].asString(), std::to_string(uploads + 1) + ".dat")
        << c.path;
  }
}

TEST_F(InquiryTest, AFailedUploadLeavesTheInquiryUnsent) {
  const std::string picture = qeltest::TestDir() + "/p.png";
  qeltest::WriteFile(picture, "PNG");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  const struct {
    const char* name;
    int httpStatus;
    std::string body;
    int result;
  } cases[] = {
      {"no value1", 200,
       R"({"result":{"result":[{"result":{"other":"x"},"status":"100000"}],"status":"100000"}})", 1},
      {"value1 not a name", 200,
       R"({"result":{"result":[{"result":{"VALUE1":"upload/.."},"status":"100000"}],"status":"100000"}})", 1},
      {"result not an object", 200,
       R"({"result":{"result":[{"result":"x","status":"100000"}],"status":"100000"}})", 1},
      {"item refused", 200, R"({"result":{"result":[{"result":"","status":"100020"}],"status":"100000"}})",
       100020},
      {"success without item", 200, R"({"result":{"result":[],"status":"100000"}})", 19999},
      {"overall refused", 200, R"({"result":{"result":[],"status":"100013"}})", 100013},
      {"html", 500, "<html><body>oops</body></html>", 19999},
  };
  int row = 0;
  for (const auto& c : cases) {
    server_.SetUploadReply(c.httpStatus, c.body);
    Reply reply = Call(0x53a, Inquiry("0", picture));
    EXPECT_EQ(reply.result, c.result) << c.name;
    EXPECT_EQ(ErrorCode(reply.text), std::to_string(c.result)) << c.name;
    ++row;
    EXPECT_EQ(Ids().size(), static_cast<size_t>(row)) << c.name;
    EXPECT_EQ(Ids().front(), std::to_string(-1 - row)) << c.name;
    // The reply names the id the inquiry is kept under.
    EXPECT_EQ(KeptId(reply), Json::Value(std::to_string(-1 - row))) << c.name;
  }
  EXPECT_TRUE(InquiryCalls().empty());
  // The row and its copy stay for the next submission with that id.
  EXPECT_EQ(FilesIn(UploadDir()).size(), static_cast<size_t>(row));
  server_.SetUploadReply(
      200,
      R"({"result":{"result":[{"result":{"value1":"a\\b\\c.png"},"status":"100000"}],"status":"100000"}})");
  ASSERT_EQ(Call(0x53a, Inquiry("-2", "")).result, 0);
  ASSERT_EQ(InquiryCalls().size(), 1u);
  EXPECT_EQ(InquiryCalls()[0].Param(0)["adjunctAddress"].asString(), "c.png");
  EXPECT_EQ(Ids().back(), "2");
}

TEST_F(InquiryTest, AResubmissionUploadsOnlyTheStoredAttachment) {
  fs::create_directories(UploadDir());
  qeltest::WriteFile(UploadDir() + "/1.png", "STORED");
  qeltest::WriteFile(qeltest::TestDir() + "/secret.txt", "SECRET");
  install_.Main(
      "INSERT INTO PROD_INQUIRY (INQUIRY_ID, PRODUCT_ID, IMG, USERID) VALUES"
      "(-2, '10010010001', '/uploadfile/1.png', 'u1');");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");

  ASSERT_EQ(Call(0x53a, Inquiry("-2", qeltest::TestDir() + "/secret.txt")).result, 0);
  ASSERT_EQ(server_.Uploads().size(), 1u);
  EXPECT_EQ(server_.Uploads()[0].body, "STORED");
  EXPECT_EQ(server_.Uploads()[0].query, "code=qyS77_product_inquiry_3&fileName=1.png");

  // A stored name that climbs out of the upload folder is never uploaded;
  // "\" separates as "/" does when the file is opened.
  const std::string climbing[] = {
      "/uploadfile/../../secret.txt",
      "/uploadfile\\..\\..\\secret.txt",
      "\\uploadfile\\..\\..\\secret.txt",
      "/uploadfile/..\\../secret.txt",
  };
  int id = -3;
  for (const std::string& stored : climbing) {
    const size_t sent = InquiryCalls().size();
    install_.Main("INSERT INTO PROD_INQUIRY (INQUIRY_ID, PRODUCT_ID, IMG, USERID) VALUES(" +
                  std::to_string(id) + ", '10010010001', '" + stored + "', 'u1');");
    ASSERT_EQ(Call(0x53a, Inquiry(std::to_string(id), "")).result, 0) << stored;
    EXPECT_EQ(server_.Uploads().size(), 1u) << stored;
    ASSERT_EQ(InquiryCalls().size(), sent + 1) << stored;
    EXPECT_EQ(InquiryCalls().back().Param(0)["adjunctAddress"].asString(), "") << stored;
    --id;
  }
  EXPECT_EQ(Ids(), (std::vector<std::string>{"2", "3", "4", "5", "6"}));
}

TEST_F(InquiryTest, ARefusedInquiryKeepsItsNegativeId) {
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100020");
  Reply reply = Call(0x53a, Inquiry("0", ""));
  EXPECT_EQ(reply.result, 100020);
  EXPECT_EQ(ErrorCode(reply.text), "100020");
  EXPECT_EQ(Ids(), std::vector<std::string>{"-2"});
  // An id from 1 up is stored under it and never sent.
  EXPECT_EQ(Call(0x53a, Inquiry("7", "")).result, 0);
  EXPECT_EQ(Ids(), (std::vector<std::string>{"-2", "7"}));
  EXPECT_EQ(InquiryCalls().size(), 1u);
}

// An inquiry that cannot be stored (a full disk refuses the insert, the
// attachment is gone) is neither kept nor sent, its copy does not stay, and
// the reply says nothing was kept.
TEST_F(InquiryTest, AnInquiryThatCannotBeStoredIsNotKept) {
  const std::string picture = qeltest::TestDir() + "/p.png";
  qeltest::WriteFile(picture, "PNG");
  server_.ScriptRpc("InquiryService.json", "saveProdInquiry", "100000");
  const struct {
    const char* name;
    std::string img;
    bool fullDisk;
  } cases[] = {
      {"full disk, with attachment", picture, true},
      {"full disk, without attachment", "", true},
      {"attachment gone", qeltest::TestDir() + "/gone.png", false},
  };
  for (const auto& c : cases) {
    if (c.fullDisk)
      install_.Main(
          "CREATE TRIGGER full_disk BEFORE INSERT ON PROD_INQUIRY BEGIN SELECT RAISE(ABORT, 'disk full'); "
          "END;");
    Reply reply = Call(0x53a, Inquiry("0", c.img));
    install_.Main("DROP TRIGGER IF EXISTS full_disk;");
    EXPECT_EQ(reply.result, 1) << c.name;
    EXPECT_EQ(KeptId(reply), Json::Value("0")) << c.name;
    EXPECT_TRUE(Ids().empty()) << c.name;
    EXPECT_TRUE(FilesIn(UploadDir()).empty()) << c.name;
  }
  EXPECT_TRUE(server_.Uploads().empty());
  EXPECT_TRUE(server_.RpcCalls().empty());
}

TEST_F(InquiryTest, BadRequestsStoreNothing) {
  for (const std::string& request : {std::string("not json"), std::string(R"({"PARAM":{}})"),
                                     std::string("{}"), std::string(R"({"PARAM":{"PROD_INQUIRY":[1]}})")}) {
    EXPECT_EQ(Call(0x53a, request).result, 1) << request;
  }
  EXPECT_TRUE(Ids().empty());
  EXPECT_TRUE(server_.RpcCalls().empty());
}

class LoggedOutInquiryTest : public InquiryTest {
  void SetUpRows() override {}
};

TEST_F(LoggedOutInquiryTest, NobodyLoggedInStoresNothing) {
  qeltest::ClearLog();
  Reply reply = Call(0x53a, Inquiry("-2", ""));
  EXPECT_EQ(reply.result, 1);
  // Failed before it could look: the reply names no id, so a kept inquiry's
  // id stays as the host has it.
  EXPECT_TRUE(KeptId(reply).isNull());
  EXPECT_TRUE(qeltest::LoggedDirect("There is not any user"));
  EXPECT_TRUE(Ids().empty());
  EXPECT_TRUE(server_.RpcCalls().empty());
}

}  // namespace
