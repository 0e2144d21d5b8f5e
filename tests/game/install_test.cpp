// tools/install as a player runs it, into a temporary home: the program with its
// default pictures, the launcher, a valid menu entry and every icon size; the game
// started through the launcher under a private X server; an update that keeps the
// player's pictures; and an uninstall that leaves nothing but those pictures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "private_x.h"
#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

// Xlib last: its macros clash with the test framework.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

std::string Bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct TRun {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs argv with the given environment changes (an empty value unsets the variable).
TRun Execute(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    for (const auto& [k, v] : env) v.empty() ? ::unsetenv(k.c_str()) : ::setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  TRun r;
  char buf[512];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) r.output.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

bool Have(const std::string& tool) {
  return Execute({"/bin/sh", "-c", "command -v " + tool}, {}).status == 0;
}

// Every regular file and link below root, relative to it.
std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    if (!it->is_directory() || it->is_symlink()) out.insert(fs::relative(it->path(), root).string());
  return out;
}

std::string Listing(const fs::path& root) {
  std::string out;
  for (const auto& e : fs::recursive_directory_iterator(root)) out += e.path().string() + "\n";
  return out;
}

std::set<std::string> DefaultPictures() {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(fs::path(SourceDir()) / "assets/motives"))
    out.insert(e.path().filename().string());
  return out;
}

class Install : public ::testing::Test {
 protected:
  TempDir tmp;
  fs::path home = tmp.path() / "home";
  fs::path data = tmp.path() / "data";  // $XDG_DATA_HOME
  std::map<std::string, std::string> env{
      {"HOME", home.string()}, {"XDG_DATA_HOME", data.string()}, {"PATH", "/usr/bin:/bin"}};

  void SetUp() override { fs::create_directories(home); }

  TRun Installer(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {SourceDir() + "/tools/install"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Execute(argv, env);
  }
  TRun InstallBuilt() { return Installer({"--build-dir", fs::path(TESSOLINO_PATH).parent_path().string()}); }

  // The default pictures are in the installed Motives/, byte for byte.
  void ExpectDefaultPictures(const fs::path& motives) {
    for (const std::string& name : DefaultPictures())
      EXPECT_EQ(Bytes(motives / name), Bytes(fs::path(SourceDir()) / "assets/motives" / name)) << name;
  }
};

// The game started through the launcher: a mapped 800 x 600 window that carries its name.
class TGame {
 public:
  explicit TGame(const fs::path& launcher, const fs::path& cwd) {
    pid_ = ::fork();
    if (pid_ == 0) {
      // Started from elsewhere: the program still finds its folder through the link.
      if (::chdir(cwd.c_str()) != 0) ::_exit(126);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl(launcher.c_str(), "tessolino", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    display_ = XOpenDisplay(nullptr);
  }
  ~TGame() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
  }
  Display* display() const { return display_; }

  // The game window, 0 when none appeared within the time.
  Window WaitForGameWindow() {
    for (int i = 0; i < 300 && display_; ++i) {
      if (Window w = Find()) return w;
      std::this_thread::sleep_for(100ms);
    }
    return 0;
  }

 private:
  Window Find() {
    Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
    unsigned int count = 0;
    XSync(display_, False);
    if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
      XWindowAttributes wa;
      char* name = nullptr;
      if (!XGetWindowAttributes(display_, children[i], &wa) || wa.map_state != IsViewable) continue;
      if (wa.width != 800 || wa.height != 600) continue;
      if (XFetchName(display_, children[i], &name) && name) {
        if (std::string(name) == "Tessolino") found = children[i];
        XFree(name);
      }
    }
    if (children) XFree(children);
    return found;
  }

  pid_t pid_ = -1;
  Display* display_ = nullptr;
};

TEST_F(Install, InstallsAPlayableGameAndUninstallsAllButThePictures) {
  const TRun install = InstallBuilt();
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path app = data / "tessolino";
  EXPECT_NE(install.output.find((app / "Motives").string()), std::string::npos) << install.output;

  // The menu entry passes the desktop's own check and names the program and its icon.
  const fs::path entry = data / "applications/tessolino.desktop";
  const std::string desktop = Bytes(entry);
  if (Have("desktop-file-validate")) {
    const TRun valid = Execute({"/bin/sh", "-c", "desktop-file-validate \"$0\"", entry.string()}, {});
    EXPECT_EQ(valid.status, 0) << valid.output;
    EXPECT_EQ(valid.output, "");
  }
  for (const char* line : {"Name=Tessolino\n", "GenericName[de]=", "Comment[de]=", "Keywords=", "Icon=tessolino\n",
                           "Categories=Game;LogicGame;\n", "StartupWMClass=Tessolino\n"})
    EXPECT_NE(desktop.find(line), std::string::npos) << line << " missing in\n" << desktop;
  EXPECT_NE(desktop.find("Exec=\"" + (app / "Tessolino").string() + "\"\n"), std::string::npos) << desktop;

  for (int n : kIconSizes) {
    const std::string size = std::to_string(n) + "x" + std::to_string(n);
    Ref<TPixmap> icon = LoadPixmapPNG(TUrl((data / "icons/hicolor" / size / "apps/tessolino.png").string()));
    ASSERT_TRUE(icon) << size;
    EXPECT_EQ(PixmapWidth(icon), n);
    EXPECT_EQ(PixmapHeight(icon), n);
  }
  const fs::path launcher = home / ".local/bin/tessolino";
  ASSERT_TRUE(fs::is_symlink(launcher));
  EXPECT_EQ(fs::read_symlink(launcher), app / "Tessolino");
  ExpectDefaultPictures(app / "Motives");

  if (UsePrivateXServer() && DisplayAvailable()) {
    TGame game(launcher, tmp.path());
    ASSERT_TRUE(game.display());
    EXPECT_NE(game.WaitForGameWindow(), 0u) << "the installed game opened no window";
  }
  // The game found its own folder through the link and left the default pictures as they are.
  ExpectDefaultPictures(app / "Motives");

  // An update keeps the player's pictures, including rewritten default ones.
  fs::copy_file(fs::path(SourceDir()) / "assets/Icons/tessolino-64.png", app / "Motives/mine.png");
  std::ofstream(app / "Motives/PuzzleBerge.jpg", std::ios::binary | std::ios::app) << "changed";
  const std::string berge = Bytes(app / "Motives/PuzzleBerge.jpg");
  const TRun update = InstallBuilt();
  ASSERT_EQ(update.status, 0) << update.output;
  EXPECT_EQ(Bytes(app / "Motives/PuzzleBerge.jpg"), berge);
  EXPECT_TRUE(fs::exists(app / "Motives/mine.png"));

  const TRun remove = Installer({"--uninstall"});
  ASSERT_EQ(remove.status, 0) << remove.output;
  EXPECT_NE(remove.output.find((app / "Motives").string()), std::string::npos) << remove.output;
  std::set<std::string> left = FilesBelow(tmp.path());
  std::set<std::string> pictures = {"data/tessolino/Motives/mine.png"};
  for (const std::string& name : DefaultPictures()) pictures.insert("data/tessolino/Motives/" + name);
  EXPECT_EQ(left, pictures);
  // Of the folders only those that hold the pictures remain (and the home the test made).
  EXPECT_FALSE(fs::exists(data / "applications"));
  EXPECT_FALSE(fs::exists(data / "icons"));
  EXPECT_FALSE(fs::exists(home / ".local"));
}

TEST_F(Install, WithoutXdgDataHomeGoesBelowLocalShareAndEmptyFoldersGoToo) {
  env["XDG_DATA_HOME"] = "";
  const TRun install = InstallBuilt();
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path share = home / ".local/share";
  EXPECT_TRUE(fs::exists(share / "tessolino/Tessolino"));
  EXPECT_TRUE(fs::exists(share / "applications/tessolino.desktop"));
  EXPECT_TRUE(fs::exists(share / "icons/hicolor/48x48/apps/tessolino.png"));
  EXPECT_FALSE(fs::exists(data));
  // A player who removed every picture leaves nothing behind.
  for (const std::string& name : DefaultPictures()) fs::remove(share / "tessolino/Motives" / name);
  const TRun remove = Installer({"--uninstall"});
  ASSERT_EQ(remove.status, 0) << remove.output;
  EXPECT_TRUE(fs::is_empty(home)) << Listing(home);
}

TEST_F(Install, NeverReplacesAFileOfThePlayerWhereTheLauncherGoes) {
  fs::create_directories(home / ".local/bin");
  std::ofstream(home / ".local/bin/tessolino") << "#!/bin/sh\necho mine\n";
  const TRun install = InstallBuilt();
  EXPECT_EQ(install.status, 1);
  EXPECT_NE(install.output.find("move it away"), std::string::npos) << install.output;
  EXPECT_EQ(Bytes(home / ".local/bin/tessolino"), "#!/bin/sh\necho mine\n");
  EXPECT_FALSE(fs::exists(data));
}

}  // namespace
