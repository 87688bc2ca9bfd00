// Module 4 of the request dispatcher: the tabs of one product's detail page
// (head counts, introductions, models, parameters, pictures, videos,
// certificates, test reports and cases).
//
// Every handler returns 0 on success and 1 on failure (bad input, no
// datasource, a failed query); on failure the reply is left as it came in,
// except where a handler says otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "database/qelread.h"
#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

struct RequestParams;

class qel_Invoke_ProductDetail : public Data_interface_invoke {
 public:
  // Methods 1, 2, 9, 10, 16, 17, 18, 20, 22, 33 to 37 and 48. Product, case
  // and group ids must be decimal texts; any other request takes the
  // method's parse-failure path. Every other method gets the module error
  // object for -1 and result 1.
  int Invoke(int method, std::string json, std::string* reply) override;

  // The styled text of {"Error": code, "ErrorInfo": text}; code 0 is
  // written as the empty text.
  static std::string MakeErrorJson(int code, std::string text);

  // GetCaseResources below.
  int GetCaseResources(const RequestParams& params, std::string* reply);

  // Head of the detail page: nine {"TYPE","COUNT"} objects, TYPE "0" to "8".
  // 1 (reply untouched) when a count cannot be read.
  int GetDtlHead(const std::string& productId, std::string* reply);
  int GetIntroductions(const RequestParams& params, std::string* reply);
  // The count replies; 1 (reply untouched) when the count cannot be read.
  int CountIntroductions(const RequestParams& params, std::string* reply);
  // Models of an 11-character product id.
  int GetModels(const std::string& productId, std::string* reply);
  int GetModelCount(const RequestParams& params, std::string* reply);
  // Parameter rows, each with "UNIT_NAME".
  int GetParameters(const RequestParams& params, std::string* reply);
  // One row per model and parameter; "VALUE" carries "(unit)" when the
  // unit has a name in the current language.
  int GetParameterValues(const RequestParams& params, std::string* reply);
  // Leaves the reply untouched (and returns 0) when there is no picture.
  int GetModelPictures(const RequestParams& params, std::string* reply);

  int GetPicGroups(const RequestParams& params, std::string* reply);
  // params.values[0] is the group id; "" and "-1" mean every group.
  int GetPictures(const RequestParams& params, std::string* reply);
  int GetVideos(const RequestParams& params, std::string* reply);
  int GetProdCerts(const RequestParams& params, std::string* reply);
  // Reports with at least one resource, each with its "PICTURE" array.
  int GetReports(const RequestParams& params, std::string* reply);
  // Cases with "RES_TYPES", "RES_TYPE" and "STATUS" ("2" when seen after
  // the case last changed, "1" otherwise).
  int GetProductCases(const RequestParams& params, std::string* reply);
  // True when the visitor marked the case as seen after it last changed.
  bool IsCaseSeen(const std::string& caseId);

  // The tab counts of the head: 0 for an id that is not decimal, no count
  // (not Found) when the count cannot be read.
  StorageRead<int64_t> GetIntroduceCount(const std::string& productId);
  StorageRead<int64_t> CountModels(const std::string& productId);
  StorageRead<int64_t> CountModelPictures(const std::string& productId);
  StorageRead<int64_t> CountProductResources(const std::string& productId, const std::string& type);
  StorageRead<int64_t> CountCertGroups(const std::string& productId);
  StorageRead<int64_t> CountProductCases(const std::string& productId);
  StorageRead<int64_t> CountReportResources(const std::string& productId);
};

// Resources of one case: params.value is the case id, params.values[0] the
// resource type ("1" picture, "2" video, "6" text). Module 0 answers its own
// case-resource method with this too. 0 with the array of resource rows, or
// with the reply untouched when the case has no resource of the type; 1 for
// a missing type, a bad case id, a type without resource tables or a failed
// query.
int GetCaseResources(const RequestParams& params, std::string* reply);

}  // namespace dataspace
}  // namespace qel
