// Module 1 of the request dispatcher: the about information of the
// catalogue client and the information of the supplier company.
#pragma once

#include <string>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_AboutInfos : public Data_interface_invoke {
 public:
  // Method 0: the about row with "VERSION"; method 1: the company row with
  // "SHAREURL". The request text is not read. 0 with the styled array, 1
  // when there is no datasource or the query fails (so that no cache keeps
  // an empty answer), -1 for any other method.
  int Invoke(int method, std::string json, std::string* reply) override;

  int GetAboutInfo(std::string* reply);
  int GetCompanyInfo(std::string* reply);
};

// The scheme and host of the share site that "SHAREURL" points into: the
// environment variable QEL_SHARE_URL, or a built-in address when it is
// unset or empty; trailing "/" removed.
std::string ShareSiteAddress();

// The "VERSION" member for a local version text (the first line of
// "ver.qel"): the "V" form of a decimal or "V" version, "" for a text that
// is neither. False when the text is the one blank that marks an
// installation without an about row.
bool AboutVersionText(std::string localVersion, std::string* version);

}  // namespace dataspace
}  // namespace qel
