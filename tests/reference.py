"""Plain Python transcriptions of the text rules the module shares across its
subsystems, used by the tests as references."""

# The Unicode White_Space set.
WHITE_SPACE = "".join(
    map(
        chr,
        [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B), 0x2028, 0x2029, 0x202F, 0x205F, 0x3000],
    )
)


def trim(text):
    return text.strip(WHITE_SPACE)


def lines_rule(text):
    """Cut after every "\\n", dropping it and one "\\r" before it; no empty last line."""
    if not text:
        return []
    pieces = text.split("\n")
    last = pieces.pop()
    lines = [p[:-1] if p.endswith("\r") else p for p in pieces]
    if last:
        lines.append(last)
    return lines


def levenshtein(a, b):
    """The textbook two-row edit distance over code points."""
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        diag, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            diag, row[j] = row[j], min(diag + (ca != cb), row[j - 1] + 1, row[j] + 1)
    return row[-1]


def nbytes(text):
    return len(text.encode())
