// The exported entry points and the request dispatcher.
#include "qelbridge.h"

#include <cstring>
#include <new>

#include "business/qelmethodtable.h"
#include "cqelbridge.h"
#include "datainterfaceinvoke.h"
#include "errorcodehelper.h"
#include "logbridge.h"
#include "qel/json.h"
#include "qel/requestcodes.h"
#include "qel/text.h"

namespace qel {
namespace dataspace {

// "-------【Json In】" in GBK.
constexpr char kJsonInLine[] = "-------\xA1\xBEJson In\xA1\xBF";
constexpr char kDispatchFunction[] = "qel::dataspace::cqelbridge::Invoke";

int cqelbridge::Invoke(int code, std::string json, std::string* reply) {
  Data_interface_invoke* handler = GetInvokeModule(static_cast<unsigned>(request::ModuleOf(code)));
  if (handler == nullptr) return kResultUnknownModule;
  QEL_LOG(kDispatchFunction, kJsonInLine);
  QEL_LOG(kDispatchFunction, json);
  int result;
  try {
    result = handler->Invoke(request::MethodOf(code), std::move(json), reply);
  } catch (...) {
    // A module that throws answers like a failed handler.
    result = kResultFailed;
  }
  QEL_LOG(kDispatchFunction, *reply);
  return result;
}

IQELMainInfo::IQELMainInfo() = default;
IQELMainInfo::IQELMainInfo(const IQELMainInfo&) = default;
IQELMainInfo& IQELMainInfo::operator=(const IQELMainInfo&) = default;
IQELMainInfo::~IQELMainInfo() = default;

}  // namespace dataspace
}  // namespace qel

using qel::dataspace::cqelbridge;

extern "C" int InitQelbridge(int platform, const char* json) {
  try {
    return qel::dataspace::StartQelbridge(platform, json != nullptr ? json : "");
  } catch (...) {
    return 0;
  }
}

extern "C" int Invoke(int code, const char* json, char** reply) {
  if (reply == nullptr) return -1;
  try {
    std::string text;
    int result = cqelbridge::GetInstance()->Invoke(code, json != nullptr ? json : "", &text);
    if (result != 0) qel::dataspace::MakeResultReply(result, &text);
    char* out = new (std::nothrow) char[text.size() + 1];
    *reply = out;
    if (out == nullptr) {
      QEL_LOG("Invoke", "malloc memory error");
      return -1;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    QEL_LOG("Invoke", "UN___DEFINED UTF8");
    QEL_LOG("Invoke", "Invoke Result:\n" + text);
    return result;
  } catch (...) {
    return -1;
  }
}

extern "C" int InvokeEx(int code, const char* json, char** buffer) {
  char* reply = nullptr;
  int result = Invoke(code, json, &reply);
  if (buffer != nullptr && *buffer != nullptr) {
    int capacity = 0;
    std::memcpy(&capacity, *buffer, sizeof capacity);
    size_t length = reply != nullptr ? std::strlen(reply) : 0;
    if (capacity > 0 && length < static_cast<size_t>(capacity)) {
      std::memcpy(*buffer, reply != nullptr ? reply : "", length + 1);
    } else {
      (*buffer)[0] = '\0';
      if (result == 0) result = -1;
    }
  }
  DeleteJsonStr(&reply);
  return result;
}

extern "C" int Invoke_CPP(int code, const std::string& json, std::string& reply) {
  try {
    int result = cqelbridge::GetInstance()->Invoke(code, json, &reply);
    if (result == 0) {
      QEL_LOG_DIRECT("Invoke Result:\n" + reply);
    } else if (reply.empty()) {
      Json::Value placeholder(Json::arrayValue);
      Json::Value item(Json::objectValue);
      item["ERRORDESC"] = " ";
      item["ERRORLEVEL"] = " ";
      placeholder.append(item);
      reply = qel::WriteStyled(placeholder);
    }
    return result;
  } catch (...) {
    return -1;
  }
}

extern "C" void DeleteJsonStr(char** reply) {
  if (reply == nullptr || *reply == nullptr) return;
  delete[] * reply;
  *reply = nullptr;
}

extern "C" void SetLogCallback(LogCallback fn) { qel::dataspace::StoreLogCallback(fn); }
extern "C" void SetUpdateDownCallback(UpdateDownCallback fn) { qel::dataspace::StoreUpdateDownCallback(fn); }

extern "C" int c_codethansfer(int direction, std::string* text) {
  if (text == nullptr) return 0;
  try {
    if (direction == 0) {
      qel::Utf8ToGbk(*text, text);
    } else if (direction == 1) {
      qel::GbkToUtf8(*text, text);
    }
  } catch (...) {
  }
  return 0;
}
