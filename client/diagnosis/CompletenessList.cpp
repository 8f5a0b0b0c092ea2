#include "client/diagnosis/CompletenessList.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "platform/ProgramDir.h"

namespace fs = std::filesystem;

namespace {

// A file name as UTF-8 text (the native form is UTF-16 on Windows).
std::string Utf8Name(const fs::path& p) {
  const std::u8string name = p.filename().u8string();
  return std::string(name.begin(), name.end());
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The list as it is built: INI semantics (section and key names compare case-insensitively,
// a second write of a key replaces its value in place, new sections and keys go at the end).
class IniModel {
 public:
  void Set(const std::string& section, const std::string& key, const std::string& value) {
    auto [it, added] = m_sectionIndex.try_emplace(Lower(section), m_sections.size());
    if (added) m_sections.push_back({section, {}, {}});
    Section& s = m_sections[it->second];
    auto [kit, keyAdded] = s.keyIndex.try_emplace(Lower(key), s.keys.size());
    if (keyAdded)
      s.keys.emplace_back(key, value);
    else
      s.keys[kit->second].second = value;
  }

  bool Empty() const { return m_sections.empty(); }

  // GBK bytes of the file.
  std::string Text() const {
    std::string utf8;
    for (const Section& s : m_sections) {
      utf8 += "[" + s.name + "]\r\n";
      for (const auto& [key, value] : s.keys) utf8 += key + "=" + value + "\r\n";
    }
    return plat::Utf8ToGbk(utf8);
  }

 private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
    std::unordered_map<std::string, size_t> keyIndex;
  };
  std::vector<Section> m_sections;
  std::unordered_map<std::string, size_t> m_sectionIndex;
};

// "%d" of the low 32 bits, signed, as the list has always recorded sizes.
std::string SizeText(std::uintmax_t size) {
  return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(size)));
}

class Walker {
 public:
  Walker(IniModel& model, fs::path listFile) : m_model(model), m_listFile(std::move(listFile)) {}

  void Walk(const fs::path& folder, const std::string& section) {
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      entries.push_back(it->path());
    // The list is written as the walk goes: once it has a first key, it is a file of
    // its folder like any other.
    if (folder == m_listFile.parent_path() && !m_model.Empty() &&
        std::find(entries.begin(), entries.end(), m_listFile) == entries.end())
      entries.push_back(m_listFile);
    std::sort(entries.begin(), entries.end(), [](const fs::path& a, const fs::path& b) {
      return a.filename().native() < b.filename().native();
    });
    for (const fs::path& entry : entries) {
      const std::string name = Utf8Name(entry);
      if (entry == m_listFile) {
        if (!m_model.Empty()) m_model.Set(section, name, SizeText(m_model.Text().size()));
        continue;
      }
      std::error_code sec;
      const fs::file_status link = fs::symlink_status(entry, sec);
      // A symbolic link to a folder is not followed: it could lead back up the tree.
      if (fs::is_directory(link)) {
        // The thread log's folder changes with every run and no release ships it: listed,
        // it would make every client that has logged differ from its release.
        if (section == "\\" && name == "Log") continue;
        Walk(entry, (section == "\\" ? "" : section) + "\\" + name);
      } else if (fs::is_regular_file(entry, sec)) {
        const std::uintmax_t size = fs::file_size(entry, sec);
        if (!sec) m_model.Set(section, name, SizeText(size));
      }
    }
  }

 private:
  IniModel& m_model;
  fs::path m_listFile;
};

}  // namespace

std::string CCompletenessList::Rebuild(const std::string& programDir) {
  const fs::path root(programDir);
  const fs::path listFile = root / plat::ToNativePath(kFileName).substr(1);
  std::error_code ec;
  fs::create_directories(listFile.parent_path(), ec);
  fs::remove(listFile, ec);

  IniModel model;
  Walker(model, listFile).Walk(root, "\\");
  if (model.Empty()) return {};

  const std::string text = model.Text();
  // Written beside the target and renamed onto it, so a reader never sees half a list.
  const fs::path temporary =
      listFile.string() + "." + std::to_string(plat::CurrentProcessId()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      fs::remove(temporary, ec);
      return {};
    }
  }
  fs::rename(temporary, listFile, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return {};
  }
  return text;
}

int CCompletenessList::Compare(const std::string& local, const std::string& server) {
  auto strip = [](const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
      if (c != '\n' && c != '\r') out += c;
    return out;
  };
  return strip(local) == strip(server) ? 0 : -2;
}
