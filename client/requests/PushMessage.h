#pragma once
// One message of the push server, and the framing of the server's byte stream into
// messages.
#include <cstddef>
#include <optional>
#include <string>

struct PushMessage {
  std::string title;
  std::string content;
  std::string url;
};

// Cuts the push stream into JSON object texts. The server writes GBK; the scan knows GBK's
// two-byte characters, whose second byte may look like a brace or a backslash. Bytes
// before an object are skipped; an unfinished object waits for the next receive. A
// malformed object (never closed, not JSON) is dropped as soon as a well-formed message
// follows it, so it loses only itself.
class PushMessageFramer {
 public:
  // A pending text that grows past this without closing is dropped.
  static constexpr size_t kMaxMessageBytes = 65536;
  // Later object starts examined per call while the front is malformed.
  static constexpr int kMaxResyncTries = 256;

  void Feed(const char* data, size_t size);
  // The next complete object text (GBK bytes), if any.
  std::optional<std::string> Next();
  void Reset() { m_buffer.clear(); }
  size_t Pending() const { return m_buffer.size(); }

 private:
  std::string m_buffer;
};

// The message of one object text (GBK bytes); nothing when it is not a JSON object.
std::optional<PushMessage> ParsePushMessage(const std::string& gbkText);
