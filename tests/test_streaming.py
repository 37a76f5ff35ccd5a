"""The streaming matcher: incremental alignment, match selection and its classes."""

import os
import struct
import subprocess
import sys

import pytest
from hypothesis import given, settings, strategies as st

from tavrell_search._tavrell_search import MatchRange, StreamingFuzzyMatcher
from reference import WHITE_SPACE, levenshtein, lines_rule

FOO = "function foo() {\n    return 42;\n}"
TWICE = "a = 1\nb = 2\nx\ny\nz\na = 1\nb = 2\n"


def spans(ranges):
    return [(r.start, r.end) for r in ranges]


def feed(source, *chunks, line_hint=None):
    matcher = StreamingFuzzyMatcher(source)
    result = None
    for chunk in chunks:
        result = matcher.push(chunk, line_hint)
    return matcher, result


# ---------------------------------------------------------------------------
# A plain transcription of the alignment, recomputed from scratch, against
# which the incremental engine is checked.


def pair_cost(query_line, source_line):
    a, b = query_line.strip(WHITE_SPACE), source_line.strip(WHITE_SPACE)
    if a == b:
        return 0
    if not a or not b:
        return 13
    la, lb = len(a.encode()), len(b.encode())
    longer = max(la, lb)
    if 1 - abs(la - lb) / longer < 0.8:
        return 13
    return 13 if 1 - levenshtein(a, b) / longer < 0.8 else 1


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def reference_regions(source_lines, query_lines):
    S, Q = len(source_lines), len(query_lines)
    if S == 0 or Q == 0:
        return []
    cost = [[0] * (S + 1)] + [[0] * (S + 1) for _ in range(Q)]
    step = [[2] * (S + 1) for _ in range(Q + 1)]
    for r in range(1, Q + 1):
        cost[r][0], step[r][0] = 10 * r, 0
        for c in range(1, S + 1):
            pair = cost[r - 1][c - 1] + pair_cost(query_lines[r - 1], source_lines[c - 1])
            skip_source, skip_query = cost[r][c - 1] + 3, cost[r - 1][c] + 10
            best = (skip_source, 1) if skip_source < skip_query else (skip_query, 0)
            cost[r][c], step[r][c] = (pair, 2) if pair < best[0] else best
    offsets = [0]
    for line in source_lines:
        offsets.append(offsets[-1] + len(line.encode()) + 1)
    low = min(cost[Q][1:])
    regions = []
    for e in range(1, S + 1):
        if cost[Q][e] != low:
            continue
        r, c, paired = Q, e, 0
        while r > 0 and c > 0:
            s = step[r][c]
            r -= s != 1
            c -= s != 0
            paired += s == 2
        if f32(f32(paired) / f32(max(e - c, Q))) >= f32(0.8):
            regions.append((offsets[c], offsets[e] - 1))
    return regions


# ---------------------------------------------------------------------------
# Construction and the lines rule


@pytest.mark.parametrize(
    "source, lines",
    [
        (FOO, ["function foo() {", "    return 42;", "}"]),
        ("x = 1\r\ny = 2\r\nz = 3\r\n", ["x = 1", "y = 2", "z = 3"]),
        ("a\r", ["a\r"]),
        ("a\rb", ["a\rb"]),
        ("a\n\n", ["a", ""]),
        ("\n", [""]),
        ("", []),
        ("héllo\r\n wörld ✓\n", ["héllo", " wörld ✓"]),
    ],
)
def test_source_lines_follow_the_lines_rule(source, lines):
    assert StreamingFuzzyMatcher(source).source_lines == lines
    assert StreamingFuzzyMatcher(source_text=source).source_lines == lines


def test_lines_of_the_example_are_found_while_streaming():
    matcher = StreamingFuzzyMatcher(FOO)
    first = matcher.push("function foo() {\n", None)
    assert repr(first) == "MatchRange(start=0, end=16)"
    assert matcher.get_text(first) == "function foo() {"
    assert matcher.query_lines == ["function foo() {"]
    assert spans([matcher.push("    return 42;\n")]) == [(0, 31)]
    assert spans([matcher.push("}")]) == [(0, 31)]
    assert matcher.query_lines == ["function foo() {", "    return 42;"]
    assert spans(matcher.finish()) == [(0, 33)]
    assert matcher.get_text(matcher.finish()[0]) == FOO


def test_crlf_source_offsets_count_the_joined_text():
    matcher, result = feed("x = 1\r\ny = 2\r\nz = 3\r\n", "y = 2\n")
    assert (result.start, result.end) == (6, 11)
    assert matcher.get_text(result) == "y = 2"
    assert matcher.get_text(feed("x = 1\r\ny = 2\r\nz = 3\r\n", "x = 1\ny = 2\n")[1]) == (
        "x = 1\ny = 2"
    )


# ---------------------------------------------------------------------------
# Regions found for whole queries


@pytest.mark.parametrize(
    "source, query, regions",
    [
        # Indentation is ignored: both pairings cost nothing.
        ("    if x:\n        y()\n", "if x:\n  y()\n", [(0, 21)]),
        # A similar line pairs (cost 1); a dissimilar one never does.
        ("def hello_world():\n    pass\n", "def hello_wrld():\n", [(0, 18)]),
        ("l1 = 1\nl2 = 2\nl3 = 3\n", "l1 = 1\nQQQQQQQQQQ\nl3 = 3\n", []),
        (
            "l1 = 1\nl2 = 2\nl3 = 3\nl4 = 4\nl5 = 5\n",
            "l1 = 1\nl2 = 2\nQQQQQQQQQQ\nl4 = 4\nl5 = 5\n",
            [(0, 34)],
        ),
        # A skipped source line lowers the coverage to 2/3.
        ("alpha\nbeta\ngamma\n", "alpha\ngamma\n", []),
        # A skipped query line in five: coverage 4/5.
        (
            "alpha\nbeta\ngamma\ndelta\nepsilon\n",
            "alpha\nbeta\nNEW LINE HERE\ngamma\ndelta\n",
            [(0, 22)],
        ),
        # Pairing the first query line with a similar line three source lines
        # back costs 1 + 3 * 3 = 10, as much as skipping it: the tie goes to the
        # skipped query line, so the region is the four equal lines (4/5).
        (
            "hello_world()\naaa = 1\nbbb = 2\nccc = 3\nq2 = 2\nq3 = 3\nq4 = 4\nq5 = 5\n",
            "hello_wrld()\nq2 = 2\nq3 = 3\nq4 = 4\nq5 = 5\n",
            [(38, 65)],
        ),
        # The trace reaches the first source column with a query line left
        # over: that line counts as unpaired (4/5), then 1/2 is too little.
        ("a\nb\nc\nd\n", "z\na\nb\nc\nd\n", [(0, 7)]),
        ("a\n", "z\na\n", []),
        # A block that occurs twice gives two regions, the earlier first.
        (TWICE, "a = 1\nb = 2\n", [(0, 11), (18, 29)]),
        # An empty query line matches an empty source line.
        ("a\n\nb\n", "\n", [(2, 2)]),
        ("", "anything\n\n", []),
        ("a\n", "", []),
        # "\r" without "\n" stays inside the line, and trimming removes it.
        ("a\rb\nc\r", "a\rb\nc\n", [(0, 6)]),
        ("x\ny\n", "\u3000x\t\ny\u00a0\n", [(0, 3)]),
        # Multi-byte text: offsets count bytes; "ü" differs in two bytes, one code point.
        ("über = 1\nnaïve = 2\n", "uber = 1\nnaïve = 2\n", [(0, 20)]),
        # Lengths compared in bytes: 5 of 6 bytes pass the length test, 4 of 6 fail it.
        ("abcdef\n", "abcde\n", [(0, 6)]),
        ("abcdef\n", "abcd\n", []),
    ],
)
def test_regions_of_a_whole_query(source, query, regions):
    matcher, _ = feed(source, query)
    assert spans(matcher.finish()) == regions
    assert regions == reference_regions(lines_rule(source), lines_rule(query))


@pytest.mark.parametrize("char", ["e", "é"])
@pytest.mark.parametrize("query_length", [1, 4, 5, 8, 10, 16, 20, 23, 40])
def test_length_test_boundaries(char, query_length):
    # Lines of one repeated character differ by their length alone: similar
    # exactly when the shorter has at least 80% of the longer's bytes.
    query = char * query_length
    for source_length in range(1, 60):
        source = char * source_length
        found = bool(feed(f"zz\n{source}\nzz", query + "\n")[0].finish())
        assert found == (pair_cost(query, source) < 13)
        assert found == (query_length * 5 >= source_length * 4 and source_length * 5 >= query_length * 4)


def test_a_block_repeated_through_the_source_gives_a_region_per_occurrence():
    source = "\n".join(["x"] * 50)
    matcher, _ = feed(source, "x\nx\nx\n")
    assert spans(matcher.finish()) == [(2 * (e - 3), 2 * e - 1) for e in range(3, 51)]


def test_a_final_partial_line_can_remove_the_region():
    matcher = StreamingFuzzyMatcher("one\ntwo\nthree")
    assert matcher.push("tw", None) is None
    assert spans([matcher.push("o\nthr", None)]) == [(4, 7)]
    assert matcher.finish() == []
    assert matcher.query_lines == ["two", "thr"]
    assert matcher.select_best_match() is None


def test_a_chunk_without_newline_only_buffers():
    matcher = StreamingFuzzyMatcher(FOO)
    first = matcher.push("function foo() {\n")
    assert matcher.push("    return") == first
    assert matcher.query_lines == ["function foo() {"]
    # Several completed lines in one chunk, the buffered text first.
    assert spans([matcher.push(" 42;\n}\n")]) == [(0, 33)]
    assert matcher.query_lines == ["function foo() {", "    return 42;", "}"]


def test_line_breaks_split_across_chunks():
    matcher, _ = feed("a\nb\n", "a\r", "\nb\r", "\r\n")
    assert matcher.query_lines == ["a", "b\r"]
    matcher, _ = feed("a\nb\n", "a\r\nb")
    assert matcher.query_lines == ["a"]
    assert spans(matcher.finish()) == [(0, 3)]
    assert matcher.query_lines == ["a", "b"]
    matcher, _ = feed("a\nb\n", "a\nb\r")
    matcher.finish()
    assert matcher.query_lines == ["a", "b\r"]


def test_finish_is_repeatable_and_push_continues_after_it():
    matcher = StreamingFuzzyMatcher(FOO)
    assert matcher.finish() == [] == matcher.finish()
    matcher.push("function foo() {")
    first, second = matcher.finish(), matcher.finish()
    assert first == second and first is not second
    assert first[0] is not second[0]
    assert spans([matcher.push("    return 42;\n")]) == [(0, 31)]
    assert matcher.query_lines == ["function foo() {", "    return 42;"]


def test_long_and_multibyte_lines():
    long_line = "é" * 3000 + "x"
    source = f"start\n{long_line}\nend"
    matcher = StreamingFuzzyMatcher(source)
    result = matcher.push("é" * 2999 + "yx\n")
    assert matcher.get_text(result) == long_line
    assert spans(matcher.finish()) == [(6, 6 + len(long_line.encode()))]


def test_huge_lines_streamed_in_pieces():
    huge = "é" * 1_000_000
    matcher = StreamingFuzzyMatcher(f"{'a' * 1_000_000}\n{huge}\n{'b' * 1_000_000}")
    for _ in range(1000):
        assert matcher.push("é" * 1000) is None
    assert spans([matcher.push("\n")]) == [(1_000_001, 3_000_001)]
    # Same byte length as the first line, different content: no distance work
    # is needed to tell them apart.
    assert feed(matcher.get_text(matcher.select_best_match()), "b" * 2_000_000 + "\n")[1] is None
    assert feed("a" * 1_000_000, "b" * 1_000_000 + "\n")[1] is None
    assert feed("start", "\r" * 100_000 + "\n")[1] is None


OUT_OF_MEMORY_SCRIPT = """
import resource
from tavrell_search._tavrell_search import StreamingFuzzyMatcher

source = "\\n".join(f"line {i % 7}" for i in range(200_000))  # 1 MB per matrix row
matcher = StreamingFuzzyMatcher(source)
matcher.push("line 1\\n")
with open("/proc/self/status") as status:
    size = next(int(l.split()[1]) * 1024 for l in status if l.startswith("VmSize"))
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
resource.setrlimit(resource.RLIMIT_AS, (size + 8_000_000, hard))
failures = 0
for i in range(20):
    try:
        matcher.push(f"line {(i + 2) % 7}\\n")
    except MemoryError:
        failures += 1
resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
assert failures > 0
assert len(matcher.query_lines) == 21
# The rows left out by the failed pushes are computed by the next one.
result = matcher.push("line 0\\n")
fresh = StreamingFuzzyMatcher(source)
assert result == fresh.push("".join(l + "\\n" for l in matcher.query_lines))
assert matcher.finish() == fresh.finish()
"""


@pytest.mark.skipif(
    "asan" in os.environ.get("LD_PRELOAD", "") or not os.path.exists("/proc/self/status"),
    reason="needs an address-space limit it can measure (not under ASan)",
)
def test_running_out_of_memory_leaves_a_usable_matcher():
    subprocess.run([sys.executable, "-c", OUT_OF_MEMORY_SCRIPT], check=True, timeout=120)


# ---------------------------------------------------------------------------
# Selection with a line hint


TIE = "a = 1\nb = 2\nx\ny\na = 1\nb = 2"


@pytest.mark.parametrize(
    "source, hint, pushed, selected",
    [
        (TWICE, None, (0, 11), None),
        (TWICE, 5, (18, 29), (18, 29)),
        (TWICE, 0, (0, 11), (0, 11)),
        (TWICE, 3, (18, 29), (18, 29)),
        (TWICE, 300, (0, 11), None),
        # Equally near (lines 0 and 4 around hint 2): the earlier region wins.
        (TIE, 2, (0, 11), (0, 11)),
        (TIE, 3, (16, 27), (16, 27)),
    ],
)
def test_line_hint_chooses_among_regions(source, hint, pushed, selected):
    matcher, result = feed(source, "a = 1\nb = 2\n", line_hint=hint)
    assert len(matcher.finish()) == 2
    assert (result.start, result.end) == pushed
    best = matcher.select_best_match()
    assert (best and (best.start, best.end)) == selected


@pytest.mark.parametrize(
    "hint, selected_line", [(200, 0), (201, None), (250, None), (300, 500), (700, 500), (701, None)]
)
def test_line_hint_window_is_200_lines(hint, selected_line):
    lines = ["pad"] * 501
    lines[0] = lines[500] = "marker_line()"
    matcher, result = feed("\n".join(lines), "marker_line()\n", line_hint=hint)
    line_start = {0: 0, 500: 14 + 499 * 4}
    assert [r.start for r in matcher.finish()] == [0, line_start[500]]
    best = matcher.select_best_match()
    if selected_line is None:
        assert best is None
        assert result.start == 0
    else:
        assert best.start == result.start == line_start[selected_line]


def test_a_single_region_is_chosen_however_far_the_hint():
    matcher, result = feed(FOO, "}\n", line_hint=4_000_000_000)
    assert (result.start, result.end) == (32, 33)
    assert matcher.select_best_match() == result


def test_the_hint_is_kept_until_replaced():
    matcher = StreamingFuzzyMatcher(TWICE)
    assert matcher.push("a = 1\n", 5).start == 18
    assert matcher.push("b = 2\n").start == 18
    # A chunk that completes no line still updates the hint.
    assert matcher.push("", 0).start == 0
    assert matcher.select_best_match().start == 0
    assert matcher.push("", 4294967295).start == 0
    assert matcher.select_best_match() is None


# ---------------------------------------------------------------------------
# Text of a range


def test_get_text_of_foreign_ranges_is_clamped():
    short = StreamingFuzzyMatcher("ab\ncd")
    _, far = feed("x\n" * 10 + "cd\nzz\n", "cd\n")
    assert (far.start, far.end) == (20, 22)
    assert short.get_text(far) == ""
    _, mid = feed("xyz\nab\n", "ab\n")
    assert short.get_text(mid) == "d"
    assert StreamingFuzzyMatcher("").get_text(mid) == ""


def test_get_text_refuses_to_cut_a_character():
    matcher = StreamingFuzzyMatcher("éé\nb")
    _, foreign = feed("x\nb\n", "b\n")
    assert (foreign.start, foreign.end) == (2, 3)
    with pytest.raises(ValueError) as info:
        matcher.get_text(foreign)
    assert str(info.value) == (
        "MatchRange(start=2, end=3) does not fall on character boundaries of this "
        "matcher's source text"
    )
    assert matcher.source_lines == ["éé", "b"]


# ---------------------------------------------------------------------------
# The classes


def test_match_range_value_semantics():
    matcher, a = feed(TWICE, "a = 1\n", line_hint=0)
    b = matcher.select_best_match()
    other = matcher.finish()[1]
    assert a is not b and a == b and not (a != b)
    assert a != other and not (a == other)
    assert (a == (0, 5)) is False and (a != (0, 5)) is True
    assert a.__eq__(object()) is NotImplemented
    assert repr(other) == "MatchRange(start=18, end=23)"
    for op in ("__lt__", "__le__", "__gt__", "__ge__"):
        assert getattr(a, op)(b) is NotImplemented
    with pytest.raises(TypeError):
        a < b  # noqa: B015
    with pytest.raises(TypeError):
        hash(a)
    with pytest.raises(TypeError):
        {a}
    with pytest.raises(AttributeError):
        a.start = 3
    with pytest.raises(TypeError):
        MatchRange(start=0, end=1)
    assert MatchRange.__doc__ == "Python wrapper for a match range."


def test_returned_lists_are_copies():
    matcher, _ = feed("a\nb\n", "a\n")
    matcher.query_lines.append("zzz")
    matcher.source_lines.clear()
    assert matcher.query_lines == ["a"]
    assert matcher.source_lines == ["a", "b"]
    with pytest.raises(AttributeError):
        matcher.query_lines = []


CLASS_DOC = (
    "A streaming fuzzy matcher that processes text chunks incrementally.\n\n"
    "This matcher is designed for real-time matching scenarios like code editing\n"
    "where text arrives in chunks (e.g., from an LLM streaming response).\n\n"
    "Example:\n"
    '    >>> matcher = StreamingFuzzyMatcher("function foo() {\\n    return 42;\\n}")\n'
    '    >>> result = matcher.push("function foo() {\\n", None)\n'
    "    >>> print(result)  # MatchRange with the match location"
)


@pytest.mark.parametrize(
    "obj, signature, doc",
    [
        (StreamingFuzzyMatcher, "(source_text)", CLASS_DOC),
        (
            StreamingFuzzyMatcher.push,
            "($self, chunk, line_hint=None)",
            "Push a new chunk of text and get the best match found so far.\n\n"
            "This method accumulates text chunks and processes complete lines.\n"
            "Partial lines are buffered internally until a newline is received.\n\n"
            "Args:\n    chunk: Text chunk to add to the query\n"
            "    line_hint: Optional line number hint for match selection\n\n"
            "Returns:\n    MatchRange if a match has been found, None otherwise",
        ),
        (
            StreamingFuzzyMatcher.finish,
            "($self)",
            "Finish processing and return all final matches.\n\n"
            "This processes any remaining incomplete line before returning\n"
            "the final match results.\n\nReturns:\n    List of all found MatchRange objects",
        ),
        (
            StreamingFuzzyMatcher.select_best_match,
            "($self)",
            "Return the best match considering line hints.\n\n"
            "Returns:\n    Best MatchRange, or None if no suitable match found",
        ),
        (
            StreamingFuzzyMatcher.get_text,
            "($self, match_range)",
            "Get the text for a given range from the source.\n\n"
            "Args:\n    match_range: The MatchRange to extract text for\n\n"
            "Returns:\n    The matched text as a string",
        ),
    ],
)
def test_docstrings_and_signatures(obj, signature, doc):
    assert obj.__text_signature__ == signature
    assert obj.__doc__ == doc


def test_property_docstrings():
    assert StreamingFuzzyMatcher.query_lines.__doc__ == "Returns the accumulated query lines."
    assert StreamingFuzzyMatcher.source_lines.__doc__ == "Returns the source lines."


M = "StreamingFuzzyMatcher."


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda m: StreamingFuzzyMatcher(), TypeError,
         M + "__new__() missing 1 required positional argument: 'source_text'"),
        (lambda m: StreamingFuzzyMatcher(1), TypeError,
         "argument 'source_text': 'int' object cannot be cast as 'str'"),
        (lambda m: StreamingFuzzyMatcher("a", "b"), TypeError,
         M + "__new__() takes 1 positional arguments but 2 were given"),
        (lambda m: StreamingFuzzyMatcher("a", text="b"), TypeError,
         M + "__new__() got an unexpected keyword argument 'text'"),
        (lambda m: m.push(), TypeError,
         M + "push() missing 1 required positional argument: 'chunk'"),
        (lambda m: m.push(b"x\n"), TypeError,
         "argument 'chunk': 'bytes' object cannot be cast as 'str'"),
        (lambda m: m.push("x\n", 1, 2), TypeError,
         M + "push() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda m: m.push("x\n", chunk="y"), TypeError,
         M + "push() got multiple values for argument 'chunk'"),
        (lambda m: m.push("x\n", -1), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda m: m.push("x\n", line_hint=2**32), OverflowError,
         "out of range integral type conversion attempted"),
        (lambda m: m.push("x\n", 1.0), TypeError, "argument 'line_hint': "),
        (lambda m: m.push("x\ud800\n"), UnicodeEncodeError, None),
        (lambda m: m.finish(1), TypeError,
         M + "finish() takes 0 positional arguments but 1 was given"),
        (lambda m: m.select_best_match(hint=1), TypeError,
         M + "select_best_match() got an unexpected keyword argument 'hint'"),
        (lambda m: m.get_text(), TypeError,
         M + "get_text() missing 1 required positional argument: 'match_range'"),
        (lambda m: m.get_text((0, 1)), TypeError,
         "argument 'match_range': 'tuple' object cannot be cast as 'MatchRange'"),
        (lambda m: m.get_text(m), TypeError,
         "argument 'match_range': 'StreamingFuzzyMatcher' object cannot be cast as 'MatchRange'"),
    ],
)
def test_bad_arguments_leave_the_matcher_unchanged(call, error, message):
    matcher, before = feed(TWICE, "a = 1\n", "b = ", line_hint=5)
    with pytest.raises(error) as info:
        call(matcher)
    if message is not None:
        assert str(info.value).startswith(message)
        assert str(info.value) == message or message.endswith(": ")
    assert matcher.query_lines == ["a = 1"]
    # The buffer ("b = ") and the stored hint (5) are untouched too.
    assert matcher.push("2\n").start == 18
    assert matcher.query_lines == ["a = 1", "b = 2"]


# ---------------------------------------------------------------------------
# Incremental equals from scratch

LINES = ["a = 1", "  a = 1", "a = 2", "b = 2", "", " ", "}", "def f():", "déf f():",
         "hello_world()", "hello_wrld()", "x", "\u3000x", "ünïcode ✓", "unicode"]


@st.composite
def query_of(draw, source):
    """Mostly a stretch of the source with a few lines changed, so that
    regions are found, lost and found again while streaming."""
    start = draw(st.integers(0, len(source)))
    stretch = source[start:start + draw(st.integers(0, 8))]
    edits = st.sampled_from(LINES + ["zzz", "a = 1\r"])
    lines = [draw(edits) if draw(st.integers(0, 3)) == 0 else line for line in stretch]
    return lines + draw(st.lists(st.sampled_from(LINES), max_size=2))


@settings(max_examples=150, deadline=None)
@given(
    data=st.data(),
    source=st.lists(st.sampled_from(LINES), max_size=12),
    breaks=st.lists(st.sampled_from(["\n", "\r\n"]), min_size=10, max_size=10),
    trailing=st.sampled_from(["", "x", "a = ", "\r"]),
    cuts=st.lists(st.integers(0, 200), max_size=10),
    hints=st.lists(st.one_of(st.none(), st.integers(0, 15)), min_size=11, max_size=11),
)
def test_streaming_in_chunks_equals_a_fresh_matcher(data, source, breaks, trailing, cuts, hints):
    query = data.draw(query_of(source))
    source_text = "\n".join(source)
    source = lines_rule(source_text)
    text = "".join(line + brk for line, brk in zip(query, breaks)) + trailing
    bounds = sorted({min(c, len(text)) for c in cuts} | {0, len(text)})
    chunks = [text[a:b] for a, b in zip(bounds, bounds[1:])] or [""]

    matcher = StreamingFuzzyMatcher(source_text)
    hint = None
    for chunk, given_hint in zip(chunks, hints):
        result = matcher.push(chunk, given_hint)
        hint = given_hint if given_hint is not None else hint
        # A fresh matcher fed the completed lines at once: "\r\n" after each
        # line gives back exactly that line, even one ending in "\r".
        fresh = StreamingFuzzyMatcher(source_text)
        fresh_result = fresh.push("".join(l + "\r\n" for l in matcher.query_lines), hint)
        assert fresh.query_lines == matcher.query_lines
        assert result == fresh_result
        assert matcher.select_best_match() == fresh.select_best_match()
        assert spans(fresh.finish()) == reference_regions(source, matcher.query_lines)

    final = spans(matcher.finish())
    assert matcher.query_lines == lines_rule(text)
    assert final == reference_regions(source, matcher.query_lines)
