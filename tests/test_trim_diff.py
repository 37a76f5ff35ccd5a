"""Removal of the indentation shared by the content lines of a diff."""

import pytest
from hypothesis import given, settings, strategies as st

from tavrell_search import _tavrell_search as ts

WHITE_SPACE = set("\t\n\v\f\r \x85\xa0\u1680\u2028\u2029\u202f\u205f\u3000") | {
    chr(c) for c in range(0x2000, 0x200B)
}


def reference_trim(text):
    """Byte-counted trimming over UTF-8; a line whose cut would fall inside a
    character is left whole."""
    pieces = text.split("\n")
    last = pieces.pop()
    lines = [p[:-1] if p.endswith("\r") else p for p in pieces] + ([last] if last else [])

    def is_content(line):
        return line[:1] in (" ", "-", "+") and not line.startswith(("---", "+++"))

    def indent(body):
        n = len(body) - len(body.lstrip("".join(WHITE_SPACE)))
        return len(body[:n].encode()), n == len(body)

    widths = [indent(l[1:]) for l in lines if is_content(l)]
    common = min((w for w, blank in widths if not blank), default=0)
    if common == 0:
        return text
    out = []
    for line in lines:
        body = line[1:].encode()
        if not is_content(line) or len(body) < common:
            out.append(line)
            continue
        try:
            out.append(line[0] + body[common:].decode())
        except UnicodeDecodeError:
            out.append(line)
    return "\n".join(out)


HEADERS = "--- a/x.py\n+++ b/x.py\n@@ -1,2 +1,2 @@\n"


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("", "", id="empty"),
        pytest.param(HEADERS + "-        a = 1\n+        a = 2\n         b = 3\n",
                     HEADERS + "-a = 1\n+a = 2\n b = 3", id="unified-diff"),
        pytest.param("-a\n+b\n", "-a\n+b\n", id="no-common-indent-kept-whole"),
        pytest.param("-    a\n+        b", "-a\n+    b", id="minimum-wins"),
        pytest.param("-  a\r\n+  b\r\n", "-a\n+b", id="crlf-rejoined-with-lf"),
        pytest.param("+\tx\n+    y", "+x\n+   y", id="tab-is-one-byte"),
        pytest.param(" \n-    a", " \n-a", id="short-blank-body-kept"),
        pytest.param("+      \n-    a", "+  \n-a", id="long-blank-body-shortened"),
        pytest.param("-    a\n\n+    b", "-a\n\n+b", id="empty-line-kept"),
        pytest.param("@@ x @@\nplain text", "@@ x @@\nplain text", id="no-content-lines"),
        pytest.param("---    x\n+++    y", "---    x\n+++    y", id="file-headers-only"),
        pytest.param("-  \n+ \t", "-  \n+ \t", id="only-blank-bodies"),
        pytest.param("  prose\n  more\n", " prose\n more", id="prose-counts-as-context"),
        pytest.param("-  a\n+  b\r", "-a\n+b\r", id="last-cr-without-lf-stays"),
        pytest.param("-\u3000x\n+\u3000\u3000y", "-x\n+\u3000y", id="ideographic-space-three-bytes"),
        pytest.param("-\u00a0a\n+  b", "-a\n+b", id="no-break-space-two-bytes"),
        pytest.param("-\u00a0a\n+ b", "-\u00a0a\n+b", id="cut-inside-char-kept-whole"),
        pytest.param("+ \u00a0\n-  a", "+ \u00a0\n-a", id="blank-body-cut-inside-char-kept"),
    ],
)
def test_trim_diff(text, expected):
    assert ts.trim_diff(text) == expected
    assert reference_trim(text) == expected


PIECES = ["-", "+", " ", "  ", "\t", "\u00a0", "\u3000", "\u2003", "\n", "\r\n", "\r", "---",
          "+++", "@@", "a", "\u00e9", "\U0001f600"]


@settings(max_examples=300, deadline=None)
@given(st.one_of(st.lists(st.sampled_from(PIECES), max_size=30).map("".join), st.text()))
def test_trim_diff_matches_reference(text):
    assert ts.trim_diff(text) == reference_trim(text)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ts.trim_diff(), "trim_diff() missing 1 required positional argument: 'diff_text'"),
        (lambda: ts.trim_diff("a", "b"), "trim_diff() takes 1 positional arguments but 2 were given"),
        (lambda: ts.trim_diff(b"-  a"), "argument 'diff_text': 'bytes' object cannot be cast as 'str'"),
        (lambda: ts.trim_diff(text="a"), "trim_diff() got an unexpected keyword argument 'text'"),
    ],
)
def test_trim_diff_argument_errors(call, message):
    with pytest.raises(TypeError) as excinfo:
        call()
    assert str(excinfo.value) == message


def test_trim_diff_by_keyword_and_docstring():
    assert ts.trim_diff(diff_text="-  a") == "-a"
    assert ts.trim_diff.__text_signature__ == "(diff_text)"
    assert ts.trim_diff.__doc__ == (
        "Trim common indentation from diff output.\n\nThis removes the minimum common indentation "
        "from all content lines\nin a unified diff, making it more readable when the diff is from\n"
        "deeply indented code.\n\nArgs:\n    diff_text: A unified diff string\n\nReturns:\n"
        "    The diff with common indentation removed from content lines"
    )
