// Module init and registration.
#include <atomic>
#include <cstdint>

#include "lib/binding.h"
#include "lib/surfaces.h"

namespace tavrell::py {
namespace {

const char kRetryableErrorDoc[] =
    "Error that indicates the operation should be retried with corrected input.\n\n"
    "This is raised when:\n"
    "- Content was not found (agent should re-read the file)\n"
    "- Multiple matches exist (agent should add more context)\n\n"
    "Unlike ValueError, this signals that retry is appropriate.";

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "_tavrell_search",  // m_name
    "",                 // m_doc
    0,                  // m_size
    nullptr,            // m_methods
    nullptr,            // m_slots
    nullptr,            // m_traverse
    nullptr,            // m_clear
    nullptr,            // m_free
};

constexpr std::int64_t kNoInterpreter = -1;
std::atomic<std::int64_t> g_interpreter_id{kNoInterpreter};
OnceObject g_module;
OnceObject g_retryable_error;

// Appends name to the module's __all__ (created when missing), then sets the
// attribute.
void add_name(PyObject* module, const char* name, PyObject* value) {
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_error_already_set();
    PyErr_Clear();
    all = Ref::checked(PyList_New(0));
    if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) throw_error_already_set();
  }
  Ref key = Ref::checked(PyUnicode_FromString(name));
  if (PyList_Append(all.get(), key.get()) < 0) throw_error_already_set();
  if (PyObject_SetAttr(module, key.get(), value) < 0) throw_error_already_set();
}

void register_function(PyObject* module, PyMethodDef* def) {
  Ref module_name = Ref::checked(PyModule_GetNameObject(module));
  Ref function = Ref::checked(PyCMethod_New(def, module, module_name.get(), nullptr));
  add_name(module, def->ml_name, function.get());
}

void register_type(PyObject* module, PyTypeObject* type, const char* name) {
  add_name(module, name, reinterpret_cast<PyObject*>(type));
}

PyObject* create_module() {
  Ref module = Ref::checked(PyModule_Create2(&g_module_def, 1013));
  add_name(module.get(), "RetryableError", retryable_error_type());

  PyMethodDef* const functions[] = {
      &fuzzy_match_def,
      &get_best_matches_def,
      &fuzzy_match_simple_def,
      &replace_content_def,
      &try_replace_content_def,
      &trim_diff_def,
      &parse_locationless_diff_def,
      &apply_diff_hunks_def,
      &apply_diff_hunks_with_hint_def,
      &try_apply_diff_hunks_def,
  };
  for (PyMethodDef* def : functions) register_function(module.get(), def);

  register_type(module.get(), streaming_fuzzy_matcher_type(), "StreamingFuzzyMatcher");
  register_type(module.get(), match_range_type(), "MatchRange");
  register_type(module.get(), replace_result_type(), "ReplaceResult");
  register_type(module.get(), try_replace_result_type(), "TryReplaceResult");
  register_type(module.get(), fuzzy_match_info_type(), "FuzzyMatchInfo");
  register_type(module.get(), diff_hunk_type(), "DiffHunk");
  register_type(module.get(), hunk_result_type(), "HunkResult");
  register_type(module.get(), apply_diff_result_type(), "ApplyDiffResult");
  return module.release();
}

Ref init_module() {
  PyInterpreterState* interpreter = PyInterpreterState_Get();
  const std::int64_t id = PyInterpreterState_GetID(interpreter);
  if (id == -1) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    throw_error_already_set();
  }
  std::int64_t expected = kNoInterpreter;
  if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError,
                    "tavrell_search._tavrell_search does not support sub-interpreters: it can "
                    "only be imported into one interpreter per process");
    throw_error_already_set();
  }
  return Ref::borrow(g_module.get(create_module));
}

}  // namespace

PyObject* retryable_error_type() {
  return g_retryable_error.get([] {
    return PyErr_NewExceptionWithDoc("_tavrell_search.RetryableError", kRetryableErrorDoc,
                                     PyExc_Exception, nullptr);
  });
}

}  // namespace tavrell::py

PyMODINIT_FUNC PyInit__tavrell_search(void) {
  return tavrell::py::guard<PyObject*>(nullptr,
                                       [] { return tavrell::py::init_module().release(); });
}
