"""The text core: the bit-parallel edit distance and the generated Unicode tables.

Both are checked below the Python surface by C++ drivers (tests/engine/), and
the tables against Python's own character database, and through the functions
that use them.
"""

import array
import filecmp
import random
import subprocess
import sys
import unicodedata
from pathlib import Path

import pytest

from tavrell_search import _tavrell_search as ts

ROOT = Path(__file__).resolve().parent.parent
UCD = Path("/usr/share/unicode")

# Flag bits of `unicode_probe dump`.
GRAPHEME_EXTEND, PRINTABLE, ASSIGNED, CASED, CASE_IGNORABLE = 1, 2, 4, 8, 16


def run(exe, env, *args, data=None):
    result = subprocess.run([str(exe), *args], input=data, env=env, capture_output=True)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return result.stdout


def test_levenshtein_matches_the_two_row_programme(engine_program, engine_env):
    out = run(engine_program("levenshtein_property"), engine_env, "3000")
    assert out == b"ok\n"


# --- Unicode tables ----------------------------------------------------------


class Tables:
    def __init__(self, exe, env):
        self.exe, self.env = exe, env
        self.version = run(exe, env, "version").decode().strip()
        dump = array.array("I")
        dump.frombytes(run(exe, env, "dump"))
        if sys.byteorder != "little":
            dump.byteswap()
        assert len(dump) == 3 * 0x110000
        self.lower, self.upper, self.flags = dump[0::3], dump[1::3], dump[2::3]

    def assigned(self, cp):
        return bool(self.flags[cp] & ASSIGNED)

    def lowercase_full(self, texts):
        data = b"".join(t.encode() + b"\0" for t in texts)
        out = run(self.exe, self.env, "lower", data=data)
        return [part.decode() for part in out.split(b"\0")[:-1]]


@pytest.fixture(scope="module")
def tables(engine_program, engine_env):
    return Tables(engine_program("unicode_probe"), engine_env)


def assigned_in_both(tables):
    """Code points that both Python's database and the tables assign. The two
    versions may differ; a mapping onto a character that is newer than the
    tables is left out too (a case pair completed by a later version)."""
    for cp in range(0x110000):
        ch = chr(cp)
        if tables.assigned(cp) and unicodedata.category(ch) != "Cn":
            yield cp, ch


def newer_than_tables(tables, text):
    return any(not tables.assigned(ord(c)) for c in text)


# Between Unicode versions a few characters change their properties (for
# example U+1171E went from Mn to Mc, and so stopped being case-ignorable, in
# 16.0). When Python's database is not the tables' version, that many
# disagreements are accepted; with the same version there must be none.
VERSION_DRIFT = 16


def assert_agrees_with_python(tables, wrong):
    if unicodedata.unidata_version == tables.version:
        assert wrong == []
    else:
        assert len(wrong) <= VERSION_DRIFT, wrong


def test_first_code_points_of_case_mappings_match_python(tables):
    wrong = []
    for cp, ch in assigned_in_both(tables):
        lower, upper = ch.lower(), ch.upper()
        if newer_than_tables(tables, lower + upper):
            continue
        if (tables.lower[cp], tables.upper[cp]) != (ord(lower[0]), ord(upper[0])):
            wrong.append(f"U+{cp:04X}: {tables.lower[cp]:X}/{tables.upper[cp]:X}, "
                         f"Python {ord(lower[0]):X}/{ord(upper[0]):X}")
    assert_agrees_with_python(tables, wrong)


@pytest.mark.parametrize("cp, lower, upper", [
    (0x0130, 0x0069, 0x0130),  # İ lowers to i + U+0307: first is i
    (0x00DF, 0x00DF, 0x0053),  # ß uppercases to SS
    (0x03A3, 0x03C3, 0x03A3),  # Σ: medial sigma, no word-final rule here
    (0x01C5, 0x01C6, 0x01C4),  # Dž, a title-case letter
    (0x1F80, 0x1F80, 0x1F08),  # ᾀ: full uppercase ἈΙ, not the simple ᾈ
    (0x10400, 0x10428, 0x10400),  # Deseret, outside the BMP
    (0x0041, 0x0061, 0x0041),
    (0x4E2D, 0x4E2D, 0x4E2D),
])
def test_case_mapping_examples(tables, cp, lower, upper):
    assert (tables.lower[cp], tables.upper[cp]) == (lower, upper)


def test_printable_matches_python(tables):
    # str.isprintable() draws the same line: Cc, Cf, Co, Cs, Cn, Zl, Zp and Zs
    # other than the space are not printable.
    wrong = [f"U+{cp:04X}" for cp in range(0x110000)
             if bool(tables.flags[cp] & PRINTABLE) != chr(cp).isprintable()
             and tables.assigned(cp) == (unicodedata.category(chr(cp)) != "Cn")]
    assert_agrees_with_python(tables, wrong)


@pytest.mark.parametrize("cp, printable", [
    (0x20, True), (0x41, True), (0x7F, False), (0x0A, False), (0xA0, False), (0xAD, False),
    (0x3000, False), (0x2028, False), (0xE000, False), (0xD800, False), (0x0378, False),
    (0xFFFF, False), (0x10FFFD, False), (0x1F600, True), (0x4E2D, True), (0x0301, True),
])
def test_printable_examples(tables, cp, printable):
    assert bool(tables.flags[cp] & PRINTABLE) is printable


def test_grapheme_extend(tables):
    # Grapheme_Extend is Mn + Me + Other_Grapheme_Extend, and the last is a
    # short list of spacing marks, ZWNJ, halfwidth voicing marks and tags.
    extend = {cp for cp in range(0x110000) if tables.flags[cp] & GRAPHEME_EXTEND}
    for cp, ch in assigned_in_both(tables):
        if unicodedata.category(ch) in ("Mn", "Me"):
            assert cp in extend, f"U+{cp:04X}"
    others = {cp for cp in extend if unicodedata.category(chr(cp)) not in ("Mn", "Me")}
    assert {0x09BE, 0x200C, 0xFF9E, 0x1D165, 0xE0020, 0xE007F} <= others
    assert {unicodedata.category(chr(cp)) for cp in others} <= {"Mc", "Cf", "Lm", "Cn"}
    assert len(others) < 200
    assert not extend & {0x41, 0x200D, 0x20, 0x1F600}


def sigma_class(ch):
    """How ch takes part in the Final_Sigma rule of Python's str.lower():
    'ignorable' (skipped), 'cased' (a cased letter that is not skipped) or
    'other'. Learnt from str.lower() itself."""
    if (ch + "\u03a3").lower()[-1] == "\u03c2":
        return "cased"
    # Not a cased letter that counts: skipped if a cased letter after it still
    # makes the sigma medial.
    return "ignorable" if ("A\u03a3" + ch + "B").lower()[1] == "\u03c3" else "other"


def table_sigma_class(tables, cp):
    flags = tables.flags[cp]
    if flags & CASE_IGNORABLE:
        return "ignorable"
    return "cased" if flags & CASED else "other"


@pytest.fixture(scope="module")
def sigma_class_drift(tables):
    return {cp for cp, ch in assigned_in_both(tables)
            if cp != 0x03A3 and sigma_class(ch) != table_sigma_class(tables, cp)}


def test_cased_and_case_ignorable_match_python(tables, sigma_class_drift):
    assert_agrees_with_python(tables, [f"U+{cp:04X}" for cp in sorted(sigma_class_drift)])


def lowercase_samples():
    rng = random.Random(1871)
    special = ["\u03a3", "\u03a3", "\u03a3", "A", "a", "\u039f", "\u03c9", "'", ".", ":", " ",
               "1", "\u00ad", "\u0301", "\u02b0", "\u0345", "\u0130", "\u1e9e", "\u4e2d",
               "\U0001f600", "\U00010400", "\u2160", "\u24b6", "\U0001f130", "\u00df", "\u01c5"]
    others = [chr(cp) for cp in rng.sample(range(0x20, 0x30000), 4000)
              if unicodedata.category(chr(cp)) not in ("Cn", "Cs")]
    texts = ["", "\u03a3", "A\u03a3", "\u03a3A", "A\u03a3'", "A'\u03a3", "A\u03a3'B", "'\u03a3",
             "\u039f\u03a3", "\u039f\u03a3\u0391", "\u02b0\u03a3", "A\u0345\u03a3",
             "\u03a3\u03a3", "A\u03a3\u03a3", "\u0130", "I\u0130i"]
    for _ in range(3000):
        pool = special if rng.random() < 0.7 else special + others
        texts.append("".join(rng.choice(pool) for _ in range(rng.randrange(1, 14))))
    return texts


def test_lowercase_full_matches_python_lower(tables, sigma_class_drift):
    texts = [t for t in lowercase_samples()
             if not newer_than_tables(tables, t) and not newer_than_tables(tables, t.lower())
             and not any(ord(c) in sigma_class_drift for c in t)]
    got = tables.lowercase_full(texts)
    wrong = [(t, g, t.lower()) for t, g in zip(texts, got) if g != t.lower()]
    assert wrong == []


@pytest.mark.skipif(not (UCD / "UnicodeData.txt").is_file(),
                    reason="the Unicode Character Database is not installed")
def test_generated_tables_are_up_to_date(tmp_path, engine_env):
    subprocess.run([sys.executable, str(ROOT / "tools" / "gen_unicode_tables.py"),
                    "--ucd", str(UCD), "--out", str(tmp_path)], env=engine_env, check=True)
    for name in ("unicode_tables.h", "unicode_tables.cpp"):
        assert filecmp.cmp(tmp_path / name, ROOT / "src" / "text" / name, shallow=False), name


# --- Through the Python surface ----------------------------------------------


@pytest.mark.parametrize("pattern, instring, expected", [
    ("i", "\u0130", (True, 10)),        # İ matches i: first code point of its lowercase
    ("\u0130", "i", (True, 10)),
    ("ai", "a\u0130", (True, 25)),      # İ is uppercase for the camel rule
    ("ab", "aB", (True, 25)),
    ("a\u00e9", "a\u00c9", (True, 25)),  # É too
    ("a\u00df", "a\u00df", (True, 15)),  # ß is not: its uppercase starts with S
    ("\u03c3", "\u03a3", (True, 10)),    # Σ lowers to medial sigma, never final
    ("\u039f\u03a3", "\u039f\u03a3\u0391", (True, 14)),
    ("\u03c2", "\u03a3", (False, -1)),
    ("\U00010428", "\U00010400", (True, 10)),
])
def test_fuzzy_match_uses_first_code_points(pattern, instring, expected):
    assert ts.fuzzy_match(pattern, instring) == expected


@pytest.mark.parametrize("pattern, instring, expected", [
    ("\u039f\u03a3", "\u039f\u03a3\u0391", False),  # final sigma against medial sigma
    ("\u039f\u03a3", "\u03bf\u03c2", True),
    ("\u03bf\u03c3\u03b1", "\u039f\u03a3\u0391", True),
    ("i", "\u0130", True),                           # İ lowers to i + U+0307
    ("i\u0307", "\u0130", True),
    ("\u0130", "i", False),
    ("STRASSE", "stra\u00dfe", False),               # no case folding, only lowercase
    ("\u00c9T\u00c9", "\u00e9t\u00e9", True),
])
def test_fuzzy_match_simple_uses_full_lowercase(pattern, instring, expected):
    assert ts.fuzzy_match_simple(pattern, instring, False) is expected
