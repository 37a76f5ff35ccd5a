// The binding layer: argument binding and conversion, result conversion,
// entry-point guards, one-time values, boxed records and the borrow guard.
// Every Python-facing function goes through these, so the argument messages
// Python sees are implemented once, here.
#pragma once

#include "lib/compat.h"
#include "lib/ref.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrell::py {

// ---------------------------------------------------------------------------
// Errors

// The internal-error exception type (derives from BaseException). Not
// registered in the module; raised for faults that escape the engine.
PyObject* internal_error_type();
// The module's RetryableError type, created once per process.
PyObject* retryable_error_type();

// Sets an exception of the given type with the message and throws.
[[noreturn]] void raise(PyObject* type, std::string_view message);
[[noreturn]] void raise_retryable(std::string_view message);

// Converts the exception currently propagating as a C++ exception into a
// Python exception. Called only from inside a catch block.
void set_error_from_current_exception() noexcept;

// Runs f and turns every C++ exception into a Python exception, returning
// on_error. Every function the interpreter calls into goes through this.
template <class R, class F>
R guard(R on_error, F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    set_error_from_current_exception();
    return on_error;
  }
}

// The implementation signature of every module function and method: it
// returns a new reference or throws.
using FastcallImpl = Ref (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames);

// The METH_FASTCALL | METH_KEYWORDS entry point around an implementation.
template <FastcallImpl Impl>
PyObject* fastcall_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return guard<PyObject*>(
      nullptr, [&] { return Impl(self, args, PyVectorcall_NARGS(nargs), kwnames).release(); });
}

template <FastcallImpl Impl>
PyMethodDef method_def(const char* name, const char* doc) {
  return PyMethodDef{
      name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&fastcall_entry<Impl>)),
      METH_FASTCALL | METH_KEYWORDS, doc};
}

// ---------------------------------------------------------------------------
// Argument binding

struct Signature {
  const char* name;   // Python name of the function or method
  const char* owner;  // class name for a method, nullptr for a module function
  const char* const* params;
  std::size_t param_count;
  std::size_t required;  // leading parameters without a default
};

template <std::size_t N>
struct Params {
  std::array<const char*, N> names;
};

// Binds positional and keyword arguments to the parameters of sig. On return
// slots[i] is the borrowed argument for parameter i, or nullptr when omitted.
// Raises TypeError (and throws) with the interpreter's binding messages.
void bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);

// Convenience: binds into a fixed array.
template <std::size_t N>
std::array<PyObject*, N> bind(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  std::array<PyObject*, N> slots{};
  bind_arguments(sig, args, nargs, kwnames, slots.data());
  return slots;
}

// ---------------------------------------------------------------------------
// Argument conversion. Each converter names its parameter: a TypeError raised
// while converting is replaced by "argument '<param>': <message>".

// A str read in place as UTF-8; valid while the argument object lives.
std::string_view text_arg(PyObject* obj, const char* param);
bool bool_arg(PyObject* obj, const char* param);
std::int32_t i32_arg(PyObject* obj, const char* param);
// obj may be nullptr (omitted) or None: both give no value.
std::optional<std::uint32_t> optional_u32_arg(PyObject* obj, const char* param);

struct TextList {
  std::vector<Ref> owners;  // keeps every item alive while its view is used
  std::vector<std::string_view> views;
};
TextList text_list_arg(PyObject* obj, const char* param);

// Fails as a cast to target_name unless obj is an instance of type.
void check_instance_arg(PyObject* obj, PyTypeObject* type, const char* target_name,
                        const char* param);

// ---------------------------------------------------------------------------
// Results

Ref to_py(std::string_view s);
Ref to_py_u64(std::uint64_t v);
Ref to_py_i64(std::int64_t v);
Ref to_py_bool(bool v);
Ref to_py_double(double v);
Ref none();
Ref make_tuple(Ref a, Ref b);

// Builds a new list from a range, converting each element with convert.
template <class Range, class Convert>
Ref make_list(const Range& items, Convert&& convert) {
  Ref list = Ref::checked(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  Py_ssize_t i = 0;
  for (const auto& item : items) {
    Ref value = convert(item);
    PyList_SET_ITEM(list.get(), i++, value.release());
  }
  return list;
}

// ---------------------------------------------------------------------------
// One-time values

// A process-wide value created on first use. A thread that finds another
// thread creating it waits without holding the interpreter lock. A failed
// creation stores nothing, so a later call tries again.
class OnceObject {
 public:
  template <class Create>
  PyObject* get(Create&& create) {
    if (PyObject* v = value_.load(std::memory_order_acquire)) return v;
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) {
      PyThreadState* state = PyEval_SaveThread();
      lock.lock();
      PyEval_RestoreThread(state);
    }
    if (PyObject* v = value_.load(std::memory_order_acquire)) return v;
    PyObject* created = create();  // a new reference, kept for the process
    if (created == nullptr) throw_error_already_set();
    value_.store(created, std::memory_order_release);
    return created;
  }
  PyObject* peek() const { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<PyObject*> value_{nullptr};
  std::mutex mutex_;
};

// Creates a type from its PyType_Spec once per process and returns it (borrowed).
PyTypeObject* once_type(OnceObject& once, PyType_Spec* type_spec);

// ---------------------------------------------------------------------------
// Boxed records: a Python object that owns one C++ value.

template <class T>
struct Box {
  PyObject_HEAD T value;
};

template <class T>
T& unbox(PyObject* obj) {
  return reinterpret_cast<Box<T>*>(obj)->value;
}

template <class T>
Ref box(PyTypeObject* type, T value) {
  PyObject* obj = type->tp_alloc(type, 0);
  if (obj == nullptr) throw_error_already_set();
  try {
    new (&reinterpret_cast<Box<T>*>(obj)->value) T(std::move(value));
  } catch (...) {
    // The value was never constructed, so the object must not reach
    // box_dealloc: free the memory and the type reference tp_alloc took.
    type->tp_free(obj);
    Py_DECREF(type);
    throw;
  }
  return Ref::steal(obj);
}

template <class T>
void box_dealloc(PyObject* obj) noexcept {
  PyTypeObject* type = Py_TYPE(obj);
  reinterpret_cast<Box<T>*>(obj)->value.~T();
  type->tp_free(obj);
  Py_DECREF(type);
}

// Slot functions of a class whose instances box a T: each reads the record
// through a plain function and converts C++ exceptions through guard.
template <class T, Ref (*Read)(const T&)>
PyObject* getter_slot(PyObject* self, void*) noexcept {
  return guard<PyObject*>(nullptr, [&] { return Read(unbox<T>(self)).release(); });
}

template <class T, std::string (*Format)(const T&)>
PyObject* repr_slot(PyObject* self) noexcept {
  return guard<PyObject*>(nullptr, [&] { return to_py(Format(unbox<T>(self))).release(); });
}

template <class T, bool (*Truth)(const T&)>
int bool_slot(PyObject* self) noexcept {
  return guard<int>(-1, [&] { return Truth(unbox<T>(self)) ? 1 : 0; });
}

// ---------------------------------------------------------------------------
// Overlapping-use guard for the mutable object.

class BorrowFlag {
 public:
  class Shared {
   public:
    explicit Shared(BorrowFlag& f) : flag_(&f) {}
    Shared(Shared&& o) noexcept : flag_(std::exchange(o.flag_, nullptr)) {}
    Shared(const Shared&) = delete;
    ~Shared() {
      if (flag_) --flag_->state_;
    }

   private:
    BorrowFlag* flag_;
  };
  class Exclusive {
   public:
    explicit Exclusive(BorrowFlag& f) : flag_(&f) {}
    Exclusive(Exclusive&& o) noexcept : flag_(std::exchange(o.flag_, nullptr)) {}
    Exclusive(const Exclusive&) = delete;
    ~Exclusive() {
      if (flag_) flag_->state_ = 0;
    }

   private:
    BorrowFlag* flag_;
  };

  // Raises RuntimeError "Already mutably borrowed" while an exclusive use runs.
  Shared borrow();
  // Raises RuntimeError "Already borrowed" while any other use runs.
  Exclusive borrow_mut();

 private:
  long state_ = 0;  // > 0: shared uses; -1: exclusive use
};

}  // namespace tavrell::py
