// The custom module's four update methods (0x570 to 0x573): each hands the
// request text, unread, and the reply to the update operation and returns
// its result unchanged.
#pragma once

#include <string>

#include "business/qel_invoke_custom.h"
#include "business/qelmethodtable.h"

namespace qel {
namespace dataspace {

int RunDataUpdate(qel_Invoke_Custom& module, const MethodRequest& request, std::string* reply);
int IsNeedDataUpdate(qel_Invoke_Custom& module, const MethodRequest& request, std::string* reply);
int IsNeedUpdateSoftWare(qel_Invoke_Custom& module, const MethodRequest& request, std::string* reply);
int GetAppUpdateFiles(qel_Invoke_Custom& module, const MethodRequest& request, std::string* reply);

}  // namespace dataspace
}  // namespace qel
