// Byte streams: the base types every loader reads from and every writer writes to,
// the file stream over the C library's buffered FILE, the memory stream, the
// forwarding wrapper, protocol factories and the URL entry points (OpenStream ...).
// Multi-byte values are little-endian (the machine order on every target we build).
// Main thread only: the factory list and the resource registry are not locked.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/object.h"
#include "platform/runtime_error.h"

// Hard stream errors; sample and picture loaders catch TStreamException as "the
// data does not match" and give null.
class TStreamException : public TRuntimeError {
 public:
  using TRuntimeError::TRuntimeError;
};
class TStreamReadException : public TStreamException {
 public:
  TStreamReadException() : TStreamException("Error reading from stream") {}
};
class TStreamWriteException : public TStreamException {
 public:
  TStreamWriteException() : TStreamException("Error writing to stream") {}
};

// Base of all streams. Defaults: not readable, not writeable ("Stream is not
// readable" / "Stream is not writeable"), not seekable ("Stream is not seekable"),
// position unknown (-1), size 0.
struct TIO : TObject {
  virtual bool Eof();
  virtual int Pos();
  virtual int Size();
  virtual int Seek(int pos);
  virtual void Flush();
  virtual void Close();
  // Up to count bytes; returns how many were transferred (0 at end or on failure).
  virtual int Read(void* buf, int count);
  virtual int Write(const void* buf, int count);
};

struct TStream : TIO {
  // True when Pos() == Size().
  bool Eof() override;

  // Reads until count bytes arrived or Eof(); returns count even when the end
  // stopped it early (the tail of buf is then left as it was). A Read of 0 before
  // the end raises TStreamReadException.
  virtual int ReadBytes(void* buf, int count);
  // Writes all count bytes; a Write of 0 raises TStreamWriteException.
  virtual int WriteBytes(const void* buf, int count);
  // Reads and discards up to count bytes (stops at the end); returns count.
  virtual int SkipBytes(int count);
  // For loaders: reads until count bytes arrived or Read delivers nothing more and
  // returns how many arrived, so a short file shows as a short count (ReadBytes
  // reports the full count at the end). Stream exceptions propagate.
  size_t ReadFully(void* buf, size_t count);

  // Typed values; at end of stream the missing bytes read as zero.
  virtual int ReadByte();                // 0..255
  virtual void WriteByte(int v);
  virtual int ReadShort();               // 0..65535
  virtual void WriteShort(int v);
  virtual int ReadInt();
  virtual void WriteInt(int v);
  virtual int64_t ReadLong();
  virtual void WriteLong(int64_t v);
  virtual float ReadFloat();
  virtual void WriteFloat(float v);
  virtual double ReadDouble();
  virtual void WriteDouble(double v);
  // A line up to LF or the end; CR bytes are dropped. Bytes convert as file names
  // do (FromOSBytes), so any line round-trips through WriteLine.
  virtual std::u16string ReadLine();
  // Writes the text (ToOSBytes) followed by CR LF.
  virtual void WriteLine(const std::u16string& text);
  // length bytes (fewer at the end), converted with FromOSBytes.
  virtual std::u16string ReadString(int length);
  // Writes ToOSBytes(text), without terminator.
  virtual void WriteString(const std::u16string& text);
  // Object serialisation is not provided by any stream of this system: ReadObject
  // gives null and WriteObject writes nothing.
  virtual Ref<TObject> ReadObject();
  virtual void WriteObject(const Ref<TObject>& object);
};

// A file stream. Closing twice is harmless; the destructor closes an open file.
// On a stream opened for writing, Flush and Close raise TStreamWriteException when
// buffered bytes cannot be written or the close fails (the file is closed anyway).
struct TCStream : TStream {
  static constexpr int MODE_READ = 1;
  static constexpr int MODE_WRITE = 2;

  int _pos = 0;
  int _size = 0;
  std::FILE* _cstream = nullptr;
  int _mode = 0;

  ~TCStream() override;
  // A file that cannot tell its position (a pipe) has Pos() -1 and Size() 0 and
  // ends when the C stream reports its end.
  bool Eof() override;
  int Pos() override;
  int Size() override;
  int Seek(int pos) override;
  void Flush() override;
  void Close() override;
  int Read(void* buf, int count) override;
  int Write(const void* buf, int count) override;

  // path goes to the OS through ToOSBytes; "\" counts as "/". A missing file opened
  // only for reading is looked up again without regard to ASCII case.
  static Ref<TCStream> OpenFile(const std::u16string& path, bool readable, bool writeable);
  // Takes ownership of file (closed by Close or the destructor).
  static Ref<TCStream> CreateWithCStream(std::FILE* file, int mode);

 private:
  int _lastOp = 0;  // 1 read, 2 write: C streams need a seek between the two
};

// A stream over a memory block it does not own (the block must outlive it).
struct TRamStream : TStream {
  int _pos = 0;
  int _size = 0;
  unsigned char* _buf = nullptr;
  bool _read = false;
  bool _write = false;

  int Pos() override;
  int Size() override;
  // Clamps to 0 ... Size() and returns the new position.
  int Seek(int pos) override;
  int Read(void* buf, int count) override;
  int Write(const void* buf, int count) override;

  // buf may point to read-only memory when writeable is false.
  static Ref<TRamStream> Create(const void* buf, int size, bool readable, bool writeable);
};

// Forwards every operation to _stream. Close detaches from the wrapped stream
// (after flushing it) but never closes it: whoever opened that stream closes it.
// A detached wrapper behaves as an empty stream (Pos -1, Size 0, Read/Write 0).
struct TStreamWrapper : TStream {
  Ref<TStream> _stream;

  void SetStream(Ref<TStream> stream) { _stream = std::move(stream); }
  bool Eof() override;
  int Pos() override;
  int Size() override;
  int Seek(int pos) override;
  void Flush() override;
  void Close() override;
  int Read(void* buf, int count) override;
  int Write(const void* buf, int count) override;
};

// What OpenStream returns for a URL that already is a stream.
struct TStreamStream : TStreamWrapper {
  static Ref<TStreamStream> Create(Ref<TStream> stream);
};

// A source of streams: either a plain path, a protocol URL ("proto::path"), or an
// object (a stream, a TStringObject, or anything else, which counts as "").
struct TUrl {
  TUrl() = default;
  TUrl(std::u16string path) : text(std::move(path)) {}
  TUrl(const char16_t* path) : text(path ? path : u"") {}
  // UTF-8 or raw OS bytes (FromOSBytes).
  TUrl(const char* path);
  TUrl(const std::string& path);
  template <class T, class = std::enable_if_t<std::is_base_of_v<TObject, T>>>
  TUrl(const Ref<T>& obj) {
    SetObject(std::static_pointer_cast<TObject>(obj));
  }

  Ref<TStream> stream;  // set when the URL is a stream
  std::u16string text;  // the URL text otherwise

 private:
  void SetObject(const Ref<TObject>& obj);
};

// Protocol handler. Creating one puts it at the head of the factory list, so the
// newest is asked first; destroying one takes it out again.
struct TStreamFactory {
  TStreamFactory();
  virtual ~TStreamFactory();
  TStreamFactory(const TStreamFactory&) = delete;
  TStreamFactory& operator=(const TStreamFactory&) = delete;

  // protocol is lower-cased (ASCII); return null when this factory does not serve it.
  virtual Ref<TStream> CreateStream(const TUrl& url, const std::u16string& protocol,
                                    const std::u16string& path, bool readable,
                                    bool writeable) = 0;

  TStreamFactory* _succ = nullptr;
};

// Stream for url or null (missing file, unknown protocol, refused mode).
Ref<TStream> OpenStream(const TUrl& url, bool readable, bool writeable);
Ref<TStream> ReadStream(const TUrl& url);   // OpenStream(url, true, false)
Ref<TStream> WriteStream(const TUrl& url);  // OpenStream(url, false, true)
// As ReadStream/WriteStream, except that a stream whose Pos() is -1 is read whole
// into memory and handed back as a memory stream over those bytes.
Ref<TStream> ReadFile(const TUrl& url);
Ref<TStream> WriteFile(const TUrl& url);
// Closes a stream (null is fine).
void CloseStream(const Ref<TStream>& stream);
// Reads the whole of url into out; false when it cannot be opened or read. A
// stream url is read from its current position and is not closed.
bool ReadAllBytes(const TUrl& url, std::vector<unsigned char>& out);
