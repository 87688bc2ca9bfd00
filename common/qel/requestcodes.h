// The request codes of Invoke, named once for both sides: the bridge's
// method tables list their methods by these names and the client core sends
// them. Bits 8-15 of a code select the module, bits 0-7 its method.
#pragma once

namespace qel {
namespace request {

enum Code : int {
  // Module 0: banner modules, cases, certificate categories and groups.
  kPrimaryModules = 0x000,
  kSecondaryModules = 0x001,
  kCases = 0x009,
  kCaseResources = 0x00a,
  kCertCategories = 0x010,
  kCertGroupsOfCategory = 0x011,
  kAllCertGroups = 0x012,
  kCertGroupCount = 0x013,
  kCertGroupPictures = 0x014,

  // Module 1: about the installation and the company.
  kAboutInfo = 0x100,
  kCompanyInfo = 0x101,

  // Module 2: company certificates.
  kCompanyCerts = 0x200,
  kCompanyCertsOfCategory = 0x201,

  // Module 3: the category levels of the product-levels tables.
  kLevelParents = 0x300,
  kLevelChildren = 0x301,
  kLevelProducts = 0x302,
  kLevelProductCount = 0x303,

  // Module 4: a product's detail.
  kProductIntroductions = 0x401,
  kProductIntroductionCount = 0x402,
  kProductCases = 0x409,
  kProductCaseResources = 0x40a,
  kProductPictureGroups = 0x410,
  kProductPictures = 0x411,
  kProductVideos = 0x412,
  kProductReports = 0x414,
  kProductCerts = 0x416,
  kProductModels = 0x421,
  kProductParameters = 0x422,
  kProductParameterValues = 0x423,
  kProductModelPictures = 0x424,
  kProductModelCount = 0x425,
  kProductDetailHeads = 0x430,

  // Module 5: account, favourites, interaction, usage records, updates.
  kFavorites = 0x501,
  kAddFavorite = 0x502,
  kRemoveFavorite = 0x503,
  kIsFavorite = 0x504,
  kSearchProducts = 0x511,
  kMarkProductSeen = 0x522,
  kMarkSeen = 0x523,
  kLogin = 0x531,
  kSignUp = 0x532,
  kUserInfo = 0x534,
  kSendSecurityCode = 0x535,
  kCheckSecurityCode = 0x536,
  kConsultationCount = 0x537,
  kInquiryCount = 0x538,
  kConsult = 0x539,
  kInquire = 0x53a,
  kConsultations = 0x53b,
  kInquiries = 0x53c,
  kDeleteConsultation = 0x53d,
  kDeleteInquiry = 0x53e,
  kSubAreas = 0x541,
  kParentArea = 0x542,
  kArea = 0x543,
  kFeedback = 0x550,
  kSendUsageRecords = 0x551,
  kAddPrintRecord = 0x552,
  kAddVisitRecord = 0x553,
  kUserExists = 0x554,
  kRunDataUpdate = 0x570,
  kCheckDataUpdate = 0x571,
  kCheckAppUpdate = 0x572,
  kAppUpdateFiles = 0x573,
  kChangePassword = 0x574,

  // Module 6: product categories, products and brands.
  kTopCategories = 0x601,
  kChildCategories = 0x602,
  kParentCategory = 0x603,
  kCategoryProducts = 0x604,
  kParentCategoryLevel = 0x605,
  kAllProducts = 0x606,
  kProduct = 0x607,
  kCategory = 0x608,
  kProductCount = 0x609,
  kCategoryBrands = 0x60a,
};

// The module and the method of a code, as the dispatcher splits it.
constexpr int ModuleOf(int code) { return static_cast<int>((static_cast<unsigned>(code) >> 8) & 0xFFu); }
constexpr int MethodOf(int code) { return static_cast<int>(static_cast<unsigned>(code) & 0xFFu); }

}  // namespace request
}  // namespace qel
