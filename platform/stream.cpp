// Stream base operations, the typed readers and writers, the forwarding wrapper,
// the factory list and the URL entry points. File and memory streams live in
// cstream.cpp and ram_stream.cpp.
#include "platform/stream.h"

#include <cstring>

#include "platform/text.h"
#include "platform/ustring.h"

// ---- TIO defaults -------------------------------------------------------------

bool TIO::Eof() { return false; }
int TIO::Pos() { return -1; }
int TIO::Size() { return 0; }
int TIO::Seek(int) { RuntimeError("Stream is not seekable"); }
void TIO::Flush() {}
void TIO::Close() {}
int TIO::Read(void*, int) { RuntimeError("Stream is not readable"); }
int TIO::Write(const void*, int) { RuntimeError("Stream is not writeable"); }

// ---- TStream -------------------------------------------------------------------

bool TStream::Eof() { return Pos() == Size(); }

int TStream::ReadBytes(void* buf, int count) {
  auto* p = static_cast<unsigned char*>(buf);
  int left = count;
  while (left > 0 && !Eof()) {
    int n = Read(p, left);
    if (n <= 0) throw TStreamReadException();
    p += n;
    left -= n;
  }
  return count;
}

size_t TStream::ReadFully(void* buf, size_t count) {
  auto* p = static_cast<unsigned char*>(buf);
  size_t done = 0;
  while (done < count) {
    const size_t want = count - done;
    const int piece = want > (1u << 30) ? (1 << 30) : static_cast<int>(want);
    const int got = Read(p + done, piece);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

int TStream::WriteBytes(const void* buf, int count) {
  auto* p = static_cast<const unsigned char*>(buf);
  int left = count;
  while (left > 0) {
    int n = Write(p, left);
    if (n <= 0) throw TStreamWriteException();
    p += n;
    left -= n;
  }
  return count;
}

int TStream::SkipBytes(int count) {
  unsigned char scratch[1024];
  int left = count;
  while (left > 0 && !Eof()) {
    int n = Read(scratch, left < 1024 ? left : 1024);
    if (n <= 0) throw TStreamReadException();
    left -= n;
  }
  return count;
}

namespace {

// Typed reads fill a zeroed value, so bytes missing at the end read as 0.
template <class T>
T ReadValue(TStream& s) {
  unsigned char bytes[sizeof(T)] = {};
  s.ReadBytes(bytes, sizeof(T));
  T v;
  std::memcpy(&v, bytes, sizeof(T));
  return v;
}

template <class T>
void WriteValue(TStream& s, T v) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &v, sizeof(T));
  s.WriteBytes(bytes, sizeof(T));
}

}  // namespace

int TStream::ReadByte() { return ReadValue<uint8_t>(*this); }
void TStream::WriteByte(int v) { WriteValue<uint8_t>(*this, static_cast<uint8_t>(v)); }
int TStream::ReadShort() { return ReadValue<uint16_t>(*this); }
void TStream::WriteShort(int v) { WriteValue<uint16_t>(*this, static_cast<uint16_t>(v)); }
int TStream::ReadInt() { return ReadValue<int32_t>(*this); }
void TStream::WriteInt(int v) { WriteValue<int32_t>(*this, v); }
int64_t TStream::ReadLong() { return ReadValue<int64_t>(*this); }
void TStream::WriteLong(int64_t v) { WriteValue<int64_t>(*this, v); }
float TStream::ReadFloat() { return ReadValue<float>(*this); }
void TStream::WriteFloat(float v) { WriteValue<float>(*this, v); }
double TStream::ReadDouble() { return ReadValue<double>(*this); }
void TStream::WriteDouble(double v) { WriteValue<double>(*this, v); }

std::u16string TStream::ReadLine() {
  std::string bytes;
  while (!Eof()) {
    unsigned char c;
    if (Read(&c, 1) != 1) break;  // a stream that cannot tell its end stops here
    if (c == '\n') break;
    if (c != '\r') bytes += static_cast<char>(c);
  }
  return FromOSBytes(bytes);
}

void TStream::WriteLine(const std::u16string& text) {
  std::string bytes = ToOSBytes(text);
  bytes += "\r\n";
  WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
}

std::u16string TStream::ReadString(int length) {
  if (length <= 0) return {};
  std::string bytes;
  // Grow in pieces so a hostile length cannot demand a huge buffer up front.
  while (length > 0 && !Eof()) {
    int piece = length < 65536 ? length : 65536;
    size_t at = bytes.size();
    bytes.resize(at + piece);
    int n = Read(&bytes[at], piece);
    if (n <= 0) throw TStreamReadException();
    bytes.resize(at + n);
    length -= n;
  }
  return FromOSBytes(bytes);
}

void TStream::WriteString(const std::u16string& text) {
  std::string bytes = ToOSBytes(text);
  if (!bytes.empty()) WriteBytes(bytes.data(), static_cast<int>(bytes.size()));
}

Ref<TObject> TStream::ReadObject() { return nullptr; }
void TStream::WriteObject(const Ref<TObject>&) {}

// ---- TStreamWrapper ------------------------------------------------------------

bool TStreamWrapper::Eof() { return _stream ? _stream->Eof() : true; }
int TStreamWrapper::Pos() { return _stream ? _stream->Pos() : -1; }
int TStreamWrapper::Size() { return _stream ? _stream->Size() : 0; }
int TStreamWrapper::Seek(int pos) { return _stream ? _stream->Seek(pos) : -1; }
void TStreamWrapper::Flush() {
  if (_stream) _stream->Flush();
}
void TStreamWrapper::Close() {
  Ref<TStream> s = std::move(_stream);  // detached even when the flush raises
  if (s) s->Flush();
}
int TStreamWrapper::Read(void* buf, int count) { return _stream ? _stream->Read(buf, count) : 0; }
int TStreamWrapper::Write(const void* buf, int count) {
  return _stream ? _stream->Write(buf, count) : 0;
}

Ref<TStreamStream> TStreamStream::Create(Ref<TStream> stream) {
  auto s = std::make_shared<TStreamStream>();
  s->SetStream(std::move(stream));
  return s;
}

// ---- URLs ----------------------------------------------------------------------

TUrl::TUrl(const char* path) : text(path ? FromOSBytes(path) : std::u16string()) {}
TUrl::TUrl(const std::string& path) : text(FromOSBytes(path)) {}

void TUrl::SetObject(const Ref<TObject>& obj) {
  if (auto s = std::dynamic_pointer_cast<TStream>(obj)) {
    stream = std::move(s);
  } else if (auto str = std::dynamic_pointer_cast<TStringObject>(obj)) {
    text = str->value;
  }
}

// ---- factories -----------------------------------------------------------------

namespace {
TStreamFactory*& FactoryHead() {
  static TStreamFactory* head = nullptr;
  return head;
}
}  // namespace

TStreamFactory::TStreamFactory() {
  _succ = FactoryHead();
  FactoryHead() = this;
}

TStreamFactory::~TStreamFactory() {
  for (TStreamFactory** p = &FactoryHead(); *p; p = &(*p)->_succ) {
    if (*p == this) {
      *p = _succ;
      break;
    }
  }
}

// ---- entry points --------------------------------------------------------------

Ref<TStream> OpenStream(const TUrl& url, bool readable, bool writeable) {
  if (url.stream) return TStreamStream::Create(url.stream);
  const std::u16string& s = url.text;
  std::u16string protocol, path;
  if (!s.empty()) {
    size_t sep = s.find(u"::");
    if (sep == std::u16string::npos) return TCStream::OpenFile(s, readable, writeable);
    protocol = Lower(s.substr(0, sep));
    path = s.substr(sep + 2);
  }
  for (TStreamFactory* f = FactoryHead(); f; f = f->_succ) {
    if (Ref<TStream> st = f->CreateStream(url, protocol, path, readable, writeable)) return st;
  }
  return nullptr;
}

Ref<TStream> ReadStream(const TUrl& url) { return OpenStream(url, true, false); }
Ref<TStream> WriteStream(const TUrl& url) { return OpenStream(url, false, true); }

namespace {

// A memory stream that owns the bytes it serves.
struct TOwnedRamStream : TRamStream {
  std::vector<unsigned char> bytes;
};

}  // namespace

Ref<TStream> ReadFile(const TUrl& url) {
  Ref<TStream> s = ReadStream(url);
  if (!s || s->Pos() != -1) return s;
  auto mem = std::make_shared<TOwnedRamStream>();
  unsigned char piece[4096];
  for (;;) {
    int n = s->Read(piece, sizeof piece);
    if (n <= 0) break;
    if (mem->bytes.size() + n > 0x7FFFFFFF) return nullptr;  // not addressable with int positions
    mem->bytes.insert(mem->bytes.end(), piece, piece + n);
  }
  s->Close();  // a wrapper when url was a stream: that stream stays open
  mem->_buf = mem->bytes.data();
  mem->_size = static_cast<int>(mem->bytes.size());
  mem->_read = true;
  return mem;
}

Ref<TStream> WriteFile(const TUrl& url) { return WriteStream(url); }

void CloseStream(const Ref<TStream>& stream) {
  if (stream) stream->Close();
}

bool ReadAllBytes(const TUrl& url, std::vector<unsigned char>& out) {
  out.clear();
  Ref<TStream> s = ReadStream(url);
  if (!s) return false;
  bool ok = true;
  try {
    int size = s->Size(), pos = s->Pos();
    if (pos >= 0 && size > pos) out.reserve(static_cast<size_t>(size - pos));
    unsigned char piece[65536];
    while (!s->Eof()) {
      int n = s->Read(piece, sizeof piece);
      if (n <= 0) {
        // A stream that knows its size but delivers less is broken; one that
        // cannot tell its position just ended.
        ok = pos < 0;
        break;
      }
      out.insert(out.end(), piece, piece + n);
    }
  } catch (const TRuntimeError&) {
    ok = false;
  }
  s->Close();  // a wrapper when url was a stream: the caller's stream stays open
  if (!ok) out.clear();
  return ok;
}
