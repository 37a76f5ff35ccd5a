"""Fuzzy subsequence scoring, the plain subsequence test and candidate ranking."""

import pytest
from hypothesis import given, settings, strategies as st

from tavrell_search import _tavrell_search as ts

MASK = 0xFFFFFFFF


def reference_fuzzy_match(pattern, instring, adj=5, sep=10, camel=10, lead=-3, max_lead=-9, unmatched=-1):
    """A direct transcription of the scoring rules with 32-bit wrapping; case
    mapping takes the first code point of Python's full mappings."""

    def wrap(v):
        v &= MASK
        return v - (1 << 32) if v & 0x80000000 else v

    if not pattern:
        return (False, 0)
    p = [c.lower()[0] for c in pattern]
    n = len(p)
    idx = score = best_score = 0
    prev_matched = prev_lower = False
    prev_sep = True
    best = None
    for k, c in enumerate(instring):
        pl = p[idx] if idx < n else None
        cl, cu = c.lower()[0], c.upper()[0]
        next_match = pl is not None and pl == cl
        rematch = best is not None and best == cl
        advanced = next_match and best is not None
        repeat = best is not None and pl is not None and best == pl
        if advanced or repeat:
            score = wrap(score + best_score)
            best, best_score = None, 0
        if next_match or rematch:
            if idx == 0:
                score = wrap(score + max(wrap(k * lead), max_lead))
            bonus = 0
            if prev_matched:
                bonus = wrap(bonus + adj)
            if prev_sep:
                bonus = wrap(bonus + sep)
            if prev_lower and c == cu and cl != cu:
                bonus = wrap(bonus + camel)
            if next_match:
                idx += 1
            if bonus >= best_score:
                if best is not None:
                    score = wrap(score + unmatched)
                best, best_score = cl, bonus
            prev_matched = True
        else:
            score = wrap(score + unmatched)
            prev_matched = False
        prev_lower = c == cl and cl != cu
        prev_sep = c in "_ "
    if best is not None:
        score = wrap(score + best_score)
    return (idx == n, score)


@pytest.mark.parametrize(
    "pattern, instring, expected",
    [
        ("fb", "FooBar", (True, 16)),
        ("ab", "ab", (True, 15)),
        ("ab", "xaab", (True, 5)),
        ("ab", "xxxxab", (True, -8)),
        ("ab", "a_ab", (True, 13)),
        ("", "", (False, 0)),
        ("", "abc", (False, 0)),
        ("a", "", (False, 0)),
        ("aa", "a", (False, 10)),
        ("A", "a", (True, 10)),
        ("a", "A", (True, 10)),
        ("ab", "a b", (True, 19)),
        ("ab", "a-b", (True, 9)),
        ("ab", "a.b", (True, 9)),
        ("ab", "aB", (True, 25)),
        ("b", "ab", (True, -4)),  # leading charge -3 at k = 1
        ("c", "abc", (True, -8)),  # -6 at k = 2
        ("e", "abcde", (True, -13)),  # capped at -9
        ("abc", "xyz", (False, -3)),
        ("ab", "ba", (False, -4)),
    ],
)
def test_scores(pattern, instring, expected):
    result = ts.fuzzy_match(pattern, instring)
    assert type(result) is tuple
    assert type(result[0]) is bool and type(result[1]) is int
    assert result == expected


def test_weights_by_position_and_keyword():
    assert ts.fuzzy_match("ab", "ab", 1, 2, 3, -1, -2, -3) == ts.fuzzy_match(
        "ab", "ab", unmatched_penalty=-3, max_lead_penalty=-2, lead_penalty=-1, camel_bonus=3, sep_bonus=2, adj_bonus=1
    )
    assert ts.fuzzy_match("ab", "ab", adj_bonus=0, sep_bonus=0) == (True, 0)


def test_extreme_weights_wrap():
    big = 2**31 - 1
    assert ts.fuzzy_match("ab", "ab", adj_bonus=big, sep_bonus=big) == (True, -2)
    assert ts.fuzzy_match("ab", "ab", adj_bonus=big, sep_bonus=big) == reference_fuzzy_match(
        "ab", "ab", adj=big, sep=big
    )


def test_negative_bonus_loses_to_empty_best():
    # A negative bonus is never held, but the pattern still advances.
    assert ts.fuzzy_match("a", "a", sep_bonus=-5) == (True, 0)


@pytest.mark.parametrize(
    "pattern, instring, expected",
    [
        ("i", "\u0130", (True, 10)),  # capital I with dot lowers to 'i' (first code point)
        ("\u0130", "i", (True, 10)),
        ("a\u00df", "a\u00dfx", (True, 14)),  # sharp s: no camel bonus (its upper is 'S')
        ("\u03c3", "\u03a3", (True, 10)),  # capital sigma lowers to medial sigma here
        ("\u03bf\u03c3", "\u039f\u03a3\u0391", (True, 14)),
        ("\U0001f600", "x\U0001f600", (True, -4)),
        ("\u00e9", "E\u00c9", (True, -4)),
        ("\u00e9", "e\u00c9", (True, 6)),  # a camel hump between two non-ASCII letters
    ],
)
def test_non_ascii_case_mapping(pattern, instring, expected):
    assert ts.fuzzy_match(pattern, instring) == expected


def test_camel_rule_with_non_ascii_letters():
    # 'é' is lowercase and 'Ö' is uppercase: a camel hump; 'ß' counts as
    # lowercase (its first uppercase code point 'S' differs from it).
    assert ts.fuzzy_match("\u00f6", "\u00e9\u00d6") == (True, 6)
    assert ts.fuzzy_match("a", "\u00dfA") == (True, 6)


ascii_text = st.text(alphabet="abAB_ -.xyZ", max_size=12)
# Letters whose case mappings are stable across Unicode versions, several of
# them with multi-code-point or asymmetric mappings.
mixed_text = st.text(alphabet="aA_ \u00e9\u00c9\u00df\u0130\u0131\u03c3\u03a3\u03c2\u00d6\u00f6\u1e9e\U0001f600", max_size=10)
weights = st.integers(min_value=-(2**31), max_value=2**31 - 1)


@settings(max_examples=300, deadline=None)
@given(ascii_text, ascii_text, st.lists(weights, min_size=6, max_size=6))
def test_matches_reference_on_random_ascii(pattern, instring, w):
    assert ts.fuzzy_match(pattern, instring, *w) == reference_fuzzy_match(pattern, instring, *w)


@settings(max_examples=300, deadline=None)
@given(mixed_text, mixed_text)
def test_matches_reference_on_random_non_ascii(pattern, instring):
    assert ts.fuzzy_match(pattern, instring) == reference_fuzzy_match(pattern, instring)


def test_long_and_odd_inputs_do_not_crash():
    long = "ab_" * 200_000
    assert ts.fuzzy_match("aba", long)[0] is True
    assert ts.fuzzy_match(long, "ab")[0] is False
    assert ts.fuzzy_match("\x00", "\x00") == (True, 10)


@pytest.mark.parametrize(
    "pattern, instring, case_sensitive, expected",
    [
        ("", "", False, True),
        ("", "abc", True, True),
        ("a", "", False, False),
        ("abc", "aXbXc", True, True),
        ("ABC", "abc", True, False),
        ("ABC", "abc", False, True),
        ("ac", "ca", False, False),
        ("aa", "a", False, False),
        ("\u039f\u03a3", "\u039f\u03a3\u0391", False, False),  # final vs medial sigma
        ("\u039f\u03a3", "\u039f\u03a3\u0391", True, True),
        ("\u03c3", "\u039f\u03a3\u0391", False, True),
        ("\u03c2", "\u039f\u03a3", False, True),
        ("i", "\u0130", False, True),
        ("\u0130", "i", False, False),
        ("i\u0307", "\u0130", False, True),
        ("\u0307x", "\u0130X", False, True),  # the second code point of a mapping, then on
        ("\u03c2", "\u039f\u03a3'", False, True),  # case-ignorable characters after a final sigma
        ("\u03c3", "\u039f\u03a3'A", False, True),  # ... and a cased letter after them
        ("\u00df", "SS", False, False),
        ("\U0001f600", "a\U0001f600", True, True),
    ],
)
def test_fuzzy_match_simple(pattern, instring, case_sensitive, expected):
    assert ts.fuzzy_match_simple(pattern, instring, case_sensitive) is expected


def test_fuzzy_match_simple_keywords():
    assert ts.fuzzy_match_simple(case_sensitive=False, instring="XbY", pattern="b") is True


@settings(max_examples=200, deadline=None)
@given(st.text(max_size=8), st.text(max_size=12), st.booleans())
def test_fuzzy_match_simple_matches_python(pattern, instring, case_sensitive):
    if not case_sensitive:
        # The Unicode tables may be of another version than this Python's:
        # compare only on assigned characters whose lowercase agrees.
        pattern = "".join(c for c in pattern if c.isascii())
        instring = "".join(c for c in instring if c.isascii())
    p, s = (pattern, instring) if case_sensitive else (pattern.lower(), instring.lower())
    it = iter(s)
    expected = (not p) or (bool(instring) and all(c in it for c in p))
    assert ts.fuzzy_match_simple(pattern, instring, case_sensitive) is expected


def test_get_best_matches_example():
    assert ts.get_best_matches("fb", ["foo_bar", "FooBar", "xfb", "bf", "fb"]) == [
        ("FooBar", 16),
        ("foo_bar", 15),
        ("fb", 15),
        ("xfb", 1),
    ]


@pytest.mark.parametrize(
    "search, candidates, expected",
    [
        ("", ["a", "b"], []),
        ("a", [], []),
        ("ab", ["ba"], []),
        ("a", ["xa", "a", "a"], [("a", 10), ("a", 10), ("xa", -4)]),
        ("fb", ("foo_bar", "fb"), [("foo_bar", 15), ("fb", 15)]),
    ],
)
def test_get_best_matches_cases(search, candidates, expected):
    assert ts.get_best_matches(search, candidates) == expected


def test_get_best_matches_returns_fresh_list_of_tuples():
    candidates = ["alpha", "beta"]
    result = ts.get_best_matches("a", candidates)
    assert all(type(pair) is tuple and type(pair[0]) is str and type(pair[1]) is int for pair in result)
    result.clear()
    assert candidates == ["alpha", "beta"]
    assert ts.get_best_matches("a", candidates) != []


@settings(max_examples=100, deadline=None)
@given(ascii_text, st.lists(ascii_text, max_size=8))
def test_get_best_matches_is_a_stable_sort_of_matched_scores(search, candidates):
    expected = []
    if search:
        scored = [(c, reference_fuzzy_match(search, c)) for c in candidates]
        expected = [(c, s) for c, (m, s) in scored if m]
        expected.sort(key=lambda pair: -pair[1])
    assert ts.get_best_matches(search, candidates) == expected
