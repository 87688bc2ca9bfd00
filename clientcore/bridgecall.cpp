#include "bridgecall.h"

#include <atomic>
#include <exception>

#include "qel/json.h"
#include "qel/text.h"
#include "qelbridge.h"

namespace qelclientcore {
namespace detail {

namespace {

class LibraryInvoker : public BridgeInvoker {
 public:
  int Invoke(int code, const char* request, char** reply) override { return ::Invoke(code, request, reply); }
  void Release(char** reply) override { ::DeleteJsonStr(reply); }
};

LibraryInvoker& Library() {
  // Never destroyed: the threads may still call while statics go away.
  static LibraryInvoker* library = new LibraryInvoker;
  return *library;
}

std::atomic<BridgeInvoker*> g_invoker{nullptr};
std::atomic<bool> g_blocked{false};
std::atomic<bool> g_opened{false};

}  // namespace

BridgeInvoker* SetBridgeInvoker(BridgeInvoker* invoker) { return g_invoker.exchange(invoker); }

BridgeInvoker& CurrentInvoker() {
  BridgeInvoker* invoker = g_invoker.load();
  return invoker != nullptr ? *invoker : Library();
}

void BlockBridgeCalls() { g_blocked.store(true); }
bool BridgeCallsBlocked() { return g_blocked.load(); }
void OpenBridgeCalls() { g_opened.store(true); }

void ReplyText::Reset() {
  if (text_ != nullptr) {
    invoker_->Release(&text_);
    text_ = nullptr;
  }
}

RequestBuilder& RequestBuilder::Param(const char* key, Json::Value value) {
  if (!params_.isObject()) params_ = Json::Value(Json::objectValue);
  params_[key] = std::move(value);
  return *this;
}

RequestBuilder& RequestBuilder::Root(const char* key, Json::Value value) {
  root_[key] = std::move(value);
  return *this;
}

std::string RequestBuilder::Text() const {
  Json::Value request = root_;
  request["PARAM"] = params_;
  return qel::WriteStyled(request);
}

Json::Value IdObject(const char* key, const std::string& value) {
  Json::Value object(Json::objectValue);
  object[key] = value;
  return object;
}

std::string U64Text(uint64_t value) { return std::to_string(value); }
std::string IntText(int value) { return std::to_string(value); }

bool Reply::Parse(Json::Value* root) const { return qel::ParseGbkJson(text, root); }

Json::Value Reply::Root() const {
  Json::Value root;
  if (!Ok() || !Parse(&root)) return Json::Value();
  return root;
}

Reply Call(qel::request::Code code, const std::string& request) {
  Reply reply;
  if (BridgeCallsBlocked()) return reply;
  try {
    if (g_invoker.load() == nullptr && !g_opened.load()) return reply;
    BridgeInvoker& invoker = CurrentInvoker();
    ReplyText text(&invoker);
    reply.result = invoker.Invoke(code, request.c_str(), text.Out());
    if (text.Has()) {
      reply.hasReply = true;
      reply.text = text.Get();
    }
  } catch (const std::exception&) {
    reply = Reply();
  }
  return reply;
}

const Json::Value& FirstElement(const Json::Value& root) {
  if (root.isObject()) return root;
  return qel::Element(root, 0);
}

int ReadCountOrStatus(const Json::Value& root, const char* key, int fallback) {
  const Json::Value& first = FirstElement(root);
  std::string text;
  int value = 0;
  if (first.isObject() && qel::ReadString(first, key, &text) &&
      qel::ScanInteger(text, &value) != qel::IntegerScan::kNone)
    return value;
  return fallback;
}

}  // namespace detail
}  // namespace qelclientcore
