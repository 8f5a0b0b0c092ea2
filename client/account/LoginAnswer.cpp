#include "client/account/LoginAnswer.h"

#include <tinyxml.h>

#include <cstring>

#include "client/base/XmlLimits.h"
#include "client/base/XmlParseLock.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/ProgramDir.h"

namespace {

const TiXmlElement* FindTransfer(const TiXmlElement* element) {
  if (element == nullptr) return nullptr;
  if (std::strcmp(element->Value(), "Transfer") == 0) return element;
  for (const TiXmlElement* child = element->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (const TiXmlElement* found = FindTransfer(child)) return found;
  }
  return nullptr;
}

// Keeps the blanks of text values for the duration of one parse: a status of " 1" must
// not read as "1". The setting is process-wide in the XML library, hence restored.
class KeepWhiteSpace {
 public:
  KeepWhiteSpace() : m_previous(TiXmlBase::IsWhiteSpaceCondensed()) {
    TiXmlBase::SetCondenseWhiteSpace(false);
  }
  ~KeepWhiteSpace() { TiXmlBase::SetCondenseWhiteSpace(m_previous); }
  KeepWhiteSpace(const KeepWhiteSpace&) = delete;
  KeepWhiteSpace& operator=(const KeepWhiteSpace&) = delete;

 private:
  bool m_previous;
};

}  // namespace

LoginAnswer LoginAnswer::ParseGbk(const std::string& gbkText) {
  LoginAnswer answer;
  if (gbkText.empty()) {
    answer.result = RequestResult::NoAnswer("login service", "no answer");
  } else if (gbkText.size() > kMaxXmlAnswerBytes) {
    answer.result = RequestResult::Unusable("login service", "answer too large");
    return answer;  // not kept either
  } else if (!XmlNestingWithin(gbkText)) {
    answer.result = RequestResult::Unusable("login service", "answer nested too deep");
    return answer;
  }
  plat::MakeDirectories(plat::JoinProgramPath("\\temp"));
  const std::string path = plat::JoinProgramPath(kTempFile);
  // Owner only: the answer carries the session's key.
  plat::WritePrivateFile(path, gbkText);

  // The text just written is parsed, not the file read back: a file that cannot be
  // written (say a read-only copy left by another account) would otherwise hand over the
  // previous answer, possibly an old successful login.
  const std::string normalised = XmlLfLineEnds(gbkText);

  const auto xmlLock = LockXmlParsing();
  KeepWhiteSpace keep;
  TiXmlDocument doc;
  // The text is GBK whatever its declaration says (the answer was converted before it was
  // written), so its bytes are read as they are rather than as UTF-8.
  doc.Parse(normalised.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  if (doc.Error()) {
    if (answer.result) answer.result = RequestResult::Unusable("login service", "not XML");
    return answer;
  }

  const TiXmlElement* transfer = FindTransfer(doc.RootElement());
  if (transfer == nullptr) {
    answer.result = RequestResult::Unusable("login service", "no Transfer element");
    return answer;
  }
  for (const TiXmlElement* child = transfer->FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    const char* text = child->GetText();
    if (text == nullptr) continue;
    const std::string name = child->Value();
    std::string* field = name == "transferID"          ? &answer.transferID
                         : name == "transferStatus"    ? &answer.transferStatus
                         : name == "statusDescription" ? &answer.statusDescription
                         : name == "errorInfo"         ? &answer.errorInfo
                                                       : nullptr;
    if (field != nullptr) *field = plat::GbkToUtf8(text);
  }
  return answer;
}
