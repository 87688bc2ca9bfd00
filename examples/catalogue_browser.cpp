// Prints the category tree of an installation and the products of one
// category, from the replies of libqelbridge.so. The replies are GBK; they
// are converted to UTF-8 for the terminal.
//
//   catalogue_browser <installation folder> [category id]
//
// Without a category id the products of the first top-level category are
// listed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <json/json.h>

#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace {

// The reply of one request, parsed from its UTF-8 form; a null value when
// the request failed or the reply is not JSON.
Json::Value Request(int code, const Json::Value& request, int* result = nullptr) {
  // Narrow texts handed to the library are GBK JSON documents.
  std::string text = request.isNull() ? std::string() : qel::WriteCompact(qel::StringsToGbk(request));
  char* reply = nullptr;
  int rc = Invoke(code, text.c_str(), &reply);
  if (result != nullptr) *result = rc;
  std::string utf8 = reply != nullptr ? qel::GbkToUtf8(std::string(reply)) : std::string();
  DeleteJsonStr(&reply);
  Json::Value value;
  if (rc != 0 || !qel::ParseJson(utf8, &value)) return Json::Value();
  return value;
}

Json::Value CategoryParam(const std::string& id) {
  Json::Value request(Json::objectValue);
  request["PARAM"]["PRODUCT_CATEGORY"]["PRO_CATEGORY_ID"] = id;
  return request;
}

void PrintCategories(const Json::Value& rows, int depth) {
  if (!rows.isArray()) return;
  for (const Json::Value& row : rows) {
    const std::string id = qel::StringMember(row, "PRO_CATEGORY_ID");
    std::printf("%*s%s  %s  (%s products, %s new)\n", depth * 2, "", id.c_str(),
                qel::StringMember(row, "NAME").c_str(), qel::StringMember(row, "PRODUCTCOUNT").c_str(),
                qel::StringMember(row, "NEWPRODUCTCOUNT").c_str());
    if (qel::StringMember(row, "HASSUBCATEGORY") != "0")
      PrintCategories(Request(0x602, CategoryParam(id)), depth + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <installation folder> [category id]\n", argv[0]);
    return 2;
  }
  // The installation folder is the working folder, as for the client
  // itself: the library's log files go to its "qellog".
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(argv[1], ec);
  if (ec || !std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "%s is not a folder\n", argv[1]);
    return 2;
  }
  std::filesystem::current_path(folder, ec);
  Json::Value startup(Json::objectValue);
  startup["LOCAL_PATH"] = folder.string();
  startup["SERVER_PATH"] = "http://127.0.0.1:9/qelservice";
  startup["UA"] = "Windows";
  InitQelbridge(260, qel::WriteCompact(qel::StringsToGbk(startup)).c_str());

  Json::Value top = Request(0x601, Json::Value());
  if (!top.isArray() || top.empty()) {
    std::fprintf(stderr, "no categories in %s\n", argv[1]);
    return 1;
  }
  std::printf("Categories\n");
  PrintCategories(top, 1);

  std::string category = argc == 3 ? argv[2] : qel::StringMember(top[0], "PRO_CATEGORY_ID");
  Json::Value named = Request(0x608, CategoryParam(category));
  std::string title = named.isArray() && !named.empty() ? qel::StringMember(named[0], "NAME") : category;
  int result = 0;
  Json::Value products = Request(0x604, CategoryParam(category), &result);
  if (result != 0) {
    std::fprintf(stderr, "cannot list the products of %s (result %d)\n", category.c_str(), result);
    return 1;
  }
  std::printf("\nProducts of %s %s\n", category.c_str(), title.c_str());
  if (!products.isArray() || products.empty()) std::printf("  (none)\n");
  for (const Json::Value& row : products) {
    // Price type 1 is "price on request": the price text and unit are not
    // shown, as the client core's Product record does.
    const bool onRequest = qel::StringMember(row, "PRICETYPE") == "1";
    std::string price = onRequest ? "面议" : qel::StringMember(row, "PRICE");
    std::string unit = onRequest || price.empty() ? "" : qel::StringMember(row, "PRICEUNIT");
    std::printf("  %s  %s%s%s  %s%s%s%s\n", qel::StringMember(row, "PRODUCT_ID").c_str(),
                qel::StringMember(row, "NAME").c_str(),
                qel::StringMember(row, "BRANDNAME").empty() ? "" : "  ",
                qel::StringMember(row, "BRANDNAME").c_str(), price.c_str(), unit.c_str(),
                qel::StringMember(row, "STATUS") == "2" ? "  [new]" : "",
                qel::StringMember(row, "FAVORITE") == "1" ? "  [favourite]" : "");
  }
  return 0;
}
