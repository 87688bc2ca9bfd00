#include "business/qel_invoke_aboutinfos.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

#include <json/json.h>

#include "business/qelmethodtable.h"
#include "cqelbridge.h"
#include "database/qelinfoaccess.h"
#include "database/qelquery.h"
#include "qel/json.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {
namespace {

const char kShareUrlVariable[] = "QEL_SHARE_URL";
// Used when the installation sets no share site of its own.
const char kDefaultShareSite[] = "http://share.example.com";
const char kSharePath[] = "/sample/Sharecom/download/templateid/";
const char kShareCompanyPath[] = "/qyid/";

struct ColumnVariant {
  const char* homePicture;
  const char* video;
  const char* thumbnail;
};

// The home picture and video columns follow the device the host runs on.
ColumnVariant CompanyColumnsFor(int platform) {
  switch (platform) {
    case 513:
    case 1025:
      return {"COMPANYHOMEPHONEPIC", "VIDEOURLPHONE", "VIDEOTHUMBNAILPHONE"};
    case 514:
    case 1026:
      return {"COMPANYHOMEPADPIC", "VIDEOURLPAD", "VIDEOTHUMBNAILPAD"};
    default:
      return {"COMPANYHOMEPIC", "VIDEOURL", "VIDEOTHUMBNAIL"};
  }
}

using Self = qel_Invoke_AboutInfos;
using Method = MethodDescriptor<Self>;

int HandleAbout(Self& module, const MethodRequest&, std::string* reply) { return module.GetAboutInfo(reply); }
int HandleCompany(Self& module, const MethodRequest&, std::string* reply) {
  return module.GetCompanyInfo(reply);
}

const MethodTable<Self>& Methods() {
  static const MethodTable<Self>& table = *new MethodTable<Self>(
      {Method(request::kAboutInfo, &HandleAbout), Method(request::kCompanyInfo, &HandleCompany)},
      kResultUnknownMethod);
  return table;
}

}  // namespace

std::string ShareSiteAddress() {
  const char* configured = std::getenv(kShareUrlVariable);
  std::string address = configured != nullptr && configured[0] != '\0' ? configured : kDefaultShareSite;
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

bool AboutVersionText(std::string localVersion, std::string* version) {
  while (!localVersion.empty() && (localVersion.back() == '\n' || localVersion.back() == '\r')) {
    localVersion.pop_back();
  }
  if (localVersion == " ") return false;
  uint64_t parsed = 0;
  // A missing or unreadable version file gives no version rather than a
  // made-up V0.0.0.0.
  *version = ParseVersion(Trim(localVersion), &parsed) ? VersionToString(parsed) : std::string();
  return true;
}

int qel_Invoke_AboutInfos::Invoke(int method, std::string json, std::string* reply) {
  if (reply == nullptr) return kResultFailed;
  return Methods().Invoke(*this, method, json, reply);
}

int qel_Invoke_AboutInfos::GetAboutInfo(std::string* reply) {
  qelQueryDef def;
  for (const char* field : {"QELLOGO", "URL", "TEL", "MAIL", "HELPURL", "PASSWORDURL"}) {
    def.AddField("ABOUT_QEL", field);
  }
  def.AddField("ABOUT_QEL_LANG", "NAME");
  def.SetFilter("t1.ID = t2.ID and t2.LANGID = " + qelInfoAccess::GetInstance()->GetLangID());
  def.SetLimit(1);

  const std::string localVersion = cqelbridge::GetInstance()->GetLocalVersion();
  Json::Value rows(Json::arrayValue);
  const StorageRead<> ok = ForEachRow(&def, [&](Json::Value& row) {
    std::string version;
    if (!AboutVersionText(localVersion, &version)) return;
    row["VERSION"] = version;
    rows.append(std::move(row));
  });
  if (!ok.Ran()) return 1;
  *reply = RowsText(rows);
  return 0;
}

int qel_Invoke_AboutInfos::GetCompanyInfo(std::string* reply) {
  const ColumnVariant variant = CompanyColumnsFor(GetPlatform());
  qelQueryDef def;
  for (const char* field : {"ID", variant.homePicture, variant.video, variant.thumbnail, "COMPANYLOGOPIC",
                            "QQ", "HOTLINE", "COMTEMP", "QRCODE_IMAGE_RES"}) {
    def.AddField("COMPANY", field);
  }
  def.AddField("COMPANY_LANG", "NAME");
  def.AddField("COMPANY_LANG", "SITEURL");
  def.SetFilter("t1.ID = t2.ID  and t2.LANGID = " + qelInfoAccess::GetInstance()->GetLangID());
  def.SetLimit(1);

  cqelbridge* bridge = cqelbridge::GetInstance();
  // Plain concatenation: the ids are data, never a format.
  const std::string shareUrl =
      ShareSiteAddress() + kSharePath + bridge->GetComTemp() + kShareCompanyPath + bridge->GetCompanyID();
  Json::Value rows(Json::arrayValue);
  const StorageRead<> ok = ForEachRow(&def, [&](Json::Value& row) {
    row["SHAREURL"] = shareUrl;
    rows.append(std::move(row));
  });
  if (!ok.Ran()) return 1;
  *reply = RowsText(rows);
  return 0;
}

}  // namespace dataspace
}  // namespace qel
