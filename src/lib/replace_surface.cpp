// Placeholder: the replacement surface.
#include "lib/stub_support.h"
#include "lib/surfaces.h"

namespace tavrell::py {
namespace {
OnceObject g_replace_result, g_try_replace_result, g_fuzzy_match_info;
}
PyMethodDef replace_content_def = method_def<stub::not_available>("replace_content", nullptr);
PyMethodDef try_replace_content_def =
    method_def<stub::not_available>("try_replace_content", nullptr);
PyTypeObject* replace_result_type() {
  return stub::placeholder_type(g_replace_result, "builtins.ReplaceResult",
                                "Result of a successful replacement operation.");
}
PyTypeObject* try_replace_result_type() {
  return stub::placeholder_type(g_try_replace_result, "builtins.TryReplaceResult",
                                "Result from try_replace_content - either success with result, "
                                "or failure with error details.");
}
PyTypeObject* fuzzy_match_info_type() {
  return stub::placeholder_type(g_fuzzy_match_info, "builtins.FuzzyMatchInfo",
                                "Information about a fuzzy match when replacement fails.");
}
}  // namespace tavrell::py
