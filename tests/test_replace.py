"""The replacement driver and its Python surface: replace_content,
try_replace_content, ReplaceResult, TryReplaceResult and FuzzyMatchInfo."""

import pytest

from tavrell_search import _tavrell_search as ts

EMPTY = "Search text cannot be empty"
NO_CHANGE = "old_string and new_string must be different"
NOT_FOUND = "Search text not found in file."
MULTIPLE = "Pattern found at multiple locations (lines: {})."


def replaced(content, old, new, **kw):
    r = ts.replace_content(content, old, new, **kw)
    return r.content, r.matched_text, r.start_line, r.end_line, r.strategy


# ---------------------------------------------------------------------------
# Driver


def test_empty_old_string_is_refused_before_the_no_change_test():
    for new in ("", "x"):
        with pytest.raises(ts.RetryableError) as info:
            ts.replace_content("abc", "", new)
        assert str(info.value) == EMPTY
        t = ts.try_replace_content("abc", "", new)
        assert (t.success, t.error, t.error_type, t.retryable) == (False, EMPTY, "not_found", True)
        assert t.closest_match is None and t.locations is None and t.result is None


def test_equal_texts_are_no_change_whatever_the_content():
    for content in ("", "abc", "zzz"):
        with pytest.raises(ValueError) as info:
            ts.replace_content(content, "abc", "abc")
        assert type(info.value) is ValueError and str(info.value) == NO_CHANGE
    t = ts.try_replace_content("abc", "abc", "abc")
    assert not t
    assert (t.success, t.error, t.error_type, t.retryable) == (False, NO_CHANGE, "no_change", False)
    assert t.result is None and t.closest_match is None and t.locations is None
    assert repr(t) == 'TryReplaceResult(success=False, error_type=Some("no_change"))'


def test_equality_is_tested_before_line_break_normalisation():
    # "a\r\nb" and "a\nb" differ as passed in, and are equal once normalised:
    # the call succeeds and leaves the content as it was.
    assert replaced("a\nb\n", "a\r\nb", "a\nb") == ("a\nb\n", "a\nb", 1, 2, "simple")


@pytest.mark.parametrize(
    "content, old, new, expected",
    [
        ("x = 1\ny = 2\n", "y = 2", "y = 3", ("x = 1\ny = 3\n", "y = 2", 2, 2, "simple")),
        # Line breaks are normalised in all three texts and never restored.
        ("a\r\nb\r\n", "b", "c", ("a\nc\n", "b", 2, 2, "simple")),
        ("a\r\nb\r\nc", "a\r\nb", "x\r\ny", ("x\ny\nc", "a\nb", 1, 2, "simple")),
        # A lone "\r" stays; "\r\r\n" becomes "\r\n".
        ("a\rb\r\r\nc", "b\r", "B", ("a\rB\nc", "b\r", 1, 1, "simple")),
        # end_line counts the "\n" of matched_text, a final one included.
        ("a\nb\nc\nx\ny", "x\n", "z\n", ("a\nb\nc\nz\ny", "x\n", 4, 5, "simple")),
        ("α\nβγ\nδ", "γ\nδ", "ε", ("α\nβε", "γ\nδ", 2, 3, "simple")),
        # The empty content: a whitespace-only old_string meets the whole
        # (empty) content, which occurs once.
        ("", "  ", "new", ("new", "", 1, 1, "whitespace_normalized")),
        ("", " \n\t", "", ("", "", 1, 1, "whitespace_normalized")),
    ],
)
def test_replacements(content, old, new, expected):
    assert replaced(content, old, new) == expected


def test_empty_content_under_replace_all():
    assert replaced("", "  ", "new", replace_all=True) == ("new", "", 1, 1, "whitespace_normalized")


@pytest.mark.parametrize(
    "content, old, locations",
    [
        ("abab", "ab", [1, 1]),
        ("aaa", "aa", [1, 1]),  # overlapping occurrences count
        ("a\na\n", "a", [1, 2]),
    ],
)
def test_ambiguous_old_string(content, old, locations):
    with pytest.raises(ts.RetryableError) as info:
        ts.replace_content(content, old, "X")
    message = str(info.value)
    assert message.startswith(MULTIPLE.format(", ".join(map(str, locations))))
    t = ts.try_replace_content(content, old, "X")
    assert (t.success, t.error, t.error_type, t.retryable) == (False, message, "multiple_matches", True)
    assert t.locations == locations and t.closest_match is None and t.result is None
    assert repr(t) == 'TryReplaceResult(success=False, error_type=Some("multiple_matches"))'


CONTENT_3_7 = "a\nb\nfoo\nc\nd\ne\nfoo\nf\n"


@pytest.mark.parametrize(
    "hint, line",
    [(5, 3), (6, 7), (0, 3), (1, 3), (7, 7), (100, 7), (4294967295, 7)],
)
def test_line_hint_picks_the_nearest_occurrence_earlier_on_ties(hint, line):
    r = ts.replace_content(CONTENT_3_7, "foo", "BAR", line_hint=hint)
    assert (r.start_line, r.end_line, r.strategy) == (line, line, "simple")
    lines = CONTENT_3_7.split("\n")
    lines[line - 1] = "BAR"
    assert r.content == "\n".join(lines)


def test_line_hint_counts_overlapping_occurrences():
    # "aa" occurs at 0 and 1 on line 1 and at the start of line 2; the earlier
    # of the two nearest wins.
    r = ts.replace_content("aaa\naa", "aa", "X", line_hint=1)
    assert (r.content, r.start_line) == ("Xa\naa", 1)


def test_line_hint_none_is_the_same_as_omitted():
    for kw in ({}, {"line_hint": None}):
        t = ts.try_replace_content(CONTENT_3_7, "foo", "BAR", **kw)
        assert t.error_type == "multiple_matches" and t.locations == [3, 7]


def test_line_hint_is_not_consulted_for_a_unique_candidate():
    assert ts.replace_content("a\nb\nc\n", "b", "X", line_hint=1).start_line == 2


@pytest.mark.parametrize(
    "content, old, new, expected",
    [
        ("x.x.x", "x", "y", ("y.y.y", "x", 1, 1, "simple")),
        ("aaaa", "aa", "b", ("bb", "aa", 1, 1, "simple")),  # non-overlapping, left to right
        ("aaa", "aa", "b", ("ba", "aa", 1, 1, "simple")),
        ("q\nab\nab\r\n", "ab\r\n", "c\r\n", ("q\nc\nc\n", "ab\n", 2, 3, "simple")),
        # A looser strategy's candidate is replaced everywhere it occurs.
        ("  k\n  k\n", "k ", "Z", ("Z\nZ\n", "  k", 1, 1, "line_trimmed")),
    ],
)
def test_replace_all(content, old, new, expected):
    assert replaced(content, old, new, replace_all=True) == expected
    # The line hint plays no part under replace_all.
    assert replaced(content, old, new, replace_all=True, line_hint=9) == expected


def test_the_cascade_goes_on_past_an_ambiguous_strategy():
    # "x = 1" occurs twice, but the whole first line (trimmed equal) once.
    content = "  x = 1\nx = 1 \n"
    assert replaced(content, "x = 1", "Y") == ("Y\nx = 1 \n", "  x = 1", 1, 1, "line_trimmed")
    # With a hint the first ambiguous candidate is resolved at once.
    assert replaced(content, "x = 1", "Y", line_hint=2) == ("  x = 1\nY \n", "x = 1", 2, 2, "simple")


def test_the_first_ambiguous_candidate_is_reported():
    # "foo " does not occur; "  foo" (line_trimmed) is the first ambiguous
    # candidate, so its occurrences are listed, and the message quotes the
    # start of old_string.
    t = ts.try_replace_content("  foo\nbar\n  foo\n", "foo ", "X")
    assert t.error_type == "multiple_matches" and t.locations == [1, 3]
    assert t.error.startswith(MULTIPLE.format("1, 3") + '\nSearch text starts with: "foo "')
    assert "\n  Line 1:   foo\n  Line 3:   foo" in t.error


# ---------------------------------------------------------------------------
# Mended behaviour


@pytest.mark.parametrize("old", ["  ", "\t", " \n ", "\u3000"])
@pytest.mark.parametrize("kw", [{}, {"replace_all": True}, {"line_hint": 1}])
def test_an_empty_candidate_never_matches_a_non_empty_content(old, kw):
    # The only candidate left is the empty trimmed old_string, which occurs at
    # every character boundary: it locates nothing, so the text is not found
    # (rather than new_string being inserted at one or every boundary).
    t = ts.try_replace_content("abc\ndef", old, "X", **kw)
    assert (t.success, t.error_type, t.retryable) == (False, "not_found", True)
    assert t.error.startswith(NOT_FOUND)
    with pytest.raises(ts.RetryableError):
        ts.replace_content("abc\ndef", old, "X", **kw)


def test_candidates_that_never_occur_leave_old_string_not_found():
    # "\r\r\n" normalises to "\r\n", so the line-oriented strategies' joined
    # window "a\nb" lacks the "\r" the content holds: nothing ambiguous was met.
    t = ts.try_replace_content("a\r\r\nb\nc\n", "a \nb", "X")
    assert (t.error_type, t.locations) == ("not_found", None)
    assert t.error.startswith(NOT_FOUND)


def test_replace_all_failures_are_not_found():
    t = ts.try_replace_content("a\r\r\nb\nc\n", "a \nb", "X", replace_all=True)
    assert t.error_type == "not_found"


@pytest.mark.parametrize(
    "content, old",
    [
        # Blank first and last anchors would frame alpha().
        (
            "import os\n\ndef alpha():\n    return 1\n\ndef beta():\n    return 2\n",
            "\ndef gamma():\n    return 3\n\n\n",
        ),
        # One middle line equal, one unlike: half of them match, which would
        # satisfy the context check between blank anchors.
        ("x\n\nkeep = 1\nzzzzzzzz\n\ny\n", "\nkeep = 1\nqqqqqqqq\n\n\n"),
    ],
)
def test_blank_lines_are_no_anchors(content, old):
    t = ts.try_replace_content(content, old, "X")
    assert t.error_type == "not_found"


@pytest.mark.parametrize(
    "content, old, new, kw, expected_content",
    [
        ("a\tb\n", "a\\tb", "c\\td", {}, "c\td\n"),
        ("a\tb\na\tb\n", "a\\tb", "c\\td", {"replace_all": True}, "c\td\nc\td\n"),
        ('say("hi")\n', 'say(\\"hi\\")', 'say(\\"bye\\")\\nsay(\\"x\\")', {}, 'say("bye")\nsay("x")\n'),
        ("p = '$x'\n", "p = \\'\\$x\\'", "p = \\'\\\\n\\'", {}, "p = '\\\n'\n"),
    ],
)
def test_an_escaped_match_writes_an_unescaped_replacement(content, old, new, kw, expected_content):
    r = ts.replace_content(content, old, new, **kw)
    assert (r.strategy, r.content) == ("escape_normalized", expected_content)


# ---------------------------------------------------------------------------
# The Python surface


def test_replace_result_attributes_and_repr():
    r = ts.replace_content("x = 1\ny = 2\n", "y = 2", "y = 3")
    assert type(r) is ts.ReplaceResult
    assert repr(r) == "ReplaceResult(start_line=2, end_line=2, strategy='simple', matched_text='y = 2')"
    assert bool(r) is True
    for name in ("content", "matched_text", "start_line", "end_line", "strategy"):
        with pytest.raises(AttributeError):
            setattr(r, name, getattr(r, name))


@pytest.mark.parametrize(
    "matched, shown",
    [
        ("a" * 50, "a" * 50),
        ("a" * 51, "a" * 50 + "..."),
        ("é" * 25, "é" * 25),  # exactly 50 bytes
        ("é" * 26, "é" * 25 + "..."),  # byte 50 ends a character
        ("a" + "é" * 30, "a" + "é" * 24 + "..."),  # byte 50 falls inside "é"
        ("x'\ny\"", "x'\ny\""),  # quotes and line breaks appear raw
    ],
)
def test_replace_result_repr_preview(matched, shown):
    r = ts.replace_content("<" + matched + ">", matched, "Z")
    assert repr(r) == f"ReplaceResult(start_line=1, end_line={1 + matched.count(chr(10))}, strategy='simple', matched_text='{shown}')"


def test_try_replace_result_on_success():
    t = ts.try_replace_content("x = 1\ny = 2\n", "y = 2", "y = 3")
    assert t and t.success is True and t.retryable is False
    assert t.error is None and t.error_type is None and t.closest_match is None and t.locations is None
    assert repr(t) == 'TryReplaceResult(success=True, result=Some("simple"))'
    r = t.result
    assert type(r) is ts.ReplaceResult
    assert (r.content, r.matched_text, r.start_line, r.end_line, r.strategy) == (
        "x = 1\ny = 3\n", "y = 2", 2, 2, "simple")


def test_try_replace_result_reads_give_fresh_objects():
    t = ts.try_replace_content("a\na\n", "a", "b")
    first = t.locations
    first.append(99)
    assert t.locations == [1, 2] and t.locations is not t.locations
    t = ts.try_replace_content("abcdefgX\n", "abcdefgh", "Z")
    assert t.closest_match is not t.closest_match
    t = ts.try_replace_content("abc", "b", "c")
    assert t.result is not t.result and t.result.content == "acc"


def test_try_replace_result_is_read_only():
    t = ts.try_replace_content("abc", "b", "c")
    for name in ("success", "result", "error", "error_type", "closest_match", "locations", "retryable"):
        with pytest.raises(AttributeError):
            setattr(t, name, None)


def test_not_found_with_closest_match():
    # One substituted character in eight: 87.5% similar.
    with pytest.raises(ts.RetryableError) as info:
        ts.replace_content("abcdefgX\n", "abcdefgh", "Z")
    t = ts.try_replace_content("abcdefgX\n", "abcdefgh", "Z")
    assert (t.success, t.error, t.error_type, t.retryable) == (False, str(info.value), "not_found", True)
    assert t.locations is None and t.result is None
    assert repr(t) == 'TryReplaceResult(success=False, error_type=Some("not_found"))'
    m = t.closest_match
    assert type(m) is ts.FuzzyMatchInfo
    assert (m.similarity, m.start_line, m.end_line, m.text) == (0.875, 1, 1, "abcdefgX")
    assert m.diff == "--- SEARCH\n+++ CLOSEST MATCH\n-abcdefgh\n+abcdefgX\n"
    assert repr(m) == "FuzzyMatchInfo(similarity=0.88, lines=1-1)"
    assert bool(m) is True
    assert "Closest fuzzy match (87.5% similar) at lines 1-1:" in t.error
    for name in ("similarity", "start_line", "end_line", "text", "diff"):
        with pytest.raises(AttributeError):
            setattr(m, name, getattr(m, name))


@pytest.mark.parametrize(
    "content, old, similarity, shown, lines",
    [
        ("abcdefghijklmnoX\n", "abcdefghijklmnop", 0.9375, "0.94", "1-1"),
        ("abcdefghijklmnXY\n", "abcdefghijklmnop", 0.875, "0.88", "1-1"),
        # 1 - 7/40 is just below 0.825 in binary: it rounds down.
        ("a" * 33 + "XXXXXXX", "a" * 40, 1 - 7 / 40, "0.82", "1-1"),
        # The window holds what "\r\r\n" left: equal once split into lines,
        # yet not in the content.
        ("abcdefgh\r\r\nxyz\r\nend", "abcdefgh\nxyz", 1.0, "1.00", "1-2"),
    ],
)
def test_fuzzy_match_info_repr_rounds_like_python(content, old, similarity, shown, lines):
    m = ts.try_replace_content(content, old, "Z").closest_match
    assert m.similarity == similarity
    assert f"{m.similarity:.2f}" == shown
    assert repr(m) == f"FuzzyMatchInfo(similarity={shown}, lines={lines})"


@pytest.mark.parametrize("fn", [ts.replace_content, ts.try_replace_content])
def test_arguments(fn):
    name = fn.__name__
    with pytest.raises(TypeError) as info:
        fn()
    assert str(info.value) == (
        f"{name}() missing 3 required positional arguments: 'content', 'old_string', and 'new_string'"
    )
    with pytest.raises(TypeError) as info:
        fn("a", "b", "c", False, None, 1)
    assert str(info.value) == f"{name}() takes from 3 to 5 positional arguments but 6 were given"
    with pytest.raises(TypeError) as info:
        fn("a", "b", "c", replace_all=1)
    assert str(info.value) == "argument 'replace_all': 'int' object cannot be cast as 'bool'"
    with pytest.raises(TypeError) as info:
        fn("a", "b", "c", replace_all=None)
    assert str(info.value) == "argument 'replace_all': 'NoneType' object cannot be cast as 'bool'"
    with pytest.raises(TypeError) as info:
        fn("a", b"b", "c")
    assert str(info.value) == "argument 'old_string': 'bytes' object cannot be cast as 'str'"
    for hint in (-1, 4294967296):
        with pytest.raises(OverflowError) as info:
            fn("a", "b", "c", line_hint=hint)
        assert str(info.value) == "out of range integral type conversion attempted"
    # Keywords in any order, and every argument by keyword.
    r = fn(new_string="c", line_hint=0, old_string="b", content="abc", replace_all=False)
    r = r if fn is ts.replace_content else r.result
    assert r.content == "acc"


def test_docstrings():
    assert ts.replace_content.__text_signature__ == (
        "(content, old_string, new_string, replace_all=False, line_hint=None)"
    )
    assert ts.try_replace_content.__text_signature__ == ts.replace_content.__text_signature__
    assert ts.replace_content.__doc__.startswith(
        "Replace content using multiple fallback strategies.\n\nTries various matching strategies"
    )
    assert ts.replace_content.__doc__.endswith(
        "Raises:\n    ValueError: If old_string equals new_string, not found, or multiple matches without line_hint"
    )
    assert ts.try_replace_content.__doc__.startswith(
        "Try to replace content, returning a result object instead of raising.\n\n"
    )
    assert ts.try_replace_content.__doc__.endswith(
        '    - error_type: "not_found", "multiple_matches", or "no_change" if failed\n'
        "    - closest_match: FuzzyMatchInfo if a close match was found\n"
        "    - locations: List of line numbers if multiple matches found"
    )
    assert ts.ReplaceResult.__doc__ == "Result of a successful replacement operation."
    assert ts.FuzzyMatchInfo.__doc__ == "Information about a fuzzy match when replacement fails."
    assert ts.TryReplaceResult.__doc__ == (
        "Result from try_replace_content - either success with result, or failure with error details."
    )


def test_retryable_error_is_not_a_value_error():
    with pytest.raises(ts.RetryableError) as info:
        ts.replace_content("abc", "zzz", "y")
    assert not isinstance(info.value, ValueError)
    assert info.value.args == (str(info.value),)
