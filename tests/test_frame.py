"""The module frame: registration, classes, argument binding and conversion."""

import importlib
import sys
import threading

import pytest

import tavrell_search
from tavrell_search import _tavrell_search as ts

ALL_NAMES = [
    "RetryableError",
    "fuzzy_match",
    "get_best_matches",
    "fuzzy_match_simple",
    "replace_content",
    "try_replace_content",
    "trim_diff",
    "parse_locationless_diff",
    "apply_diff_hunks",
    "apply_diff_hunks_with_hint",
    "try_apply_diff_hunks",
    "StreamingFuzzyMatcher",
    "MatchRange",
    "ReplaceResult",
    "TryReplaceResult",
    "FuzzyMatchInfo",
    "DiffHunk",
    "HunkResult",
    "ApplyDiffResult",
]
FUNCTIONS = ALL_NAMES[1:11]
CLASSES = ALL_NAMES[11:]
RESULT_CLASSES = CLASSES[1:]


def test_module_attributes_and_all_in_registration_order():
    assert ts.__all__ == ALL_NAMES
    assert [n for n in vars(ts) if n in ALL_NAMES] == ALL_NAMES
    assert ts.__doc__ == ""
    assert ts.__name__ == "tavrell_search._tavrell_search"
    assert tavrell_search.__all__ == ALL_NAMES
    for name in ALL_NAMES:
        assert getattr(tavrell_search, name) is getattr(ts, name)


def test_reimport_returns_the_same_module_object():
    name = "tavrell_search._tavrell_search"
    saved = sys.modules.pop(name)
    try:
        again = importlib.import_module(name)
        assert again is saved
        assert again.RetryableError is saved.RetryableError
        assert again.MatchRange is saved.MatchRange
        assert again.__all__ == ALL_NAMES
    finally:
        sys.modules[name] = saved


def test_retryable_error():
    err = ts.RetryableError
    assert err.__module__ == "_tavrell_search"
    assert err.__name__ == "RetryableError"
    assert err.__bases__ == (Exception,)
    assert not issubclass(err, ValueError)
    assert err.__doc__ == (
        "Error that indicates the operation should be retried with corrected input.\n\n"
        "This is raised when:\n"
        "- Content was not found (agent should re-read the file)\n"
        "- Multiple matches exist (agent should add more context)\n\n"
        "Unlike ValueError, this signals that retry is appropriate."
    )
    with pytest.raises(Exception) as info:
        raise err("msg")
    assert str(info.value) == "msg"


@pytest.mark.parametrize("name", FUNCTIONS)
def test_functions_are_builtins_bound_to_the_module(name):
    fn = getattr(ts, name)
    assert type(fn).__name__ == "builtin_function_or_method"
    assert fn.__self__ is ts
    assert fn.__module__ == ts.__name__
    assert fn.__name__ == name
    assert fn.__text_signature__ is not None


@pytest.mark.parametrize(
    "name, doc",
    [
        ("fuzzy_match", None),
        ("get_best_matches", None),
        ("fuzzy_match_simple", None),
    ],
)
def test_empty_docstring_bodies(name, doc):
    assert getattr(ts, name).__doc__ is doc


@pytest.mark.parametrize("name", CLASSES)
def test_class_flags(name):
    cls = getattr(ts, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert "__dict__" not in dir(cls)
    assert cls.__weakrefoffset__ == 0
    assert cls.__dictoffset__ == 0
    with pytest.raises(TypeError):

        class Sub(cls):  # noqa: F841
            pass

    # Class objects are ordinary heap types: attributes may be set on them.
    cls.scratch_attribute = 1
    del cls.scratch_attribute


@pytest.mark.parametrize("name", RESULT_CLASSES)
def test_result_classes_cannot_be_instantiated(name):
    cls = getattr(ts, name)
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        cls(start=0, end=1)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: ts.fuzzy_match(), "fuzzy_match() missing 2 required positional arguments: 'pattern' and 'instring'"),
        (lambda: ts.fuzzy_match("a"), "fuzzy_match() missing 1 required positional argument: 'instring'"),
        (
            lambda: ts.fuzzy_match_simple(),
            "fuzzy_match_simple() missing 3 required positional arguments: 'pattern', 'instring', and 'case_sensitive'",
        ),
        (lambda: ts.trim_diff(), "trim_diff() missing 1 required positional argument: 'diff_text'"),
        (lambda: ts.get_best_matches("a", [], 1), "get_best_matches() takes 2 positional arguments but 3 were given"),
        (lambda: ts.fuzzy_match(*"abcdefghi"), "fuzzy_match() takes from 2 to 8 positional arguments but 9 were given"),
        (lambda: ts.trim_diff("a", "b"), "trim_diff() takes 1 positional arguments but 2 were given"),
        (lambda: ts.fuzzy_match("a", "b", foo=1), "fuzzy_match() got an unexpected keyword argument 'foo'"),
        (lambda: ts.fuzzy_match("a", "b", pattern="c"), "fuzzy_match() got multiple values for argument 'pattern'"),
        (lambda: ts.fuzzy_match(instring="b"), "fuzzy_match() missing 1 required positional argument: 'pattern'"),
        # Too many positionals is reported before a bad keyword.
        (
            lambda: ts.fuzzy_match_simple("a", "b", True, 1, foo=2),
            "fuzzy_match_simple() takes 3 positional arguments but 4 were given",
        ),
        # Keywords are checked in the order given.
        (
            lambda: ts.fuzzy_match("a", "b", pattern="c", foo=1),
            "fuzzy_match() got multiple values for argument 'pattern'",
        ),
        (lambda: ts.fuzzy_match(1, "b"), "argument 'pattern': 'int' object cannot be cast as 'str'"),
        (lambda: ts.fuzzy_match("a", None), "argument 'instring': 'NoneType' object cannot be cast as 'str'"),
        (lambda: ts.fuzzy_match_simple("a", "b", 1), "argument 'case_sensitive': 'int' object cannot be cast as 'bool'"),
        (lambda: ts.fuzzy_match_simple("a", "b", None), "argument 'case_sensitive': 'NoneType' object cannot be cast as 'bool'"),
        (lambda: ts.get_best_matches("a", {"a"}), "argument 'candidates': 'set' object cannot be cast as 'Sequence'"),
        (lambda: ts.get_best_matches("a", {"a": 1}), "argument 'candidates': 'dict' object cannot be cast as 'Sequence'"),
        (lambda: ts.get_best_matches("a", (c for c in "a")), "argument 'candidates': 'generator' object cannot be cast as 'Sequence'"),
        (lambda: ts.get_best_matches("a", ["a", 1]), "argument 'candidates': 'int' object cannot be cast as 'str'"),
        (lambda: ts.get_best_matches("", ["a", b"b"]), "argument 'candidates': 'bytes' object cannot be cast as 'str'"),
    ],
)
def test_binding_and_conversion_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


def test_str_is_refused_as_a_list():
    for search in ("a", ""):
        with pytest.raises(TypeError) as info:
            ts.get_best_matches(search, "abc")
        assert str(info.value).startswith("argument 'candidates': ")


def test_method_names_in_messages():
    with pytest.raises(TypeError) as info:
        ts.StreamingFuzzyMatcher()
    assert str(info.value) == (
        "StreamingFuzzyMatcher.__new__() missing 1 required positional argument: 'source_text'"
    )


@pytest.mark.parametrize("value", [2**31, -(2**31) - 1, 2**63 - 1, -(2**63)])
def test_i32_out_of_range_is_overflow_without_argument_name(value):
    with pytest.raises(OverflowError) as info:
        ts.fuzzy_match("a", "b", adj_bonus=value)
    assert str(info.value) == "out of range integral type conversion attempted"


@pytest.mark.parametrize("value", [2**64, -(2**70)])
def test_beyond_64_bits_the_interpreter_overflow_passes_through(value):
    with pytest.raises(OverflowError) as info:
        ts.fuzzy_match("a", "b", adj_bonus=value)
    assert not str(info.value).startswith("argument")


@pytest.mark.parametrize("value", [2**31 - 1, -(2**31), True])
def test_i32_limits_and_bool_are_accepted(value):
    assert ts.fuzzy_match("a", "a", sep_bonus=value)[0] is True


def test_i32_accepts_index_objects_and_passes_their_errors_through():
    class Index:
        def __index__(self):
            return 7

    class Broken:
        def __index__(self):
            raise ZeroDivisionError("boom")

    assert ts.fuzzy_match("a", "a", sep_bonus=Index()) == (True, 7)
    with pytest.raises(ZeroDivisionError):
        ts.fuzzy_match("a", "a", sep_bonus=Broken())


@pytest.mark.parametrize("value", [None, 1.5, "3"])
def test_i32_non_integers_name_the_argument(value):
    with pytest.raises(TypeError) as info:
        ts.fuzzy_match("a", "b", adj_bonus=value)
    assert type(info.value) is TypeError
    assert str(info.value).startswith("argument 'adj_bonus': ")
    assert str(info.value) != "argument 'adj_bonus': "


def test_type_error_cause_is_carried_over():
    class Bad:
        def __index__(self):
            try:
                raise KeyError("inner")
            except KeyError as exc:
                raise TypeError("outer") from exc

    with pytest.raises(TypeError) as info:
        ts.fuzzy_match("a", "b", camel_bonus=Bad())
    assert str(info.value) == "argument 'camel_bonus': outer"
    assert isinstance(info.value.__cause__, KeyError)


def test_type_error_subclass_passes_through():
    class MyTypeError(TypeError):
        pass

    class Bad:
        def __index__(self):
            raise MyTypeError("mine")

    with pytest.raises(MyTypeError) as info:
        ts.fuzzy_match("a", "b", camel_bonus=Bad())
    assert str(info.value) == "mine"


@pytest.mark.parametrize(
    "call",
    [
        lambda: ts.fuzzy_match("\ud800", "a"),
        lambda: ts.fuzzy_match("a", "x\udfffy"),
        lambda: ts.get_best_matches("a", ["ok", "\ud800"]),
        lambda: ts.fuzzy_match_simple("\udc80", "a", True),
    ],
)
def test_lone_surrogates_raise_unicode_encode_error(call):
    with pytest.raises(UnicodeEncodeError) as info:
        call()
    assert not str(info.value).startswith("argument")


def test_str_subclasses_are_text():
    class S(str):
        pass

    assert ts.fuzzy_match(S("fb"), S("FooBar")) == (True, 16)
    assert ts.get_best_matches(S("a"), [S("a")]) == [("a", 10)]
    # Results hold plain str, whatever the argument's type.
    assert type(ts.get_best_matches("a", [S("a")])[0][0]) is str


def test_numpy_booleans_are_accepted():
    np = pytest.importorskip("numpy")
    assert ts.fuzzy_match_simple("a", "A", np.False_) is True
    assert ts.fuzzy_match_simple("a", "A", np.True_) is False
    assert ts.fuzzy_match_simple("a", "A", np.bool_(True)) is False


def test_numpy_lookalike_without_bool_slot():
    # A type that claims to be numpy's bool but defines no truth value.
    fake = type("bool_", (), {"__module__": "numpy"})
    with pytest.raises(TypeError) as info:
        ts.fuzzy_match_simple("a", "A", fake())
    assert str(info.value) == (
        "argument 'case_sensitive': object of type 'bool_' does not define a '__bool__' conversion"
    )


def test_custom_sequence_items_stay_alive():
    class Seq:
        def __len__(self):
            return 3

        def __getitem__(self, i):
            if i >= 3:
                raise IndexError
            return "item%d" % i  # a new object on every access

    assert ts.get_best_matches("item", Seq()) == [("item0", 24), ("item1", 24), ("item2", 24)]


@pytest.mark.parametrize("length", [2**40, 2**63 - 1])
def test_a_length_that_lies_does_not_stop_the_conversion(length):
    # len() is only a size hint: the items are what iteration yields.
    class Seq:
        def __len__(self):
            return length

        def __iter__(self):
            return iter(["ab", "b"])

        def __getitem__(self, i):
            raise IndexError

    assert ts.get_best_matches("a", Seq()) == [("ab", 9)]


def test_errors_in_sequence_iteration_pass_through():
    class Seq:
        def __len__(self):
            return 2

        def __getitem__(self, i):
            raise ZeroDivisionError("broken")

    with pytest.raises(ZeroDivisionError):
        ts.get_best_matches("a", Seq())


def test_calls_from_many_threads():
    errors = []

    def work():
        try:
            for _ in range(200):
                assert ts.fuzzy_match("fb", "FooBar") == (True, 16)
        except BaseException as exc:  # pragma: no cover - reported below
            errors.append(exc)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def test_type_stubs_cover_exactly_the_registered_names():
    import ast
    import pathlib

    package = pathlib.Path(tavrell_search.__file__).parent
    assert (package / "py.typed").exists()
    tree = ast.parse((package / "_tavrell_search.pyi").read_text())
    names = [
        node.name
        for node in tree.body
        if isinstance(node, (ast.FunctionDef, ast.ClassDef))
    ]
    assert sorted(names) == sorted(ALL_NAMES)


def test_second_interpreter_is_refused(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("no legacy sub-interpreter runner")
    out = tmp_path / "result.txt"
    code = (
        "try:\n"
        "    import tavrell_search._tavrell_search\n"
        "    r = 'imported'\n"
        "except BaseException as e:\n"
        "    r = type(e).__name__ + ': ' + str(e)\n"
        f"open({str(out)!r}, 'w').write(r)\n"
    )
    assert testcapi.run_in_subinterp(code) == 0
    assert out.read_text().startswith("ImportError: ")
    assert "sub-interpreters" in out.read_text()
    # The main interpreter's module is unaffected.
    assert ts.fuzzy_match("fb", "FooBar") == (True, 16)
