#include "productdetailgen.h"

#include <sqlite3.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "benchdb.h"

namespace qelbench {
namespace {

// One prepared INSERT into the named columns; every value binds as text
// (INTEGER columns convert numeric texts themselves).
class Rows {
 public:
  Rows(sqlite3* db, const std::string& table, std::initializer_list<const char*> columns) {
    std::string names;
    std::string marks;
    for (const char* column : columns) {
      if (!names.empty()) {
        names += ",";
        marks += ",";
      }
      names += std::string("\"") + column + "\"";
      marks += "?";
    }
    sql_ = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql_.c_str(), -1, &raw, nullptr) == SQLITE_OK) stmt_.reset(raw);
    if (!stmt_) error_ = std::string(sqlite3_errmsg(db)) + " in: " + sql_;
  }

  bool Add(std::initializer_list<std::string> values) {
    if (!stmt_) return false;
    int index = 1;
    for (const std::string& value : values) {
      sqlite3_bind_text(stmt_.get(), index++, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    bool ok = sqlite3_step(stmt_.get()) == SQLITE_DONE;
    if (!ok) error_ = std::string(sqlite3_errmsg(sqlite3_db_handle(stmt_.get()))) + " in: " + sql_;
    sqlite3_reset(stmt_.get());
    return ok;
  }
  const std::string& error() const { return error_; }

 private:
  std::string sql_;
  Stmt stmt_;
  std::string error_;
};

// Detail ids are the product id, a kind digit and a three-digit number, so
// ids of different products and kinds never meet.
std::string DetailId(const std::string& productId, char kind, int number) {
  std::string digits = std::to_string(number);
  return productId + kind + std::string(3 - std::min<size_t>(3, digits.size()), '0') + digits;
}

constexpr int kUnits = 8;
constexpr int kGroups = 5;

struct Writers {
  explicit Writers(sqlite3* ex, sqlite3* local)
      : product(ex, "PRODUCT", {"PRODUCT_ID", "PRICE", "PRICETYPE", "SORT", "SSORT", "STATUS", "LASTTIME"}),
        productLang(ex, "PRODUCT_LANG", {"PRODUCT_ID", "LANGID", "NAME", "DESC", "INTRODUCE"}),
        intro(ex, "PRODUCT_INTRODUCT", {"PRODINTRO_ID", "PRODUCT_ID", "PATH", "SORT"}),
        introLang(ex, "PRODUCT_INTRODUCT_LANG", {"PRODINTRO_ID", "LANGID", "NAME", "DESC", "TIPS"}),
        unit(ex, "PARAM_UNIT", {"PARAMUNIT_ID", "SORT"}),
        unitLang(ex, "PARAM_UNIT_LANG", {"PARAMUNIT_ID", "LANGID", "NAME"}),
        param(ex, "PRODUCT_PARAMETER",
              {"PARAM_ID", "PRODUCT_ID", "PARAMUNIT_ID", "PARATYPE", "VALTYPE", "ISUSE", "PRODNUM"}),
        paramLang(ex, "PRODUCT_PARAMETER_LANG",
                  {"PARAM_ID", "LANGID", "PARAMNAME", "TIPS", "ALIAS1", "ALIAS2", "OPPIC", "SHOWFLAG"}),
        value(ex, "PROD_PRODPARAMS", {"PRODUCT_ID", "PARAM_ID", "PARAMUNIT_ID", "VALTYPE", "VALUE", "SORT"}),
        modelPic(ex, "PROD_MODELPICS", {"PRODUCT_ID", "RES_ID", "RES_TYPE"}),
        resource(ex, "PRODUCT_RESOURCE", {"PRODUCT_ID", "RES_ID", "RES_TYPE"}),
        picture(ex, "PICTURE", {"RES_ID", "PATH", "STATUS", "EXTS", "THUMB1", "THUMB2", "IMG", "GROUP_ID"}),
        pictureLang(ex, "PICTURE_LANG", {"RES_ID", "LANGID", "NAME", "DESC", "TIPS"}),
        group(ex, "PICGROUP", {"GROUP_ID", "SORT"}),
        groupLang(ex, "PICGROUP_LANG", {"GROUP_ID", "LANGID", "NAME"}),
        video(ex, "VIDEO", {"RES_ID", "PATH", "STATUS", "IMG", "THUMB1", "THUMB2"}),
        videoLang(ex, "VIDEO_LANG", {"RES_ID", "LANGID", "NAME", "DESC", "TIPS"}),
        text(ex, "TEXT", {"RES_ID", "STATUS", "PATH"}),
        textLang(ex, "TEXT_LANG", {"RES_ID", "LANGID", "TEXT", "TIPS"}),
        certGroup(ex, "CERTGROUP", {"CERTGROUP_ID", "SORT", "LASTTIME"}),
        certGroupLang(ex, "CERTGROUP_LANG", {"CERTGROUP_ID", "LANGID", "NAME", "ORGANIZATION", "ISSUETIME"}),
        certGroupResource(ex, "CERTGROUP_RESOURCE", {"CERTGROUP_ID", "RES_ID"}),
        prodCertGroup(ex, "PROD_CERTGROUP", {"PRODUCT_ID", "CERTGROUP_ID"}),
        report(ex, "PROD_REPORT", {"REPORT_ID", "PRODUCT_ID", "SORT"}),
        reportLang(ex, "PROD_REPORT_LANG", {"REPORT_ID", "LANGID", "NAME", "DESC"}),
        reportResource(ex, "REPORT_RESOURCE", {"REPORT_ID", "RES_ID", "PRODUCT_ID"}),
        prodCase(ex, "PROD_PRODCASE", {"PRODUCT_ID", "CASE_ID"}),
        productCase(ex, "PRODUCT_CASE", {"CASE_ID", "SORT", "LASTTIME"}),
        caseLang(ex, "PRODUCT_CASE_LANG", {"CASE_ID", "LANGID", "NAME", "DESC"}),
        caseResource(ex, "CASE_RESOURCE", {"CASE_ID", "RES_ID", "RES_TYPE"}),
        caseExtend(local, "CASE_EXTEND", {"CASE_ID", "LASTTIME"}) {}

  std::string Errors() const {
    std::string all;
    for (const Rows* rows : {&product,       &productLang,
                             &intro,         &introLang,
                             &unit,          &unitLang,
                             &param,         &paramLang,
                             &value,         &modelPic,
                             &resource,      &picture,
                             &pictureLang,   &group,
                             &groupLang,     &video,
                             &videoLang,     &text,
                             &textLang,      &certGroup,
                             &certGroupLang, &certGroupResource,
                             &prodCertGroup, &report,
                             &reportLang,    &reportResource,
                             &prodCase,      &productCase,
                             &caseLang,      &caseResource,
                             &caseExtend}) {
      if (!rows->error().empty()) all += rows->error() + "\n";
    }
    return all;
  }

  // A picture with its names in both languages.
  bool Picture(const std::string& id, const std::string& group) {
    return picture.Add({id, "pic/" + id + ".jpg", "1", "jpg", "thumb/" + id + "_1.jpg",
                        "thumb/" + id + "_2.jpg", "img/" + id + ".jpg", group}) &&
           pictureLang.Add({id, "3", "图片" + id, "描述", ""}) &&
           pictureLang.Add({id, "1", "Picture " + id, "", ""});
  }

  Rows product, productLang, intro, introLang, unit, unitLang, param, paramLang, value, modelPic, resource,
      picture, pictureLang, group, groupLang, video, videoLang, text, textLang, certGroup, certGroupLang,
      certGroupResource, prodCertGroup, report, reportLang, reportResource, prodCase, productCase, caseLang,
      caseResource, caseExtend;
};

struct PageSize {
  int models;  // models that already exist come first
  int parameters;
  int reports;
  int picturesPerReport;
};

bool WriteProduct(Writers& w, int index, int existingModels, const PageSize& size) {
  const std::string id = ProductId(index);
  const std::string zh = "3";
  const std::string en = "1";

  std::vector<std::string> models;
  for (int m = 0; m < size.models; ++m) {
    models.push_back(ModelId(index, m));
    if (m < existingModels) continue;
    const std::string& model = models.back();
    if (!w.product.Add({model, std::to_string(m + 10) + ".00", "1", std::to_string(m), "1", "1", "100000"}) ||
        !w.productLang.Add({model, zh, "型号" + model, "", ""}) ||
        !w.productLang.Add({model, en, "Model " + model, "", ""})) {
      return false;
    }
  }

  for (int k = 0; k < 2; ++k) {
    std::string intro = DetailId(id, '0', k);
    if (!w.intro.Add({intro, id, "intro/" + intro + ".html", std::to_string(k)}) ||
        !w.introLang.Add({intro, zh, "介绍" + std::to_string(k), "", ""})) {
      return false;
    }
  }

  for (int p = 0; p < size.parameters; ++p) {
    std::string param = DetailId(id, '1', p);
    // Every third parameter has no unit.
    std::string unit = p % 3 == 2 ? std::string() : std::to_string(p % kUnits + 1);
    if (!w.param.Add({param, id, unit, "1", "1", "1", std::to_string(size.models)}) ||
        !w.paramLang.Add({param, zh, "参数" + std::to_string(p), "", "", "", "", "1"})) {
      return false;
    }
    for (int m = 0; m < size.models; ++m) {
      if (!w.value.Add({models[static_cast<size_t>(m)], param, unit, "1", std::to_string((m + 1) * (p + 3)),
                        std::to_string(p)})) {
        return false;
      }
    }
  }

  for (int k = 0; k < 3; ++k) {
    std::string pic = DetailId(id, '2', k);
    if (!w.Picture(pic, "") || !w.modelPic.Add({models.empty() ? id : models[0], pic, "1"})) return false;
  }

  for (int k = 0; k < 4; ++k) {
    std::string pic = DetailId(id, '3', k);
    if (!w.Picture(pic, std::to_string(k % 2 + 1)) || !w.resource.Add({id, pic, "1"})) return false;
  }
  std::string video = DetailId(id, '4', 0);
  if (!w.video.Add({video, "video/" + video + ".mp4", "1", "img/" + video + ".jpg", "", ""}) ||
      !w.videoLang.Add({video, zh, "视频", "", ""}) || !w.resource.Add({id, video, "2"})) {
    return false;
  }

  for (int k = 0; k < 2; ++k) {
    std::string group = DetailId(id, '5', k);
    std::string pic = DetailId(id, '6', k);
    if (!w.certGroup.Add({group, std::to_string(k), "100000"}) ||
        !w.certGroupLang.Add({group, zh, "证书" + std::to_string(k), "检测中心", "2024-01-01"}) ||
        !w.Picture(pic, "") || !w.certGroupResource.Add({group, pic}) || !w.prodCertGroup.Add({id, group})) {
      return false;
    }
  }

  // The last report has no resource and is left out of the reply.
  for (int r = 0; r <= size.reports; ++r) {
    std::string report = DetailId(id, '7', r);
    if (!w.report.Add({report, id, std::to_string(r)}) ||
        !w.reportLang.Add({report, zh, "检测报告" + std::to_string(r), "desc"})) {
      return false;
    }
    if (r == size.reports) break;
    for (int k = 0; k < size.picturesPerReport; ++k) {
      std::string pic = DetailId(id, '8', r * size.picturesPerReport + k);
      if (!w.Picture(pic, "") || !w.reportResource.Add({report, pic, id})) return false;
    }
  }

  for (int c = 0; c < 2; ++c) {
    std::string caseId = DetailId(id, '9', c);
    std::string pic = DetailId(id, '9', 100 + c);
    std::string text = DetailId(id, '9', 200 + c);
    if (!w.productCase.Add({caseId, std::to_string(c), "100000"}) ||
        !w.caseLang.Add({caseId, zh, "案例" + std::to_string(c), ""}) || !w.prodCase.Add({id, caseId}) ||
        !w.Picture(pic, "") || !w.caseResource.Add({caseId, pic, "1"}) || !w.text.Add({text, "1", ""}) ||
        !w.textLang.Add({text, zh, "文字", ""}) || !w.caseResource.Add({caseId, text, "6"})) {
      return false;
    }
    if (c == 0 && !w.caseExtend.Add({caseId, "100001"})) return false;
  }
  return true;
}

}  // namespace

int RichProductIndex(const CatalogueLayout& layout, const DetailPlan& plan) {
  return plan.richProduct >= 0 ? plan.richProduct : layout.products / 2;
}

bool FillProductDetail(const std::string& root, const CatalogueLayout& layout, const DetailPlan& plan,
                       std::string* error) {
  Db ex = OpenDb(root + "/data/qel_exdata.db", false, error);
  Db local = OpenDb(root + "/data/qel_data.db", false, error);
  if (!ex || !local) return false;
  if (!Exec(ex.get(), "BEGIN", error) || !Exec(local.get(), "BEGIN", error)) return false;
  bool ok = true;
  {
    Writers w(ex.get(), local.get());
    for (int u = 1; u <= kUnits && ok; ++u) {
      std::string unit = std::to_string(u);
      ok = w.unit.Add({unit, unit}) && w.unitLang.Add({unit, "3", "单位" + unit}) &&
           w.unitLang.Add({unit, "1", "unit" + unit});
    }
    for (int g = 1; g <= kGroups && ok; ++g) {
      std::string group = std::to_string(g);
      ok = w.group.Add({group, group}) && w.groupLang.Add({group, "3", "分组" + group});
    }
    const int rich = RichProductIndex(layout, plan);
    for (int i = 0; i < layout.products && ok; ++i) {
      if (i == rich) {
        ok = WriteProduct(w, i, layout.modelsPerProduct,
                          {std::max(plan.richModels, layout.modelsPerProduct), plan.richParameters,
                           plan.richReports, plan.richPicturesPerReport});
      } else if (plan.detailEvery > 0 && i % plan.detailEvery == 0) {
        ok = WriteProduct(w, i, layout.modelsPerProduct, {layout.modelsPerProduct, 4, 2, 2});
      }
    }
    if (!ok) Fail(error, w.Errors());
  }
  if (!ok) return false;
  return Exec(ex.get(), "COMMIT", error) && Exec(local.get(), "COMMIT", error);
}

}  // namespace qelbench
