#include "qel/text.h"

#include <fcntl.h>
#include <iconv.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

namespace qel {
namespace {

bool IsAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// iconv target names may carry "//IGNORE"; dropping sequences is done by
// the loop below, so the plain name is opened.
std::string PlainCode(const char* code) {
  std::string name(code);
  std::string::size_type slash = name.find("//");
  if (slash != std::string::npos) name.erase(slash);
  return name;
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// One converter per direction and thread: opening iconv is far dearer than
// converting the short texts that pass here.
iconv_t CachedConverter(const std::string& from, const std::string& to) {
  struct Entry {
    std::string from, to;
    IconvHandle cd;
  };
  thread_local Entry entries[4];
  thread_local unsigned next = 0;
  for (Entry& e : entries) {
    if (e.cd && e.from == from && e.to == to) {
      iconv(static_cast<iconv_t>(e.cd.get()), nullptr, nullptr, nullptr, nullptr);
      return static_cast<iconv_t>(e.cd.get());
    }
  }
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
  Entry& slot = entries[next++ % 4];
  slot.from = from;
  slot.to = to;
  slot.cd.reset(cd);
  return cd;
}

bool IsGbkName(const std::string& code) { return EqualsNoCase(code, "GBK") || EqualsNoCase(code, "CP936"); }

// Bytes to drop at a sequence the converter refused. A well-formed GBK
// code the converter cannot map (user-defined areas and the like) goes
// whole when its second byte is 0x80-0xFE, so that byte never pairs with
// the next; with an ASCII second byte only the lead goes and the ASCII
// character stays, as it may be a quote or a backslash of its own.
size_t RefusedLength(bool gbkSource, const char* in, size_t inLeft) {
  if (gbkSource && inLeft >= 2) {
    auto lead = static_cast<unsigned char>(in[0]);
    auto second = static_cast<unsigned char>(in[1]);
    if (IsGbkLeadByte(lead) && second >= 0x80 && second <= 0xFE) return 2;
  }
  return 1;
}

// Converts len bytes; an unconvertible or incomplete sequence is dropped
// (see RefusedLength) and the rest converted. False when the converter
// cannot be opened.
bool Convert(const std::string& from, const std::string& to, const char* src, size_t len, std::string* out,
             bool* dropped = nullptr) {
  iconv_t cd = CachedConverter(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const bool gbkSource = IsGbkName(from);
  out->clear();
  if (dropped != nullptr) *dropped = false;
  std::string buffer(len * 4 + 16, '\0');
  char* in = const_cast<char*>(src);
  size_t inLeft = len;
  while (inLeft > 0) {
    char* dst = &buffer[0];
    size_t dstLeft = buffer.size();
    size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    out->append(buffer.data(), buffer.size() - dstLeft);
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip the offending sequence and go on.
    if (dropped != nullptr) *dropped = true;
    size_t skip = RefusedLength(gbkSource, in, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = &buffer[0];
  size_t dstLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out->append(buffer.data(), buffer.size() - dstLeft);
  return true;
}

std::string ConvertText(const char* from, const char* to, std::string_view src) {
  if (IsAscii(src)) return std::string(src);
  std::string out;
  if (!Convert(from, to, src.data(), src.size(), &out)) return std::string();
  return out;
}

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Index of the last "/" or "\" that is a separator in GBK text (a second
// byte of a double-byte character may be 0x5C), or npos.
std::string::size_type LastSeparator(const std::string& path) {
  std::string::size_type last = std::string::npos;
  for (std::string::size_type i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsGbkLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '/' || c == '\\') {
      last = i;
    }
  }
  return last;
}

// The sign and the magnitude of the leading number; *overflow when the
// magnitude does not fit 64 bits (it is then UINT64_MAX).
bool ScanMagnitude(std::string_view text, bool allowMinus, bool* negative, uint64_t* magnitude,
                   bool* overflow) {
  std::string_view::size_type i = 0;
  while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  *negative = false;
  *magnitude = 0;
  *overflow = false;
  if (i < text.size() && (text[i] == '+' || (allowMinus && text[i] == '-'))) *negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
      value = std::numeric_limits<uint64_t>::max();
      *overflow = true;
      break;
    }
    value = value * 10 + digit;
  }
  *magnitude = value;
  return true;
}

template <typename T>
IntegerScan ScanSigned(std::string_view text, T* out) {
  bool negative = false, overflow = false;
  uint64_t magnitude = 0;
  *out = 0;
  if (!ScanMagnitude(text, true, &negative, &magnitude, &overflow)) return IntegerScan::kNone;
  const uint64_t max = static_cast<uint64_t>(std::numeric_limits<T>::max());
  if (overflow || magnitude > (negative ? max + 1 : max)) {
    *out = negative ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    return IntegerScan::kOutOfRange;
  }
  // Negated one below the magnitude, so that the type's minimum fits.
  *out = negative && magnitude > 0 ? static_cast<T>(-static_cast<T>(magnitude - 1) - 1)
                                   : static_cast<T>(magnitude);
  return IntegerScan::kExact;
}

}  // namespace

char* ConvertCode(const char* fromCode, const char* toCode, const char* src) {
  if (src == nullptr || fromCode == nullptr || toCode == nullptr) return nullptr;
  size_t len = 0;
  if (std::strncmp(fromCode, "UTF-16LE", 8) == 0) {
    while (src[len] != 0 || src[len + 1] != 0) len += 2;
  } else {
    len = std::strlen(src);
  }
  std::string out;
  if (!Convert(fromCode, PlainCode(toCode), src, len, &out)) out.clear();
  char* result = new char[out.size() + 1];
  std::memcpy(result, out.data(), out.size());
  result[out.size()] = '\0';
  return result;
}

std::string Utf8ToGbk(std::string_view src) { return ConvertText("UTF-8", "GBK", src); }
std::string GbkToUtf8(std::string_view src) { return ConvertText("GBK", "UTF-8", src); }

bool Utf8ToGbkExact(std::string_view src, std::string* out) {
  out->clear();
  if (IsAscii(src)) {
    out->assign(src);
    return true;
  }
  bool dropped = false;
  if (Convert("UTF-8", "GBK", src.data(), src.size(), out, &dropped) && !dropped) return true;
  out->clear();
  return false;
}

bool GbkContainsAscii(std::string_view text, char c) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
    } else if (text[i] == c) {
      return true;
    }
  }
  return false;
}

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
    return;
  }
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return;
  if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  *out += static_cast<char>(0x80 | (cp & 0x3F));
}

bool ReadHex4(std::string_view text, size_t at, uint32_t* out) {
  if (at > text.size() || text.size() - at < 4) return false;
  uint32_t value = 0;
  for (size_t k = at; k < at + 4; ++k) {
    const char c = text[k];
    const char lower = static_cast<char>(c | 0x20);
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (lower >= 'a' && lower <= 'f') {
      digit = static_cast<uint32_t>(lower - 'a' + 10);
    } else {
      return false;
    }
    value = value * 16 + digit;
  }
  *out = value;
  return true;
}

bool IsValidGbk(std::string_view text) {
  if (IsAscii(text)) return true;
  std::string utf8;
  bool dropped = false;
  return Convert("GBK", "UTF-8", text.data(), text.size(), &utf8, &dropped) && !dropped;
}

bool IsKeyText(std::string_view key) { return key.find('\0') == std::string_view::npos && IsValidGbk(key); }

int Utf8ToGbk(const std::string& src, std::string* dst) {
  if (dst != nullptr) *dst = Utf8ToGbk(std::string_view(src));
  return 0;
}

int GbkToUtf8(const std::string& src, std::string* dst) {
  if (dst != nullptr) *dst = GbkToUtf8(std::string_view(src));
  return 0;
}

std::string TrimLeft(const std::string& text) {
  std::string::size_type i = 0;
  while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  return text.substr(i);
}

std::string TrimRight(const std::string& text) {
  std::string::size_type n = text.size();
  while (n > 0 && IsBlank(static_cast<unsigned char>(text[n - 1]))) --n;
  return text.substr(0, n);
}

std::string Trim(const std::string& text) { return TrimLeft(TrimRight(text)); }

int SplitString(const std::string& text, char separator, std::vector<std::string>* out) {
  if (out == nullptr) return 0;
  out->clear();
  std::string::size_type start = 0;
  for (std::string::size_type pos; (pos = text.find(separator, start)) != std::string::npos;
       start = pos + 1) {
    out->push_back(text.substr(start, pos - start));
  }
  if (start < text.size()) out->push_back(text.substr(start));
  return static_cast<int>(out->size());
}

std::string ToUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string ToLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::string_view::size_type i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

IntegerScan ScanInteger(std::string_view text, int* out) { return ScanSigned(text, out); }
IntegerScan ScanInteger(std::string_view text, int64_t* out) { return ScanSigned(text, out); }

IntegerScan ScanInteger(std::string_view text, uint64_t* out) {
  bool negative = false, overflow = false;
  *out = 0;
  if (!ScanMagnitude(text, false, &negative, out, &overflow)) return IntegerScan::kNone;
  return overflow ? IntegerScan::kOutOfRange : IntegerScan::kExact;
}

std::string IntToString(int value) { return std::to_string(value); }
std::string Int64ToString(int64_t value) { return std::to_string(value); }
std::string UInt64ToString(uint64_t value) { return std::to_string(value); }

int StringToInt(const std::string& text) {
  int value = 0;
  ScanInteger(text, &value);
  return value;
}

int64_t StringToInt64(const std::string& text) {
  int64_t value = 0;
  ScanInteger(text, &value);
  return value;
}

uint64_t StringToUInt64(const std::string& text) {
  uint64_t value = 0;
  ScanInteger(text, &value);
  return value;
}

bool IsDecimalId(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

bool ParseVersion(const std::string& text, uint64_t* version) {
  uint64_t result = 0;
  bool ok = false;
  if (IsDecimalId(text)) {
    ok = text.size() < 20 || (text.size() == 20 && text <= "18446744073709551615");
    if (ok) result = StringToUInt64(text);
  } else if (text.size() > 1 && text[0] == 'V') {
    std::vector<std::string> fields;
    SplitString(text.substr(1), '.', &fields);
    static const uint64_t kLimits[4] = {0xFF, 0xFF, 0xFFFF, 0xFFFFFFFFull};
    static const int kShifts[4] = {56, 48, 32, 0};
    ok = fields.size() == 4 && text.back() != '.';
    for (size_t i = 0; ok && i < 4; ++i) {
      ok = IsDecimalId(fields[i]) && fields[i].size() <= 10 && StringToUInt64(fields[i]) <= kLimits[i];
      if (ok) result |= StringToUInt64(fields[i]) << kShifts[i];
    }
  }
  if (version != nullptr) *version = ok ? result : 0;
  return ok;
}

std::string VersionToString(uint64_t v) {
  return "V" + std::to_string((v >> 56) & 0xFF) + "." + std::to_string((v >> 48) & 0xFF) + "." +
         std::to_string((v >> 32) & 0xFFFF) + "." + std::to_string(v & 0xFFFFFFFFull);
}

std::string VersionToString(const std::string& decimal) { return VersionToString(StringToUInt64(decimal)); }

std::string NativePath(const std::string& gbkPath) {
  std::string path = GbkToUtf8(std::string_view(gbkPath));
  // After conversion no multi-byte character holds 0x5C, so every "\" is a
  // separator.
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool IsPath(const std::string& path) { return !path.empty(); }

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char* CheckServiceFileName(const std::string& name, std::string* relative) {
  if (name.find('\0') != std::string::npos) return "NUL";
  // Separators are looked at in the UTF-8 form: a GBK trail byte may be 0x5C.
  const std::string utf8 = GbkToUtf8(name);
  if (Utf8ToGbk(utf8) != name) return "not GBK";
  std::string path = utf8;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
  if (path.find(':') != std::string::npos) return "drive or colon";
  if (path.empty() || path.back() == '/') return "no file name";
  // Longer names than the file system takes could never be written: the
  // limits count the bytes of the form handed to the OS (PATH_MAX with the
  // terminating NUL).
  if (path.size() >= PATH_MAX) return "path too long";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment(path.data() + start, end - start);
    // An empty segment ("a//b") would name the same file as "a/b".
    if (segment == "." || segment == ".." || segment.empty()) return "relative or empty segment";
    if (segment.size() > NAME_MAX) return "segment too long";
    start = end + 1;
  }
  if (relative != nullptr) *relative = Utf8ToGbk(path);
  return nullptr;
}

std::string GetFileName(const std::string& path) {
  std::string::size_type sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string GetFileExt(const std::string& path) {
  std::string name = GetFileName(path);
  std::string::size_type dot = name.find('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

int CopyFileByStream(const std::string& src, const std::string& dst) { return InstallFile(src, dst, false); }

int InstallFile(const std::string& src, const std::string& target, bool removeSource) {
  if (src.empty() || target.empty() || !FileExists(src) || IsDirectory(src)) return 2;
  std::error_code ec;
  const std::filesystem::path from(NativePath(src));
  const std::filesystem::path to(NativePath(target));
  if (std::filesystem::equivalent(from, to, ec)) return 2;
  if (removeSource) {
    // On one file system a rename is the whole move, and it is atomic.
    std::filesystem::rename(from, to, ec);
    if (!ec) return 0;
  }
  // The bytes go to a temporary file beside the target, which replaces the
  // target only once every write and the close succeeded: a failure never
  // leaves a truncated target behind.
  std::filesystem::path temp = to;
  temp += kTempFileMark;
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return 9;
  // Never written through a link planted at the temporary name.
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  std::FILE* out = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (out == nullptr) {
    if (fd >= 0) ::close(fd);
    std::fclose(in);
    return 9;
  }
  bool ok = true;
  std::vector<char> buffer(64 * 1024);
  size_t n;
  while (ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    ok = std::fwrite(buffer.data(), 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  ok = (std::fclose(out) == 0) && ok;
  if (ok) {
    std::filesystem::rename(temp, to, ec);
    ok = !ec;
  }
  if (!ok) {
    std::filesystem::remove(temp, ec);
    return 9;
  }
  // The source goes last, after the target is complete: a source that cannot
  // be removed stays behind.
  if (removeSource) std::filesystem::remove(from, ec);
  return 0;
}

int CreateDirectories(const std::string& path) {
  if (path.empty()) return 2;
  std::string native = NativePath(path);
  std::error_code ec;
  if (std::filesystem::exists(native, ec)) return 0;
  std::filesystem::create_directories(native, ec);
  return std::filesystem::is_directory(native, ec) ? 0 : 9;
}

int GetCategoryLevelWidth(int level) {
  switch (level) {
    case 1:
      return 6;
    case 2:
    case 3:
    case 4:
      return 3;
    default:
      return 0;
  }
}

}  // namespace qel
