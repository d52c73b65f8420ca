"""Tavelo engine for Python: projects, compositions, layers, keyframes,
effects and masks, with frames and sound rendered into NumPy arrays.

    import tavelo
    with tavelo.Engine() as engine:
        project = engine.open("examples/title_card.json")
        comp = project.comp("Title")
        rgba = comp.render_frame(12)        # height x width x 4, uint8, RGBA

Only one engine lives in a process at a time.  Functions of this module
(``tavelo.open``, ``tavelo.new_project`` ...) use the running engine, or
start one on first use that stops when Python exits.
"""
import atexit
import builtins as _builtins
import json as _json
import os as _os
import re as _re
import weakref as _weakref
from collections import namedtuple as _namedtuple

from ._tavelo import (  # noqa: F401
    ArgumentError,
    ArgumentTypeError,
    Comp,
    Effect,
    Error,
    Item,
    Layer,
    Mask,
    Project,
    Property,
    UndoGroup,
    is_running,
    live_counts,
)
from . import _tavelo
from ._tavelo import __revision__, __version__  # noqa: F401

__all__ = [
    "Engine", "Error", "ArgumentError", "ArgumentTypeError", "Project", "Item", "Comp", "Layer", "Property", "Mask", "Effect", "Key", "UndoGroup",
    "engine", "open", "new_project", "build", "effects", "live_counts", "is_running",
]

Key = _namedtuple("Key", ["time", "value", "in_interpolation", "out_interpolation", "speed_in", "influence_in",
                         "speed_out", "influence_out", "tangent_in", "tangent_out", "roving"],
                  defaults=(None, None, None, None, None, None, False))
Key.__doc__ = ("A keyframe: composition time in seconds, value in user units, interpolations, the speeds (user "
               "units a second) and influences (percent) of its sides, its spatial tangents (motion paths) and "
               "whether it roves.")


_UNITS = {"": 1 << 20, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30, "T": 1 << 40}


def _memory_bytes(memory):
    """Bytes of a budget given as a number of bytes or as "512M", "2G", "1.5G" (a bare number in a string is MB)."""
    if memory is None:
        return 0
    if isinstance(memory, int) and not isinstance(memory, bool):
        if memory <= 0:
            raise Error("a memory budget is a positive number of bytes")
        return memory
    if isinstance(memory, str):
        m = _re.fullmatch(r"\s*([0-9]+(?:\.[0-9]*)?)\s*([KMGT]?)(?:I?B)?\s*", memory.upper())
        if m and float(m.group(1)) > 0:
            return int(float(m.group(1)) * _UNITS[m.group(2)])
    raise Error('a memory budget is bytes or a size such as "512M" or "2G", not %r' % (memory,))


class Engine(_tavelo._Engine):
    """The engine's life: born here, ended by close() or the end of a with block.

    plugins: folders searched for effect plug-ins (*.tvx).
    threads: row threads for rendering (0: one per processor; None: the default).
    memory: the memory budget, bytes or a size such as "512M" or "2G" (None: the
        preferences, else the control group's limit, else physical memory).
    """

    _current = None

    def __init__(self, plugins=(), threads=None, memory=None):
        if isinstance(plugins, (str, bytes)):
            plugins = [plugins]
        super().__init__([_os.fspath(p) for p in plugins], -1 if threads is None else int(threads),
                         _memory_bytes(memory))
        Engine._current = _weakref.ref(self)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def open(self, path):
        """Opens a project file, or builds a .json project description, in place of the open project."""
        return super().open(_os.fspath(path))

    def build(self, description, base_dir=None):
        """Builds a project description (a dict, JSON text, or the path of a .json file) into a new project."""
        if isinstance(description, dict):
            text, name = _json.dumps(description), "description"
        elif isinstance(description, _os.PathLike) or (
                isinstance(description, str) and description.endswith(".json") and _os.path.isfile(description)):
            path = _os.fspath(description)
            with _builtins.open(path, "r", encoding="utf-8") as f:
                text = f.read()
            name = path
            base_dir = base_dir or _os.path.dirname(_os.path.abspath(path))
        elif isinstance(description, str):
            text, name = description, "description"
        else:
            error = ArgumentTypeError("a description is a dict, JSON text or the path of a .json file")
            error.code, error.location, error.message = 3, 0, str(error)
            raise error
        return self._build_text(text, name, _os.fspath(base_dir or _os.getcwd()))


def engine():
    """The running engine; one is started (and stopped when Python exits) when none runs."""
    current = Engine._current() if Engine._current else None
    if current is not None and not current.closed:
        return current
    if is_running():
        raise Error("an engine runs that this module did not start")
    started = Engine()
    _keep.append(started)
    atexit.register(started.close)
    return started


_keep = []


def open(path):  # noqa: A001 - the module's verb, as in tavelo.open("x.json")
    """Opens a project file or a .json description with the running engine."""
    return engine().open(path)


def new_project():
    """Closes the open project and starts an empty one."""
    return engine().new_project()


def build(description, base_dir=None):
    """Builds a project description (dict, JSON text or .json path) with the running engine."""
    return engine().build(description, base_dir)


def effects():
    """(display name, match name) of every installed effect."""
    return engine().effects()
