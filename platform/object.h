// Base of every object type the system shares by reference. Objects live as long
// as their last std::shared_ptr holder; there is no other ownership mechanism.
#pragma once
#include <memory>
#include <string>

struct TObject {
  virtual ~TObject() = default;
};

template <class T>
using Ref = std::shared_ptr<T>;

// A string held as an object, for places that carry "any object" (event payloads,
// hook data, URLs that may be a string or a stream).
struct TStringObject : TObject {
  explicit TStringObject(std::u16string v) : value(std::move(v)) {}
  std::u16string value;
};
