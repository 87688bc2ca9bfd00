#include "database/qelconnection.h"

#include <new>

namespace qel {
namespace dataspace {

void qelConnection::Clone(IQELConnection** out) {
  if (!out) return;
  qelConnection* copy = new (std::nothrow) qelConnection(*this);
  *out = copy;
}

int qelConnection::GetType() { return m_type; }
void qelConnection::SetType(int type) { m_type = type; }
std::string qelConnection::GetPath() { return m_path; }
void qelConnection::SetPath(const std::string& path) { m_path = path; }
std::string qelConnection::GetAttr1() { return m_attr1; }
void qelConnection::SetAttr1(const std::string& attr) { m_attr1 = attr; }
int qelConnection::GetAttrNum() { return m_attrNum; }
void qelConnection::SetAttrNum(int num) { m_attrNum = num; }
std::string qelConnection::GetAttr2() { return m_attr2; }
void qelConnection::SetAttr2(const std::string& attr) { m_attr2 = attr; }
std::string qelConnection::GetAttr3() { return ""; }
void qelConnection::SetAttr3(const std::string&) {}

}  // namespace dataspace
}  // namespace qel
