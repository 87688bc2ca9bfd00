// Whole-record comparison and the checks every converted record passes, for
// the fuzz targets of the client core.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <type_traits>

#include "records/qelrecords.h"

namespace qelfuzz {

using namespace qelclientcore;

inline void Check(bool ok, const char* what, const char* record) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s (%s)\n", what, record);
    std::abort();
  }
}

// Every member of a record, for comparing whole records (pictures of a
// report are compared on their own).
#define QEL_TIE(R, ...) \
  inline auto Tie(const R& r) { return std::tie(__VA_ARGS__); }
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
inline bool Same(const R& a, const R& b) {
  return Tie(a) == Tie(b);
}
inline bool Same(const ProductReport& a, const ProductReport& b) {
  if (Tie(a) != Tie(b) || a.pictures.size() != b.pictures.size()) return false;
  for (size_t i = 0; i < a.pictures.size(); ++i)
    if (!Same(a.pictures[i], b.pictures[i])) return false;
  return true;
}

inline bool ValidWide(const std::wstring& text) {
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

}  // namespace qelfuzz
