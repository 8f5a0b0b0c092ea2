#pragma once
// Text helpers of the request controllers: reading answer values the way every controller
// does, and building request URLs and local file names safely.
#include <json/json.h>

#include <functional>
#include <string>
#include <string_view>

#include "client/base/JsonText.h"
#include "client/base/RequestResult.h"

namespace orvreq {

// Answers nested deeper than this are unusable (JsonCpp's own limit throws at 1000).
inline constexpr int kMaxJsonDepth = 256;

// Parses a JSON answer into out: invalid UTF-8 is replaced first, nesting is limited, and
// no exception of the JSON library leaves the call. features are JsonCpp reader settings
// (nullptr: the defaults); their stack limit is lowered to kMaxJsonDepth. An empty text,
// a syntax error or too deep a document is Unusable, logged under what; out is then null.
RequestResult ParseJsonAnswer(const std::string& what, std::string_view text, Json::Value& out,
                              const Json::Value* features = nullptr);
// The same parse without a status or a log line (for a caller that tries many texts):
// false, out null and the reason in error (if given) where ParseJsonAnswer is Unusable.
bool ParseJson(std::string_view text, Json::Value& out, const Json::Value* features = nullptr,
               std::string* error = nullptr);

// Reads a JSON object one member at a time, so a large answer never exists as one tree:
// each member's value is parsed on its own and handed to onMember, except that the elements
// of the member arrayKey, when it holds an array, are parsed and handed to onElement one at
// a time. Values read exactly as ParseJson reads them inside the whole text. False (after
// perhaps some calls) when the text is not a plain object this reader follows: comments,
// trailing commas, a repeated or escaped member name, text after the object, deep nesting or
// anything ParseJson would refuse. The caller then drops what it got and parses the whole
// text with ParseJson, which reads it or gives the reason.
bool StreamJsonObject(
    std::string_view text, std::string_view arrayKey,
    const std::function<void(const std::string& key, Json::Value& value)>& onMember,
    const std::function<void(Json::Value& element)>& onElement,
    const Json::Value* features = nullptr);

// "an array", "a string", "a number", "a boolean", "null" or "an object" (reasons).
const char* JsonTypeName(const Json::Value& value);
// The member `key` of an object as text; "" when obj is not an object or the member is not
// a string.
std::string JsonString(const Json::Value& obj, const std::string& key);
// Decimal text-to-integer of a string member (0 when not a number); a JSON number is taken
// as it is.
int JsonDecimal(const Json::Value& obj, const std::string& key);
// The member's truth value: true, a non-zero number, a non-empty string, array or object.
bool JsonTruth(const Json::Value& obj, const std::string& key);
// The member, or null when obj is not an object.
const Json::Value& JsonMember(const Json::Value& obj, const std::string& key);
// True when value is an object with at least one member.
bool HasMembers(const Json::Value& value);

// Percent-encodes the GBK bytes of a UTF-8 text for a URL query value (everything but
// letters, digits and "-._~").
std::string QueryValue(const std::string& utf8);
// Text between double quotes with the JSON specials escaped (the base helper).
using ::JsonQuoted;
// Longest piece FileNamePart gives (bytes): with a folder and an extension the whole name
// stays well under the 255 bytes a file system allows.
inline constexpr size_t kMaxFileNamePart = 120;
// A piece of a local file name taken from data: path separators become '_', so the piece
// cannot leave its folder. A longer text is cut to kMaxFileNamePart bytes (on a character
// boundary) ending in "~" and 8 hex digits of the whole text's hash, so two long names
// that share their start still differ.
std::string FileNamePart(const std::string& text);
// 16 lower-case hex digits of a 64-bit FNV-1a hash of text.
std::string HashHex(std::string_view text);
// The text after the last occurrence of ch; "" when ch does not occur.
std::string AfterLast(const std::string& text, char ch);

}  // namespace orvreq
