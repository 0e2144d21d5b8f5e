// The embedded-resource registry (newest entry first) and the "incbin" protocol
// that serves its entries as read-only memory streams.
#include "platform/incbin.h"

#include <memory>

#include "platform/stream.h"

namespace {

struct TIncbinEntry {
  std::unique_ptr<TIncbinEntry> next;
  std::u16string name;
  const void* data;
  int size;
};

struct TRamStreamFactory : TStreamFactory {
  Ref<TStream> CreateStream(const TUrl&, const std::u16string& protocol, const std::u16string& path,
                            bool readable, bool writeable) override {
    if (protocol != u"incbin" || writeable) return nullptr;
    const void* p = IncbinPtr(path);
    if (!p) return nullptr;
    return TRamStream::Create(p, IncbinLen(path), readable, false);
  }
};

struct TIncbinModule {
  std::unique_ptr<TIncbinEntry> head;
  TRamStreamFactory factory;  // created with the module, so it serves from the first use on
};

TIncbinModule& Module() {
  static TIncbinModule* m = new TIncbinModule;  // lives until exit, never torn down
  return *m;
}

const TIncbinEntry* Find(const std::u16string& name) {
  for (const TIncbinEntry* e = Module().head.get(); e; e = e->next.get())
    if (e->name == name) return e;
  return nullptr;
}

}  // namespace

int IncbinAdd(const std::u16string& name, const void* data, int size) {
  if (Find(name)) return 0;
  auto e = std::make_unique<TIncbinEntry>();
  e->name = name;
  e->data = data;
  e->size = size;
  e->next = std::move(Module().head);
  Module().head = std::move(e);
  return 1;
}

const void* IncbinPtr(const std::u16string& name) {
  const TIncbinEntry* e = Find(name);
  return e ? e->data : nullptr;
}

int IncbinLen(const std::u16string& name) {
  const TIncbinEntry* e = Find(name);
  return e ? e->size : 0;
}
