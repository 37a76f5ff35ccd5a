// What each Python surface gives the module's registration: the function
// definitions and the class types, in the module's registration order.
#pragma once

#include "lib/compat.h"

namespace tavrell::py {

// Module functions. Each definition lives as long as the process.
extern PyMethodDef fuzzy_match_def;
extern PyMethodDef get_best_matches_def;
extern PyMethodDef fuzzy_match_simple_def;
extern PyMethodDef replace_content_def;
extern PyMethodDef try_replace_content_def;
extern PyMethodDef trim_diff_def;
extern PyMethodDef parse_locationless_diff_def;
extern PyMethodDef apply_diff_hunks_def;
extern PyMethodDef apply_diff_hunks_with_hint_def;
extern PyMethodDef try_apply_diff_hunks_def;

// Class types, each created once per process on first use (borrowed
// references; they throw ErrorAlreadySet when creation fails).
PyTypeObject* streaming_fuzzy_matcher_type();
PyTypeObject* match_range_type();
PyTypeObject* replace_result_type();
PyTypeObject* try_replace_result_type();
PyTypeObject* fuzzy_match_info_type();
PyTypeObject* diff_hunk_type();
PyTypeObject* hunk_result_type();
PyTypeObject* apply_diff_result_type();

}  // namespace tavrell::py
