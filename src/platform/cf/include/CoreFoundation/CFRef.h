// A small owning holder for C++ callers: CFRef<CFStringRef> s(CFStringCreate...)
// adopts the created reference and releases it when it goes out of scope.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

template <typename T>
class CFRef {
 public:
  CFRef() = default;
  explicit CFRef(T adopted) : fRef(adopted) {}
  CFRef(const CFRef& other) : fRef(other.fRef) { if (fRef) CFRetain(fRef); }
  CFRef(CFRef&& other) noexcept : fRef(std::exchange(other.fRef, nullptr)) {}
  CFRef& operator=(CFRef other) noexcept { std::swap(fRef, other.fRef); return *this; }
  ~CFRef() { if (fRef) CFRelease(fRef); }

  // Takes one more reference to a borrowed object.
  static CFRef Retain(T borrowed) { if (borrowed) CFRetain(borrowed); return CFRef(borrowed); }

  T get() const { return fRef; }
  explicit operator bool() const { return fRef != nullptr; }
  // Gives up ownership without releasing.
  T release() { return std::exchange(fRef, nullptr); }
  void reset(T adopted = nullptr) { CFRef(adopted).swap(*this); }
  // For out-parameters that must be null on entry: `Create(..., ref.out())`.
  T* out() { reset(); return &fRef; }
  void swap(CFRef& other) noexcept { std::swap(fRef, other.fRef); }

 private:
  T fRef = nullptr;
};
