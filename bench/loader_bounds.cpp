// What a hostile file costs to refuse: for each small file whose header claims far
// more than its bytes hold (one per loader), the peak resident memory and the time
// of one load in a fresh child process, beside what real photos cost (a folder
// given on the command line, whole and cut short, as a player's copy may be).
// Usage: bench_loader_bounds [photo folder [count]]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "audio/sample_loader.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/hostile_files.h"

namespace fs = std::filesystem;

namespace {

struct Case {
  std::string name;
  std::string bytes;  // written to a file and loaded from there, as the game does
  bool sound = false;
};

long StatusKiB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return 0;
}

// Loads `path` in a child; prints size, result, peak memory above the child's
// start and the time of the load.
void Measure(const std::string& name, const std::string& path, bool sound) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const long start = StatusKiB("VmRSS:");
    const auto t0 = std::chrono::steady_clock::now();
    std::string result;
    if (sound) {
      auto s = LoadAudioSample(TUrl(path));
      result = s ? std::to_string(s->length) + " frames" : "null";
    } else {
      auto p = LoadPixmap(TUrl(path));
      result = p ? std::to_string(p->width) + "x" + std::to_string(p->height) : "null";
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    char line[256];
    const int n = std::snprintf(line, sizeof line, "%-14s %8.1f MB %9.1f ms", result.c_str(),
                                (StatusKiB("VmHWM:") - start) / 1024.0, ms);
    if (write(fds[1], line, static_cast<size_t>(n)) != n) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  char buf[256] = {};
  const ssize_t got = read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const auto bytes = fs::file_size(path);
  std::printf("%-34s %10ju B  %s\n", name.c_str(), static_cast<uintmax_t>(bytes),
              got > 0 ? buf : (WIFSIGNALED(status) ? "killed by a signal" : "no report"));
  std::fflush(stdout);
}

std::string FileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// A JPEG frame header for width x height followed by `bytes` of noise as its scan data.
std::string JpegWithNoise(int width, int height, size_t bytes) {
  std::string s = HostileJpeg(width, height);
  const size_t sos = s.find("\xff\xda");
  if (sos == std::string::npos) return s;
  const size_t data = sos + 2 + (static_cast<unsigned char>(s[sos + 2]) << 8 | static_cast<unsigned char>(s[sos + 3]));
  s.resize(data);
  uint32_t seed = 1;
  for (size_t i = 0; i < bytes; ++i) {
    seed = seed * 1664525u + 1013904223u;
    s += static_cast<char>(seed >> 24);
  }
  return s;
}

std::vector<Case> HostileCases() {
  std::vector<Case> v = {
      {"BMP 268435440x1 32-bit", HostileBmp()},
      {"TGA 65535x4000 32-bit", HostileTga()},
      {"PNG 30000x30000 GA, 1 kB data", HostilePng(30000, 30000, 1000)},
      {"PNG 16000x16000 GA, 1 kB data", HostilePng(16000, 16000, 1000)},
      {"PNG 16000^2 GA, all rows, no IEND", HostilePng(16000, 16000, 1000000)},
      {"JPEG 16000x16000 over 16x16 data", HostileJpeg(16000, 16000)},
      {"JPEG 16000^2 over 16x16, 30 kB note", HostileJpeg(16000, 16000, 30000)},
      {"JPEG 16000^2 over 1 MB of noise", JpegWithNoise(16000, 16000, 1 << 20)},
      {"JPEG 65000x65000 over 16x16 data", HostileJpeg(65000, 65000)},
      {"JPEG progressive 704 scans 2048^2", ManyScanJpeg(2048, 2048)},
      {"JPEG progressive 704 scans 4096^2", ManyScanJpeg(4096, 4096)},
      {"WAV data claims 2 GB", HostileWav(), true},
  };
  const std::string ogg = FileBytes(TESS_SOURCE_DIR "/assets/Sounds/Bell small jingle.ogg");
  if (!ogg.empty()) {
    v.push_back({"OGG claims 16M frames", HostileOgg(ogg, 16 << 20), true});
    v.push_back({"OGG claims 2^40 frames", HostileOgg(ogg, 1LL << 40), true});
  }
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = fs::temp_directory_path() / ("tess_bounds_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::printf("%-34s %12s  %-14s %11s %12s\n", "file", "size", "result", "peak", "time");
  std::printf("-- hostile headers (peak: resident memory above the child's start)\n");
  for (const Case& c : HostileCases()) {
    const std::string path = (dir / "f").string();
    std::ofstream(path, std::ios::binary) << c.bytes;
    Measure(c.name, path, c.sound);
  }
  if (argc > 1) {
    std::vector<fs::path> photos;
    for (const auto& e : fs::directory_iterator(argv[1]))
      if (e.is_regular_file()) photos.push_back(e.path());
    // The largest first: they cost the most.
    std::sort(photos.begin(), photos.end(),
              [](const fs::path& a, const fs::path& b) { return fs::file_size(a) > fs::file_size(b); });
    const size_t count = std::min<size_t>(photos.size(), argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 3);
    std::printf("-- real photos from %s; cut: headers and a half, a tenth, a twentieth of the rest\n", argv[1]);
    for (size_t i = 0; i < count; ++i) {
      const std::string bytes = FileBytes(photos[i].string());
      // The cut falls in the picture data, after the first scan header of the main
      // picture (the last frame header's): metadata before it may be megabytes.
      size_t frame = 0;
      for (const char* sof : {"\xff\xc0", "\xff\xc1", "\xff\xc2"})
        if (const size_t at = bytes.rfind(sof); at != std::string::npos) frame = std::max(frame, at);
      const size_t start = std::min(bytes.size(), bytes.find("\xff\xda", frame));
      for (size_t part : {1, 2, 10, 20}) {
        const std::string path = (dir / "p").string();
        std::ofstream(path, std::ios::binary) << bytes.substr(0, start + (bytes.size() - start) / part);
        Measure(photos[i].filename().string() + (part == 1 ? "" : " /" + std::to_string(part)), path, false);
      }
    }
  }
  fs::remove_all(dir);
  return 0;
}
