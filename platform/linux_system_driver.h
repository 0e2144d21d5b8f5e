// The X11 system driver: pumps the display connection into events, dispatches the
// pending signal, and drives the pointer of the input window. Xlib stays inside the
// .cpp; X handles are carried as unsigned long.
#pragma once
#include "platform/object.h"
#include "platform/system.h"

struct _XDisplay;

class TLinuxSystemDriver : public TSystemDriver {
 public:
  TLinuxSystemDriver();  // opens the default display; null display when that fails
  ~TLinuxSystemDriver() override;

  void Poll() override;
  void Wait() override;
  void MoveMouse(int x, int y) override;
  void SetMouseVisible(bool visible) override;
  void Notify(const std::u16string& text, bool serious) override;
  bool Confirm(const std::u16string& text, bool serious) override;
  int Proceed(const std::u16string& text, bool serious) override;
  std::u16string RequestFile(const std::u16string& title, const std::u16string& filter, bool save,
                             const std::u16string& path) override;
  std::u16string RequestDir(const std::u16string& title, const std::u16string& path) override;
  int OpenURL(const std::u16string& url) override;

  // Translates one X event (an XEvent*) into events; never called by this system.
  void Emit(void* os_event, const Ref<TObject>& source);

  _XDisplay* Display() const { return _display; }
  int ConnectionFd() const;  // -1 without display
  void SetInputWindow(unsigned long window) {
    _window = window;
    SetPointerView(1, 0, 0);
  }
  void SetPointerView(float scale, int x, int y) {
    _view_scale = scale > 0 ? scale : 1;
    _view_x = x;
    _view_y = y;
  }
  unsigned long InputWindow() const { return _window; }
  bool HasInvisibleCursor() const { return _cursor != 0; }
  void SetRawEventFilter(int (*fn)(void*)) { _filter = fn; }

  // Flushes the requests made so far and takes every event already queued or
  // readable. Returns how many X events were taken.
  int TranslatePending();

 private:
  void Translate(void* xevent);
  // Emits an event whose x and y are a window pixel, given in drawing units.
  void EmitAt(int id, int data, int x, int y);

  _XDisplay* _display = nullptr;
  unsigned long _window = 0;
  unsigned long _cursor = 0;
  unsigned long _wm_protocols = 0;
  unsigned long _wm_delete = 0;
  int (*_filter)(void*) = nullptr;
  float _view_scale = 1;
  int _view_x = 0, _view_y = 0;
};

// The driver as created by SystemDriver() (never null after that call).
TLinuxSystemDriver* LinuxSystemDriver();
