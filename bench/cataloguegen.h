// A synthetic catalogue for the benchmarks: an installation folder built
// from the schema files, filled with a category tree, products with their
// models, brands and seen marks in two languages.
//
// Other benchmarks add the rows of their own tables on top of it: they
// build the same catalogue and then write into the two database files
// (ExecSql), using the ids of ProductId / ModelId / the layout.
#pragma once

#include <string>
#include <vector>

namespace qelbench {

struct CataloguePlan {
  int products = 100000;     // 11-character product ids
  int modelsPerProduct = 1;  // 15-character model ids per product
  int categories = 10000;    // over five levels
  int brands = 50;
  int secondCategoryEvery = 10;  // every n-th product also sits in a level-3 category
  int seenEvery = 2;             // every n-th product carries a later seen mark
  int favoriteEvery = 1000;
  int showWayEvery = 3;
};

// The ids the generator wrote.
struct CatalogueLayout {
  std::vector<std::vector<std::string>> levels;  // category ids per level (0 = top)
  int products = 0;
  int modelsPerProduct = 0;
  int brands = 0;
};

// Product i (0-based) and model m (0-based) of product i.
std::string ProductId(int i);
std::string ModelId(int i, int m);
// Brand i as its id text.
std::string BrandId(int i);

// Makes root/data/qel_data.db and root/data/qel_exdata.db from every
// data/schema/<db>/*.sql file in name order (schemaDir is data/schema), and
// root/ver.qel. An existing folder is emptied first. False with *error set
// when a step fails.
bool BuildInstallation(const std::string& schemaDir, const std::string& root, std::string* error);

// Writes the catalogue into an installation built by BuildInstallation.
bool FillCatalogue(const std::string& root, const CataloguePlan& plan, CatalogueLayout* layout,
                   std::string* error);

// Runs SQL text (UTF-8) on a database file.
bool ExecSql(const std::string& dbPath, const std::string& sql, std::string* error);

}  // namespace qelbench
