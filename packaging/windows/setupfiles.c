/* File work of the Windows installer and uninstaller that needs checksums (setup.nsi carries
 * this program and runs it from its temporary folder):
 *
 *   setupfiles verify DIR     every file DIR\unins000.dat lists is there with its checksum
 *   setupfiles keep OLD NEW   the user's data of the release in OLD is linked (else copied)
 *                             into the unpacked release NEW
 *   setupfiles keep-settings OLD NEW  only the user's files that NEW would replace (the
 *                             rest stays where it is when NEW is moved over OLD by overlay)
 *   setupfiles remove DIR     the files the installer put into DIR are removed, the user's
 *                             data stays; the folder goes when nothing else is left in it
 *   setupfiles overlay NEW DIR  the unpacked release NEW is moved over DIR file by file, for
 *                             when DIR cannot be renamed
 *
 * unins000.dat holds one line per installed file: its SHA-256 in hex, two spaces and its path
 * below the folder with "/" separators, in UTF-8 (the output of sha256sum). The user's data is
 * every file the release did not install (user\user.cfg, logs, caches, downloads) and every
 * settings file it installed (*.ini, *.cfg, *.config) that has changed since. The installer's
 * own files (unins000.dat, unins000.exe, the .orvanta mark, *.setup-old: a program that was
 * running when it was replaced or removed, deleted at the next start of Windows) are never
 * user data.
 * Exit codes: 0 done, 1 failed; what failed is appended to %TEMP%\Orvanta_setup.log. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <bcrypt.h>  // after windows.h, whose types it uses
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define MANIFEST L"unins000.dat"

typedef struct {
  char hash[65];
  wchar_t* path; /* relative, with '\' separators */
} Entry;

typedef struct {
  Entry* items;
  size_t count;
} Manifest;

static void Log(const wchar_t* fmt, const wchar_t* a, const wchar_t* b) {
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH - 20) return;
  wcscat(temp, L"Orvanta_setup.log");
  FILE* f = _wfopen(temp, L"a, ccs=UTF-16LE");
  if (!f) return;
  fwprintf(f, L"setupfiles: ");
  fwprintf(f, fmt, a ? a : L"", b ? b : L"");
  fwprintf(f, L"\n");
  fclose(f);
}

static wchar_t* Join(const wchar_t* dir, const wchar_t* rel) {
  size_t n = wcslen(dir) + wcslen(rel) + 2;
  wchar_t* out = malloc(n * sizeof(wchar_t));
  if (!out) return NULL;
  _snwprintf(out, n, L"%ls\\%ls", dir, rel);
  out[n - 1] = 0;
  return out;
}

static int IsSettings(const wchar_t* path) {
  const wchar_t* dot = wcsrchr(path, L'.');
  const wchar_t* sep = wcsrchr(path, L'\\');
  if (!dot || (sep && dot < sep)) return 0;
  return _wcsicmp(dot, L".ini") == 0 || _wcsicmp(dot, L".cfg") == 0 ||
         _wcsicmp(dot, L".config") == 0;
}

#define ASIDE L".setup-old"

static int IsInstallerOwn(const wchar_t* rel) {
  size_t n = wcslen(rel), a = wcslen(ASIDE);
  return _wcsicmp(rel, MANIFEST) == 0 || _wcsicmp(rel, L"unins000.exe") == 0 ||
         _wcsicmp(rel, L".orvanta") == 0 || (n > a && _wcsicmp(rel + n - a, ASIDE) == 0);
}

/* The file's SHA-256 in lower-case hex; 0 when it cannot be read. */
static int HashFile(const wchar_t* path, char out[65]) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BCRYPT_ALG_HANDLE alg = NULL;
  BCRYPT_HASH_HANDLE hash = NULL;
  int ok = 0;
  static unsigned char buf[1 << 16];
  unsigned char digest[32];
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, NULL, 0) != 0) goto done;
  if (BCryptCreateHash(alg, &hash, NULL, 0, NULL, 0, 0) != 0) goto done;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buf, sizeof buf, &got, NULL)) goto done;
    if (got == 0) break;
    if (BCryptHashData(hash, buf, got, 0) != 0) goto done;
  }
  if (BCryptFinishHash(hash, digest, sizeof digest, 0) != 0) goto done;
  for (int i = 0; i < 32; ++i) sprintf(out + 2 * i, "%02x", digest[i]);
  out[64] = 0;
  ok = 1;
done:
  if (hash) BCryptDestroyHash(hash);
  if (alg) BCryptCloseAlgorithmProvider(alg, 0);
  CloseHandle(file);
  return ok;
}

/* Reads DIR\unins000.dat; a missing file is an empty list when allowMissing. */
static int ReadManifest(const wchar_t* dir, Manifest* m, int allowMissing) {
  m->items = NULL;
  m->count = 0;
  wchar_t* path = Join(dir, MANIFEST);
  FILE* f = path ? _wfopen(path, L"rb") : NULL;
  if (!f) {
    if (!allowMissing) Log(L"cannot read %ls", path, NULL);
    free(path);
    return allowMissing;
  }
  free(path);
  size_t cap = 0;
  char line[4 * MAX_PATH];
  while (fgets(line, sizeof line, f)) {
    size_t len = strlen(line);
    while (len && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
    if (len == 0) continue;
    if (len < 67 || line[64] != ' ' || line[65] != ' ') {
      fclose(f);
      Log(L"%ls\\unins000.dat is damaged", dir, NULL);
      return 0;
    }
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, line + 66, -1, NULL, 0);
    if (n <= 0) {
      fclose(f);
      Log(L"%ls\\unins000.dat is damaged", dir, NULL);
      return 0;
    }
    if (m->count == cap) {
      cap = cap ? cap * 2 : 256;
      Entry* grown = realloc(m->items, cap * sizeof(Entry));
      if (!grown) {
        fclose(f);
        return 0;
      }
      m->items = grown;
    }
    Entry* e = &m->items[m->count++];
    memcpy(e->hash, line, 64);
    e->hash[64] = 0;
    e->path = malloc((size_t)n * sizeof(wchar_t));
    if (!e->path) {
      fclose(f);
      return 0;
    }
    MultiByteToWideChar(CP_UTF8, 0, line + 66, -1, e->path, n);
    for (wchar_t* p = e->path; *p; ++p)
      if (*p == L'/') *p = L'\\';
  }
  fclose(f);
  return 1;
}

static const Entry* Find(const Manifest* m, const wchar_t* rel) {
  for (size_t i = 0; i < m->count; ++i)
    if (_wcsicmp(m->items[i].path, rel) == 0) return &m->items[i];
  return NULL;
}

/* A settings file the release installed and that has changed since. */
static int ChangedSettings(const wchar_t* dir, const Entry* e) {
  if (!IsSettings(e->path)) return 0;
  wchar_t* full = Join(dir, e->path);
  char hash[65];
  int changed = full && HashFile(full, hash) && strcmp(hash, e->hash) != 0;
  free(full);
  return changed;
}

/* Creates the folders of rel below dir (dir exists). */
static int MakeParents(const wchar_t* dir, const wchar_t* rel) {
  wchar_t* full = Join(dir, rel);
  if (!full) return 0;
  for (wchar_t* p = full + wcslen(dir) + 1; *p; ++p) {
    if (*p != L'\\') continue;
    *p = 0;
    int made = CreateDirectoryW(full, NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
    *p = L'\\';
    if (!made) {
      free(full);
      return 0;
    }
  }
  free(full);
  return 1;
}

static int Verify(const wchar_t* dir) {
  Manifest m;
  if (!ReadManifest(dir, &m, 0)) return 1;
  for (size_t i = 0; i < m.count; ++i) {
    wchar_t* full = Join(dir, m.items[i].path);
    char hash[65];
    if (!full || !HashFile(full, hash) || strcmp(hash, m.items[i].hash) != 0) {
      Log(L"%ls is missing or incomplete (disk full?)", full, NULL);
      return 1;
    }
    free(full);
  }
  return 0;
}

/* Walks OLD below rel and links or copies every file that is user data into NEW. */
static int KeepBelow(const wchar_t* oldDir, const wchar_t* newDir, const wchar_t* rel,
                     const Manifest* m, int settingsOnly) {
  wchar_t* base = rel[0] ? Join(oldDir, rel) : _wcsdup(oldDir);
  wchar_t* pattern = base ? Join(base, L"*") : NULL;
  free(base);
  if (!pattern) return 0;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(pattern, &fd);
  free(pattern);
  if (find == INVALID_HANDLE_VALUE) return 1;
  int ok = 1;
  do {
    if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
    wchar_t* child = rel[0] ? Join(rel, fd.cFileName) : _wcsdup(fd.cFileName);
    if (!child) {
      ok = 0;
      break;
    }
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = KeepBelow(oldDir, newDir, child, m, settingsOnly);
    } else if (!IsInstallerOwn(child)) {
      const Entry* e = Find(m, child);
      int keep = e ? ChangedSettings(oldDir, e) : 1;
      if (!e && settingsOnly) {
        /* What the new release does not hold stays where it is anyway. */
        wchar_t* there = Join(newDir, child);
        keep = there && GetFileAttributesW(there) != INVALID_FILE_ATTRIBUTES;
        free(there);
      }
      if (keep) {
        wchar_t* from = Join(oldDir, child);
        wchar_t* to = Join(newDir, child);
        ok = from && to && MakeParents(newDir, child);
        if (ok) {
          DeleteFileW(to);
          ok = CreateHardLinkW(to, from, NULL) || CopyFileW(from, to, FALSE);
        }
        if (!ok) Log(L"cannot keep %ls (disk full?)", from, NULL);
        free(from);
        free(to);
      }
    }
    free(child);
  } while (ok && FindNextFileW(find, &fd));
  FindClose(find);
  return ok;
}

static int Keep(const wchar_t* oldDir, const wchar_t* newDir, int settingsOnly) {
  Manifest m;
  if (!ReadManifest(oldDir, &m, 1)) return 1;
  return KeepBelow(oldDir, newDir, L"", &m, settingsOnly) ? 0 : 1;
}

/* Removes rel's folders below dir, deepest first, where they are empty. */
static void RemoveEmptyParents(const wchar_t* dir, const wchar_t* rel) {
  wchar_t* full = Join(dir, rel);
  if (!full) return;
  size_t keep = wcslen(dir);
  for (wchar_t* sep = wcsrchr(full, L'\\'); sep && (size_t)(sep - full) > keep;
       sep = wcsrchr(full, L'\\')) {
    *sep = 0;
    if (!RemoveDirectoryW(full)) break;
  }
  free(full);
}

static int FolderHoldsOnly(const wchar_t* dir, const wchar_t* name) {
  wchar_t* pattern = Join(dir, L"*");
  WIN32_FIND_DATAW fd;
  HANDLE find = pattern ? FindFirstFileW(pattern, &fd) : INVALID_HANDLE_VALUE;
  free(pattern);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int only = 1;
  do {
    if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..") && _wcsicmp(fd.cFileName, name))
      only = 0;
  } while (only && FindNextFileW(find, &fd));
  FindClose(find);
  return only;
}

/* Removes a file; one in use (a running program) is renamed aside to NAME.setup-old, which goes
 * at the next start of Windows, so that its name is free at once. */
static int RemoveOrSetAside(const wchar_t* path) {
  if (DeleteFileW(path)) return 1;
  DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return 1;
  size_t n = wcslen(path) + wcslen(ASIDE) + 1;
  wchar_t* aside = malloc(n * sizeof(wchar_t));
  if (!aside) return 0;
  _snwprintf(aside, n, L"%ls%ls", path, ASIDE);
  aside[n - 1] = 0;
  DeleteFileW(aside);
  int ok = MoveFileExW(path, aside, 0);
  if (ok && !DeleteFileW(aside)) MoveFileExW(aside, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  free(aside);
  return ok;
}

static int Remove(const wchar_t* dir) {
  Manifest m;
  if (!ReadManifest(dir, &m, 0)) return 1;
  /* The changed settings files are decided before anything goes. */
  char* stays = calloc(m.count + 1, 1);
  if (!stays) return 1;
  for (size_t i = 0; i < m.count; ++i) stays[i] = (char)ChangedSettings(dir, &m.items[i]);
  for (size_t i = 0; i < m.count; ++i) {
    if (stays[i]) continue;
    wchar_t* full = Join(dir, m.items[i].path);
    if (!full || !RemoveOrSetAside(full)) {
      Log(L"cannot remove %ls (is a program of it still running?)", full, NULL);
      return 1;
    }
    free(full);
  }
  for (size_t i = 0; i < m.count; ++i) RemoveEmptyParents(dir, m.items[i].path);
  const wchar_t* own[] = {L"unins000.exe", MANIFEST};
  for (size_t i = 0; i < 2; ++i) {
    wchar_t* full = Join(dir, own[i]);
    if (full) DeleteFileW(full);
    free(full);
  }
  if (FolderHoldsOnly(dir, L".orvanta")) {
    wchar_t* mark = Join(dir, L".orvanta");
    if (mark) DeleteFileW(mark);
    free(mark);
    RemoveDirectoryW(dir);
  }
  return 0;
}

/* Whether the two names are links to one file. */
static int SameFile(const wchar_t* a, const wchar_t* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  int same = 0;
  HANDLE ha = CreateFileW(a, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          OPEN_EXISTING, 0, NULL);
  HANDLE hb = CreateFileW(b, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                          OPEN_EXISTING, 0, NULL);
  if (ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE &&
      GetFileInformationByHandle(ha, &ia) && GetFileInformationByHandle(hb, &ib))
    same = ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  if (ha != INVALID_HANDLE_VALUE) CloseHandle(ha);
  if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
  return same;
}

/* Moves every file below NEW\rel over its place in DIR. A file in use there (a running
 * program) is renamed aside first and deleted at the next start of Windows. */
static int OverlayBelow(const wchar_t* newDir, const wchar_t* dir, const wchar_t* rel) {
  wchar_t* base = rel[0] ? Join(newDir, rel) : _wcsdup(newDir);
  wchar_t* pattern = base ? Join(base, L"*") : NULL;
  free(base);
  if (!pattern) return 0;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(pattern, &fd);
  free(pattern);
  if (find == INVALID_HANDLE_VALUE) return 1;
  int ok = 1;
  do {
    if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
    wchar_t* child = rel[0] ? Join(rel, fd.cFileName) : _wcsdup(fd.cFileName);
    if (!child) {
      ok = 0;
      break;
    }
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = OverlayBelow(newDir, dir, child);
    } else {
      wchar_t* from = Join(newDir, child);
      wchar_t* to = Join(dir, child);
      ok = from && to && MakeParents(dir, child);
      if (ok && SameFile(from, to)) {
        DeleteFileW(from);  // kept data linked from its own place: already there
      } else if (ok && !MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = RemoveOrSetAside(to) &&
             MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      }
      if (!ok) Log(L"cannot replace %ls", to, NULL);
      free(from);
      free(to);
    }
    free(child);
  } while (ok && FindNextFileW(find, &fd));
  FindClose(find);
  return ok;
}

/* Installs the unpacked release NEW (with the user's data already linked in) over DIR file
 * by file, for when DIR cannot be renamed (a program in it is running), then drops the files
 * of DIR's earlier release that NEW does not hold. */
static int Overlay(const wchar_t* newDir, const wchar_t* dir) {
  Manifest old;
  if (!ReadManifest(dir, &old, 1)) return 1;
  /* Which of the earlier release's files the new one (or the kept data) replaces. */
  char* replaced = calloc(old.count + 1, 1);
  if (!replaced) return 1;
  for (size_t i = 0; i < old.count; ++i) {
    wchar_t* full = Join(newDir, old.items[i].path);
    replaced[i] = (char)(full && GetFileAttributesW(full) != INVALID_FILE_ATTRIBUTES);
    free(full);
  }
  if (!OverlayBelow(newDir, dir, L"")) return 1;
  for (size_t i = 0; i < old.count; ++i) {
    if (replaced[i]) continue;
    wchar_t* full = Join(dir, old.items[i].path);
    if (full) RemoveOrSetAside(full);
    if (full) RemoveEmptyParents(dir, old.items[i].path);
    free(full);
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && wcscmp(argv[1], L"verify") == 0) return Verify(argv[2]);
  if (argc == 4 && wcscmp(argv[1], L"keep") == 0) return Keep(argv[2], argv[3], 0);
  if (argc == 4 && wcscmp(argv[1], L"keep-settings") == 0) return Keep(argv[2], argv[3], 1);
  if (argc == 3 && wcscmp(argv[1], L"remove") == 0) return Remove(argv[2]);
  if (argc == 4 && wcscmp(argv[1], L"overlay") == 0) return Overlay(argv[2], argv[3]);
  Log(L"usage: setupfiles verify DIR | keep[-settings] OLD NEW | remove DIR | overlay NEW DIR",
      NULL, NULL);
  return 1;
}
