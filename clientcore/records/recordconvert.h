// Conversion of parsed reply values into records, for the getters: a reply
// is parsed once (GBK reader) and each element converted directly.
#pragma once

#include <string>
#include <vector>

#include <json/json.h>

#include "qel/json.h"
#include "records/qelrecords.h"

namespace qelclientcore {

// Parses a GBK JSON text with the one GBK reader; null when it does not parse
// (or text is null).
Json::Value ParseRecordText(const char* text);

// Fills `record` from a parsed value (strings in GBK) by the record's rules;
// `text` becomes its `json`. False, and the record unchanged, when the value
// is not accepted (see qelrecords.h). CompanyInfo and QelInfo take the whole
// reply array.
#define QEL_DECLARE_CONVERT(Record) \
  bool ConvertRecord(const Json::Value& value, const std::string& text, Record* record);
QEL_DECLARE_CONVERT(CompanyInfo)
QEL_DECLARE_CONVERT(QelInfo)
QEL_DECLARE_CONVERT(PrimaryModule)
QEL_DECLARE_CONVERT(SecondaryModule)
QEL_DECLARE_CONVERT(ProductCategory)
QEL_DECLARE_CONVERT(ProductBrand)
QEL_DECLARE_CONVERT(Product)
QEL_DECLARE_CONVERT(ProductDetailHead)
QEL_DECLARE_CONVERT(ProductUnstructuredIntr)
QEL_DECLARE_CONVERT(ProductPicCategory)
QEL_DECLARE_CONVERT(ProductPic)
QEL_DECLARE_CONVERT(ProductVideo)
QEL_DECLARE_CONVERT(ProductCert)
QEL_DECLARE_CONVERT(ProductCase)
QEL_DECLARE_CONVERT(ProductCaseRes)
QEL_DECLARE_CONVERT(ProductModel)
QEL_DECLARE_CONVERT(ProductParameter)
QEL_DECLARE_CONVERT(ProductParameterValue)
QEL_DECLARE_CONVERT(ProductModelPic)
QEL_DECLARE_CONVERT(ProductReport)
QEL_DECLARE_CONVERT(EntCertCategory)
QEL_DECLARE_CONVERT(EntCertsGroup)
QEL_DECLARE_CONVERT(EntCert)
QEL_DECLARE_CONVERT(EntCertPic)
QEL_DECLARE_CONVERT(EntCase)
QEL_DECLARE_CONVERT(EntCaseRes)
QEL_DECLARE_CONVERT(MyConsultation)
QEL_DECLARE_CONVERT(MyInquire)
QEL_DECLARE_CONVERT(UserRegInfo)
QEL_DECLARE_CONVERT(GeoTag)
QEL_DECLARE_CONVERT(AppUpdateFiles)
QEL_DECLARE_CONVERT(ErrorInfo)
#undef QEL_DECLARE_CONVERT

// One element of a reply: its `json` is the element's styled text (the one
// writer, GBK kept).
template <class Record>
bool ConvertElement(const Json::Value& element, Record* record) {
  return ConvertRecord(element, qel::WriteStyled(element), record);
}

// Appends one record per accepted element of a reply array (elements that are
// not accepted are skipped, never appended blank). False when `array` is not
// an array; the vector is then untouched.
template <class Record>
bool ConvertList(const Json::Value& array, std::vector<Record>* out) {
  if (!array.isArray() || out == nullptr) return false;
  for (const Json::Value& element : array) {
    Record record;
    if (ConvertElement(element, &record)) out->push_back(std::move(record));
  }
  return true;
}

}  // namespace qelclientcore
