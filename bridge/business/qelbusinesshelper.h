// Request parsing and the small operations every handler shares: row
// counts, JSON value lists, area lookups and the JSON-RPC reply check.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "database/qelquery.h"

namespace qel {
namespace dataspace {

class qelInternetResponseBean;

// What a handler reads from one request text.
struct RequestParams {
  std::string value;                // PARAM[table][key]
  int limit = -1;                   // -1: no limit
  int offset = 0;                   // -1 after parsing unless OFFSET is a non-zero number
  std::vector<std::string> values;  // the extra keys' values, in the order asked for
};

// Reads LIMIT, OFFSET, the extra keys from PARAM itself and PARAM[table][key]
// from a request text of any shape. 0 success; 1 when the text does not
// parse, PARAM is missing, or (with a table) the table or key is missing.
// Values that are numbers or booleans are read as their text; LIMIT and
// OFFSET may be numbers or decimal texts, anything else counts as absent.
int ParseRequestParams(const std::string& json, const std::string& table, const std::string& key,
                       RequestParams* params, const std::vector<std::string>* extraKeys);
// The one reading of a request text: *root gets the parsed value, or null
// (and false) when the text does not parse.
bool ParseRequestText(const std::string& json, Json::Value* root);
// ParseRequestParams for a request that is already parsed (root null when it did not
// parse), so a handler's request text is parsed once per call.
int ReadRequestParams(const Json::Value& root, const std::string& table, const std::string& key,
                      RequestParams* params, const std::vector<std::string>* extraKeys);

// The one reading of LIMIT and OFFSET: a number (or a decimal text) that
// fits an int; 0, a missing member and a value of any other kind give -1
// ("none").
int PageValue(const Json::Value& root, const char* key);

// Appends object[key] as text for each key ("" when missing or not a scalar).
// Returns 0.
int GetJsonValuesByKeys(const Json::Value& object, const std::vector<std::string>& keys,
                        std::vector<std::string>* out);

// Clears out, then fills it with the scalar members of object as texts.
// 1 for a value that is not an object (null included), else 0.
int JsonObjectToMap(const Json::Value& object, std::map<std::string, std::string>* out);

// Area lookups on SYS_AREA / SYS_AREA_LANG: *rows gets the array of
// {"AREAID","NAME"} rows (empty when none). 1 for a bad id, or a failed
// query ("Query error" to the host); *rows is then untouched.
// Child areas; an empty id means the top area "86".
int SubAreaRows(const std::string& areaId, Json::Value* rows);
// The parent area; ids shorter than 4 characters have none.
int ParentAreaRows(const std::string& areaId, Json::Value* rows);
// The area itself; ids shorter than 4 characters give 1.
int AreaRows(const std::string& areaId, Json::Value* rows);
// The same as a reply: the styled array ("[]" when none), written only on
// success.
int GetSubAreas(const std::string& areaId, std::string* reply);
int GetParentArea(const std::string& areaId, std::string* reply);
int GetArea(const std::string& areaId, std::string* reply);

class qelBusinessHelper {
 public:
  // Lets the bean parse a JSON-RPC reply. 0 when the overall status is
  // 100000 and there is at least one item; 1 when the reply does not parse;
  // otherwise the overall status as a number, 19999 when it is missing or 0
  // or when a success status comes without any item. text is left unchanged.
  static int CheckResponseData(const std::string& replyText, qelInternetResponseBean* bean,
                               std::string* text);
};

}  // namespace dataspace
}  // namespace qel
