# Pre-composing from Python renders as before and undoes in one step.
import numpy as np
import pytest

import tavelo

NESTED = {"name": "N", "width": 24, "height": 24, "fps": 24, "duration": 2,
          "layers": [{"solid": {"color": "#ff8000", "width": 12, "height": 12},
                      "rotation": [{"time": 0, "value": 0}, {"time": 2, "value": 90}]}]}
MAIN = {"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 2, "motionBlur": True, "layers": [
    {"name": "Back", "solid": {"color": "#203a70"}},
    {"name": "Bar", "solid": {"color": "#ff0000", "width": 20, "height": 10}, "motionBlur": True,
     "position": [{"time": 0, "value": [10, 10]}, {"time": 2, "value": [50, 40]}],
     "masks": [{"oval": [0, 0, 20, 10], "feather": 2}]},
    {"name": "Nest", "source": "N", "position": [40, 20], "scale": 50, "in": 0.5},
    {"name": "Top", "solid": {"color": "#00ff00", "width": 8, "height": 8}, "opacity": 60}]}
TIMES = (0, 0.5, 1.25, 1.9)


def frames(comp):
    return [comp.render_frame(time=t).astype(int) for t in TIMES]


def test_precompose_renders_as_before_and_undoes_in_one_step(engine):
    project = engine.build({"comps": [NESTED, MAIN]})
    comp = project.comp("C")
    before, names = frames(comp), [l.name for l in comp]
    # Moving the attributes: the layers go with everything they hold; the
    # new composition's layer takes the place of the topmost.
    inner = comp.precompose([comp.layer("Nest"), comp.layer("Bar")], "Inner")
    assert isinstance(inner, tavelo.Comp) and inner.name == "Inner"
    assert [l.name for l in inner] == ["Nest", "Bar"] and (inner.width, inner.height) == (64, 48)
    assert [l.name for l in comp] == ["Top", "Inner", "Back"] and comp[1].source == inner
    assert project.undo_name == "Pre-compose"
    # Opaque layers give the same pixels; where they are translucent (the
    # feathered edge, the blur) they meet the layers below once, as one.
    for got, want in zip(frames(comp), before):
        assert np.abs(got - want).max() <= 2
    project.undo()
    assert [l.name for l in comp] == names and project.find("Inner") is None
    assert all(np.array_equal(g, w) for g, w in zip(frames(comp), before))
    # Leaving the attributes: the layer keeps its transform and times, its
    # source goes into a composition of the source's size.
    layer = comp.layer("Nest")
    outer = comp.precompose(layer, move_attributes=False)
    assert (outer.name, outer.width, outer.height, comp.layer("Nest").source) == ("N", 24, 24, outer)
    assert comp.layer("Nest").in_point == 0.5
    assert all(np.array_equal(g, w) for g, w in zip(frames(comp), before))
    project.undo()
    assert comp.layer("Nest").source == project.find("N") and len(project.comps) == 2


def test_precompose_refusals_change_nothing(engine):
    project = engine.build({"comps": [NESTED, MAIN]})
    comp, other = project.comp("C"), project.comp("N")
    undo = project.undo_name
    for call, kind in [(lambda: comp.precompose([]), ValueError),
                       (lambda: comp.precompose(other[0]), ValueError),
                       (lambda: comp.precompose([comp[0], comp[0]]), ValueError),
                       (lambda: comp.precompose("Top"), TypeError),
                       (lambda: comp.precompose([comp[0], comp[1]], move_attributes=False), ValueError),
                       (lambda: comp.precompose(comp[0], "x" * 32), ValueError),
                       (lambda: comp.precompose(comp.layer("Bar"), move_attributes=False), tavelo.Error)]:
        with pytest.raises(kind) as err:
            call()
        assert err.value.code == 3
    assert project.undo_name == undo and len(project.comps) == 2
    assert "cannot be pre-composed on its own" in str(err.value)


def test_shutter_phase_moves_the_blur(engine):
    # A 4-pixel bar moving 16 pixels a frame (10 fps), blurred over half a
    # frame: the blur's centre moves 16 pixels for each whole turn of phase.
    bar = {"solid": {"color": "#ffffff", "width": 4, "height": 8}, "motionBlur": True,
           "position": [{"time": 0, "value": [0, 4]}, {"time": 0.4, "value": [64, 4]}]}
    description = {"render": {"shutterAngle": 180, "shutterPhase": -90},
                   "comps": [{"name": "C", "width": 64, "height": 8, "fps": 10, "duration": 0.4,
                              "motionBlur": True, "layers": [bar]}]}
    comp = engine.build(description).comp("C")
    assert engine.shutter_phase == -90

    def centre():
        alpha = comp.render_frame(2)[4, :, 3].astype(float)
        return (alpha * np.arange(64)).sum() / alpha.sum()
    shifted = centre()
    centres = {}
    for phase in (0, 180, -360, 360):
        engine.shutter_phase = phase
        centres[phase] = centre()
    engine.shutter_phase = 0
    # Opening at the frame's time, the bar (columns 30 to 33) sweeps 8 pixels to the right.
    assert 31.5 + 3.5 < centres[0] <= 31.5 + 4
    for phase, got in list(centres.items()) + [(-90, shifted)]:
        assert got - centres[0] == pytest.approx(16 * phase / 360, abs=0.15), phase
    for bad in (360.5, -400, float("nan")):
        with pytest.raises(ValueError):
            engine.shutter_phase = bad
    description["render"]["shutterPhase"] = 400
    with pytest.raises(tavelo.Error, match="shutterPhase"):
        engine.build(description)
    assert engine.shutter_phase == 0


def test_leaving_the_attributes_keeps_a_footage_pixel_aspect(engine, tmp_path):
    # A still of pixels twice as wide as high: pre-composed on its own, it
    # goes into a composition of its pixel aspect, and shows as before
    # (in one of square pixels it was drawn twice as wide and cut).
    still = engine.build({"comps": [{"name": "S", "width": 8, "height": 8, "fps": 24, "duration": 1, "layers": [
        {"solid": {"color": "#ff8000", "width": 4, "height": 8}, "position": [2, 4]},
        {"solid": {"color": "#2060c0", "width": 4, "height": 8}, "position": [6, 4]}]}]})
    still.comp("S").save_frame(str(tmp_path / "still.png"), 0)
    project = engine.build({"footage": [{"name": "F", "file": str(tmp_path / "still.png"),
                                         "interpretation": {"pixelAspect": 2}}],
                            "comps": [{"name": "C", "width": 32, "height": 16, "fps": 24, "duration": 1,
                                       "layers": [{"source": "F", "rotation": 10}]}]})
    comp = project.comp("C")
    before = comp.render_frame(0)
    inner = comp.precompose(comp[0], move_attributes=False)
    assert (inner.width, inner.height, inner.pixel_aspect) == (8, 8, 2)
    assert np.array_equal(comp.render_frame(0), before)



@pytest.mark.parametrize("mode", ["lumaStencil", "lumaCutout"])
def test_a_masked_luma_stencil_keeps_to_its_mask(engine, mode):
    # A white square over orange, masked to its left half: only what the
    # mask shows stencils (or cuts), at full resolution as at half, where
    # the layer is drawn by another road.
    def comp(feather):
        return engine.build({"comps": [{"name": "C", "width": 40, "height": 40, "fps": 24, "duration": 1, "layers": [
            {"name": "Back", "solid": {"color": "#ff8000"}},
            {"name": "Stencil", "solid": {"color": "#ffffff", "width": 20, "height": 20}, "mode": mode,
             "masks": [{"rect": [0, 0, 10, 20], "feather": feather}]}]}]}).comp("C")
    stencil = mode == "lumaStencil"
    c = comp(0)
    for resolution in (1, 2):
        c.resolution = resolution
        row = c.render_frame(0)[20 // resolution, :, 3].astype(int)
        want = np.full(40, 0 if stencil else 255)
        want[10:20] = 255 if stencil else 0
        assert list(row) == list(want[::resolution]), resolution
    # A feathered edge fades the stencil as it fades the layer.
    row = comp(4).render_frame(0)[20, :, 3].astype(int)
    edge = row[17:23] if stencil else 255 - row[17:23]
    assert all(a > b for a, b in zip(edge, edge[1:])) and edge[0] < 255 and edge[-1] > 0, list(row)


def test_a_nested_composition_inside_a_collapsed_one_moves_once(engine):
    # Inner (a 20 x 10 solid) is nested whole in Mid; Mid is collapsed into
    # Out, moved 16.5 and 10 pixels. Inner's frame goes through Mid's
    # layer's matrix once, as it does without the collapse.
    inner = {"name": "Inner", "width": 47, "height": 20, "fps": 24, "duration": 1,
             "layers": [{"solid": {"color": "#0f6264", "width": 20, "height": 10}}]}
    mid = {"name": "Mid", "width": 47, "height": 20, "fps": 24, "duration": 1, "layers": [{"source": "Inner"}]}
    def out(name, collapse):
        return {"name": name, "width": 80, "height": 40, "fps": 24, "duration": 1,
                "layers": [{"source": "Mid", "collapse": collapse, "position": [40, 20]}]}
    project = engine.build({"comps": [inner, mid, out("Collapsed", True), out("Nested", False)]})
    for resolution in (1, 2):
        frames = []
        for name in ("Collapsed", "Nested"):
            comp = project.comp(name)
            comp.resolution = resolution
            frames.append(comp.render_frame(0).astype(int))
        ys, xs = np.nonzero(frames[0][..., 3] > 127)
        assert (xs.min(), ys.min()) == (30 // resolution, 15 // resolution)
        assert np.array_equal(frames[0], frames[1]), resolution


def test_a_proxy_of_another_size_stands_in_at_the_items_size(engine, tmp_path):
    # A composition nested turned and scaled, then given a proxy: its own
    # frame (the same pixels) and a half-size copy of it. Both fill the
    # layer as the composition did; the half-size one is only softer.
    project = engine.build({"comps": [
        {"name": "Inner", "width": 64, "height": 48, "fps": 24, "duration": 1,
         "layers": [{"solid": {"color": "#ff8000", "width": 30, "height": 20}, "rotation": 20,
                     "masks": [{"rect": [0, 0, 15, 20]}]}]},
        {"name": "Outer", "width": 100, "height": 80, "fps": 24, "duration": 1,
         "layers": [{"source": "Inner", "position": [40, 30], "scale": 80, "rotation": 10}]}]})
    inner, outer = project.comp("Inner"), project.comp("Outer")
    inner.save_frame(str(tmp_path / "full.png"), 0)
    inner.resolution = 2
    inner.save_frame(str(tmp_path / "half.png"), 0)
    inner.resolution = 1
    want = outer.render_frame(0).astype(int)
    inner.set_proxy(str(tmp_path / "full.png"))
    assert np.array_equal(outer.render_frame(0).astype(int), want)
    inner.set_proxy(str(tmp_path / "half.png"))
    got = outer.render_frame(0).astype(int)
    box = lambda a: (lambda ys, xs: (xs.min(), xs.max(), ys.min(), ys.max()))(*np.nonzero(a[..., 3] > 127))
    assert np.abs(np.subtract(box(got), box(want))).max() <= 1 and (inner.width, inner.height) == (64, 48)
    assert np.abs(got - want).mean() < 3
