#pragma once
// The one gate for every link handed to the desktop (browser, opener): links arrive from
// server answers and pushed messages, so only plain web addresses may pass. Portable code:
// every platform's shell calls it.
#include <string>
#include <string_view>

namespace plat {

// Longest link accepted, in bytes.
inline constexpr std::size_t kMaxLinkLength = 4096;

enum class LinkVerdict {
  Allowed,
  Empty,
  TooLong,
  BadCharacter,  // whitespace, a control character or a byte outside ASCII
  NotWeb,        // not an absolute http:// or https:// address with a host
};

// Judges a link: Allowed only for an absolute http or https URL with a host, no whitespace,
// no control characters, only printable ASCII (percent-encoded text is fine), at most
// kMaxLinkLength bytes.
LinkVerdict CheckLink(std::string_view url);
inline bool IsAllowedLink(std::string_view url) { return CheckLink(url) == LinkVerdict::Allowed; }

// The small page that sends the browser on to url (a link the gate allowed; HTML-escaped):
// a URL carrying a secret reaches the browser through it instead of a command line.
std::string RedirectPageHtml(const std::string& url);

// A short English reason for a verdict (log lines).
const char* LinkVerdictText(LinkVerdict verdict);

}  // namespace plat
