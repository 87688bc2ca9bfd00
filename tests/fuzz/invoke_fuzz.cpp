// Invoke with any request code and any request text on a fixture
// installation: the first byte gives the module, the second the method,
// the rest is the request text. Each input starts from the installation as
// built (the custom module writes local state), so a finding replays from
// its file alone.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"
#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace {

void Check(bool ok, const char* what, int code) {
  if (!ok) {
    std::fprintf(stderr, "property failed: %s (code 0x%x)\n", what, static_cast<unsigned>(code));
    std::abort();
  }
}

// Reads every log line as a host would, so that formatting and masking run.
std::atomic<size_t> g_logBytes{0};
void CountingLog(const char* text, const char* extra) {
  g_logBytes += std::strlen(text) + (extra != nullptr ? std::strlen(extra) : 0);
}

// Reads a reply as any host does: it is valid GBK, and decoded as GBK it
// is valid JSON. The value comes back with GBK strings.
bool ReadAsHost(const std::string& reply, Json::Value* value) {
  Json::Value decoded;
  return qel::IsValidGbk(reply) && qel::ParseJson(qel::GbkToUtf8(reply), &decoded) &&
         qel::ParseGbkJson(reply, value) && qel::StringsToUtf8(*value) == decoded;
}

// A reply is a JSON text, or empty where a handler found nothing to say.
void CheckReply(const std::string& reply, int result, int code) {
  Json::Value parsed;
  if (result != 0) {
    // The error object of the code, from the fixture's error tables.
    Check(ReadAsHost(reply, &parsed) && parsed.isObject(), "error reply is an object, decoded as GBK", code);
    Check(qel::StringMember(parsed, "ERRORCODE") == std::to_string(result), "error reply names the code",
          code);
    return;
  }
  Check(reply.empty() || ReadAsHost(reply, &parsed), "reply decodes as GBK to JSON", code);
}

// The request's scalar PARAM[table][key] as text ("" when absent), read
// independently of the handlers.
std::string RequestValue(const Json::Value& request, const char* table, const char* key) {
  return qel::TextMember(qel::ObjectMember(qel::ObjectMember(request, "PARAM"), table), key);
}

bool IsCount(const std::string& text) { return qel::IsDecimalId(text); }

// What the rows of a catalogue reply must hold whatever the request was:
// ids that match the one asked for, flags and counts of their kind, and no
// more rows than LIMIT asked for.
void CheckRows(int code, const std::string& requestText, const std::string& reply) {
  Json::Value request;
  Json::Value rows;
  if (reply.empty() || !qel::ParseGbkJson(reply, &rows) || !rows.isArray()) return;
  qel::ParseGbkJson(requestText, &request);
  const int shortCode = code & 0xFFFF;
  int64_t limit = 0;
  // Lists that take LIMIT (detail-head, model, parameter and count replies
  // and the banners have fixed sizes or no paging).
  static const int kPaged[] = {0x001, 0x009, 0x010, 0x011, 0x012, 0x014, 0x401, 0x409, 0x410, 0x411, 0x412,
                               0x414, 0x416, 0x601, 0x602, 0x603, 0x604, 0x605, 0x606, 0x607, 0x608};
  bool paged = false;
  for (int c : kPaged) paged = paged || c == shortCode;
  if (paged && qel::ReadInt64(request, "LIMIT", &limit) && limit > 0 && limit < 1000000) {
    Check(static_cast<int64_t>(rows.size()) <= limit, "no more rows than LIMIT", code);
  }
  const std::string category = RequestValue(request, "PRODUCT_CATEGORY", "PRO_CATEGORY_ID");
  for (const Json::Value& row : rows) {
    Check(row.isObject(), "rows are objects", code);
    switch (shortCode) {
      case 0x601:
      case 0x602:
      case 0x603:
      case 0x605:
      case 0x608: {
        const std::string id = qel::StringMember(row, "PRO_CATEGORY_ID");
        Check(
            IsCount(qel::StringMember(row, "PRODUCTCOUNT")) && qel::StringMember(row, "PRODUCTCOUNT") != "0",
            "listed categories have products", code);
        Check(IsCount(qel::StringMember(row, "NEWPRODUCTCOUNT")) &&
                  qel::StringToInt64(qel::StringMember(row, "NEWPRODUCTCOUNT")) <=
                      qel::StringToInt64(qel::StringMember(row, "PRODUCTCOUNT")),
              "new products are some of the products", code);
        Check(IsCount(qel::StringMember(row, "HASSUBCATEGORY")), "sub-category count", code);
        if (shortCode == 0x601) Check(id.size() == 7, "top level ids", code);
        if (shortCode == 0x602) {
          Check(id.size() == category.size() + 3 && id.compare(0, category.size(), category) == 0,
                "children of the category", code);
        }
        if (shortCode == 0x603) Check(id == category.substr(0, category.size() - 3), "the parent", code);
        if (shortCode == 0x608) Check(id == category, "the category asked for", code);
        break;
      }
      case 0x604:
      case 0x606:
      case 0x607: {
        const std::string id = qel::StringMember(row, "PRODUCT_ID");
        Check(id.size() == 11, "products have 11-character ids", code);
        const std::string status = qel::StringMember(row, "STATUS");
        Check(status == "1" || status == "2", "product flag", code);
        const std::string favorite = qel::StringMember(row, "FAVORITE");
        Check(favorite == "0" || favorite == "1", "favourite flag", code);
        if (shortCode == 0x607) {
          Check(id == RequestValue(request, "PRODUCT", "PRODUCT_ID"), "the product asked for", code);
        }
        const std::string brand = RequestValue(request, "BRAND", "BRAND_ID");
        if (shortCode != 0x607 && !brand.empty())
          Check(qel::StringMember(row, "BRAND_ID") == brand, "brand", code);
        break;
      }
      case 0x001:
        Check(qel::StringMember(row, "BANNER_ID") == RequestValue(request, "BANNER", "BANNER_ID"),
              "categories of the banner asked for", code);
        break;
      case 0x421: {
        const std::string product = RequestValue(request, "PRODUCT", "PRODUCT_ID");
        const std::string id = qel::StringMember(row, "PRODUCT_ID");
        Check(id.size() >= product.size() + 4 && id.compare(0, product.size(), product) == 0,
              "models of the product asked for", code);
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelfuzz::FixtureInstallation();
  if (size < 2) return 0;
  qelfuzz::ResetInstallation();
  // Modules 0 to 7 (7 exercises the missing-module path); now and then a
  // code with high bits set, which the dispatcher ignores.
  int code = ((data[0] & 0x07) << 8) | data[1];
  if (data[0] & 0x80) code |= static_cast<int>(0xFFFF0000u);
  const bool logging = (data[0] & 0x40) != 0;
  SetLogCallback(logging ? CountingLog : nullptr);
  std::string request(reinterpret_cast<const char*>(data + 2), size - 2);
  request = request.substr(0, request.find('\0'));

  char* reply = nullptr;
  int result = Invoke(code, request.c_str(), &reply);
  Check(reply != nullptr, "Invoke gives a reply", code);
  std::string text = reply;
  DeleteJsonStr(&reply);
  Check(reply == nullptr, "DeleteJsonStr clears the pointer", code);
  CheckReply(text, result, code);
  if (result == 0) CheckRows(code, request, text);

  // The same request through the C++ entry; the catalogue modules only
  // read, so they answer the same. The custom module (5) writes local state.
  std::string cppReply;
  int cppResult = Invoke_CPP(code, request, cppReply);
  if (((code >> 8) & 0xFF) != 5) {
    Check(cppResult == result, "Invoke_CPP gives the same result", code);
    if (result == 0) Check(cppReply == text, "Invoke_CPP gives the same reply", code);
  }
  if (cppResult != 0) Check(!cppReply.empty(), "Invoke_CPP never leaves a failure empty", code);

  // InvokeEx into an array just large enough, or one byte short.
  if (data[0] & 0x20) {
    size_t capacity = text.size() + 1 - (data[0] & 0x10 ? 1 : 0);
    std::vector<char> buffer(capacity < sizeof(int) ? sizeof(int) : capacity);
    int stated = static_cast<int>(capacity);
    std::memcpy(buffer.data(), &stated, sizeof stated);
    char* target = buffer.data();
    InvokeEx(code, request.c_str(), &target);
    Check(std::memchr(buffer.data(), '\0', buffer.size()) != nullptr, "InvokeEx terminates", code);
  }
  SetLogCallback(nullptr);
  return 0;
}
