// Description of a SELECT: tables with their fields, a filter, an order
// list, a limit and an offset. The datasource turns it into SQL.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qel {
namespace dataspace {

class IQELQueryDef {
 public:
  virtual ~IQELQueryDef() = default;

  virtual void Reserved0(void* unused) = 0;
  virtual int TableCount() const = 0;
  // "" when i is out of range.
  virtual std::string GetTable(unsigned i) const = 0;
  // Ignores "" and a name already present.
  virtual void AddTable(const std::string& name) = 0;
  virtual void RemoveTableAt(unsigned i) = 0;
  virtual void RemoveTable(const std::string& name) = 0;
  virtual std::string GetFilter() const = 0;
  virtual void SetFilter(const std::string& filter) = 0;
  // "F1 DESC,F2 ASC"; "" when no order was added.
  virtual std::string GetOrderBy() const = 0;
  virtual void SetOrderByText(const std::string& text) = 0;
  // The first flag given for a field is kept (non-zero: descending).
  virtual void AddOrder(const std::string& field, int desc) = 0;
  virtual void RemoveOrder(const std::string& field) = 0;
  virtual void ClearOrder() = 0;
  // -1: no limit / no offset.
  virtual int GetLimit() const = 0;
  virtual void SetLimit(int limit) = 0;
  virtual void SetOffset(int offset) = 0;
  virtual int GetOffset() const = 0;
  // -1 for "" or an absent table.
  virtual int FieldCount(const std::string& table) const = 0;
  virtual std::string GetField(const std::string& table, unsigned i) const = 0;
  // Appends the table first when it is new; ignored when either is "".
  virtual void AddField(const std::string& table, const std::string& field) = 0;
  virtual void RemoveFieldAt(const std::string& table, unsigned i) = 0;
  // Removes the first equal field.
  virtual void RemoveField(const std::string& table, const std::string& field) = 0;
  virtual void DeleteTable(const std::string& name) = 0;
  // Removes tables and fields; filter, orders, limit and offset stay.
  virtual void Clear() = 0;
};

class qelQueryDef : public IQELQueryDef {
 public:
  qelQueryDef() = default;

  void Reserved0(void* unused) override;
  int TableCount() const override;
  std::string GetTable(unsigned i) const override;
  void AddTable(const std::string& name) override;
  void RemoveTableAt(unsigned i) override;
  void RemoveTable(const std::string& name) override;
  std::string GetFilter() const override;
  void SetFilter(const std::string& filter) override;
  std::string GetOrderBy() const override;
  void SetOrderByText(const std::string& text) override;
  void AddOrder(const std::string& field, int desc) override;
  void RemoveOrder(const std::string& field) override;
  void ClearOrder() override;
  int GetLimit() const override;
  void SetLimit(int limit) override;
  void SetOffset(int offset) override;
  int GetOffset() const override;
  int FieldCount(const std::string& table) const override;
  std::string GetField(const std::string& table, unsigned i) const override;
  void AddField(const std::string& table, const std::string& field) override;
  void RemoveFieldAt(const std::string& table, unsigned i) override;
  void RemoveField(const std::string& table, const std::string& field) override;
  void DeleteTable(const std::string& name) override;
  void Clear() override;

 private:
  // Position of the table, or -1.
  int IndexOf(const std::string& table) const;

  // m_tables[i] and m_fields[i] belong together.
  std::vector<std::string> m_tables;
  std::vector<std::vector<std::string>> m_fields;
  std::vector<std::string> m_orderList;
  std::map<std::string, int> m_orders;
  std::string m_filter;
  std::string m_orderByText;
  int m_limit = -1;
  int m_offset = -1;
};

}  // namespace dataspace
}  // namespace qel
