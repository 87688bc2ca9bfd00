// GBK/UTF-8 conversion and the JSON writer/reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qel/json.h"
#include "qel/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string gbk = qel::Utf8ToGbk(input);
  std::string utf8 = qel::GbkToUtf8(input);
  // Whatever comes out of one direction is valid for it and survives the
  // round trip.
  if (qel::Utf8ToGbk(qel::GbkToUtf8(gbk)) != gbk) std::abort();
  if (qel::GbkToUtf8(qel::Utf8ToGbk(utf8)) != utf8) std::abort();
  const std::string terminated = input.substr(0, input.find('\0'));
  delete[] qel::ConvertCode("gbk", "utf-8//IGNORE", terminated.c_str());
  delete[] qel::ConvertCode("UTF-16LE", "gbk//IGNORE", (terminated + std::string(2, '\0')).c_str());
  qel::GetFileName(input);
  qel::GetFileExt(input);
  uint64_t version = 0;
  qel::ParseVersion(input, &version);

  // A string value written by the writer reads back byte for byte.
  Json::Value row(Json::objectValue);
  row["V"] = input;
  Json::Value back;
  if (!qel::ParseJson(qel::WriteStyled(row), &back) || back["V"].asString() != input) std::abort();
  Json::Value parsed;
  if (qel::ParseGbkJson(input, &parsed)) qel::WriteCompact(parsed);
  return 0;
}
