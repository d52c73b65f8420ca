# Shared fixtures of the Python module's tests: an engine per test (closed
# after it), the paths CTest passes, and a small description.
import os

import pytest

import tavelo

EXAMPLES = os.environ.get("TAVELO_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))
TAVELO_BIN = os.environ.get("TAVELO_BIN", "")


@pytest.fixture
def engine():
    with tavelo.Engine(threads=1) as e:
        yield e


@pytest.fixture
def title_card():
    return os.path.join(EXAMPLES, "title_card.json")


def simple_description(color="#204080"):
    return {
        "version": 1,
        "comps": [{
            "name": "Main", "width": 64, "height": 48, "fps": 24, "duration": 1, "background": "#000000",
            "layers": [{"name": "Fill", "solid": {"color": color}}],
        }],
    }
