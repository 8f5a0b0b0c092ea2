#include "client/requests/PushMessage.h"

#include <json/json.h>

#include "client/base/ShellText.h"
#include "client/requests/RequestText.h"
#include "platform/Encoding.h"

void PushMessageFramer::Feed(const char* data, size_t size) { m_buffer.append(data, size); }

namespace {

// End (one past the closing brace) of the object text starting at buffer[start] == '{';
// npos while it is unfinished. GBK lead bytes take their second byte with them.
size_t ObjectEnd(const std::string& buffer, size_t start) {
  int depth = 0;
  bool inString = false;
  for (size_t i = start; i < buffer.size(); ++i) {
    const auto c = static_cast<unsigned char>(buffer[i]);
    if (c >= 0x81 && c <= 0xFE) {
      ++i;  // lead byte of a two-byte character: its second byte is not syntax
      continue;
    }
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string::npos;
}

// A text the push server could have sent: a JSON object (its GBK second bytes may look
// like quotes or backslashes, so it is judged as UTF-8). Many candidates may be tried while
// resynchronising: nothing is logged.
bool IsMessageObject(const std::string& gbkText) {
  Json::Value root;
  return orvreq::ParseJson(plat::GbkToUtf8(gbkText), root) && root.isObject();
}

}  // namespace

std::optional<std::string> PushMessageFramer::Next() {
  while (true) {
    const size_t first = m_buffer.find('{');
    if (first == std::string::npos) {
      m_buffer.clear();
      return std::nullopt;
    }
    m_buffer.erase(0, first);

    // The object at the front, when it is a well-formed message.
    const size_t end = ObjectEnd(m_buffer, 0);
    if (end != std::string::npos) {
      std::string message = m_buffer.substr(0, end);
      if (IsMessageObject(message)) {
        m_buffer.erase(0, end);
        return message;
      }
    }
    // The front is malformed (it closed as no JSON object, or it will never close: an
    // unclosed brace, a quote swallowed by a GBK lead byte, garbage). Resynchronise on the
    // first later object that is a well-formed message (the server's start with '{"'); the
    // malformed text alone is lost. An unfinished front with no such object after it
    // simply waits for more bytes.
    int tries = 0;
    for (size_t start = m_buffer.find("{\"", 1);
         start != std::string::npos && tries < kMaxResyncTries;
         start = m_buffer.find("{\"", start + 1), ++tries) {
      const size_t later = ObjectEnd(m_buffer, start);
      if (later == std::string::npos) continue;
      std::string message = m_buffer.substr(start, later - start);
      if (IsMessageObject(message)) {
        m_buffer.erase(0, later);
        return message;
      }
    }
    if (end == std::string::npos) {
      if (m_buffer.size() > kMaxMessageBytes) m_buffer.clear();
      return std::nullopt;
    }
    // Closed but malformed, with nothing usable after it yet: drop it, look at what follows.
    m_buffer.erase(0, end);
  }
}

std::optional<PushMessage> ParsePushMessage(const std::string& gbkText) {
  const std::string text = plat::GbkToUtf8(gbkText);
  Json::Value root;
  // A message too deep or malformed is skipped; the push thread goes on.
  if (!orvreq::ParseJsonAnswer("push message", text, root) || !root.isObject()) return std::nullopt;
  PushMessage message;
  message.title = orvreq::JsonString(root, "tittle");  // the server's spelling
  message.content = orvreq::JsonString(root, "content");
  message.url = orvreq::JsonString(root, "url");
  // The push channel is plain TCP: a link the gate refuses makes a message without a link.
  if (!message.url.empty() && !LinkAllowedOrLogged(message.url)) message.url.clear();
  return message;
}
