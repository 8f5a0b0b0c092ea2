#include "updater/InstallationLookup.h"

#include <tinyxml.h>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"

namespace {

std::optional<std::string> ReadText(const std::string& key, const std::string& name) {
  std::optional<plat::reg::Value> value = plat::reg::ReadValue(key, name);
  if (!value) return std::nullopt;
  if (value->type != plat::reg::ValueType::Sz && value->type != plat::reg::ValueType::ExpandSz)
    return std::nullopt;
  return value->text;
}

const TiXmlElement* FindUrlElement(const TiXmlElement* element) {
  for (; element; element = element->NextSiblingElement()) {
    if (element->ValueStr() == "add") {
      const TiXmlAttribute* first = element->FirstAttribute();
      if (first && std::string(first->Name()) == "key" && std::string(first->Value()) == "Url")
        return element;
    }
    if (const TiXmlElement* inner = FindUrlElement(element->FirstChildElement())) return inner;
  }
  return nullptr;
}

}  // namespace

std::string UninstallListKey() {
  return std::string(plat::IsWow64Process() ? "SOFTWARE\\Wow6432Node\\" : "SOFTWARE\\") +
         "Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

std::optional<std::string> FindUninstallValue(const std::string& valueName) {
  const std::string list = UninstallListKey();
  if (!plat::reg::KeyExists(list)) return std::nullopt;
  for (const std::string& entry : plat::reg::EnumSubKeys(list)) {
    const std::string key = list + "\\" + entry;
    std::optional<std::string> displayName = ReadText(key, "DisplayName");
    if (!displayName || displayName->find(kClientDisplayName) == std::string::npos) continue;
    return ReadText(key, valueName);
  }
  return std::nullopt;
}

std::string ReadInstallerUrlBase(const std::string& confConfigPath) {
  // Read here rather than by the XML library, which opens files by their narrow name (a
  // Windows folder name outside the code page is not found). The NUL bytes after the text
  // keep the library's step over a UTF-8 sequence cut off at the end inside the buffer.
  constexpr size_t kMaxBytes = 1024 * 1024;
  std::string text;
  if (!plat::ReadFileHead(confConfigPath, kMaxBytes, text) || text.size() > kMaxBytes) return {};
  text.append(4, '\0');
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
  if (doc.Error()) return {};
  const TiXmlElement* root = doc.RootElement();
  if (!root) return {};
  const TiXmlElement* add = FindUrlElement(root->FirstChildElement());
  if (!add) return {};
  const char* value = add->Attribute("value");
  return value ? value : "";
}

bool RunSilent(const std::string& command) {
  std::string file = command;
  if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
    file = file.substr(1, file.size() - 2);
  if (file.empty()) return false;
  return plat::RunAndWait(file, plat::SplitParameters(kSilentUninstallParameters)) == 0;
}
