// What a user-interface host does with libQelClientCore.so: start the
// client core on an installation, list the category tree and a category's
// products as typed records, open the first product's detail tabs, search,
// add a favourite, and shut down. Wide text is printed as UTF-8.
//
//   clientcore_browser <installation folder> [category id]
//
// Without a category id the products of the first top-level category are
// listed. The installation folder becomes the working folder (log files go
// to its "qellog") and, unless QEL_INSTALL_DIR is set, the module folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "common/qelcommon2.h"
#include "qelclientcore.h"

namespace {

using namespace qelclientcore;

// Wide text (UTF-32 here) as UTF-8 for the terminal.
std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t w : text) {
    auto c = static_cast<char32_t>(w);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void PrintCategories(CQelClientCore& core, const std::vector<ProductCategory>& categories, int depth) {
  for (const ProductCategory& category : categories) {
    std::printf("%*s%llu  %s  (%d products, %d new)\n", depth * 2, "",
                static_cast<unsigned long long>(category.categoryId), Utf8(category.name).c_str(),
                category.productCount, category.newProductCount);
    if (category.hasSubCategory == 0) continue;
    std::vector<ProductCategory> children;
    core.GetSubProuductCategorys(category.categoryId, children);
    PrintCategories(core, children, depth + 1);
  }
}

void PrintProduct(const Product& product) {
  std::printf("  %llu  %s%s%s  %s%s%s%s\n", static_cast<unsigned long long>(product.productId),
              Utf8(product.name).c_str(), product.brandName.empty() ? "" : "  ",
              Utf8(product.brandName).c_str(), Utf8(product.price).c_str(), Utf8(product.priceUnit).c_str(),
              product.status == 2 ? "  [new]" : "", product.favorite == 1 ? "  [favourite]" : "");
}

void PrintDetail(CQelClientCore& core, uint64_t productId) {
  std::map<PRODUCTDETAILHEAD, ProductDetailHead> tabs;
  if (!core.GetProductDetailHead(productId, tabs)) {
    std::printf("  (no detail)\n");
    return;
  }
  std::printf("  tabs:");
  for (const auto& [type, head] : tabs) std::printf(" %d:%d", static_cast<int>(type), head.count);
  std::printf("\n");
  std::vector<ProductModel> models;
  core.GetProductModels(productId, models);
  for (const ProductModel& model : models) {
    std::printf("  model %llu  %s\n", static_cast<unsigned long long>(model.productId),
                Utf8(model.name).c_str());
  }
  std::vector<ProductParameter> parameters;
  core.GetProductParametersAll(productId, parameters);
  std::string columns;
  for (const ProductParameter& parameter : parameters) columns += " | " + Utf8(parameter.paramName);
  std::printf("  parameters%s\n", columns.c_str());
  if (const ProductParameterValueMap* values = core.GetProductParameterValues(productId)) {
    for (const auto& [modelId, row] : *values) {
      std::string line;
      for (const ProductParameter& parameter : parameters) {
        auto value = row.find(static_cast<uint64_t>(static_cast<int64_t>(parameter.paramId)));
        line += " | " + (value != row.end() ? Utf8(value->second.value) : std::string());
      }
      std::printf("  %llu%s\n", static_cast<unsigned long long>(modelId), line.c_str());
    }
  }
  std::vector<ProductPic> pictures;
  core.GetProuductPics(productId, -1, pictures);
  for (const ProductPic& picture : pictures) {
    std::printf("  picture %s  %s\n", Utf8(picture.name).c_str(), Utf8(picture.path).c_str());
  }
  std::vector<ProductUnstructuredIntr> introduction;
  core.GetProductUnstructuredIntr(productId, introduction);
  for (const ProductUnstructuredIntr& item : introduction) {
    std::printf("  introduction %s  %s\n", Utf8(item.name).c_str(), Utf8(item.path).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <installation folder> [category id]\n", argv[0]);
    return 2;
  }
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::absolute(argv[1], ec);
  if (ec || !std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "%s is not a folder\n", argv[1]);
    return 2;
  }
  std::filesystem::current_path(folder, ec);
  setenv("QEL_INSTALL_DIR", folder.string().c_str(), 0);

  CQelClientCore& core = *CQelClientCore::GetInstance();
  if (!core.Init()) {
    std::fprintf(stderr, "the client core did not start on %s\n", argv[1]);
    CQelClientCore::Uninitialize();
    return 1;
  }
  if (const CompanyInfo* company = core.GetCompanyInfo()) std::printf("%s\n\n", Utf8(company->name).c_str());

  std::vector<ProductCategory> top;
  core.GetTopProuductCategorys(top);
  if (top.empty()) {
    std::fprintf(stderr, "no categories in %s\n", argv[1]);
    CQelClientCore::Uninitialize();
    return 1;
  }
  std::printf("Categories\n");
  PrintCategories(core, top, 1);

  uint64_t categoryId = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : top[0].categoryId;
  ProductCategory category;
  core.GetProductCategoryByID(categoryId, category);
  std::printf("\nProducts of %llu %s\n", static_cast<unsigned long long>(categoryId),
              Utf8(category.name).c_str());
  std::vector<Product> products;
  core.GetProductsByCategory(categoryId, products, -1, 50, 0);
  if (products.empty()) std::printf("  (none)\n");
  for (const Product& product : products) PrintProduct(product);
  if (products.empty()) {
    CQelClientCore::Uninitialize();
    return 0;
  }

  const Product first = products.front();
  std::printf("\nDetail of %s\n", Utf8(first.name).c_str());
  PrintDetail(core, first.productId);

  // Search and favourites are answered from the local database, so they
  // work without the service. The client core's narrow texts are GBK: the first two characters of the
  // product's name, converted by the common library.
  std::wstring word = first.name.substr(0, 2);
  char gbk[64];
  wcharTochar(word.c_str(), gbk, sizeof gbk);
  std::vector<Product> found;
  core.SearchProduct(gbk, found);
  std::printf("\nSearch \"%s\": %zu products\n", Utf8(word).c_str(), found.size());
  for (const Product& product : found) PrintProduct(product);
  bool added = core.AddProductToFavorite(first.productId);
  std::printf("\nAdd %llu to the favourites: %s\n", static_cast<unsigned long long>(first.productId),
              added ? "added" : "failed");
  if (const Product* cached = core.GetProductByID(first.productId)) {
    std::printf("  favourite flag now %d\n", cached->favorite);
  }
  // Stops the client core's threads before the process ends.
  CQelClientCore::Uninitialize();
  return 0;
}
