// Login (0x531) and the current user's information (0x534).
#include <memory>
#include <string>

#include "business/custom/customhandlers.h"
#include "business/custom/customstore.h"
#include "business/custom/userid.h"
#include "internet/qelservicecall.h"
#include "cqelbridge.h"
#include "database/qelquery.h"
#include "database/qeltransaction.h"
#include "database/qelsqltext.h"
#include "internet/qelinternetresponsebean.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kLoginFun[] = "qel::dataspace::qel_Invoke_Custom::UserLogin";
constexpr RequestType kLoginRequest = 1;

const char* const kUserInfoFields[] = {
    "UID",
    "USERID",
    "NICKNAME",
    "LOGOURL",
    "NAME",
    "SEX",
    "EMAIL",
    "MOBILE",
    "MOBILEPRIV",
    "QQ",
    "WECHATNO",
    "TEL1",
    "TEL2",
    "TEL3",
    "FAX",
    "AREA1",
    "AREA2",
    "AREA3",
    "ADDRESS",
    "ZIPCODE",
    "COMPNAME",
    "COMPTYPEID",
    "COMPTYPENAME",
    "JOBNATUREID",
    "JOBNATURENAM",
    "INDUSTRYNAME",
    "DEPART",
    "JOBTITLE",
    "POSITION",
    "ISCERTIFIEDPER",
    "ISCERTIFIEDCOM",
    "REMEMBER",
};

// USERINFO column <- member of the login reply's user object.
const struct {
  const char* column;
  const char* member;
} kLoginColumns[] = {
    {"MOBILE", "SHOWMOBILE"}, {"COMPNAME", "COMPANYNAME"},
    {"NAME", "NAME"},         {"EMAIL", "SHOWEMAIL"},
    {"POSITION", "POSITION"}, {"TEL1", "TEL1"},
    {"TEL2", "TEL2"},         {"TEL3", "TEL3"},
};

// The reply of the user information: the USERINFO row of uid as a one-row
// array.
int UserInfoReply(const std::string& uid, std::string* reply) {
  if (uid.empty()) {
    QEL_LOG_DIRECT("UserName is empty");
    return 1;
  }
  qelQueryDef def;
  for (const char* field : kUserInfoFields) def.AddField("USERINFO", field);
  def.SetFilter("UID = " + QuoteSqlText(uid) + "  COLLATE NOCASE ");
  Json::Value first;
  bool found = false;
  const StorageRead<> ok = ForEachRow(&def, [&](Json::Value& row) {
    if (found) return;
    first = row;
    found = true;
  });
  if (!ok.Ran()) {
    QEL_LOG_DIRECT("Query error");
    return 1;
  }
  if (!found) return 1;
  qelRecord rows;
  rows.Append(first);
  *reply = rows.ToString();
  return 0;
}

}  // namespace

namespace custom {

int UserLogin(Module&, const Request& request, std::string* reply) {
  // A missing member, or a text that does not parse, reads as "".
  const Json::Value& info = ObjectMember(ObjectMember(request.root, "PARAM"), "LOGININFO");
  const std::string account = TextMember(info, "USERID");
  const std::string password = TextMember(info, "PASSWORD");
  const std::string remember = TextMember(info, "REMEMBER");
  if (account.empty() || password.empty()) {
    QEL_LOG_DIRECT("UserName Or Pwd is empty");
    return 1;
  }
  // The account names the row it updates or adds: one that is not whole
  // text would be counted as one name and stored as another.
  if (!AccountsAreText({account}, kLoginFun)) return 1;
  Json::Value param(Json::objectValue);
  param["name"] = account;
  param["passwd"] = password;
  // A mail address logs in as type 2, every other account name as type 1.
  param["type"] = qel::GbkContainsAscii(account, '@') ? "2" : "1";
  qelInternetResponseBean response;
  int result = CallOne(kLoginRequest, param, kLoginFun, "add login request error", &response, reply);
  if (result != 0) return result;

  std::unique_ptr<qelInternetResponseNode> node(response.GetResultNode(0));
  if (!node || node->kind != qelInternetResponseNode::kKindObject) {
    QEL_LOG(kLoginFun, "Get internetresponseNdoe error");
    return 1;
  }
  // Without the service's user id there is no account to store or to make
  // current: the login failed, whatever the status said.
  std::string uid;
  if (!ReadServiceUserId(node.get(), &uid)) {
    QEL_LOG(kLoginFun, "login reply holds no user id");
    return 1;
  }

  // Columns and values of the account's row, in one order for both the
  // insert and the update.
  std::vector<std::string> columns = {"UID", "USERID"};
  std::vector<std::string> values = {uid, account};
  for (const auto& column : kLoginColumns) {
    columns.push_back(column.column);
    values.push_back(node->GetFieldVal(column.member));
  }

  // Row and remember flags change together: no other writer sees the
  // flags cleared, and a failure leaves them as they were.
  qelTransaction transaction(MainDatasource());
  if (!transaction.Active()) {
    QEL_LOG(kLoginFun, "UpdateRecord error");
    return 1;
  }
  // A count that cannot be read is no reason to add a second row.
  const StorageRead<int64_t> count =
      CountRows("USERINFO", "USERID = " + QuoteSqlText(account) + " COLLATE NOCASE");
  if (!count.Found()) {
    QEL_LOG(kLoginFun, "UpdateRecord error");
    return 1;
  }
  std::string sql;
  if (count.value != 0) {
    for (const std::string& column : columns) sql += (sql.empty() ? "" : ",") + column + " = ?";
    sql = "UPDATE USERINFO SET " + sql + " WHERE USERID = ? COLLATE NOCASE";
    values.push_back(account);
  } else {
    std::string marks;
    for (const std::string& column : columns) {
      sql += (sql.empty() ? "" : ",") + column;
      marks += marks.empty() ? "?" : ",?";
    }
    sql = "INSERT INTO USERINFO(" + sql + ") VALUES(" + marks + ")";
  }
  if (!ExecSql(sql, values)) {
    QEL_LOG(kLoginFun, "UpdateRecord error");
    return 1;
  }

  // At most one account stays remembered.
  if (!ExecSql("UPDATE USERINFO SET REMEMBER = ''")) {
    QEL_LOG_DIRECT("Set user remember error");
    return 1;
  }
  if (remember == "1" &&
      !ExecSql("UPDATE USERINFO SET REMEMBER = '1' WHERE USERID = ? COLLATE NOCASE", {account})) {
    QEL_LOG_DIRECT("Set remember error");
    return 1;
  }
  if (!transaction.Commit()) {
    QEL_LOG(kLoginFun, "UpdateRecord error");
    return 1;
  }

  const StorageRead<std::string> stored =
      QueryValue("SELECT UID FROM USERINFO WHERE USERID = ? COLLATE NOCASE", {account});
  const std::string storedUid = stored.Found() ? stored.value : uid;
  cqelbridge::GetInstance()->SetCurrentUID(storedUid);
  UserInfoReply(storedUid, reply);
  return 0;
}

int GetUserInfo(Module&, const Request&, std::string* reply) {
  const std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) {
    QEL_LOG_DIRECT("There is not any user");
    return 1;
  }
  return UserInfoReply(uid, reply);
}

}  // namespace custom

}  // namespace dataspace
}  // namespace qel
