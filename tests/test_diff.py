"""Locationless diffs: parsing, hunk application and the Python classes."""

import re
import unicodedata

import pytest
from hypothesis import given, settings, strategies as st

from tavrell_search import _tavrell_search as ts
from reference import lines_rule

NONE_APPLIED = (
    "None of the {} diff hunks could be applied. The context lines don't match the current "
    "file content. Please read the file again and provide accurate diff context."
)
NO_HUNKS = "No diff hunks found in input"
PURE_INSERTION = "Pure insertion hunk (no context) - skipped"
IDENTICAL = "old_text and new_text are identical"


def hunks(text):
    return [(h.old_text, h.new_text, h.raw) for h in ts.parse_locationless_diff(text)]


# ---------------------------------------------------------------------------
# A reference parser built on Python's own regular expressions, so the direct
# marker search of the module can be checked against the real patterns.

ELEMENT = re.compile(r"(?s)<diff>(.*?)</diff>")
FENCE = re.compile(r"(?s)```diff\n?(.*?)```")
HEADERS = ("---", "+++", "@@", "diff --git", "index ")


def reference_parse(text):
    body = text
    for pattern in (ELEMENT, FENCE):
        m = pattern.search(body)
        if m:
            body = m.group(1)
    body = body.strip("\r\n")

    result, pending = [], []

    def flush():
        if pending:
            old = [l[1:] for l in pending if l[0] != "+"]
            new = [l[1:] for l in pending if l[0] != "-"]
            result.append(("\n".join(old), "\n".join(new), "\n".join(pending)))
            pending.clear()

    for line in lines_rule(body):
        if not line:
            flush()
        elif line.startswith(HEADERS):
            continue
        elif line[0] in " -+":
            pending.append(line)
        else:
            flush()
    flush()
    return result


# ---------------------------------------------------------------------------
# Parsing

ONE = [("a\nb", "a\nc", " a\n-b\n+c")]
AB = [("a", "b", "-a\n+b")]


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("", [], id="empty"),
        pytest.param("\n\r\n\n", [], id="only-line-breaks"),
        pytest.param("Just prose.\nNothing else.", [], id="prose"),
        pytest.param(" a\n-b\n+c", ONE, id="bare"),
        pytest.param(" a\r\n-b\r\n+c\r\n", ONE, id="crlf"),
        pytest.param("<diff>\n a\n-b\n+c\n</diff>", ONE, id="element"),
        pytest.param("```diff\n a\n-b\n+c\n```", ONE, id="fence"),
        pytest.param("<diff>\n```diff\n a\n-b\n+c\n```\n</diff>", ONE, id="fence-in-element"),
        pytest.param("Here is the fix:\n<diff>\n-x\n+y\n</diff>\nThanks", [("x", "y", "-x\n+y")], id="prose-around-element"),
        pytest.param("<diff>\n-a\n+b\n</diff>\n<diff>\n-c\n+d\n</diff>", AB, id="first-element-only"),
        pytest.param("```diff\n-a\n+b\n```\n```diff\n-c\n+d\n```", AB, id="first-fence-only"),
        pytest.param("<diff>\n-a\n+b", [("a", "b", "-a\n+b")], id="element-unclosed"),
        pytest.param("<diff>\n-a\n<diff>\n+b\n</diff>", [("a", "", "-a"), ("", "b", "+b")], id="element-nested-open"),
        pytest.param("</diff>\n-a\n<diff>\n+b\n</diff>", [("", "b", "+b")], id="element-close-before-open"),
        pytest.param("```diff\n-a\n+b", AB, id="fence-unclosed"),
        pytest.param("```diff```", [], id="fence-empty-same-line"),
        pytest.param("```diff\n```", [], id="fence-empty"),
        pytest.param("```diff```diff\n-a\n```", [], id="fence-closed-by-next-opener"),
        pytest.param("```diff\n\n-a\n+b\n\n```", AB, id="fence-blank-lines-trimmed"),
        pytest.param("```diff -a\n+b\n```", [("-a", "-a\nb", " -a\n+b")], id="fence-text-after-marker"),
        pytest.param("```diff python\n-a\n+b\n```", [("python\na", "python\nb", " python\n-a\n+b")], id="fence-language-after-diff"),
        pytest.param("```python\n-a\n+b\n```", AB, id="fence-other-language"),
        pytest.param("```Diff\n-a\n+b\n```", AB, id="fence-case-sensitive"),
        pytest.param("--- a/f.py\n+++ b/f.py\n@@ -1,3 +1,3 @@\n a\n-b\n+c", ONE, id="headers"),
        pytest.param("diff --git a/f b/f\nindex 12..34 100644\n-a\n+b", AB, id="git-headers"),
        pytest.param("indexer\n-a\n+b", AB, id="index-needs-space"),
        pytest.param(" a\n-b\n+c\n\n d\n-e\n+f", ONE + [("d\ne", "d\nf", " d\n-e\n+f")], id="blank-line-boundary"),
        pytest.param(" a\n-b\n+c\n@@ @@\n d\n-e\n+f", [("a\nb\nd\ne", "a\nc\nd\nf", " a\n-b\n+c\n d\n-e\n+f")], id="hunk-header-not-boundary"),
        pytest.param(" a\n \n-b", [("a\n\nb", "a\n", " a\n \n-b")], id="single-space-line"),
        pytest.param(" a\n-b\n\tc\n+d", [("a\nb", "a", " a\n-b"), ("", "d", "+d")], id="tab-line-boundary"),
        pytest.param("-a\n\\ No newline at end of file\n+b", [("a", "", "-a"), ("", "b", "+b")], id="backslash-line"),
        pytest.param("--- old comment", [], id="removed-dashes-is-header"),
        pytest.param("-a\n+++b\n+c", [("a", "c", "-a\n+c")], id="added-pluses-is-header"),
        pytest.param("-a\r\n+b\r", AB, id="trailing-cr-trimmed"),
        pytest.param("-a\r+b", [("a\r+b", "", "-a\r+b")], id="cr-is-not-a-break"),
        pytest.param("  x  \n", [(" x  ", " x  ", "  x  ")], id="spaces-kept"),
        pytest.param(" \u00e9\n-\u4e2d\n+\U0001f600", [("\u00e9\n\u4e2d", "\u00e9\n\U0001f600", " \u00e9\n-\u4e2d\n+\U0001f600")], id="non-ascii"),
    ],
)
def test_parse(text, expected):
    assert hunks(text) == expected
    assert reference_parse(text) == expected


def test_parse_returns_new_objects_each_call():
    first = ts.parse_locationless_diff("-a\n+b")
    second = ts.parse_locationless_diff("-a\n+b")
    assert first[0] is not second[0]
    assert first[0].old_text == second[0].old_text == "a"


MARKER_PIECES = [
    "<diff>", "</diff>", "<diff", "diff>", "```diff", "```", "``", "`", "diff", "<", ">", "/",
    "\n", "\r", "\r\n", "a", " ", "-", "+", "--- ", "+++ ", "@@", "index ", "diff --git",
    "\t", "\\", "\u00e9",
]


@settings(max_examples=400, deadline=None)
@given(st.one_of(st.lists(st.sampled_from(MARKER_PIECES), max_size=40).map("".join), st.text()))
def test_parser_agrees_with_regex_reference(text):
    assert hunks(text) == reference_parse(text)


# ---------------------------------------------------------------------------
# Application

def test_apply_single_hunk():
    result = ts.apply_diff_hunks("a\nb\nc", " a\n-b\n+B")
    assert result.content == "a\nB\nc"
    assert (result.applied_count, result.total_count, result.all_applied) == (1, 1, True)
    assert result
    assert repr(result) == "ApplyDiffResult(applied=1/1, all_applied=true)"
    (hunk,) = result.hunk_results
    assert hunk
    assert (hunk.success, hunk.strategy, hunk.error, hunk.start_line, hunk.end_line) == (
        True, "simple", None, 1, 2)
    assert repr(hunk) == 'HunkResult(success=True, strategy=Some("simple"), lines=Some(1)-Some(2))'


def test_apply_partial_success_keeps_going():
    result = ts.apply_diff_hunks("a\nb\nc", " q\n-r\n+s\n\n b\n-c\n+C")
    assert result.content == "a\nb\nC"
    assert (result.applied_count, result.total_count, result.all_applied) == (1, 2, False)
    assert not result
    assert repr(result) == "ApplyDiffResult(applied=1/2, all_applied=false)"
    failed, ok = result.hunk_results
    assert not failed and ok
    assert failed.error.startswith("Search text not found in file.")
    assert (failed.strategy, failed.start_line, failed.end_line) == (None, None, None)
    assert repr(failed).startswith('HunkResult(success=False, error=Some("Search text not found in file.\\n')
    assert (ok.strategy, ok.start_line, ok.end_line) == ("simple", 2, 3)


@pytest.mark.parametrize(
    "other_hunk, error",
    [
        pytest.param("+z", PURE_INSERTION, id="pure-insertion"),
        pytest.param(" \t\n+z", PURE_INSERTION, id="whitespace-context-only"),
        pytest.param("-\u3000\n \x85\u2028\n+z", PURE_INSERTION, id="unicode-whitespace-context"),
        pytest.param(" a", IDENTICAL, id="context-only"),
    ],
)
def test_skipped_and_identical_hunks(other_hunk, error):
    result = ts.apply_diff_hunks("a\nb\nc", f"{other_hunk}\n\n-b\n+B")
    assert result.content == "a\nB\nc"
    assert (result.applied_count, result.total_count, result.all_applied) == (1, 2, False)
    failed = result.hunk_results[0]
    assert failed.error == error
    assert repr(failed) == f'HunkResult(success=False, error=Some("{error}"))'

    with pytest.raises(ts.RetryableError) as excinfo:
        ts.apply_diff_hunks("a\nb\nc", other_hunk)
    assert str(excinfo.value) == NONE_APPLIED.format(1)


def test_context_of_non_white_space_characters_is_searched():
    # U+001C counts as space for str.isspace and U+200B looks blank, but
    # neither is White_Space: the hunk has context and is applied.
    assert ts.apply_diff_hunks("a\x1c\u200b", "-\x1c\u200b\n+z").content == "az"


def test_hunks_apply_in_order_to_the_working_content():
    # The second hunk's old text holds the line the first one added; its lines
    # are counted in the content as the first hunk left it.
    result = ts.apply_diff_hunks("a\nb\nc\nd", " a\n+x\n b\n\n x\n-b\n+y")
    assert result.content == "a\nx\ny\nc\nd"
    assert [(h.start_line, h.end_line) for h in result.hunk_results] == [(1, 2), (2, 3)]
    assert result.all_applied


def test_hunk_removed_by_an_earlier_hunk_fails():
    result = ts.apply_diff_hunks("a\nb\nc", "-b\n+B\n\n-b\n+C")
    assert result.content == "a\nB\nc"
    assert [h.success for h in result.hunk_results] == [True, False]


def test_crlf_content_comes_back_with_lf():
    assert ts.apply_diff_hunks("a\r\nb\r\nc\r\n", "-b\n+B").content == "a\nB\nc\n"


TWICE = "x = 1\ny = 2\nx = 1\ny = 3\n"


def test_replace_all_replaces_every_occurrence():
    result = ts.apply_diff_hunks(TWICE, "-x = 1\n+x = 0", replace_all=True)
    assert result.content == "x = 0\ny = 2\nx = 0\ny = 3\n"
    assert (result.hunk_results[0].start_line, result.hunk_results[0].end_line) == (1, 1)
    with pytest.raises(ts.RetryableError, match="^None of the 1 diff hunks"):
        ts.apply_diff_hunks(TWICE, "-x = 1\n+x = 0")


def test_line_hint_picks_the_nearest_occurrence():
    content = "x = 1\nb\nx = 1\nb\nx = 1\n"
    result = ts.apply_diff_hunks_with_hint(content, "-x = 1\n+x = 2", line_hint=3)
    assert result.content == "x = 1\nb\nx = 2\nb\nx = 1\n"
    assert result.hunk_results[0].start_line == 3


def test_line_hint_is_not_shifted_by_earlier_hunks():
    content = "x = 1\nb\nx = 1\nb\nx = 1\n"
    # The first hunk adds a line after line 4, moving the last "x = 1" to line
    # 6. The second hunk gets the same hint 4, which is nearest line 3; a hint
    # shifted along with the content (5) would have picked line 6.
    result = ts.apply_diff_hunks_with_hint(content, "-b\n+b\n+c\n\n-x = 1\n+x = 2", line_hint=4)
    assert [(h.success, h.start_line) for h in result.hunk_results] == [(True, 4), (True, 3)]
    assert result.content == "x = 1\nb\nx = 2\nb\nc\nx = 1\n"


def test_with_hint_none_is_no_hint():
    assert ts.apply_diff_hunks_with_hint("a\nb", "-b\n+c", None).content == "a\nc"
    assert ts.apply_diff_hunks_with_hint("a\nb", "-b\n+c").content == "a\nc"
    with pytest.raises(ts.RetryableError):
        ts.apply_diff_hunks_with_hint(TWICE, "-x = 1\n+x = 0", line_hint=None)


@pytest.mark.parametrize(
    "hint, expected",
    [
        (3, "x = 1\ny = 2\nx = 0\ny = 3\n"),
        # 0 is a hint like any other (nearest line 1), not a missing one.
        (0, "x = 0\ny = 2\nx = 1\ny = 3\n"),
    ],
)
def test_try_apply_with_hint_ignores_replace_all(hint, expected):
    result = ts.try_apply_diff_hunks(TWICE, "-x = 1\n+x = 0", replace_all=True, line_hint=hint)
    assert result.content == expected
    result = ts.try_apply_diff_hunks(TWICE, "-x = 1\n+x = 0", replace_all=True)
    assert result.content == "x = 0\ny = 2\nx = 0\ny = 3\n"


def test_no_hunks_found():
    with pytest.raises(ValueError) as excinfo:
        ts.apply_diff_hunks("a", "nothing")
    assert type(excinfo.value) is ValueError
    assert str(excinfo.value) == NO_HUNKS
    with pytest.raises(ValueError, match=f"^{NO_HUNKS}$"):
        ts.apply_diff_hunks_with_hint("a", "nothing", 1)
    assert ts.try_apply_diff_hunks("a", "nothing") is None
    assert ts.try_apply_diff_hunks("a", "", line_hint=1) is None
    assert ts.parse_locationless_diff("nothing") == []


@pytest.mark.parametrize(
    "call, count",
    [
        (lambda: ts.apply_diff_hunks("a\nb", "+x"), 1),
        (lambda: ts.apply_diff_hunks_with_hint("a\nb", "-q\n+r\n\n+x", 2), 2),
    ],
)
def test_none_applied_raises_retryable(call, count):
    with pytest.raises(ts.RetryableError) as excinfo:
        call()
    assert not isinstance(excinfo.value, ValueError)
    assert str(excinfo.value) == NONE_APPLIED.format(count)


def test_try_apply_reports_none_applied_as_data():
    result = ts.try_apply_diff_hunks("a\nb", "-q\n+r\n\n+x")
    assert not result
    assert (result.content, result.applied_count, result.total_count, result.hunk_results,
            result.all_applied) == ("a\nb", 0, 2, [], False)
    assert repr(result) == "ApplyDiffResult(applied=0/2, all_applied=false)"


def test_caller_content_is_untouched():
    content = "a\r\nb\r\n"
    ts.apply_diff_hunks(content, "-b\n+c")
    assert content == "a\r\nb\r\n"


# ---------------------------------------------------------------------------
# Representations

def debug_form(text):
    """The quoted debug form: named escapes, and \\u{..} for what is not
    printable or extends a grapheme (combining marks, for these inputs)."""
    named = {"\\": "\\\\", '"': '\\"', "\0": "\\0", "\t": "\\t", "\r": "\\r", "\n": "\\n"}
    out = []
    for c in text:
        if c in named:
            out.append(named[c])
        elif not c.isprintable() or unicodedata.category(c) in ("Mn", "Me"):
            out.append("\\u{%x}" % ord(c))
        else:
            out.append(c)
    return '"' + "".join(out) + '"'


def test_hunk_result_repr_escapes_the_error():
    tricky = "a\tb\"c\\d'e\x7ff\u0301g\x00h\u00e9i\u200bj\U0001f600"
    result = ts.apply_diff_hunks("keep", f"-{tricky}\n+z\n\n-keep\n+kept")
    failed = result.hunk_results[0]
    assert f"First search line '{tricky}' not found anywhere in file" in failed.error
    text = repr(failed)
    assert text == f"HunkResult(success=False, error=Some({debug_form(failed.error)}))"
    quoted = "a\\tb\\\"c\\\\d'e\\u{7f}f\\u{301}g\\0h\u00e9i\\u{200b}j\U0001f600"
    assert f"First search line '{quoted}' not found anywhere in file\\n\\nDebugging tips:\\n" in text
    # The tips mention the escape sequences themselves: their backslashes double.
    assert "(\\\\r\\\\n vs \\\\n)" in text


@pytest.mark.parametrize(
    "old, shown",
    [
        pytest.param("x" * 40, "x" * 30 + "...", id="long"),
        pytest.param("x" * 30, "x" * 30, id="exactly-30"),
        pytest.param("\u00e9" * 20, "\u00e9" * 20 + "...", id="multibyte-short"),
        pytest.param("\u00e9" * 31, "\u00e9" * 30 + "...", id="multibyte-long"),
        pytest.param("it's\nhere", "it's\nhere", id="raw-quote-and-newline"),
        pytest.param("", "", id="empty"),
    ],
)
def test_diff_hunk_repr(old, shown):
    diff = "\n".join("-" + line for line in old.split("\n")) + "\n+y"
    (hunk,) = ts.parse_locationless_diff(diff)
    assert hunk.old_text == old
    assert repr(hunk) == f"DiffHunk(old='{shown}', new='y')"


def test_diff_hunk_repr_of_both_sides():
    (hunk,) = ts.parse_locationless_diff("-" + "x" * 40 + "\n+" + "y" * 31)
    assert repr(hunk) == "DiffHunk(old='" + "x" * 30 + "...', new='" + "y" * 30 + "...')"


# ---------------------------------------------------------------------------
# Classes

CLASSES = [
    (ts.DiffHunk, "A single diff hunk representing one edit operation.",
     ["old_text", "new_text", "raw"]),
    (ts.HunkResult, "Result of applying a single hunk.",
     ["success", "strategy", "error", "start_line", "end_line"]),
    (ts.ApplyDiffResult, "Result of applying all diff hunks.",
     ["content", "applied_count", "total_count", "hunk_results", "all_applied"]),
]


@pytest.mark.parametrize("cls, doc, attributes", CLASSES, ids=[c[0].__name__ for c in CLASSES])
def test_class_shape(cls, doc, attributes):
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__
    assert cls.__doc__ == doc
    for name in attributes:
        assert isinstance(cls.__dict__[name], type(ts.DiffHunk.old_text))
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


def test_instances_are_read_only_and_fresh():
    (hunk,) = ts.parse_locationless_diff("-a\n+b")
    result = ts.try_apply_diff_hunks("a\nx", "-q\n+r\n\n-a\n+b")
    for obj, name in [(hunk, "old_text"), (result, "content"), (result.hunk_results[0], "error")]:
        with pytest.raises(AttributeError):
            setattr(obj, name, "z")
        assert not hasattr(obj, "__dict__")
    assert bool(hunk)
    assert hunk != ts.parse_locationless_diff("-a\n+b")[0]
    assert hash(hunk) == hash(hunk)

    first, second = result.hunk_results, result.hunk_results
    assert first is not second
    assert all(a is not b for a, b in zip(first, second))
    assert [(h.success, h.error, h.strategy) for h in first] == [
        (h.success, h.error, h.strategy) for h in second]
    first.clear()
    assert len(result.hunk_results) == 2


# ---------------------------------------------------------------------------
# Arguments and docstrings

@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda: ts.apply_diff_hunks(), TypeError,
         "apply_diff_hunks() missing 2 required positional arguments: 'content' and 'diff_text'"),
        (lambda: ts.try_apply_diff_hunks("a", "b", False, None, 1), TypeError,
         "try_apply_diff_hunks() takes from 2 to 4 positional arguments but 5 were given"),
        (lambda: ts.parse_locationless_diff(diff="x"), TypeError,
         "parse_locationless_diff() got an unexpected keyword argument 'diff'"),
        (lambda: ts.parse_locationless_diff(None), TypeError,
         "argument 'diff_text': 'NoneType' object cannot be cast as 'str'"),
        (lambda: ts.apply_diff_hunks("a", "-a\n+b", replace_all=None), TypeError,
         "argument 'replace_all': 'NoneType' object cannot be cast as 'bool'"),
        (lambda: ts.try_apply_diff_hunks("a", "-a\n+b", 1), TypeError,
         "argument 'replace_all': 'int' object cannot be cast as 'bool'"),
        (lambda: ts.apply_diff_hunks_with_hint("a", "-a\n+b", -1), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda: ts.try_apply_diff_hunks("a", "-a\n+b", line_hint=2**32), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda: ts.apply_diff_hunks("\ud800", "-a\n+b"), UnicodeEncodeError, None),
    ],
)
def test_argument_errors(call, exc, message):
    with pytest.raises(exc) as excinfo:
        call()
    assert type(excinfo.value) is exc
    if message is not None:
        assert str(excinfo.value) == message


def test_keyword_arguments():
    result = ts.try_apply_diff_hunks(diff_text="-a\n+b", content="a", line_hint=0, replace_all=False)
    assert result.content == "b"
    assert ts.parse_locationless_diff(diff_text="-a\n+b")[0].new_text == "b"


DOCS = {
    "apply_diff_hunks": (
        "(content, diff_text, replace_all=False)",
        "Apply locationless diff edits to content.\n\nParses diff format and applies each hunk "
        "using content matching\nvia multi-strategy fuzzy replacement.\n\nArgs:\n    content: The "
        "original file content\n    diff_text: The diff text containing hunks to apply\n    "
        "replace_all: Whether to replace all occurrences of each pattern (default: False)\n\n"
        "Returns:\n    ApplyDiffResult with the modified content and application details\n\n"
        "Raises:\n    ValueError: If no diff hunks found or none could be applied",
    ),
    "try_apply_diff_hunks": (
        "(content, diff_text, replace_all=False, line_hint=None)",
        "Try to apply diff hunks, returning a result object instead of raising.\n\nThis is useful "
        "when you want to handle partial application or errors\nprogrammatically rather than "
        "catching exceptions.\n\nArgs:\n    content: The original file content\n    diff_text: "
        "The diff text containing hunks to apply\n    replace_all: Whether to replace all "
        "occurrences (default: False)\n    line_hint: Optional line number hint for "
        "disambiguation\n\nReturns:\n    ApplyDiffResult with success info, or None if no hunks "
        "found.",
    ),
    "apply_diff_hunks_with_hint": (
        "(content, diff_text, line_hint=None)",
        "Apply locationless diff edits with line hint for disambiguation.\n\nSimilar to "
        "apply_diff_hunks but accepts an optional line hint\nto help disambiguate when multiple "
        "matches exist.\n\nArgs:\n    content: The original file content\n    diff_text: The "
        "diff text containing hunks to apply\n    line_hint: Optional line number hint for "
        "disambiguation\n\nReturns:\n    ApplyDiffResult with the modified content and "
        "application details\n\nRaises:\n    ValueError: If no diff hunks found or none could be "
        "applied",
    ),
    "parse_locationless_diff": (
        "(diff_text)",
        "Parse a locationless unified diff into DiffHunk objects.\n\nHandles diff format without "
        "line numbers - the location is inferred\nby matching context in the file.\n\nFormat "
        "expected:\n```\n context line (unchanged)\n-removed line\n+added line\n more context\n"
        "```\n\nMultiple hunks are separated by:\n- Blank lines (empty line not starting with "
        "space)\n- Non-diff content lines\n\nAlso handles:\n- Content wrapped in <diff>...</diff> "
        "tags\n- Content wrapped in ```diff...``` code blocks\n- Standard diff headers (---, +++, "
        "@@, etc.) which are skipped\n\nArgs:\n    diff_text: The diff text (may contain "
        "multiple hunks)\n\nReturns:\n    List of DiffHunk objects with old_text/new_text pairs",
    ),
}


@pytest.mark.parametrize("name", DOCS)
def test_docstrings(name):
    func = getattr(ts, name)
    signature, doc = DOCS[name]
    assert func.__text_signature__ == signature
    assert func.__doc__ == doc
    assert func.__module__ == ts.__name__
