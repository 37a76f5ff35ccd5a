// Python surface of the replacement engine: replace_content,
// try_replace_content and the result classes ReplaceResult, TryReplaceResult
// and FuzzyMatchInfo.
#include <cstdio>
#include <string>
#include <utility>
#include <variant>

#include "content_replacer/replace.h"
#include "lib/binding.h"
#include "lib/surfaces.h"
#include "text/utf8.h"

namespace tavrell::py {
namespace {

namespace cr = content_replacer;

constexpr const char kNoChangeMessage[] = "old_string and new_string must be different";

// What a TryReplaceResult holds: the outcome of one call, success or failure.
struct TryRecord {
  bool success = false;
  std::optional<cr::ReplaceResult> result;
  std::optional<std::string> error;
  const char* error_type = nullptr;  // "not_found", "multiple_matches", "no_change"
  std::optional<cr::FuzzyMatchInfo> closest_match;
  std::optional<std::vector<std::uint64_t>> locations;
  bool retryable = false;
};

// ---------------------------------------------------------------------------
// FuzzyMatchInfo

OnceObject g_fuzzy_match_info;

Ref fmi_similarity(const cr::FuzzyMatchInfo& v) {
  return to_py_double(v.similarity);
}
Ref fmi_start_line(const cr::FuzzyMatchInfo& v) {
  return to_py_u64(v.start_line);
}
Ref fmi_end_line(const cr::FuzzyMatchInfo& v) {
  return to_py_u64(v.end_line);
}
Ref fmi_text(const cr::FuzzyMatchInfo& v) {
  return to_py(v.text);
}
Ref fmi_diff(const cr::FuzzyMatchInfo& v) {
  return to_py(v.diff);
}

std::string fmi_repr(const cr::FuzzyMatchInfo& v) {
  // "%.2f" rounds the exact binary value to two decimals, ties to even, as
  // Python's own f"{x:.2f}" does.
  char similarity[64];
  std::snprintf(similarity, sizeof similarity, "%.2f", v.similarity);
  return "FuzzyMatchInfo(similarity=" + std::string(similarity) +
         ", lines=" + std::to_string(v.start_line) + "-" + std::to_string(v.end_line) + ")";
}

PyGetSetDef g_fmi_getset[] = {
    {"similarity", getter_slot<cr::FuzzyMatchInfo, fmi_similarity>, nullptr, nullptr, nullptr},
    {"start_line", getter_slot<cr::FuzzyMatchInfo, fmi_start_line>, nullptr, nullptr, nullptr},
    {"end_line", getter_slot<cr::FuzzyMatchInfo, fmi_end_line>, nullptr, nullptr, nullptr},
    {"text", getter_slot<cr::FuzzyMatchInfo, fmi_text>, nullptr, nullptr, nullptr},
    {"diff", getter_slot<cr::FuzzyMatchInfo, fmi_diff>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_fmi_slots[] = {
    {Py_tp_doc, const_cast<char*>("Information about a fuzzy match when replacement fails.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<cr::FuzzyMatchInfo>)},
    {Py_tp_getset, g_fmi_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<cr::FuzzyMatchInfo, fmi_repr>)},
    {0, nullptr},
};

PyType_Spec g_fmi_spec = {
    "builtins.FuzzyMatchInfo",
    static_cast<int>(sizeof(Box<cr::FuzzyMatchInfo>)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    g_fmi_slots,
};

// ---------------------------------------------------------------------------
// ReplaceResult

OnceObject g_replace_result;

Ref rr_content(const cr::ReplaceResult& v) {
  return to_py(v.content);
}
Ref rr_matched_text(const cr::ReplaceResult& v) {
  return to_py(v.matched_text);
}
Ref rr_start_line(const cr::ReplaceResult& v) {
  return to_py_u64(v.start_line);
}
Ref rr_end_line(const cr::ReplaceResult& v) {
  return to_py_u64(v.end_line);
}
Ref rr_strategy(const cr::ReplaceResult& v) {
  return to_py(v.strategy);
}

// The matched text shown in the repr: whole up to 50 bytes, otherwise its
// first 50 bytes and "...". A cut that would fall inside a character moves
// back to the start of that character, so the preview stays valid text.
std::string preview(std::string_view text) {
  constexpr std::size_t kLimit = 50;
  if (text.size() <= kLimit) return std::string(text);
  std::string out(text.substr(0, text::floor_char_boundary(text, kLimit)));
  out += "...";
  return out;
}

std::string rr_repr(const cr::ReplaceResult& v) {
  return "ReplaceResult(start_line=" + std::to_string(v.start_line) +
         ", end_line=" + std::to_string(v.end_line) + ", strategy='" + v.strategy +
         "', matched_text='" + preview(v.matched_text) + "')";
}

PyGetSetDef g_rr_getset[] = {
    {"content", getter_slot<cr::ReplaceResult, rr_content>, nullptr, nullptr, nullptr},
    {"matched_text", getter_slot<cr::ReplaceResult, rr_matched_text>, nullptr, nullptr, nullptr},
    {"start_line", getter_slot<cr::ReplaceResult, rr_start_line>, nullptr, nullptr, nullptr},
    {"end_line", getter_slot<cr::ReplaceResult, rr_end_line>, nullptr, nullptr, nullptr},
    {"strategy", getter_slot<cr::ReplaceResult, rr_strategy>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_rr_slots[] = {
    {Py_tp_doc, const_cast<char*>("Result of a successful replacement operation.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<cr::ReplaceResult>)},
    {Py_tp_getset, g_rr_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<cr::ReplaceResult, rr_repr>)},
    {0, nullptr},
};

PyType_Spec g_rr_spec = {
    "builtins.ReplaceResult",
    static_cast<int>(sizeof(Box<cr::ReplaceResult>)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    g_rr_slots,
};

// ---------------------------------------------------------------------------
// TryReplaceResult

OnceObject g_try_replace_result;

template <class T>
Ref optional_text(const std::optional<T>& v) {
  return v ? to_py(*v) : none();
}

Ref tr_success(const TryRecord& v) {
  return to_py_bool(v.success);
}
Ref tr_result(const TryRecord& v) {
  return v.result ? box(replace_result_type(), *v.result) : none();
}
Ref tr_error(const TryRecord& v) {
  return optional_text(v.error);
}
Ref tr_error_type(const TryRecord& v) {
  return v.error_type ? to_py(v.error_type) : none();
}
Ref tr_closest_match(const TryRecord& v) {
  return v.closest_match ? box(fuzzy_match_info_type(), *v.closest_match) : none();
}
Ref tr_locations(const TryRecord& v) {
  if (!v.locations) return none();
  return make_list(*v.locations, [](std::uint64_t line) { return to_py_u64(line); });
}
Ref tr_retryable(const TryRecord& v) {
  return to_py_bool(v.retryable);
}

std::string tr_repr(const TryRecord& v) {
  if (v.success) {
    return "TryReplaceResult(success=True, result=Some(\"" +
           (v.result ? v.result->strategy : std::string()) + "\"))";
  }
  return "TryReplaceResult(success=False, error_type=Some(\"" +
         std::string(v.error_type ? v.error_type : "") + "\"))";
}

bool tr_truth(const TryRecord& v) {
  return v.success;
}

PyGetSetDef g_tr_getset[] = {
    {"success", getter_slot<TryRecord, tr_success>, nullptr, nullptr, nullptr},
    {"result", getter_slot<TryRecord, tr_result>, nullptr, nullptr, nullptr},
    {"error", getter_slot<TryRecord, tr_error>, nullptr, nullptr, nullptr},
    {"error_type", getter_slot<TryRecord, tr_error_type>, nullptr, nullptr, nullptr},
    {"closest_match", getter_slot<TryRecord, tr_closest_match>, nullptr, nullptr, nullptr},
    {"locations", getter_slot<TryRecord, tr_locations>, nullptr, nullptr, nullptr},
    {"retryable", getter_slot<TryRecord, tr_retryable>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_tr_slots[] = {
    {Py_tp_doc, const_cast<char*>("Result from try_replace_content - either success with "
                                  "result, or failure with error details.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(&box_dealloc<TryRecord>)},
    {Py_tp_getset, g_tr_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<TryRecord, tr_repr>)},
    {Py_nb_bool, reinterpret_cast<void*>(&bool_slot<TryRecord, tr_truth>)},
    {0, nullptr},
};

PyType_Spec g_tr_spec = {
    "builtins.TryReplaceResult",
    static_cast<int>(sizeof(Box<TryRecord>)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    g_tr_slots,
};

// ---------------------------------------------------------------------------
// Functions

constexpr const char* kParams[] = {"content", "old_string", "new_string", "replace_all",
                                   "line_hint"};
constexpr Signature kReplaceContent{"replace_content", nullptr, kParams, 5, 3};
constexpr Signature kTryReplaceContent{"try_replace_content", nullptr, kParams, 5, 3};

cr::ReplaceOutcome run(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
  auto a = bind<5>(sig, args, nargs, kwnames);
  const std::string_view content = text_arg(a[0], "content");
  const std::string_view old_string = text_arg(a[1], "old_string");
  const std::string_view new_string = text_arg(a[2], "new_string");
  const bool replace_all = a[3] != nullptr && bool_arg(a[3], "replace_all");
  const std::optional<std::uint32_t> line_hint = optional_u32_arg(a[4], "line_hint");
  return cr::replace_content(content, old_string, new_string, replace_all, line_hint);
}

Ref replace_content_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  cr::ReplaceOutcome outcome = run(kReplaceContent, args, nargs, kwnames);
  if (auto* result = std::get_if<cr::ReplaceResult>(&outcome)) {
    return box(replace_result_type(), std::move(*result));
  }
  const auto& error = std::get<cr::ReplaceError>(outcome);
  if (const auto* e = std::get_if<cr::NotFound>(&error)) raise_retryable(e->message);
  if (const auto* e = std::get_if<cr::MultipleMatches>(&error)) raise_retryable(e->message);
  raise(PyExc_ValueError, kNoChangeMessage);
}

TryRecord try_record(cr::ReplaceOutcome outcome) {
  TryRecord r;
  if (auto* result = std::get_if<cr::ReplaceResult>(&outcome)) {
    r.success = true;
    r.result = std::move(*result);
    return r;
  }
  auto& error = std::get<cr::ReplaceError>(outcome);
  if (auto* e = std::get_if<cr::NotFound>(&error)) {
    r.error = std::move(e->message);
    r.error_type = "not_found";
    r.closest_match = std::move(e->closest_match);
    r.retryable = true;
  } else if (auto* e = std::get_if<cr::MultipleMatches>(&error)) {
    r.error = std::move(e->message);
    r.error_type = "multiple_matches";
    r.locations = std::move(e->locations);
    r.retryable = true;
  } else {
    r.error = kNoChangeMessage;
    r.error_type = "no_change";
  }
  return r;
}

Ref try_replace_content_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  return box(try_replace_result_type(), try_record(run(kTryReplaceContent, args, nargs, kwnames)));
}

}  // namespace

PyMethodDef replace_content_def = method_def<replace_content_impl>(
    "replace_content",
    "replace_content(content, old_string, new_string, replace_all=False, line_hint=None)\n--\n\n"
    "Replace content using multiple fallback strategies.\n\n"
    "Tries various matching strategies in order until one succeeds:\n"
    "1. Simple - Direct string matching\n"
    "2. Line-trimmed - Line-by-line matching with trimmed whitespace\n"
    "3. Block-anchor - Multi-line matching using first/last line anchors\n"
    "4. Whitespace-normalized - Normalized whitespace matching\n"
    "5. Indentation-flexible - Matching with flexible indentation\n"
    "6. Escape-normalized - Handle escape sequence differences\n"
    "7. Trimmed-boundary - Match with trimmed boundaries\n"
    "8. Context-aware - Use anchor lines for context matching\n\n"
    "Args:\n"
    "    content: The text content to search within\n"
    "    old_string: Text to find and replace\n"
    "    new_string: Replacement text\n"
    "    replace_all: If True, replace all occurrences (default: False)\n"
    "    line_hint: Optional line number hint for disambiguation when multiple matches exist\n\n"
    "Returns:\n"
    "    ReplaceResult with the new content and match information\n\n"
    "Raises:\n"
    "    ValueError: If old_string equals new_string, not found, or multiple matches without "
    "line_hint");

PyMethodDef try_replace_content_def = method_def<try_replace_content_impl>(
    "try_replace_content",
    "try_replace_content(content, old_string, new_string, replace_all=False, line_hint=None)\n"
    "--\n\n"
    "Try to replace content, returning a result object instead of raising.\n\n"
    "This is useful when you want to handle errors programmatically rather than\n"
    "catching exceptions. The returned object is falsy on failure, truthy on success.\n\n"
    "Args:\n"
    "    content: The text content to search within\n"
    "    old_string: Text to find and replace\n"
    "    new_string: Replacement text\n"
    "    replace_all: If True, replace all occurrences (default: False)\n"
    "    line_hint: Optional line number hint for disambiguation\n\n"
    "Returns:\n"
    "    TryReplaceResult with:\n"
    "    - success: bool\n"
    "    - result: ReplaceResult if success, None otherwise\n"
    "    - error: Error message if failed, None otherwise\n"
    "    - error_type: \"not_found\", \"multiple_matches\", or \"no_change\" if failed\n"
    "    - closest_match: FuzzyMatchInfo if a close match was found\n"
    "    - locations: List of line numbers if multiple matches found");

PyTypeObject* replace_result_type() {
  return once_type(g_replace_result, &g_rr_spec);
}
PyTypeObject* try_replace_result_type() {
  return once_type(g_try_replace_result, &g_tr_spec);
}
PyTypeObject* fuzzy_match_info_type() {
  return once_type(g_fuzzy_match_info, &g_fmi_spec);
}

}  // namespace tavrell::py
