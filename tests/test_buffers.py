"""The _into forms: caller arrays, their checks in order, and the write hold."""

import array
import subprocess
import sys
import threading

import pytest

import quillon

np = pytest.importorskip("numpy")

# (_into form, its list form, element type)
FORMS = [
    (quillon.levenshtein_batch_into, quillon.levenshtein_batch, np.uint32),
    (quillon.levenshtein_cdist_into, quillon.levenshtein_cdist, np.uint32),
    (quillon.damerau_levenshtein_batch_into, quillon.damerau_levenshtein_batch, np.uint32),
    (quillon.damerau_levenshtein_cdist_into, quillon.damerau_levenshtein_cdist, np.uint32),
    (quillon.jaro_winkler_batch_into, quillon.jaro_winkler_batch_fn, np.float64),
    (quillon.jaro_winkler_cdist_into, quillon.jaro_winkler_cdist, np.float64),
]
WORDS = ["", "a", "abc", "abd", "é", "abcé", "x" * 64, "ab" * 40, "😀b"]


def u32(*shape, fill=7):
    return np.full(shape, fill, dtype=np.uint32)


def matrix(into):
    return "cdist" in into.__name__


def lists(into, k):
    """Arguments with k results, or k rows of three for a cross-product."""
    texts = (["abd", "é", "xyz"] * k)[:k]
    return (texts, ["a", "é", "cc"]) if matrix(into) else ("abc", texts)


def shape(into, k):
    return (k, 3) if matrix(into) else (k,)


@pytest.mark.parametrize("into, listed, dtype", FORMS, ids=[f[0].__name__ for f in FORMS])
class TestEveryForm:
    @pytest.mark.parametrize("tail", [[], ["é", ""]], ids=["ascii", "mixed"])
    def test_equals_list_form(self, into, listed, dtype, tail):
        # Batches across chunks of 4096, with and without texts that leave the lane kernels.
        if matrix(into):
            first, second = WORDS * 4 + tail, WORDS[::-1] * 5
        else:
            first, second = "abcab", [("abcde" * 3)[: 1 + k % 16] for k in range(9000)] + tail
        expected = listed(first, second)
        out = np.full(np.shape(expected), 7, dtype)
        assert into(first, second, out) is None
        assert out.tolist() == expected

    def test_empty_lists(self, into, listed, dtype):
        if not matrix(into):
            # An empty result accepts any layout.
            assert into("a", [], np.zeros(4, dtype)[::2][:0]) is None
            return
        for shape_, a, b in [((0, 3), [], WORDS[:3]), ((2, 0), WORDS[:2], []), ((0, 0), [], [])]:
            assert into(a, b, np.zeros(shape_, dtype)) is None
        with pytest.raises(ValueError, match=r"^out must have shape \(0, 1\), got \[1, 0\]$"):
            into([], ["a"], np.zeros((1, 0), dtype))

    def test_wrong_size_leaves_out_alone(self, into, listed, dtype):
        out = np.full(shape(into, 3), 7, dtype)
        if matrix(into):
            message = r"^out must have shape \(2, 3\), got \[3, 3\]$"
        else:
            message = rf"^out must hold exactly 2 {dtype.__name__} elements, got 3$"
        with pytest.raises(ValueError, match=message):
            into(*lists(into, 2), out)
        assert (out == 7).all()

    def test_refused_kinds(self, into, listed, dtype):
        other = np.float32 if dtype is np.uint32 else np.uint32
        for out, name in [
            ([0] * 6, "list"),
            (array.array("I", [0] * 6), "array"),
            (memoryview(bytearray(48)), "memoryview"),
            (bytearray(48), "bytearray"),
            (np.zeros(shape(into, 2), other), "ndarray"),
            (np.zeros((1, *shape(into, 2)), dtype), "ndarray"),
            (np.zeros(shape(into, 2), np.dtype(dtype).newbyteorder()), "ndarray"),
            (None, None),
        ]:
            with pytest.raises(TypeError) as info:
                into(*lists(into, 2), out)
            subject = "'None'" if name is None else f"'{name}' object"
            assert str(info.value) == f"{subject} is not an instance of 'ndarray'"
            assert not hasattr(info.value, "__notes__")

    def test_layout_and_writability(self, into, listed, dtype):
        read_only = np.zeros(shape(into, 2), dtype)
        read_only.flags.writeable = False
        message = "^out must be a writable array not concurrently borrowed$"
        with pytest.raises(BufferError, match=message):
            into(*lists(into, 2), read_only)
        n = read_only.size
        strided = np.zeros(2 * n, dtype)[::2].reshape(read_only.shape)
        unaligned = np.zeros(n * 8 + 1, np.uint8)[1:].view(dtype)[:n].reshape(read_only.shape)
        for out in (strided, unaligned):
            with pytest.raises(BufferError, match="^out must be C-contiguous$"):
                into(*lists(into, 2), out)

    def test_refusals_release_the_hold(self, into, listed, dtype):
        out = np.full(shape(into, 2), 7, dtype)
        for _ in range(3):
            with pytest.raises(ValueError):
                into(*lists(into, 3), out)
        into(*lists(into, 2), out)
        assert out.tolist() == listed(*lists(into, 2))


def test_order_of_checks():
    # Lists before the buffer; kind before writability before size before layout.
    with pytest.raises(TypeError, match="not iterable"):
        quillon.levenshtein_batch_into("a", 5, [0])
    read_only_wrong_size = u32(3)
    read_only_wrong_size.flags.writeable = False
    with pytest.raises(BufferError):
        quillon.levenshtein_batch_into("a", ["b"], read_only_wrong_size)
    with pytest.raises(ValueError):
        quillon.levenshtein_batch_into("a", ["b"], u32(6)[::2])


def test_subclass_and_equivalent_dtype_accepted():
    class Sub(np.ndarray):
        pass

    out = u32(2).view(Sub)
    quillon.levenshtein_batch_into("a", ["b", "a"], out)
    assert out.tolist() == [1, 0]
    native = np.zeros(2, dtype=np.dtype("=u4"))
    quillon.levenshtein_batch_into("a", ["b", "a"], native)
    assert native.tolist() == [1, 0]


def test_without_numpy_nothing_is_an_array():
    code = (
        "import sys; sys.modules['numpy'] = None\n"
        "import quillon\n"
        "try:\n"
        "    quillon.levenshtein_batch_into('a', ['b'], [0])\n"
        "except TypeError as error:\n"
        "    print(error)\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "'list' object is not an instance of 'ndarray'"


class TestWriteHold:
    def test_concurrent_writers_through_different_views(self):
        # Both threads write the same memory; a call that meets another's hold is refused, and
        # the array always ends holding one call's complete result.
        candidates = ["abcdefgh"[: k % 9] for k in range(200_000)]
        expected = {q: quillon.levenshtein_batch(q, candidates) for q in ("x", "abcd")}
        out = u32(len(candidates))
        views = {"x": out, "abcd": out.view()}
        finished, refused = [], []
        barrier = threading.Barrier(2)

        def work(query):
            barrier.wait()
            for _ in range(20):
                try:
                    quillon.levenshtein_batch_into(query, candidates, views[query])
                    finished.append(query)
                except BufferError as error:
                    assert str(error) == "out must be a writable array not concurrently borrowed"
                    refused.append(query)

        threads = [threading.Thread(target=work, args=(q,)) for q in expected]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert len(finished) + len(refused) == 40 and finished
        assert out.tolist() in expected.values()
