"""Failure reports of the replacement engine: the not-found message with its
closest fuzzy match, and the multiple-matches message with its locations."""

import random
import subprocess

import pytest
from hypothesis import given, settings, strategies as st

from tavrell_search import _tavrell_search as ts
from reference import WHITE_SPACE, levenshtein, lines_rule, nbytes

HEAD = "Search text not found in file."
TIPS = (
    "\n\nDebugging tips:\n1. Check for exact whitespace/indentation match\n"
    "2. Verify line endings match the file (\\r\\n vs \\n)\n"
    "3. Ensure the search text hasn't been modified\n"
    "4. Try reading the file section first to get exact text"
)
MULTI_TAIL = (
    "\n\nTo fix, include more surrounding context in old_string to uniquely identify the target "
    "location, or use replace_all=True to replace all occurrences, or provide a line_hint to "
    "select the closest match."
)
COMPARISON_HEAD = "--- SEARCH\n+++ CLOSEST MATCH\n"
CUT_MARK = "\n...(diff truncated)"
NEW = "\x00replacement"


def attempt(content, old):
    result = ts.try_replace_content(content, old, NEW)
    assert not result
    return result


def not_found(content, old):
    result = attempt(content, old)
    assert result.error_type == "not_found"
    assert result.locations is None
    return result


def multiple(content, old):
    result = attempt(content, old)
    assert result.error_type == "multiple_matches"
    assert result.closest_match is None
    return result


def match_fields(info):
    if info is None:
        return None
    return (info.similarity, info.start_line, info.end_line, info.text, info.diff)


# ---------------------------------------------------------------------------
# A plain reference of the not-found report: every window examined in
# ascending order with the textbook two-row distance.


def reference_comparison(old, window):
    a, b = lines_rule(old), lines_rule(window)
    out = COMPARISON_HEAD
    for k in range(max(len(a), len(b))):
        x = a[k] if k < len(a) else ""
        y = b[k] if k < len(b) else ""
        if x == y:
            out += " " + x + "\n"
            continue
        if k < len(a):
            out += "-" + x + "\n"
        if k < len(b):
            out += "+" + y + "\n"
    raw = out.encode()
    if len(raw) > 2000:
        cut = 2000
        while raw[cut] & 0xC0 == 0x80:
            cut -= 1
        out = raw[:cut].decode() + CUT_MARK
    return out


def reference_closest(content_lines, old):
    old_lines = lines_rule(old)
    n = len(old_lines)
    if n == 0 or len(content_lines) < n:
        return None
    anchors = [l for l in old_lines if l.strip(WHITE_SPACE)]
    if not anchors:
        return None
    windows = len(content_lines) - n + 1
    starts = set()
    for j, line in enumerate(content_lines):
        if anchors[0] in line:
            starts.update(s for s in range(j - 5, j + 6) if 0 <= s < windows)
    if not starts:
        starts = set(range(min(windows, 100)))
    best, found = 0.0, None
    for s in sorted(starts):
        window = "\n".join(content_lines[s : s + n])
        if not window:
            continue
        sim = 1 - levenshtein(old, window) / max(nbytes(old), nbytes(window))
        if sim >= 0.8 and sim > best:
            best = sim
            found = (sim, s + 1, s + n, window, reference_comparison(old, window))
    return found


def reference_not_found(content, old):
    content, old = content.replace("\r\n", "\n"), old.replace("\r\n", "\n")
    lines = lines_rule(content)
    message = HEAD
    first = lines_rule(old)[0].strip(WHITE_SPACE) if old else ""
    if first:
        hits = [str(i + 1) for i, line in enumerate(lines) if first in line][:3]
        if hits:
            message += f"\nFirst search line '{first}' appears at line(s): {', '.join(hits)}"
        else:
            message += f"\nFirst search line '{first}' not found anywhere in file"
    closest = reference_closest(lines, old)
    if closest:
        sim, start, end, _, diff = closest
        message += f"\nClosest fuzzy match ({sim * 100:.1f}% similar) at lines {start}-{end}:\n{diff}"
    return message + TIPS, closest


# ---------------------------------------------------------------------------
# The not-found report


FOO_ON_4_9_12_30 = "\n".join(
    {4: "a = foo()", 9: "foo()", 12: "b(foo())", 30: "foo()"}.get(i, f"x{i}") for i in range(1, 41)
)


def closest_part(percent, start, end, diff):
    return f"\nClosest fuzzy match ({percent}% similar) at lines {start}-{end}:\n{diff}"


@pytest.mark.parametrize(
    "content, old, message, closest",
    [
        pytest.param(
            "abcdX",
            "abcde",
            HEAD
            + "\nFirst search line 'abcde' not found anywhere in file"
            + closest_part("80.0", 1, 1, COMPARISON_HEAD + "-abcde\n+abcdX\n")
            + TIPS,
            (0.8, 1, 1, "abcdX", COMPARISON_HEAD + "-abcde\n+abcdX\n"),
            id="threshold-reached",
        ),
        pytest.param(
            "abXYe",
            "abcde",
            HEAD + "\nFirst search line 'abcde' not found anywhere in file" + TIPS,
            None,
            id="below-threshold",
        ),
        pytest.param(
            "abcdefgX\n",
            "abcdefgh",
            HEAD
            + "\nFirst search line 'abcdefgh' not found anywhere in file"
            + closest_part("87.5", 1, 1, COMPARISON_HEAD + "-abcdefgh\n+abcdefgX\n")
            + TIPS,
            (0.875, 1, 1, "abcdefgX", COMPARISON_HEAD + "-abcdefgh\n+abcdefgX\n"),
            id="one-decimal",
        ),
        pytest.param(
            "a\nB\nc",
            "a\nb\nc",
            HEAD
            + "\nFirst search line 'a' appears at line(s): 1"
            + closest_part("80.0", 1, 3, COMPARISON_HEAD + " a\n-b\n+B\n c\n")
            + TIPS,
            (0.8, 1, 3, "a\nB\nc", COMPARISON_HEAD + " a\n-b\n+B\n c\n"),
            id="comparison-lines",
        ),
        pytest.param(
            FOO_ON_4_9_12_30,
            "    foo()\n    unmatched_zz()",
            HEAD + "\nFirst search line 'foo()' appears at line(s): 4, 9, 12" + TIPS,
            None,
            id="first-line-three-hits",
        ),
        pytest.param(
            "abcdX\nzzzzz\nabcdY",
            "abcde",
            HEAD
            + "\nFirst search line 'abcde' not found anywhere in file"
            + closest_part("80.0", 1, 1, COMPARISON_HEAD + "-abcde\n+abcdX\n")
            + TIPS,
            (0.8, 1, 1, "abcdX", COMPARISON_HEAD + "-abcde\n+abcdX\n"),
            id="tie-keeps-earlier",
        ),
        pytest.param(
            "abcdX\nabcdXe",
            "abcde",
            HEAD
            + "\nFirst search line 'abcde' not found anywhere in file"
            + closest_part("83.3", 2, 2, COMPARISON_HEAD + "-abcde\n+abcdXe\n")
            + TIPS,
            (1 - 1 / 6, 2, 2, "abcdXe", COMPARISON_HEAD + "-abcde\n+abcdXe\n"),
            id="higher-later-wins",
        ),
        pytest.param(
            # "\r\r\n" keeps a "\r\n" after normalisation; the lines rule drops
            # its "\r", so the window is the joined lines, not the raw bytes.
            "abcd\r\r\nefgh\r\r\n",
            "abcd\nefgX",
            HEAD
            + "\nFirst search line 'abcd' appears at line(s): 1"
            + closest_part("88.9", 1, 2, COMPARISON_HEAD + " abcd\n-efgX\n+efgh\n")
            + TIPS,
            (1 - 1 / 9, 1, 2, "abcd\nefgh", COMPARISON_HEAD + " abcd\n-efgX\n+efgh\n"),
            id="surviving-crlf",
        ),
        pytest.param(
            "abcdX",
            "  \nabcde",
            HEAD + TIPS,
            None,
            id="blank-first-line-says-nothing",
        ),
        pytest.param(
            "\u00e9\u00e9\u00e9\u00e9\u00e9",
            "\u00e9\u00e9\u00e9\u00e9e",
            HEAD
            + "\nFirst search line '\u00e9\u00e9\u00e9\u00e9e' not found anywhere in file"
            + closest_part("90.0", 1, 1, COMPARISON_HEAD + "-\u00e9\u00e9\u00e9\u00e9e\n+\u00e9\u00e9\u00e9\u00e9\u00e9\n")
            + TIPS,
            (0.9, 1, 1, "\u00e9" * 5, COMPARISON_HEAD + "-\u00e9\u00e9\u00e9\u00e9e\n+\u00e9\u00e9\u00e9\u00e9\u00e9\n"),
            id="code-points-over-bytes",
        ),
        pytest.param(
            # old is compared whole, its final "\n" included: 2 edits in 11.
            "abcdefghiX",
            "abcdefghij\n",
            HEAD
            + "\nFirst search line 'abcdefghij' not found anywhere in file"
            + closest_part("81.8", 1, 1, COMPARISON_HEAD + "-abcdefghij\n+abcdefghiX\n")
            + TIPS,
            (1 - 2 / 11, 1, 1, "abcdefghiX", COMPARISON_HEAD + "-abcdefghij\n+abcdefghiX\n"),
            id="final-line-feed-counts",
        ),
    ],
)
def test_not_found_message(content, old, message, closest):
    result = not_found(content, old)
    assert result.error == message
    assert match_fields(result.closest_match) == closest
    assert reference_not_found(content, old) == (message, closest)
    with pytest.raises(ts.RetryableError) as raised:
        ts.replace_content(content, old, NEW)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "near_line, found",
    [(50, True), (99, True), (100, False), (150, False)],
)
def test_without_anchor_only_the_first_hundred_windows_count(near_line, found):
    lines = [f"line number {i}" for i in range(200)]
    lines[near_line] = "abcdefgX"
    match = not_found("\n".join(lines), "abcdefgh").closest_match
    assert match_fields(match) == (
        (0.875, near_line + 1, near_line + 1, "abcdefgX", COMPARISON_HEAD + "-abcdefgh\n+abcdefgX\n")
        if found
        else None
    )


@pytest.mark.parametrize("start, found", [(4, False), (5, True), (15, True), (16, False)])
def test_windows_near_anchor_lines_only(start, found):
    # The anchor stands on line index 10; the near copy lacks it, so it is only
    # seen from a window start within five lines of index 10.
    lines = [f"filler line {i}" for i in range(40)]
    lines[10] = "# ANCHOR here"
    lines[start : start + 3] = ["ANCHOx", "mid", "end"]
    match = not_found("\n".join(lines), "ANCHOR\nmid\nend").closest_match
    if found:
        assert (match.start_line, match.end_line, match.text) == (start + 1, start + 3, "ANCHOx\nmid\nend")
    else:
        assert match is None


def test_anchor_lines_too_late_for_any_window_fall_back_to_the_first_windows():
    # The anchor stands only on the last of 30 lines; with 10-line windows no
    # start lies within five lines of it, so the first windows are examined
    # just as when no line holds the anchor.
    lines = [f"filler line {i}" for i in range(30)]
    lines[29] = "# ANCHOR here"
    body = [f"body {k}" for k in range(9)]
    lines[3:13] = ["ANCHOx"] + body
    content, old = "\n".join(lines), "\n".join(["ANCHOR"] + body)
    result = not_found(content, old)
    assert (result.closest_match.start_line, result.closest_match.end_line) == (4, 13)
    assert (result.error, match_fields(result.closest_match)) == reference_not_found(content, old)


@pytest.mark.parametrize(
    "window, cut",
    [
        pytest.param("a" * 983, None, id="2000-bytes-kept"),
        pytest.param("a" * 983 + "b", 2000, id="2001-bytes-cut"),
        pytest.param("a" * 983 + "\u00e9", 1999, id="cut-before-split-character"),
        pytest.param("a" * 982 + "\U0001f600", 1998, id="cut-before-four-byte-character"),
    ],
)
def test_comparison_text_is_cut_at_2000_bytes(window, cut):
    old = "a" * 984
    full = COMPARISON_HEAD + "-" + old + "\n+" + window + "\n"
    diff = not_found(window, old).closest_match.diff
    if cut is None:
        assert nbytes(full) == 2000
        assert diff == full
    else:
        assert diff == full.encode()[:cut].decode() + CUT_MARK
    assert diff == reference_comparison(old, window)


lines_pool = st.sampled_from(
    ["def f(x):", "    return x", "    y = 1", "", "  ", "\u00e9 = 2", "\tpass", "a\rb", "return", "x"]
)


@st.composite
def near_misses(draw):
    content_lines = draw(st.lists(lines_pool, max_size=24))
    separator = draw(st.sampled_from(["\n", "\r\n", "\r\r\n"]))
    content = separator.join(content_lines) + draw(st.sampled_from(["", separator]))
    if content_lines and draw(st.booleans()):
        start = draw(st.integers(0, len(content_lines) - 1))
        size = draw(st.integers(1, 5))
        old_lines = content_lines[start : start + size]
    else:
        old_lines = draw(st.lists(lines_pool, min_size=1, max_size=5))
    old = "\n".join(old_lines) + draw(st.sampled_from(["", "\n"]))
    if old and draw(st.booleans()):
        at = draw(st.integers(0, len(old) - 1))
        old = old[:at] + draw(st.sampled_from(["Q", "", " ", "\u00e9", "\n"])) + old[at + 1 :]
    return content, old


@settings(max_examples=400, deadline=None)
@given(near_misses())
def test_closest_match_equals_exhaustive_scan(case):
    content, old = case
    result = ts.try_replace_content(content, old, NEW)
    if result.error_type != "not_found" or not old:
        return
    message, closest = reference_not_found(content, old)
    assert result.error == message
    assert match_fields(result.closest_match) == closest


def code_like(rng, count):
    names = ["value", "item", "total", "node", "size", "\u00e9t\u00e9", "\u4e2d"]
    out = []
    for i in range(count):
        a, b = rng.choice(names), rng.choice(names)
        out.append(
            rng.choice(
                [f"    {a} = {b} + {i % 7}", "    if flag:", f"        return {b}", f"    {a}.add({b})", "", f"# {a} {b}"]
            )
        )
    return out


@pytest.mark.parametrize("seed", [1, 2])
@pytest.mark.parametrize("kind", ["stale", "fresh"])
def test_closest_match_among_many_similar_windows(seed, kind):
    # Code compared with code of the same style: many windows look alike, so
    # the search has to rule most of them out without measuring them. An old
    # of 20 lines spans several 64-code-point pieces; its last line stands
    # nowhere in the file, so no strategy frames a block with it.
    rng = random.Random(seed)
    lines = code_like(rng, 70)
    lines[5::9] = ["    if flag:"] * len(lines[5::9])
    if kind == "stale":
        old_lines = [l + " # x" if k % 3 == 1 else l for k, l in enumerate(lines[23:42])]
    else:
        old_lines = ["    if flag:"] + code_like(rng, 18)
    old = "\n".join(old_lines + ["    marker_zz()"])
    content = "\n".join(lines) + "\n"
    result = not_found(content, old)
    message, closest = reference_not_found(content, old)
    assert result.error == message
    assert match_fields(result.closest_match) == closest


# ---------------------------------------------------------------------------
# The multiple-matches report


def multi_message(locations, quoted, previews):
    return (
        f"Pattern found at multiple locations (lines: {locations}).\n"
        f'Search text starts with: "{quoted}"\n\nMatch previews:{previews}' + MULTI_TAIL
    )


EIGHT = "\n".join("hit" if i % 2 == 0 else f"other {i}" for i in range(15))


@pytest.mark.parametrize(
    "content, old, locations, message",
    [
        pytest.param(
            "abab",
            "ab",
            [1, 1],
            multi_message("1, 1", "ab", "\n  Line 1: abab\n  Line 1: abab"),
            id="two-on-one-line",
        ),
        pytest.param(
            "a\na\n",
            "a",
            [1, 2],
            multi_message("1, 2", "a", "\n  Line 1: a\n  Line 2: a"),
            id="two-lines",
        ),
        pytest.param(
            EIGHT,
            "hit",
            [1, 3, 5, 7, 9, 11, 13, 15],
            multi_message(
                "1, 3, 5, 7, 9, ... (8 total)",
                "hit",
                "".join(f"\n  Line {n}: hit" for n in (1, 3, 5, 7, 9)) + "\n  ... and 3 more",
            ),
            id="more-than-five",
        ),
        pytest.param(
            "\nfoo\n\nfoo\n",
            "\nfoo",
            [1, 3],
            multi_message("1, 3", "", "\n  Line 1: \n  Line 3: "),
            id="empty-first-line-quotes-nothing",
        ),
    ],
)
def test_multiple_matches_message(content, old, locations, message):
    result = multiple(content, old)
    assert result.locations == locations
    assert result.error == message
    with pytest.raises(ts.RetryableError) as raised:
        ts.replace_content(content, old, NEW)
    assert str(raised.value) == message


@pytest.mark.parametrize(
    "line, shown",
    [
        pytest.param("x" * 60, "x" * 60, id="60-bytes-whole"),
        pytest.param("x" * 61, "x" * 60 + "...", id="61-bytes-cut"),
        pytest.param("\u00e9" * 31, "\u00e9" * 31 + "...", id="short-but-wide-marked"),
        pytest.param("\u00e9" * 61, "\u00e9" * 60 + "...", id="60-code-points"),
        pytest.param("\U0001f600" * 15, "\U0001f600" * 15, id="60-bytes-of-four-byte-chars"),
    ],
)
def test_previews_cut_at_60_code_points_and_mark_by_bytes(line, shown):
    result = multiple(f"{line}\n{line}\n", line)
    assert result.error == multi_message("1, 2", shown, f"\n  Line 1: {shown}\n  Line 2: {shown}")


def test_locations_are_fresh_lists():
    result = multiple("abab", "ab")
    result.locations.append(99)
    assert result.locations == [1, 1]


def test_periodic_pattern_counts_every_overlapping_occurrence():
    content = "a" * 5000
    result = multiple(content, "a" * 100)
    assert result.locations == [1] * 4901
    assert result.error.startswith("Pattern found at multiple locations (lines: 1, 1, 1, 1, 1, ... (4901 total))")


# ---------------------------------------------------------------------------
# Below the surface: occurrences (the empty pattern, malformed UTF-8), the
# closest match on files too large for the Python reference, and arbitrary
# bytes through every report.


def test_reports_engine_properties(engine_program, engine_env):
    exe = engine_program("reports_property", "text", "content_replacer")
    out = subprocess.run([exe, "300"], env=engine_env, capture_output=True, timeout=600)
    assert out.returncode == 0, out.stdout.decode(errors="replace") + out.stderr.decode(errors="replace")
    assert out.stdout == b"ok\n"
