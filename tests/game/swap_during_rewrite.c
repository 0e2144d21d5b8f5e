// Preloaded into the built game by the end-to-end test of a picture replaced while
// the game rewrites it. The first time the game flushes one of its temporary motif
// files, $TESS_SWAP_NEW replaces $TESS_SWAP_MOTIF, as a player copying a new picture
// under that name would at that moment: after the original was read, just before
// the game checks it and renames its rewrite over it. The new picture is renamed
// over the motif, or with TESS_SWAP_BY=copy written into it as cp does (the file
// stays, its size and time change). Then fsync runs.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// The descriptor's file is named ".tessolino-<...>.tmp".
static int IsTemporaryMotif(int fd) {
  char link[32], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  const char* base = strrchr(path, '/');
  base = base ? base + 1 : path;
  const size_t len = strlen(base);
  return len > 15 && strncmp(base, ".tessolino-", 11) == 0 && strcmp(base + len - 4, ".tmp") == 0;
}

static void CopyInto(const char* from, const char* to) {
  const int in = open(from, O_RDONLY | O_CLOEXEC), out = open(to, O_WRONLY | O_TRUNC | O_CLOEXEC);
  char buf[4096];
  ssize_t n = 0;
  while (in >= 0 && out >= 0 && (n = read(in, buf, sizeof buf)) > 0 && write(out, buf, n) == n) {
  }
  if (in >= 0) close(in);
  if (out >= 0) close(out);
}

int fsync(int fd) {
  static atomic_flag swapped = ATOMIC_FLAG_INIT;
  const char* replacement = getenv("TESS_SWAP_NEW");
  const char* motif = getenv("TESS_SWAP_MOTIF");
  const char* by = getenv("TESS_SWAP_BY");
  if (replacement && motif && IsTemporaryMotif(fd) && !atomic_flag_test_and_set(&swapped)) {
    if (by && strcmp(by, "copy") == 0)
      CopyInto(replacement, motif);
    else
      rename(replacement, motif);
  }
  int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
  return real ? real(fd) : -1;
}
