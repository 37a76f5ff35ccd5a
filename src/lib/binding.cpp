#include "lib/binding.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tavrell::py {
namespace {

const char kInternalErrorDoc[] =
    "An internal fault of the tavrell_search extension.\n\n"
    "It derives from BaseException so that ordinary 'except Exception' handlers "
    "do not hide a defect of the module.";
const char kInternalErrorGeneric[] = "internal error in tavrell_search";

OnceObject g_internal_error;

std::string full_name(const Signature& sig) {
  std::string name;
  if (sig.owner != nullptr) {
    name += sig.owner;
    name += '.';
  }
  name += sig.name;
  name += "()";
  return name;
}

[[noreturn]] void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  throw_error_already_set();
}

// Replaces a TypeError (exactly that type) raised while converting an argument
// by one whose message names the argument; its __cause__ is carried over.
// Every other exception passes through unchanged.
void name_the_argument(const char* param) {
  Ref exc = Ref::steal(take_raised_exception());
  if (!exc) return;
  if (Py_TYPE(exc.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    restore_raised_exception(exc.release());
    return;
  }
  Ref message = Ref::steal(PyObject_Str(exc.get()));
  if (!message) return;
  Ref text = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", param, message.get()));
  if (!text) return;
  Ref renamed = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!renamed) return;
  if (PyObject* cause = PyException_GetCause(exc.get())) {
    PyException_SetCause(renamed.get(), cause);  // steals cause
  }
  restore_raised_exception(renamed.release());
}

template <class F>
auto converting(const char* param, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const ErrorAlreadySet&) {
    name_the_argument(param);
    throw;
  }
}

// "'<type qualname>' object cannot be cast as '<target>'"
[[noreturn]] void raise_cast_error(PyObject* obj, const char* target) {
  Ref qualname = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
  if (qualname) {
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", qualname.get(), target);
  } else {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object cannot be cast as '%s'",
                 target);
  }
  throw_error_already_set();
}

std::string_view read_utf8(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) throw_error_already_set();
  return {data, static_cast<std::size_t>(size)};
}

bool type_is_numpy_bool(PyTypeObject* type) {
  Ref module = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  if (!PyUnicode_Check(module.get()) ||
      PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
    return false;
  }
  const char* name = type->tp_name;
  const char* dot = std::strrchr(name, '.');
  if (dot != nullptr) name = dot + 1;
  return std::strcmp(name, "bool_") == 0 || std::strcmp(name, "bool") == 0;
}

[[noreturn]] void raise_overflow() {
  PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
  throw_error_already_set();
}

std::int64_t as_i64(PyObject* obj) {
  long long v = PyLong_AsLongLong(obj);
  if (v == -1 && PyErr_Occurred()) throw_error_already_set();
  return static_cast<std::int64_t>(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// Errors

PyObject* internal_error_type() {
  return g_internal_error.get([] {
    return PyErr_NewExceptionWithDoc("_tavrell_search.InternalError", kInternalErrorDoc,
                                     PyExc_BaseException, nullptr);
  });
}

void raise(PyObject* type, std::string_view message) {
  Ref text = to_py(message);
  PyErr_SetObject(type, text.get());
  throw_error_already_set();
}

void raise_retryable(std::string_view message) {
  raise(retryable_error_type(), message);
}

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    return;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return;
  } catch (...) {
  }
  // A fault that escaped the engine: report it as the internal error. No
  // std::string here: an allocation failing in this noexcept function would
  // terminate. what() stays valid while the caller's handler runs.
  const char* message = kInternalErrorGeneric;
  try {
    throw;
  } catch (const std::exception& e) {
    if (e.what() != nullptr && *e.what() != '\0') message = e.what();
  } catch (...) {
  }
  try {
    PyObject* type = internal_error_type();
    // Decoded leniently: a what() that is not UTF-8 must not turn the report
    // into a UnicodeDecodeError.
    Ref text = Ref::steal(
        PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace"));
    if (text) {
      PyErr_SetObject(type, text.get());
      return;
    }
  } catch (...) {
  }
  Py_FatalError("tavrell_search: cannot report an internal error");
}

// ---------------------------------------------------------------------------
// Binding

void bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
  const std::size_t n = sig.param_count;
  for (std::size_t i = 0; i < n; ++i) slots[i] = nullptr;
  const auto given = static_cast<std::size_t>(nargs);

  if (given > n) {
    const char* verb = given == 1 ? "was" : "were";
    std::string msg = full_name(sig);
    if (sig.required == n) {
      msg += " takes " + std::to_string(n) + " positional arguments but " + std::to_string(given) +
             " " + verb + " given";
    } else {
      msg += " takes from " + std::to_string(sig.required) + " to " + std::to_string(n) +
             " positional arguments but " + std::to_string(given) + " " + verb + " given";
    }
    raise_type_error(msg);
  }
  for (std::size_t i = 0; i < given; ++i) slots[i] = args[i];

  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      PyObject* key = PyTuple_GET_ITEM(kwnames, k);
      std::size_t index = n;
      for (std::size_t i = 0; i < n; ++i) {
        if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, sig.params[i]) == 0) {
          index = i;
          break;
        }
      }
      if (index == n) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                     full_name(sig).c_str(), key);
        throw_error_already_set();
      }
      if (slots[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                     full_name(sig).c_str(), sig.params[index]);
        throw_error_already_set();
      }
      slots[index] = args[given + static_cast<std::size_t>(k)];
    }
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (slots[i] == nullptr) missing.push_back(sig.params[i]);
  }
  if (!missing.empty()) {
    std::string msg = full_name(sig) + " missing " + std::to_string(missing.size()) +
                      " required positional " + (missing.size() == 1 ? "argument" : "arguments") +
                      ": ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i > 0) {
        if (missing.size() == 2) {
          msg += " and ";
        } else if (i + 1 == missing.size()) {
          msg += ", and ";
        } else {
          msg += ", ";
        }
      }
      msg += '\'';
      msg += missing[i];
      msg += '\'';
    }
    raise_type_error(msg);
  }
}

// ---------------------------------------------------------------------------
// Conversion

std::string_view text_arg(PyObject* obj, const char* param) {
  return converting(param, [&] {
    if (!PyUnicode_Check(obj)) raise_cast_error(obj, "str");
    return read_utf8(obj);
  });
}

bool bool_arg(PyObject* obj, const char* param) {
  return converting(param, [&]() -> bool {
    if (obj == Py_True) return true;
    if (obj == Py_False) return false;
    PyTypeObject* type = Py_TYPE(obj);
    if (type_is_numpy_bool(type)) {
      if (type->tp_as_number == nullptr || type->tp_as_number->nb_bool == nullptr) {
        PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                     type->tp_name);
        throw_error_already_set();
      }
      int truth = type->tp_as_number->nb_bool(obj);
      if (truth < 0) throw_error_already_set();
      return truth != 0;
    }
    raise_cast_error(obj, "bool");
  });
}

std::int32_t i32_arg(PyObject* obj, const char* param) {
  return converting(param, [&] {
    const std::int64_t v = as_i64(obj);
    if (v < INT32_MIN || v > INT32_MAX) raise_overflow();
    return static_cast<std::int32_t>(v);
  });
}

std::optional<std::uint32_t> optional_u32_arg(PyObject* obj, const char* param) {
  if (obj == nullptr || obj == Py_None) return std::nullopt;
  return converting(param, [&] {
    const std::int64_t v = as_i64(obj);
    if (v < 0 || v > static_cast<std::int64_t>(UINT32_MAX)) raise_overflow();
    return std::optional<std::uint32_t>(static_cast<std::uint32_t>(v));
  });
}

TextList text_list_arg(PyObject* obj, const char* param) {
  return converting(param, [&] {
    if (PyUnicode_Check(obj)) {
      raise_type_error("a 'str' cannot be taken as a list of strings; pass a list of str");
    }
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    TextList out;
    Py_ssize_t hint = PyObject_LengthHint(obj, 0);
    if (hint < 0) throw_error_already_set();
    // __len__ is only a hint and may lie: reserving what it claims could fail
    // for a sequence of two items. Beyond the cap the vectors simply grow.
    constexpr Py_ssize_t kMaxReserve = Py_ssize_t{1} << 20;
    hint = std::min(hint, kMaxReserve);
    out.owners.reserve(static_cast<std::size_t>(hint));
    out.views.reserve(static_cast<std::size_t>(hint));
    Ref iter = Ref::checked(PyObject_GetIter(obj));
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
      if (!PyUnicode_Check(item.get())) raise_cast_error(item.get(), "str");
      out.views.push_back(read_utf8(item.get()));
      out.owners.push_back(std::move(item));
    }
    if (PyErr_Occurred()) throw_error_already_set();
    return out;
  });
}

void check_instance_arg(PyObject* obj, PyTypeObject* type, const char* target_name,
                        const char* param) {
  converting(param, [&] {
    if (!PyObject_TypeCheck(obj, type)) raise_cast_error(obj, target_name);
    return 0;
  });
}

// ---------------------------------------------------------------------------
// Results

Ref to_py(std::string_view s) {
  PyObject* str = PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
  if (str == nullptr && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) {
    // The engine only returns whole characters of valid UTF-8 input, so this
    // is a defect of ours: report it as the internal error, not as a
    // UnicodeDecodeError, which callers would take for a ValueError.
    PyErr_Clear();
    throw std::logic_error("tavrell_search produced text that is not valid UTF-8");
  }
  return Ref::checked(str);
}
Ref to_py_u64(std::uint64_t v) {
  return Ref::checked(PyLong_FromUnsignedLongLong(v));
}
Ref to_py_i64(std::int64_t v) {
  return Ref::checked(PyLong_FromLongLong(v));
}
Ref to_py_bool(bool v) {
  return Ref::borrow(v ? Py_True : Py_False);
}
Ref to_py_double(double v) {
  return Ref::checked(PyFloat_FromDouble(v));
}
Ref none() {
  return Ref::borrow(Py_None);
}

Ref make_tuple(Ref a, Ref b) {
  Ref t = Ref::checked(PyTuple_New(2));
  PyTuple_SET_ITEM(t.get(), 0, a.release());
  PyTuple_SET_ITEM(t.get(), 1, b.release());
  return t;
}

PyTypeObject* once_type(OnceObject& once, PyType_Spec* type_spec) {
  return reinterpret_cast<PyTypeObject*>(
      once.get([type_spec] { return PyType_FromSpec(type_spec); }));
}

// ---------------------------------------------------------------------------
// Borrow guard

BorrowFlag::Shared BorrowFlag::borrow() {
  if (state_ < 0) {
    PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
    throw_error_already_set();
  }
  ++state_;
  return Shared(*this);
}

BorrowFlag::Exclusive BorrowFlag::borrow_mut() {
  if (state_ != 0) {
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    throw_error_already_set();
  }
  state_ = -1;
  return Exclusive(*this);
}

}  // namespace tavrell::py
