#include "platform/LinkGate.h"

namespace plat {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

LinkVerdict CheckLink(std::string_view url) {
  if (url.empty()) return LinkVerdict::Empty;
  if (url.size() > kMaxLinkLength) return LinkVerdict::TooLong;
  for (char c : url) {
    const auto b = static_cast<unsigned char>(c);
    // Printable ASCII only: no blank, no control character, nothing an opener could split on.
    if (b <= 0x20 || b >= 0x7f) return LinkVerdict::BadCharacter;
    // A backslash is read as a slash by some browsers and as text by others.
    if (c == '\\') return LinkVerdict::BadCharacter;
  }
  std::string_view rest;
  if (StartsWithNoCase(url, "http://"))
    rest = url.substr(7);
  else if (StartsWithNoCase(url, "https://"))
    rest = url.substr(8);
  else
    return LinkVerdict::NotWeb;
  // The authority ends at the first '/', '?' or '#'; it must name a host.
  const std::size_t end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, end);
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (authority.empty() || authority.front() == ':') return LinkVerdict::NotWeb;
  return LinkVerdict::Allowed;
}

std::string RedirectPageHtml(const std::string& url) {
  const std::string target = HtmlEscaped(url);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
         "<meta http-equiv=\"refresh\" content=\"0;url=" +
         target + "\"></head>\n<body><a href=\"" + target + "\">" + target + "</a></body></html>\n";
}

const char* LinkVerdictText(LinkVerdict verdict) {
  switch (verdict) {
    case LinkVerdict::Allowed:
      return "allowed";
    case LinkVerdict::Empty:
      return "empty";
    case LinkVerdict::TooLong:
      return "too long";
    case LinkVerdict::BadCharacter:
      return "whitespace, control or non-ASCII character";
    case LinkVerdict::NotWeb:
      return "not an absolute http or https address";
  }
  return "refused";
}

}  // namespace plat
