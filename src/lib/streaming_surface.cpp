// Python surface of the streaming matcher: the classes StreamingFuzzyMatcher
// (the module's only constructible and only mutable object) and MatchRange.
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "lib/binding.h"
#include "lib/surfaces.h"
#include "streaming_matcher/streaming_matcher.h"

namespace tavrell::py {
namespace {

using streaming::MatchRange;

// What a StreamingFuzzyMatcher object owns: the engine and the guard against
// overlapping use of it.
struct PyStreamingFuzzyMatcher {
  BorrowFlag borrow;
  streaming::StreamingFuzzyMatcher matcher;
};
using PyMatchRange = MatchRange;

OnceObject g_matcher_type;
OnceObject g_match_range_type;

constexpr const char* kNewParams[] = {"source_text"};
constexpr Signature kNew{"__new__", "StreamingFuzzyMatcher", kNewParams, 1, 1};
constexpr const char* kPushParams[] = {"chunk", "line_hint"};
constexpr Signature kPush{"push", "StreamingFuzzyMatcher", kPushParams, 2, 1};
constexpr Signature kFinish{"finish", "StreamingFuzzyMatcher", nullptr, 0, 0};
constexpr Signature kSelect{"select_best_match", "StreamingFuzzyMatcher", nullptr, 0, 0};
constexpr const char* kGetTextParams[] = {"match_range"};
constexpr Signature kGetText{"get_text", "StreamingFuzzyMatcher", kGetTextParams, 1, 1};

PyStreamingFuzzyMatcher& state(PyObject* self) {
  return unbox<PyStreamingFuzzyMatcher>(self);
}

Ref to_py_range(const MatchRange& range) {
  return box(match_range_type(), PyMatchRange{range});
}

Ref to_py_range(const std::optional<MatchRange>& range) {
  return range ? to_py_range(*range) : none();
}

// ---------------------------------------------------------------------------
// StreamingFuzzyMatcher

Ref new_matcher(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  // The constructor receives a tuple and a dict; the shared binder expects
  // the vectorcall layout (positional values, then keyword values named by
  // a tuple), so the arguments are laid out that way first.
  std::vector<PyObject*> stack;
  const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  for (Py_ssize_t i = 0; i < nargs; ++i) stack.push_back(PyTuple_GET_ITEM(args, i));
  Ref kwnames;
  if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
    kwnames = Ref::checked(PyTuple_New(PyDict_GET_SIZE(kwargs)));
    Py_ssize_t pos = 0;
    Py_ssize_t k = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      PyTuple_SET_ITEM(kwnames.get(), k++, Ref::borrow(key).release());
      stack.push_back(value);
    }
  }
  auto a = bind<1>(kNew, stack.data(), nargs, kwnames.get());
  const std::string_view source = text_arg(a[0], "source_text");
  // The engine is complete before the object exists, so a failure leaves no
  // half-built object behind.
  streaming::StreamingFuzzyMatcher matcher(source);
  return box(type, PyStreamingFuzzyMatcher{BorrowFlag(), std::move(matcher)});
}

PyObject* matcher_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guard<PyObject*>(nullptr, [&] { return new_matcher(type, args, kwargs).release(); });
}

Ref push_impl(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<2>(kPush, args, nargs, kwnames);
  // Every argument is converted before the matcher is touched: a refused
  // line hint leaves it exactly as it was.
  const std::string_view chunk = text_arg(a[0], "chunk");
  const std::optional<std::uint32_t> line_hint = optional_u32_arg(a[1], "line_hint");
  PyStreamingFuzzyMatcher& s = state(self);
  const auto in_use = s.borrow.borrow_mut();
  return to_py_range(s.matcher.push(chunk, line_hint));
}

Ref finish_impl(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  bind<0>(kFinish, args, nargs, kwnames);
  PyStreamingFuzzyMatcher& s = state(self);
  const auto in_use = s.borrow.borrow_mut();
  const std::vector<MatchRange> matches = s.matcher.finish();
  return make_list(matches, [](const MatchRange& m) { return to_py_range(m); });
}

Ref select_best_match_impl(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  bind<0>(kSelect, args, nargs, kwnames);
  PyStreamingFuzzyMatcher& s = state(self);
  const auto in_use = s.borrow.borrow();
  return to_py_range(s.matcher.select_best_match());
}

Ref get_text_impl(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<1>(kGetText, args, nargs, kwnames);
  check_instance_arg(a[0], match_range_type(), "MatchRange", "match_range");
  const MatchRange range = unbox<PyMatchRange>(a[0]);
  PyStreamingFuzzyMatcher& s = state(self);
  const auto in_use = s.borrow.borrow();
  const std::optional<std::string_view> text = s.matcher.get_text(range);
  if (!text) {
    raise(PyExc_ValueError, "MatchRange(start=" + std::to_string(range.start) +
                                ", end=" + std::to_string(range.end) +
                                ") does not fall on character boundaries of this matcher's "
                                "source text");
  }
  return to_py(*text);
}

PyObject* get_query_lines(PyObject* self, void*) noexcept {
  return guard<PyObject*>(nullptr, [&] {
    PyStreamingFuzzyMatcher& s = state(self);
    const auto in_use = s.borrow.borrow();
    return make_list(s.matcher.query_lines(), [](const std::string& l) { return to_py(l); })
        .release();
  });
}

PyObject* get_source_lines(PyObject* self, void*) noexcept {
  return guard<PyObject*>(nullptr, [&] {
    PyStreamingFuzzyMatcher& s = state(self);
    const auto in_use = s.borrow.borrow();
    const std::size_t count = s.matcher.source_line_count();
    Ref list = Ref::checked(PyList_New(static_cast<Py_ssize_t>(count)));
    for (std::size_t k = 0; k < count; ++k) {
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k),
                      to_py(s.matcher.source_line(k)).release());
    }
    return list.release();
  });
}

const char kMatcherDoc[] =
    "StreamingFuzzyMatcher(source_text)\n--\n\n"
    "A streaming fuzzy matcher that processes text chunks incrementally.\n\n"
    "This matcher is designed for real-time matching scenarios like code editing\n"
    "where text arrives in chunks (e.g., from an LLM streaming response).\n\n"
    "Example:\n"
    "    >>> matcher = StreamingFuzzyMatcher(\"function foo() {\\n    return 42;\\n}\")\n"
    "    >>> result = matcher.push(\"function foo() {\\n\", None)\n"
    "    >>> print(result)  # MatchRange with the match location";

PyMethodDef g_matcher_methods[] = {
    method_def<push_impl>("push",
                          "push($self, chunk, line_hint=None)\n--\n\n"
                          "Push a new chunk of text and get the best match found so far.\n\n"
                          "This method accumulates text chunks and processes complete lines.\n"
                          "Partial lines are buffered internally until a newline is received.\n\n"
                          "Args:\n"
                          "    chunk: Text chunk to add to the query\n"
                          "    line_hint: Optional line number hint for match selection\n\n"
                          "Returns:\n"
                          "    MatchRange if a match has been found, None otherwise"),
    method_def<finish_impl>("finish",
                            "finish($self)\n--\n\n"
                            "Finish processing and return all final matches.\n\n"
                            "This processes any remaining incomplete line before returning\n"
                            "the final match results.\n\n"
                            "Returns:\n"
                            "    List of all found MatchRange objects"),
    method_def<select_best_match_impl>("select_best_match",
                                       "select_best_match($self)\n--\n\n"
                                       "Return the best match considering line hints.\n\n"
                                       "Returns:\n"
                                       "    Best MatchRange, or None if no suitable match found"),
    method_def<get_text_impl>("get_text",
                              "get_text($self, match_range)\n--\n\n"
                              "Get the text for a given range from the source.\n\n"
                              "Args:\n"
                              "    match_range: The MatchRange to extract text for\n\n"
                              "Returns:\n"
                              "    The matched text as a string"),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_matcher_getset[] = {
    {"query_lines", get_query_lines, nullptr, "Returns the accumulated query lines.", nullptr},
    {"source_lines", get_source_lines, nullptr, "Returns the source lines.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_matcher_slots[] = {
    {Py_tp_doc, const_cast<char*>(kMatcherDoc)},
    {Py_tp_new, reinterpret_cast<void*>(&matcher_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<PyStreamingFuzzyMatcher>)},
    {Py_tp_methods, g_matcher_methods},
    {Py_tp_getset, g_matcher_getset},
    {0, nullptr},
};

PyType_Spec g_matcher_spec = {
    "builtins.StreamingFuzzyMatcher",
    sizeof(Box<PyStreamingFuzzyMatcher>),
    0,
    Py_TPFLAGS_DEFAULT,
    g_matcher_slots,
};

// ---------------------------------------------------------------------------
// MatchRange

PyObject* get_start(PyObject* self, void*) noexcept {
  return guard<PyObject*>(nullptr,
                          [&] { return to_py_u64(unbox<PyMatchRange>(self).start).release(); });
}

PyObject* get_end(PyObject* self, void*) noexcept {
  return guard<PyObject*>(nullptr,
                          [&] { return to_py_u64(unbox<PyMatchRange>(self).end).release(); });
}

PyObject* match_range_repr(PyObject* self) noexcept {
  return guard<PyObject*>(nullptr, [&] {
    const MatchRange& r = unbox<PyMatchRange>(self);
    return to_py("MatchRange(start=" + std::to_string(r.start) + ", end=" + std::to_string(r.end) +
                 ")")
        .release();
  });
}

// Equality by value with another MatchRange; everything else, ordering
// included, is left to Python (identity for ==, TypeError for ordering).
PyObject* match_range_richcompare(PyObject* self, PyObject* other, int op) noexcept {
  if (Py_TYPE(other) != Py_TYPE(self) || (op != Py_EQ && op != Py_NE)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = unbox<PyMatchRange>(self) == unbox<PyMatchRange>(other);
  return Py_NewRef((equal == (op == Py_EQ)) ? Py_True : Py_False);
}

PyGetSetDef g_match_range_getset[] = {
    {"start", get_start, nullptr, nullptr, nullptr},
    {"end", get_end, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_match_range_slots[] = {
    {Py_tp_doc, const_cast<char*>("Python wrapper for a match range.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<PyMatchRange>)},
    {Py_tp_getset, g_match_range_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&match_range_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(&match_range_richcompare)},
    // Equal by value yet mutable-looking identity semantics are not wanted
    // as dictionary keys: the class is deliberately unhashable.
    {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
    {0, nullptr},
};

PyType_Spec g_match_range_spec = {
    "builtins.MatchRange",
    sizeof(Box<PyMatchRange>),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    g_match_range_slots,
};

}  // namespace

PyTypeObject* streaming_fuzzy_matcher_type() {
  return once_type(g_matcher_type, &g_matcher_spec);
}

PyTypeObject* match_range_type() {
  return once_type(g_match_range_type, &g_match_range_spec);
}

}  // namespace tavrell::py
