#pragma once
// Limits on XML answers from servers (the login answer, the update descriptor). The XML
// library parses nested elements recursively: a document nested a few hundred thousand
// levels deep would overflow the stack, so the nesting is scanned cheaply before parsing.
#include <cstddef>
#include <string>
#include <string_view>

// Larger XML answers are unusable.
inline constexpr size_t kMaxXmlAnswerBytes = 1024 * 1024;
// Deeper element nesting is unusable (the platform's documents are a few levels deep).
inline constexpr size_t kMaxXmlDepth = 256;

// NUL bytes to put after a text given to the XML library: it steps over a UTF-8 sequence
// by its lead byte's length (at most 4), past the terminator when the text ends inside one.
inline constexpr size_t kXmlEndPadding = 4;

// True when no element of text is nested deeper than maxDepth. Comments, CDATA sections,
// processing instructions, declarations and quoted attribute values are skipped; the scan
// is linear and needs no memory.
bool XmlNestingWithin(std::string_view text, size_t maxDepth = kMaxXmlDepth);

// The text with every CR LF and lone CR made LF, as the XML library's file loader does
// before it parses: a text checked here and parsed from memory reads as the file would.
std::string XmlLfLineEnds(std::string_view text);
