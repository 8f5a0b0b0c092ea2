#include "platform/Shell.h"

#include "platform/LinkGate.h"
#include "platform/PrivateFiles.h"
#include "platform/win32/WinText.h"

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <chrono>
#include <thread>

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

constexpr char kPagePrefix[] = "orvanta-page-";
constexpr char kPageSuffix[] = ".html";

// The lower-case extension of a path's file name, with its dot ("" when none).
std::wstring Extension(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
  std::wstring ext = path.substr(dot);
  for (wchar_t& c : ext)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return ext;
}

// A program image: the file starts with the "MZ" header.
bool IsPeFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char head[2] = {};
  DWORD n = 0;
  const bool pe =
      ReadFile(h, head, sizeof head, &n, nullptr) && n == 2 && head[0] == 'M' && head[1] == 'Z';
  CloseHandle(h);
  return pe;
}

// Starts a program image whatever its extension, detached (not waited for).
bool StartDetached(const std::wstring& file, const std::string& parameters) {
  std::wstring cmd = QuoteArgument(file);
  for (const auto& a : SplitParameters(parameters)) cmd += L" " + QuoteArgument(win::Widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(file.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// Removes redirect pages older than maxAgeSeconds: a page whose remover did not run (the
// client ended within the minute) goes at the next opening.
void RemoveOldPages(const std::string& folder, int maxAgeSeconds) {
  const std::wstring dir = win::WidePath(folder);
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((dir + L"\\" + win::Widen(kPagePrefix) + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  FILETIME nowFt{};
  GetSystemTimeAsFileTime(&nowFt);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const unsigned long long now = ticks(nowFt);
  do {
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    const unsigned long long written = ticks(found.ftLastWriteTime);
    if (now > written && (now - written) / 10000000ull > static_cast<unsigned>(maxAgeSeconds))
      DeleteFileW((dir + L"\\" + found.cFileName).c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

// A program: an .exe, .cmd or .bat file, or any file holding a program image.
bool IsDirectlyRunnable(const std::string& nativeFile) {
  if (nativeFile.empty()) return false;
  const std::wstring path = win::WidePath(nativeFile);
  const DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const std::wstring ext = Extension(path);
  return ext == L".exe" || ext == L".cmd" || ext == L".bat" || IsPeFile(path);
}

// The "open" verb of the shell for programs only: anything else is refused, never handed to
// the file associations. The shell starts .exe, .cmd and .bat files (and asks for elevation
// when a program's manifest wants it); a program image under another name is started
// directly.
bool ShellOpen(const std::string& nativeFile, const std::string& parameters) {
  if (!IsDirectlyRunnable(nativeFile)) return false;
  const std::wstring path = win::WidePath(nativeFile);
  const std::wstring ext = Extension(path);
  if (ext == L".exe" || ext == L".cmd" || ext == L".bat")
    return ShellExecuteOpen(path, win::Widen(parameters));
  return StartDetached(path, parameters);
}

bool OpenUrlInBrowser(const std::string& url) {
  if (!IsAllowedLink(url)) return false;
  return ShellExecuteOpen(win::Widen(url), {});
}

bool OpenUrlThroughPrivatePage(const std::string& url, int lifetimeSeconds) {
  if (!IsAllowedLink(url)) return false;
  const std::string folder = PrivateRuntimeDirectory();
  if (folder.empty()) return false;
  RemoveOldPages(folder, lifetimeSeconds);
  const std::string page =
      WriteNewPrivateFile(folder, kPagePrefix, kPageSuffix, RedirectPageHtml(url));
  if (page.empty()) return false;
  const std::wstring widePage = win::WidePath(page);
  if (!ShellExecuteOpen(widePage, {})) {
    DeleteFileW(widePage.c_str());
    return false;
  }
  // Removed after its lifetime while the client runs; a page the client outlived goes at the
  // next opening (RemoveOldPages).
  std::thread([widePage, lifetimeSeconds] {
    std::this_thread::sleep_for(std::chrono::seconds(lifetimeSeconds));
    DeleteFileW(widePage.c_str());
  }).detach();
  return true;
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
