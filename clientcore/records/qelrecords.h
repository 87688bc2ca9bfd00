// The typed records that the client core hands the host instead of JSON.
//
// Every record is a plain structure: default values, member-wise copy, and
// `FromJson`, which fills it from the JSON text of one reply element of
// qelbridge's Invoke. Narrow text (`json`, the members of AppUpdateFiles and
// every text given to FromJson) is GBK; wide text is wchar_t.
//
// FromJson rules shared by all records:
// - A null text, a text that does not parse, or a value of the wrong kind
//   (an object is needed, an array for CompanyInfo and QelInfo) leaves the
//   record unchanged, `json` included. EntCertsGroup, EntCertPic and
//   AppUpdateFiles also accept null (the text "null" or one that does not
//   parse): that sets `json` and nothing else.
// - Otherwise `json` becomes the whole given text, and each member takes the
//   JSON string under its key. A missing key or a value that is not a string
//   leaves the member as it was: members are never reset, so a second text
//   keeps what the first one set for keys it lacks.
// - Numbers are read as decimal text; a text that is not a number, or one out
//   of the member's range, leaves the member as it was.
// - Resource paths that are empty or start with "http://" or "https://" (any
//   case) stay as they are; every other gets "./files/" in front.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <json/json.h>

#include "qelclientcore_export.h"

namespace qelclientcore {

// The tab codes 0 to 8 of a product's detail page; used as they come.
enum PRODUCTDETAILHEAD : int {};

// ---- Catalogue records ----------------------------------------------------

// The installation's company; FromJson takes the whole reply array and reads
// its element 0.
struct QELCLIENTCORE_API CompanyInfo {
  std::string json;
  uint64_t id = 0;
  std::wstring name;
  std::wstring homePic;
  std::wstring logoPic;
  std::wstring videoUrl;
  std::wstring videoThumbnail;
  std::wstring qq;
  std::wstring siteUrl;
  std::wstring shareUrl;
  std::wstring qrCodeImage;

  void FromJson(const char* text);
};

// The service's own about information; FromJson takes the whole reply array.
struct QELCLIENTCORE_API QelInfo {
  std::string json;
  int id = -1;
  std::wstring name;
  std::wstring version;
  std::wstring logo;
  std::wstring url;
  std::wstring tel;
  std::wstring mail;
  std::wstring helpUrl;
  std::wstring passwordUrl;

  void FromJson(const char* text);
};

// A top-level module of the home screen (a banner).
struct QELCLIENTCORE_API PrimaryModule {
  std::string json;
  int bannerId = -1;
  int type = 0;
  std::wstring name;
  std::wstring icon;
  int sort = 0;  // an empty "SORT" text gives -1
  int isShow = 0;

  void FromJson(const char* text);
};

// A banner category below a primary module.
struct QELCLIENTCORE_API SecondaryModule {
  std::string json;
  int bannerCateId = -1;
  int bannerId = -1;
  std::wstring name;
  std::wstring content;
  int sort = 0;
  int status = 0;  // the "new" flag
  std::wstring extraText1;
  std::wstring extraText2;
  int isShow = 0;

  void FromJson(const char* text);
};

struct QELCLIENTCORE_API ProductCategory {
  std::string json;
  uint64_t categoryId = 0;
  int level = -1;
  std::wstring name;
  std::wstring desc;
  std::wstring alias1;
  std::wstring alias2;
  std::wstring catgDesc;
  std::wstring tips;
  int canExtend = 0;
  int beUse = 0;
  std::wstring meta;
  std::wstring metaDesc;
  std::wstring optinDesc;
  int hasSubCategory = 0;
  int newProductCount = 0;
  int productCount = 0;

  void FromJson(const char* text);
};

struct QELCLIENTCORE_API ProductBrand {
  std::string json;
  int brandId = -1;
  std::wstring brandName;
  std::wstring brandDesc;

  void FromJson(const char* text);
};

struct QELCLIENTCORE_API Product {
  std::string json;
  uint64_t productId = 0;
  std::wstring name;
  std::wstring unit;
  std::wstring brandName;
  std::wstring picFirst;
  int priceType = 0;  // 1: price on request ("面议"), no unit
  double minPrice = 0;
  double maxPrice = 0;
  std::wstring price;
  std::wstring priceUnit;
  int favorite = 0;  // 1 when a favourite of the current user
  int descType = 0;
  std::wstring desc;
  std::wstring introduce;
  int mSort = 0;
  int sSort = 0;
  int status = 0;         // the "new" flag
  std::wstring lastTime;  // local time "YYYY-MM-DD hh:mm:ss:mmm"
  int showWay = 0;

  void FromJson(const char* text);
};

// ---- Product-detail records -----------------------------------------------

// One tab of a product's detail page and its item count.
struct QELCLIENTCORE_API ProductDetailHead {
  std::string json;
  uint64_t extraId = 0;
  int type = -1;  // a PRODUCTDETAILHEAD code
  int count = 0;

  void FromJson(const char* text);
};

// One item of a product's free-form introduction.
struct QELCLIENTCORE_API ProductUnstructuredIntr {
  std::string json;
  uint64_t extraId1 = 0;
  uint64_t extraId2 = 0;
  std::wstring name;
  std::wstring desc;
  std::wstring path;
  int extraInt = 0;

  void FromJson(const char* text);
};

// A picture group. Its FromJson takes an element already parsed (GBK
// strings) and, unlike every other record, first resets groupId to 0 and
// name to "".
struct QELCLIENTCORE_API ProductPicCategory {
  std::string json;
  int groupId = -1;
  std::wstring name;
  int extraInt1 = 0;
  int extraInt2 = 0;
  std::wstring extraText1;
  std::wstring extraText2;

  void FromJson(const Json::Value& value);
};

// A picture of a product (also the pictures of a ProductReport).
struct QELCLIENTCORE_API ProductPic {
  std::string json;
  uint64_t resId = 0;
  uint64_t extraId = 0;
  std::wstring name;
  std::wstring desc;
  std::wstring path;
  std::wstring extraText1;
  std::wstring extraText2;
  int extraInt1 = 0;
  int extraInt2 = 0;
  std::wstring extraText3;

  void FromJson(const char* text);
};

struct QELCLIENTCORE_API ProductVideo {
  std::string json;
  uint64_t resId = 0;
  uint64_t extraId = 0;
  std::wstring name;
  std::wstring desc;
  std::wstring path;  // the video file
  std::wstring extraText1;
  std::wstring img;  // the video's picture
  std::wstring extraText2;
  std::wstring extraText3;
  std::wstring extraText4;
  int extraInt1 = 0;
  int extraInt2 = 0;
  std::wstring extraText5;
  std::wstring extraText6;

  void FromJson(const char* text);
};

// A certificate of a product.
struct QELCLIENTCORE_API ProductCert {
  std::string json;
  uint64_t resId = 0;
  uint64_t extraId = 0;
  std::wstring name;
  std::wstring desc;
  int status = 0;
  std::wstring issueOrg;
  std::wstring path;
  std::wstring effectTimeBegin;  // as given, no time formatting
  std::wstring effectTimeEnd;
  int sort = 0;
  std::wstring tips;

  void FromJson(const char* text);
};

// A case of a product; resTypeN is N when "RES_TYPES" lists the number N.
struct QELCLIENTCORE_API ProductCase {
  std::string json;
  int caseId = -1;
  uint64_t extraId = 0;
  std::wstring name;
  std::wstring desc;
  int resType6 = 0;
  int resType1 = 0;
  int resType2 = 0;
  int resType3 = 0;
  int status = 0;
  int sort = 0;

  void FromJson(const char* text);
};

// One resource of a product case.
struct QELCLIENTCORE_API ProductCaseRes {
  std::string json;
  uint64_t resId = 0;
  std::wstring name;
  std::wstring text;
  std::wstring img;
  std::wstring thumb1;
  std::wstring thumb2;
  std::wstring path;
  int status = 0;
  std::wstring tips;

  void FromJson(const char* text);
};

// A model of a product; models are products, so the id is a product id.
struct QELCLIENTCORE_API ProductModel {
  std::string json;
  uint64_t productId = 0;
  std::wstring name;
  std::wstring desc;
  int status = 0;
  int sort = 0;
  int sSort = 0;
  std::wstring extraText;
  double extraReal = 0;
  bool extraFlag = false;
  int extraInt = 0;

  void FromJson(const char* text);
};

// A parameter definition; the client core adds two built-in ones (ids -1, -2).
struct QELCLIENTCORE_API ProductParameter {
  std::string json;
  int paramId = -1;
  int paraType = -1;
  int valType = -1;
  std::wstring paramName;
  std::wstring unitName;
  int isUse = 0;
  int extraInt = 0;

  void FromJson(const char* text);
};

// The value of one parameter for one model.
struct QELCLIENTCORE_API ProductParameterValue {
  std::string json;
  int paramValueId = 0;
  uint64_t extraId = 0;
  uint64_t productId = 1;
  uint64_t paramId = UINT64_MAX;
  std::wstring value;
  std::wstring extraText1;
  std::wstring extraText2;

  void FromJson(const char* text);
};

// A picture of a model.
struct QELCLIENTCORE_API ProductModelPic {
  std::string json;
  uint64_t resId = 0;
  std::wstring name;
  std::wstring desc;
  std::wstring path;
  int status = 0;
  int extraInt = 0;

  void FromJson(const char* text);
};

// A test report with its pictures ("PICTURE", objects only).
struct QELCLIENTCORE_API ProductReport {
  std::string json;
  int reportId = -1;
  uint64_t extraId = 0;
  std::wstring name;
  std::wstring desc;
  std::vector<ProductPic> pictures;
  int status = 0;
  int sort = 0;

  void FromJson(const char* text);
};

// ---- Enterprise, user and service records ---------------------------------

// A category of the company's certificates.
struct QELCLIENTCORE_API EntCertCategory {
  std::string json;
  int categoryId = -1;
  std::wstring categoryIdText = L"-1";  // the same key as text, set even when not a number
  std::wstring name;
  int beUse = 0;
  int newCertCount = 0;
  int certCount = 0;
  int sort = 0;
  std::wstring desc;
  std::wstring tips;

  void FromJson(const char* text);
};

// A certificate group, looked up by its id text.
struct QELCLIENTCORE_API EntCertsGroup {
  std::string json;
  std::wstring groupId = L"-1";
  std::wstring desc;
  std::wstring issueTime;
  std::wstring name;
  std::wstring organization;
  std::wstring topImg;
  std::wstring status;  // the "new" flag as text

  void FromJson(const char* text);
};

// One certificate of the company. "ID" and "FATHER_ID" stand in for a
// missing "CERT_ID" and "CERT_CATEGORY_ID".
struct QELCLIENTCORE_API EntCert {
  std::string json;
  int certId = -1;
  int categoryId = -1;
  std::wstring name;
  std::wstring desc;
  int status = 0;
  std::wstring issueOrg;
  std::wstring picUrl;
  std::wstring effectTimeBegin;
  std::wstring effectTimeEnd;
  int sort = 0;
  std::wstring tips;

  void FromJson(const char* text);
};

// One picture of a certificate group.
struct QELCLIENTCORE_API EntCertPic {
  std::string json;
  std::wstring resIdText = L"0";
  int resId = 0;  // resIdText as a number, 0 when it is none
  std::wstring name;
  std::wstring desc;
  std::wstring path;
  std::wstring status = L"0";

  void FromJson(const char* text);
};

// A case of the company.
struct QELCLIENTCORE_API EntCase {
  std::string json;
  int caseId = -1;
  std::wstring name;
  std::wstring desc;
  int status = 0;
  int resType6 = 0;
  int resType1 = 0;
  int resType2 = 0;
  int resType3 = 0;
  int sort = 0;

  void FromJson(const char* text);
};

// One resource of a company case.
struct QELCLIENTCORE_API EntCaseRes {
  std::string json;
  int resId = -1;
  std::wstring name;
  std::wstring text;
  std::wstring img;
  std::wstring thumb1;
  std::wstring thumb2;
  std::wstring path;
  int status = 0;
  std::wstring tips;

  void FromJson(const char* text);
};

// A consultation about a product (filled by the host for NewConsult).
struct QELCLIENTCORE_API MyConsultation {
  std::string json;
  int consultId = -1;
  int extraInt1 = -1;
  uint64_t productId = 0;
  std::wstring tel1;
  std::wstring tel2;
  std::wstring tel3;
  std::wstring content;
  std::wstring mobileNum;
  std::wstring email;
  int sentStatus = 0;
  int extraInt2 = 0;
  std::wstring addTime;

  void FromJson(const char* text);
};

// An inquiry (filled by the host for NewInquire).
struct QELCLIENTCORE_API MyInquire {
  std::string json;
  int inquiryId = -1;
  int extraInt1 = -1;
  uint64_t productId = 0;
  int num = 0;  // the quantity asked for
  std::wstring dueDate;
  std::wstring img;  // the attachment, as given
  int arear = 0;     // an area id
  std::wstring address;
  std::wstring contact;
  std::wstring mobileNum;
  std::wstring email;
  std::wstring content;
  int extraInt2 = 0;
  int extraInt3 = 0;
  std::wstring addTime;

  void FromJson(const char* text);
};

// A feedback filled by the host for newFeed.
struct QELCLIENTCORE_API MyFeed {
  std::string json;
  std::wstring email;    // sent as "EMAIL"
  std::wstring suggest;  // sent as "SUGGEST"
};

// The user's account: from the user-info reply, or filled by the host for
// sign-up (userId goes as "ACCOUNT", password as "PASSWORD").
struct QELCLIENTCORE_API UserRegInfo {
  std::string json;
  std::wstring uid;
  std::wstring userId;  // the account name
  std::wstring email;
  std::wstring mobile;
  std::wstring compName;
  int extraInt1 = 0;
  std::wstring extraText1;
  std::wstring extraText2;
  std::wstring name;
  int extraInt2 = 0;
  std::wstring extraText3;
  std::wstring position;
  std::wstring tel1;
  std::wstring tel2;
  std::wstring tel3;
  int remember = 1;
  std::wstring extraText4;
  std::wstring password;  // set by the host; never read from a reply
  std::wstring extraText5;
  int extraInt3 = 0;

  void FromJson(const char* text);
};

// An area of the area tree.
struct QELCLIENTCORE_API GeoTag {
  std::string json;
  int areaId = -1;
  std::wstring name;

  void FromJson(const char* text);
};

// One file of an application update. All three members stay GBK: url is
// "url" + "filePath", localPath the module folder + "/AppUpdate/" + the
// checked "fileName" with "/" separators ("\" in the name counts as one);
// a name leaving that folder is refused.
struct QELCLIENTCORE_API AppUpdateFiles {
  std::string json;
  std::string url;
  std::string localPath;

  void FromJson(const char* text);
};

// The error reply of Invoke.
struct QELCLIENTCORE_API ErrorInfo {
  std::string json;
  uint64_t errorCode = 0;
  std::wstring errorDesc;  // the message handed to the host
  std::wstring errorLevel;
  std::wstring errorType;

  void FromJson(const char* text);
};

// ---- Shared rules ----------------------------------------------------------

// The path rule on narrow text: empty or web paths unchanged, else "./files/"
// in front.
QELCLIENTCORE_API std::string MapResourcePath(const std::string& path);

// Milliseconds since 1970 (decimal text) as local time
// "YYYY-MM-DD hh:mm:ss:mmm"; " " for a negative or unrepresentable time,
// "  " for a null text.
QELCLIENTCORE_API std::wstring FormatMsTime(const char* text);

}  // namespace qelclientcore
