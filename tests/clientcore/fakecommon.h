// A common-library stand-in with fixed host facts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/qelcommon2.h"

namespace commontest {

class FakeCommonServices : public ICommonServices {
 public:
  bool logRecord = false;
  std::string server = "http://127.0.0.1:9/qelservice";
  std::string ip = "10.0.0.2";
  std::string mac = "00-11-22-33-44-55";
  std::string system = "Linux 6.1";
  std::string moduleDir = "/opt/qel/Data";
  int64_t intervalMs = 900000;
  std::vector<std::string> downloads;  // "url|second|path"

  bool LogRecord() override { return logRecord; }
  std::string Server() override { return server; }
  std::string Ip() override { return ip; }
  std::string Mac() override { return mac; }
  std::string OperationSystemName() override { return system; }
  std::string ModuleDir() override { return moduleDir; }
  int64_t CachedDataIntervalMs() override { return intervalMs; }
  std::string DownloadFile(const std::string& url, const std::string& second, const std::string& path,
                           CommonDownloadProgress*) override {
    downloads.push_back(url + "|" + second + "|" + path);
    return "{\"jsonrpc\":\"2.0\",\"result\":{\"result\":\"\",\"status\":\"100000\"}}";
  }
};

// Puts a fake in place for its lifetime.
class ScopedFakeCommon {
 public:
  ScopedFakeCommon() : fake_(std::make_shared<FakeCommonServices>()) {
    CCommon2::instance().SetServices(fake_);
  }
  ~ScopedFakeCommon() { CCommon2::instance().SetServices(nullptr); }
  FakeCommonServices& operator*() { return *fake_; }
  FakeCommonServices* operator->() { return fake_.get(); }

 private:
  std::shared_ptr<FakeCommonServices> fake_;
};

}  // namespace commontest
