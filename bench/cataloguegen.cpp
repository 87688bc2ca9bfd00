#include "cataloguegen.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "benchdb.h"

namespace qelbench {
namespace {

namespace fs = std::filesystem;

// An INSERT with one placeholder per value, run once per Add.
class Inserter {
 public:
  Inserter(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) == SQLITE_OK) stmt_.reset(raw);
    if (!stmt_) error_ = sqlite3_errmsg(db) + std::string(" in: ") + sql;
  }
  // Texts bind as text, "\x01" + digits as an integer, nullptr as NULL.
  bool Add(std::initializer_list<const std::string*> values) {
    if (!stmt_) return false;
    int index = 1;
    for (const std::string* value : values) {
      if (value == nullptr) {
        sqlite3_bind_null(stmt_.get(), index);
      } else if (!value->empty() && (*value)[0] == '\x01') {
        sqlite3_bind_int64(stmt_.get(), index, std::stoll(value->substr(1)));
      } else {
        sqlite3_bind_text(stmt_.get(), index, value->data(), static_cast<int>(value->size()),
                          SQLITE_TRANSIENT);
      }
      ++index;
    }
    bool ok = sqlite3_step(stmt_.get()) == SQLITE_DONE;
    if (!ok) error_ = sqlite3_errmsg(sqlite3_db_handle(stmt_.get()));
    sqlite3_reset(stmt_.get());
    return ok;
  }
  const std::string& error() const { return error_; }

 private:
  Stmt stmt_;
  std::string error_;
};

std::string Int(long long value) { return "\x01" + std::to_string(value); }

std::string Padded(long long value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%0*lld", width, value);
  return buffer;
}

std::vector<std::string> SqlFiles(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".sql") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Level sizes of the tree: 10 top categories, then 4, 5 and 8 children
// each, and the rest spread over the fourth level.
std::vector<std::vector<std::string>> BuildTree(int total) {
  std::vector<std::vector<std::string>> levels(5);
  const int fanout[] = {10, 4, 5, 8};
  int left = total;
  for (int i = 0; i < std::min(fanout[0], left); ++i) levels[0].push_back("1000" + Padded(i + 1, 3));
  left -= static_cast<int>(levels[0].size());
  for (int level = 1; level < 5 && left > 0; ++level) {
    const std::vector<std::string>& parents = levels[level - 1];
    if (parents.empty()) break;
    int perParent = level < 4
                        ? fanout[level]
                        : (left + static_cast<int>(parents.size()) - 1) / static_cast<int>(parents.size());
    perParent = std::min(perParent, 999);
    for (int child = 0; child < perParent && left > 0; ++child) {
      for (const std::string& parent : parents) {
        if (left == 0) break;
        levels[level].push_back(parent + Padded(child + 1, 3));
        --left;
      }
    }
    std::sort(levels[level].begin(), levels[level].end());
  }
  return levels;
}

}  // namespace

std::string ProductId(int i) { return "2" + Padded(i, 10); }
std::string ModelId(int i, int m) { return ProductId(i) + Padded(m + 1, 4); }
std::string BrandId(int i) { return std::to_string(i + 1); }

bool ExecSql(const std::string& dbPath, const std::string& sql, std::string* error) {
  Db db = OpenDb(dbPath, false, error);
  return db && Exec(db.get(), sql, error);
}

bool BuildInstallation(const std::string& schemaDir, const std::string& root, std::string* error) {
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(fs::path(root) / "data", ec);
  if (ec) return Fail(error, "cannot create " + root + ": " + ec.message());
  for (const char* name : {"qel_data", "qel_exdata"}) {
    Db db = OpenDb(root + "/data/" + name + ".db", true, error);
    if (!db) return false;
    for (const std::string& file : SqlFiles(fs::path(schemaDir) / name)) {
      if (!Exec(db.get(), ReadText(file), error)) return Fail(error, file + ": " + *error);
    }
  }
  std::ofstream(root + "/ver.qel") << "1\n";
  return true;
}

bool FillCatalogue(const std::string& root, const CataloguePlan& plan, CatalogueLayout* layout,
                   std::string* error) {
  Db ex = OpenDb(root + "/data/qel_exdata.db", false, error);
  Db local = OpenDb(root + "/data/qel_data.db", false, error);
  if (!ex || !local) return false;
  if (!Exec(ex.get(), "BEGIN", error) || !Exec(local.get(), "BEGIN", error)) return false;

  CatalogueLayout out;
  out.levels = BuildTree(plan.categories);
  out.products = plan.products;
  out.modelsPerProduct = plan.modelsPerProduct;
  out.brands = plan.brands;

  Inserter category(ex.get(), "INSERT INTO PRODUCT_CATEGORY VALUES(?,?,?,?,?)");
  Inserter categoryLang(ex.get(), "INSERT INTO PRODUCT_CATEGORY_LANG VALUES(?,?,?,?,?,?,?)");
  const std::string empty;
  const std::string one = Int(1);
  const std::string zh = Int(3);
  const std::string en = Int(1);
  for (size_t level = 0; level < out.levels.size(); ++level) {
    int sort = 0;
    for (const std::string& id : out.levels[level]) {
      std::string levelText = Int(static_cast<long long>(level) + 1);
      std::string sortText = Int(sort++ % 50);
      std::string nameZh = "分类" + id;
      std::string nameEn = "Category " + id;
      std::string desc = "desc " + id;
      if (!category.Add({&id, &one, &levelText, &one, &sortText}) ||
          !categoryLang.Add({&id, &zh, &nameZh, &desc, &empty, &empty, &empty}) ||
          !categoryLang.Add({&id, &en, &nameEn, &desc, &empty, &empty, &empty})) {
        return Fail(error, category.error() + categoryLang.error());
      }
    }
  }

  Inserter brand(ex.get(), "INSERT INTO BRAND VALUES(?)");
  Inserter brandLang(ex.get(), "INSERT INTO BRAND_LANG VALUES(?,?,?,?)");
  for (int i = 0; i < plan.brands; ++i) {
    std::string id = BrandId(i);
    std::string zhName = "品牌" + id;
    std::string enName = "Brand " + id;
    std::string desc = "about " + id;
    if (!brand.Add({&id}) || !brandLang.Add({&id, &zh, &zhName, &desc}) ||
        !brandLang.Add({&id, &en, &enName, &desc})) {
      return Fail(error, brand.error() + brandLang.error());
    }
  }

  Inserter product(ex.get(), "INSERT INTO PRODUCT VALUES(?,?,?,?,?,?,?,?,?,?,?)");
  Inserter productLang(ex.get(), "INSERT INTO PRODUCT_LANG VALUES(?,?,?,?,?,?,?)");
  Inserter productClass(ex.get(), "INSERT OR IGNORE INTO PRODUCT_CLASS VALUES(?,?)");
  Inserter show(ex.get(), "INSERT INTO PROD_SHOW VALUES(?,?)");
  Inserter extend(local.get(), "INSERT INTO PRODUCT_EXTEND VALUES(?,?)");
  Inserter favorite(local.get(), "INSERT INTO FAVORITES(PRODUCT_ID,ADDTIME) VALUES(?,?)");
  const std::vector<std::string>& leaves = out.levels.back().empty() ? out.levels.front() : out.levels.back();
  const std::vector<std::string>& middle = out.levels[2].empty() ? out.levels.front() : out.levels[2];
  const std::string unitZh = "台";
  const std::string priceUnitZh = "元";
  const std::string unitEn = "pc";
  const std::string priceUnitEn = "yuan";
  for (int i = 0; i < plan.products; ++i) {
    const long long lastTime = 100000 + i % 5000;
    std::string brandId = i % 97 == 0 ? std::string() : BrandId(i % std::max(plan.brands, 1));
    std::string pic = "pic/" + ProductId(i) + ".jpg";
    std::string price = std::to_string(i % 900 + 1) + ".50";
    std::string priceType = Int(i % 2);
    std::string descType = Int(0);
    std::string sort = Int(i);
    std::string templateSort = Int(i % 100);
    std::string status = Int(1);
    std::string time = Int(lastTime);
    std::vector<std::string> ids = {ProductId(i)};
    for (int m = 0; m < plan.modelsPerProduct; ++m) ids.push_back(ModelId(i, m));
    for (const std::string& id : ids) {
      std::string nameZh = "产品" + id;
      std::string nameEn = "Product " + id;
      std::string descZh = "描述" + id;
      std::string introZh = "介绍";
      std::string descEn = "About " + id;
      std::string introEn = "Introduction";
      if (!product.Add({&id, &pic, &price, &priceType, &descType, &brandId, &sort, &sort, &templateSort,
                        &status, &time}) ||
          !productLang.Add({&id, &zh, &nameZh, &unitZh, &priceUnitZh, &descZh, &introZh}) ||
          !productLang.Add({&id, &en, &nameEn, &unitEn, &priceUnitEn, &descEn, &introEn})) {
        return Fail(error, product.error() + productLang.error());
      }
    }
    const std::string& id = ids.front();
    if (!productClass.Add({&id, &leaves[static_cast<size_t>(i) % leaves.size()]}))
      return Fail(error, productClass.error());
    if (plan.secondCategoryEvery > 0 && i % plan.secondCategoryEvery == 0 &&
        !productClass.Add(
            {&id, &middle[static_cast<size_t>(i / plan.secondCategoryEvery) % middle.size()]})) {
      return Fail(error, productClass.error());
    }
    if (plan.showWayEvery > 0 && i % plan.showWayEvery == 0) {
      std::string way = Int(i % 3 + 1);
      if (!show.Add({&id, &way})) return Fail(error, show.error());
    }
    // Half the products seen; of the rest, some marked at their own time
    // (still new).
    if (plan.seenEvery > 0 && i % plan.seenEvery == 0) {
      std::string mark = Int(lastTime + 1);
      if (!extend.Add({&id, &mark})) return Fail(error, extend.error());
    } else if (i % 7 == 1) {
      if (!extend.Add({&id, &time})) return Fail(error, extend.error());
    }
    if (plan.favoriteEvery > 0 && i % plan.favoriteEvery == 0) {
      std::string added = "2024-01-01";
      if (!favorite.Add({&id, &added})) return Fail(error, favorite.error());
    }
  }
  if (!Exec(ex.get(), "COMMIT", error) || !Exec(local.get(), "COMMIT", error)) return false;
  if (layout != nullptr) *layout = std::move(out);
  return true;
}

}  // namespace qelbench
