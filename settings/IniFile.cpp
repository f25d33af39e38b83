#include "settings/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>

#include "files/AtomicFile.h"

// The parser's templates are instantiated here, its only user; its wide-character variants need a
// conversion library that is not used.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace fs = std::filesystem;

namespace {

// How the file was stored, so a rewrite keeps it readable by whatever wrote it.
enum class Encoding : uint8_t { kBytes, kUtf8Bom, kUtf16Le };

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at text[*i] and advances *i past it. A byte that does not start a valid
// UTF-8 sequence counts as one character of its own, as a byte of a legacy code page would.
char32_t NextCodePoint(std::string_view text, std::size_t* i) {
  const auto lead = static_cast<unsigned char>(text[*i]);
  std::size_t length = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    ++*i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    c = lead & 0x07u;
  } else {
    ++*i;
    return kReplacement;
  }
  if (*i + length > text.size()) {
    ++*i;
    return kReplacement;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[*i + k]);
    if ((next & 0xC0) != 0x80) {
      ++*i;
      return kReplacement;
    }
    c = (c << 6) | (next & 0x3Fu);
  }
  const bool overlong =
      (length == 2 && c < 0x80) || (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*i;
    return kReplacement;
  }
  *i += length;
  return c;
}

void AppendUtf8(std::string* out, char32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  auto unit = [bytes](std::size_t k) -> char32_t {
    return static_cast<unsigned char>(bytes[k]) |
           (static_cast<char32_t>(static_cast<unsigned char>(bytes[k + 1])) << 8);
  };
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i + 1 < bytes.size()) {
    char32_t c = unit(i);
    i += 2;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < bytes.size() && unit(i) >= 0xDC00 &&
        unit(i) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t c = NextCodePoint(text, &i);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

// Reads a regular file whole. Nothing when it does not exist; *unreadable is set when it exists but
// cannot be read (or is not a regular file), so that a later rewrite does not replace it blindly.
std::string ReadWholeFile(const fs::path& path, bool* unreadable) {
  *unreadable = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *unreadable = errno != ENOENT && errno != ENOTDIR;
    return {};
  }
  std::string data;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *unreadable = true;
  } else {
    char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        *unreadable = true;
        break;
      }
      if (got == 0) break;
      data.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return *unreadable ? std::string() : data;
}

// Writes bytes to the file (through its links) so that a reader sees either the old file or the new
// one, never a part of it, and a full disk leaves the old one in place.
bool WriteFileAtomically(const fs::path& path, std::string_view bytes) {
  AtomicFile file(path);
  file.Write(bytes.data(), bytes.size());
  return file.Commit();
}

// The parser reads its text only up to the first NUL byte, so the lines after a NUL (a damaged
// line, a program that wrote binary) would be lost at the next write. While the file is parsed a
// NUL is the pair C0 80 and C0 itself the pair C0 C0 (a byte never found in UTF-8 text); the text
// written goes back to the file's own bytes, so every line is kept as it was.
constexpr char kHideMark = '\xC0';
constexpr char kHiddenNul = '\x80';

std::string HideNul(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0' || c == kHideMark) {
      out.push_back(kHideMark);
      out.push_back(c == '\0' ? kHiddenNul : kHideMark);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string RevealNul(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == kHideMark && i + 1 < text.size() &&
        (text[i + 1] == kHiddenNul || text[i + 1] == kHideMark)) {
      out.push_back(text[i + 1] == kHiddenNul ? '\0' : kHideMark);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

bool EnclosedInQuotes(std::string_view value) {
  return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

}  // namespace

struct IniFile::Impl {
  fs::path path;
  // Case-insensitive names, duplicated keys kept (the first is read), no multi-line values.
  CSimpleIniA ini{false, true, false};
  Encoding encoding = Encoding::kBytes;
  bool crlf = false;
  bool unreadable = false;
};

IniFile::IniFile(const fs::path& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->ini.SetSpaces(false);
  impl_->ini.SetQuotes(false);  // quotes are handled here, both kinds, as the platform reader does
  std::string data = ReadWholeFile(path, &impl_->unreadable);
  const std::string_view view = data;
  if (view.starts_with(kUtf16LeBom)) {
    impl_->encoding = Encoding::kUtf16Le;
    data = Utf16LeToUtf8(view.substr(kUtf16LeBom.size()));
  } else if (view.starts_with(kUtf8Bom)) {
    impl_->encoding = Encoding::kUtf8Bom;
    data.erase(0, kUtf8Bom.size());
  }
  impl_->crlf = data.find("\r\n") != std::string::npos;
  if (impl_->ini.LoadData(HideNul(data)) < 0) {
    impl_->ini.Reset();
    impl_->unreadable = true;
  }
}

IniFile::~IniFile() = default;

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const char* value = impl_->ini.GetValue(HideNul(section).c_str(), HideNul(key).c_str(), nullptr);
  if (value == nullptr) return std::nullopt;
  // A value ends at its NUL, as for a reader of the file's bytes.
  const std::string bytes = RevealNul(value);
  std::string_view text = std::string_view(bytes).substr(0, bytes.find('\0'));
  if (EnclosedInQuotes(text)) text = text.substr(1, text.size() - 2);
  return std::string(text);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view text) {
  std::string value(text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3))));
  // Surrounding blanks and enclosing quotes would be lost on reading: quote them to keep them.
  if (!value.empty() &&
      (IsBlank(value.front()) || IsBlank(value.back()) || EnclosedInQuotes(value)))
    value = '"' + value + '"';
  impl_->ini.SetValue(HideNul(section).c_str(), HideNul(key).c_str(), HideNul(value).c_str(),
                      nullptr, true);
}

bool IniFile::Save() const {
  // Rewriting a file that exists but could not be read would destroy it.
  if (impl_->unreadable) return false;
  std::string text;
  if (impl_->ini.Save(text, false) < 0) return false;
  text = RevealNul(text);
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && impl_->crlf) lines.push_back('\r');
    lines.push_back(text[i]);
  }
  switch (impl_->encoding) {
    case Encoding::kUtf16Le:
      return WriteFileAtomically(impl_->path, std::string(kUtf16LeBom) + Utf8ToUtf16Le(lines));
    case Encoding::kUtf8Bom:
      return WriteFileAtomically(impl_->path, std::string(kUtf8Bom) + lines);
    case Encoding::kBytes:
      break;
  }
  return WriteFileAtomically(impl_->path, lines);
}

bool IniWriteValues(const fs::path& path, std::string_view section,
                    std::span<const IniValue> values) {
  static std::mutex writers;
  const std::lock_guard lock(writers);
  IniFile file(path);
  for (const IniValue& value : values)
    file.Set(section, value.key, value.text);
  return file.Save();
}

void CutToUnits(std::string* text, std::size_t maxUnits) {
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < text->size()) {
    const std::size_t start = i;
    units += NextCodePoint(*text, &i) >= 0x10000 ? 2 : 1;
    if (units > maxUnits) {
      text->resize(start);
      return;
    }
  }
}
