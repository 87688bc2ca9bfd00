// The method table every module dispatches through. A module lists its
// methods once, as descriptors; the table finds the method, parses the
// request text once, checks what the method needs from it, takes the
// method's failure route when that is missing, and runs the handler.
// A table is built at its first use and never destroyed: the client core's
// threads may still dispatch through it while the process exits.
//
//   using Method = MethodDescriptor<qel_Invoke_Something>;
//   const MethodTable<qel_Invoke_Something>& Table() {
//     static const MethodTable<qel_Invoke_Something>& table = *new MethodTable<qel_Invoke_Something>(
//         {
//             Method(request::kThings, &GetThings)
//                 .Key("PRODUCT", "PRODUCT_ID")
//                 .Accept(&IdIsDecimal)
//                 .OnFail(FailRoute::kDirect, "Can not get PRODUCT_ID from json in"),
//             Method(request::kThingCount, &CountThings).Parsed(),   // reads the parsed request itself
//         },
//         kResultUnknownMethod);
//     return table;
//   }
//   int qel_Invoke_Something::Invoke(int method, std::string json, std::string* reply) {
//     return Table().Invoke(*this, method, json, reply);
//   }
//
// Log texts the hosts see (failText, and the [FUN] name of a bridge line)
// belong to the module's interface: hosts match on them, so they keep
// their exact spelling, typos included.
#pragma once

#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "business/qelbusinesshelper.h"
#include "logbridge.h"
#include "qel/requestcodes.h"

namespace qel {
namespace dataspace {

// Result codes of Invoke as the hosts see them.
enum InvokeResult : int {
  kResultSuccess = 0,
  // Bad input or a failed handler.
  kResultFailed = 1,
  // No such method, as modules 1 and 2 answer it (module 3 answers
  // kResultUnknownModule, the others kResultFailed).
  kResultUnknownMethod = -1,
  // No such module (the dispatcher).
  kResultUnknownModule = -2,
};

// How a failed request is logged.
enum class FailRoute {
  kNone,    // not logged
  kBridge,  // a formatted bridge line with the descriptor's function name
  kDirect,  // the text straight to the host's log callback
};

// What a method needs from its request text before its handler runs.
enum class RequestNeeds {
  kNothing,  // the text is not looked at (request.root stays null)
  kParsed,   // parsed when it parses; a text that does not is no failure
  kParam,    // an object with a "PARAM" object; params gets LIMIT, OFFSET and the extra keys
  kKey,      // as kParam, and PARAM[table][key] a scalar (params.value)
};

// One request as a handler gets it.
struct MethodRequest {
  const std::string* text = nullptr;  // the request text as it came
  Json::Value root;                   // the parsed text; null unless it parsed
  bool parsed = false;                // whether it parsed ("null" parses to a null root)
  RequestParams params;               // filled for kParam and kKey
};

template <typename Module>
struct MethodDescriptor {
  // The reply is never null (the table hands a scratch text instead).
  using Handler = int (*)(Module& module, const MethodRequest& request, std::string* reply);

  // A method listed by its request code (the module's own bits are left
  // out) or by its method number alone.
  MethodDescriptor(request::Code code, Handler methodHandler)
      : method(request::MethodOf(code)), handler(methodHandler) {}
  MethodDescriptor(int methodNumber, Handler methodHandler) : method(methodNumber), handler(methodHandler) {}

  // What the method needs (see RequestNeeds).
  MethodDescriptor& Parsed() {
    needs = RequestNeeds::kParsed;
    return *this;
  }
  MethodDescriptor& Param() {
    needs = RequestNeeds::kParam;
    return *this;
  }
  MethodDescriptor& Key(const char* requestTable, const char* requestKey) {
    needs = RequestNeeds::kKey;
    table = requestTable;
    key = requestKey;
    return *this;
  }
  // Scalar members of PARAM itself, read into params.values in this order
  // ("" when missing); kParam unless a key is asked for too.
  MethodDescriptor& Extra(std::vector<std::string> keys) {
    if (needs != RequestNeeds::kKey) needs = RequestNeeds::kParam;
    extraKeys = std::move(keys);
    return *this;
  }
  MethodDescriptor& Accept(bool (*check)(const MethodRequest&)) {
    accept = check;
    return *this;
  }
  // The failure route: how it is logged, and the result (the reply stays
  // as it came). functionName is the [FUN] of a kBridge line.
  MethodDescriptor& OnFail(FailRoute failRoute, const char* text, int result = kResultFailed,
                           const char* functionName = "") {
    route = failRoute;
    failText = text;
    failResult = result;
    function = functionName;
    return *this;
  }

  int method = -1;
  Handler handler = nullptr;
  RequestNeeds needs = RequestNeeds::kNothing;
  const char* table = "";
  const char* key = "";
  std::vector<std::string> extraKeys;
  // A further check of the request (decimal ids, say); false takes the
  // failure route. Null: none.
  bool (*accept)(const MethodRequest& request) = nullptr;
  FailRoute route = FailRoute::kNone;
  const char* function = "";  // [FUN] of a kBridge line
  const char* failText = "";
  int failResult = kResultFailed;
};

template <typename Module>
class MethodTable {
 public:
  using Descriptor = MethodDescriptor<Module>;

  // unknownResult (and unknownReply, when not null) answer a method that
  // is not listed.
  MethodTable(std::vector<Descriptor> methods, int unknownResult, std::string (*unknownReply)() = nullptr)
      : m_unknownResult(unknownResult), m_unknownReply(unknownReply) {
    for (Descriptor& method : methods) {
      if (method.handler != nullptr) m_methods.emplace(method.method, std::move(method));
    }
  }

  // The descriptor of method; null when it is not listed.
  const Descriptor* Find(int method) const {
    auto found = m_methods.find(method);
    return found != m_methods.end() ? &found->second : nullptr;
  }

  // Runs method for a request text. An exception from a handler gives
  // kResultFailed.
  int Invoke(Module& module, int method, const std::string& json, std::string* reply) const {
    MethodRequest request;
    request.text = &json;
    return Run(module, method, &request, false, reply);
  }

  // The same for a module that has parsed the text itself (request.text,
  // request.root and request.parsed set): the text is not parsed again.
  int InvokeParsed(Module& module, int method, MethodRequest request, std::string* reply) const {
    return Run(module, method, &request, true, reply);
  }

 private:
  int Run(Module& module, int method, MethodRequest* request, bool parsed, std::string* reply) const {
    try {
      const Descriptor* entry = Find(method);
      if (entry == nullptr) {
        if (m_unknownReply != nullptr && reply != nullptr) *reply = m_unknownReply();
        return m_unknownResult;
      }
      if (!ReadRequest(*entry, parsed, request)) {
        if (entry->route == FailRoute::kBridge) {
          QEL_LOG(entry->function, entry->failText);
        } else if (entry->route == FailRoute::kDirect) {
          QEL_LOG_DIRECT(entry->failText);
        }
        return entry->failResult;
      }
      std::string scratch;
      return entry->handler(module, *request, reply != nullptr ? reply : &scratch);
    } catch (const std::exception&) {
      return kResultFailed;
    }
  }

  static bool ReadRequest(const Descriptor& entry, bool parsed, MethodRequest* request) {
    if (entry.needs == RequestNeeds::kNothing) return true;
    if (!parsed) {
      request->parsed =
          ParseRequestText(request->text != nullptr ? *request->text : std::string(), &request->root);
    }
    if (entry.needs != RequestNeeds::kParsed) {
      const bool keyed = entry.needs == RequestNeeds::kKey;
      if (ReadRequestParams(request->root, keyed ? entry.table : "", keyed ? entry.key : "", &request->params,
                            entry.extraKeys.empty() ? nullptr : &entry.extraKeys) != 0) {
        return false;
      }
    }
    return entry.accept == nullptr || entry.accept(*request);
  }

  std::map<int, Descriptor> m_methods;
  int m_unknownResult;
  std::string (*m_unknownReply)();
};

}  // namespace dataspace
}  // namespace qel
