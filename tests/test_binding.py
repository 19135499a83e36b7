"""The module surface: table, signatures, argument binding, conversions, faults, leaks."""

import inspect
import re
import subprocess
import sys

import pytest

import quillon

PAIR, SCORER = "(a, b, /)", "(a, b, score_cutoff=0.0, /)"
BATCH, CDIST = "(query, candidates, /)", "(list_a, list_b, /)"
BATCH_INTO, CDIST_INTO = "(query, candidates, out, /)", "(list_a, list_b, out, /)"
NW = "match_score, mismatch_score, gap_penalty, /)"
AFFINE = "match_score, mismatch_score, gap_open, gap_extend, /)"

# Every exported function with its signature, in table order (the order of __all__).
SIGNATURES = {
    "levenshtein_distance": PAIR,
    "levenshtein_batch": BATCH,
    "levenshtein_batch_into": BATCH_INTO,
    "levenshtein_cdist": CDIST,
    "levenshtein_cdist_into": CDIST_INTO,
    "damerau_levenshtein_distance": PAIR,
    "damerau_levenshtein_batch": BATCH,
    "damerau_levenshtein_batch_into": BATCH_INTO,
    "damerau_levenshtein_cdist": CDIST,
    "damerau_levenshtein_cdist_into": CDIST_INTO,
    "damerau_ratio": PAIR,
    "needleman_wunsch_score": "(a, b, " + NW,
    "needleman_wunsch_batch_fn": "(query, candidates, " + NW,
    "needleman_wunsch_affine": "(a, b, " + AFFINE,
    "needleman_wunsch_affine_batch": "(query, candidates, " + AFFINE,
    "jaro_similarity": PAIR,
    "jaro_winkler_similarity": "(a, b, p=0.1, /)",
    "jaro_winkler_batch_fn": "(query, candidates, p=0.1, /)",
    "jaro_winkler_batch_into": "(query, candidates, out, p=0.1, /)",
    "jaro_winkler_cdist": "(list_a, list_b, p=0.1, /)",
    "jaro_winkler_cdist_into": "(list_a, list_b, out, p=0.1, /)",
    "fuzz_ratio": SCORER,
    "fuzz_partial_ratio": SCORER,
    "fuzz_partial_ratio_alignment": SCORER,
    "fuzz_token_sort_ratio": SCORER,
    "fuzz_token_set_ratio": SCORER,
    "fuzz_token_ratio": SCORER,
    "fuzz_wratio": SCORER,
    "fuzz_ratio_batch": BATCH,
    "fuzz_extract": "(query, choices, score_cutoff=0.0, limit=5, /)",
    "fuzz_extract_one": "(query, choices, score_cutoff=0.0, /)",
    "fuzz_partial_token_sort_ratio": SCORER,
    "fuzz_partial_token_set_ratio": SCORER,
    "fuzz_partial_token_ratio": SCORER,
    "fuzz_qratio": SCORER,
    "levenshtein_myers": PAIR,
    "needleman_wunsch_striped": "(a, b, " + NW,
    "jaro_optimized": PAIR,
    "set_cpu_only": "(cpu_only, /)",
    "set_gpu_threshold": "(threshold=None)",
    "is_gpu_available": "()",
    "warmup": "()",
    "gpu_info": "()",
    "hardware_info": "()",
}
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

    def test_into_prose(self):
        assert quillon.levenshtein_batch_into.__doc__ == (
            "Zero-allocation batch: results are written into a caller-supplied writable\n"
            "buffer (numpy `uint32`, `array.array('I')`, `memoryview`, \u2026) instead of\n"
            "boxing each distance as a Python int. `out` must be exactly\n"
            "`len(candidates)` elements and is validated before any compute."
        )
        assert quillon.levenshtein_cdist_into.__doc__ == (
            "Zero-allocation cross-product matrix: `out` must be a writable, contiguous\n"
            "`(len(list_a), len(list_b))` buffer of `uint32` (row-major)."
        )
        assert quillon.damerau_levenshtein_batch_into.__doc__ == (
            "Zero-allocation Damerau batch into a writable `uint32` buffer (see\n"
            "[`levenshtein_batch_into`])."
        )
        assert quillon.damerau_levenshtein_cdist_into.__doc__ == (
            "Zero-allocation Damerau cross-product matrix into a writable, contiguous\n"
            "`(len(list_a), len(list_b))` buffer of `uint32` (row-major)."
        )
        assert quillon.jaro_winkler_batch_into.__doc__ == (
            "Zero-allocation Jaro-Winkler batch into a writable `float64` buffer (see\n"
            "[`levenshtein_batch_into`])."
        )
        assert quillon.jaro_winkler_cdist_into.__doc__ == (
            "Zero-allocation Jaro-Winkler cross-product matrix into a writable,\n"
            "contiguous `(len(list_a), len(list_b))` buffer of `float64` (row-major)."
        )

    def test_star_import_binds_version(self):
        namespace = {}
        exec("from quillon import *", namespace)
        assert namespace["__version__"] == "0.4.1"
        assert set(EXPORTED) <= namespace.keys()

    def test_import_does_not_import_numpy(self):
        code = "import sys, quillon; quillon.levenshtein_distance('a', 'b'); print('numpy' in sys.modules)"
        out = subprocess.run(
            [sys.executable, "-c", code], capture_output=True, text=True, check=True
        )
        assert out.stdout.strip() == "False"

    @pytest.mark.parametrize("name", EXPORTED)
    def test_signatures(self, name):
        function = getattr(quillon, name)
        assert function.__text_signature__ == SIGNATURES[name]
        assert str(inspect.signature(function)) == SIGNATURES[name]


def type_error(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    return info.value


class TestBinding:
    def test_keywords_bind_although_positional_only(self):
        assert quillon.levenshtein_distance(a="x", b="y") == 1
        assert quillon.levenshtein_distance("abc", b="abd") == 1
        assert quillon.fuzz_ratio(b="ab", a="ab", score_cutoff=101) == 0.0
        assert quillon.set_cpu_only(cpu_only=True) is None
        assert quillon.set_gpu_threshold(threshold=3) is None

    def test_too_many_positional(self):
        type_error(
            lambda: quillon.levenshtein_distance("a", "b", "c"),
            "levenshtein_distance() takes 2 positional arguments but 3 were given",
        )
        type_error(
            lambda: quillon.fuzz_ratio("a", "b", 1.0, 2),
            "fuzz_ratio() takes from 2 to 3 positional arguments but 4 were given",
        )
        type_error(
            lambda: quillon.set_gpu_threshold(1, 2),
            "set_gpu_threshold() takes from 0 to 1 positional arguments but 2 were given",
        )

    def test_missing(self):
        type_error(
            lambda: quillon.levenshtein_distance("a"),
            "levenshtein_distance() missing 1 required positional argument: 'b'",
        )
        type_error(
            lambda: quillon.fuzz_qratio(),
            "fuzz_qratio() missing 2 required positional arguments: 'a' and 'b'",
        )
        type_error(
            lambda: quillon.fuzz_ratio(score_cutoff=1.0),
            "fuzz_ratio() missing 2 required positional arguments: 'a' and 'b'",
        )
        type_error(
            lambda: quillon.levenshtein_myers(b="x"),
            "levenshtein_myers() missing 1 required positional argument: 'a'",
        )
        type_error(
            lambda: quillon.set_cpu_only(),
            "set_cpu_only() missing 1 required positional argument: 'cpu_only'",
        )

    def test_bad_keywords(self):
        type_error(
            lambda: quillon.levenshtein_distance("a", c="b"),
            "levenshtein_distance() got an unexpected keyword argument 'c'",
        )
        type_error(
            lambda: quillon.levenshtein_distance("a", "b", a="c"),
            "levenshtein_distance() got multiple values for argument 'a'",
        )
        # Binding fails before any conversion: no note, even with a bad value present.
        error = type_error(
            lambda: quillon.fuzz_ratio(1, "b", cutoff=2),
            "fuzz_ratio() got an unexpected keyword argument 'cutoff'",
        )
        assert not hasattr(error, "__notes__")

    @pytest.mark.parametrize("name", ["is_gpu_available", "warmup", "gpu_info", "hardware_info"])
    def test_no_argument_functions_refuse_arguments(self, name):
        with pytest.raises(TypeError, match=re.escape(f"{name}() takes no arguments (1 given)")):
            getattr(quillon, name)(1)
        with pytest.raises(TypeError):
            getattr(quillon, name)(x=1)


def notes(error):
    return getattr(error, "__notes__", [])


class TestConversions:
    @pytest.mark.parametrize(
        "args, message, parameter",
        [
            ((1, "x"), "'int' object is not an instance of 'str'", "a"),
            (("x", None), "'None' is not an instance of 'str'", "b"),
            ((b"x", "y"), "'bytes' object is not an instance of 'str'", "a"),
            ((1, None), "'int' object is not an instance of 'str'", "a"),
        ],
    )
    def test_str_refusals_carry_a_note(self, args, message, parameter):
        for function in (
            quillon.levenshtein_distance,
            quillon.levenshtein_myers,
            quillon.fuzz_ratio,
        ):
            error = type_error(lambda: function(*args), message)
            assert notes(error) == [f"while processing '{parameter}'"]

    def test_qualified_type_name(self):
        class Outer:
            class Inner:
                pass

        type_error(
            lambda: quillon.levenshtein_distance(Outer.Inner(), "x"),
            "'TestConversions.test_qualified_type_name.<locals>.Outer.Inner' object "
            "is not an instance of 'str'",
        )

    @pytest.mark.parametrize("a, b, parameter", [("\ud800", "a", "a"), ("a", "x\udfffy", "b")])
    def test_lone_surrogate(self, a, b, parameter):
        with pytest.raises(UnicodeEncodeError) as info:
            quillon.levenshtein_distance(a, b)
        assert notes(info.value) == [f"while processing '{parameter}'"]

    def test_str_subclass_accepted(self):
        class Text(str):
            pass

        assert quillon.levenshtein_distance(Text("kitten"), Text("sitting")) == 3
        assert quillon.fuzz_ratio(Text("ab"), "ab") == 100.0

    def test_float_kind(self):
        class Half:
            def __float__(self):
                return 50.0

        class Index:
            def __index__(self):
                return 60

        # "ab"/"ac" scores 50.0 exactly.
        assert quillon.fuzz_ratio("ab", "ac", 50) == 50.0
        assert quillon.fuzz_ratio("ab", "ac", Half()) == 50.0
        assert quillon.fuzz_ratio("ab", "ac", Index()) == 0.0
        assert quillon.fuzz_ratio("ab", "ac", True) == 50.0
        for bad in (None, "50", [50]):
            with pytest.raises(TypeError) as info:
                quillon.fuzz_ratio("ab", "ac", bad)
            assert notes(info.value) == ["while processing 'score_cutoff'"]

    def test_float_conversion_error_passes_through(self):
        class Broken:
            def __float__(self):
                raise ZeroDivisionError("broken")

        with pytest.raises(ZeroDivisionError) as info:
            quillon.fuzz_qratio("a", "b", Broken())
        assert notes(info.value) == ["while processing 'score_cutoff'"]

    def test_bool_kind(self):
        numpy = pytest.importorskip("numpy")
        for accepted in (True, False, numpy.bool_(True), numpy.bool_(False)):
            assert quillon.set_cpu_only(accepted) is None
        for refused, name in [(1, "int"), (0, "int"), ("yes", "str"), (1.0, "float")]:
            error = type_error(
                lambda: quillon.set_cpu_only(refused),
                f"'{name}' object is not an instance of 'bool'",
            )
            assert notes(error) == ["while processing 'cpu_only'"]
        error = type_error(
            lambda: quillon.set_cpu_only(None), "'None' is not an instance of 'bool'"
        )
        assert notes(error) == ["while processing 'cpu_only'"]
        # Other NumPy scalars are not booleans.
        type_error(
            lambda: quillon.set_cpu_only(numpy.int8(1)),
            "'int8' object is not an instance of 'bool'",
        )

    def test_count_or_none_kind(self):
        class Index:
            def __index__(self):
                return 7

        for accepted in (None, 0, 2**64 - 1, True, Index()):
            assert quillon.set_gpu_threshold(accepted) is None
        assert quillon.set_gpu_threshold() is None
        for refused, kind in [
            (-1, OverflowError),
            (2**64, OverflowError),
            (1.5, TypeError),
            ("10", TypeError),
        ]:
            with pytest.raises(kind) as info:
                quillon.set_gpu_threshold(refused)
            assert notes(info.value) == ["while processing 'threshold'"]

    def test_first_failing_parameter_wins(self):
        # a is converted before b, b before score_cutoff.
        error = type_error(
            lambda: quillon.fuzz_ratio(1, 2, None), "'int' object is not an instance of 'str'"
        )
        assert notes(error) == ["while processing 'a'"]
        with pytest.raises(TypeError) as info:
            quillon.fuzz_ratio("a", "b", None)
        assert notes(info.value) == ["while processing 'score_cutoff'"]

    def test_refusals_leak_nothing(self):
        probe = object()
        text = "some text"
        before = sys.getrefcount(probe), sys.getrefcount(text)
        for _ in range(2000):
            for call in (
                lambda: quillon.levenshtein_distance(text, probe),
                lambda: quillon.fuzz_ratio(text, text, probe),
                lambda: quillon.set_cpu_only(probe),
                lambda: quillon.set_gpu_threshold(probe),
                lambda: quillon.levenshtein_distance(text, text, probe),
                lambda: quillon.levenshtein_distance(text, b=text, c=probe),
            ):
                with pytest.raises(TypeError):
                    call()
        assert (sys.getrefcount(probe), sys.getrefcount(text)) == before


class TestFaults:
    def test_internal_fault_becomes_panic_exception(self, internals):
        with pytest.raises(BaseException) as info:
            internals.raise_fault("invariant broken")
        error = info.value
        assert type(error).__module__ == "pyo3_runtime"
        assert type(error).__qualname__ == "PanicException"
        assert type(error).__bases__ == (BaseException,)
        assert not isinstance(error, Exception)
        assert str(error) == "invariant broken"

    def test_fault_type_created_once(self, internals):
        types = set()
        for call in (
            lambda: internals.raise_fault("x"),
            internals.raise_unknown,
            internals.raise_fault_without_gil,
        ):
            with pytest.raises(BaseException) as info:
                call()
            types.add(type(info.value))
        assert len(types) == 1

    def test_fault_messages(self, internals):
        with pytest.raises(BaseException, match="^fault with the lock released$"):
            internals.raise_fault_without_gil()
        with pytest.raises(BaseException) as info:
            internals.raise_unknown()
        assert str(info.value)  # a generic text, never empty

    def test_exhausted_memory_is_memory_error(self, internals):
        with pytest.raises(MemoryError):
            internals.raise_memory_error()


class TestHardwareControls:
    def test_fixed_answers(self):
        ready = quillon.warmup()
        assert type(ready) is tuple and len(ready) == 2
        assert ready[0] is False
        assert ready[1] == "Built without GPU support (cpu-only)"
        assert quillon.is_gpu_available() is False
        assert quillon.gpu_info() == "CPU-only mode (built without gpu feature)"
        assert quillon.hardware_info() == quillon.gpu_info()
        assert quillon.warmup() is not ready  # new objects each call

    def test_setters_change_nothing(self):
        before = [
            quillon.levenshtein_distance("kitten", "sitting"),
            quillon.fuzz_ratio("abc", "abd"),
        ]
        quillon.set_cpu_only(True)
        quillon.set_gpu_threshold(0)
        quillon.set_cpu_only(False)
        quillon.set_gpu_threshold(None)
        assert quillon.is_gpu_available() is False
        after = [
            quillon.levenshtein_distance("kitten", "sitting"),
            quillon.fuzz_ratio("abc", "abd"),
        ]
        assert before == after
