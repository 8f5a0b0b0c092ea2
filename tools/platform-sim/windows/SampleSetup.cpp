// The stand-in platform's sample installer for Windows. The platform serves this program with
// a trailer appended: a line "ORVSETUP" and then "key=value" lines in UTF-8 (name, version,
// code, and pause: seconds between registry writes, for an installer that registers slowly).
// Run with "/silent" it installs the application under %ORVANTA_APPS_ROOT%\<code> (else
// %LOCALAPPDATA%\orvanta\apps\<code>): a start.cmd that notes each start in started.log, an
// uninstall.cmd that removes the registration and the folder; then it registers itself in
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<code> of the registry's 32-bit view
// (SOFTWARE\Wow6432Node\... on 64-bit Windows), as the 32-bit installers of the platform's
// applications do and where the client looks, UninstallString last.
// Exit codes: 0 installed, 2 not run with "/silent", 3 no trailer, 4 folder or registry failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The trailer's values, read from the last "ORVSETUP" line of this program's file.
std::map<std::string, std::string> ReadTrailer() {
  std::map<std::string, std::string> values;
  std::ifstream in(OwnPath().c_str(), std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string marker = "\nORVSETUP\n";
  std::size_t at = data.rfind(marker);
  if (at == std::string::npos) return values;
  std::size_t pos = at + marker.size();
  while (pos < data.size()) {
    std::size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (std::size_t eq = line.find('='); eq != std::string::npos)
      values[line.substr(0, eq)] = line.substr(eq + 1);
    pos = end + 1;
  }
  return values;
}

std::wstring EnvOr(const wchar_t* name, const std::wstring& fallback) {
  wchar_t buf[32768];
  DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  return n > 0 && n < 32768 ? std::wstring(buf, n) : fallback;
}

bool WriteText(const std::wstring& path, const std::wstring& text) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // Batch files are read in the system's code page, not UTF-8.
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  DWORD done = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
            done == bytes.size();
  CloseHandle(h);
  return ok;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool silent = false;
  for (int i = 1; i < argc; ++i)
    if (_wcsicmp(argv[i], L"/silent") == 0) silent = true;
  if (!silent) {
    std::puts("interactive install: use /silent");
    return 2;
  }
  auto values = ReadTrailer();
  if (values["code"].empty()) return 3;
  const std::wstring code = Widen(values["code"]);
  const DWORD pauseMs = static_cast<DWORD>(std::atof(values["pause"].c_str()) * 1000);

  const std::wstring root =
      EnvOr(L"ORVANTA_APPS_ROOT", EnvOr(L"LOCALAPPDATA", L"C:\\") + L"\\orvanta\\apps");
  const std::wstring dir = root + L"\\" + code;
  for (std::size_t at = dir.find(L'\\', 3);; at = dir.find(L'\\', at + 1)) {
    CreateDirectoryW(dir.substr(0, at).c_str(), nullptr);
    if (at == std::wstring::npos) break;
  }
  const std::wstring keyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
  if (!WriteText(dir + L"\\start.cmd", L"@echo off\r\necho started>>\"%~dp0started.log\"\r\n") ||
      !WriteText(dir + L"\\uninstall.cmd", L"@echo off\r\nreg delete \"HKLM\\" + keyPath +
                                               L"\" /f /reg:32\r\nrmdir /s /q \"" + dir +
                                               L"\"\r\n"))
    return 4;

  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 4;
  const std::pair<const wchar_t*, std::wstring> entries[] = {
      {L"DisplayName", Widen(values["name"])},
      {L"DisplayVersion", Widen(values["version"])},
      {L"Publisher", L"\u5e73\u53f0\u793a\u4f8b\u8f6f\u4ef6"},  // 平台示例软件
      {L"DisplayIcon", dir + L"\\start.cmd"},
      {L"UninstallString", dir + L"\\uninstall.cmd"},
  };
  bool ok = true;
  for (const auto& [name, value] : entries) {
    if (pauseMs) Sleep(pauseMs);
    ok = SetString(key, name, value) && ok;
  }
  RegCloseKey(key);
  return ok ? 0 : 4;
}
