// Module 6 of the request dispatcher: the product-category tree with its
// product, new-product and sub-category counts, product lists by category,
// brand and id, the product count and the brands of a category.
#pragma once

#include <string>
#include <vector>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_ProductCategory : public Data_interface_invoke {
 public:
  // Methods 1 to 10 (0x601..0x60a); any other method returns 1 with the
  // reply untouched.
  int Invoke(int method, std::string json, std::string* reply) override;

  // PARAM.PRODUCT_CATEGORY.PRO_CATEGORY_ID of a request ("" when missing),
  // with LIMIT and OFFSET (0 reads as -1; left as they are when absent or
  // when the text does not parse).
  std::string ParseCategoryRequest(const std::string& json, int* limit, int* offset);

  // The reply text of the categories meeting filter (a condition on t1/t2 of
  // PRODUCT_CATEGORY / PRODUCT_CATEGORY_LANG), ordered by SORT, each with
  // PRODUCTCOUNT, NEWPRODUCTCOUNT and HASSUBCATEGORY; categories without
  // any product assignment below them are left out. "" without a
  // datasource or when the query fails.
  std::string GetCategories(const std::string& filter, int limit, int offset);

  // The number of new product assignments below a category id, as text;
  // "0" when the query fails.
  std::string GetNewProductCountByCategoryID(const std::string& categoryId);

  // The "new" test of one product.
  bool IsProductNew(const std::string& productId);

  // The reply text of a product list: 11-character products with their
  // texts in the current language, each with STATUS, FAVORITE, SHOWWAY and
  // BRANDNAME, in descending TEMPLATESORT, ties by ascending PRODUCT_ID.
  // categoryId "" means every category; otherwise the products assigned to
  // it or below it (the id is matched as a prefix, never read as SQL).
  // extraFilter (a condition on t1 = PRODUCT, t2 = PRODUCT_LANG) and brandId
  // narrow the list when not empty; extraFilter is wrapped in parentheses,
  // and a brandId that is not one decimal id selects nothing (""). "" without
  // a datasource or when the query fails; "[]" when no row qualifies.
  std::string GetProductBasicInfo(const std::string& categoryId, int limit, int offset,
                                  const std::string& extraFilter, const std::string& brandId);

  // The BRAND_ID of every brand that has a text in the current language and
  // meets extraFilter (on t1 = BRAND, t2 = BRAND_LANG; wrapped in
  // parentheses), in row order. 0, or 1 when the query fails.
  int GetBrandIds(const std::string& extraFilter, std::vector<std::string>* ids);

  // The reply text of the brands (BRAND_ID, BRANDNAME, BRANDDESC) that have
  // products assigned to categoryId or below it ("" for every brand with a
  // product). 0, or 1 when the query fails (reply untouched).
  int GetCategoryBrands(const std::string& categoryId, std::string* reply);
};

}  // namespace dataspace
}  // namespace qel
