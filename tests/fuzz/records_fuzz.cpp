// Every record's FromJson and the list and element converters fed arbitrary
// reply texts. Besides not crashing, the records keep their rules: a text
// that is refused (does not parse, or a value of the wrong kind) leaves the
// record exactly as it was; an accepted one sets `json` to the text; the same
// text twice changes nothing more; converting a parsed element directly gives
// what its written text gives; every wide text is valid Unicode and every
// number finite; a password never comes from a reply; an update file never
// lands outside the update folder.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <json/json.h>

#include "common/qelcommon2.h"
#include "qel/json.h"
#include "qel/text.h"
#include "records/qelrecords.h"
#include "records/recordconvert.h"

namespace {

using namespace qelclientcore;

void Check(bool ok, const char* what, const char* record) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s (%s)\n", what, record);
    std::abort();
  }
}

// Every member of a record, for comparing whole records (pictures of a
// report are compared on their own).
#define QEL_TIE(R, ...) \
  auto Tie(const R& r) { return std::tie(__VA_ARGS__); }
QEL_TIE(CompanyInfo, r.json, r.id, r.name, r.homePic, r.logoPic, r.videoUrl, r.videoThumbnail, r.qq,
        r.siteUrl, r.shareUrl, r.qrCodeImage)
QEL_TIE(QelInfo, r.json, r.id, r.name, r.version, r.logo, r.url, r.tel, r.mail, r.helpUrl, r.passwordUrl)
QEL_TIE(PrimaryModule, r.json, r.bannerId, r.type, r.name, r.icon, r.sort, r.isShow)
QEL_TIE(SecondaryModule, r.json, r.bannerCateId, r.bannerId, r.name, r.content, r.sort, r.status,
        r.extraText1, r.extraText2, r.isShow)
QEL_TIE(ProductCategory, r.json, r.categoryId, r.level, r.name, r.desc, r.alias1, r.alias2, r.catgDesc,
        r.tips, r.canExtend, r.beUse, r.meta, r.metaDesc, r.optinDesc, r.hasSubCategory, r.newProductCount,
        r.productCount)
QEL_TIE(ProductBrand, r.json, r.brandId, r.brandName, r.brandDesc)
QEL_TIE(Product, r.json, r.productId, r.name, r.unit, r.brandName, r.picFirst, r.priceType, r.minPrice,
        r.maxPrice, r.price, r.priceUnit, r.favorite, r.descType, r.desc, r.introduce, r.mSort, r.sSort,
        r.status, r.lastTime, r.showWay)
QEL_TIE(ProductDetailHead, r.json, r.extraId, r.type, r.count)
QEL_TIE(ProductUnstructuredIntr, r.json, r.extraId1, r.extraId2, r.name, r.desc, r.path, r.extraInt)
QEL_TIE(ProductPicCategory, r.json, r.groupId, r.name, r.extraInt1, r.extraInt2, r.extraText1, r.extraText2)
QEL_TIE(ProductPic, r.json, r.resId, r.extraId, r.name, r.desc, r.path, r.extraText1, r.extraText2,
        r.extraInt1, r.extraInt2, r.extraText3)
QEL_TIE(ProductVideo, r.json, r.resId, r.extraId, r.name, r.desc, r.path, r.extraText1, r.img, r.extraText2,
        r.extraText3, r.extraText4, r.extraInt1, r.extraInt2, r.extraText5, r.extraText6)
QEL_TIE(ProductCert, r.json, r.resId, r.extraId, r.name, r.desc, r.status, r.issueOrg, r.path,
        r.effectTimeBegin, r.effectTimeEnd, r.sort, r.tips)
QEL_TIE(ProductCase, r.json, r.caseId, r.extraId, r.name, r.desc, r.resType6, r.resType1, r.resType2,
        r.resType3, r.status, r.sort)
QEL_TIE(ProductCaseRes, r.json, r.resId, r.name, r.text, r.img, r.thumb1, r.thumb2, r.path, r.status, r.tips)
QEL_TIE(ProductModel, r.json, r.productId, r.name, r.desc, r.status, r.sort, r.sSort, r.extraText,
        r.extraReal, r.extraFlag, r.extraInt)
QEL_TIE(ProductParameter, r.json, r.paramId, r.paraType, r.valType, r.paramName, r.unitName, r.isUse,
        r.extraInt)
QEL_TIE(ProductParameterValue, r.json, r.paramValueId, r.extraId, r.productId, r.paramId, r.value,
        r.extraText1, r.extraText2)
QEL_TIE(ProductModelPic, r.json, r.resId, r.name, r.desc, r.path, r.status, r.extraInt)
QEL_TIE(ProductReport, r.json, r.reportId, r.extraId, r.name, r.desc, r.status, r.sort)
QEL_TIE(EntCertCategory, r.json, r.categoryId, r.categoryIdText, r.name, r.beUse, r.newCertCount, r.certCount,
        r.sort, r.desc, r.tips)
QEL_TIE(EntCertsGroup, r.json, r.groupId, r.desc, r.issueTime, r.name, r.organization, r.topImg, r.status)
QEL_TIE(EntCert, r.json, r.certId, r.categoryId, r.name, r.desc, r.status, r.issueOrg, r.picUrl,
        r.effectTimeBegin, r.effectTimeEnd, r.sort, r.tips)
QEL_TIE(EntCertPic, r.json, r.resIdText, r.resId, r.name, r.desc, r.path, r.status)
QEL_TIE(EntCase, r.json, r.caseId, r.name, r.desc, r.status, r.resType6, r.resType1, r.resType2, r.resType3,
        r.sort)
QEL_TIE(EntCaseRes, r.json, r.resId, r.name, r.text, r.img, r.thumb1, r.thumb2, r.path, r.status, r.tips)
QEL_TIE(MyConsultation, r.json, r.consultId, r.extraInt1, r.productId, r.tel1, r.tel2, r.tel3, r.content,
        r.mobileNum, r.email, r.sentStatus, r.extraInt2, r.addTime)
QEL_TIE(MyInquire, r.json, r.inquiryId, r.extraInt1, r.productId, r.num, r.dueDate, r.img, r.arear, r.address,
        r.contact, r.mobileNum, r.email, r.content, r.extraInt2, r.extraInt3, r.addTime)
QEL_TIE(UserRegInfo, r.json, r.uid, r.userId, r.email, r.mobile, r.compName, r.extraInt1, r.extraText1,
        r.extraText2, r.name, r.extraInt2, r.extraText3, r.position, r.tel1, r.tel2, r.tel3, r.remember,
        r.extraText4, r.password, r.extraText5, r.extraInt3)
QEL_TIE(GeoTag, r.json, r.areaId, r.name)
QEL_TIE(AppUpdateFiles, r.json, r.url, r.localPath)
QEL_TIE(ErrorInfo, r.json, r.errorCode, r.errorDesc, r.errorLevel, r.errorType)
#undef QEL_TIE

template <class R>
bool Same(const R& a, const R& b) {
  return Tie(a) == Tie(b);
}
bool Same(const ProductReport& a, const ProductReport& b) {
  if (Tie(a) != Tie(b) || a.pictures.size() != b.pictures.size()) return false;
  for (size_t i = 0; i < a.pictures.size(); ++i)
    if (!Same(a.pictures[i], b.pictures[i])) return false;
  return true;
}

bool ValidWide(const std::wstring& text) {
  for (wchar_t c : text) {
    auto u = static_cast<uint32_t>(c);
    if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
  }
  return true;
}

template <class R>
void CheckMembers(const R& record, const char* name) {
  std::apply(
      [&](const auto&... member) {
        auto one = [&](const auto& m) {
          using M = std::decay_t<decltype(m)>;
          if constexpr (std::is_same_v<M, std::wstring>) Check(ValidWide(m), "wide text is valid", name);
          if constexpr (std::is_same_v<M, double>) Check(std::isfinite(m), "number is finite", name);
        };
        (one(member), ...);
      },
      Tie(record));
  if constexpr (std::is_same_v<R, ProductReport>)
    for (const ProductPic& picture : record.pictures) CheckMembers(picture, name);
}

enum class Accept { kObject, kObjectOrNull, kArrayOfObject };

bool Accepts(Accept accept, bool parsed, const Json::Value& value) {
  switch (accept) {
    case Accept::kObject:
      return parsed && value.isObject();
    case Accept::kObjectOrNull:
      // A text that does not parse reads as null here.
      return !parsed || value.isObject() || value.isNull();
    case Accept::kArrayOfObject:
      return parsed && value.isArray() && !value.empty() && value[0].isObject();
  }
  return false;
}

// Rules of single records, on top of the shared ones.
void CheckOwn(const UserRegInfo& user, const char*) {
  Check(user.password.empty(), "a password is never read from a reply", "UserRegInfo");
}
void CheckOwn(const AppUpdateFiles& file, const char*) {
  if (file.localPath.empty()) return;
  // The folder, one separator (the list's own "/" or "\\"), then the name.
  const std::string folder = GetMoudleDirA() + "\\AppUpdate";
  Check(file.localPath.size() > folder.size() + 1 && file.localPath.compare(0, folder.size(), folder) == 0 &&
            (file.localPath[folder.size()] == '/' || file.localPath[folder.size()] == '\\'),
        "local path in the update folder", "AppUpdateFiles");
  // The name below the folder, split on both separators in its UTF-8 form
  // (a GBK second byte may be 0x5C).
  std::string name = qel::GbkToUtf8(std::string_view(file.localPath).substr(folder.size() + 1));
  Check(name.find(':') == std::string::npos && name.find('\0') == std::string::npos, "no drive or NUL",
        "AppUpdateFiles");
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string segment = name.substr(start, end - start);
    Check(!segment.empty() && segment != "." && segment != "..", "no empty, . or .. segment",
          "AppUpdateFiles");
    start = end + 1;
  }
}
template <class R>
void CheckOwn(const R&, const char*) {}

template <class R>
void CheckRecord(const R& record, const char* name) {
  CheckMembers(record, name);
  CheckOwn(record, name);
}

template <class R>
void Run(const char* name, Accept accept, const std::string& text, bool parsed, const Json::Value& value) {
  const R fresh;
  R record;
  record.FromJson(text.c_str());
  CheckRecord(record, name);
  if (Accepts(accept, parsed, value)) {
    Check(record.json == text, "json is the whole text", name);
  } else {
    Check(Same(record, fresh), "a refused text leaves the record as it was", name);
  }
  R again = record;
  again.FromJson(text.c_str());
  Check(Same(again, record), "the same text twice changes nothing", name);

  // A refused text never touches a record that was filled before.
  if (!Accepts(accept, parsed, value)) {
    R filled = fresh;
    filled.FromJson(accept == Accept::kArrayOfObject ? "[{}]" : "{}");
    R kept = filled;
    kept.FromJson(text.c_str());
    Check(Same(kept, filled), "a refused text leaves a filled record as it was", name);
  }

  if (!parsed) return;
  // The element converted directly equals its written text read back: the
  // writer and the GBK reader agree, 0x5C second bytes included.
  R direct;
  bool converted = ConvertElement(value, &direct);
  Check(converted == Accepts(accept, true, value), "direct conversion accepts the same kinds", name);
  std::string written = qel::WriteStyled(value);
  R reread;
  reread.FromJson(written.c_str());
  Check(Same(direct, reread), "direct conversion equals the written text read back", name);

  std::vector<R> list(1);
  bool listed = ConvertList(value, &list);
  Check(listed == value.isArray(), "a list is an array", name);
  if (!value.isArray()) {
    Check(list.size() == 1 && Same(list[0], fresh), "a refused list stays untouched", name);
    return;
  }
  size_t accepted = 0;
  for (const Json::Value& element : value) {
    if (!Accepts(accept, true, element)) continue;
    ++accepted;
    R one;
    ConvertElement(element, &one);
    Check(accepted < list.size() && Same(list[accepted], one), "list holds each accepted element in order",
          name);
  }
  Check(list.size() == accepted + 1, "refused elements are never appended", name);
}

void CheckTime(const std::string& text) {
  std::wstring time = FormatMsTime(text.c_str());
  if (time == L" ") return;
  // Year (four or more digits), then "-MM-DD hh:mm:ss:mmm".
  const std::wstring tail = L"-00-00 00:00:00:000";
  Check(time.size() >= 4 + tail.size(), "time length", "FormatMsTime");
  size_t yearDigits = time.size() - tail.size();
  for (size_t i = 0; i < time.size(); ++i) {
    wchar_t pattern = i < yearDigits ? L'0' : tail[i - yearDigits];
    if (pattern == L'0') {
      Check(time[i] >= L'0' && time[i] <= L'9', "time digits", "FormatMsTime");
    } else {
      Check(time[i] == pattern, "time separators", "FormatMsTime");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // FromJson takes a C string: what it sees ends at the first NUL.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string cText(text.c_str());
  Json::Value value;
  const bool parsed = qel::ParseGbkJson(cText, &value);
  if (!parsed) value = Json::Value();

  Run<CompanyInfo>("CompanyInfo", Accept::kArrayOfObject, cText, parsed, value);
  Run<QelInfo>("QelInfo", Accept::kArrayOfObject, cText, parsed, value);
  Run<PrimaryModule>("PrimaryModule", Accept::kObject, cText, parsed, value);
  Run<SecondaryModule>("SecondaryModule", Accept::kObject, cText, parsed, value);
  Run<ProductCategory>("ProductCategory", Accept::kObject, cText, parsed, value);
  Run<ProductBrand>("ProductBrand", Accept::kObject, cText, parsed, value);
  Run<Product>("Product", Accept::kObject, cText, parsed, value);
  Run<ProductDetailHead>("ProductDetailHead", Accept::kObject, cText, parsed, value);
  Run<ProductUnstructuredIntr>("ProductUnstructuredIntr", Accept::kObject, cText, parsed, value);
  Run<ProductPic>("ProductPic", Accept::kObject, cText, parsed, value);
  Run<ProductVideo>("ProductVideo", Accept::kObject, cText, parsed, value);
  Run<ProductCert>("ProductCert", Accept::kObject, cText, parsed, value);
  Run<ProductCase>("ProductCase", Accept::kObject, cText, parsed, value);
  Run<ProductCaseRes>("ProductCaseRes", Accept::kObject, cText, parsed, value);
  Run<ProductModel>("ProductModel", Accept::kObject, cText, parsed, value);
  Run<ProductParameter>("ProductParameter", Accept::kObject, cText, parsed, value);
  Run<ProductParameterValue>("ProductParameterValue", Accept::kObject, cText, parsed, value);
  Run<ProductModelPic>("ProductModelPic", Accept::kObject, cText, parsed, value);
  Run<ProductReport>("ProductReport", Accept::kObject, cText, parsed, value);
  Run<EntCertCategory>("EntCertCategory", Accept::kObject, cText, parsed, value);
  Run<EntCertsGroup>("EntCertsGroup", Accept::kObjectOrNull, cText, parsed, value);
  Run<EntCert>("EntCert", Accept::kObject, cText, parsed, value);
  Run<EntCertPic>("EntCertPic", Accept::kObjectOrNull, cText, parsed, value);
  Run<EntCase>("EntCase", Accept::kObject, cText, parsed, value);
  Run<EntCaseRes>("EntCaseRes", Accept::kObject, cText, parsed, value);
  Run<MyConsultation>("MyConsultation", Accept::kObject, cText, parsed, value);
  Run<MyInquire>("MyInquire", Accept::kObject, cText, parsed, value);
  Run<UserRegInfo>("UserRegInfo", Accept::kObject, cText, parsed, value);
  Run<GeoTag>("GeoTag", Accept::kObject, cText, parsed, value);
  Run<AppUpdateFiles>("AppUpdateFiles", Accept::kObjectOrNull, cText, parsed, value);
  Run<ErrorInfo>("ErrorInfo", Accept::kObject, cText, parsed, value);

  // The picture group takes a parsed value, not a text.
  ProductPicCategory group;
  group.FromJson(value);
  if (value.isObject()) {
    Check(group.json == qel::WriteStyled(value), "group json is the written element", "ProductPicCategory");
  } else {
    Check(Same(group, ProductPicCategory()), "a refused group stays as it was", "ProductPicCategory");
  }
  CheckRecord(group, "ProductPicCategory");

  CheckTime(cText);
  if (parsed && value.isString()) CheckTime(value.asString());
  return 0;
}
