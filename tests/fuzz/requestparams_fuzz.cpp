// The request-parameter parser on any request text, with every table, key
// and extra key the handlers ask for, and on requests written by the JSON
// writer around arbitrary value bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "business/qelbusinesshelper.h"
#include "qel/json.h"
#include "qel/text.h"

namespace {

using qel::dataspace::ParseRequestParams;
using qel::dataspace::RequestParams;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
  }
}

struct Lookup {
  const char* table;
  const char* key;
  std::vector<std::string> extras;
};

// The lookups of the catalogue handlers.
const std::vector<Lookup>& Lookups() {
  static const std::vector<Lookup> lookups = {
      {"", "", {}},
      {"PRODUCT", "PRODUCT_ID", {}},
      {"PRODUCT", "PRODUCT_ID", {"PICTURE_GROUP_ID"}},
      {"PRODUCT_CASE", "CASE_ID", {"PRODUCT_CASE_RES_TYPE"}},
      {"PRODUCT_CATEGORY", "PRO_CATEGORY_ID", {}},
      {"BRAND", "BRAND_ID", {}},
      {"BANNER", "BANNER_ID", {}},
      {"CERT_CATEGORY", "CERT_CATEGORY_ID", {}},
      {"CERTGROUP", "CERTGROUP_ID", {"A", "B", ""}},
  };
  return lookups;
}

// What the parser must give for a text, read independently of it.
void CheckAgainstText(const std::string& text, const Lookup& lookup, const RequestParams& params,
                      int result) {
  Json::Value root;
  bool parsed = qel::ParseGbkJson(text, &root) && root.isObject();
  const Json::Value& param = qel::Member(root, "PARAM");
  if (!parsed || !param.isObject()) {
    Check(result == 1, "a text without a PARAM object fails");
    Check(params.values.empty(), "no extra values without PARAM");
  } else {
    Check(params.values.size() == lookup.extras.size(), "one value per extra key");
  }
  // Page values never read as 0: "none" is -1.
  Check(params.limit != 0 && params.offset != 0, "page values are never 0");
  if (parsed) {
    const Json::Value& limit = qel::Member(root, "LIMIT");
    if (limit.isInt() && limit.asInt() != 0) Check(params.limit == limit.asInt(), "LIMIT read");
    const Json::Value& offset = qel::Member(root, "OFFSET");
    if (offset.isInt() && offset.asInt() != 0) Check(params.offset == offset.asInt(), "OFFSET read");
  }
  if (result == 0 && lookup.table[0] != '\0') {
    const Json::Value& value = qel::Member(qel::ObjectMember(param, lookup.table), lookup.key);
    Check(!value.isNull() && !value.isObject() && !value.isArray(), "the value is a scalar");
    Check(params.value == qel::ValueAsText(value), "the value read");
  }
  if (result == 0) Check(parsed && param.isObject(), "success needs PARAM");
  Check(result == 0 || result == 1, "result is 0 or 1");
}

// A request the client core would write, around value bytes from the input.
void CheckWrittenRequest(const std::string& value, const std::string& extra, int page) {
  Json::Value request(Json::objectValue);
  request["PARAM"]["PRODUCT_CASE"]["CASE_ID"] = value;
  request["PARAM"]["PRODUCT_CASE_RES_TYPE"] = extra;
  request["LIMIT"] = page;
  request["OFFSET"] = -page;
  const std::vector<std::string> extras = {"PRODUCT_CASE_RES_TYPE", "MISSING"};
  // A GBK document holds GBK text: bytes that are none have no spelling
  // every reader agrees on, so only valid values must come back.
  const bool valid = qel::IsValidGbk(value) && qel::IsValidGbk(extra);
  for (const std::string& text : {qel::WriteStyled(request), qel::WriteCompact(request)}) {
    RequestParams params;
    int result = ParseRequestParams(text, "PRODUCT_CASE", "CASE_ID", &params, &extras);
    if (!valid) continue;
    Check(result == 0, "written request parses");
    // GBK bytes, a trail byte 0x5C included, come back unchanged.
    Check(params.value == value, "written value survives");
    Check(params.values.size() == 2 && params.values[0] == extra && params.values[1].empty(), "extra values");
    Check(params.limit == (page == 0 ? -1 : page) && params.offset == (page == 0 ? -1 : -page),
          "page values");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const Lookup& lookup : Lookups()) {
    RequestParams params;
    int result = ParseRequestParams(text, lookup.table, lookup.key, &params, &lookup.extras);
    CheckAgainstText(text, lookup, params, result);
  }
  // Null outputs are allowed.
  ParseRequestParams(text, "PRODUCT", "PRODUCT_ID", nullptr, nullptr);

  // The other shared readers of parsed requests.
  Json::Value root;
  if (qel::ParseJson(text, &root)) {
    std::map<std::string, std::string> flat;
    int flatResult = qel::dataspace::JsonObjectToMap(root, &flat);
    Check(flatResult == (root.isObject() ? 0 : 1), "JsonObjectToMap result");
    std::vector<std::string> keys =
        root.isObject() ? root.getMemberNames() : std::vector<std::string>{"PARAM"};
    std::vector<std::string> out;
    qel::dataspace::GetJsonValuesByKeys(root, keys, &out);
    Check(out.size() == keys.size(), "GetJsonValuesByKeys gives one value per key");
  }

  // Split the input into a value, an extra value and a page size.
  size_t cut = size / 2;
  int page = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  CheckWrittenRequest(text.substr(0, cut), text.substr(cut), page);
  return 0;
}
