// Sample installer of the stand-in platform for Windows. The platform appends the
// application's identity to this program's bytes when it serves it:
//   "\nORVANTA-SAMPLE-SETUP\n" then "Code=...", "DisplayName=...", "DisplayVersion=...",
//   "Publisher=..." lines (UTF-8).
// setup.exe /silent   copies itself to <apps root>\<Code>\app.exe and registers the
//                     application under HKLM\...\Uninstall\<Code>
// app.exe             the installed program: appends a line to started.log beside itself
// app.exe /uninstall  removes the registration and the installed files
// The apps root is %ORVANTA_APPS_ROOT%, else "%ProgramFiles%\Orvanta Samples".
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

const char kMarker[] = "\nORVANTA-SAMPLE-SETUP\n";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

std::wstring FolderOf(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::string ReadAll(const std::wstring& path) {
  std::string data;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return data;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
  CloseHandle(h);
  return data;
}

// The identity lines after the last marker.
std::map<std::string, std::string> Identity() {
  std::map<std::string, std::string> values;
  const std::string data = ReadAll(OwnPath());
  const auto at = data.rfind(kMarker);
  if (at == std::string::npos) return values;
  size_t pos = at + sizeof kMarker - 1;
  while (pos < data.size()) {
    auto end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    pos = end + 1;
  }
  return values;
}

std::wstring AppsRoot() {
  wchar_t buf[32768];
  DWORD n = GetEnvironmentVariableW(L"ORVANTA_APPS_ROOT", buf, 32768);
  if (n > 0 && n < 32768) return buf;
  n = GetEnvironmentVariableW(L"ProgramFiles", buf, 32768);
  return (n > 0 && n < 32768 ? std::wstring(buf) : std::wstring(L"C:\\Program Files")) +
         L"\\Orvanta Samples";
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

int Install(const std::map<std::string, std::string>& id) {
  const auto code = id.find("Code");
  if (code == id.end() || code->second.empty() ||
      code->second.find_first_of("\\/:") != std::string::npos) {
    std::fputs("this installer carries no application\n", stderr);
    return 3;
  }
  const std::wstring dir = AppsRoot() + L"\\" + Wide(code->second);
  for (size_t i = 0; (i = dir.find(L'\\', i + 1)) != std::wstring::npos;)
    CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring app = dir + L"\\app.exe";
  if (!CopyFileW(OwnPath().c_str(), app.c_str(), FALSE)) {
    std::fputs("cannot copy the program\n", stderr);
    return 4;
  }
  HKEY key = nullptr;
  const std::wstring path = kUninstallKey + Wide(code->second);
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    std::fputs("cannot create the Uninstall key\n", stderr);
    return 5;
  }
  bool ok = true;
  for (const char* name : {"DisplayName", "DisplayVersion", "Publisher"}) {
    const auto it = id.find(name);
    if (it != id.end()) ok = SetString(key, Wide(name).c_str(), Wide(it->second)) && ok;
  }
  ok = SetString(key, L"DisplayIcon", app) && ok;
  ok = SetString(key, L"UninstallString", L"\"" + app + L"\" /uninstall") && ok;
  RegCloseKey(key);
  return ok ? 0 : 5;
}

int Uninstall(const std::map<std::string, std::string>& id) {
  const auto code = id.find("Code");
  if (code == id.end() || code->second.empty()) return 3;
  const std::wstring path = kUninstallKey + Wide(code->second);
  const LSTATUS rc = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0);
  const std::wstring dir = FolderOf(OwnPath());
  DeleteFileW((dir + L"\\started.log").c_str());
  // A running program cannot delete itself: it and its folder go at the next restart.
  MoveFileExW(OwnPath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

int Started() {
  const std::wstring log = FolderOf(OwnPath()) + L"\\started.log";
  HANDLE h =
      CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  SYSTEMTIME t;
  GetLocalTime(&t);
  char line[64];
  const int n = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u started\r\n",
                              t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  DWORD written = 0;
  WriteFile(h, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(h);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring arg = argc > 1 ? argv[1] : L"";
  LocalFree(argv);
  const auto id = Identity();
  if (_wcsicmp(arg.c_str(), L"/silent") == 0) return Install(id);
  if (_wcsicmp(arg.c_str(), L"/uninstall") == 0) return Uninstall(id);
  return Started();
}
