// The product-levels module (request codes 0x300 to 0x303) with any request
// text, on its own fixture: the first byte gives the method, the rest is
// the request text {"ID":"<category id>","LEVEL":"<level>"}.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void CheckCategory(const Json::Value& row, int code) {
  Check(qel::IsDecimalId(qel::StringMember(row, "PRODUCT_COUNT")), "product count", code);
  const std::string flag = qel::StringMember(row, "HASSUBCTG");
  Check(flag == "0" || flag == "1", "sub-category flag", code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qelfuzz::LevelsInstallation();
  if (size < 1) return 0;
  qelfuzz::ResetInstallation();
  const int code = 0x300 | (data[0] & 0x07);  // 0x304 to 0x307 are not handled
  std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
  request = request.substr(0, request.find('\0'));

  char* reply = nullptr;
  int result = Invoke(code, request.c_str(), &reply);
  Check(reply != nullptr, "Invoke gives a reply", code);
  const std::string text = reply;
  DeleteJsonStr(&reply);
  const int method = code & 0xFF;
  if (method > 3) {
    Check(result == -2, "other methods give -2", code);
    return 0;
  }
  Check(result == 0, "handled methods give 0", code);

  // The request as the module reads it.
  Json::Value parsed;
  std::string id;
  std::string levelText;
  if (qel::ParseGbkJson(request, &parsed)) {
    qel::ReadString(parsed, "ID", &id);
    qel::ReadString(parsed, "LEVEL", &levelText);
  }
  const int64_t level = levelText.empty() ? 0 : qel::StringToInt(levelText);

  // Every reply is valid GBK and, decoded as GBK, valid JSON.
  Json::Value rows;
  Json::Value decoded;
  Check(text.empty() || (qel::IsValidGbk(text) && qel::ParseJson(qel::GbkToUtf8(text), &decoded) &&
                         qel::ParseGbkJson(text, &rows)),
        "reply decodes as GBK to JSON", code);
  if (text.empty()) return 0;
  Check(rows.isArray(), "reply is an array", code);
  for (const Json::Value& row : rows) {
    Check(row.isObject(), "rows are objects", code);
    const std::string rowId = qel::StringMember(row, "ID");
    const int64_t rowLevel = qel::StringToInt(qel::StringMember(row, "LEVEL"));
    switch (method) {
      case 0:
        CheckCategory(row, code);
        if (id.empty() || level < 3) {
          Check(rowLevel == 1, "the first level", code);
        } else {
          const size_t width = 6;  // levels 3 and 4 and the level above: 3 + 3
          Check(rowLevel == level - 1 && id.size() >= width &&
                    StartsWith(rowId, id.substr(0, id.size() - width)),
                "the parent's level under the same grandparent", code);
        }
        break;
      case 1:
        CheckCategory(row, code);
        if (id.empty()) {
          Check(rowLevel == 1, "the first level", code);
        } else {
          Check(rowLevel == level + 1 && StartsWith(rowId, id), "the level below the category", code);
        }
        break;
      case 2: {
        const std::string status = qel::StringMember(row, "STATUS");
        Check(status == "1" || status == "2", "product flag", code);
        break;
      }
      default:
        // An id that is no valid GBK is not echoed.
        Check(rows.size() == 1 && qel::StringMember(row, "CATEGORY_ID") == (qel::IsValidGbk(id) ? id : "") &&
                  qel::IsDecimalId(qel::StringMember(row, "COUNT")),
              "count reply", code);
        break;
    }
  }
  return 0;
}
