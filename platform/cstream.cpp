// File streams over the C library's buffered FILE, with the case-insensitive retry
// for files opened only for reading.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/path_resolve.h"
#include "platform/stream.h"
#include "platform/ustring.h"

namespace {
constexpr int kLastRead = 1;
constexpr int kLastWrite = 2;

int ClampToInt(long v) { return v < 0 ? 0 : v > INT_MAX ? INT_MAX : static_cast<int>(v); }

// On the main thread the 1 ms alarm can interrupt a transfer on pipes and devices; an
// interrupted piece is resumed instead of ending the read or write early.
bool Interrupted(std::FILE* f) {
  if (!std::ferror(f) || errno != EINTR) return false;
  std::clearerr(f);
  return true;
}

size_t ReadRetrying(void* buf, size_t count, std::FILE* f) {
  auto* p = static_cast<char*>(buf);
  size_t done = 0;
  do {
    errno = 0;
    done += std::fread(p + done, 1, count - done, f);
  } while (done < count && Interrupted(f));
  return done;
}

size_t WriteRetrying(const void* buf, size_t count, std::FILE* f) {
  auto* p = static_cast<const char*>(buf);
  size_t done = 0;
  do {
    errno = 0;
    done += std::fwrite(p + done, 1, count - done, f);
  } while (done < count && Interrupted(f));
  return done;
}

std::FILE* OpenRetryingInterrupts(const char* path, const char* mode) {
  std::FILE* f;
  do {
    errno = 0;
    f = std::fopen(path, mode);
  } while (!f && errno == EINTR);
  return f;
}
}  // namespace

TCStream::~TCStream() {
  if (_cstream) std::fclose(_cstream);
}

bool TCStream::Eof() { return _pos < 0 ? !_cstream || std::feof(_cstream) : _pos == _size; }
int TCStream::Pos() { return _pos; }
int TCStream::Size() { return _size; }

int TCStream::Seek(int pos) {
  if (!_cstream || _pos < 0) return _pos;
  if (std::fseek(_cstream, pos, SEEK_SET) == 0) _lastOp = 0;
  _pos = ClampToInt(std::ftell(_cstream));
  return _pos;
}

// Buffered bytes that cannot reach the file are a failed write: writers learn of a
// full disk here rather than through a short Write.
void TCStream::Flush() {
  if (_cstream && std::fflush(_cstream) != 0 && (_mode & MODE_WRITE)) throw TStreamWriteException();
}

void TCStream::Close() {
  if (!_cstream) return;
  bool flushed = std::fflush(_cstream) == 0;
  bool closed = std::fclose(_cstream) == 0;
  _cstream = nullptr;
  _pos = 0;
  _size = 0;
  if ((!flushed || !closed) && (_mode & MODE_WRITE)) throw TStreamWriteException();
}

int TCStream::Read(void* buf, int count) {
  if (!_cstream || count < 1 || !(_mode & MODE_READ)) return 0;
  // Switching from writing to reading needs a positioning call in between.
  if (_lastOp == kLastWrite) std::fseek(_cstream, 0, SEEK_CUR);
  _lastOp = kLastRead;
  size_t n = ReadRetrying(buf, static_cast<size_t>(count), _cstream);
  // The position is 32-bit: in a file of 2 GiB or more it stops at the largest.
  if (_pos >= 0) _pos = n > static_cast<size_t>(INT_MAX - _pos) ? INT_MAX : _pos + static_cast<int>(n);
  return static_cast<int>(n);
}

int TCStream::Write(const void* buf, int count) {
  if (!_cstream || count < 1 || !(_mode & MODE_WRITE)) return 0;
  if (_lastOp == kLastRead) std::fseek(_cstream, 0, SEEK_CUR);
  _lastOp = kLastWrite;
  size_t n = WriteRetrying(buf, static_cast<size_t>(count), _cstream);
  if (_pos >= 0) {
    if (n > static_cast<size_t>(INT_MAX - _pos)) n = static_cast<size_t>(INT_MAX - _pos);
    _pos += static_cast<int>(n);
    if (_pos > _size) _size = _pos;
  }
  return static_cast<int>(n);
}

Ref<TCStream> TCStream::CreateWithCStream(std::FILE* file, int mode) {
  if (!file) return nullptr;
  auto s = std::make_shared<TCStream>();
  s->_cstream = file;
  s->_mode = mode;
  long here = std::ftell(file);
  if (here < 0) {
    // A pipe or terminal: no position, no size; its end is where reading stops.
    std::clearerr(file);
    s->_pos = -1;
    return s;
  }
  if (std::fseek(file, 0, SEEK_END) == 0) {
    s->_size = ClampToInt(std::ftell(file));
    std::fseek(file, here, SEEK_SET);
  }
  s->_pos = ClampToInt(here);
  return s;
}

Ref<TCStream> TCStream::OpenFile(const std::u16string& path, bool readable, bool writeable) {
  const char* mode;
  int bits;
  if (readable && writeable) {
    mode = "r+b";
    bits = MODE_READ | MODE_WRITE;
  } else if (readable) {
    mode = "rb";
    bits = MODE_READ;
  } else if (writeable) {
    mode = "wb";
    bits = MODE_WRITE;
  } else {
    return nullptr;  // a stream that can do nothing is no use to anyone
  }
  std::string p = SlashPath(ToOSBytes(path));
  if (p.empty()) return nullptr;
  std::FILE* f = OpenRetryingInterrupts(p.c_str(), mode);
  if (!f && !writeable) {
    std::string found = ResolvePathIgnoringCase(p);
    if (!found.empty()) f = OpenRetryingInterrupts(found.c_str(), mode);
  }
  // fopen happily opens a folder for reading; its reads then fail with a size
  // that means nothing, so a folder is no file stream.
  struct stat st;
  if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
    std::fclose(f);
    f = nullptr;
  }
  return CreateWithCStream(f, bits);
}
