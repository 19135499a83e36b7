import os

import pytest
from hypothesis import HealthCheck, settings

# The first parallel call starts the worker pool; timing is not what these tests are about.
settings.register_profile(
    "ci", deadline=None, max_examples=200, suppress_health_check=[HealthCheck.too_slow]
)
settings.register_profile("dev", deadline=None, max_examples=60)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "ci"))


@pytest.fixture(scope="session")
def internals():
    """The test-only extension with the internal kernels (built with QUILLON_TESTING=ON)."""
    try:
        import quillon._testing as internals
    except ImportError:  # pragma: no cover - a build without the test extension
        pytest.fail(
            "quillon._testing is missing: install with "
            "`pip install -C cmake.define.QUILLON_TESTING=ON '.[test]'` (see README)"
        )
    return internals
