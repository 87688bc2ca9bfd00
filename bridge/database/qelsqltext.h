// Quoting of values that are put into SQL text.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

// The text as an SQL string literal: wrapped in single quotes, each single
// quote inside doubled. Works on GBK bytes as they are: no GBK trail byte is
// 0x27, so a quote byte is always a real quote. A text holding bytes that
// are no GBK (which the conversion of the SQL text to UTF-8 would drop) or
// a zero byte gives NULL, which compares equal to nothing.
std::string QuoteSqlText(const std::string& text);

}  // namespace dataspace
}  // namespace qel
