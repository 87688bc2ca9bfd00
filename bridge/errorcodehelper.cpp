#include "errorcodehelper.h"

#include <memory>

#include "database/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelsqltext.h"
#include "logbridge.h"

namespace qel {

using dataspace::IQELDatasource;
using dataspace::IQELQueryCursor;
using dataspace::qelInfoAccess;
using dataspace::qelQueryDef;
using dataspace::qelRecord;

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

  IQELQueryCursor* raw = nullptr;
  if (datasource == nullptr || !datasource->Query(&def, &raw)) {
    QEL_LOG("qel::qelErrorHelper::GetErrorINFO", "Query Error");
    delete raw;
    return 1;
  }
  std::unique_ptr<IQELQueryCursor> cursor(raw);
  if (out == nullptr) return 0;
  qelRecord row;
  if (cursor && cursor->MoveNext() && cursor->GetRecord(&row)) {
    *out = row.GetJson();
    return 0;
  }
  Json::Value empty(Json::objectValue);
  empty["ERRORCODE"] = code;
  empty["ERRORDESC"] = "";
  empty["ERRORLEVE"] = "";
  *out = empty;
  return 0;
}

}  // namespace qel
