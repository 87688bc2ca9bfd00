// Module 0 of the request dispatcher: banners, banner categories, cases,
// certificate categories, certificate groups and their pictures.
#pragma once

#include <string>
#include <vector>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

struct RequestParams;

class qel_Invoke_CategoryModules : public Data_interface_invoke {
 public:
  // Methods 0, 1, 9, 10 and 16 to 20; every other method returns 1 with the
  // reply untouched.
  int Invoke(int method, std::string json, std::string* reply) override;

  // GetCertPicsByGroup below.
  std::string GetCertPicsByGroup(std::vector<std::string> groupIds, int limit, int offset);

  // The other handlers; each returns the reply text, "" when there is no
  // datasource, the main query fails, or a count or look-up of a row cannot
  // be read (a list without that row would read as an answer).
  std::string GetBanners();
  std::string GetBannerCategories(RequestParams* params);
  std::string GetCases(RequestParams* params);
  bool IsCaseNew(std::string caseId);

  std::string GetCertCategories(RequestParams* params);
  std::string GetNewCertCount(std::string categoryId);
  // The groups of the category in params->value, or of every category when
  // the value is empty.
  std::string GetCompanyCertgroups(RequestParams* params);
  bool IsCertGroupNew(std::string groupId);
  // The number of groups that belong to at least one category; "" when it
  // cannot be read.
  std::string GetCertGroupCount();
};

// The pictures of certificate groups, each with STATUS "1": the styled
// array ("[]" when none qualifies, also for no ids or only empty ids), or
// "" when there is no datasource or the query fails. Every id is quoted,
// so any text is safe. The product detail's certificate tab calls this with
// the groups of a product; a limit or offset of -1 means none.
std::string GetCertPicsByGroup(const std::vector<std::string>& groupIds, int limit, int offset);

}  // namespace dataspace
}  // namespace qel
