// Module 3 of the request dispatcher: the older product-levels module. Its
// PRODUCT_CATEGORY tree is keyed by ID (6 characters at level 1, 3 more per
// level, levels 1 to 4) and its language twins by ID and TYPE.
#pragma once

#include <string>

#include <json/json.h>

#include "datainterfaceinvoke.h"

namespace qel {
namespace dataspace {

class qel_Invoke_Product : public Data_interface_invoke {
 public:
  // The request is {"ID":"<category id>","LEVEL":"<level>"}. Methods 0 to 3
  // return 0 whatever the outcome; any other method returns -2.
  int Invoke(int method, std::string json, std::string* reply) override;

  // Category lists: styled arrays of {ID, LEVEL, SORT, NAME, PRODUCT_COUNT,
  // HASSUBCTG}; "" when there is no datasource, the query or a count fails
  // or the level is out of range.
  // The categories on the level above the given one, under the same
  // grandparent (the top level for an empty id or a level below 3).
  std::string GetParentLevelCategories(const std::string& id, int level);
  // The categories on the level below the given one (the top level for an
  // empty id).
  std::string GetSubLevelCategories(const std::string& id, int level);
  // The products assigned below the category, STATUS "2" when seen and "1"
  // otherwise.
  std::string GetProductBasicInfo(const std::string& id);
  // [{"CATEGORY_ID": id, "COUNT": n}] with the assignments below the category.
  std::string GetProductCount(const std::string& id);

  // Add PRODUCT_COUNT, and HASSUBCTG ("1" or "0"), to each row object of
  // rows that has a string ID (and LEVEL). False when a count cannot be
  // read: the rows are then no answer.
  bool AddProductCounts(Json::Value* rows);
  bool AddSubCategoryFlags(Json::Value* rows);
};

}  // namespace dataspace
}  // namespace qel
