# Bad input raises tavelo.Error (never a crash), objects of a closed engine
# refuse to work, and no engine memory is left once the objects are gone.
import gc

import pytest

import tavelo
from conftest import simple_description


def test_bad_arguments_raise_error(engine, tmp_path):
    project = engine.build(simple_description())
    comp = project.comp("Main")
    layer = comp[0]
    cases = [
        (lambda: comp.add_layer(None), 3),
        (lambda: comp.add_layer(layer), 3),
        (lambda: comp.render_frame(24), 10),
        (lambda: comp.render_frame(0, time=0.1), 3),
        (lambda: comp.render_audio(channels=3), 3),
        (lambda: comp.render_audio(dtype="int24"), 3),
        (lambda: layer.position.set_value((1, 2, 3)), 3),
        (lambda: layer.opacity.set_value(float("nan")), 3),
        (lambda: layer.opacity.set_value(None), 3),
        (lambda: layer.opacity.remove_key(0), 3),
        (lambda: layer.property("Wobble"), 10),
        (lambda: layer.apply_effect("No Such Effect"), 10),
        (lambda: layer.add_mask(rect=(10, 10, 5, 5)), 3),
        (lambda: layer.add_mask(rect=(0, 0, 1, 1), oval=(0, 0, 1, 1)), 3),
        (lambda: project.comp("Nope"), 10),
        (lambda: project.new_comp("", 10, 10), 3),
        (lambda: project.new_comp("Big", 0, 10), 3),
        (lambda: comp.render_frame(0, progress=42), 3),
        (lambda: engine.open(tmp_path / "missing.tvp"), -43),
        (lambda: engine.build({"version": 1, "comps": []}), 3),
        (lambda: tavelo.Engine(), 12),
    ]
    for call, code in cases:
        with pytest.raises(tavelo.Error) as err:
            call()
        assert err.value.code == code, (err.value, code)
        assert err.value.message
    # A damaged file: the engine's own report, with its location.
    bad = tmp_path / "bad.tvp"
    bad.write_bytes(b"RIFX\x00\x00\x00\x04Egg!")
    with pytest.raises(tavelo.Error) as err:
        engine.open(bad)
    assert err.value.location >> 24 != 0 and str(err.value).startswith("opening")
    # A wrong type is Python's own TypeError.
    with pytest.raises(TypeError):
        comp.render_frame("zero")


def test_freed_and_closed_handles(tmp_path):
    with tavelo.Engine() as engine:
        project = engine.build(simple_description())
        comp = project.comp("Main")
        layer = comp[0]
        layer.delete()
        project.undo()
        assert comp[0].name == "Fill"
        engine.new_project()
        with pytest.raises(tavelo.Error, match="belongs to a project that was closed") as err:
            comp.name
        assert err.value.code == 3
        # The new project's records may take the old ones' places: an old
        # handle still never reaches them.
        for _ in range(20):
            fresh = engine.build(simple_description()).comp("Main")
            for old in (comp, layer):
                with pytest.raises(tavelo.Error, match="project that was closed"):
                    old.name
            comp, layer = fresh, fresh[0]
    assert engine.closed
    for call in (lambda: comp.name, lambda: layer.opacity.value, lambda: project.comps, lambda: engine.project):
        with pytest.raises(tavelo.Error) as err:
            call()
        assert err.value.code == 3
    # A new engine does not accept the old one's objects.
    with tavelo.Engine() as again:
        other = again.build(simple_description()).comp("Main")
        with pytest.raises(tavelo.Error):
            comp.frame_count
        with pytest.raises(tavelo.Error):
            other.add_layer(comp)


def test_automatic_engine_and_no_leaks(title_card):
    with tavelo.Engine():
        pass
    gc.collect()
    before = tavelo.live_counts()
    for _ in range(2):
        with tavelo.Engine() as engine:
            comp = engine.open(title_card).comp("Title")
            comp.render_frame(3)
            comp.render_audio(duration=0.25)
            keys = comp.layer("Bar").opacity.keys
            assert len(keys) == 2
            counts = tavelo.live_counts()
            assert counts["sound_worlds"] == 0
            with pytest.raises(tavelo.Error):
                comp.render_frame(999)
        del comp, engine
        gc.collect()
        assert tavelo.live_counts() == before
    # Module functions start an engine on first use.
    project = tavelo.build(simple_description())
    assert tavelo.is_running() and tavelo.engine().project.comps[0].name == "Main"
    assert project.comp("Main").render_frame(0).shape == (48, 64, 4)
    tavelo.engine().close()
    assert not tavelo.is_running()
