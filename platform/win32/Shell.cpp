#include "platform/Shell.h"

#include "platform/win32/WinText.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

namespace plat {
namespace {

// One argument quoted for the command line the C runtime splits (CommandLineToArgvW rules).
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    out += arg[i];
  }
  out += L'"';
  return out;
}

bool ShellExecuteOpen(const std::wstring& file, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != 0;
}

}  // namespace

std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> out;
  std::string current;
  bool inToken = false;
  bool quoted = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inToken) out.push_back(current);
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) out.push_back(current);
  return out;
}

// The "open" verb of the shell, as the product calls it: programs start with their
// parameters, other files open with their associated program.
bool ShellOpen(const std::string& nativeFile, const std::string& parameters) {
  if (nativeFile.empty()) return false;
  return ShellExecuteOpen(win::WidePath(nativeFile), win::Widen(parameters));
}

// Only an absolute http or https address without blanks or control characters reaches the
// shell: anything else could name a local program or a file to open.
bool OpenUrlInBrowser(const std::string& url) {
  auto starts = [&](const char* p) { return url.rfind(p, 0) == 0; };
  if (!starts("http://") && !starts("https://")) return false;
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7F) return false;
  return ShellExecuteOpen(win::Widen(url), {});
}

int RunAndWait(const std::string& nativeFile, const std::vector<std::string>& args) {
  if (nativeFile.empty()) return -1;
  std::wstring cmd = QuoteArgument(win::WidePath(nativeFile));
  for (const auto& a : args) cmd += L" " + QuoteArgument(win::Widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // A name without a folder is searched the way CreateProcessW searches (application
  // folder, system folders, PATH).
  const bool hasFolder = nativeFile.find_first_of("/\\:") != std::string::npos;
  std::wstring app = win::WidePath(nativeFile);
  if (!CreateProcessW(hasFolder ? app.c_str() : nullptr, cmd.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &si, &pi))
    return -1;
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  bool ok = GetExitCodeProcess(pi.hProcess, &code) != 0;
  CloseHandle(pi.hProcess);
  return ok ? static_cast<int>(code) : -1;
}

}  // namespace plat
