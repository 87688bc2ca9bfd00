// The shapes every getter reads from a reply: a list of records, one
// record, a count or a status. A reply of the wrong shape takes the failure
// path; elements are converted straight from the parsed value.
#pragma once

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "bridgecall.h"
#include "clientcoreruntime.h"
#include "qel/json.h"
#include "records/qelrecords.h"
#include "records/recordconvert.h"
#include "requests.h"

namespace qelclientcore {
namespace detail {

// The list of an accepted reply; null when the reply failed, does not parse
// or is not an array.
inline bool ReplyArray(const Reply& reply, Json::Value* root) {
  if (!reply.Ok() || !reply.Parse(root) || !root->isArray()) {
    *root = Json::Value();
    return false;
  }
  return true;
}

// Appends one record per convertible element of an accepted array reply.
// False when the reply was not accepted.
template <class T>
bool AppendRecords(const Reply& reply, std::vector<T>* out) {
  Json::Value root;
  if (!ReplyArray(reply, &root)) return false;
  out->reserve(out->size() + root.size());
  for (const Json::Value& element : root) {
    T record;
    if (!element.isObject() || !ConvertElement(element, &record)) continue;
    out->push_back(std::move(record));
  }
  return true;
}

// Element 0 of an accepted reply into `record` when it is an object.
template <class T>
bool ReadFirstRecord(const Reply& reply, T* record) {
  Json::Value root;
  if (!reply.Ok() || !reply.Parse(&root) || !root.isArray()) return false;
  const Json::Value& first = qel::Element(root, 0);
  return first.isObject() && ConvertElement(first, record);
}

// "COUNT" of element 0 of an accepted reply, 0 otherwise.
inline int ReadCount(const Reply& reply) {
  Json::Value root;
  if (!reply.Ok() || !reply.Parse(&root)) return 0;
  return ReadCountOrStatus(root, "COUNT", 0);
}

// ERRORDESC of a failure reply, when there is one that converts.
inline bool ReadError(const Reply& reply, std::wstring* desc) {
  if (!reply.hasReply || reply.result == 0) return false;
  Json::Value root;
  if (!reply.Parse(&root)) return false;
  ErrorInfo error;
  if (!ConvertElement(FirstElement(root), &error)) return false;
  if (desc != nullptr) *desc = error.errorDesc;
  return true;
}

// Tells the bridge that a record was seen: the record's own JSON (GBK)
// goes inside "PARAM" under `key`. False when it is empty, does not parse
// or the bridge refuses it.
inline bool SendSeen(const char* key, const std::string& recordJson) {
  if (recordJson.empty()) return false;
  Json::Value raw;
  if (!qel::ParseGbkJson(recordJson, &raw)) return false;
  return Call(qel::request::kMarkSeen, Submission(key, std::move(raw))).Ok();
}

// The entry of a cache map, or null. The caller holds LockCaches().
template <class Map>
typename Map::mapped_type* FindEntry(Map& map, const typename Map::key_type& key) {
  auto found = map.find(key);
  return found != map.end() ? &found->second : nullptr;
}

// The *ById getters: the cached entry, or null (also after shutdown).
template <class Map>
typename Map::mapped_type* CachedEntry(Map& map, const typename Map::key_type& key) {
  if (ClientCoreShutDown()) return nullptr;
  auto caches = LockCaches();
  return FindEntry(map, key);
}

// STATUS of an item the user has opened.
constexpr int kSeen = 1;

// Marks a cached record as seen: its own JSON goes to the bridge (without
// the lock), then the map entry and the list copies that `listed` picks
// get STATUS 1. False when the id is not cached or the bridge refuses.
template <class Map, class T, class Listed>
bool MarkCachedSeen(const char* key, Map& map, const typename Map::key_type& id, std::vector<T>& list,
                    Listed listed) {
  std::string json;
  {
    auto caches = LockCaches();
    const auto* record = FindEntry(map, id);
    if (record == nullptr) return false;
    json = record->json;
  }
  if (!SendSeen(key, json)) return false;
  auto caches = LockCaches();
  if (auto* cached = FindEntry(map, id)) cached->status = kSeen;
  for (T& item : list) {
    if (listed(item)) item.status = kSeen;
  }
  return true;
}

// No exception leaves a public method: a failure gives `fallback`, and so
// does every call once shutdown has begun.
template <class R, class F>
R Guarded(R fallback, F body) {
  if (ClientCoreShutDown()) return fallback;
  try {
    return body();
  } catch (const std::exception&) {
    return fallback;
  } catch (...) {
    return fallback;
  }
}

template <class F>
void GuardedVoid(F body) {
  if (ClientCoreShutDown()) return;
  try {
    body();
  } catch (...) {
  }
}

// A getter that fills the caller's container: once shutdown has begun it
// only empties it.
template <class Out, class F>
void GuardedFill(Out& out, F body) {
  if (ClientCoreShutDown()) {
    out.clear();
    return;
  }
  GuardedVoid(body);
}

}  // namespace detail
}  // namespace qelclientcore
