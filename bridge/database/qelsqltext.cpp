#include "database/qelsqltext.h"

#include "qel/text.h"

namespace qel {
namespace dataspace {

std::string QuoteSqlText(const std::string& text) {
  // SQL text reaches SQLite converted to UTF-8, which drops bytes that are
  // no GBK: the literal would then stand for another value ("12\x83" for
  // "12") and match its rows; a zero byte would end the SQL text there.
  // Such a text matches nothing instead.
  if (text.find('\0') != std::string::npos || Utf8ToGbk(GbkToUtf8(std::string_view(text))) != text) {
    return "NULL";
  }
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

}  // namespace dataspace
}  // namespace qel
