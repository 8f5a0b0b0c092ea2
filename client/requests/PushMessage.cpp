#include "client/requests/PushMessage.h"

#include <json/json.h>

#include <memory>

#include "client/requests/RequestText.h"
#include "platform/Encoding.h"

void PushMessageFramer::Feed(const char* data, size_t size) { m_buffer.append(data, size); }

std::optional<std::string> PushMessageFramer::Next() {
  const size_t start = m_buffer.find('{');
  if (start == std::string::npos) {
    m_buffer.clear();
    return std::nullopt;
  }
  m_buffer.erase(0, start);

  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < m_buffer.size(); ++i) {
    const auto c = static_cast<unsigned char>(m_buffer[i]);
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
      std::string message = m_buffer.substr(0, i + 1);
      m_buffer.erase(0, i + 1);
      return message;
    }
  }
  if (m_buffer.size() > kMaxMessageBytes) m_buffer.clear();
  return std::nullopt;
}

std::optional<PushMessage> ParsePushMessage(const std::string& gbkText) {
  const std::string text = plat::GbkToUtf8(gbkText);
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors) || !root.isObject())
    return std::nullopt;
  PushMessage message;
  message.title = orvreq::JsonString(root, "tittle");  // the server's spelling
  message.content = orvreq::JsonString(root, "content");
  message.url = orvreq::JsonString(root, "url");
  return message;
}
