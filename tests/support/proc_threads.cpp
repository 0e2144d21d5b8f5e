// Reading /proc/<pid>/stat and /proc/<pid>/task/*/stat (see proc_threads.h).
#include "tests/support/proc_threads.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

// The fields after the name, which is in parentheses and may hold anything:
// fields[0] is the state (field 3 of the manual page).
bool Fields(const std::string& path, std::string* name, std::vector<std::string>* fields) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;
  const size_t open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  *name = line.substr(open + 1, close - open - 1);
  std::istringstream rest(line.substr(close + 1));
  for (std::string f; rest >> f;) fields->push_back(f);
  return fields->size() > 38;
}

double Ticks(const std::vector<std::string>& f) {
  return (std::stod(f[11]) + std::stod(f[12])) / double(sysconf(_SC_CLK_TCK));  // utime, stime
}

}  // namespace

TProcessStat StatOf(pid_t pid) {
  TProcessStat p;
  const std::string dir = "/proc/" + std::to_string(pid);
  std::string name;
  std::vector<std::string> f;
  if (!Fields(dir + "/stat", &name, &f)) return p;
  p.cpu = Ticks(f);
  DIR* d = opendir((dir + "/task").c_str());
  if (!d) return p;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::vector<std::string> t;
    TThreadStat s;
    if (!Fields(dir + "/task/" + e->d_name + "/stat", &s.name, &t)) continue;
    s.cpu = Ticks(t);
    s.nice = std::stoi(t[16]);
    s.rt_priority = std::stoi(t[37]);
    s.policy = std::stoi(t[38]);
    p.threads[std::stoi(e->d_name)] = s;
  }
  closedir(d);
  return p;
}

double CpuBesides(const TProcessStat& before, const TProcessStat& after,
                  std::initializer_list<const char*> ours) {
  double others = 0;
  for (const auto& [tid, a] : after.threads) {
    const auto b = before.threads.find(tid);
    if (b == before.threads.end()) continue;
    bool named = false;
    for (const char* n : ours) named = named || a.name == n;
    if (!named) others += a.cpu - b->second.cpu;
  }
  return after.cpu - before.cpu - others;
}

TThreadStat ThreadNamed(const TProcessStat& p, const std::string& name) {
  for (const auto& [tid, t] : p.threads)
    if (t.name == name) return t;
  TThreadStat none;
  none.policy = -1;
  return none;
}
