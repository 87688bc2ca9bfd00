#include "database/qelquerydef.h"

#include <algorithm>

namespace qel {
namespace dataspace {

void qelQueryDef::Reserved0(void*) {}

int qelQueryDef::TableCount() const { return static_cast<int>(m_tables.size()); }

std::string qelQueryDef::GetTable(unsigned i) const {
  return i < m_tables.size() ? m_tables[i] : std::string();
}

int qelQueryDef::IndexOf(const std::string& table) const {
  auto it = std::find(m_tables.begin(), m_tables.end(), table);
  return it == m_tables.end() ? -1 : static_cast<int>(it - m_tables.begin());
}

void qelQueryDef::AddTable(const std::string& name) {
  if (name.empty() || IndexOf(name) >= 0) return;
  m_tables.push_back(name);
  m_fields.emplace_back();
}

void qelQueryDef::RemoveTableAt(unsigned i) {
  if (i >= m_tables.size()) return;
  m_tables.erase(m_tables.begin() + i);
  m_fields.erase(m_fields.begin() + i);
}

void qelQueryDef::RemoveTable(const std::string& name) {
  if (name.empty()) return;
  int index = IndexOf(name);
  if (index >= 0) RemoveTableAt(static_cast<unsigned>(index));
}

std::string qelQueryDef::GetFilter() const { return m_filter; }

void qelQueryDef::SetFilter(const std::string& filter) { m_filter = filter; }

std::string qelQueryDef::GetOrderBy() const {
  if (m_orders.empty()) return "";
  std::string text;
  for (const std::string& field : m_orderList) {
    auto it = m_orders.find(field);
    bool desc = it != m_orders.end() && it->second != 0;
    if (!text.empty()) text += ",";
    text += field + " " + (desc ? "DESC" : "ASC");
  }
  return text;
}

void qelQueryDef::SetOrderByText(const std::string& text) { m_orderByText = text; }

void qelQueryDef::AddOrder(const std::string& field, int desc) {
  m_orderList.push_back(field);
  m_orders.emplace(field, desc);  // keeps the first flag
}

void qelQueryDef::RemoveOrder(const std::string& field) {
  m_orders.erase(field);
  m_orderList.erase(std::remove(m_orderList.begin(), m_orderList.end(), field), m_orderList.end());
}

void qelQueryDef::ClearOrder() {
  m_orders.clear();
  m_orderList.clear();
}

int qelQueryDef::GetLimit() const { return m_limit; }

void qelQueryDef::SetLimit(int limit) { m_limit = limit; }

void qelQueryDef::SetOffset(int offset) { m_offset = offset; }

int qelQueryDef::GetOffset() const { return m_offset; }

int qelQueryDef::FieldCount(const std::string& table) const {
  if (table.empty()) return -1;
  int index = IndexOf(table);
  return index < 0 ? -1 : static_cast<int>(m_fields[index].size());
}

std::string qelQueryDef::GetField(const std::string& table, unsigned i) const {
  int index = table.empty() ? -1 : IndexOf(table);
  if (index < 0 || i >= m_fields[index].size()) return "";
  return m_fields[index][i];
}

void qelQueryDef::AddField(const std::string& table, const std::string& field) {
  if (table.empty() || field.empty()) return;
  int index = IndexOf(table);
  if (index < 0) {
    AddTable(table);
    index = static_cast<int>(m_tables.size()) - 1;
  }
  m_fields[index].push_back(field);
}

void qelQueryDef::RemoveFieldAt(const std::string& table, unsigned i) {
  int index = table.empty() ? -1 : IndexOf(table);
  if (index < 0 || i >= m_fields[index].size()) return;
  m_fields[index].erase(m_fields[index].begin() + i);
}

void qelQueryDef::RemoveField(const std::string& table, const std::string& field) {
  int index = table.empty() ? -1 : IndexOf(table);
  if (index < 0) return;
  auto& fields = m_fields[index];
  auto it = std::find(fields.begin(), fields.end(), field);
  if (it != fields.end()) fields.erase(it);
}

void qelQueryDef::DeleteTable(const std::string& name) { RemoveTable(name); }

void qelQueryDef::Clear() {
  m_tables.clear();
  m_fields.clear();
}

}  // namespace dataspace
}  // namespace qel
