// The module table, filled when the library loads, in table order 0 to 6.
#include "datainterfaceinvoke.h"

#include "business/qel_invoke_categorymodules.h"
#include "business/qel_invoke_aboutinfos.h"
#include "business/qel_invoke_certificate.h"
#include "business/qel_invoke_product.h"
#include "business/qel_invoke_productdetail.h"
#include "business/qel_invoke_custom.h"
#include "business/qel_invoke_productcategory.h"

namespace qel {
namespace dataspace {
namespace {

Data_interface_invoke* kInvokeModuleTable[] = {
    new qel_Invoke_CategoryModules(), new qel_Invoke_AboutInfos(),    new qel_Invoke_Certificate(),
    new qel_Invoke_Product(),         new qel_Invoke_ProductDetail(), new qel_Invoke_Custom(),
    new qel_Invoke_ProductCategory(),
};
constexpr unsigned kInvokeModuleCount = sizeof(kInvokeModuleTable) / sizeof(kInvokeModuleTable[0]);

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
