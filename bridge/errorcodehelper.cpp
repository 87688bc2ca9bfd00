#include "errorcodehelper.h"

#include <string>
#include <utility>

#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "logbridge.h"
#include "qel/json.h"

namespace qel {

using dataspace::IQELDatasource;
using dataspace::qelInfoAccess;
using dataspace::qelQueryDef;

int qelErrorHelper::GetErrorINFO(const std::string& code, Json::Value* out) {
  qelInfoAccess* access = qelInfoAccess::GetInstance();
  IQELDatasource* datasource = access->GetDatasource();

  // ERRORINFO_LANG is t1 and ERRORINFO t2, by the order the fields are added.
  qelQueryDef def;
  def.AddField("ERRORINFO_LANG", "ERRORDESC");
  def.AddField("ERRORINFO", "ERRORLEVE");
  def.AddField("ERRORINFO", "ERRORCODE");
  def.SetFilter(" t1.ERRORCODE = t2.ERRORCODE AND t1.LANG = " + access->GetLangID() +
                " AND t2.ERRORCODE = " + dataspace::QuoteSqlText(code) + " ");

  dataspace::StorageRead<Json::Value> row = dataspace::QueryFirstRow(datasource, &def);
  if (!row.Ran()) {
    QEL_LOG("qel::qelErrorHelper::GetErrorINFO", "Query Error");
    return 1;
  }
  if (out == nullptr) return 0;
  if (row.Found()) {
    *out = std::move(row.value);
    return 0;
  }
  Json::Value empty(Json::objectValue);
  empty["ERRORCODE"] = code;
  empty["ERRORDESC"] = "";
  empty["ERRORLEVE"] = "";
  *out = empty;
  return 0;
}

namespace dataspace {

int MakeErrorReply(std::string code, std::string* reply) {
  Json::Value error;
  int result = qelErrorHelper::GetErrorINFO(code, &error);
  *reply = WriteStyled(error);
  return result;
}

void MakeResultReply(int result, std::string* reply) {
  const std::string code = std::to_string(result);
  Json::Value own;
  const bool ownError = ParseGbkJson(*reply, &own) && own.isObject() && TextMember(own, "ERRORCODE") == code;
  Json::Value error;
  qelErrorHelper::GetErrorINFO(code, &error);
  if (ownError && error.isObject()) {
    for (const std::string& name : own.getMemberNames()) {
      if (!error.isMember(name)) error[name] = own[name];
    }
  }
  *reply = WriteStyled(error);
}

}  // namespace dataspace
}  // namespace qel
