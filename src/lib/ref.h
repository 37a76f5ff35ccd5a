// Owning references and the "a Python exception is already set" signal.
#pragma once

#include "lib/compat.h"

#include <utility>

namespace tavrell::py {

// Thrown after a Python exception has been set. It unwinds to the entry
// point, which returns the error indicator to the interpreter.
struct ErrorAlreadySet {};

[[noreturn]] inline void throw_error_already_set() {
  throw ErrorAlreadySet{};
}

// Move-only owner of one strong reference.
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref tmp(std::move(other));
    std::swap(obj_, tmp.obj_);
    return *this;
  }
  ~Ref() { Py_XDECREF(obj_); }

  // Takes ownership of a new reference (which may be null).
  static Ref steal(PyObject* obj) { return Ref(obj); }
  // Takes ownership of a new reference returned by an API call; a null result
  // means the call raised, and is turned into ErrorAlreadySet.
  static Ref checked(PyObject* obj) {
    if (obj == nullptr) throw_error_already_set();
    return Ref(obj);
  }
  // Adds a reference to a borrowed object.
  static Ref borrow(PyObject* obj) {
    Py_XINCREF(obj);
    return Ref(obj);
  }

  PyObject* get() const { return obj_; }
  PyObject* release() { return std::exchange(obj_, nullptr); }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  explicit Ref(PyObject* obj) : obj_(obj) {}
  PyObject* obj_ = nullptr;
};

}  // namespace tavrell::py
