# Text layers from Python and from descriptions: drawn where the position
# says, keyed, typed in, their text set undoably, the same after a save.
import os

import numpy as np
import pytest

import tavelo
from conftest import EXAMPLES, simple_description

SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def ink(rgba):
    """Rows and columns where the frame differs from the black background."""
    ys, xs = np.nonzero(rgba[..., :3].max(axis=2))
    return (ys.min(), ys.max(), xs.min(), xs.max()) if len(xs) else None


def test_add_text_keyed_and_typed_in(engine):
    project = engine.build(simple_description())
    comp = project.new_comp("Title", 320, 120, fps=10, duration=2, background=0xFF000000)
    layer = comp.add_text("Hello", font=SANS, size=30, color="#ff0000", align="left", position=(40, 60))
    assert layer.name == "Hello" and layer.source.kind == "solid"
    text = layer.effects[0]
    assert text.match_name == "TVLO Text" and text.get_text("Font") == SANS
    top, bottom, left, right = ink(comp.render_frame(0))
    assert 40 <= left <= 44 and bottom <= 60 < bottom + 2
    size = text.param("Size")
    size.add_key(0.0, 30)
    size.add_key(1.0, 60)
    grown = ink(comp.render_frame(10))
    assert abs((grown[1] - grown[0]) - 2 * (bottom - top)) <= 2
    shown = text.param("Characters Shown")
    shown.add_key(0.0, 0.0)
    shown.add_key(1.0, 100)
    assert ink(comp.render_frame(0)) is None
    half = ink(comp.render_frame(5))
    assert half is not None and half[3] < ink(comp.render_frame(10))[3]
    frame = comp.render_frame(10)
    assert tuple(frame[(grown[0] + grown[1]) // 2, :, 0].nonzero()[0][:1]) != ()
    assert frame[..., 1].max() == 0 and frame[..., 2].max() == 0  # red only
    with pytest.raises(ValueError, match="a value must be finite"):
        comp.add_text("Not a number", size=float("nan"))
    assert len(comp) == 1


def test_set_text_undo_and_save(engine, tmp_path):
    project = engine.build(simple_description())
    comp = project.comp("Main")
    layer = comp.add_text("One", font=SANS, size=20, name="Caption")
    text = layer.effects[0]
    before = comp.render_frame(0)
    text.set_text("Text", "Two")
    assert project.undo_name == "Effect Text Change" and text.get_text(1) == "Two"
    changed = comp.render_frame(0)
    assert not np.array_equal(before, changed)
    project.undo()
    assert text.get_text("Text") == "One" and np.array_equal(comp.render_frame(0), before)
    project.redo()
    with pytest.raises(tavelo.Error) as e:
        text.set_text("Size", "12")
    assert e.value.code == 3
    # The text itself is no property: no keys, no limits, and a read of its
    # value says where the text is read.
    words = text.param("Text")
    assert (words.type, words.keys, words.num_keys, words.animated, words.limits) == \
        ("arbitrary", [], 0, False, (None, None))
    with pytest.raises(tavelo.Error, match=r"holds the effect's own data: read it with Effect.get_text\(\)"):
        words.value
    with pytest.raises(tavelo.Error):
        comp.add_text("x", sparkle=1)
    path = str(tmp_path / "caption.tvp")
    project.save(path)
    reopened = engine.open(path).comp("Main")
    assert reopened.layer("Caption").effects[0].get_text("Text") == "Two"
    assert np.array_equal(reopened.render_frame(0), changed)


def test_lower_third_example_frames_equal_the_hosts(engine):
    comp = engine.open(os.path.join(EXAMPLES, "lower_third.json")).comp("Lower Third")
    assert [l.name for l in comp] == ["Title", "Name", "Bar"]
    assert ink(comp.render_frame(12)) is not None
    # Typed in: more of the name at 1 second than at 0.75.
    early, late = comp.render_frame(18), comp.render_frame(24)
    assert np.count_nonzero(late[..., 0] == 255) > np.count_nonzero(early[..., 0] == 255)
