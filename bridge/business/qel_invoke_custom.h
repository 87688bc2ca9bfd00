// Module 5 of the request dispatcher: account, favourites, search,
// consultations, inquiries, feedback, usage records, areas and the update
// forwarders.
//
// Invoke routes every method of the module's table (qel_invoke_custom.cpp)
// and answers 1 with the reply untouched for any other number. The handlers
// live in business/custom/, one file per subject; every one that talks to
// the service goes through CallService (internet/qelservicecall.h).
#pragma once

#include <string>
#include <vector>

#include "datainterfaceinvoke.h"
#include "internet/qelinternetutil.h"

namespace qel {
namespace dataspace {

struct RequestParams;
class qelInternetRequestBean;

class qel_Invoke_Custom : public Data_interface_invoke {
 public:
  int Invoke(int method, std::string json, std::string* reply) override;

  // ---- favourites and search (custom/favorites.cpp) ----
  // The favourite products as a product list ("[]" when there is none).
  int GetFavorites(const RequestParams& params, std::string* reply);
  // Stores the favourite and queues its request for the service (type 8);
  // 0 also when it was one already (nothing queued then).
  int AddFavorite(const std::string& productId, std::string* reply);
  int RemoveFavorite(const std::string& productId);
  // 0 when the product is a favourite; 1 when not or the count fails.
  int IsFavorite(const std::string& productId);
  // Products whose name or brand name holds one of the blank-separated
  // words; "[]" when the text holds no word.
  int SearchProducts(const RequestParams& params, std::string* reply);
  // column LIKE '%word%' terms joined by " OR ", each word trimmed, empty
  // words skipped, quoted as SQL text with its LIKE wildcards taken
  // literally (an ESCAPE '!' clause on the terms that hold one; "" without
  // a word).
  static std::string BuildLikeList(const std::vector<std::string>& words, const std::string& column);

  // ---- login and user information (custom/login.cpp) ----
  int UserLogin(const std::string& account, const std::string& password, const std::string& remember,
                std::string* reply);
  int GetUserInfo(const std::string& uid, std::string* reply);

  // ---- usage records and feedback (custom/behavior.cpp) ----
  // Queues a print (type 10) or visit (type 11) record whose request text
  // is the record's param object. 0 queued, 1 otherwise.
  int AddInsideBehaviorTrack(RequestType type, const std::string& json, std::string* reply);
  // Adds the request of type around the parsed request text to bean and
  // checks that an envelope can be built. 0 or 1.
  int GentBehaviorRPCJson(qelInternetRequestBean* bean, RequestType type, const std::string& json,
                          std::string* envelope);
  // Queues one request object text in BEHAVIOR. 0 inserted, 1 otherwise.
  static int AddBehavior(const std::string& track);
  // Sends the queued requests in one envelope, in ID order. 0 when the queue
  // is empty or every request was accepted; otherwise 1 or a status code.
  int SendInsideBehaviorTrack(const std::string& json, std::string* reply);
  // The service call of one batch; rowIds[i] is the row of request i.
  // Once the service answered the batch, the rows of its items and the
  // brokenIds (rows that hold no request) are deleted.
  int SendBehaviorRequest(qelInternetRequestBean* bean, const std::vector<std::string>& rowIds,
                          const std::vector<std::string>& brokenIds, std::string* reply);
  // Sends feedback; queues it when the service refuses the whole call.
  int SendFeedbackService(const std::string& json, std::string* reply);
};

}  // namespace dataspace
}  // namespace qel
