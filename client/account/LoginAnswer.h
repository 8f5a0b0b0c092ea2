#pragma once
// The platform's answer to a login or logout: the children of its first "Transfer"
// element. Each field is empty unless the answer carries it. Texts are UTF-8.
#include <string>

#include "client/base/RequestResult.h"

struct LoginAnswer {
  std::string transferID;
  std::string transferStatus;
  std::string statusDescription;
  std::string errorInfo;
  // NoAnswer for an empty answer; Unusable for one too large (kMaxXmlAnswerBytes), nested
  // too deep, not XML, or without "Transfer".
  RequestResult result;

  // Relative name of the file that keeps the last answer on disk.
  static constexpr const char* kTempFile = "\\temp\\TempData.xml";

  // Writes the answer text (GBK bytes) to "\temp\TempData.xml", overwriting it, parses
  // the same text and reads the first "Transfer" element found depth-first from the root. An
  // empty or unreadable answer, or one without "Transfer", gives four empty fields.
  static LoginAnswer ParseGbk(const std::string& gbkText);
};
