// Python surface of locationless diffs: parse_locationless_diff,
// apply_diff_hunks, apply_diff_hunks_with_hint, try_apply_diff_hunks, the
// classes DiffHunk, HunkResult and ApplyDiffResult, and trim_diff.
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "content_replacer/trim_diff.h"
#include "diff_parser/apply.h"
#include "diff_parser/debug_string.h"
#include "diff_parser/parser.h"
#include "lib/binding.h"
#include "lib/surfaces.h"
#include "text/utf8.h"

namespace tavrell::py {
namespace {

namespace dp = diff_parser;

// Each Python object owns a copy of one engine record and never changes.
using PyDiffHunk = Box<dp::DiffHunk>;
using PyHunkResult = Box<dp::HunkResult>;
using PyApplyDiffResult = Box<dp::ApplyDiffResult>;

OnceObject g_diff_hunk, g_hunk_result, g_apply_diff_result;

Ref optional_to_py(const std::optional<std::string>& v) {
  return v ? to_py(*v) : none();
}
Ref optional_to_py(const std::optional<std::uint64_t>& v) {
  return v ? to_py_u64(*v) : none();
}

template <class T>
void* dealloc_slot() {
  return reinterpret_cast<void*>(&box_dealloc<T>);
}

constexpr unsigned long kResultFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

// ---------------------------------------------------------------------------
// DiffHunk

Ref hunk_old_text(const dp::DiffHunk& h) {
  return to_py(h.old_text);
}
Ref hunk_new_text(const dp::DiffHunk& h) {
  return to_py(h.new_text);
}
Ref hunk_raw(const dp::DiffHunk& h) {
  return to_py(h.raw);
}

// The first 30 characters, and "..." when the text is longer than 30 bytes:
// the cut counts characters, the test counts bytes, so a short text of
// multi-byte characters is shown whole and still followed by "...".
void append_preview(std::string& out, std::string_view s) {
  constexpr std::size_t kPreview = 30;
  out.append(s.substr(0, text::prefix_bytes_for_code_points(s, kPreview)));
  if (s.size() > kPreview) out += "...";
}

std::string diff_hunk_repr(const dp::DiffHunk& h) {
  std::string out = "DiffHunk(old='";
  append_preview(out, h.old_text);
  out += "', new='";
  append_preview(out, h.new_text);
  out += "')";
  return out;
}

PyGetSetDef g_diff_hunk_getset[] = {
    {"old_text", getter_slot<dp::DiffHunk, hunk_old_text>, nullptr, nullptr, nullptr},
    {"new_text", getter_slot<dp::DiffHunk, hunk_new_text>, nullptr, nullptr, nullptr},
    {"raw", getter_slot<dp::DiffHunk, hunk_raw>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_diff_hunk_slots[] = {
    {Py_tp_doc, const_cast<char*>("A single diff hunk representing one edit operation.")},
    {Py_tp_dealloc, dealloc_slot<dp::DiffHunk>()},
    {Py_tp_getset, g_diff_hunk_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<dp::DiffHunk, diff_hunk_repr>)},
    {0, nullptr},
};

PyType_Spec g_diff_hunk_spec = {"builtins.DiffHunk", sizeof(PyDiffHunk), 0, kResultFlags,
                                g_diff_hunk_slots};

// ---------------------------------------------------------------------------
// HunkResult

Ref hunk_success(const dp::HunkResult& r) {
  return to_py_bool(r.success);
}
Ref hunk_strategy(const dp::HunkResult& r) {
  return optional_to_py(r.strategy);
}
Ref hunk_error(const dp::HunkResult& r) {
  return optional_to_py(r.error);
}
Ref hunk_start_line(const dp::HunkResult& r) {
  return optional_to_py(r.start_line);
}
Ref hunk_end_line(const dp::HunkResult& r) {
  return optional_to_py(r.end_line);
}
bool hunk_truth(const dp::HunkResult& r) {
  return r.success;
}

// Optional fields are shown as None, Some(12) or Some("text").
void append_optional(std::string& out, const std::optional<std::string>& v) {
  if (!v) {
    out += "None";
    return;
  }
  out += "Some(";
  dp::append_debug_string(out, *v);
  out += ')';
}
void append_optional(std::string& out, const std::optional<std::uint64_t>& v) {
  if (!v) {
    out += "None";
    return;
  }
  out += "Some(";
  out += std::to_string(*v);
  out += ')';
}

std::string hunk_result_repr(const dp::HunkResult& r) {
  std::string out;
  if (r.success) {
    out = "HunkResult(success=True, strategy=";
    append_optional(out, r.strategy);
    out += ", lines=";
    append_optional(out, r.start_line);
    out += '-';
    append_optional(out, r.end_line);
  } else {
    out = "HunkResult(success=False, error=";
    append_optional(out, r.error);
  }
  out += ')';
  return out;
}

PyGetSetDef g_hunk_result_getset[] = {
    {"success", getter_slot<dp::HunkResult, hunk_success>, nullptr, nullptr, nullptr},
    {"strategy", getter_slot<dp::HunkResult, hunk_strategy>, nullptr, nullptr, nullptr},
    {"error", getter_slot<dp::HunkResult, hunk_error>, nullptr, nullptr, nullptr},
    {"start_line", getter_slot<dp::HunkResult, hunk_start_line>, nullptr, nullptr, nullptr},
    {"end_line", getter_slot<dp::HunkResult, hunk_end_line>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_hunk_result_slots[] = {
    {Py_tp_doc, const_cast<char*>("Result of applying a single hunk.")},
    {Py_tp_dealloc, dealloc_slot<dp::HunkResult>()},
    {Py_tp_getset, g_hunk_result_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<dp::HunkResult, hunk_result_repr>)},
    {Py_nb_bool, reinterpret_cast<void*>(&bool_slot<dp::HunkResult, hunk_truth>)},
    {0, nullptr},
};

PyType_Spec g_hunk_result_spec = {"builtins.HunkResult", sizeof(PyHunkResult), 0, kResultFlags,
                                  g_hunk_result_slots};

// ---------------------------------------------------------------------------
// ApplyDiffResult

Ref result_content(const dp::ApplyDiffResult& r) {
  return to_py(r.content);
}
Ref result_applied_count(const dp::ApplyDiffResult& r) {
  return to_py_u64(r.applied_count);
}
Ref result_total_count(const dp::ApplyDiffResult& r) {
  return to_py_u64(r.total_count);
}
// A new list of new objects on every read: changing it changes nothing here.
Ref result_hunk_results(const dp::ApplyDiffResult& r) {
  PyTypeObject* type = hunk_result_type();
  return make_list(r.hunk_results, [&](const dp::HunkResult& h) { return box(type, h); });
}
Ref result_all_applied(const dp::ApplyDiffResult& r) {
  return to_py_bool(r.all_applied);
}
bool result_truth(const dp::ApplyDiffResult& r) {
  return r.all_applied;
}

std::string apply_diff_result_repr(const dp::ApplyDiffResult& r) {
  return "ApplyDiffResult(applied=" + std::to_string(r.applied_count) + "/" +
         std::to_string(r.total_count) + ", all_applied=" + (r.all_applied ? "true" : "false") +
         ")";
}

PyGetSetDef g_apply_diff_result_getset[] = {
    {"content", getter_slot<dp::ApplyDiffResult, result_content>, nullptr, nullptr, nullptr},
    {"applied_count", getter_slot<dp::ApplyDiffResult, result_applied_count>, nullptr, nullptr,
     nullptr},
    {"total_count", getter_slot<dp::ApplyDiffResult, result_total_count>, nullptr, nullptr,
     nullptr},
    {"hunk_results", getter_slot<dp::ApplyDiffResult, result_hunk_results>, nullptr, nullptr,
     nullptr},
    {"all_applied", getter_slot<dp::ApplyDiffResult, result_all_applied>, nullptr, nullptr,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot g_apply_diff_result_slots[] = {
    {Py_tp_doc, const_cast<char*>("Result of applying all diff hunks.")},
    {Py_tp_dealloc, dealloc_slot<dp::ApplyDiffResult>()},
    {Py_tp_getset, g_apply_diff_result_getset},
    {Py_tp_repr, reinterpret_cast<void*>(&repr_slot<dp::ApplyDiffResult, apply_diff_result_repr>)},
    {Py_nb_bool, reinterpret_cast<void*>(&bool_slot<dp::ApplyDiffResult, result_truth>)},
    {0, nullptr},
};

PyType_Spec g_apply_diff_result_spec = {"builtins.ApplyDiffResult", sizeof(PyApplyDiffResult), 0,
                                        kResultFlags, g_apply_diff_result_slots};

// ---------------------------------------------------------------------------
// Functions

constexpr const char* kTrimParams[] = {"diff_text"};
constexpr Signature kTrim{"trim_diff", nullptr, kTrimParams, 1, 1};

constexpr const char* kParseParams[] = {"diff_text"};
constexpr Signature kParse{"parse_locationless_diff", nullptr, kParseParams, 1, 1};

constexpr const char* kApplyParams[] = {"content", "diff_text", "replace_all"};
constexpr Signature kApply{"apply_diff_hunks", nullptr, kApplyParams, 3, 2};

constexpr const char* kApplyHintParams[] = {"content", "diff_text", "line_hint"};
constexpr Signature kApplyHint{"apply_diff_hunks_with_hint", nullptr, kApplyHintParams, 3, 2};

constexpr const char* kTryApplyParams[] = {"content", "diff_text", "replace_all", "line_hint"};
constexpr Signature kTryApply{"try_apply_diff_hunks", nullptr, kTryApplyParams, 4, 2};

bool replace_all_arg(PyObject* obj) {
  return obj != nullptr && bool_arg(obj, "replace_all");
}

Ref new_apply_diff_result(dp::ApplyDiffResult&& result) {
  return box(apply_diff_result_type(), std::move(result));
}

// The result object of a run, or the exception for its error.
Ref result_or_raise(dp::ApplyDiffOutcome&& outcome) {
  if (auto* result = std::get_if<dp::ApplyDiffResult>(&outcome)) {
    return new_apply_diff_result(std::move(*result));
  }
  const auto& error = std::get<dp::ApplyDiffError>(outcome);
  if (const auto* none_applied = std::get_if<dp::NoneApplied>(&error)) {
    raise_retryable(none_applied->message);
  }
  raise(PyExc_ValueError, "No diff hunks found in input");
}

Ref trim_diff_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<1>(kTrim, args, nargs, kwnames);
  const std::string_view diff_text = text_arg(a[0], "diff_text");
  return to_py(content_replacer::trim_diff(diff_text));
}

Ref parse_locationless_diff_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  auto a = bind<1>(kParse, args, nargs, kwnames);
  const std::string_view diff_text = text_arg(a[0], "diff_text");
  std::vector<dp::DiffHunk> hunks = dp::parse_locationless_diff(diff_text);
  PyTypeObject* type = diff_hunk_type();
  Ref list = Ref::checked(PyList_New(static_cast<Py_ssize_t>(hunks.size())));
  for (std::size_t i = 0; i < hunks.size(); ++i) {
    Ref item = box(type, std::move(hunks[i]));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list;
}

Ref apply_diff_hunks_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<3>(kApply, args, nargs, kwnames);
  const std::string_view content = text_arg(a[0], "content");
  const std::string_view diff_text = text_arg(a[1], "diff_text");
  const bool replace_all = replace_all_arg(a[2]);
  return result_or_raise(dp::apply_diff_hunks(content, diff_text, replace_all));
}

Ref apply_diff_hunks_with_hint_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  auto a = bind<3>(kApplyHint, args, nargs, kwnames);
  const std::string_view content = text_arg(a[0], "content");
  const std::string_view diff_text = text_arg(a[1], "diff_text");
  const std::optional<std::uint32_t> line_hint = optional_u32_arg(a[2], "line_hint");
  return result_or_raise(dp::apply_diff_hunks_with_hint(content, diff_text, line_hint));
}

Ref try_apply_diff_hunks_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  auto a = bind<4>(kTryApply, args, nargs, kwnames);
  const std::string_view content = text_arg(a[0], "content");
  const std::string_view diff_text = text_arg(a[1], "diff_text");
  const bool replace_all = replace_all_arg(a[2]);
  const std::optional<std::uint32_t> line_hint = optional_u32_arg(a[3], "line_hint");

  // A hint means disambiguation by position, which replace_all would defeat,
  // so with a hint every hunk is applied to one place only.
  dp::ApplyDiffOutcome outcome = line_hint
                                     ? dp::apply_diff_hunks_with_hint(content, diff_text, line_hint)
                                     : dp::apply_diff_hunks(content, diff_text, replace_all);
  if (auto* result = std::get_if<dp::ApplyDiffResult>(&outcome)) {
    return new_apply_diff_result(std::move(*result));
  }
  if (std::holds_alternative<dp::NoHunksFound>(std::get<dp::ApplyDiffError>(outcome))) {
    return none();
  }
  // Nothing applied: the failure is reported as data, with the content as
  // given and no per-hunk detail.
  dp::ApplyDiffResult failed;
  failed.content = std::string(content);
  failed.applied_count = 0;
  failed.total_count = dp::parse_locationless_diff(diff_text).size();
  failed.all_applied = false;
  return new_apply_diff_result(std::move(failed));
}

}  // namespace

PyMethodDef trim_diff_def = method_def<trim_diff_impl>(
    "trim_diff",
    "trim_diff(diff_text)\n--\n\n"
    "Trim common indentation from diff output.\n\n"
    "This removes the minimum common indentation from all content lines\n"
    "in a unified diff, making it more readable when the diff is from\n"
    "deeply indented code.\n\n"
    "Args:\n"
    "    diff_text: A unified diff string\n\n"
    "Returns:\n"
    "    The diff with common indentation removed from content lines");

PyMethodDef parse_locationless_diff_def = method_def<parse_locationless_diff_impl>(
    "parse_locationless_diff",
    "parse_locationless_diff(diff_text)\n--\n\n"
    "Parse a locationless unified diff into DiffHunk objects.\n\n"
    "Handles diff format without line numbers - the location is inferred\n"
    "by matching context in the file.\n\n"
    "Format expected:\n"
    "```\n"
    " context line (unchanged)\n"
    "-removed line\n"
    "+added line\n"
    " more context\n"
    "```\n\n"
    "Multiple hunks are separated by:\n"
    "- Blank lines (empty line not starting with space)\n"
    "- Non-diff content lines\n\n"
    "Also handles:\n"
    "- Content wrapped in <diff>...</diff> tags\n"
    "- Content wrapped in ```diff...``` code blocks\n"
    "- Standard diff headers (---, +++, @@, etc.) which are skipped\n\n"
    "Args:\n"
    "    diff_text: The diff text (may contain multiple hunks)\n\n"
    "Returns:\n"
    "    List of DiffHunk objects with old_text/new_text pairs");

PyMethodDef apply_diff_hunks_def = method_def<apply_diff_hunks_impl>(
    "apply_diff_hunks",
    "apply_diff_hunks(content, diff_text, replace_all=False)\n--\n\n"
    "Apply locationless diff edits to content.\n\n"
    "Parses diff format and applies each hunk using content matching\n"
    "via multi-strategy fuzzy replacement.\n\n"
    "Args:\n"
    "    content: The original file content\n"
    "    diff_text: The diff text containing hunks to apply\n"
    "    replace_all: Whether to replace all occurrences of each pattern (default: False)\n\n"
    "Returns:\n"
    "    ApplyDiffResult with the modified content and application details\n\n"
    "Raises:\n"
    "    ValueError: If no diff hunks found or none could be applied");

PyMethodDef apply_diff_hunks_with_hint_def = method_def<apply_diff_hunks_with_hint_impl>(
    "apply_diff_hunks_with_hint",
    "apply_diff_hunks_with_hint(content, diff_text, line_hint=None)\n--\n\n"
    "Apply locationless diff edits with line hint for disambiguation.\n\n"
    "Similar to apply_diff_hunks but accepts an optional line hint\n"
    "to help disambiguate when multiple matches exist.\n\n"
    "Args:\n"
    "    content: The original file content\n"
    "    diff_text: The diff text containing hunks to apply\n"
    "    line_hint: Optional line number hint for disambiguation\n\n"
    "Returns:\n"
    "    ApplyDiffResult with the modified content and application details\n\n"
    "Raises:\n"
    "    ValueError: If no diff hunks found or none could be applied");

PyMethodDef try_apply_diff_hunks_def = method_def<try_apply_diff_hunks_impl>(
    "try_apply_diff_hunks",
    "try_apply_diff_hunks(content, diff_text, replace_all=False, line_hint=None)\n--\n\n"
    "Try to apply diff hunks, returning a result object instead of raising.\n\n"
    "This is useful when you want to handle partial application or errors\n"
    "programmatically rather than catching exceptions.\n\n"
    "Args:\n"
    "    content: The original file content\n"
    "    diff_text: The diff text containing hunks to apply\n"
    "    replace_all: Whether to replace all occurrences (default: False)\n"
    "    line_hint: Optional line number hint for disambiguation\n\n"
    "Returns:\n"
    "    ApplyDiffResult with success info, or None if no hunks found.");

PyTypeObject* diff_hunk_type() {
  return once_type(g_diff_hunk, &g_diff_hunk_spec);
}
PyTypeObject* hunk_result_type() {
  return once_type(g_hunk_result, &g_hunk_result_spec);
}
PyTypeObject* apply_diff_result_type() {
  return once_type(g_apply_diff_result, &g_apply_diff_result_spec);
}

}  // namespace tavrell::py
