// Which database a datasource is asked for: a type (1 = SQLite) and a path.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

class IQELConnection {
 public:
  virtual ~IQELConnection() = default;

  // *out gets a new connection with every member copied (the caller owns it).
  virtual void Clone(IQELConnection** out) = 0;
  virtual int GetType() = 0;
  virtual void SetType(int type) = 0;
  virtual std::string GetPath() = 0;
  virtual void SetPath(const std::string& path) = 0;
  virtual std::string GetAttr1() = 0;
  virtual void SetAttr1(const std::string& attr) = 0;
  virtual int GetAttrNum() = 0;
  virtual void SetAttrNum(int num) = 0;
  virtual std::string GetAttr2() = 0;
  virtual void SetAttr2(const std::string& attr) = 0;
  virtual std::string GetAttr3() = 0;                  // always ""
  virtual void SetAttr3(const std::string& attr) = 0;  // ignored
};

class qelConnection : public IQELConnection {
 public:
  qelConnection() = default;

  void Clone(IQELConnection** out) override;
  int GetType() override;
  void SetType(int type) override;
  std::string GetPath() override;
  void SetPath(const std::string& path) override;
  std::string GetAttr1() override;
  void SetAttr1(const std::string& attr) override;
  int GetAttrNum() override;
  void SetAttrNum(int num) override;
  std::string GetAttr2() override;
  void SetAttr2(const std::string& attr) override;
  std::string GetAttr3() override;
  void SetAttr3(const std::string& attr) override;

 private:
  int m_type = 1;
  std::string m_path;
  std::string m_attr1;
  int m_attrNum = 0;
  std::string m_attr2;
};

}  // namespace dataspace
}  // namespace qel
