#include "platform/app.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct TChildResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs program with args in cwd, standard output and error captured in files.
TChildResult RunProgram(const std::string& program, std::vector<std::string> args, const fs::path& cwd) {
  TempDir io;
  const auto out = io.path() / "out", err = io.path() / "err";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  TChildResult r;
  while (waitpid(pid, &r.status, 0) < 0 && errno == EINTR) {
  }
  r.out = Slurp(out);
  r.err = Slurp(err);
  return r;
}

TChildResult RunChild(std::vector<std::string> args) { return RunProgram(APP_CHILD_PATH, std::move(args), fs::current_path()); }

void ExpectKilledBy(const TChildResult& r, int sig) {
  ASSERT_TRUE(WIFSIGNALED(r.status)) << "status " << r.status << ", stderr: " << r.err;
  EXPECT_EQ(WTERMSIG(r.status), sig);
  EXPECT_NE(r.err.find("appstub.linux signal handler " + std::to_string(sig) + "\n"), std::string::npos)
      << r.err;
}

TEST(AppEntry, ProgramStartedElsewhereRunsInItsOwnDirectoryAndFindsFilesBesideIt) {
  TempDir tmp;
  const fs::path bin = tmp.path() / "bin dir";
  fs::create_directories(bin);
  fs::create_directories(tmp.path() / "elsewhere");
  fs::copy_file(APP_CHILD_PATH, bin / "child");
  tmp.Write("bin dir/beside.txt", "found me");
  const fs::path real_bin = fs::canonical(bin), real_else = fs::canonical(tmp.path() / "elsewhere");

  auto r = RunProgram((bin / "child").string(), {"where", "two"}, tmp.path() / "elsewhere");
  ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_NE(r.out.find("AppFile=" + (real_bin / "child").string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("AppDir=" + real_bin.string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("AppClass=child\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("cwd=" + real_bin.string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("LaunchDir=" + real_else.string() + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("beside=found me"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("args=3\narg=" + (bin / "child").string() + "\narg=where\narg=two\n"),
            std::string::npos)
      << r.out;
}

TEST(AppEntry, NullDereferenceIsReportedAndTheChildDiesOfSigsegv) {
  ExpectKilledBy(RunChild({"segv"}), SIGSEGV);
}

TEST(AppEntry, StackOverflowIsReportedFromTheAlternateStack) {
  ExpectKilledBy(RunChild({"overflow"}), SIGSEGV);
}

TEST(AppEntry, TerminationSignalsEndThroughTheExitHandlersAndASecondOneAtOnce) {
  for (const char* mode : {"term", "hup"}) {
    auto r = RunChild({mode});
    ASSERT_TRUE(WIFEXITED(r.status)) << mode << ": status " << r.status << ", stderr: " << r.err;
    EXPECT_EQ(WEXITSTATUS(r.status), 0) << mode;
    EXPECT_EQ(r.out, "pump handler") << mode;
    EXPECT_EQ(r.err, "") << mode;
  }
  auto r = RunChild({"term-twice"});
  ASSERT_TRUE(WIFSIGNALED(r.status)) << "status " << r.status;
  EXPECT_EQ(WTERMSIG(r.status), SIGTERM);
  EXPECT_EQ(r.err, "");
}

TEST(AppEntry, UncaughtErrorsAreReportedOnStandardErrorWithFailureStatus) {
  auto r = RunChild({"throw"});
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_NE(WEXITSTATUS(r.status), 0);
  EXPECT_NE(r.err.find("Stream is not readable"), std::string::npos) << r.err;
  r = RunChild({"std"});
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_NE(WEXITSTATUS(r.status), 0);
  EXPECT_NE(r.err.find("plain failure"), std::string::npos) << r.err;
}

TEST(AppEntry, EndRunsExitHandlersNewestFirstAndExitsWithZero) {
  auto r = RunChild({"end"});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_EQ(r.out, "body 321");  // stdio flushed before the exit
  r = RunChild({"end-nested"});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_EQ(r.out, "321");
  r = RunChild({"return"});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.err;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
}

TEST(AppEntry, BrokenPipeIsAnErrorNotASignal) {
  auto r = RunChild({"pipe"});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
  EXPECT_EQ(r.out, "write=-1\n");
}

TEST(AppEntry, AppDirIsTheFolderOfTheProgramAndTheRootForAProgramInIt) {
  EXPECT_EQ(AppDirOf(u"/usr/games/tessolino"), u"/usr/games");
  EXPECT_EQ(AppDirOf(u"/tessolino"), u"/");
  EXPECT_EQ(AppDirOf(u"."), u".");
  EXPECT_EQ(AppDirOf(u"a/b"), u"a");
}

TEST(AppEntry, DebugLogGoesToTheReplaceableHookOnly) {
  static std::u16string logged;
  DebugLog(u"silent by default");
  auto old = SetDebugLogHook([](const std::u16string& t) { logged += t; });
  DebugLog(u"Done");
  EXPECT_EQ(logged, u"Done");
  SetDebugLogHook(old);
  DebugLog(u"again silent");
  EXPECT_EQ(logged, u"Done");
}

}  // namespace
