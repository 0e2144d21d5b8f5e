// Directory listing, current directory and file operations over POSIX calls, with
// names passed as exact OS bytes.
#include "platform/filesystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/path_resolve.h"
#include "platform/ustring.h"

namespace {
std::string OSPath(const std::u16string& p) { return SlashPath(ToOSBytes(p)); }
}  // namespace

std::vector<std::u16string> LoadDir(const std::u16string& dir, bool skipDots) {
  std::vector<std::u16string> names;
  std::string p = NormaliseDirPath(ToOSBytes(dir));
  ForEachDirEntry(p, [&](const char* entry) {
    std::string_view n = entry;
    if (skipDots && (n == "." || n == "..")) return true;
    if (names.size() == names.capacity()) names.reserve(names.size() + 100);
    names.push_back(FromOSBytes(n));
    return true;
  });
  names.shrink_to_fit();
  return names;
}

int ChangeDir(const std::u16string& dir) {
  std::string p = NormaliseDirPath(ToOSBytes(dir));
  return !p.empty() && chdir(p.c_str()) == 0 ? 1 : 0;
}

std::u16string CurrentDir() {
  std::string buf(4096, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return FromOSBytes(buf.c_str());
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

int FileType(const std::u16string& path) {
  struct stat st;
  std::string p = OSPath(path);
  if (p.empty() || lstat(p.c_str(), &st) != 0) return FILETYPE_NONE;
  if (S_ISREG(st.st_mode)) return FILETYPE_FILE;
  if (S_ISDIR(st.st_mode)) return FILETYPE_DIR;
  return FILETYPE_OTHER;
}

long long FileSize(const std::u16string& path) {
  struct stat st;
  std::string p = OSPath(path);
  if (p.empty() || lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
  std::string a = OSPath(from), b = OSPath(to);
  return !a.empty() && !b.empty() && std::rename(a.c_str(), b.c_str()) == 0;
}

bool DeleteFile(const std::u16string& path) {
  std::string p = OSPath(path);
  return !p.empty() && unlink(p.c_str()) == 0;
}
