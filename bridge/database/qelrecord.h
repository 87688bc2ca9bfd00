// A row (a JSON object of column name to text) or a list of rows (a JSON
// array). Texts are GBK.
#pragma once

#include <string>

#include <json/json.h>

namespace qel {
namespace dataspace {

class IQELRecord {
 public:
  virtual ~IQELRecord() = default;

  // Members of an object or elements of an array; 0 otherwise.
  virtual int Size() = 0;
  // The i-th member in name order; nothing when i is out of range.
  virtual void GetItem(unsigned i, std::string* name, std::string* value) = 0;
  // The member's text, "" when missing. Reading a missing member adds it
  // with a null value (hosts see such members in the record text).
  virtual std::string GetValue(const std::string& name) = 0;
  // A null value becomes an object; false for an array or a scalar.
  virtual bool SetValue(const std::string& name, const std::string& value) = 0;
  virtual bool RemoveAt(unsigned i) = 0;
  // True when a non-null member was removed.
  virtual bool RemoveMember(const std::string& name) = 0;
  virtual bool Clear() = 0;
  virtual Json::Value& GetJson() = 0;
  // Appends v to the array (a null value becomes one); ignored otherwise.
  virtual void Append(Json::Value v) = 0;
  // The styled text of the value; "[]" while it is null.
  virtual std::string ToString() = 0;
};

class qelRecord : public IQELRecord {
 public:
  qelRecord() = default;
  explicit qelRecord(Json::Value value) : m_json(std::move(value)) {}

  int Size() override;
  void GetItem(unsigned i, std::string* name, std::string* value) override;
  std::string GetValue(const std::string& name) override;
  bool SetValue(const std::string& name, const std::string& value) override;
  bool RemoveAt(unsigned i) override;
  bool RemoveMember(const std::string& name) override;
  bool Clear() override;
  Json::Value& GetJson() override;
  void Append(Json::Value v) override;
  std::string ToString() override;

 private:
  Json::Value m_json;
};

}  // namespace dataspace
}  // namespace qel
