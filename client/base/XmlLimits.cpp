#include "client/base/XmlLimits.h"

namespace {

// Position just past the first occurrence of end at or after from; npos when absent.
size_t PastNext(std::string_view text, size_t from, std::string_view end) {
  const size_t at = text.find(end, from);
  return at == std::string_view::npos ? at : at + end.size();
}

}  // namespace

bool XmlNestingWithin(std::string_view text, size_t maxDepth) {
  size_t depth = 0;
  size_t i = 0;
  while ((i = text.find('<', i)) != std::string_view::npos) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("<!--")) {
      i = PastNext(text, i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = PastNext(text, i + 9, "]]>");
    } else if (rest.starts_with("<?") || rest.starts_with("<!")) {
      i = PastNext(text, i + 2, ">");
    } else if (rest.starts_with("</")) {
      if (depth > 0) --depth;
      i = PastNext(text, i + 2, ">");
    } else {
      // A start tag: find its end outside quoted attribute values.
      char quote = 0;
      size_t j = i + 1;
      for (; j < text.size(); ++j) {
        const char c = text[j];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (j >= text.size()) return depth <= maxDepth;  // unfinished: the parser refuses it
      if (text[j - 1] != '/' && ++depth > maxDepth) return false;
      i = j + 1;
    }
    if (i == std::string_view::npos) break;
  }
  return true;
}

std::string XmlLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return out;
}
