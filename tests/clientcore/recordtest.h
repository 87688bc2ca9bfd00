// Table helpers for the record converter tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <json/json.h>

#include "qel/json.h"
#include "records/qelrecords.h"

namespace recordtest {

inline std::wstring Show(int v) { return std::to_wstring(v); }
inline std::wstring Show(uint64_t v) { return std::to_wstring(v); }
inline std::wstring Show(double v) { return std::to_wstring(v); }
inline std::wstring Show(const std::wstring& v) { return v; }
inline std::wstring Show(const std::string& v) { return std::wstring(v.begin(), v.end()); }

// One key of a record's table: the string given under `key` must land in
// the member read by `member` as `expected`.
template <class R>
struct KeyCase {
  const char* key;
  std::string value;
  std::function<std::wstring(const R&)> member;
  std::wstring expected;
};

#define MEMBER(R, m) [](const R& r) { return recordtest::Show(r.m); }

// For every case: the string value fills the member; the same key holding a
// number, a boolean, an object or null leaves the default. `wrap` builds
// the text given to FromJson from the element (records that take the whole
// reply array wrap it).
template <class R>
void ExpectKeys(const std::vector<KeyCase<R>>& cases,
                const std::function<Json::Value(const Json::Value&)>& wrap = nullptr) {
  const R fresh;
  for (const KeyCase<R>& c : cases) {
    Json::Value element(Json::objectValue);
    element[c.key] = c.value;
    Json::Value root = wrap ? wrap(element) : element;
    std::string text = qel::WriteStyled(root);
    R record;
    record.FromJson(text.c_str());
    EXPECT_EQ(c.member(record), c.expected) << "key: " << c.key << " value: " << c.value;
    EXPECT_EQ(record.json, text) << "key: " << c.key;

    for (const Json::Value& other :
         {Json::Value(7), Json::Value(true), Json::Value(Json::objectValue), Json::Value()}) {
      Json::Value bad(Json::objectValue);
      bad[c.key] = other;
      std::string badText = qel::WriteStyled(wrap ? wrap(bad) : bad);
      R untouched;
      untouched.FromJson(badText.c_str());
      EXPECT_EQ(c.member(untouched), c.member(fresh))
          << "key: " << c.key << " holding " << qel::WriteCompact(other);
    }
  }
}

inline Json::Value InArray(const Json::Value& element) {
  Json::Value array(Json::arrayValue);
  array.append(element);
  return array;
}

}  // namespace recordtest
