// A user-interface host in miniature, built only from the installed client
// core (it links qel::QelClientCore alone): it starts the client core on
// an installation, reads a category's products and one product's detail,
// converts a name both ways and shuts down. The installation folder comes
// from QEL_INSTALL_DIR. Exits non-zero on the first thing that fails.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/qelcommon2.h"
#include "qelclientcore.h"

using namespace qelclientcore;

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "host: %s\n", what);
  CQelClientCore::Uninitialize();
  return 1;
}

int OnProgress(int, const char*) { return 0; }

}  // namespace

int main() {
  CQelClientCore* core = CQelClientCore::GetInstance();
  if (!core->Init()) return Fail("Init failed");
  // The progress callback's type is named from the client core's header.
  UpdateDownCallback progress = &OnProgress;
  core->SetDownloadCallback(reinterpret_cast<void*>(progress));

  std::vector<ProductCategory> top;
  core->GetTopProuductCategorys(top);
  if (top.empty()) return Fail("no top category");
  std::vector<Product> products;
  for (const ProductCategory& category : top) {
    core->GetProductsByCategory(category.categoryId, products, -1, 50, 0);
    if (!products.empty()) break;
  }
  if (products.empty()) return Fail("no category has products");
  const Product& product = products.front();

  std::map<PRODUCTDETAILHEAD, ProductDetailHead> tabs;
  if (!core->GetProductDetailHead(product.productId, tabs) || tabs.empty()) return Fail("no detail tabs");
  std::vector<ProductParameter> parameters;
  core->GetProductParametersAll(product.productId, parameters);
  if (parameters.size() < 2) return Fail("no built-in parameters");

  const std::string gbk = WideToGbk(product.name);
  if (gbk.empty() || GbkToWide(gbk) != product.name) return Fail("the name does not convert both ways");
  wchar_t wide[256];
  char narrow[256];
  charTowchar(gbk.c_str(), wide, 256);
  wcharTochar(wide, narrow, 256);
  if (gbk != narrow) return Fail("the name does not convert both ways through the C helpers");

  std::printf("host: %zu categories, %zu products, %zu tabs, first product %zu bytes of GBK\n", top.size(),
              products.size(), tabs.size(), gbk.size());
  CQelClientCore::Uninitialize();
  return 0;
}
