#include "client/requests/RequestText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <set>

#include "platform/Encoding.h"

namespace orvreq {

namespace {

// A "\udc00" escape decodes to bytes that are no UTF-8: string values are repaired after
// the parse as the raw text was before it.
void RepairStrings(Json::Value& value) {
  if (value.isString()) {
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    const std::string_view text(begin, static_cast<size_t>(end - begin));
    std::string repaired = plat::ValidUtf8(text);
    if (repaired != text) value = Json::Value(repaired);
  } else if (value.isArray() || value.isObject()) {
    for (Json::Value& child : value) RepairStrings(child);
  }
}

// One JsonCpp reader with the answers' settings, used for any number of texts.
class JsonReader {
 public:
  // slices: every text must be one value with nothing after it, as a member's value is
  // inside the whole text.
  JsonReader(const Json::Value* features, bool slices) {
    Json::CharReaderBuilder builder;
    if (features) builder.settings_ = *features;
    const Json::Value& limit = builder.settings_["stackLimit"];
    if (!limit.isInt() || limit.asInt() <= 0 || limit.asInt() > kMaxJsonDepth)
      builder.settings_["stackLimit"] = kMaxJsonDepth;
    m_depthLimit = builder.settings_["stackLimit"].asInt();
    if (slices) builder.settings_["failIfExtra"] = true;
    m_reader.reset(builder.newCharReader());
  }

  bool Parse(std::string_view text, Json::Value& out, std::string* error) {
    out = Json::Value();
    const auto fail = [error](std::string reason) {
      if (error) *error = std::move(reason);
      return false;
    };
    if (text.empty()) return fail("empty answer");
    const std::string clean = plat::ValidUtf8(text);
    std::string errors;
    try {
      Json::Value parsed;
      if (!m_reader->parse(clean.data(), clean.data() + clean.size(), &parsed, &errors))
        return fail("not JSON");
      RepairStrings(parsed);
      out = std::move(parsed);
    } catch (const std::exception& e) {
      // JsonCpp throws past its stack limit and on some malformed numbers.
      return fail(std::string("not JSON: ") + e.what());
    }
    return true;
  }

  int DepthLimit() const { return m_depthLimit; }

 private:
  std::unique_ptr<Json::CharReader> m_reader;
  int m_depthLimit = kMaxJsonDepth;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The structure of one object text, walked without decoding its values.
class ObjectWalker {
 public:
  ObjectWalker(std::string_view text, int depthLimit) : m_text(text), m_depthLimit(depthLimit) {}

  void SkipBlanks() {
    while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) ++m_pos;
  }
  bool AtEnd() const { return m_pos >= m_text.size(); }
  // Consumes c after blanks.
  bool Take(char c) {
    SkipBlanks();
    if (AtEnd() || m_text[m_pos] != c) return false;
    ++m_pos;
    return true;
  }
  bool Peek(char c) {
    SkipBlanks();
    return !AtEnd() && m_text[m_pos] == c;
  }
  // A member name of plain printable ASCII (anything else is left to the whole parse).
  bool Name(std::string& name) {
    if (!Take('"')) return false;
    const size_t start = m_pos;
    for (; m_pos < m_text.size() && m_text[m_pos] != '"'; ++m_pos) {
      const auto c = static_cast<unsigned char>(m_text[m_pos]);
      if (c == '\\' || c < 0x20 || c >= 0x80) return false;
    }
    if (AtEnd()) return false;
    name.assign(m_text.substr(start, m_pos - start));
    ++m_pos;
    return true;
  }
  // The text of the value that starts here, at nesting depth `depth` (of its container).
  bool Value(int depth, std::string_view& value) {
    SkipBlanks();
    const size_t start = m_pos;
    if (AtEnd()) return false;
    const char c = m_text[m_pos];
    bool ok = false;
    if (c == '"') {
      ok = SkipString();
    } else if (c == '{' || c == '[') {
      ok = SkipNested(depth);
    } else {
      while (m_pos < m_text.size() && IsTokenChar(m_text[m_pos])) ++m_pos;
      ok = m_pos > start;
    }
    value = m_text.substr(start, m_pos - start);
    return ok;
  }

 private:
  static bool IsTokenChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '+' ||
           c == '-' || c == '.';
  }
  bool SkipString() {
    for (++m_pos; m_pos < m_text.size(); ++m_pos) {
      if (m_text[m_pos] == '\\') {
        ++m_pos;
      } else if (m_text[m_pos] == '"') {
        ++m_pos;
        return true;
      }
    }
    return false;
  }
  // Bracket matching only; the value's parse checks the rest. A comment could hide a
  // bracket, so one ends the walk.
  bool SkipNested(int depth) {
    int level = 0;
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos];
      if (c == '"') {
        if (!SkipString()) return false;
        continue;
      }
      if (c == '{' || c == '[') {
        // A margin under the parser's limit: a value this reader passes never reaches it.
        if (depth + ++level > m_depthLimit - 2) return false;
      } else if (c == '}' || c == ']') {
        if (--level == 0) {
          ++m_pos;
          return true;
        }
      } else if (c == '/') {
        return false;
      }
      ++m_pos;
    }
    return false;
  }

  std::string_view m_text;
  int m_depthLimit;
  size_t m_pos = 0;
};

}  // namespace

bool ParseJson(std::string_view text, Json::Value& out, const Json::Value* features,
               std::string* error) {
  return JsonReader(features, false).Parse(text, out, error);
}

bool StreamJsonObject(
    std::string_view text, std::string_view arrayKey,
    const std::function<void(const std::string& key, Json::Value& value)>& onMember,
    const std::function<void(Json::Value& element)>& onElement, const Json::Value* features) {
  JsonReader reader(features, true);
  ObjectWalker walk(text, reader.DepthLimit());
  if (!walk.Take('{')) return false;
  std::set<std::string> seen;
  std::string name;
  std::string_view value;
  Json::Value parsed;
  if (!walk.Take('}')) {
    do {
      if (!walk.Name(name) || !seen.insert(name).second || !walk.Take(':')) return false;
      if (name == arrayKey && walk.Take('[')) {
        if (!walk.Take(']')) {
          do {
            if (!walk.Value(2, value) || !reader.Parse(value, parsed, nullptr)) return false;
            onElement(parsed);
          } while (walk.Take(','));
          if (!walk.Take(']')) return false;
        }
      } else {
        if (!walk.Value(1, value) || !reader.Parse(value, parsed, nullptr)) return false;
        onMember(name, parsed);
      }
    } while (walk.Take(','));
    if (!walk.Take('}')) return false;
  }
  walk.SkipBlanks();
  return walk.AtEnd();
}

RequestResult ParseJsonAnswer(const std::string& what, std::string_view text, Json::Value& out,
                              const Json::Value* features) {
  std::string error;
  if (!ParseJson(text, out, features, &error)) return RequestResult::Unusable(what, error);
  return RequestResult::Success();
}

const char* JsonTypeName(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return "null";
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
      return "a number";
    case Json::stringValue:
      return "a string";
    case Json::booleanValue:
      return "a boolean";
    case Json::arrayValue:
      return "an array";
    case Json::objectValue:
      return "an object";
  }
  return "unknown";
}

const Json::Value& JsonMember(const Json::Value& obj, const std::string& key) {
  static const Json::Value kNull;
  if (!obj.isObject()) return kNull;
  const Json::Value* found = obj.find(key.data(), key.data() + key.size());
  return found ? *found : kNull;
}

std::string JsonString(const Json::Value& obj, const std::string& key) {
  const Json::Value& v = JsonMember(obj, key);
  return v.isString() ? v.asString() : std::string();
}

int JsonDecimal(const Json::Value& obj, const std::string& key) {
  const Json::Value& v = JsonMember(obj, key);
  if (v.isString()) return std::atoi(v.asCString());
  if (v.isInt()) return v.asInt();
  if (v.isNumeric() && v.isConvertibleTo(Json::intValue)) return v.asInt();
  return 0;
}

bool JsonTruth(const Json::Value& obj, const std::string& key) {
  const Json::Value& v = JsonMember(obj, key);
  switch (v.type()) {
    case Json::booleanValue:
      return v.asBool();
    case Json::intValue:
      return v.asLargestInt() != 0;
    case Json::uintValue:
      return v.asLargestUInt() != 0;
    case Json::realValue:
      return v.asDouble() != 0.0;
    case Json::stringValue:
      return !v.asString().empty();
    case Json::arrayValue:
    case Json::objectValue:
      return !v.empty();
    default:
      return false;
  }
}

bool HasMembers(const Json::Value& value) { return value.isObject() && !value.empty(); }

std::string QueryValue(const std::string& utf8) {
  const std::string gbk = plat::Utf8ToGbk(utf8);
  std::string out;
  out.reserve(gbk.size() * 3);
  for (unsigned char c : gbk) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string FileNamePart(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '/' || c == '\\') c = '_';
  }
  if (out == "." || out == "..") out = "_";
  if (out.size() > kMaxFileNamePart) {
    const std::string tag = "~" + HashHex(text).substr(0, 8);
    size_t keep = kMaxFileNamePart - tag.size();
    // Never end inside a UTF-8 character: back off over its continuation bytes.
    while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xC0) == 0x80) --keep;
    out = out.substr(0, keep) + tag;
  }
  return out;
}

std::string HashHex(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<size_t>(i)] = kDigits[hash & 15];
  return hex;
}

std::string AfterLast(const std::string& text, char ch) {
  const auto pos = text.rfind(ch);
  return pos == std::string::npos ? std::string() : text.substr(pos + 1);
}

}  // namespace orvreq
