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
#include "recordcheck.h"

namespace {

using namespace qelclientcore;
using qelfuzz::Check;
using qelfuzz::CheckMembers;
using qelfuzz::Same;

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
  // The folder, "/", then the name.
  const std::string folder = GetMoudleDirA() + "/AppUpdate/";
  Check(file.localPath.size() > folder.size() && file.localPath.compare(0, folder.size(), folder) == 0,
        "local path in the update folder", "AppUpdateFiles");
  // The name below the folder as the file system sees it: its UTF-8 form
  // (a GBK second byte may be 0x5C; bytes that are no GBK drop out, which
  // can leave a doubled separator -- harmless), split on both separators.
  std::string name = qel::GbkToUtf8(std::string_view(file.localPath).substr(folder.size()));
  Check(name.find(':') == std::string::npos && name.find('\0') == std::string::npos, "no drive or NUL",
        "AppUpdateFiles");
  bool named = false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string segment = name.substr(start, end - start);
    Check(segment != "." && segment != "..", "no . or .. segment", "AppUpdateFiles");
    named = named || !segment.empty();
    start = end + 1;
  }
  Check(named && name.back() != '/' && name.back() != '\\', "a file name", "AppUpdateFiles");
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
  // writer and the GBK reader agree, 0x5C second bytes included. Only for a
  // GBK document: the reader keeps bytes that are no GBK, and a stray lead
  // byte then takes the backslash of a following escape as its second byte.
  if (!qel::IsValidGbk(text)) return;
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
