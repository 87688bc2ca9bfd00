#include "business/qel_invoke_certificate.h"

#include <climits>
#include <memory>

#include "business/qelinfoaccess.h"
#include "database/qeldatasource.h"
#include "database/qelquerydef.h"
#include "database/qelrecord.h"
#include "database/qelsqltext.h"
#include "qel/json.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kCertTable[] = "COMPANYCERT";

// A one-table query names the table without an alias, so the columns stand
// bare. The ordering rides in the filter, ahead of the LIMIT the datasource
// appends.
constexpr char kValidOrdered[] = "(STATUS is null or STATUS='' or STATUS>0) order by `SORT` ASC,ID DESC";

constexpr int kNoId = -1;

// The leading decimal number of the text (after ASCII white space, with an
// optional sign), or kNoId when there is none or it does not fit an int.
int ParseCertId(const std::string& text) {
  std::string::size_type i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    value = value * 10 + (text[i] - '0');
    if (value > limit) return kNoId;
  }
  if (!any) return kNoId;
  return static_cast<int>(negative ? -value : value);
}

std::string RunCertQuery(const std::string& filter) {
  IQELDatasource* datasource = qelInfoAccess::GetInstance()->GetDatasource();
  if (datasource == nullptr) return "";
  qelQueryDef def;
  def.AddTable(kCertTable);
  def.SetFilter(filter);
  IQELQueryCursor* raw = nullptr;
  if (!datasource->Query(&def, &raw) || raw == nullptr) {
    delete raw;
    return "";
  }
  std::unique_ptr<IQELQueryCursor> cursor(raw);
  qelRecord rows;  // null until the first row: ToString gives "[]"
  qelRecord row;
  while (cursor->MoveNext()) {
    if (cursor->GetRecord(&row)) rows.Append(row.GetJson());
  }
  return rows.ToString();
}

}  // namespace

int qel_Invoke_Certificate::Invoke(int method, std::string json, std::string* reply) {
  if (reply == nullptr) return method == 0 || method == 1 ? 0 : -1;
  switch (method) {
    case 0:
      *reply = GetCompanyCerts();
      return 0;
    case 1: {
      int id = kNoId;
      Json::Value request;
      std::string idText;
      if (qel::ParseGbkJson(json, &request) && qel::ReadString(request, "ID", &idText) && !idText.empty()) {
        id = ParseCertId(idText);
      }
      *reply = GetChildCompanyCerts(id);
      return 0;
    }
    default:
      return -1;
  }
}

std::string qel_Invoke_Certificate::GetCompanyCerts() { return RunCertQuery(kValidOrdered); }

std::string qel_Invoke_Certificate::GetChildCompanyCerts(int id) {
  if (id == kNoId) return "";
  // Ids are stored as text; the quoted decimal form compares like the bare
  // number would against a text column.
  return RunCertQuery("FATHER_ID = " + QuoteSqlText(std::to_string(id)) + " and " + kValidOrdered);
}

}  // namespace dataspace
}  // namespace qel
