// The motif folder: which names are motifs, reading a motif picture by its content,
// entering the folder and coming back exactly, and the start-up pass that rewrites
// pictures as 512 x 512 JPEGs without ever leaving a damaged file behind, and only
// pictures that are whole, settled and the player's to change.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/object.h"

struct TPixmap;
struct TStream;

// The folder, relative to the program's directory (the current one at start-up).
inline constexpr char16_t kMotivesFolder[] = u"Motives/";

// The name ends, in any case, in ".png", ".jpg", "jpeg", ".jfif", ".heic",
// ".heif", ".avif" or "webp".
bool IsMotifName(const std::u16string& name);
// Rewritten when wider or higher than 512 or not named "Puzzle..." (case-sensitive).
bool MotifNeedsRewrite(const std::u16string& name, int width, int height);

// Which file a motif's bytes came from and how it stood when it was read (the
// open file's status): a rewrite may replace only that file, unchanged.
struct TMotifFileStamp {
  uint64_t device = 0, inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;  // last modification, nanoseconds since the epoch
  unsigned mode = 0;       // permission bits
};

// The bytes of a regular file of the current directory (a symbolic link counts when
// it leads to one), at most 256 MiB; false for anything else or a read error.
// `stamp`, when given, receives the file's identity as read.
bool ReadMotifFile(const std::u16string& name, std::vector<unsigned char>& bytes, TMotifFileStamp* stamp = nullptr);

// Writes pixmap as a JPEG of quality 75 to a temporary file beside name (through
// the descriptor that created it), flushes it to disk and renames it over name (a
// symbolic link is replaced, not written through). The new file gets the
// original's permission bits and is never more open than that while it is
// written. Only the file that was read is replaced: when name has gone, leads to
// another file, or its size or modification time differ from `read`, nothing is
// replaced. On any failure the temporary file is removed and name is untouched.
// The rename itself reaches the disk with the next SyncCurrentFolder (until then
// a crash leaves the old file, whole).
bool ReplaceWithJpeg(const Ref<TPixmap>& pixmap, const std::u16string& name, const TMotifFileStamp& read);
// Flushes the current directory's entries (renames made in it) to disk.
void SyncCurrentFolder();

// Enters a folder and, on destruction, returns to the exact directory that was
// current before (by descriptor), whatever happened in between.
class TFolderVisit {
 public:
  explicit TFolderVisit(const std::u16string& folder);
  ~TFolderVisit();
  TFolderVisit(const TFolderVisit&) = delete;
  TFolderVisit& operator=(const TFolderVisit&) = delete;
  bool Entered() const { return entered_; }

 private:
  int home_ = -1;
  bool entered_ = false;
};

// What the start-up pass did with one entry of the folder. Failed: an exception
// (a failed allocation, say) ended the work on it; the file is as it was.
enum class TMotifOutcome { NotAMotif, Undecodable, Kept, Rewritten, WriteFailed, Failed };

// Normalises one entry of the current directory: decodes it (upright, in sRGB),
// and when MotifNeedsRewrite says so for its full upright size, rewrites it as a
// 512 x 512 JPEG shrunk with ResamplePixmap, transparency laid over white. Kept
// as it is (the catalogue shows it scaled in memory): a file whose owner may not
// write it, one modified in the last two seconds (still being copied), one whose
// data ends early or is damaged, and a 512 x 512 JPEG that a rewrite would only
// wear down (IsPlainJpegOfSize).
TMotifOutcome NormaliseMotif(const std::u16string& name);

// The JPEG writer ReplaceWithJpeg calls with the temporary file's stream: 1 when
// the whole picture was written. It runs on the pass's worker threads. Null
// restores SavePixmapJPeg at quality 75; the previous writer is returned.
using TMotifWriter = int (*)(const Ref<TPixmap>& pixmap, const Ref<TStream>& out);
TMotifWriter SetMotifWriter(TMotifWriter writer);

// A fresh name ".tessolino-<pid>-<random>-<n>.tmp" for one rewrite's temporary
// file: the random part keeps processes of the same id (in other process-id
// namespaces) apart. True for names of that form and the older
// ".tessolino-<pid>-<n>.tmp" and ".tessolino-<pid>.tmp".
std::u16string TemporaryMotifName();
bool IsTemporaryMotifName(const std::u16string& name);
