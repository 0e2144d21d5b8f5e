// tools/install as a player runs it, into a temporary home: the program with its
// default pictures, the launcher, a valid menu entry and every icon size; the game
// started through the launcher under a private X server, its window naming the
// game's class and carrying its icon; an update that keeps the player's pictures;
// an uninstall that leaves nothing but those pictures, however the folders are spelled;
// and a list of installed files that, edited, still removes nothing else.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pixmap/pixmap.h"
#include "pixmap/pixmap_loader.h"
#include "platform/stream.h"
#include "tests/support/private_x.h"
#include "tests/support/env.h"
#include "tests/support/gl_window.h"
#include "tests/support/temp_dir.h"

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
  // An empty value unsets: the install refuses to run under sudo.
  std::map<std::string, std::string> env{{"HOME", home.string()},
                                         {"XDG_DATA_HOME", data.string()},
                                         {"PATH", "/usr/bin:/bin"},
                                         {"SUDO_USER", ""}};

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

// The game started through the launcher, and a connection of the test's own that
// looks at its windows.
class TGame {
 public:
  explicit TGame(const fs::path& launcher, const fs::path& cwd) {
    pid_ = ::fork();
    if (pid_ == 0) {
      // Started from elsewhere: the program still finds its folder through the link.
      if (::chdir(cwd.c_str()) != 0) ::_exit(126);
      ::setenv("XDG_STATE_HOME", (cwd / "state").c_str(), 1);  // never the tester's own save
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl(launcher.c_str(), "tessolino", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~TGame() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  TProbeDisplay& probe() { return probe_; }

  // The mapped 800 x 600 game window, 0 when none appeared within the time.
  unsigned long WaitForGameWindow() {
    for (int i = 0; i < 300 && probe_.Get(); ++i) {
      for (unsigned long w : probe_.ViewableWindowsNamed("Tessolino")) {
        int width = 0, height = 0;
        if (probe_.WindowSize(w, &width, &height, nullptr) && width == 800 && height == 600) return w;
      }
      std::this_thread::sleep_for(100ms);
    }
    return 0;
  }

 private:
  pid_t pid_ = -1;
  TProbeDisplay probe_;
};

// The sizes in a _NET_WM_ICON value: width, height and the pixels, one after another.
std::vector<int> IconSizes(const std::vector<uint32_t>& icon) {
  std::vector<int> sizes;
  for (size_t at = 0; at + 1 < icon.size(); at += 2 + size_t{icon[at]} * icon[at + 1]) {
    if (icon[at] != icon[at + 1]) return {};
    sizes.push_back(static_cast<int>(icon[at]));
  }
  return sizes;
}

// The window names the game's class and carries the icon the installer put in the theme.
void ExpectGameIdentity(TProbeDisplay& probe, unsigned long window) {
  EXPECT_EQ(probe.WindowClass(window), (std::pair<std::string, std::string>("tessolino", "Tessolino")));
  EXPECT_EQ(probe.TextProperty(window, "_NET_WM_NAME", "UTF8_STRING"), "Tessolino");
  const std::vector<uint32_t> icon = probe.CardinalProperty(window, "_NET_WM_ICON");
  EXPECT_EQ(IconSizes(icon), (std::vector<int>{16, 32, 48, 64, 128}));
  Ref<TPixmap> small = LoadPixmapPNG(TUrl(SourceDir() + "/assets/Icons/tessolino-16.png"));
  ASSERT_TRUE(small);
  ASSERT_GE(icon.size(), 2u + 256u);
  for (int i = 0; i < 256; ++i)
    ASSERT_EQ(icon[2 + i], static_cast<uint32_t>(ReadPixel(small, i % 16, i / 16))) << "pixel " << i;
}

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
  for (const char* line : {"Name=Tessolino\n", "GenericName[de]=", "Comment[de]=", "Keywords=",
                           "Icon=tessolino\n", "Categories=Game;LogicGame;\n", "StartupWMClass=Tessolino\n"})
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

  std::unique_ptr<TGame> game;
  if (UsePrivateXServer() && DisplayAvailable()) {
    game = std::make_unique<TGame>(launcher, tmp.path());
    const unsigned long window = game->WaitForGameWindow();
    ASSERT_NE(window, 0u) << "the installed game opened no window";
    ExpectGameIdentity(game->probe(), window);
  }
  // The game found its own folder through the link and left the default pictures as they are.
  ExpectDefaultPictures(app / "Motives");

  // An update while the game runs (its program file is busy) keeps the player's
  // pictures, including changed default ones.
  fs::copy_file(fs::path(SourceDir()) / "assets/Icons/tessolino-64.png", app / "Motives/mine.png");
  std::ofstream(app / "Motives/PuzzleBerge.jpg", std::ios::binary | std::ios::app) << "changed";
  const std::string berge = Bytes(app / "Motives/PuzzleBerge.jpg");
  const TRun update = InstallBuilt();
  ASSERT_EQ(update.status, 0) << update.output;
  EXPECT_NE(update.output.find("updated"), std::string::npos) << update.output;
  EXPECT_EQ(Bytes(app / "Motives/PuzzleBerge.jpg"), berge);
  EXPECT_TRUE(fs::exists(app / "Motives/mine.png"));
  EXPECT_EQ(Bytes(app / "Tessolino"), Bytes(TESSOLINO_PATH));
  game.reset();

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

// However HOME and XDG_DATA_HOME are spelled (trailing or doubled slashes), install
// and uninstall find the same place, also for a list the previous installer wrote in
// the spelling it was given; without the pictures nothing is left.
TEST_F(Install, WithoutXdgDataHomeGoesBelowLocalShareUnderAnySpelling) {
  const fs::path share = home / ".local/share";
  const fs::path manifest = share / "tessolino/installed-files.txt";
  const fs::path launcher = home / ".local/bin/tessolino";
  struct TSpelling {
    std::string install_home, install_data, uninstall_home, uninstall_data;
    bool old_list;
  };
  const TSpelling spellings[] = {
      {home.string(), share.string() + "/", tmp.str() + "//home", "", true},
      {tmp.str() + "//home/", "", home.string(), home.string() + "/.local//share/", false}};
  for (const TSpelling& s : spellings) {
    SCOPED_TRACE("installed with HOME=" + s.install_home + " XDG_DATA_HOME=" + s.install_data);
    env["HOME"] = s.install_home;
    env["XDG_DATA_HOME"] = s.install_data;
    const TRun install = InstallBuilt();
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_TRUE(fs::exists(share / "tessolino/Tessolino"));
    EXPECT_TRUE(fs::exists(share / "applications/tessolino.desktop"));
    EXPECT_TRUE(fs::exists(share / "icons/hicolor/48x48/apps/tessolino.png"));
    EXPECT_FALSE(fs::exists(data));
    EXPECT_EQ(fs::read_symlink(launcher), share / "tessolino/Tessolino");
    std::string list = Bytes(manifest);
    EXPECT_EQ(list.find("//"), std::string::npos) << list;
    if (s.old_list) {
      for (size_t at = 0; (at = list.find("/.local/share/", at)) != std::string::npos; at += 15)
        list.insert(at + 14, "/");
      std::ofstream(manifest, std::ios::trunc) << list;
      fs::remove(launcher);
      fs::create_symlink(share.string() + "//tessolino/Tessolino", launcher);
    }
    // A player who removed every picture leaves nothing behind.
    for (const std::string& name : DefaultPictures()) fs::remove(share / "tessolino/Motives" / name);
    env["HOME"] = s.uninstall_home;
    env["XDG_DATA_HOME"] = s.uninstall_data;
    const TRun remove = Installer({"--uninstall"});
    ASSERT_EQ(remove.status, 0) << remove.output;
    EXPECT_TRUE(fs::is_empty(home)) << Listing(home);
  }
}

// An edited list makes neither an update nor the uninstall touch anything but the
// install's own files: each line with "." or "..", $(...), backquotes, a control
// character, a path elsewhere (the player's pictures too) or an unknown kind is
// refused with its number and never carried out. A link in place of a listed file
// goes as a link; a listed file below a folder that is a link to elsewhere stays, and
// so does the list, for as long as anything it names does.
TEST_F(Install, RefusesWhatAnEditedListNamesOutsideTheInstall) {
  ASSERT_EQ(InstallBuilt().status, 0);
  const fs::path app = data / "tessolino";
  const fs::path manifest = app / "installed-files.txt";
  const fs::path victim = tmp.Write("victim.txt", "mine");
  const fs::path ran = tmp.path() / "ran";
  fs::create_directories(tmp.path() / "empty");
  const std::string a = app.string(), t = tmp.str();
  const std::vector<std::string> hostile = {
      "f " + a + "/../../victim.txt",          "f " + t + "/./victim.txt",
      "f " + t + "/victim.txt",                "f " + a + "/$(touch " + ran.string() + ")",
      "f " + a + "/`touch " + ran.string() + "`", "f " + a + "/x\x1b[2J",
      "f " + a + "/Motives/PuzzleBerge.jpg",   "d " + t + "/empty",
      "x " + a + "/Tessolino"};
  size_t first = 0;  // the number of the first hostile line
  auto edit = [&] {
    const std::string list = Bytes(manifest);
    first = static_cast<size_t>(std::count(list.begin(), list.end(), '\n')) + 1;
    std::ofstream out(manifest, std::ios::app);
    for (const std::string& line : hostile) out << line << "\n";
  };
  auto expect_refused = [&](const TRun& run) {
    for (size_t i = 0; i < hostile.size(); ++i)
      EXPECT_NE(run.output.find("line " + std::to_string(first + i) + " refused"), std::string::npos)
          << hostile[i] << " in\n" << run.output;
    EXPECT_EQ(run.output.find('\x1b'), std::string::npos) << "a control character reached the terminal";
    EXPECT_EQ(Bytes(victim), "mine");
    EXPECT_FALSE(fs::exists(ran));
    EXPECT_TRUE(fs::exists(tmp.path() / "empty"));
    EXPECT_TRUE(fs::exists(app / "Motives/PuzzleBerge.jpg"));
  };

  edit();
  const TRun update = InstallBuilt();
  EXPECT_EQ(update.status, 0) << update.output;
  expect_refused(update);
  EXPECT_EQ(Bytes(manifest).find(t + "/victim"), std::string::npos) << "refused lines are not kept";

  edit();
  const fs::path entry = data / "applications/tessolino.desktop";
  fs::remove(entry);
  fs::create_symlink(victim, entry);
  const fs::path icons = data / "icons/hicolor/48x48/apps";
  fs::remove_all(icons);
  const fs::path theirs = tmp.Write("theirs/tessolino.png", "their icon").parent_path();
  fs::create_symlink(theirs, icons);
  const TRun remove = Installer({"--uninstall"});
  EXPECT_EQ(remove.status, 1) << remove.output;
  expect_refused(remove);
  EXPECT_NE(remove.output.find("once links are followed"), std::string::npos) << remove.output;
  EXPECT_EQ(Bytes(theirs / "tessolino.png"), "their icon");
  EXPECT_FALSE(fs::is_symlink(entry));
  EXPECT_FALSE(fs::exists(app / "Tessolino"));
  EXPECT_FALSE(fs::is_symlink(home / ".local/bin/tessolino"));
  EXPECT_TRUE(fs::exists(manifest));
  EXPECT_NE(remove.output.find("not completely uninstalled"), std::string::npos) << remove.output;
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
