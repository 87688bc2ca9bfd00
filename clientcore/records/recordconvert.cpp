#include "records/recordconvert.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <limits>
#include <utility>
#include <variant>

#include "common/qelcommon2.h"
#include "qel/text.h"

namespace qelclientcore {
namespace {

// ---- Number and time rules ------------------------------------------------

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A number that does not fit leaves the member as it was: a record never
// shows a clamped value as if the service had sent it.
bool ScanInt(const std::string& text, int* out) {
  int value = 0;
  if (qel::ScanInteger(text, &value) != qel::IntegerScan::kExact) return false;
  *out = value;
  return true;
}

bool ScanUnsigned(const std::string& text, uint64_t* out) {
  uint64_t value = 0;
  if (qel::ScanInteger(text, &value) != qel::IntegerScan::kExact) return false;
  *out = value;
  return true;
}

// A decimal floating-point number, independent of the process's locale.
bool ScanReal(const std::string& text, double* out) {
  size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+' && i + 1 < text.size() && text[i + 1] != '-') ++i;
  // from_chars also reads "nan" and "inf": those are no decimal numbers and
  // would put a price nobody can show into the record.
  size_t digits = i < text.size() && text[i] == '-' ? i + 1 : i;
  if (digits >= text.size() || !((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.'))
    return false;
  double value = 0;
  std::from_chars_result r = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (r.ec != std::errc() || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

// ---- Field tables ---------------------------------------------------------

enum class Rule {
  kInt,
  kU64,
  kReal,
  kText,
  kPath,
  kTime,
  kSort,        // an empty text gives -1, any other is read as int
  kIntOrZero,   // int, but a text that is not a number gives 0
  kNarrowText,  // GBK kept as it is
  kCustom,      // reads the element itself
};

template <class R>
using MemberPtr =
    std::variant<std::monostate, int R::*, uint64_t R::*, double R::*, std::wstring R::*, std::string R::*>;

template <class R>
struct Field {
  const char* key;
  Rule rule;
  MemberPtr<R> member;
  // Read when `key` holds no string (EntCert's older key names).
  const char* fallbackKey = nullptr;
  void (*custom)(const Json::Value& element, R* record) = nullptr;
};

// The text rule: a text ends at its first NUL, as the C text handed to the
// wide conversion always did.
std::wstring WideText(const std::string& gbk) { return GbkToWide(gbk.substr(0, gbk.find('\0'))); }

template <class R>
void ApplyString(const Field<R>& field, const std::string& value, R* record) {
  switch (field.rule) {
    case Rule::kInt:
      ScanInt(value, &(record->*std::get<int R::*>(field.member)));
      break;
    case Rule::kIntOrZero: {
      int v = 0;
      if (!ScanInt(value, &v)) v = 0;
      record->*std::get<int R::*>(field.member) = v;
      break;
    }
    case Rule::kSort: {
      int& target = record->*std::get<int R::*>(field.member);
      if (value.empty()) {
        target = -1;
      } else {
        ScanInt(value, &target);
      }
      break;
    }
    case Rule::kU64:
      ScanUnsigned(value, &(record->*std::get<uint64_t R::*>(field.member)));
      break;
    case Rule::kReal:
      ScanReal(value, &(record->*std::get<double R::*>(field.member)));
      break;
    case Rule::kText:
      record->*std::get<std::wstring R::*>(field.member) = WideText(value);
      break;
    case Rule::kPath:
      record->*std::get<std::wstring R::*>(field.member) = WideText(MapResourcePath(value));
      break;
    case Rule::kTime:
      record->*std::get<std::wstring R::*>(field.member) = FormatMsTime(value.c_str());
      break;
    case Rule::kNarrowText:
      record->*std::get<std::string R::*>(field.member) = value;
      break;
    case Rule::kCustom:
      break;
  }
}

template <class R>
void ApplyFields(const std::vector<Field<R>>& fields, const Json::Value& element, R* record) {
  for (const Field<R>& field : fields) {
    if (field.rule == Rule::kCustom) {
      field.custom(element, record);
      continue;
    }
    const Json::Value* value = &qel::Member(element, field.key);
    if (!value->isString() && field.fallbackKey != nullptr) value = &qel::Member(element, field.fallbackKey);
    // Only strings are read: numbers, booleans, arrays and objects leave the
    // member as it was.
    if (!value->isString()) continue;
    ApplyString(field, value->asString(), record);
  }
}

enum class Accept { kObject, kObjectOrNull, kArrayOfObject };

// The common steps: acceptance, `json`, then the table on the element.
template <class R>
bool Convert(const std::vector<Field<R>>& fields, Accept accept, const Json::Value& value,
             const std::string& text, R* record) {
  if (record == nullptr) return false;
  const Json::Value* element = &value;
  switch (accept) {
    case Accept::kObject:
      if (!value.isObject()) return false;
      break;
    case Accept::kObjectOrNull:
      if (!value.isObject() && !value.isNull()) return false;
      break;
    case Accept::kArrayOfObject:
      if (!value.isArray() || value.empty() || !value[0].isObject()) return false;
      element = &value[0];
      break;
  }
  record->json = text;
  if (element->isObject()) ApplyFields(fields, *element, record);
  return true;
}

// ---- Rules of single records-----------------------------------------------------

// "RES_TYPES": JSON integers 1, 2, 3 and 6 set the member of that number; the
// one place where a JSON number is read.
template <class R>
void ApplyResTypes(const Json::Value& element, R* record) {
  const Json::Value& types = qel::ArrayMember(element, "RES_TYPES");
  for (const Json::Value& t : types) {
    // Integers only: jsoncpp would also call 1.0 integral.
    if (t.type() != Json::intValue && t.type() != Json::uintValue) continue;
    if (!t.isInt64()) continue;
    switch (t.asInt64()) {
      case 1:
        record->resType1 = 1;
        break;
      case 2:
        record->resType2 = 2;
        break;
      case 3:
        record->resType3 = 3;
        break;
      case 6:
        record->resType6 = 6;
        break;
      default:
        break;
    }
  }
}

// Read after "PRICE": a price on request shows the fixed text and no unit.
void ApplyPriceRule(const Json::Value&, Product* product) {
  if (product->priceType == 1) {
    product->price = L"\u9762\u8bae";  // 面议
    product->priceUnit.clear();
  }
}

void ApplyPictures(const Json::Value& element, ProductReport* report);

// "url" + "filePath" when both are strings.
void ApplyDownloadUrl(const Json::Value& element, AppUpdateFiles* file) {
  std::string url;
  std::string path;
  if (qel::ReadString(element, "url", &url) && qel::ReadString(element, "filePath", &path))
    file->url = url + path;
}

void ApplyLocalPath(const Json::Value& element, AppUpdateFiles* file) {
  std::string name;
  if (!qel::ReadString(element, "fileName", &name)) return;
  // The update's own check: a name that would leave the folder, name a
  // folder or hold bytes that are no GBK gives no local path.
  // The path has "/" separators only: a "\\" of the name is one too.
  std::string relative;
  if (qel::CheckServiceFileName(name, &relative) != nullptr) return;
  file->localPath = GetMoudleDirA() + "/AppUpdate/" + relative;
}

// ---- Tables, in the order the keys are read -------------------------------

template <class R>
using Fields = std::vector<Field<R>>;

#define F(key, rule, member) \
  Field<R> { key, Rule::rule, &R::member }

const Fields<CompanyInfo>& CompanyInfoFields() {
  using R = CompanyInfo;
  static const Fields<R> f = {
      F("ID", kU64, id),
      F("NAME", kText, name),
      F("COMPANYHOMEPIC", kPath, homePic),
      F("COMPANYLOGOPIC", kPath, logoPic),
      F("VIDEOURL", kPath, videoUrl),
      F("VIDEOTHUMBNAIL", kPath, videoThumbnail),
      F("QQ", kText, qq),
      F("SITEURL", kPath, siteUrl),
      F("SHAREURL", kPath, shareUrl),
      F("QRCODE_IMAGE_RES", kPath, qrCodeImage),
  };
  return f;
}

const Fields<QelInfo>& QelInfoFields() {
  using R = QelInfo;
  static const Fields<R> f = {
      F("ID", kInt, id),         F("NAME", kText, name),       F("VERSION", kText, version),
      F("QELLOGO", kPath, logo), F("URL", kText, url),         F("TEL", kText, tel),
      F("MAIL", kText, mail),    F("HELPURL", kText, helpUrl), F("PASSWORDURL", kText, passwordUrl),
  };
  return f;
}

const Fields<PrimaryModule>& PrimaryModuleFields() {
  using R = PrimaryModule;
  static const Fields<R> f = {
      F("BANNER_ID", kInt, bannerId), F("NAME", kText, name), F("TYPE", kInt, type),
      F("ICON", kPath, icon),         F("SORT", kSort, sort), F("ISSHOW", kInt, isShow),
  };
  return f;
}

const Fields<SecondaryModule>& SecondaryModuleFields() {
  using R = SecondaryModule;
  static const Fields<R> f = {
      F("BANNDERCATE_ID", kInt, bannerCateId),
      F("BANNER_ID", kInt, bannerId),
      F("NAME", kText, name),
      F("CONTENT", kPath, content),
      F("SORT", kInt, sort),
      F("STATUS", kInt, status),
      F("ISSHOW", kInt, isShow),
  };
  return f;
}

const Fields<ProductCategory>& ProductCategoryFields() {
  using R = ProductCategory;
  static const Fields<R> f = {
      F("PRO_CATEGORY_ID", kU64, categoryId),
      F("NAME", kText, name),
      F("LEVEL", kInt, level),
      F("PRODUCTCOUNT", kInt, productCount),
      F("NEWPRODUCTCOUNT", kInt, newProductCount),
      F("HASSUBCATEGORY", kInt, hasSubCategory),
      F("BEUSE", kInt, beUse),
      F("CANEXTEND", kInt, canExtend),
      F("DESC", kText, desc),
      F("CATG_DESC", kText, catgDesc),
      F("ALIAS1", kText, alias1),
      F("ALIAS2", kText, alias2),
      F("META", kText, meta),
      F("METADESC", kText, metaDesc),
      F("OPTIN_DESC", kText, optinDesc),
      F("TIPS", kText, tips),
  };
  return f;
}

const Fields<ProductBrand>& ProductBrandFields() {
  using R = ProductBrand;
  static const Fields<R> f = {
      F("BRAND_ID", kInt, brandId),
      F("BRANDNAME", kText, brandName),
      F("BRANDDESC", kText, brandDesc),
  };
  return f;
}

const Fields<Product>& ProductFields() {
  using R = Product;
  static const Fields<R> f = {
      F("PRODUCT_ID", kU64, productId), F("NAME", kText, name),
      F("STATUS", kInt, status),        F("MSORT", kInt, mSort),
      F("SSORT", kInt, sSort),          F("DESCPTYPE", kInt, descType),
      F("DESC", kText, desc),           F("INTRODUCE", kPath, introduce),
      F("FAVORITE", kInt, favorite),    F("BRANDNAME", kText, brandName),
      F("PICFIRST", kPath, picFirst),   F("UNIT", kText, unit),
      F("PRICEUNIT", kText, priceUnit), F("PRICETYPE", kInt, priceType),
      F("PRICE", kText, price),         Field<R>{"", Rule::kCustom, {}, nullptr, ApplyPriceRule},
      F("MAXPRICE", kReal, maxPrice),   F("MINPRICE", kReal, minPrice),
      F("LASTTIME", kTime, lastTime),   F("SHOWWAY", kInt, showWay),
  };
  return f;
}

const Fields<ProductDetailHead>& ProductDetailHeadFields() {
  using R = ProductDetailHead;
  static const Fields<R> f = {F("TYPE", kInt, type), F("COUNT", kInt, count)};
  return f;
}

const Fields<ProductUnstructuredIntr>& ProductUnstructuredIntrFields() {
  using R = ProductUnstructuredIntr;
  static const Fields<R> f = {F("NAME", kText, name), F("DESC", kText, desc), F("PATH", kPath, path)};
  return f;
}

const Fields<ProductPicCategory>& ProductPicCategoryFields() {
  using R = ProductPicCategory;
  static const Fields<R> f = {F("PICTURE_GROUP_ID", kInt, groupId), F("NAME", kText, name)};
  return f;
}

const Fields<ProductPic>& ProductPicFields() {
  using R = ProductPic;
  static const Fields<R> f = {
      F("RES_ID", kU64, resId),
      F("NAME", kText, name),
      F("DESC", kText, desc),
      F("PATH", kPath, path),
  };
  return f;
}

const Fields<ProductVideo>& ProductVideoFields() {
  using R = ProductVideo;
  static const Fields<R> f = {
      F("RES_ID", kU64, resId), F("NAME", kText, name), F("DESC", kText, desc),
      F("PATH", kPath, path),   F("IMG", kPath, img),
  };
  return f;
}

const Fields<ProductCert>& ProductCertFields() {
  using R = ProductCert;
  static const Fields<R> f = {
      F("RES_ID", kU64, resId),
      F("NAME", kText, name),
      F("DESC", kText, desc),
      F("STATUS", kInt, status),
      F("ISSUEORG", kText, issueOrg),
      F("PATH", kPath, path),
      F("EFFECTTIMEBEGIN", kText, effectTimeBegin),
      F("EFFECTTIMEEND", kText, effectTimeEnd),
      F("SORT", kInt, sort),
      F("TIPS", kText, tips),
  };
  return f;
}

const Fields<ProductCase>& ProductCaseFields() {
  using R = ProductCase;
  static const Fields<R> f = {
      F("CASE_ID", kInt, caseId), F("NAME", kText, name),
      F("DESC", kText, desc),     Field<R>{"RES_TYPES", Rule::kCustom, {}, nullptr, ApplyResTypes<R>},
      F("STATUS", kInt, status),  F("SORT", kInt, sort),
  };
  return f;
}

const Fields<ProductCaseRes>& ProductCaseResFields() {
  using R = ProductCaseRes;
  static const Fields<R> f = {
      F("RES_ID", kU64, resId), F("NAME", kText, name),     F("TEXT", kPath, text),
      F("IMG", kPath, img),     F("THUMB1", kPath, thumb1), F("THUMB2", kPath, thumb2),
      F("PATH", kPath, path),   F("STATUS", kInt, status),  F("TIPS", kText, tips),
  };
  return f;
}

const Fields<ProductModel>& ProductModelFields() {
  using R = ProductModel;
  static const Fields<R> f = {
      F("PRODUCT_ID", kU64, productId), F("NAME", kText, name), F("DESC", kText, desc),
      F("STATUS", kInt, status),        F("SORT", kInt, sort),  F("SSORT", kInt, sSort),
  };
  return f;
}

const Fields<ProductParameter>& ProductParameterFields() {
  using R = ProductParameter;
  static const Fields<R> f = {
      F("PARAM_ID", kInt, paramId),     F("PARATYPE", kInt, paraType),   F("VALTYPE", kInt, valType),
      F("PARAMNAME", kText, paramName), F("UNIT_NAME", kText, unitName), F("ISUSE", kInt, isUse),
  };
  return f;
}

const Fields<ProductParameterValue>& ProductParameterValueFields() {
  using R = ProductParameterValue;
  static const Fields<R> f = {
      F("PARAMVALUE_ID", kInt, paramValueId),
      F("PRODUCT_ID", kU64, productId),
      F("PARAM_ID", kU64, paramId),
      F("VALUE", kText, value),
  };
  return f;
}

const Fields<ProductModelPic>& ProductModelPicFields() {
  using R = ProductModelPic;
  static const Fields<R> f = {
      F("RES_ID", kU64, resId), F("NAME", kText, name),    F("DESC", kText, desc),
      F("PATH", kPath, path),   F("STATUS", kInt, status),
  };
  return f;
}

const Fields<ProductReport>& ProductReportFields() {
  using R = ProductReport;
  static const Fields<R> f = {
      F("REPORT_ID", kInt, reportId), F("NAME", kText, name),
      F("DESC", kText, desc),         Field<R>{"PICTURE", Rule::kCustom, {}, nullptr, ApplyPictures},
      F("STATUS", kInt, status),      F("SORT", kInt, sort),
  };
  return f;
}

const Fields<EntCertCategory>& EntCertCategoryFields() {
  using R = EntCertCategory;
  static const Fields<R> f = {
      F("CERT_CATEGORY_ID", kInt, categoryId),
      F("CERT_CATEGORY_ID", kText, categoryIdText),
      F("NAME", kText, name),
      F("BEUSE", kInt, beUse),
      F("NEWCERTCOUNT", kInt, newCertCount),
      F("CERTCOUNT", kInt, certCount),
      F("SORT", kInt, sort),
      F("DESC", kText, desc),
      F("TIPS", kText, tips),
  };
  return f;
}

const Fields<EntCertsGroup>& EntCertsGroupFields() {
  using R = EntCertsGroup;
  static const Fields<R> f = {
      F("CERTGROUP_ID", kText, groupId),
      F("DESC", kText, desc),
      F("ISSUETIME", kText, issueTime),
      F("NAME", kText, name),
      F("ORGANIZATION", kText, organization),
      F("TOPIMG", kPath, topImg),
      F("STATUS", kText, status),
  };
  return f;
}

const Fields<EntCert>& EntCertFields() {
  using R = EntCert;
  static const Fields<R> f = {
      Field<R>{"CERT_ID", Rule::kInt, &R::certId, "ID"},
      Field<R>{"CERT_CATEGORY_ID", Rule::kInt, &R::categoryId, "FATHER_ID"},
      F("NAME", kText, name),
      F("DESC", kText, desc),
      F("STATUS", kInt, status),
      F("ISSUEORG", kText, issueOrg),
      F("PICURL", kPath, picUrl),
      F("EFFECTTIMEBEGIN", kText, effectTimeBegin),
      F("EFFECTTIMEEND", kText, effectTimeEnd),
      F("SORT", kInt, sort),
      F("TIPS", kText, tips),
  };
  return f;
}

const Fields<EntCertPic>& EntCertPicFields() {
  using R = EntCertPic;
  static const Fields<R> f = {
      F("RES_ID", kText, resIdText), F("RES_ID", kIntOrZero, resId), F("NAME", kText, name),
      F("DESC", kText, desc),        F("PATH", kPath, path),         F("STATUS", kText, status),
  };
  return f;
}

const Fields<EntCase>& EntCaseFields() {
  using R = EntCase;
  static const Fields<R> f = {
      F("CASE_ID", kInt, caseId),
      F("NAME", kText, name),
      F("DESC", kText, desc),
      F("STATUS", kInt, status),
      Field<R>{"RES_TYPES", Rule::kCustom, {}, nullptr, ApplyResTypes<R>},
      F("SORT", kInt, sort),
  };
  return f;
}

const Fields<EntCaseRes>& EntCaseResFields() {
  using R = EntCaseRes;
  static const Fields<R> f = {
      F("RES_ID", kInt, resId), F("NAME", kText, name),     F("TEXT", kPath, text),
      F("IMG", kPath, img),     F("THUMB1", kPath, thumb1), F("THUMB2", kPath, thumb2),
      F("PATH", kPath, path),   F("STATUS", kInt, status),  F("TIPS", kText, tips),
  };
  return f;
}

const Fields<MyConsultation>& MyConsultationFields() {
  using R = MyConsultation;
  static const Fields<R> f = {
      F("CONSULT_ID", kInt, consultId), F("PRODUCT_ID", kU64, productId), F("TEL1", kText, tel1),
      F("TEL2", kText, tel2),           F("TEL3", kText, tel3),           F("CONTENT", kText, content),
      F("MOBILENUM", kText, mobileNum), F("EMAIL", kText, email),         F("SENTSTATUS", kInt, sentStatus),
      F("ADDTIME", kText, addTime),
  };
  return f;
}

const Fields<MyInquire>& MyInquireFields() {
  using R = MyInquire;
  static const Fields<R> f = {
      F("INQUIRY_ID", kInt, inquiryId),
      F("PRODUCT_ID", kU64, productId),
      F("NUM", kInt, num),
      F("DUEDATE", kText, dueDate),
      F("IMG", kText, img),
      F("AREAR", kInt, arear),
      F("ADDRESS", kText, address),
      F("CONTACT", kText, contact),
      F("MOBILENUM", kText, mobileNum),
      F("EMAIL", kText, email),
      F("CONTENT", kText, content),
      F("ADDTIME", kText, addTime),
  };
  return f;
}

const Fields<UserRegInfo>& UserRegInfoFields() {
  using R = UserRegInfo;
  static const Fields<R> f = {
      F("UID", kText, uid),           F("USERID", kText, userId),     F("EMAIL", kText, email),
      F("MOBILE", kText, mobile),     F("COMPNAME", kText, compName), F("NAME", kText, name),
      F("POSITION", kText, position), F("TEL1", kText, tel1),         F("TEL2", kText, tel2),
      F("TEL3", kText, tel3),         F("REMEMBER", kInt, remember),
  };
  return f;
}

const Fields<GeoTag>& GeoTagFields() {
  using R = GeoTag;
  static const Fields<R> f = {F("AREAID", kInt, areaId), F("NAME", kText, name)};
  return f;
}

const Fields<AppUpdateFiles>& AppUpdateFilesFields() {
  using R = AppUpdateFiles;
  static const Fields<R> f = {
      Field<R>{"url", Rule::kCustom, {}, nullptr, ApplyDownloadUrl},
      Field<R>{"fileName", Rule::kCustom, {}, nullptr, ApplyLocalPath},
  };
  return f;
}

const Fields<ErrorInfo>& ErrorInfoFields() {
  using R = ErrorInfo;
  static const Fields<R> f = {
      F("ERRORCODE", kU64, errorCode),
      F("ERRORDESC", kText, errorDesc),
      F("ERRORLEVE", kText, errorLevel),
      F("ERRORTYPE", kText, errorType),
  };
  return f;
}

#undef F

void ApplyPictures(const Json::Value& element, ProductReport* report) {
  const Json::Value& pictures = qel::ArrayMember(element, "PICTURE");
  if (!pictures.isArray()) return;
  report->pictures.clear();
  for (const Json::Value& picture : pictures) {
    if (!picture.isObject()) continue;
    report->pictures.emplace_back();
    ConvertElement(picture, &report->pictures.back());
  }
}

// Every public FromJson: parse with the GBK reader, then convert; exceptions
// (allocation) never leave the record half-built at the boundary.
template <class R>
void FromText(const char* text, R* record) {
  if (text == nullptr) return;
  try {
    ConvertRecord(ParseRecordText(text), std::string(text), record);
  } catch (...) {
  }
}

}  // namespace

Json::Value ParseRecordText(const char* text) {
  Json::Value value;
  if (text == nullptr) return value;
  if (!qel::ParseGbkJson(std::string(text), &value)) return Json::Value();
  return value;
}

std::string MapResourcePath(const std::string& path) {
  if (path.empty() || qel::StartsWithNoCase(path, "http://") || qel::StartsWithNoCase(path, "https://"))
    return path;
  return "./files/" + path;
}

std::wstring FormatMsTime(const char* text) {
  if (text == nullptr) return L"  ";
  int64_t n = 0;
  // Not a number counts as 0 (n is 0 then); a number out of range is no time at all.
  if (qel::ScanInteger(text, &n) == qel::IntegerScan::kOutOfRange) return L" ";
  // Before 1970 there is no local time to show (and a negative remainder
  // would print a minus sign among the digits).
  if (n < 0) return L" ";
  int ms = static_cast<int>(n % 1000);
  std::time_t seconds = static_cast<std::time_t>(n / 1000);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return L" ";
  wchar_t buffer[64];
  std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L"%04d-%02d-%02d %02d:%02d:%02d:%03d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, ms);
  return buffer;
}

#define QEL_DEFINE_CONVERT(Record, accept)                                                \
  bool ConvertRecord(const Json::Value& value, const std::string& text, Record* record) { \
    return Convert(Record##Fields(), Accept::accept, value, text, record);                \
  }                                                                                       \
  void Record::FromJson(const char* text) { FromText(text, this); }

QEL_DEFINE_CONVERT(CompanyInfo, kArrayOfObject)
QEL_DEFINE_CONVERT(QelInfo, kArrayOfObject)
QEL_DEFINE_CONVERT(PrimaryModule, kObject)
QEL_DEFINE_CONVERT(SecondaryModule, kObject)
QEL_DEFINE_CONVERT(ProductCategory, kObject)
QEL_DEFINE_CONVERT(ProductBrand, kObject)
QEL_DEFINE_CONVERT(Product, kObject)
QEL_DEFINE_CONVERT(ProductDetailHead, kObject)
QEL_DEFINE_CONVERT(ProductUnstructuredIntr, kObject)
QEL_DEFINE_CONVERT(ProductPic, kObject)
QEL_DEFINE_CONVERT(ProductVideo, kObject)
QEL_DEFINE_CONVERT(ProductCert, kObject)
QEL_DEFINE_CONVERT(ProductCase, kObject)
QEL_DEFINE_CONVERT(ProductCaseRes, kObject)
QEL_DEFINE_CONVERT(ProductModel, kObject)
QEL_DEFINE_CONVERT(ProductParameter, kObject)
QEL_DEFINE_CONVERT(ProductParameterValue, kObject)
QEL_DEFINE_CONVERT(ProductModelPic, kObject)
QEL_DEFINE_CONVERT(ProductReport, kObject)
QEL_DEFINE_CONVERT(EntCertCategory, kObject)
QEL_DEFINE_CONVERT(EntCertsGroup, kObjectOrNull)
QEL_DEFINE_CONVERT(EntCert, kObject)
QEL_DEFINE_CONVERT(EntCertPic, kObjectOrNull)
QEL_DEFINE_CONVERT(EntCase, kObject)
QEL_DEFINE_CONVERT(EntCaseRes, kObject)
QEL_DEFINE_CONVERT(MyConsultation, kObject)
QEL_DEFINE_CONVERT(MyInquire, kObject)
QEL_DEFINE_CONVERT(UserRegInfo, kObject)
QEL_DEFINE_CONVERT(GeoTag, kObject)
QEL_DEFINE_CONVERT(AppUpdateFiles, kObjectOrNull)
QEL_DEFINE_CONVERT(ErrorInfo, kObject)
#undef QEL_DEFINE_CONVERT

// The picture group takes a parsed value and resets the two members it reads
// before reading them.
bool ConvertRecord(const Json::Value& value, const std::string& text, ProductPicCategory* record) {
  if (record == nullptr || !value.isObject()) return false;
  record->json = text;
  record->groupId = 0;
  record->name.clear();
  ApplyFields(ProductPicCategoryFields(), value, record);
  return true;
}

void ProductPicCategory::FromJson(const Json::Value& value) {
  try {
    ConvertElement(value, this);
  } catch (...) {
  }
}

}  // namespace qelclientcore
