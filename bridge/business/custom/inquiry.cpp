// Inquiries (0x53a): stored in PROD_INQUIRY, the attachment copied into the
// upload folder and uploaded, then sent to the service (request type 6,
// "InquiryService.json" "saveProdInquiry").
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include <json/json.h>

#include "business/custom/customhandlers.h"
#include "business/custom/localids.h"
#include "internet/qelservicecall.h"
#include "database/qelinfoaccess.h"
#include "cqelbridge.h"
#include "database/qeldatasource.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "internet/qelinternetresponsebean.h"
#include "internet/qelinternetresponsenode.h"
#include "logbridge.h"
#include "qel/text.h"
#include "qelhttpjsonrequest.h"

namespace qel {
namespace dataspace {
namespace custom {
namespace {

const char kFun[] = "qel::dataspace::qel_Invoke_Custom::ProdInQuiry";
const char kUploadFun[] = "qel::dataspace::qel_Invoke_Custom::getUploadFilePath";
const char kTable[] = "PROD_INQUIRY";
const char kId[] = "INQUIRY_ID";
const char kUploadFolder[] = "/uploadfile";
const RequestType kInquiryRequest = 6;

const char* const kInputMembers[] = {"CONTENT", "ADDTIME", "NUM",        "CONTACT", "TEL1",
                                     "TEL2",    "TEL3",    "MOBILENUM",  "EMAIL",   "AREAR",
                                     "ADDRESS", "IMG",     "PRODUCT_ID", "DUEDATE", "INQUIRY_ID"};

std::filesystem::path NormalPath(const std::string& gbkPath) {
  // Separators are read after conversion: a GBK trail byte may be 0x5C.
  std::string slashed = qel::NativePath(gbkPath);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  std::filesystem::path path = std::filesystem::path(slashed).lexically_normal();
  // "a/b/" and "a/b" name the same folder.
  return path.has_filename() ? path : path.parent_path();
}

// Whether the file's parent folder is the upload folder (a file further
// down, or one that ".." leads out of it, is not in it).
bool IsInUploadFolder(const std::string& path, const std::string& dir) {
  return NormalPath(path).parent_path() == NormalPath(dir);
}

bool IsRegularFile(const std::string& gbkPath) {
  std::error_code ec;
  return std::filesystem::is_regular_file(qel::NativePath(gbkPath), ec);
}

// Whether a stored attachment path holds a ".." segment, which would reach
// outside the upload folder.
bool HasDotSegment(const std::string& gbkPath) {
  const std::string path = qel::GbkToUtf8(gbkPath);
  std::string segment;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (segment == "..") return true;
      segment.clear();
    } else {
      segment += path[i];
    }
  }
  return false;
}

// The file name at the end of an upload reply's address, when it is a plain name.
bool AttachmentName(const std::string& address, std::string* name) {
  *name = qel::GetFileName(address);
  if (name->empty() || *name == "." || *name == "..") return false;
  for (char c : *name) {
    if (c == ':' || c == '\0') return false;
  }
  return true;
}

std::string PercentEncode(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : utf8) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// The address to PUT an attachment to: the start-up upload URL + the
// company's inquiry code + "&fileName=" + the name percent-encoded as UTF-8.
std::string InquiryUploadAddress(const std::string& fileName) {
  return GetUploadUrl() + "code=qy" + cqelbridge::GetInstance()->GetSerialID() + "_product_inquiry_" +
         qelInfoAccess::GetInstance()->GetLangID() + "&fileName=" + PercentEncode(qel::GbkToUtf8(fileName));
}

// Uploads the attachment stored as img ("/uploadfile/<name>") and gives the
// name under which the service keeps it.
int Upload(const std::string& img, std::string* address, std::string* reply) {
  const std::string fileName = qel::GetFileName(img);
  std::string replyText;
  {
    qel::internet::qelHttpJsonRequest http;
    replyText = http.UploadFile(InquiryUploadAddress(fileName), "", GetLocalPath() + img);
  }
  qelInternetResponseBean response;
  const int result =
      ReadServiceReply(replyText, kFun, "jsonrpc response parse error upload file", &response, reply);
  if (result != 0) return result;
  std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
  if (node == nullptr || node->kind != qelInternetResponseNode::kKindObject) {
    QEL_LOG(kFun, "Get internetresponseNdoe error");
    return 1;
  }
  // Without the address the inquiry would go out without its attachment.
  if (!AttachmentName(node->GetFieldVal("value1"), address)) {
    QEL_LOG(kFun, "Get internetresponseNdoe error");
    return 1;
  }
  return 0;
}

int Send(const Members& members, const std::string& address, std::string* reply) {
  Json::Value param(Json::objectValue);
  param["adjunctType"] = "";
  param["adjunctAddress"] = address;
  param["adjunct"] = "";
  param["linkPhone"] = Get(members, "MOBILENUM");
  param["linkTel"] = Get(members, "TEL2");
  param["prodId"] = Json::Int64(qel::StringToInt64(Get(members, "PRODUCT_ID")));
  param["finalDate"] = Get(members, "DUEDATE");
  param["estimatedNum"] = qel::StringToInt(Get(members, "NUM"));
  param["province"] = 0;
  param["city"] = 0;
  param["country"] = qel::StringToInt(Get(members, "AREAR"));
  param["content"] = Get(members, "CONTENT");
  param["address"] = Get(members, "ADDRESS");
  param["linkMan"] = Get(members, "CONTACT");
  param["email"] = Get(members, "EMAIL");
  qelInternetResponseBean response;
  return CallOne(kInquiryRequest, param, kFun, "add inquiry request error", &response, reply);
}

// Copies the file at path (GBK) into the upload folder as
// "<current ms><extension>" unless its parent folder is that folder. 0 and
// *out = the path of the file in the upload folder, or 1.
int getUploadFilePath(const std::string& path, std::string* out) {
  if (out != nullptr) out->clear();
  const std::string dir = GetUploadDir();
  QEL_LOG(kUploadFun, "PATH AND FILEDIRPATH:");
  QEL_LOG(kUploadFun, "PATHH:");
  QEL_LOG(kUploadFun, path);
  QEL_LOG(kUploadFun, "FILEDIRPATH:");
  QEL_LOG(kUploadFun, dir);
  if (!dir.empty() && !path.empty() && IsInUploadFolder(path, dir) && IsRegularFile(path)) {
    QEL_LOG(kUploadFun, "not copy file");
    if (out != nullptr) *out = path;
    return 0;
  }
  QEL_LOG(kUploadFun, "copy file");
  if (path.empty() || !IsRegularFile(path)) {
    QEL_LOG(kUploadFun, "img path is error");
    return 1;
  }
  if (dir.empty()) {
    QEL_LOG(kUploadFun, "upload file path error");
    return 1;
  }
  if (qel::CreateDirectories(dir) != 0) {
    QEL_LOG(kUploadFun, "create dir fail");
    return 1;
  }
  // The extension comes from the file's own name, never from a folder
  // with a dot in its name.
  const std::string ext = qel::GetFileExt(qel::GetFileName(path));
  if (ext.empty()) {
    QEL_LOG(kUploadFun, "file stuffix is empty");
    return 1;
  }
  // Two copies within one millisecond must not share a name.
  uint64_t ms = qel::NowMs();
  std::string target = dir + "/" + qel::UInt64ToString(ms) + ext;
  while (qel::FileExists(target)) target = dir + "/" + qel::UInt64ToString(++ms) + ext;
  if (qel::CopyFileByStream(path, target) != 0) {
    QEL_LOG(kUploadFun, "copy file error");
    return 1;
  }
  if (out != nullptr) *out = target;
  return 0;
}

}  // namespace

int ProdInQuiry(Module&, const Request& request, std::string* reply) {
  const std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) {
    QEL_LOG_DIRECT("There is not any user");
    return 1;
  }
  Members members;
  if (!ReadRequest(request, kTable, kId, "json foramt error", &members)) return 1;
  IQELDatasource* datasource = MainDatasource();
  if (datasource == nullptr) return 1;

  const std::string id = Get(members, kId);
  const int64_t number = qel::StringToInt64(id);
  int64_t stored = 0;
  if (!CountStoredId(datasource, kTable, kId, id, &stored)) {
    QEL_LOG(kFun, "Get min id error");
    return 1;
  }
  std::string localId = id;
  std::string img;
  if (stored < 1) {
    const std::string chosen = Get(members, "IMG");
    std::string copied;
    if (!chosen.empty()) {
      if (getUploadFilePath(chosen, &copied) != 0) return NotTaken(1, kId, "0", reply);
      img = std::string(kUploadFolder) + "/" + qel::GetFileName(copied);
      members["IMG"] = img;
    }
    if (!StoreRequest(datasource, kTable, kId, UnsentRow(uid, members, kInputMembers), id, &localId)) {
      QEL_LOG(kFun, "Get min id error");
      // A copy made for a row that was never stored would stay unused.
      if (!copied.empty() && copied != chosen) std::remove(qel::NativePath(copied).c_str());
      return NotTaken(1, kId, "0", reply);
    }
  } else if (number < 1) {
    // A resubmission sends the attachment of the stored row; a path in the
    // request could name any file of the machine.
    // The row was just counted: a read that fails now is no row without an
    // attachment, and sending would drop it.
    if (datasource->GetFieldValue(kTable, "IMG", std::string(kId) + " = " + QuoteSqlText(id), &img) != 0) {
      QEL_LOG(kFun, "Get inquiry error");
      return NotTaken(1, kId, id, reply);
    }
    if (HasDotSegment(img)) {
      QEL_LOG(kFun, "img path is error");
      img.clear();
    }
  }

  // An id from 1 up is stored (now or before) and never sent.
  if (number >= 1) return 0;
  std::string address;
  if (!img.empty()) {
    const int uploaded = Upload(img, &address, reply);
    if (uploaded != 0) return NotTaken(uploaded, kId, localId, reply);
  }
  const int result = Send(members, address, reply);
  if (result != 0) return NotTaken(result, kId, localId, reply);
  // The service has it: a failed renumbering is logged, not reported.
  if (!MarkSent(datasource, kTable, kId, localId)) QEL_LOG(kFun, "Update inquiry id error");
  return 0;
}

}  // namespace custom
}  // namespace dataspace
}  // namespace qel
