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


def u32(*shape, fill=7):
    return np.full(shape, fill, dtype=np.uint32)


def lists(into, k):
    """Arguments with k results, or k rows of three for a cross-product, and the out shape."""
    texts = (["abd", "é", "xyz"] * k)[:k]
    if "cdist" in into.__name__:
        return (texts, ["a", "é", "cc"]), (k, 3)
    return ("abc", texts), (k,)


@pytest.mark.parametrize("into, listed, dtype", FORMS, ids=[f[0].__name__ for f in FORMS])
class TestEveryForm:
    def test_large_results_equal_the_list_form(self, into, listed, dtype):
        # Past a MiB the copy into out runs in pieces on the pool; rows straddle the pieces.
        (first, second), shape = lists(into, 300_007 if "batch" in into.__name__ else 1001)
        if "cdist" in into.__name__:
            second = (second * 101)[:301]
            shape = (shape[0], 301)
        out = np.zeros(shape, dtype)
        assert into(first, second, out) is None
        assert out.tolist() == listed(first, second)

    def test_empty_lists(self, into, listed, dtype):
        if "cdist" not in into.__name__:
            # An empty result accepts any layout.
            assert into("a", [], np.zeros(4, dtype)[::2][:0]) is None
            return
        for shape_, a, b in [
            ((0, 3), [], ["", "a", "é"]),
            ((2, 0), ["a", ""], []),
            ((0, 0), [], []),
        ]:
            assert into(a, b, np.zeros(shape_, dtype)) is None
        with pytest.raises(ValueError, match=r"^out must have shape \(0, 1\), got \[1, 0\]$"):
            into([], ["a"], np.zeros((1, 0), dtype))

    def test_refused_outs_are_left_alone_and_released(self, into, listed, dtype):
        args, shape = lists(into, 2)
        out = np.full(shape, 7, dtype)
        read_only = out.copy()
        read_only.flags.writeable = False
        n, other = out.size, np.float32 if dtype is np.uint32 else np.uint32
        strided = np.full(2 * n, 7, dtype)[::2].reshape(shape)
        unaligned = np.zeros(n * 8 + 1, np.uint8)[1:].view(dtype)[:n].reshape(shape)
        unaligned.fill(7)
        if len(shape) == 2:
            wrong_size = r"^out must have shape \(3, 3\), got \[2, 3\]$"
        else:
            wrong_size = rf"^out must hold exactly 3 {dtype.__name__} elements, got 2$"
        held = "^out must be a writable array not concurrently borrowed$"
        swapped = np.full(shape, 7, np.dtype(dtype).newbyteorder())
        for refused, kind, message in [
            ([0] * 6, TypeError, "'list' object"),
            (array.array("I", [0] * 6), TypeError, "'array' object"),
            (memoryview(bytearray(48)), TypeError, "'memoryview' object"),
            (bytearray(48), TypeError, "'bytearray' object"),
            (np.full(shape, 7, other), TypeError, "'ndarray' object"),
            (np.full((1, *shape), 7, dtype), TypeError, "'ndarray' object"),
            (swapped, TypeError, "'ndarray' object"),
            (None, TypeError, "'None'"),
            (read_only, BufferError, held),
            (strided, BufferError, "^out must be C-contiguous$"),
            (unaligned, BufferError, "^out must be C-contiguous$"),
        ]:
            if kind is TypeError:
                message = f"^{message} is not an instance of 'ndarray'$"
            with pytest.raises(kind, match=message) as info:
                into(*args, refused)
            assert not hasattr(info.value, "__notes__")
            if isinstance(refused, np.ndarray):
                assert (refused == 7).all()
        # Refused for its size, out is left alone and not held: the next call writes it.
        with pytest.raises(ValueError, match=wrong_size):
            into(*lists(into, 3)[0], out)
        assert (out == 7).all()
        into(*args, out)
        assert out.tolist() == listed(*args)


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
