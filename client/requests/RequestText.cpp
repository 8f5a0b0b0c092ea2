#include "client/requests/RequestText.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Encoding.h"

namespace orvreq {

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
  return out;
}

std::string AfterLast(const std::string& text, char ch) {
  const auto pos = text.rfind(ch);
  return pos == std::string::npos ? std::string() : text.substr(pos + 1);
}

}  // namespace orvreq
