// Path normalisation, case-insensitive lookup and the directory reader, over POSIX
// directory reading.
#include "platform/path_resolve.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace {

struct TDirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

bool ExistsAsFileOrDir(const std::string& p) {
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}

bool EqualIgnoringAsciiCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] && i < b.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return a[i] == 0 && i == b.size();
}

}  // namespace

std::string SlashPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string NormaliseDirPath(std::string path) {
  path = SlashPath(std::move(path));
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string ResolvePathIgnoringCase(const std::string& path) {
  if (path.empty()) return {};
  if (ExistsAsFileOrDir(path)) return path;
  // Last "/" before the final character.
  size_t slash = path.size() >= 2 ? path.rfind('/', path.size() - 2) : std::string::npos;
  std::string dir, name;
  if (slash == std::string::npos) {
    dir = ".";
    name = path;
  } else if (slash == 0) {
    // An entry of the root: looked up in "/" (as "." it could never match).
    dir = "/";
    name = path.substr(1);
  } else {
    dir = ResolvePathIgnoringCase(path.substr(0, slash));
    if (dir.empty()) return {};
    name = path.substr(slash + 1);
  }
  std::string found;
  ForEachDirEntry(dir, [&](const char* entry) {
    if (!EqualIgnoringAsciiCase(entry, name)) return true;
    found = dir == "." ? entry : dir.back() == '/' ? dir + entry : dir + "/" + entry;
    return false;
  });
  return found;
}

bool ForEachDirEntry(const std::string& dir, const std::function<bool(const char*)>& visit) {
  std::unique_ptr<DIR, TDirCloser> d(opendir(dir.c_str()));
  if (!d) return false;
  while (dirent* e = readdir(d.get())) {
    if (!visit(e->d_name)) break;
  }
  return true;
}
