// What the bridge is made of, wired together when the library loads: the
// module table in table order 0 to 6, and the start-up hooks through which
// InitQelbridge hands over to the data update. The bridge's core includes
// none of them.
#include "datainterfaceinvoke.h"

#include "business/qel_invoke_categorymodules.h"
#include "business/qel_invoke_aboutinfos.h"
#include "business/qel_invoke_certificate.h"
#include "business/qel_invoke_product.h"
#include "business/qel_invoke_productdetail.h"
#include "business/qel_invoke_custom.h"
#include "business/qel_invoke_productcategory.h"
#include "cqelbridge.h"
#include "update/qelupdatehooks.h"

namespace qel {
namespace dataspace {
namespace {

Data_interface_invoke* kInvokeModuleTable[] = {
    new qel_Invoke_CategoryModules(), new qel_Invoke_AboutInfos(),    new qel_Invoke_Certificate(),
    new qel_Invoke_Product(),         new qel_Invoke_ProductDetail(), new qel_Invoke_Custom(),
    new qel_Invoke_ProductCategory(),
};
constexpr unsigned kInvokeModuleCount = sizeof(kInvokeModuleTable) / sizeof(kInvokeModuleTable[0]);

[[maybe_unused]] const bool kStartupHooksSet = [] {
  StartupHooks hooks;
  hooks.applyFinishedDataUpdate = ApplyFinishedDataUpdate;
  hooks.queueUpdateCensus = QueueUpdateCensus;
  SetStartupHooks(hooks);
  return true;
}();

}  // namespace

Data_interface_invoke* GetInvokeModule(unsigned index) {
  return index < kInvokeModuleCount ? kInvokeModuleTable[index] : nullptr;
}

Data_interface_invoke* SwapInvokeModule(unsigned index, Data_interface_invoke* module) {
  if (index >= kInvokeModuleCount) return nullptr;
  Data_interface_invoke* old = kInvokeModuleTable[index];
  kInvokeModuleTable[index] = module;
  return old;
}

}  // namespace dataspace
}  // namespace qel
