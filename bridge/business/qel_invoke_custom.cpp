#include "business/qel_invoke_custom.h"

#include "business/custom/interactionrequests.h"
#include "business/custom/lists.h"
#include "business/custom/seen.h"
#include "business/qelbusinesshelper.h"
#include "cqelbridge.h"
#include "logbridge.h"
#include "qel/json.h"

namespace qel {
namespace dataspace {
namespace {

constexpr char kInvokeFun[] = "qel::dataspace::qel_Invoke_Custom::Invoke";

// What a handler gets: the whole request text, and PARAM.<table>.<key> with
// LIMIT and OFFSET when its table entry names them.
struct CustomRequest {
  const std::string& json;
  RequestParams params;
};

using Handler = int (*)(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply);

// How the dispatcher reads the request before the handler runs.
enum class Input {
  kText,         // nothing: the handler reads the text itself
  kParams,       // PARAM.<table>.<key> must be read, else failText and 1
  kParamsOrRun,  // a failure logs failText (when set); the handler runs with limit/offset -1
};

enum class LogRoute { kBridge, kDirect };

struct CustomMethod {
  int method;
  Handler handler;
  Input input = Input::kText;
  const char* table = "";
  const char* key = "";
  LogRoute route = LogRoute::kDirect;
  const char* failText = nullptr;
};

// A method whose handler has not landed yet.
int NotBuiltYet(qel_Invoke_Custom*, const CustomRequest&, std::string*) { return 1; }

// ---- favourites and search ----
int FavoriteList(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->GetFavorites(request.params, reply);
}
int FavoriteAdd(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->AddFavorite(request.params.value, reply);
}
int FavoriteRemove(qel_Invoke_Custom* self, const CustomRequest& request, std::string*) {
  return self->RemoveFavorite(request.params.value);
}
int FavoriteCheck(qel_Invoke_Custom* self, const CustomRequest& request, std::string*) {
  return self->IsFavorite(request.params.value);
}
int Search(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->SearchProducts(request.params, reply);
}

// ---- login and user information ----
int Login(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  // A missing member, or a text that does not parse, reads as "".
  Json::Value root;
  ParseGbkJson(request.json, &root);
  const Json::Value& info = ObjectMember(ObjectMember(root, "PARAM"), "LOGININFO");
  return self->UserLogin(TextMember(info, "USERID"), TextMember(info, "PASSWORD"),
                         TextMember(info, "REMEMBER"), reply);
}
int UserInfo(qel_Invoke_Custom* self, const CustomRequest&, std::string* reply) {
  std::string uid = cqelbridge::GetInstance()->GetCurrentUID();
  if (uid.empty()) {
    QEL_LOG_DIRECT("There is not any user");
    return 1;
  }
  return self->GetUserInfo(uid, reply);
}

// ---- areas ----
int SubAreas(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return GetSubAreas(request.params.value, reply);
}
int ParentArea(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return GetParentArea(request.params.value, reply);
}
int Area(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return GetArea(request.params.value, reply);
}

// ---- usage records and feedback ----
int Feedback(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->SendFeedbackService(request.json, reply);
}
int SendQueue(qel_Invoke_Custom* self, const CustomRequest&, std::string* reply) {
  return self->SendInsideBehaviorTrack("", reply);
}
int QueuePrint(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->AddInsideBehaviorTrack(10, request.json, reply);
}
int QueueVisit(qel_Invoke_Custom* self, const CustomRequest& request, std::string* reply) {
  return self->AddInsideBehaviorTrack(11, request.json, reply);
}

// ---- marks, consultations, inquiries, sign-up and account checks ----
int MarkSeen(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return custom::SetStatusNormal(request.json, reply);
}
int ConsultList(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return custom::GetConsultList(cqelbridge::GetInstance()->GetCurrentUID(), request.params.value, reply);
}
int InquiryList(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return custom::GetInquiryList(cqelbridge::GetInstance()->GetCurrentUID(), request.params.value, reply);
}
// The handlers that read the whole request text themselves.
template <int (*Run)(const std::string&, std::string*)>
int WholeText(qel_Invoke_Custom*, const CustomRequest& request, std::string* reply) {
  return Run(request.json, reply);
}

constexpr char kNoProductId[] = "Can not get PRODUCT_ID from json in";
constexpr char kNoParams[] = "Can not get params from json in";

// Every method of the module. A method whose handler lands later answers 1
// through NotBuiltYet; its line keeps the input rule it will need.
const CustomMethod kCustomMethods[] = {
    {0x01, &FavoriteList, Input::kParamsOrRun, "", "", LogRoute::kDirect, "Get params error"},
    {0x02, &FavoriteAdd, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kDirect, kNoProductId},
    {0x03, &FavoriteRemove, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kDirect, kNoProductId},
    {0x04, &FavoriteCheck, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kDirect, kNoProductId},
    {0x11, &Search, Input::kParams, "FILTER", "FILTER", LogRoute::kDirect, "Can not get filter from json in"},
    // Mark a product as seen: the handler gets the whole text once the id is there.
    {0x22, &MarkSeen, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kDirect,
     "Can not get PRODUCTID fros from in "},
    {0x23, &MarkSeen},  // mark the named item as seen
    {0x31, &Login},
    {0x32, &WholeText<custom::SignUp>},
    {0x34, &UserInfo},
    {0x35, &WholeText<custom::SendSecurityCode>},
    {0x36, &WholeText<custom::CheckSecurityCode>},
    {0x37, &WholeText<custom::ConsultCount>},
    {0x38, &WholeText<custom::InquiryCount>},
    {0x39, &WholeText<custom::SubmitConsultation>},
    {0x3a, &WholeText<custom::SubmitInquiry>},
    {0x3b, &ConsultList, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kBridge,
     kNoParams},  // consultations
    {0x3c, &InquiryList, Input::kParams, "PRODUCT", "PRODUCT_ID", LogRoute::kDirect, kNoParams},  // inquiries
    {0x3d, &WholeText<custom::DeleteConsultation>},
    {0x3e, &WholeText<custom::DeleteInquiryRequest>},
    {0x41, &SubAreas, Input::kParamsOrRun, "SYS_AREA", "AREAID"},
    {0x42, &ParentArea, Input::kParams, "SYS_AREA", "AREAID", LogRoute::kDirect, kNoParams},
    {0x43, &Area, Input::kParams, "SYS_AREA", "AREAID", LogRoute::kDirect, kNoParams},
    {0x50, &Feedback},
    {0x51, &SendQueue},
    {0x52, &QueuePrint},
    {0x53, &QueueVisit},
    {0x54, &WholeText<custom::UserExists>},
    {0x70, &NotBuiltYet},  // run the data update
    {0x71, &NotBuiltYet},  // check for a data update
    {0x72, &NotBuiltYet},  // check for an application update
    {0x73, &NotBuiltYet},  // application update file list
    {0x74, &WholeText<custom::ChangePassword>},
};

const CustomMethod* FindMethod(int method) {
  for (const CustomMethod& entry : kCustomMethods) {
    if (entry.method == method) return &entry;
  }
  return nullptr;
}

void LogFailure(const CustomMethod& entry) {
  if (entry.failText == nullptr) return;
  if (entry.route == LogRoute::kDirect) {
    QEL_LOG_DIRECT(entry.failText);
  } else {
    QEL_LOG(kInvokeFun, entry.failText);
  }
}

}  // namespace

int qel_Invoke_Custom::Invoke(int method, std::string json, std::string* reply) {
  const CustomMethod* entry = FindMethod(method);
  if (entry == nullptr) return 1;
  std::string scratch;
  std::string& out = reply != nullptr ? *reply : scratch;

  CustomRequest request{json, RequestParams()};
  if (entry->input != Input::kText) {
    if (ParseRequestParams(json, entry->table, entry->key, &request.params, nullptr) != 0) {
      LogFailure(*entry);
      if (entry->input == Input::kParams) return 1;
      request.params.value.clear();
    }
  }
  return entry->handler(this, request, &out);
}

}  // namespace dataspace
}  // namespace qel
