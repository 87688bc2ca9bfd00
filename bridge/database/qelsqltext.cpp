#include "database/qelsqltext.h"

namespace qel {
namespace dataspace {

std::string QuoteSqlText(const std::string& text) {
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
