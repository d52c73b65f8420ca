# Each feature set by a description and by the module's calls leaves the
# engine in the same state; the pictures and sound show it; errors, reprs
# and the interpreter lock during renders.
import os
import threading

import pytest

import tavelo

SAMPLE_PLUGINS = os.environ.get("TAVELO_SAMPLE_PLUGINS", "")
PARAM_PLUGINS = os.path.join(os.path.dirname(os.environ.get("TAVELO_TEST_PLUGINS", "")), "params")
NESTED = {"name": "N", "width": 32, "height": 32, "fps": 24, "duration": 2,
          "layers": [{"solid": {"color": "#ff0000"}}]}


def described(keys, render=None):
    layer = dict({"source": "N"}, **keys)
    d = {"comps": [NESTED, {"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 2, "layers": [layer]}]}
    if render:
        d["render"] = render
    return d


def state(project):
    """What the engine holds: its dump and every layer's keys, masks and effects as the module reads them."""
    out = [project.dump()]
    for comp in project.comps:
        for layer in comp:
            out.append([(p, getattr(layer, p).keys) for p in ("position", "scale", "opacity", "time_remap",
                                                                "audio_levels")])
            out.append([(m.name, m.mode, m.inverted, m.shape.keys, m.bezier(), m.feather.keys) for m in layer.masks])
            out.append([(e.match_name, e.enabled, [(n, e.get_text(n) if e.param(n).type == "arbitrary" else
                                                    e.param(n).value, e.param(n).keys) for n in e.param_names])
                        for e in layer.effects])
            out.append((layer.audio, layer.collapse, layer.auto_orient, layer.preserve_transparency,
                        layer.in_point, layer.out_point, layer.stretch))
    return out


def with_keys(prop, keys):
    for t, v in keys:
        prop.add_key(t, v)


def eases(layer):
    with_keys(layer.position, [(0, (0, 0)), (0.5, (10, 0)), (1, (20, 10))])
    layer.position.set_interpolation(2, "bezier", "hold")
    layer.position.set_ease(2, speed_in=5, influence_in=50)
    layer.position.set_tangents(2, tangent_in=(-4, 1))
    layer.position.set_roving(1)
    with_keys(layer.opacity, [(0, 0), (1, 100)])
    layer.opacity.ease(0)


def masks(layer):
    mask = layer.add_mask(rect=(0, 0, 10, 10), mode="subtract")
    mask.set_shape(rect=(0, 0, 10, 10), time=0)
    mask.set_shape(rect=(2, 2, 20, 20), time=1)
    with_keys(mask.feather, [(0, 0), (1, (4, 2))])
    layer.add_mask(path=[(0, 0), (30, 3), (12, 25), (1, 20)], smooth=True, inverted=True)


def remap(layer):
    layer.time_remap.animated = True
    layer.time_remap.set_value(1, time=0)
    layer.time_remap.add_key(1, 0)
    layer.time_remap.remove_key(2)
    layer.audio_levels = (-6, 3)


def switches(layer):
    layer.audio, layer.collapse, layer.auto_orient, layer.effects_on = False, True, True, False
    layer.preserve_transparency = True


FEATURES = [
    ("times", {"offset": 0.5, "in": 1, "out": 1.75}, lambda l: l.set_times(offset=0.5, in_point=1, out_point=1.75)),
    ("backwards", {"stretch": -2, "offset": 1, "in": 0.5, "out": 1},
     lambda l: (setattr(l, "stretch", -2), l.set_times(offset=1, in_point=0.5, out_point=1))),
    ("switches", {"audio": False, "collapse": True, "autoOrient": True, "effectsOn": False,
                  "preserveTransparency": True}, switches),
    ("remap", {"timeRemap": [{"time": 0, "value": 1}, {"time": 1, "value": 0}], "audioLevels": [-6, 3]}, remap),
    ("eases", {"position": [{"time": 0, "value": [0, 0]}, {"time": 0.5, "value": [10, 0], "roving": True},
                            {"time": 1, "value": [20, 10], "outInterpolation": "hold",
                             "easeIn": {"speed": 5, "influence": 50}, "tangentIn": [-4, 1]}],
               "opacity": [{"time": 0, "value": 0, "ease": True}, {"time": 1, "value": 100}]}, eases),
    ("masks", {"masks": [{"rect": [{"time": 0, "value": [0, 0, 10, 10]}, {"time": 1, "value": [2, 2, 20, 20]}],
                          "feather": [{"time": 0, "value": 0}, {"time": 1, "value": [4, 2]}], "mode": "subtract"},
                         {"path": [[0, 0], [30, 3], [12, 25], [1, 20]], "smooth": True, "inverted": True}]}, masks),
]


@pytest.mark.parametrize("name,keys,calls", FEATURES, ids=[f[0] for f in FEATURES])
def test_description_and_calls_agree(engine, name, keys, calls):
    want = state(engine.build(described(keys)))
    project = engine.build(described({}))
    calls(project.comp("C")[0])
    assert state(project) == want


ONE_STEP = [
    ("add_key", lambda l: l.rotation.add_key(0.5, 90, interpolation="bezier")),
    ("ease", lambda l: l.opacity.ease(1)),
    ("set_ease", lambda l: l.opacity.set_ease(0, speed_out=20, influence_out=60)),
    ("add_mask", lambda l: l.add_mask(oval=(0, 0, 9, 9), mode="subtract", inverted=True, feather=2, opacity=50)),
    ("set_shape", lambda l: l.masks[0].set_shape(rect=(1, 1, 5, 5), time=0.5)),
    ("feather_key", lambda l: l.masks[0].feather.add_key(1, 3)),
    ("apply_effect", lambda l: l.apply_effect("Fast Blur", Radius=3)),
    ("add_text", lambda l: l.comp.add_text("Hi", size=12, color="#00ff00", position=(3, 4))),
    ("set_times", lambda l: l.set_times(offset=0.25, in_point=0.5, out_point=1.5)),
]


@pytest.mark.parametrize("name,call", ONE_STEP, ids=[c[0] for c in ONE_STEP])
def test_each_call_is_one_undo_step(engine, name, call):
    # Calls that issue several commands undo as one step, so undo after a
    # call gives back the project as it was before it.
    project = engine.build(described({"opacity": [{"time": 0, "value": 0}, {"time": 1, "value": 100}],
                                      "masks": [{"rect": [0, 0, 8, 8]}]}))
    before = state(project)
    call(project.comp("C")[0])
    assert state(project) != before
    project.undo()
    assert state(project) == before and project.undo_name is None


def test_pixel_aspect_is_not_undone(engine):
    # The composition settings command is one the engine does not undo: it
    # empties the undo stack, as the module's documentation says.
    project = engine.build(described({}))
    project.comp("C").background = 0xFF102030
    project.comp("C").pixel_aspect = 2
    assert project.comp("C").pixel_aspect == 2 and project.undo_name is None


@pytest.mark.skipif(not os.path.isdir(PARAM_PLUGINS), reason="the sample plug-ins are not built")
def test_parameters_of_every_kind():
    with tavelo.Engine(plugins=[SAMPLE_PLUGINS, PARAM_PLUGINS]) as engine:
        fx = [{"effect": "Sample Levels", "params": {"Invert": True, "Channel": "green", "Tint": "#80ff0000"}},
              {"effect": "Audio Gain", "params": {"Gain": 2}},
              {"effect": "Sample Params", "params": {"Angle": 45, "Centre": [10, 20]}}]
        want = state(engine.build(described({"effects": fx})))
        layer = engine.build(described({})).comp("C")[0]
        levels = layer.apply_effect("SMPL Levels", Invert=True, Channel="Green")
        levels.param("Tint").value = (0x80, 0xFF, 0, 0)
        layer.apply_effect("Audio Gain", Gain=2)
        kinds = layer.apply_effect("Sample Params", Angle=45, Centre=(10, 20))
        assert (kinds["Angle"].type, kinds["Centre"].type, kinds["Centre"].value) == ("angle", "point", (10.0, 20.0))
        assert state(engine.project) == want
        assert (levels["Channel"].value, levels["Invert"].value, levels["Tint"].type) == ("Green", True, "colour")
        assert levels["Channel"].choices == ["All", "Red", "Green", "Blue"]
        with pytest.raises(ValueError):
            levels["Channel"].value = "Purple"
        # A duplicate undone is freed with the undo stacks (a pixel aspect
        # change empties them); the plug-in's data of the original lives on.
        comp = engine.project.comp("C")
        frame = comp.render_frame(0)
        layer.duplicate()
        engine.project.undo()
        comp.pixel_aspect = 1
        assert (comp.render_frame(0) == frame).all()


def test_pictures_and_sound_show_it(engine, tmp_path):
    project = engine.build({"comps": [{"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 2, "layers": [
        {"name": "Base", "solid": {"color": "#0000ff", "width": 32, "height": 48}, "position": [16, 24]},
        {"name": "Tint", "solid": {"color": "#ff0000"}, "mode": "copy", "preserveTransparency": True, "offset": 0.5,
         "in": 1, "out": 1.5},
        {"name": "Grow", "solid": {"color": "#00ff00"}, "in": 1.5,
         "masks": [{"rect": [{"time": 1.5, "value": [0, 0, 8, 8]}, {"time": 2, "value": [0, 0, 64, 48]}]}]}]}]})
    comp = project.comp("C")
    blue, red = (0, 0, 255, 255), (255, 0, 0, 255)
    # The tint shows from its composition in point to its out point; copied
    # with the alpha kept, it leaves the transparent half transparent.
    assert [tuple(comp.render_frame(time=t)[10, 10]) for t in (0.95, 1.0, 1.45, 1.5)] == [blue, red, red, blue]
    assert comp.render_frame(time=1.2)[10, 50, 3] == 0
    # The mask grows from its first key.
    green = (0, 255, 0, 255)
    assert tuple(comp.render_frame(time=1.5)[20, 20]) == blue and tuple(comp.render_frame(time=1.95)[20, 20]) == green
    # Proxies: a still in place of the composition where it is nested.
    still = tmp_path / "proxy.png"
    comp.save_frame(str(still), 30)
    comp.set_proxy(still)
    assert comp.proxy == str(still) and comp.proxy_on
    comp.proxy_on = False
    comp.set_proxy(None)
    assert comp.proxy is None
    # The audio switch leaves a layer out of the sound.
    wav = tmp_path / "tone.wav"
    import math
    import wave
    with wave.open(str(wav), "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(48000)
        w.writeframes(b"".join(int(8000 * math.sin(i / 8)).to_bytes(2, "little", signed=True) for i in range(4800)))
    sound = project.import_footage(str(wav))
    layer = comp.add_layer(sound)
    assert comp.render_audio(duration=0.1).any()
    layer.audio = False
    assert not comp.render_audio(duration=0.1).any()
    # A roving key takes the time at which the motion reaches it: a third of
    # the path, a third of the way.
    path = engine.build(described({"position": [{"time": 0, "value": [0, 0]},
                                                {"time": 0.2, "value": [100, 0], "roving": True},
                                                {"time": 1, "value": [300, 0]}]})).comp("C")[0].position
    assert path.keys[1].time == pytest.approx(1 / 3, abs=1e-3) and path.value_at(0.5)[0] == pytest.approx(150, abs=1)


def test_errors_reprs_and_the_lock(engine, tmp_path):
    engine.build(described({}, render={"shutterAngle": 90}))
    assert engine.shutter_angle == 90
    engine.shutter_angle = 180
    project = engine.build(described({}))
    comp = project.comp("C")
    layer = comp[0]
    assert repr(layer) == '<tavelo.Layer "N" of "C">' and repr(layer.opacity) == '<tavelo.Property "Opacity" of layer "N">'
    assert repr(comp) == '<tavelo.Comp "C" (comp, 64 x 48)>' and repr(engine) == "<tavelo.Engine running>"
    for call, kind in [(lambda: setattr(layer, "mode", "sparkle"), ValueError),
                       (lambda: layer.add_mask(path=[(0, 0), (1, 1)]), ValueError),
                       (lambda: layer.add_mask(path=[(0, i) for i in range(70000)]), ValueError),
                       (lambda: setattr(layer, "opacity", "half"), TypeError),
                       (lambda: layer.position.set_ease(0, speed_in=1), tavelo.Error),
                       (lambda: layer.opacity.set_tangents(0, tangent_in=1), tavelo.Error),
                       (lambda: engine.build(42), TypeError)]:
        with pytest.raises(kind) as err:
            call()
        assert isinstance(err.value, tavelo.Error) and err.value.code in (3, 10), err.value
    with pytest.raises(tavelo.Error, match="has at most 65536 points"):
        layer.add_mask(path=[(0, i % 9) for i in range(65537)])
    assert len(layer.add_mask(path=[(i % 7, i % 11) for i in range(65536)]).shape.value) == 65536
    # Other threads run while a frame renders; the engine refuses them meanwhile.
    big = project.new_comp("Big", 1920, 1080, duration=1)
    solid = big.add_solid("Blur", 0xFF808080)
    solid.apply_effect("Fast Blur", Radius=200)
    started, refused = threading.Event(), []

    def render():
        big.render_frame(0, progress=lambda *a: started.set())
    worker = threading.Thread(target=render)
    worker.start()
    assert started.wait(30)
    try:
        big.name
    except tavelo.Error as e:
        refused.append(e.code)
    worker.join()
    assert refused == [3]
    # Codes in the engine's reports are numbers, as error.code is.
    bad = tmp_path / "bad.tvp"
    bad.write_bytes(b"RIFX\x00\x00\x00\x04Egg!")
    with pytest.raises(tavelo.Error) as err:
        engine.open(bad)
    assert err.value.code == 0x1A4A and err.value.message.endswith("(code 6730).")


@pytest.mark.skipif(not os.path.isdir(SAMPLE_PLUGINS), reason="the sample plug-ins are not built")
def test_a_layer_parameter_reads_the_layer_chosen(tmp_path):
    with tavelo.Engine(plugins=[SAMPLE_PLUGINS]) as engine:
        project = engine.build({"comps": [{"name": "C", "width": 16, "height": 8, "fps": 10, "duration": 1, "layers": [
            {"name": "Red", "solid": {"color": "#ff0000"}, "masks": [{"rect": [0, 0, 8, 8]}]},
            {"name": "Blue", "solid": {"color": "#0000ff"}}]}]})
        comp = project.comp("C")
        blue, red = comp.layer("Blue"), comp.layer("Red")
        mix = blue.apply_effect("Sample Layer Mix", Amount=100)
        layer = mix["Mix Layer"]
        assert (layer.type, layer.value, layer.animated, layer.keys) == ("layer", None, False, [])
        assert tuple(comp.render_frame(0)[0, 0]) == (0, 0, 255, 255)
        mix["Mix Layer"] = red
        assert layer.value == red and project.undo_name == "Effect Layer Change"
        # The red layer as it is in its own pixels: masked to its left half.
        row = comp.render_frame(0)[0]
        assert tuple(row[0]) == (255, 0, 0, 255) and row[12, 3] == 0
        for value, error, text in ((blue, ValueError, "an effect cannot read its own layer"),
                                   (project.new_comp("D", 4, 4).add_solid("X", "#00ff00"), ValueError,
                                    "a layer parameter reads a layer of its own composition"),
                                   ("Red", TypeError, "a layer parameter takes a Layer of its composition, or None")):
            with pytest.raises(error, match=text):
                layer.value = value
        with pytest.raises(ValueError, match="a layer parameter is the same at every time"):
            layer.set_value(red, time=0.5)
        with pytest.raises(ValueError, match="a layer parameter has no keys: set its value to a Layer, or None"):
            layer.add_key(0.5, red)
        project.save(str(tmp_path / "mix.tvp"))
        saved = comp.render_frame(0)
        # A duplicate reads its own copy of the layer; moved together into a
        # new composition, the pair stays paired.
        copy = comp.duplicate()
        assert copy[0].effects[0]["Mix Layer"].value == copy.layer("Red")
        inner = comp.precompose([blue, red], "Pair")
        assert inner[0].effects[0]["Mix Layer"].value == inner.layer("Red")
        assert (inner.render_frame(0) == saved).all() and (copy.render_frame(0) == saved).all()
        project.undo()
        red.delete()
        assert layer.value is None and tuple(comp.render_frame(0)[0, 0]) == (0, 0, 255, 255)
        project.undo()
        layer.value = None
        assert layer.value is None
        reopened = engine.open(str(tmp_path / "mix.tvp")).comp("C")
        assert reopened[0].effects[0]["Mix Layer"].value == reopened.layer("Red")
        assert (reopened.render_frame(0) == saved).all()
        # A description names the layer, listed before or after the effect's.
        described = {"comps": [{"name": "C", "width": 16, "height": 8, "fps": 10, "duration": 1, "layers": [
            {"name": "Red", "solid": {"color": "#ff0000"}, "masks": [{"rect": [0, 0, 8, 8]}]},
            {"name": "Blue", "solid": {"color": "#0000ff"},
             "effects": [{"effect": "Sample Layer Mix", "params": {"Amount": 100, "Mix Layer": "Red"}}]}]}]}
        built = engine.build(described).comp("C")
        assert built.layer("Blue").effects[0]["Mix Layer"].value == built.layer("Red")
        assert (built.render_frame(0) == saved).all()
        for name, text in (("Nope", 'no layer named "Nope" in the composition'),
                           ("Blue", "an effect cannot read its own layer")):
            described["comps"][0]["layers"][1]["effects"][0]["params"]["Mix Layer"] = name
            with pytest.raises(tavelo.Error, match=text):
                engine.build(described)
