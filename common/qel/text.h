// Text conversion between GBK (the libraries' narrow text) and UTF-8 (the
// wire, SQLite, the file system), plus the small string, number, time,
// version and file helpers that every layer shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

// Converts src with iconv; returns a new[] array the caller releases with
// delete[], or null for a null src. A sequence that cannot be converted is
// dropped and the rest converted. A fromCode starting with "UTF-16LE" reads
// src as 16-bit units up to the first zero unit.
char* ConvertCode(const char* fromCode, const char* toCode, const char* src);

// Both return 0; src and dst may be the same string.
int Utf8ToGbk(const std::string& src, std::string* dst);
int GbkToUtf8(const std::string& src, std::string* dst);
std::string Utf8ToGbk(std::string_view src);
std::string GbkToUtf8(std::string_view src);
// The GBK form of UTF-8 text only when every character converts: false,
// with *out empty, when GBK cannot hold one or the text is no UTF-8. For
// a host's text, where a dropped character would name another file or
// account.
bool Utf8ToGbkExact(std::string_view src, std::string* out);
// True when every byte sequence of text is a GBK character (ASCII included),
// so that a host decoding it as GBK loses nothing.
bool IsValidGbk(std::string_view text);
// A key taken from a request (a product, category, favourite, consultation
// or inquiry id, an account): usable when it holds no NUL and is whole GBK.
// Any other key would be checked as one value and written as another (its
// SQL literal matches nothing, a bound copy loses the bytes that are no
// GBK), so every handler refuses it as bad input.
bool IsKeyText(std::string_view key);
// The lead and second bytes of a double-byte GBK character. A second byte
// may be "\\" (0x5C), "_" or "@": text is walked a whole character at a time.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsGbkTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }
// Whether a GBK text holds the ASCII character c; a second byte equal to c
// ("@" is 0x40) belongs to its character and is not c.
bool GbkContainsAscii(std::string_view text, char c);
// Appends the UTF-8 form of one code point; surrogates and values beyond
// Unicode are no characters and are dropped.
void AppendUtf8(uint32_t codePoint, std::string* out);
// Reads the four hex digits of a JSON unicode escape starting at text[at].
bool ReadHex4(std::string_view text, size_t at, uint32_t* out);

// ASCII white space only (no locale).
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);
std::string Trim(const std::string& text);
// Fields ending at a separator (empty ones included) plus a non-empty rest.
int SplitString(const std::string& text, char separator, std::vector<std::string>* out);
std::string ToUpper(std::string text);
std::string ToLower(std::string text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

std::string IntToString(int value);
std::string Int64ToString(int64_t value);
std::string UInt64ToString(uint64_t value);
// How the leading decimal number of a text was read.
enum class IntegerScan {
  kNone,        // no digit after the blanks and the sign; *out is 0
  kExact,       // the number fits; *out holds it
  kOutOfRange,  // it does not fit; *out is clamped to the nearest limit
};
// The one integer scanner: ASCII white space, an optional sign, decimal
// digits, up to the first other character. A minus sign is no number for the
// unsigned form (it would wrap). Out of range always clamps and says so; a
// caller that refuses such a number tests for kExact.
IntegerScan ScanInteger(std::string_view text, int* out);
IntegerScan ScanInteger(std::string_view text, int64_t* out);
IntegerScan ScanInteger(std::string_view text, uint64_t* out);
// ScanInteger's value alone: 0 when there is no number, clamped when it does
// not fit.
int StringToInt(const std::string& text);
int64_t StringToInt64(const std::string& text);
uint64_t StringToUInt64(const std::string& text);
// True for a non-empty text of ASCII digits only.
bool IsDecimalId(std::string_view text);

// Milliseconds since 1970-01-01 UTC.
uint64_t NowMs();

// A version is a decimal 64-bit number or "V" + four numbers joined by ".";
// the fields live in bits 56-63, 48-55, 32-47 and 0-31. ParseVersion returns
// false (and 0) for any other text.
bool ParseVersion(const std::string& text, uint64_t* version);
std::string VersionToString(const std::string& decimal);
std::string VersionToString(uint64_t version);

// Paths here are GBK; NativePath gives the UTF-8 form the OS is handed.
std::string NativePath(const std::string& gbkPath);
bool IsPath(const std::string& path);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The one check of a file name from the service (a data-update list, the
// update's stored rows, an application-update list), relative to its folder.
// "\" counts as a separator and one leading separator is allowed
// ("/img/a.png" is the lists' own form). Null when the name is safe, with
// *relative (when given) set to the name with "/" separators and without the
// leading one; otherwise why it is refused: the name is then empty or names
// a folder, or holds a "." or ".." or empty segment, a drive, ":", NUL, or
// bytes that are no GBK, or is too long for the file system (a segment over
// NAME_MAX, 255 bytes, or the whole name from PATH_MAX on, in its UTF-8
// form).
const char* CheckServiceFileName(const std::string& name, std::string* relative);
// Text after the last "/" or "\"; the whole text when there is none.
std::string GetFileName(const std::string& path);
// From the first "." of the file-name component to the end; "" when none.
std::string GetFileExt(const std::string& path);
// 0 copied, 2 bad arguments (empty, missing source, same file),
// 9 failure while copying (open, write or close). Copies with InstallFile.
int CopyFileByStream(const std::string& src, const std::string& dst);
// What every temporary file written beside a target carries after the
// target's name ("<name>.qeltmp<pid>-<n>" of a download, "<name>.qeltmp" of
// InstallFile): the update clears stale ones, and the launcher never
// installs a name holding it.
constexpr char kTempFileMark[] = ".qeltmp";
// The one way a file is put in place: the bytes are written to a temporary
// file beside target, every write and the close are checked, and the
// temporary file is renamed over target; a failure leaves target as it was
// and no temporary file behind. With removeSource the source is removed
// last, only after the target is complete (a rename does it all when both
// are on one file system); a source that cannot be removed then stays
// behind and the result is still 0. Codes as CopyFileByStream.
int InstallFile(const std::string& src, const std::string& target, bool removeSource);
// 0 created or present, 2 empty path, 9 a folder could not be made.
int CreateDirectories(const std::string& path);

// Width added at a product-levels category level: 6, 3, 3, 3 for 1..4.
int GetCategoryLevelWidth(int level);

}  // namespace qel
