// Placeholder: the streaming matcher classes.
#include "lib/stub_support.h"
#include "lib/surfaces.h"

namespace tavrell::py {
namespace {
OnceObject g_matcher, g_match_range;
}
PyTypeObject* streaming_fuzzy_matcher_type() {
  return stub::placeholder_type(g_matcher, "builtins.StreamingFuzzyMatcher", "");
}
PyTypeObject* match_range_type() {
  return stub::placeholder_type(g_match_range, "builtins.MatchRange",
                                "Python wrapper for a match range.");
}
}  // namespace tavrell::py
