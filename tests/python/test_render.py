# Frames into NumPy arrays (the same pixels as `tavelo frame`), sound into
# arrays, and the progress callback that can stop a render.
import json
import math
import os
import subprocess
import sys
import threading
import wave

import numpy as np
import pytest

import tavelo
from conftest import TAVELO_BIN, simple_description


def fnv1a(data):
    # The digest `tavelo frame --digest` prints: FNV-1a 64 over RGBA bytes.
    h = 1469598103934665603
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % h


@pytest.mark.skipif(not os.path.exists(TAVELO_BIN), reason="the tavelo program is not built")
def test_frames_equal_the_hosts(engine, title_card, tmp_path):
    comp = engine.open(title_card).comp("Title")
    for frame in (0, 12):
        rgba = comp.render_frame(frame)
        assert rgba.shape == (180, 320, 4) and rgba.dtype == np.uint8
        out = subprocess.run([TAVELO_BIN, "frame", title_card, "-c", "Title", "-t", "%df" % frame, "-o",
                              str(tmp_path / "f.png"), "--digest"], check=True, capture_output=True, text=True)
        assert out.stdout.split()[0] == fnv1a(rgba.tobytes()), frame


def test_frame_is_rgba(engine):
    comp = engine.build(simple_description("#204080")).comp("Main")
    rgba = comp.render_frame(time=0.5)
    assert rgba.shape == (48, 64, 4)
    assert tuple(rgba[0, 0]) == (0x20, 0x40, 0x80, 0xFF)
    comp.resolution = 2
    assert comp.render_frame(0).shape == (24, 32, 4)


def test_audio_arrays(engine, tmp_path):
    rate, n = 48000, 4800
    left = [int(10000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(n)]
    samples = np.array([(v, -v) for v in left], dtype=np.int16)
    wav = tmp_path / "tone.wav"
    with wave.open(str(wav), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.tobytes())
    project = engine.new_project()
    comp = project.new_comp("Sound", 16, 16, fps=25, duration=0.1)
    silent = comp.render_audio()
    assert silent.shape == (4800, 2) and silent.dtype == np.int16 and not silent.any()
    tone = project.import_footage(str(wav))
    assert tone.kind == "footage"
    comp.add_layer(tone)
    got = comp.render_audio(rate=rate, channels=2)
    assert got.shape == (n, 2)
    assert np.abs(got.astype(np.int32) - samples).max() <= 1
    floats = comp.render_audio(duration=0.05, dtype="float32", channels=1)
    assert floats.shape == (2400, 1) and floats.dtype == np.float32
    # A span holds exactly the sample frames it names, at any rate: spans
    # rendered one after the other join into the whole.
    for r, cut in ((48000, 1), (48000, 1233), (44100, 3), (44100, 2205)):
        whole = comp.render_audio(rate=r)
        first = comp.render_audio(0, cut / r, rate=r)
        rest = comp.render_audio(cut / r, len(whole) / r - cut / r, rate=r)
        assert (len(first), len(first) + len(rest)) == (cut, len(whole))
        assert np.array_equal(np.concatenate([first, rest]), whole)
    # So do spans of footage at another rate, whose samples fall between
    # the output's (22050 Hz read at 48 kHz: halfway at every 2400th). On a
    # ramp of odd steps a halfway sample is halfway between two values, so
    # a position a hair off either way shows.
    low = tmp_path / "low.wav"
    with wave.open(str(low), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(22050)
        w.writeframes(np.array([(3 * i) % 20000 - 10000 for i in range(22050)], dtype=np.int16).tobytes())
    sung = project.new_comp("Low", 16, 16, fps=25, duration=1)
    sung.add_layer(project.import_footage(str(low)))
    whole = sung.render_audio()
    for cut in (1, 7, 12345):
        joined = np.concatenate([sung.render_audio(0, cut / 48000), sung.render_audio(cut / 48000, 1 - cut / 48000)])
        assert np.array_equal(joined, whole), cut


def test_progress_callback_stops_a_render(engine):
    comp = engine.build(simple_description()).comp("Main")
    calls = []

    def progress(phase, done, total):
        calls.append((phase, done, total))
        return False
    comp.render_frame(0, progress=progress)
    assert calls
    with pytest.raises(tavelo.Error) as stopped:
        comp.render_frame(1, progress=lambda *a: True)
    assert stopped.value.code == 517

    def broken(*args):
        raise KeyError("from the callback")
    with pytest.raises(KeyError):
        comp.render_audio(progress=broken)
    # The engine cannot be called from inside the render it is doing.
    with pytest.raises(tavelo.Error) as err:
        comp.render_frame(0, progress=lambda *a: comp.name)
    assert err.value.code == 3
    # Another thread calling in while a render runs is told so.
    seen = []

    def other():
        try:
            comp.name
        except tavelo.Error as e:
            seen.append(str(e))

    def waits(*args):
        if not seen:
            t = threading.Thread(target=other)
            t.start()
            t.join()
        return False
    comp.render_frame(0, progress=waits)
    assert seen == ["the engine is rendering in another thread: it takes one call at a time"]
    # The engine is fine afterwards.
    assert comp.render_frame(2).shape == (48, 64, 4)


def test_movies_and_stopping_them(engine, tmp_path):
    project = engine.build(simple_description())
    comp = project.comp("Main")
    seen = []

    def progress(status, done, total):
        seen.append((status, done, total))
    result = comp.render_movie(str(tmp_path / "all.mov"), duration=0.5, codec="png ", progress=progress)
    assert result == {"frames": 12, "stopped": False, "path": str(tmp_path / "all.mov")}
    assert seen[-1][2] == 12 and max(done for _, done, _ in seen) == 12
    movie = project.import_footage(str(tmp_path / "all.mov"))
    assert (movie.width, movie.height) == (64, 48) and movie.duration == pytest.approx(0.5, abs=0.05)
    before = project.undo_name

    stopped = comp.render_movie(str(tmp_path / "part.mov"), codec="png ", sound=False,
                                progress=lambda status, done, total: done >= 3)
    assert stopped["stopped"] and 3 <= stopped["frames"] < 24 and os.path.exists(tmp_path / "part.mov")
    # The render leaves the project as it was.
    assert project.undo_name == before
    with pytest.raises(tavelo.Error) as err:
        comp.render_movie(str(tmp_path / "x.gif"))
    assert err.value.code == 3
    # Only the composition's frames are rendered, as on the command line.
    for kw, text in (({"start": -5}, "start -5 s is outside the composition (0 to 1 s)"),
                     ({"start": 1}, "start 1 s is outside the composition (0 to 1 s)"),
                     ({"start": 0.5, "duration": 2}, "start 0.5 s and duration 2 s go past the composition's end (1 s)")):
        with pytest.raises(tavelo.Error) as err:
            comp.render_movie(str(tmp_path / "x.mov"), codec="png", **kw)
        assert str(err.value) == text and err.value.code == 10
    with pytest.raises(ValueError, match="the duration must be more than 0"):
        comp.render_movie(str(tmp_path / "x.mov"), codec="png", duration=0)
    assert not os.path.exists(tmp_path / "x.mov")
    # The codecs of the command line's table, by name or four-character code.
    with pytest.raises(tavelo.Error, match=r"a \.mp4 movie cannot hold prores"):
        comp.render_movie(str(tmp_path / "x.mp4"), codec="apch")
    assert comp.render_movie(str(tmp_path / "alpha.mkv"), duration=0.1, codec="prores4444")["frames"] == 2
    # Pixels that are not square say so.
    comp.pixel_aspect = 1.5
    comp.render_movie(str(tmp_path / "wide.mov"), duration=0.1, codec="png", sound=False)
    sar = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=sample_aspect_ratio", "-of", "csv=p=0",
                          str(tmp_path / "wide.mov")], capture_output=True, text=True).stdout
    assert sar.strip() == "3:2"


def test_still_sequences_at_frames_of_29_97(engine, tmp_path):
    # A span of frame times holds those frames at 29.97 fps too, and a run of
    # '#' numbers the files, as on the command line.
    comp = engine.new_project().new_comp("C", 8, 8, fps=29.97, duration=1)
    solid = comp.add_solid("S", 0xFFFF0000)
    for k in range(12):
        solid.opacity.add_key(comp.frame_time(k), 5 * k, interpolation="hold")
    got = comp.render_movie(str(tmp_path / "f_####.png"), start=comp.frame_time(5), duration=comp.frame_time(3))
    assert got["frames"] == 3 and sorted(os.listdir(tmp_path)) == ["f_0000.png", "f_0001.png", "f_0002.png"]
    for i in range(3):
        comp.save_frame(str(tmp_path / "one.png"), 5 + i)
        assert (tmp_path / ("f_%04d.png" % i)).read_bytes() == (tmp_path / "one.png").read_bytes()


# A file-size limit (ulimit -f) fails each write with the disk's reason
# instead of ending the interpreter; the earlier file stays and nothing
# hidden is left. In a child interpreter, whose limit ends with it.
def test_a_file_size_limit_raises_and_keeps_the_file(tmp_path):
    script = r"""
import json, os, resource, sys
import tavelo
folder, description = sys.argv[1], json.loads(sys.argv[2])
with tavelo.Engine(threads=1) as engine:
    project = engine.build(description)
    comp = project.comp("Main")
    resource.setrlimit(resource.RLIMIT_FSIZE, (100, resource.RLIM_INFINITY))
    for name, write in (("f.png", lambda p: comp.save_frame(p, 0)), ("p.tvp", project.save),
                        ("m.mov", lambda p: comp.render_movie(p, codec="png", sound=False))):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write("earlier")
        try:
            write(path)
            print(name, "written")
        except tavelo.Error as e:
            print(name, "disk is full" in str(e), open(path).read())
    # Lifted before the interpreter exits, so coverage counters written then are whole.
    resource.setrlimit(resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
"""
    out = subprocess.run([sys.executable, "-c", script, str(tmp_path), json.dumps(simple_description())],
                         capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    assert out.stdout == "f.png True earlier\np.tvp True earlier\nm.mov True earlier\n"
    assert sorted(os.listdir(tmp_path)) == ["f.png", "m.mov", "p.tvp"]


def test_memory_budget():
    with tavelo.Engine(threads=1, memory="64M") as e:
        budget = e.memory_budget
        assert budget["budget"] == 64 << 20 and budget["source"] == "setting"
        assert budget["purge_level"] == 56 << 20
        assert e.build(simple_description()).comp("Main").render_frame(0).shape == (48, 64, 4)
    with tavelo.Engine(threads=1, memory=3 << 30) as e:
        assert e.memory_budget["budget"] == 3 << 30
    with tavelo.Engine(threads=1) as e:
        assert e.memory_budget["source"] in ("preference", "cgroup2", "cgroup1", "physical")
    for bad in ("lots", "16M", 0, -5, 1.5):
        with pytest.raises(tavelo.Error):
            tavelo.Engine(memory=bad)
