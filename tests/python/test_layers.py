# Items in folders, layer settings and their undo, properties' limits and
# samples, masks from paths and ovals, frames saved through the engine.
import json
import os
import subprocess

import numpy as np
import pytest

import tavelo
from conftest import TAVELO_BIN, simple_description


def test_items_and_layer_settings(engine):
    project = engine.build(simple_description())
    comp = project.comp("Main")
    folder = project.new_folder("Shots")
    assert folder.kind == "folder" and folder.parent is None and comp.parent is None
    assert {i.name for i in project.items} >= {"Main", "Shots"}
    comp.name = "Edit"
    assert project.find("Main") is None and project.comp("Edit") == comp
    copy = comp.duplicate()
    assert copy != comp and len(copy) == 1 and copy.kind == "comp"

    top = comp.add_solid("Top", 0xFF00FF00, width=8, height=8)
    # Colours as descriptions write them: "#rrggbb" is opaque.
    assert tuple(project.new_comp("Swatch", 2, 2, background="#204060").add_solid("Red", "#ff0000")
                 .comp.render_frame(0)[0, 0]) == (255, 0, 0, 255)
    with pytest.raises(ValueError, match="a colour is an int 0xAARRGGBB or a string"):
        comp.add_solid("Bad", "red")
    assert [l.name for l in comp.layers] == ["Top", "Fill"]
    fill = comp.layer("Fill")
    assert [l.name for l in comp.layers] == ["Top", "Fill"]
    top.index = 1
    assert [l.name for l in comp] == ["Fill", "Top"]
    for index in (2, -1):
        with pytest.raises(tavelo.Error, match=r"index %d is outside the composition's layers \(0 to 1\)" % index):
            top.index = index
    top.set_times(in_point=0.25, out_point=0.75)
    assert (top.in_point, top.out_point, top.offset) == (0.25, 0.75, 0.0)
    # A refused call changes nothing, the offset it names included; an
    # accepted one is one undo step.
    before = (top.in_point, top.out_point, top.offset, project.undo_name)
    with pytest.raises(ValueError, match="out point must be later"):
        top.set_times(offset=0.5, out_point=0.5)
    assert (top.in_point, top.out_point, top.offset, project.undo_name) == before
    top.set_times(offset=0.5, out_point=1.5)
    assert (top.in_point, top.out_point, top.offset) == (0.75, 1.5, 0.5)
    project.undo()
    assert (top.in_point, top.out_point, top.offset, project.undo_name) == before
    top.visible = False
    top.quality = "draft"
    top.mode = "add"
    fill.track_matte = "luma"
    assert (top.visible, top.quality, top.mode, fill.track_matte) == (False, "draft", "add", "luma")
    with pytest.raises(tavelo.Error):
        top.mode = "sparkle"
    twin = top.duplicate()
    twin.name = "Twin"
    assert len(comp) == 3 and twin.source.kind == "solid" and twin.source != top.source
    twin.delete()
    assert len(comp) == 2
    # A deleted layer takes no more changes (they would change nothing shown
    # and still take undo steps) until its deletion is undone.
    for change in (lambda: setattr(twin, "opacity", 50), lambda: twin.add_mask(rect=(0, 0, 4, 4)),
                   lambda: twin.index, lambda: twin.delete()):
        with pytest.raises(tavelo.Error, match="the layer was deleted"):
            change()
    assert repr(twin) == "<tavelo.Layer (gone)>"
    project.undo()
    assert twin.index == 1 and twin.name == "Twin"
    twin.delete()
    nested = comp.add_layer(copy)
    assert nested.source == copy
    with pytest.raises(tavelo.Error):
        copy.add_layer(comp)  # a composition cannot contain itself


def test_properties_limits_samples_and_undo_on_failure(engine):
    project = engine.build(simple_description())
    layer = project.comp("Main")[0]
    assert layer.opacity.limits == (0.0, 100.0)
    assert layer.property("Rotation").index == layer.rotation.index
    # By number: the layer's own, its masks' and its effects'; a number it
    # has not is refused, and a mask's follows its mask.
    for number in (10, 128, 512, -1):
        with pytest.raises(tavelo.Error, match="the layer has no property number %d " % number):
            layer.property(number)
    first, second = layer.add_mask(rect=(0, 0, 4, 4)), layer.add_mask(rect=(0, 0, 8, 8))
    feather = layer.property(128 + 3 + 1)
    first.delete()
    feather.value = 2
    assert second.feather.value == (2.0, 2.0) and feather.index == 128 + 1
    second.delete()
    layer.rotation.add_key(0, 0)
    layer.rotation.add_key(1, 90, interpolation="bezier")
    layer.rotation.ease(0)
    samples = layer.rotation.sample([0, 0.5, 1])
    assert samples[0] == 0 and samples[2] == 90 and 0 < samples[1] < 90
    assert layer.rotation.keys[1].in_interpolation == "bezier"
    layer.rotation.animated = False
    assert layer.rotation.num_keys == 0
    # A failure inside an undo group still closes the group.
    with pytest.raises(ZeroDivisionError):
        with project.undo_group("Broken"):
            layer.position = (1, 2)
            1 / 0
    assert project.undo_name == "Broken"
    project.undo()
    assert layer.position.value == (32.0, 24.0)


def test_times_at_frames_of_ntsc_rates_fall_on_them(engine):
    # 29.97 and 59.94 fps frames are not on the grid of other times: a hold
    # key or an in point at frame_time(k) acts at frame k, as at 30 fps.
    alphas = {}
    for fps in (30, 29.97, 59.94):
        comp = engine.new_project().new_comp("C", 4, 4, fps=fps, duration=1)
        solid = comp.add_solid("S", 0xFFFF0000)
        for k in range(12):
            solid.opacity.add_key(comp.frame_time(k), 5 * k, interpolation="hold")
        solid.set_times(in_point=comp.frame_time(2))
        alphas[fps] = [int(comp.render_frame(k)[0, 0, 3]) for k in range(12)]
        assert [int(comp.render_frame(time=round(comp.frame_time(k), 7))[0, 0, 3]) for k in range(12)] == alphas[fps]
    assert alphas[30][:3] == [0, 0, 26]
    assert alphas[29.97] == alphas[30] and alphas[59.94] == alphas[30]
    # A duration of n frames' times holds n frames.
    project = engine.new_project()
    assert project.new_comp("D", 4, 4, fps=29.97, duration=3 * 1001 / 30000).frame_count == 3
    # Frames whose times the engine cannot hold are refused, and nothing is left.
    with pytest.raises(tavelo.Error, match="at this frame rate a composition lasts at most 35791 s"):
        project.new_comp("Long", 4, 4, fps=59.94, duration=36000)
    assert [item.name for item in project.items] == ["D"] and project.redo_name is None


def test_mask_shapes_and_saved_frames(engine, tmp_path):
    project = engine.build(simple_description("#ffffff"))
    comp = project.comp("Main")
    layer = comp[0]
    tri = layer.add_mask(path=[(0, 0), (64, 0), (0, 48)])
    tri.name = "Corner"
    tri.mode = "subtract"
    oval = layer.add_mask(oval=(16, 12, 48, 36), mode="add")
    assert [m.name for m in layer.masks] == ["Corner", "Mask 2"] and oval.index == 1
    rgba = comp.render_frame(0)
    # Subtracting the triangle leaves the other half; the oval adds its inside.
    assert rgba[18, 24, 3] == 255 and rgba[2, 2, 3] == 0 and rgba[46, 62, 3] == 255
    oval.opacity.value = 50
    assert 100 <= comp.render_frame(0)[18, 24, 3] <= 155
    with pytest.raises(tavelo.Error):
        layer.add_mask(path=[(0, 0), (1, 1)])
    out = tmp_path / "frame.png"
    comp.save_frame(str(out), 0)
    assert out.stat().st_size > 0
    footage = project.import_footage(str(out))
    assert (footage.kind, footage.width, footage.height) == ("footage", 64, 48)
    with pytest.raises(tavelo.Error) as err:
        comp.save_frame(str(tmp_path / "frame.unknown"), 0)
    assert err.value.code != 0 and not os.path.exists(tmp_path / "frame.unknown")
    assert isinstance(comp.render_frame(0), np.ndarray)


@pytest.mark.skipif(not os.path.exists(TAVELO_BIN), reason="the tavelo program is not built")
def test_layer_numbers_agree_with_info_and_keys(engine, tmp_path):
    # Five solids, 10 to 50 pixels wide: the width names the layer in keyframe text.
    layers = [{"name": "L%d" % w, "solid": {"color": "#808080", "width": w, "height": 8}} for w in (10, 20, 30, 40, 50)]
    description = {"comps": [{"name": "C", "width": 64, "height": 48, "fps": 24, "duration": 1, "layers": layers}]}
    path = tmp_path / "five.json"
    path.write_text(json.dumps(description))
    info = json.loads(subprocess.run([TAVELO_BIN, "info", str(path), "--json"], check=True, capture_output=True,
                                     text=True).stdout)
    numbered = [(l["number"], l["name"]) for l in info["compositions"][0]["layers"]]
    # The description lists them from the bottom up: the last is layer 1, the top.
    assert numbered == [(1, "L50"), (2, "L40"), (3, "L30"), (4, "L20"), (5, "L10")]
    comp = engine.build(description).comp("C")
    for number, name in numbered:
        assert comp[number - 1].name == name and comp[number - 1].number == number
        keys = subprocess.run([TAVELO_BIN, "keys", "copy", str(path), "-l", str(number), "-s", "Position"],
                              check=True, capture_output=True, text=True).stdout
        assert "\tSource Width\t%s\n" % name[1:] in keys  # text mode reads CR LF as LF


def test_footage_interpretation_and_frame_blending(engine, tmp_path):
    import shutil
    import subprocess
    if not shutil.which("ffmpeg"):
        pytest.skip("ffmpeg is not installed")
    movie = str(tmp_path / "telecine.mov")
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "color=s=64x32:r=24:d=1",
                    "-vf", "format=gray,geq=lum=mod(N*N*11\\,200)+20,telecine=first_field=bottom:pattern=23",
                    "-c:v", "png", movie], check=True)
    project = engine.new_project()
    clip = project.import_footage(movie)
    assert clip.interpretation["fields"] == "off"
    clip.interpret(pulldown="guess")
    assert clip.interpretation["fields"] == "lower_first"
    assert clip.interpretation["pulldown"] in range(1, 6)
    with pytest.raises(tavelo.Error):
        clip.interpret(fields="sideways")
    clip.interpret(fields="off")
    assert clip.interpretation["pulldown"] == 0
    comp = project.new_comp("C", 64, 32, fps=30)
    layer = comp.add_layer(clip)
    layer.frame_blend = True
    comp.frame_blending = True
    assert layer.frame_blend and comp.frame_blending
    project.undo()
    assert not comp.frame_blending
