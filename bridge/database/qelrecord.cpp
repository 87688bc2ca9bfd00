#include "database/qelrecord.h"

#include "qel/json.h"

namespace qel {
namespace dataspace {

namespace {

// jsoncpp throws on member access to a value of another kind; a record of
// the wrong kind answers "" / false instead.
bool IsObjectLike(const Json::Value& value) { return value.isNull() || value.isObject(); }

}  // namespace

int qelRecord::Size() {
  if (!m_json.isObject() && !m_json.isArray()) return 0;
  return static_cast<int>(m_json.size());
}

void qelRecord::GetItem(unsigned i, std::string* name, std::string* value) {
  if (!m_json.isObject() || i >= m_json.size()) return;
  const Json::Value::Members names = m_json.getMemberNames();
  if (name) *name = names[i];
  if (value) *value = qel::ValueAsText(m_json[names[i]]);
}

std::string qelRecord::GetValue(const std::string& name) {
  if (!IsObjectLike(m_json)) return "";
  // operator[] on purpose: a missing member is added as null, which shows
  // in the record text that callers pass on.
  return qel::ValueAsText(m_json[name]);
}

bool qelRecord::SetValue(const std::string& name, const std::string& value) {
  if (!IsObjectLike(m_json)) return false;
  m_json[name] = value;
  return true;
}

bool qelRecord::RemoveAt(unsigned i) {
  if (!m_json.isObject() || i >= m_json.size()) return false;
  const Json::Value::Members names = m_json.getMemberNames();
  m_json.removeMember(names[i]);
  return true;
}

bool qelRecord::RemoveMember(const std::string& name) {
  if (!m_json.isObject()) return false;
  Json::Value removed;
  if (!m_json.removeMember(name, &removed)) return false;
  return !removed.isNull();
}

bool qelRecord::Clear() {
  if (m_json.isObject() || m_json.isArray()) {
    m_json.clear();
  } else {
    m_json = Json::Value();
  }
  return true;
}

Json::Value& qelRecord::GetJson() { return m_json; }

void qelRecord::Append(Json::Value v) {
  if (!m_json.isNull() && !m_json.isArray()) return;
  m_json.append(std::move(v));
}

std::string qelRecord::ToString() {
  if (m_json.isNull()) return "[]";
  return qel::WriteStyled(m_json);
}

}  // namespace dataspace
}  // namespace qel
