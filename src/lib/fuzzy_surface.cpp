// Python surface of fuzzy scoring: fuzzy_match, get_best_matches and
// fuzzy_match_simple.
#include "fuzzy/fuzzy.h"
#include "lib/binding.h"
#include "lib/surfaces.h"

#include <utility>

namespace tavrell::py {
namespace {

constexpr const char* kFuzzyMatchParams[] = {"pattern",          "instring",         "adj_bonus",
                                             "sep_bonus",        "camel_bonus",      "lead_penalty",
                                             "max_lead_penalty", "unmatched_penalty"};
constexpr Signature kFuzzyMatch{"fuzzy_match", nullptr, kFuzzyMatchParams, 8, 2};

constexpr const char* kBestMatchesParams[] = {"search_string", "candidates"};
constexpr Signature kBestMatches{"get_best_matches", nullptr, kBestMatchesParams, 2, 2};

constexpr const char* kSimpleParams[] = {"pattern", "instring", "case_sensitive"};
constexpr Signature kSimple{"fuzzy_match_simple", nullptr, kSimpleParams, 3, 3};

std::int32_t weight(PyObject* obj, const char* param, std::int32_t fallback) {
  return obj == nullptr ? fallback : i32_arg(obj, param);
}

Ref fuzzy_match_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<8>(kFuzzyMatch, args, nargs, kwnames);
  const std::string_view pattern = text_arg(a[0], "pattern");
  const std::string_view instring = text_arg(a[1], "instring");
  fuzzy::FuzzyWeights w;
  w.adj_bonus = weight(a[2], "adj_bonus", w.adj_bonus);
  w.sep_bonus = weight(a[3], "sep_bonus", w.sep_bonus);
  w.camel_bonus = weight(a[4], "camel_bonus", w.camel_bonus);
  w.lead_penalty = weight(a[5], "lead_penalty", w.lead_penalty);
  w.max_lead_penalty = weight(a[6], "max_lead_penalty", w.max_lead_penalty);
  w.unmatched_penalty = weight(a[7], "unmatched_penalty", w.unmatched_penalty);
  const fuzzy::FuzzyScore r = fuzzy::fuzzy_match(pattern, instring, w);
  return make_tuple(to_py_bool(r.matched), to_py_i64(r.score));
}

Ref get_best_matches_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<2>(kBestMatches, args, nargs, kwnames);
  const std::string_view search = text_arg(a[0], "search_string");
  const TextList candidates = text_list_arg(a[1], "candidates");
  const auto ranked = fuzzy::get_best_matches(search, candidates.views);
  // The result pairs hold the caller's own str objects: no copy is made. A
  // str subclass is copied into a plain str, so that results are always str.
  return make_list(ranked, [&](const fuzzy::RankedCandidate& r) {
    PyObject* item = candidates.owners[r.index].get();
    Ref text = PyUnicode_CheckExact(item) ? Ref::borrow(item) : to_py(candidates.views[r.index]);
    return make_tuple(std::move(text), to_py_i64(r.score));
  });
}

Ref fuzzy_match_simple_impl(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto a = bind<3>(kSimple, args, nargs, kwnames);
  const std::string_view pattern = text_arg(a[0], "pattern");
  const std::string_view instring = text_arg(a[1], "instring");
  const bool case_sensitive = bool_arg(a[2], "case_sensitive");
  return to_py_bool(fuzzy::fuzzy_match_simple(pattern, instring, case_sensitive));
}

}  // namespace

PyMethodDef fuzzy_match_def = method_def<fuzzy_match_impl>(
    "fuzzy_match",
    "fuzzy_match(pattern, instring, adj_bonus=5, sep_bonus=10, camel_bonus=10, "
    "lead_penalty=..., max_lead_penalty=..., unmatched_penalty=...)\n--\n\n");

PyMethodDef get_best_matches_def = method_def<get_best_matches_impl>(
    "get_best_matches", "get_best_matches(search_string, candidates)\n--\n\n");

PyMethodDef fuzzy_match_simple_def = method_def<fuzzy_match_simple_impl>(
    "fuzzy_match_simple", "fuzzy_match_simple(pattern, instring, case_sensitive)\n--\n\n");

}  // namespace tavrell::py
