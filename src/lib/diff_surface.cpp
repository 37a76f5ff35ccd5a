// Placeholder: the diff surface and trim_diff.
#include "lib/stub_support.h"
#include "lib/surfaces.h"

namespace tavrell::py {
namespace {
OnceObject g_diff_hunk, g_hunk_result, g_apply_diff_result;
}
PyMethodDef trim_diff_def = method_def<stub::not_available>("trim_diff", nullptr);
PyMethodDef parse_locationless_diff_def =
    method_def<stub::not_available>("parse_locationless_diff", nullptr);
PyMethodDef apply_diff_hunks_def = method_def<stub::not_available>("apply_diff_hunks", nullptr);
PyMethodDef apply_diff_hunks_with_hint_def =
    method_def<stub::not_available>("apply_diff_hunks_with_hint", nullptr);
PyMethodDef try_apply_diff_hunks_def =
    method_def<stub::not_available>("try_apply_diff_hunks", nullptr);
PyTypeObject* diff_hunk_type() {
  return stub::placeholder_type(g_diff_hunk, "builtins.DiffHunk",
                                "A single diff hunk representing one edit operation.");
}
PyTypeObject* hunk_result_type() {
  return stub::placeholder_type(g_hunk_result, "builtins.HunkResult",
                                "Result of applying a single hunk.");
}
PyTypeObject* apply_diff_result_type() {
  return stub::placeholder_type(g_apply_diff_result, "builtins.ApplyDiffResult",
                                "Result of applying all diff hunks.");
}
}  // namespace tavrell::py
