// The replaceable services of the window layer: each is an interface with
// one current instance. A program starts with the flavour's defaults (the
// window system's in the product; fixed, recording stand-ins natively) and
// tests may install their own for a scope with ScopedService.
#pragma once

namespace gui {

// The flavour's default instance of service T (defined once per flavour).
template <class T>
T& DefaultService();

template <class T>
class Service {
 public:
  static T& Get() { return current_ ? *current_ : DefaultService<T>(); }
  // Installs s (nullptr: back to the default); returns the one it replaced.
  static T* Set(T* s) {
    T* prev = current_;
    current_ = s;
    return prev;
  }

 private:
  static inline T* current_ = nullptr;
};

// Installs a service for the lifetime of this object.
template <class T>
class ScopedService {
 public:
  explicit ScopedService(T& s) : prev_(Service<T>::Set(&s)) {}
  ~ScopedService() { Service<T>::Set(prev_); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  T* prev_;
};

}  // namespace gui
