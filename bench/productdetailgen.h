// The detail tables of the synthetic catalogue: introductions, parameters
// and their values per model, model pictures, pictures in groups, videos,
// certificate groups, test reports and cases. Written on top of a catalogue
// that FillCatalogue made.
#pragma once

#include <string>

#include "cataloguegen.h"

namespace qelbench {

struct DetailPlan {
  // Every n-th product gets a small detail page (a few rows per tab).
  int detailEvery = 10;
  // One product gets a large one; -1 means the middle product.
  int richProduct = -1;
  int richModels = 20;
  int richParameters = 12;
  int richReports = 10;
  int richPicturesPerReport = 4;
};

// The product index that got the large detail page.
int RichProductIndex(const CatalogueLayout& layout, const DetailPlan& plan);

// Writes the detail rows for the products of layout. False with *error set
// when a statement fails.
bool FillProductDetail(const std::string& root, const CatalogueLayout& layout, const DetailPlan& plan,
                       std::string* error);

}  // namespace qelbench
