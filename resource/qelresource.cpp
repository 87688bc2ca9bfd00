// Source is UTF-8, so the wide literals hold the Unicode code points
// (wchar_t is 32-bit on this platform).
#include "qelresource.h"

namespace {

constexpr int kCaptionCount = 27;

const wchar_t* const kChinese[kCaptionCount] = {
    L"QEL产品目录",    // 0 client title
    L"全部产品",       // 1
    L"全部证书",       // 2
    L"型号/规格",      // 3 built-in parameter -1
    L"版本",           // 4
    L"技术支持：",     // 5
    L"技术支持：QEL",  // 6
    L"：",             // 7
    L"报价",           // 8 built-in parameter -2
    L"暂无",           // 9
    L"产品报价",       // 10
    L"介绍",           // 11
    L"型号",           // 12
    L"证书",           // 13
    L"图片",           // 14
    L"视频",           // 15
    L"案例",           // 16
    L"报告",           // 17
    L"咨询",           // 18
    L"询价",           // 19
    L"分类",           // 20
    L"文本",           // 21
    L"文件",           // 22
    L"暂无描述",       // 23
    L"产品",           // 24
    L"应用",           // 25
    L"其他",           // 26
};

const wchar_t* const kEnglish[kCaptionCount] = {
    L"QEL Product Catalogue",  // 0 client title
    L"All Product",            // 1
    L"All Certificate",        // 2
    (L"Model/Specif"
     L"ications"),        // 3 built-in parameter -1
    L"Version",           // 4
    L"Tech Support:",     // 5
    L"Tech Support:QEL",  // 6 no blank after the colon
    L":",                 // 7
    L"Price",             // 8 built-in parameter -2
    L"Not Available",     // 9
    L"Product Price",     // 10
    L"Introduce",         // 11
    L"Models",            // 12
    L"Certificate",       // 13
    L"Pictures",          // 14
    L"Videos",            // 15
    L"Cases",             // 16
    L"Reports",           // 17
    L"Ask Detail",        // 18
    L"Inquiry",           // 19
    L"Category",          // 20
    L"Text",              // 21
    L"File",              // 22
    L"No Description",    // 23
    L"Product",           // 24
    L"Application",       // 25
    L"Others",            // 26
};

}  // namespace

extern "C" const wchar_t* getLANG(int lang, int index) {
  if (index < 0 || index >= kCaptionCount) return nullptr;
  switch (lang) {
    case 0:
      return kChinese[index];
    case 1:
      return kEnglish[index];
    default:
      return nullptr;
  }
}

extern "C" int fnQelResource(void) { return 42; }
