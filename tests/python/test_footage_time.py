# Footage time through the renderer, with material made by ffmpeg: a field
# render of a composition holding separated-field footage takes each output
# field from the right source field; best-quality frame blending gives the
# exact mix of the source frames a composition frame overlaps; a
# description file's footage interpretation reaches the engine, and its bad
# values are refused at their line and column.
import json
import os
import shutil
import subprocess

import numpy as np
import pytest

import tavelo
from conftest import TAVELO_BIN

pytestmark = pytest.mark.skipif(not shutil.which("ffmpeg"), reason="ffmpeg is not installed")

W, H = 32, 16


def ffmpeg_movie(path, frames, rate, pix_fmt, filters):
    """A lossless PNG movie of frames (n x H x W [x 3] uint8) at rate, through ffmpeg's filters."""
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", pix_fmt,
                    "-s", "%dx%d" % (frames.shape[2], frames.shape[1]), "-r", str(rate), "-i", "-", "-vf", filters,
                    "-c:v", "png", str(path)], input=frames.tobytes(), check=True)


def decoded(path):
    """The movie's frames, the red of each pixel (the material is grey)."""
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", str(path), "-f", "rawvideo", "-pix_fmt", "rgb24",
                          "-"], check=True, capture_output=True).stdout
    return np.frombuffer(raw, np.uint8).reshape(-1, H, W, 3)[..., 0]


def progressive(count):
    """Frame j: its own grey, with gradients across and down (ffmpeg's interlace keeps grey as it is)."""
    j, y, x = np.meshgrid(np.arange(count), np.arange(H), np.arange(W), indexing="ij")
    return ((j * j * 37 + 3 * x + 11 * y) & 255).astype(np.uint8)


def doubled(frame, kept):
    """The frame rebuilt from the rows of parity kept, each missing row the kept row above (below for row 0)."""
    out = frame.copy()
    for y in range(1 - kept, H, 2):
        out[y] = frame[y - 1] if y > 0 else frame[1]
    return out


def write(tmp_path, name, description):
    path = tmp_path / name
    path.write_text(json.dumps(description, indent=2))
    return str(path)


def one_layer(footage, layer, fps=30, duration=8 / 30, **comp):
    return {"footage": [dict({"name": "F", "file": "clip.mov"}, **footage)],
            "comps": [dict({"name": "C", "width": W, "height": H, "fps": fps, "duration": duration,
                            "layers": [dict({"source": "F"}, **layer)]}, **comp)]}


# (footage scan, output field order): with the same order the output is the
# interlaced source exactly; crossed, each output field shows the source
# field of its own time, its rows doubled into the other parity.
@pytest.mark.parametrize("scan,order", [("tff", "upperFirst"), ("bff", "lowerFirst"), ("tff", "lowerFirst")])
def test_field_render_takes_each_field_from_the_right_source_field(engine, tmp_path, scan, order):
    frames = progressive(16)
    ffmpeg_movie(tmp_path / "clip.mov", frames, 60, "gray", "format=gray,interlace=scan=%s:lowpass=off" % scan)
    dominance = 0 if scan == "tff" else 1
    fields = "upperFirst" if dominance == 0 else "lowerFirst"
    project = engine.open(write(tmp_path, "fields.json",
                                one_layer({"interpretation": {"fields": fields}}, {"quality": "draft"})))
    engine.project.comp("C").render_movie(str(tmp_path / "out.mov"), codec="png", sound=False, fields=order)
    out = decoded(tmp_path / "out.mov")
    assert len(out) == 8 and project.comp("C").frame_count == 8
    # The movie says it is interlaced, and in which order.
    tag = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=field_order",
                          "-of", "csv=p=0", str(tmp_path / "out.mov")], capture_output=True, text=True).stdout
    assert tag.strip() == ("tt" if order == "upperFirst" else "bb")
    first = 0 if order == "upperFirst" else 1
    for k in range(8):
        want = np.empty_like(out[k])
        # The first field at the frame's time shows source field 2k, the
        # second half a frame later field 2k + 1; field j lies in the rows of
        # parity dominance ^ (j & 1).
        for parity, j in ((first, 2 * k), (1 - first, 2 * k + 1)):
            shown = doubled(frames[j], dominance ^ (j & 1))
            want[parity::2] = shown[parity::2]
        assert np.array_equal(out[k], want), "frame %d" % k


def grey(n):
    """Source frame n's grey: no straight line, so a wrong mix of frames shows."""
    return (n * n * 37) % 200 + 20


def test_best_quality_frame_blending_is_the_exact_mix(engine, tmp_path):
    # 75 frames a second in a 30 fps composition: frame k overlaps source
    # frames 2.5 k to 2.5 k + 2.5, two whole and two halves or one half.
    rate, count = 75, 32
    frames = np.array([np.full((H, W), grey(n), np.uint8) for n in range(count)])
    ffmpeg_movie(tmp_path / "clip.mov", frames, rate, "gray", "format=gray")
    project = engine.open(write(tmp_path, "blend.json", one_layer(
        {}, {"frameBlend": True, "quality": "best"}, duration=0.4, frameBlending=True)))
    comp = project.comp("C")
    layer = comp[0]

    def exact(k):
        a, b = 2.5 * k, 2.5 * k + 2.5
        return sum(grey(n) * (min(b, n + 1) - max(a, n)) for n in range(int(a), int(np.ceil(b)))) / 2.5

    def draft(k):
        n, w = int(2.5 * k), 2.5 * k - int(2.5 * k)
        return (1 - w) * grey(n) + w * grey(n + 1)

    got = {q: [] for q in ("best", "draft")}
    for quality in ("best", "draft"):
        layer.quality = quality
        for k in range(12):
            pixels = comp.render_frame(k)
            assert (pixels == pixels[0, 0]).all(), k
            got[quality].append(int(pixels[0, 0, 0]))
    assert got["best"] == pytest.approx([exact(k) for k in range(12)], abs=1)
    assert got["draft"] == pytest.approx([draft(k) for k in range(12)], abs=1)


def test_interpretation_from_a_description_file(engine, tmp_path):
    ffmpeg_movie(tmp_path / "clip.mov", progressive(16), 60, "gray", "format=gray,interlace=scan=tff:lowpass=off")
    ffmpeg_movie(tmp_path / "alpha.mov", progressive(4), 30, "gray", "format=rgba")
    description = one_layer({"file": "alpha.mov", "interpretation": {
        "fields": "lowerFirst", "pulldown": 3, "fps": 29.97, "alpha": "premultiplied", "matte": "#102030",
        "pixelAspect": 0.9091}}, {})
    description["footage"].append({"name": "G", "file": "clip.mov",
                                   "interpretation": {"fields": "upperFirst", "pulldown": "off", "alpha": "ignore",
                                                      "pixelAspect": 99.99449}})
    project = engine.open(write(tmp_path, "interp.json", description))
    # In the project, footage shows its file's name; the items keep the description's order.
    f, g = [item for item in project.items if item.kind == "footage"]
    got = f.interpretation
    assert (got["fields"], got["pulldown"], got["alpha"], got["matte"]) == ("lower_first", 3, "premultiplied",
                                                                            0xFF102030)
    assert got["fps"] == pytest.approx(29.97, abs=1e-4)
    assert got["pixel_aspect"] == 10 / 11  # 0.9091 is the aspect of an NTSC frame's file
    # Footage without an alpha channel has no alpha to interpret. From 10 up
    # a pixel aspect is kept to 3 decimals, so both terms stay within the
    # interpretation's limits.
    got = g.interpretation
    assert (got["fields"], got["pulldown"], got["alpha"], got["fps"], got["pixel_aspect"]) == (
        "upper_first", 0, "none", 30, 99.994)


def test_a_pixel_aspect_draws_footage_at_its_proportions(engine, tmp_path):
    # 32 x 16 footage centred in a 64-wide square-pixel composition: with
    # pixels twice as wide as they are high, it fills the composition's width.
    ffmpeg_movie(tmp_path / "clip.mov", progressive(2), 30, "gray", "format=gray")
    project = engine.open(write(tmp_path, "aspect.json", one_layer({}, {}, width=2 * W)))
    clip, comp = project.items[0], project.comp("C")

    def covered():
        alpha = comp.render_frame(0)[..., 3]
        return [int(c) for c in np.flatnonzero(alpha.max(axis=0) > 0)[[0, -1]]]

    assert covered() == [W // 2, W // 2 + W - 1]
    clip.interpret(pixel_aspect=2)
    assert clip.interpretation["pixel_aspect"] == 2 and covered() == [0, 2 * W - 1]
    project.undo()
    assert clip.interpretation["pixel_aspect"] == 1 and covered() == [W // 2, W // 2 + W - 1]
    with pytest.raises(ValueError, match="pixel_aspect must be 0.01 to 100"):
        clip.interpret(pixel_aspect=0)


# Each bad interpretation, written one key a line, is refused at the line
# and column where the key's value starts, with what is wrong.
REFUSED = [
    ({"fields": "sideways"}, "fields", '"sideways" is not one of off, upperFirst, lowerFirst'),
    ({"pulldown": 6}, "pulldown", "6 is outside 0 to 5"),
    ({"pulldown": 2}, "pulldown", "removing 3:2 pulldown needs \"fields\""),
    ({"pulldown": "sometimes"}, "pulldown", '"sometimes" is not one of off, guess'),
    ({"alpha": True}, "alpha", "expected a string"),
    ({"alpha": "straight", "matte": "#ffffff"}, "matte", "a matte colour goes with \"alpha\": \"premultiplied\""),
    ({"fps": 0}, "fps", "0 is outside 0.01 to 999"),
    ({"pixelAspect": 100.01}, "pixelAspect", "100.01 is outside 0.01 to 100"),
    ({"fields": "upperFirst", "dominance": 1}, "dominance", "unknown key"),
]


@pytest.fixture(scope="module")
def clip_dir(tmp_path_factory):
    folder = tmp_path_factory.mktemp("refused")
    ffmpeg_movie(folder / "clip.mov", progressive(2), 30, "gray", "format=gray")
    return folder


@pytest.mark.parametrize("interpretation,key,text", REFUSED, ids=[r[1] + str(i) for i, r in enumerate(REFUSED)])
def test_bad_interpretations_are_refused_where_they_stand(engine, clip_dir, interpretation, key, text):
    path = write(clip_dir, "bad.json", one_layer({"interpretation": interpretation}, {}))
    lines = open(path).read().split("\n")
    line = next(i for i, l in enumerate(lines) if l.strip().startswith('"%s"' % key))
    column = len(lines[line]) - len(json.dumps(interpretation[key])) - lines[line].endswith(",")
    where = "%s:%d:%d: footage[0].interpretation.%s: " % (path, line + 1, column + 1, key)
    with pytest.raises(tavelo.Error) as err:
        engine.open(path)
    assert err.value.message.startswith(where) and text in err.value.message, err.value.message
    # The command line says the same, once.
    if key == "fields" and os.path.exists(TAVELO_BIN):
        run = subprocess.run([TAVELO_BIN, "info", path, "--json"], capture_output=True, text=True)
        assert (run.returncode, run.stdout, run.stderr) == (1, "", "tavelo: " + err.value.message + "\n")


def test_footage_of_its_compositions_aspect_is_drawn_pixel_for_pixel(engine, tmp_path):
    # An NTSC frame (pixels 10/11 wide) written to OpenEXR, which keeps the
    # aspect, and drawn in a composition of that aspect given as 0.9091.
    project = engine.new_project()
    comp = project.new_comp("D1", 40, 30, fps=29.97, duration=0.1, pixel_aspect=0.9091)
    comp.add_solid("Box", "#ff0000", width=7, height=5).position = (13, 9)
    comp.save_frame(str(tmp_path / "d1.exr"), 0)
    plate = project.import_footage(str(tmp_path / "d1.exr"))
    assert plate.interpretation["pixel_aspect"] == 10 / 11 and comp.pixel_aspect == 10 / 11
    again = project.new_comp("Again", 40, 30, fps=29.97, duration=0.1, pixel_aspect=0.9091)
    again.add_layer(plate)
    assert np.array_equal(again.render_frame(0), comp.render_frame(0))
