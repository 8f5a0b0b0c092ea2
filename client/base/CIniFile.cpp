#include "client/base/CIniFile.h"

#include "platform/Encoding.h"
#include "platform/Profile.h"
#include "platform/ProgramDir.h"

namespace {

// The read buffer of the profile call holds 1000 bytes including the terminator.
constexpr std::size_t kReadBufferSize = 1000;

// Drops a lead byte left without its trail byte by a cut at the buffer size, so that a
// cut never turns into a replacement character.
void DropDanglingLeadByte(std::string& gbk) {
  std::size_t i = 0;
  while (i < gbk.size()) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    if (c >= 0x81 && c != 0xFF) {
      if (i + 1 == gbk.size()) {
        gbk.pop_back();
        return;
      }
      i += 2;
    } else {
      ++i;
    }
  }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

}  // namespace

CIniFile::CIniFile(std::string relativeName) : m_relativeName(std::move(relativeName)) {}

std::string CIniFile::NativePath() const { return plat::JoinProgramPath(m_relativeName); }

std::string CIniFile::ProgramDirectory() { return plat::ProgramDirectory(); }

namespace {

// A value as read (GBK, cut to the buffer) as the caller gets it.
std::string ReadValue(std::string gbk) {
  if (gbk.size() >= kReadBufferSize - 1) DropDanglingLeadByte(gbk);
  // The backslash-n rule applies after decoding: in GBK a backslash byte can also be the
  // second half of a Chinese character.
  std::string text = plat::GbkToUtf8(gbk);
  ReplaceAll(text, "\\n", "\n");
  return text;
}

}  // namespace

std::string CIniFile::ReadString(const std::string& section, const std::string& key) const {
  return ReadValue(plat::GetPrivateProfileString(plat::Utf8ToGbk(section), plat::Utf8ToGbk(key), "",
                                                 NativePath(), kReadBufferSize));
}

std::vector<std::string> CIniFile::ReadStrings(const std::string& section,
                                               const std::vector<std::string>& keys) const {
  std::vector<std::string> gbkKeys;
  for (const std::string& key : keys) gbkKeys.push_back(plat::Utf8ToGbk(key));
  std::vector<std::string> values = plat::GetPrivateProfileStrings(
      plat::Utf8ToGbk(section), gbkKeys, NativePath(), kReadBufferSize);
  for (std::string& value : values) value = ReadValue(std::move(value));
  return values;
}

int CIniFile::ReadInt(const std::string& section, const std::string& key) const {
  return plat::GetPrivateProfileInt(plat::Utf8ToGbk(section), plat::Utf8ToGbk(key), 0,
                                    NativePath());
}

namespace {

// A raw line break would end the value and start a stray line in the file; it is stored as
// the two characters that ReadString turns back into a line break.
std::string StoredValue(const std::string& value) {
  std::string stored = value;
  ReplaceAll(stored, "\r\n", "\\n");
  ReplaceAll(stored, "\n", "\\n");
  ReplaceAll(stored, "\r", "\\n");
  return plat::Utf8ToGbk(stored);
}

}  // namespace

bool CIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) const {
  return plat::WritePrivateProfileString(plat::Utf8ToGbk(section), plat::Utf8ToGbk(key),
                                         StoredValue(value), NativePath());
}

bool CIniFile::WriteStrings(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& entries,
                            int mode) const {
  std::vector<std::pair<std::string, std::string>> stored;
  stored.reserve(entries.size());
  for (const auto& [key, value] : entries)
    stored.emplace_back(plat::Utf8ToGbk(key), StoredValue(value));
  return plat::WritePrivateProfileStrings(plat::Utf8ToGbk(section), stored, NativePath(), mode);
}
