// The one calling pattern of the client core: a request built as a JSON
// value and written with the one writer, one Invoke, the reply released
// exactly once through its owner, and the reply read with the one GBK
// reader. Every getter is a few lines on top of these helpers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "qel/requestcodes.h"

namespace qelclientcore {
namespace detail {

// What the calls reach: qelbridge's Invoke and DeleteJsonStr by default;
// tests install a fake that records the requests and answers scripted
// replies.
class BridgeInvoker {
 public:
  virtual ~BridgeInvoker() = default;
  // The reply, when there is one, is released with Release.
  virtual int Invoke(int code, const char* request, char** reply) = 0;
  virtual void Release(char** reply) = 0;
};

// Replaces the invoker (null restores the bridge); returns the previous one.
// The caller keeps ownership.
BridgeInvoker* SetBridgeInvoker(BridgeInvoker* invoker);
BridgeInvoker& CurrentInvoker();

// Once set (at shutdown), every call answers "no reply" without reaching
// the bridge.
void BlockBridgeCalls();
bool BridgeCallsBlocked();

// Until Init has started the bridge, calls answer "no reply" without
// reaching it: a call before Init would open the bridge's session without
// an installation folder. An invoker set by SetBridgeInvoker stands in for
// a started bridge.
void OpenBridgeCalls();

// Owns one reply text of Invoke and releases it once.
class ReplyText {
 public:
  explicit ReplyText(BridgeInvoker* invoker) : invoker_(invoker) {}
  ~ReplyText() { Reset(); }
  ReplyText(const ReplyText&) = delete;
  ReplyText& operator=(const ReplyText&) = delete;
  ReplyText(ReplyText&& other) noexcept : invoker_(other.invoker_), text_(other.text_) {
    other.text_ = nullptr;
  }
  ReplyText& operator=(ReplyText&& other) noexcept {
    if (this != &other) {
      Reset();
      invoker_ = other.invoker_;
      text_ = other.text_;
      other.text_ = nullptr;
    }
    return *this;
  }

  char** Out() { return &text_; }
  const char* Get() const { return text_; }
  bool Has() const { return text_ != nullptr; }
  void Reset();

 private:
  BridgeInvoker* invoker_;
  char* text_ = nullptr;
};

// Request texts. List A goes inside "PARAM" (null when it is empty), list B
// at the root.
class RequestBuilder {
 public:
  RequestBuilder& Param(const char* key, Json::Value value);
  RequestBuilder& Root(const char* key, Json::Value value);
  // One page: LIMIT and OFFSET at the root.
  RequestBuilder& Page(int limit, int offset) { return Root("LIMIT", limit).Root("OFFSET", offset); }
  std::string Text() const;

 private:
  Json::Value params_;
  Json::Value root_{Json::objectValue};
};

// {"<key>" : "<value>"}: the id objects that the bridge reads inside "PARAM".
Json::Value IdObject(const char* key, const std::string& value);
std::string U64Text(uint64_t value);
std::string IntText(int value);

// The outcome of one request.
struct Reply {
  int result = -1;
  bool hasReply = false;
  std::string text;  // GBK, as the bridge sent it

  bool Ok() const { return hasReply && result == 0; }
  // The reply parsed with the GBK reader; false (and null) when it does not
  // parse.
  bool Parse(Json::Value* root) const;
  // The parsed reply when Ok(), else null.
  Json::Value Root() const;
};

// Sends one request (its code named in qel/requestcodes.h); never throws.
Reply Call(qel::request::Code code, const std::string& request);
inline Reply Call(qel::request::Code code, const RequestBuilder& request) {
  return Call(code, request.Text());
}

// Element i of an array root, else null; an object root counts as its only
// element (count and status replies may come bare).
const Json::Value& FirstElement(const Json::Value& root);
// "COUNT" or "STATUS" of element 0 read as a "%d" string (out of range
// clamps); fallback when the reply has another shape.
int ReadCountOrStatus(const Json::Value& root, const char* key, int fallback);

}  // namespace detail
}  // namespace qelclientcore
