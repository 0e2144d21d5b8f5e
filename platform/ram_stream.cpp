// Memory streams over a block owned by someone else (embedded resources, buffers).
#include <cstring>

#include "platform/stream.h"

int TRamStream::Pos() { return _pos; }
int TRamStream::Size() { return _size; }

int TRamStream::Seek(int pos) {
  _pos = pos < 0 ? 0 : pos > _size ? _size : pos;
  return _pos;
}

int TRamStream::Read(void* buf, int count) {
  if (count < 1 || !_read) return 0;
  if (count > _size - _pos) count = _size - _pos;
  if (count > 0) std::memcpy(buf, _buf + _pos, static_cast<size_t>(count));
  _pos += count;
  return count;
}

int TRamStream::Write(const void* buf, int count) {
  if (count < 1 || !_write) return 0;
  if (count > _size - _pos) count = _size - _pos;
  if (count > 0) std::memcpy(_buf + _pos, buf, static_cast<size_t>(count));
  _pos += count;
  return count;
}

Ref<TRamStream> TRamStream::Create(const void* buf, int size, bool readable, bool writeable) {
  auto s = std::make_shared<TRamStream>();
  // Only written through when writeable, so read-only memory is safe here.
  s->_buf = static_cast<unsigned char*>(const_cast<void*>(buf));
  s->_size = buf && size > 0 ? size : 0;
  s->_read = readable;
  s->_write = writeable;
  return s;
}
