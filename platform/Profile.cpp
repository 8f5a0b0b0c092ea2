#include "platform/Profile.h"

#include "platform/AsciiCase.h"
#include "platform/ProfileFile.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Files are parsed line by line on every call. A line is one of: a section header
// "[name]" (text after the closing bracket ignored), a comment (first non-blank character
// ';'), a blank line, or an entry "key=value". A non-blank line without '=' is an entry
// with an empty value, as Windows reads it. Lines before the first header belong to no
// section. Only the first section of a name is searched, and in it the first key.
// Reading and replacing the file is the platform's part (ProfileFile.h).

namespace plat {
namespace {

using profile_file::EditResult;
using profile_file::ModifyFile;
using profile_file::ReadFileBytes;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct Line {
  std::string text;  // without line end
  std::string eol;   // "\r\n", "\n" or "" (last line without line end)
};

enum class Kind { Blank, Comment, Section, Entry, Other };

struct Parsed {
  Kind kind = Kind::Blank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // entry value, trimmed
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

using plat::AsciiIEquals;
bool IEquals(std::string_view a, std::string_view b) { return AsciiIEquals(a, b); }

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) {
      lines.push_back({content.substr(pos), ""});
      break;
    }
    std::size_t end = nl;
    std::string eol = "\n";
    if (end > pos && content[end - 1] == '\r') {
      --end;
      eol = "\r\n";
    }
    lines.push_back({content.substr(pos, end - pos), eol});
    pos = nl + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& l : lines) out += l.text + l.eol;
  return out;
}

// The line end new lines get: that of the file's first line, CRLF for a new file.
std::string FileEol(const std::vector<Line>& lines) {
  for (const Line& l : lines)
    if (!l.eol.empty()) return l.eol;
  return "\r\n";
}

Parsed ParseLine(std::string_view text, bool firstLine) {
  if (firstLine && text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  std::string_view t = Trim(text);
  Parsed p;
  if (t.empty()) return p;
  if (t.front() == ';') {
    p.kind = Kind::Comment;
    return p;
  }
  if (t.front() == '[') {
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) {
      p.kind = Kind::Other;
      return p;
    }
    p.kind = Kind::Section;
    p.name = Trim(t.substr(1, close - 1));
    return p;
  }
  p.kind = Kind::Entry;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) {
    p.name = t;
  } else {
    p.name = Trim(t.substr(0, eq));
    p.value = Trim(t.substr(eq + 1));
  }
  return p;
}

// Where a section and a key are in a file.
struct Location {
  std::optional<std::size_t> section;  // header line of the first matching section
  std::optional<std::size_t> key;      // first matching entry inside it
  std::size_t insertAt = 0;            // after the last non-blank line of the section
};

Location Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location loc;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Parsed p = ParseLine(lines[i].text, i == 0);
    if (!loc.section) {
      if (p.kind == Kind::Section && IEquals(p.name, section)) {
        loc.section = i;
        loc.insertAt = i + 1;
      }
      continue;
    }
    if (p.kind == Kind::Section) break;
    if (p.kind == Kind::Blank) continue;
    loc.insertAt = i + 1;
    if (!loc.key && p.kind == Kind::Entry && !key.empty() && IEquals(p.name, key)) loc.key = i;
  }
  return loc;
}

// Cuts a value to at most `limit` bytes without leaving half of a GBK double-byte
// character at the end.
std::string CutToBuffer(std::string_view s, std::size_t limit) {
  if (s.size() <= limit) return std::string(s);
  std::size_t i = 0;
  while (i < limit) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
    if (i + len > limit) break;
    i += len;
  }
  return std::string(s.substr(0, i));
}

bool ValidName(std::string_view name, bool isSection) {
  if (name.empty()) return false;
  for (char c : name)
    if (c == '\n' || c == '\r' || c == '\0') return false;
  if (isSection) return name.find(']') == std::string_view::npos;
  // A key must read back as the same key: no '=', and not a header or comment.
  return name.find('=') == std::string_view::npos && name.front() != '[' && name.front() != ';';
}

// The values of keys in one section from one read of the file. fallback (cut to the buffer)
// stands for each key that is blank or missing, and for all of them when the section name is
// blank or the file cannot be read. bufferSize > 0.
std::vector<std::string> LookUp(const std::string& section, const std::vector<std::string>& keys,
                                std::string_view fallback, const std::string& nativeFile,
                                std::size_t bufferSize) {
  std::vector<std::string> values(keys.size(), CutToBuffer(fallback, bufferSize - 1));
  std::string_view sec = Trim(section);
  if (sec.empty()) return values;
  auto content = ReadFileBytes(nativeFile);
  if (!content) return values;
  const std::vector<Line> lines = SplitLines(*content);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    std::string_view k = Trim(keys[i]);
    if (k.empty()) continue;
    Location loc = Locate(lines, sec, k);
    if (!loc.key) continue;
    std::string_view value = ParseLine(lines[*loc.key].text, *loc.key == 0).value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    values[i] = CutToBuffer(value, bufferSize - 1);
  }
  return values;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& nativeFile,
                                    std::size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  std::string_view fallback = def;
  // Windows strips trailing blanks from the default.
  while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
    fallback.remove_suffix(1);
  return LookUp(section, {key}, fallback, nativeFile, bufferSize).front();
}

std::vector<std::string> GetPrivateProfileStrings(const std::string& section,
                                                  const std::vector<std::string>& keys,
                                                  const std::string& nativeFile,
                                                  std::size_t bufferSize) {
  if (bufferSize == 0) return std::vector<std::string>(keys.size());
  return LookUp(section, keys, "", nativeFile, bufferSize);
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int def,
                         const std::string& nativeFile) {
  std::string text = GetPrivateProfileString(section, key, "", nativeFile, 1024);
  if (text.empty()) return def;
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  // Windows accumulates in 32 bits without an overflow check.
  std::uint32_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

namespace {

// Sets key in lines; false when it already had the value.
bool SetEntry(std::vector<Line>& lines, std::string_view sec, std::string_view k,
              const std::string& value) {
  const std::string eol = FileEol(lines);
  Location loc = Locate(lines, sec, k);
  if (loc.key) {
    Line& line = lines[*loc.key];
    // The entry keeps the name as the file spells it.
    std::string updated = std::string(ParseLine(line.text, false).name) + "=" + value;
    if (updated == line.text) return false;
    line.text = updated;
  } else {
    std::vector<Line> added;
    if (!loc.section) added.push_back({"[" + std::string(sec) + "]", eol});
    added.push_back({std::string(k) + "=" + value, eol});
    std::size_t at = loc.section ? loc.insertAt : lines.size();
    if (at > 0 && lines[at - 1].eol.empty()) lines[at - 1].eol = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }
  return true;
}

bool ValidValue(const std::string& value) {
  // A line break in the value would split the entry and inject lines into the file.
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& nativeFile) {
  return WritePrivateProfileStrings(section, {{key, value}}, nativeFile);
}

bool WritePrivateProfileStrings(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries,
                                const std::string& nativeFile, int mode) {
  std::string_view sec = Trim(section);
  if (!ValidName(sec, true) || entries.empty()) return false;
  for (const auto& [key, value] : entries)
    if (!ValidName(Trim(key), false) || !ValidValue(value)) return false;
  return ModifyFile(
      nativeFile, true,
      [&](std::string& content) {
        std::vector<Line> lines = SplitLines(content);
        bool changed = false;
        for (const auto& [key, value] : entries)
          changed = SetEntry(lines, sec, Trim(key), value) || changed;
        if (!changed) return EditResult::Unchanged;
        content = JoinLines(lines);
        return EditResult::Changed;
      },
      mode);
}

bool DeletePrivateProfileKey(const std::string& section, const std::string& key,
                             const std::string& nativeFile) {
  std::string_view sec = Trim(section), k = Trim(key);
  if (sec.empty() || k.empty()) return false;
  return ModifyFile(nativeFile, false, [&](std::string& content) {
    std::vector<Line> lines = SplitLines(content);
    Location loc = Locate(lines, sec, k);
    if (!loc.key) return EditResult::Unchanged;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*loc.key));
    content = JoinLines(lines);
    return EditResult::Changed;
  });
}

}  // namespace plat
