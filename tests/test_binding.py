"""The module surface: table, signatures, argument binding, conversions and their order, faults."""

import inspect
import subprocess
import sys
from pathlib import Path

import pytest

import quillon


def stub_signatures():
    """The functions of the installed stub in its order, each with its untyped signature."""
    namespace, empty = {}, inspect.Parameter.empty
    exec(Path(quillon.__file__).with_name("__init__.pyi").read_text(), namespace)
    signatures = {}
    for name, function in namespace.items():
        if inspect.isfunction(function):
            signature = inspect.signature(function)
            parameters = [p.replace(annotation=empty) for p in signature.parameters.values()]
            signatures[name] = str(
                signature.replace(parameters=parameters, return_annotation=empty)
            )
    return signatures


# The stub lists every exported function in table order (the order of __all__).
SIGNATURES = stub_signatures()
EXPORTED = list(SIGNATURES)


class TestModule:
    def test_surface(self):
        assert quillon.__name__ == "quillon"
        assert quillon.__doc__ == ""
        assert quillon.__version__ == "0.4.1"
        assert quillon.__all__ == EXPORTED + ["__version__"]
        for name in EXPORTED:
            function = getattr(quillon, name)
            assert function.__module__ == "quillon"
            assert function.__self__ is quillon
            assert function.__name__ == name
            if not name.endswith(("_into", "_alignment")):
                assert function.__doc__ is None

    def test_import_does_not_import_numpy(self):
        code = "import sys, quillon; quillon.levenshtein_distance('a', 'b'); print('numpy' in sys.modules)"
        out = subprocess.run(
            [sys.executable, "-c", code], capture_output=True, text=True, check=True
        )
        assert out.stdout.strip() == "False"

    @pytest.mark.parametrize("name", EXPORTED)
    def test_signatures_match_the_stub(self, name):
        function = getattr(quillon, name)
        assert function.__text_signature__ == SIGNATURES[name]
        assert str(inspect.signature(function)) == SIGNATURES[name]


def test_keywords_bind_although_positional_only():
    assert quillon.levenshtein_distance(a="x", b="y") == 1
    assert quillon.levenshtein_distance("abc", b="abd") == 1
    assert quillon.fuzz_ratio(b="ab", a="ab", score_cutoff=101) == 0.0
    assert quillon.set_cpu_only(cpu_only=True) is None
    assert quillon.set_gpu_threshold(threshold=3) is None


def refusal(name, args, kwargs, kind):
    with pytest.raises(kind) as info:
        getattr(quillon, name)(*args, **kwargs)
    return info.value


# Binding fails before any conversion, so no note, even with a bad value present.
@pytest.mark.parametrize(
    "name, args, kwargs, message",
    [
        ("jaro_similarity", ("a", "b", "c"), {}, "takes 2 positional arguments but 3 were given"),
        ("fuzz_ratio", "abcd", {}, "takes from 2 to 3 positional arguments but 4 were given"),
        ("set_gpu_threshold", "ab", {}, "takes from 0 to 1 positional arguments but 2 were given"),
        ("jaro_similarity", ("a",), {}, "missing 1 required positional argument: 'b'"),
        ("fuzz_qratio", (), {}, "missing 2 required positional arguments: 'a' and 'b'"),
        (
            "fuzz_ratio",
            (),
            {"score_cutoff": 1},
            "missing 2 required positional arguments: 'a' and 'b'",
        ),
        ("levenshtein_myers", (), {"b": "x"}, "missing 1 required positional argument: 'a'"),
        ("set_cpu_only", (), {}, "missing 1 required positional argument: 'cpu_only'"),
        (
            "needleman_wunsch_score",
            (),
            {},
            "missing 5 required positional arguments: "
            "'a', 'b', 'match_score', 'mismatch_score', and 'gap_penalty'",
        ),
        ("jaro_similarity", ("a",), {"c": "b"}, "got an unexpected keyword argument 'c'"),
        ("jaro_similarity", ("a", "b"), {"a": "c"}, "got multiple values for argument 'a'"),
        ("fuzz_ratio", (1, "b"), {"cutoff": 2}, "got an unexpected keyword argument 'cutoff'"),
    ],
)
def test_binding_refusals(name, args, kwargs, message):
    error = refusal(name, args, kwargs, TypeError)
    assert str(error) == f"{name}() {message}"
    assert not hasattr(error, "__notes__")


@pytest.mark.parametrize("name", ["is_gpu_available", "warmup", "gpu_info", "hardware_info"])
def test_no_argument_functions_refuse_arguments(name):
    error = refusal(name, (1,), {}, TypeError)
    assert str(error) == f"quillon.{name}() takes no arguments (1 given)"
    error = refusal(name, (), {"x": 1}, TypeError)
    assert str(error) == f"quillon.{name}() takes no keyword arguments"


class Broken:
    """Iteration fails after one item; conversion to float fails."""

    def __iter__(self):
        yield "a"
        raise KeyError("inside")

    def __float__(self):
        raise ZeroDivisionError("broken")


class Outer:
    class Inner:
        pass


def not_a(type_name, kind="str"):
    subject = "'None'" if type_name == "None" else f"'{type_name}' object"
    return f"{subject} is not an instance of '{kind}'"


# A refused value keeps the interpreter's exception; a named parameter adds a note, a list item
# none. Parameters are converted in order, named ones before lists.
@pytest.mark.parametrize(
    "name, args, kind, message, note",
    [
        ("levenshtein_distance", (1, "x"), TypeError, not_a("int"), "a"),
        ("levenshtein_myers", ("x", None), TypeError, not_a("None"), "b"),
        ("fuzz_ratio", (b"x", "y"), TypeError, not_a("bytes"), "a"),
        ("fuzz_ratio", (1, 2, None), TypeError, not_a("int"), "a"),
        ("jaro_similarity", (Outer.Inner(), "x"), TypeError, not_a("Outer.Inner"), "a"),
        ("levenshtein_distance", ("\ud800", "a"), UnicodeEncodeError, None, "a"),
        ("levenshtein_distance", ("a", "x\udfffy"), UnicodeEncodeError, None, "b"),
        ("fuzz_ratio", ("a", "b", None), TypeError, None, "score_cutoff"),
        ("fuzz_qratio", ("a", "b", Broken()), ZeroDivisionError, None, "score_cutoff"),
        ("set_cpu_only", (1,), TypeError, not_a("int", "bool"), "cpu_only"),
        ("set_cpu_only", (1.0,), TypeError, not_a("float", "bool"), "cpu_only"),
        ("set_cpu_only", (None,), TypeError, not_a("None", "bool"), "cpu_only"),
        ("set_gpu_threshold", (-1,), OverflowError, None, "threshold"),
        ("set_gpu_threshold", (2**64,), OverflowError, None, "threshold"),
        ("set_gpu_threshold", (1.5,), TypeError, None, "threshold"),
        ("needleman_wunsch_score", ("a", "b", 1, -1, 2**63), OverflowError, None, "gap_penalty"),
        ("needleman_wunsch_affine", ("a", "b", 1, -1.0, -1, -1), TypeError, None, "mismatch_score"),
        ("needleman_wunsch_batch_fn", ("a", 5, 1, -1, None), TypeError, None, "gap_penalty"),
        ("fuzz_extract", ("a", ["a"], 0.0, -1), OverflowError, None, "limit"),
        ("fuzz_extract", ("a", ["a"], 0.0, 2.0), TypeError, None, "limit"),
        ("fuzz_extract", ("a", 5, None), TypeError, None, "score_cutoff"),
        ("jaro_winkler_batch_fn", ("a", 5, None), TypeError, None, "p"),
        ("levenshtein_batch", (None, 5), TypeError, not_a("None"), "query"),
        ("levenshtein_batch", ("a", ["x", 1]), TypeError, not_a("int"), None),
        ("levenshtein_cdist", ([b"x"], ["a"]), TypeError, not_a("bytes"), None),
        ("levenshtein_cdist", (["a"], 5), TypeError, "'int' object is not iterable", None),
        ("fuzz_extract_one", ("a", None), TypeError, "'NoneType' object is not iterable", None),
        ("fuzz_ratio_batch", ("a", Broken()), KeyError, None, None),
        ("levenshtein_cdist", (["a"], ["\ud800"]), UnicodeEncodeError, None, None),
    ],
)
def test_conversion_refusals(name, args, kind, message, note):
    error = refusal(name, args, {}, kind)
    if message is not None:
        assert str(error) == message
    notes = None if note is None else [f"while processing '{note}'"]
    assert getattr(error, "__notes__", None) == notes


def test_accepted_conversions():
    numpy = pytest.importorskip("numpy")

    class Text(str):
        pass

    class Half:
        def __float__(self):
            return 50.0

    class Index:
        def __index__(self):
            return 60

    assert quillon.levenshtein_distance(Text("kitten"), Text("sitting")) == 3
    # "ab"/"ac" scores exactly 50.0; an __index__ alone is no float.
    for cutoff, score in [(50, 50.0), (Half(), 50.0), (True, 50.0), (Index(), 0.0)]:
        assert quillon.fuzz_ratio("ab", "ac", cutoff) == score
    for flag in (True, False, numpy.bool_(True), numpy.bool_(False)):
        assert quillon.set_cpu_only(flag) is None
    for threshold in (None, 0, 2**64 - 1, True, Index()):
        assert quillon.set_gpu_threshold(threshold) is None
    # Other NumPy scalars are not booleans.
    error = refusal("set_cpu_only", (numpy.int8(1),), {}, TypeError)
    assert str(error) == not_a("int8", "bool")


CROSS_PRODUCTS = [name for name in EXPORTED if "_cdist" in name]


def out_for(name, rows, columns):
    if not name.endswith("_into"):
        return ()
    numpy = pytest.importorskip("numpy")
    return (numpy.zeros((rows, columns), numpy.float64 if "jaro" in name else numpy.uint32),)


@pytest.mark.parametrize("name", CROSS_PRODUCTS)
class TestCrossProductOrder:
    """Every item of list_a is taken and checked before list_b is touched; encoding comes after."""

    def test_list_a_refused_before_list_b_is_read(self, name):
        error = refusal(name, ([2], 5, *out_for(name, 1, 1)), {}, TypeError)
        assert str(error) == not_a("int")

    def test_list_a_exhausted_before_list_b_starts(self, name):
        log = []

        def recorded(side, items):
            for k, item in enumerate(items):
                log.append((side, k))
                yield item
            log.append((side, "end"))

        getattr(quillon, name)(recorded("a", "xy"), recorded("b", "z"), *out_for(name, 2, 1))
        assert log == [("a", 0), ("a", 1), ("a", "end"), ("b", 0), ("b", "end")]

    def test_items_taken_before_encoding(self, name):
        # list_b's type error is found before list_a's encoding error.
        error = refusal(name, (["\ud800"], [1], *out_for(name, 1, 1)), {}, TypeError)
        assert str(error) == not_a("int")


def test_every_fault_source_raises_the_one_fault_type(internals):
    raised = []
    for call, message in [
        (lambda: internals.raise_fault("invariant broken"), "^invariant broken$"),
        (internals.raise_fault_without_gil, "^fault with the lock released$"),
        (internals.raise_unknown, "."),  # a generic text, never empty
    ]:
        with pytest.raises(BaseException, match=message) as info:
            call()
        raised.append(type(info.value))
    fault = raised[0]
    assert (fault.__module__, fault.__qualname__) == ("pyo3_runtime", "PanicException")
    assert fault.__bases__ == (BaseException,) and raised == [fault] * 3
    with pytest.raises(MemoryError):
        internals.raise_memory_error()


def test_list_arguments_are_snapshots():
    """Short texts are copied and long ones held, so every iterable kind gives the same results,
    and a list emptied by another thread while the lock is released changes nothing."""
    import threading

    texts = ["", "a" * 256, "a" * 257, "é" * 128, "é" * 129, "x😀" * 60, "word"] * 3000
    want = quillon.levenshtein_batch("a" * 40, texts)
    for kind in (list, tuple, iter):
        assert quillon.levenshtein_batch("a" * 40, kind(texts)) == want
    # On a loaded machine the timer may fire before the call has taken the list, which then
    # reads as empty: such a run proves nothing and is tried again with a later timer.
    for delay in (0.001, 0.005, 0.02, 0.1):
        victim = [(t + "!")[:-1] for t in texts]  # new objects that only the list holds
        emptied = threading.Event()

        def empty(victim=victim, emptied=emptied):
            victim.clear()
            emptied.set()

        threading.Timer(delay, empty).start()
        got = quillon.levenshtein_batch("a" * 40, victim)
        emptied.wait()
        if got:
            assert got == want
            return
    raise AssertionError("the list was always emptied before the call took it")
