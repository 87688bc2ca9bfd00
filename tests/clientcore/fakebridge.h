// A stand-in for qelbridge's Invoke: records every request (code and parsed
// text) and answers scripted replies; counts the reply texts handed out and
// released, so that a test sees each one released exactly once.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bridgecall.h"
#include "qel/json.h"
#include "testsupport.h"

namespace qeltest {

struct FakeRequest {
  int code;
  std::string text;  // as sent (GBK)
  Json::Value json;  // parsed; null for the empty text
};

struct FakeReply {
  int result = 0;
  std::optional<std::string> text;  // GBK; none: no reply text at all
};

class FakeBridge : public qelclientcore::detail::BridgeInvoker {
 public:
  FakeBridge() { previous_ = qelclientcore::detail::SetBridgeInvoker(this); }
  ~FakeBridge() override { qelclientcore::detail::SetBridgeInvoker(previous_); }

  // Replies for one code, used in order; the last one used answers later calls.
  void Script(int code, int result, std::optional<std::string> text) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[code].push_back(FakeReply{result, std::move(text)});
  }
  // Every code without a script answers this ("[]" with result 0 by default).
  void Default(int result, std::optional<std::string> text) {
    std::lock_guard<std::mutex> lock(mutex_);
    default_ = FakeReply{result, std::move(text)};
  }

  int Invoke(int code, const char* request, char** reply) override {
    std::lock_guard<std::mutex> lock(mutex_);
    FakeRequest recorded{code, request != nullptr ? request : "", Json::Value()};
    if (!recorded.text.empty()) {
      EXPECT_TRUE(qel::ParseGbkJson(recorded.text, &recorded.json)) << recorded.text;
    }
    requests_.push_back(recorded);
    FakeReply answer = default_;
    auto script = scripts_.find(code);
    if (script != scripts_.end() && !script->second.empty()) {
      answer = script->second.front();
      script->second.pop_front();
      last_[code] = answer;
    } else if (last_.count(code) != 0) {
      answer = last_[code];
    }
    if (answer.text) {
      *reply = new char[answer.text->size() + 1];
      std::memcpy(*reply, answer.text->c_str(), answer.text->size() + 1);
      ++handedOut_;
    }
    return answer.result;
  }

  void Release(char** reply) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reply == nullptr || *reply == nullptr) return;
    delete[] * reply;
    *reply = nullptr;
    ++released_;
  }

  std::vector<FakeRequest> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const FakeRequest& r : Requests()) codes.push_back(r.code);
    return codes;
  }
  size_t Count() const { return Requests().size(); }
  const FakeRequest Last() const {
    std::vector<FakeRequest> all = Requests();
    return all.empty() ? FakeRequest{-1, "", Json::Value()} : all.back();
  }
  void ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
  }
  int HandedOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handedOut_;
  }
  int Released() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return released_;
  }

 private:
  mutable std::mutex mutex_;
  qelclientcore::detail::BridgeInvoker* previous_ = nullptr;
  std::map<int, std::deque<FakeReply>> scripts_;
  std::map<int, FakeReply> last_;
  FakeReply default_{0, std::string("[]")};
  std::vector<FakeRequest> requests_;
  int handedOut_ = 0;
  int released_ = 0;
};

// A JSON text from a UTF-8 literal, as the bridge sends it (GBK).
inline std::string GbkJson(const std::string& utf8) { return Gbk(utf8); }

// Parses a UTF-8 JSON literal into the GBK value a request is compared with.
inline Json::Value Expect(const std::string& utf8) {
  Json::Value value;
  EXPECT_TRUE(qel::ParseUtf8JsonToGbk(utf8, &value)) << utf8;
  return value;
}

// The error object of a failed call.
inline std::string ErrorReply(int code, const std::string& utf8Desc) {
  return Gbk("{\"ERRORCODE\":\"" + std::to_string(code) + "\",\"ERRORDESC\":\"" + utf8Desc +
             "\",\"ERRORLEVE\":\"1\",\"ERRORTYPE\":\"1\"}");
}

}  // namespace qeltest
