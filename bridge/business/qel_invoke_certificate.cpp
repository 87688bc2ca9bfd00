#include "business/qel_invoke_certificate.h"

#include <cstdint>

#include "business/qelmethodtable.h"
#include "database/qelquery.h"
#include "database/qelsqltext.h"
#include "qel/json.h"
#include "qel/text.h"

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
  int value = 0;
  return ScanInteger(text, &value) == IntegerScan::kExact ? value : kNoId;
}

std::string RunCertQuery(const std::string& filter) {
  if (MainDatasource() == nullptr) return "";
  qelQueryDef def;
  def.AddTable(kCertTable);
  def.SetFilter(filter);
  std::string reply;
  return RowsReply(&def, nullptr, &reply) == 0 ? reply : std::string();
}

using Self = qel_Invoke_Certificate;
using Method = MethodDescriptor<Self>;

int HandleCompanyCerts(Self& module, const MethodRequest&, std::string* reply) {
  *reply = module.GetCompanyCerts();
  return 0;
}

int HandleChildCerts(Self& module, const MethodRequest& request, std::string* reply) {
  int id = kNoId;
  std::string idText;
  if (ReadString(request.root, "ID", &idText) && !idText.empty()) id = ParseCertId(idText);
  *reply = module.GetChildCompanyCerts(id);
  return 0;
}

const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {
          Method(request::kCompanyCerts, &HandleCompanyCerts),
          Method(request::kCompanyCertsOfCategory, &HandleChildCerts).Parsed(),
      },
      kResultUnknownMethod);
  return table;
}

}  // namespace

int qel_Invoke_Certificate::Invoke(int method, std::string json, std::string* reply) {
  // Without a reply a known method has nothing to do and still succeeds.
  if (reply == nullptr) return Methods().Find(method) != nullptr ? kResultSuccess : kResultUnknownMethod;
  return Methods().Invoke(*this, method, json, reply);
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
