// The one JSON writer and the one GBK JSON reader of the system, and
// type-checked accessors. Text values are written byte for byte (GBK stays
// GBK); jsoncpp's own writers would escape bytes above 0x7F as if they were
// UTF-8, and its reader alone would read a GBK second byte 0x5C as an escape.
#pragma once

#include <cstdint>
#include <string>

#include <json/json.h>

namespace qel {

// The writers produce JSON documents encoded in GBK: strings are written
// byte for byte, a backslash is escaped, and the second byte of a GBK
// character is never escaped even when it is 0x5C, so the text decoded as
// GBK is valid JSON with the same characters. Values must be GBK (or
// ASCII): a UTF-8 value is converted with StringsToGbk first.
// Styled text: three-space indent, members in name order, trailing newline.
std::string WriteStyled(const Json::Value& value);
// Compact text without spaces or trailing newline (envelopes).
std::string WriteCompact(const Json::Value& value);
// The same compact text for a value whose strings are UTF-8 (what the
// service or a test server sends): GBK characters are not looked for, so
// no UTF-8 byte is taken for a GBK second byte.
std::string WriteCompactUtf8(const Json::Value& utf8Value);

// Copies of a value with every string and member name converted (the wire
// and SQLite take UTF-8).
Json::Value StringsToUtf8(const Json::Value& gbkValue);
Json::Value StringsToGbk(const Json::Value& utf8Value);

// Parses text byte-wise; on failure *out is null and the result false (no
// half-built values). Depth and size are bounded. Only for texts that are
// ASCII or UTF-8: a GBK text goes through ParseGbkJson.
bool ParseJson(const std::string& text, Json::Value* out);
// The one reader of GBK JSON texts (requests, the start-up JSON, records,
// service replies converted to GBK). It reads a text as a host that decodes
// GBK first would: a GBK character is taken whole (a second byte 0x5C is no
// escape) and a \u escape gives the character's GBK bytes, so it reads
// what any host writes and what WriteStyled and WriteCompact produce.
// Strings and member names come out as GBK; bytes that are no GBK are kept
// as they are, never dropped, and a \u escape of a character GBK lacks (an
// emoji, a lone half of a pair) gives the byte 0xFF, which is never GBK:
// such a value is not whole text (qel::IsKeyText refuses it) and never
// matches a valid one.
bool ParseGbkJson(const std::string& gbkText, Json::Value* out);
// The same, but text after the value (other than white space) counts as not
// parsed, where ParseGbkJson reads the first value and ignores the rest.
bool ParseWholeGbkJson(const std::string& gbkText, Json::Value* out);
// Parses UTF-8 text and converts every string and member name to GBK.
bool ParseUtf8JsonToGbk(const std::string& utf8Text, Json::Value* out);

// The status reply through which the transport reports a transfer,
// {"jsonrpc":"2.0","result":{"result":"","status":"<code>"}} (the code a
// JSON string), and the status such a text carries ("" when it carries
// none).
std::string StatusReplyText(int code);
std::string StatusOfReply(const std::string& reply);

// Accessors: a value of the wrong kind counts as missing.
const Json::Value& Member(const Json::Value& object, const char* key);
const Json::Value& ObjectMember(const Json::Value& object, const char* key);  // null unless an object
const Json::Value& ArrayMember(const Json::Value& object, const char* key);   // null unless an array
const Json::Value& Element(const Json::Value& array, Json::ArrayIndex index);
bool HasMember(const Json::Value& object, const char* key);
// A string member; "" (false) when missing or not a string.
bool ReadString(const Json::Value& object, const char* key, std::string* out);
std::string StringMember(const Json::Value& object, const char* key);
// A string, or an integral or real number written as decimal text, or a bool
// as "true"/"false"; "" when missing or of another kind.
std::string TextMember(const Json::Value& object, const char* key);
std::string ValueAsText(const Json::Value& value);
// An integral number that fits, or a string holding one decimal number.
bool ReadInt64(const Json::Value& object, const char* key, int64_t* out);
bool ValueAsInt64(const Json::Value& value, int64_t* out);

}  // namespace qel
