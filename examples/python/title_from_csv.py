#!/usr/bin/env python3
"""Builds a title animation from a CSV file and renders it.

Each row of the CSV file is a title bar: name, start and duration (seconds),
color (#rrggbb), y (the bar's centre), width and height.  Each bar slides in
from the left with eased keys, holds, and fades out; a feathered mask softens
its edges, and the name is written on it (the Text effect).  The frames are written as PNG files into the output folder, and
with --movie also as a movie (H.264 in .mp4 or .mov), with a progress line.

    PYTHONPATH=build/python python3 examples/python/title_from_csv.py \
        examples/python/titles.csv build/titles
"""
import argparse
import csv
import os
import sys

import tavelo


def color_of(text):
    text = text.strip()
    if len(text) != 7 or text[0] != "#":
        raise ValueError("a colour is #rrggbb, not %r" % text)
    return 0xFF000000 | int(text[1:], 16)


def slide_in_and_fade(layer, start, length, x_from, x_to, y):
    """Shows the layer from start for length seconds: it slides in from
    x_from to x_to with eased keys, holds, and fades out."""
    layer.set_times(in_point=start, out_point=start + length)
    layer.position.add_key(start, (x_from, y))
    layer.position.add_key(start + 0.4, (x_to, y))
    layer.position.ease(0)
    layer.position.ease(1)
    layer.opacity.add_key(start + length - 0.3, 100)
    layer.opacity.add_key(start + length, 0.0)


def build_titles(project, rows, width, height, fps):
    duration = max(float(r["start"]) + float(r["duration"]) for r in rows) + 0.25
    comp = project.new_comp("Titles", width, height, fps=fps, duration=duration, background=0xFF000000)
    comp.add_solid("Backdrop", 0xFF1D2B53)
    # One undo step for the whole build: project.undo() would take it back.
    with project.undo_group("Build Titles"):
        for row in rows:
            start, length = float(row["start"]), float(row["duration"])
            w, h, y = int(row["width"]), int(row["height"]), float(row["y"])
            bar = comp.add_solid(row["name"][:31], color_of(row["color"]), width=w, height=h)
            slide_in_and_fade(bar, start, length, -w / 2, width / 2, y)
            bar.add_mask(rect=(0, 0, w, h), feather=3)
            # The bar carries its title, the text's baseline placed so that
            # its capitals sit in the bar's middle.
            title = comp.add_text(row["name"], font="DejaVu Sans Bold", size=h * 0.55, color="#ffffff")
            slide_in_and_fade(title, start, length, -w / 2, width / 2, y + h * 0.2)
    return comp


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("csv", help="the titles (name,start,duration,color,y,width,height)")
    parser.add_argument("output", help="the folder for the PNG frames")
    parser.add_argument("--size", default="320x180", help="composition size, WxH")
    parser.add_argument("--fps", type=float, default=24)
    parser.add_argument("--movie", help="also render a movie file (.mp4, .mov)")
    args = parser.parse_args(argv)
    width, height = (int(v) for v in args.size.lower().split("x"))
    with open(args.csv, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    if not rows:
        parser.error("the CSV file has no titles")
    os.makedirs(args.output, exist_ok=True)
    with tavelo.Engine() as engine:
        comp = build_titles(engine.new_project(), rows, width, height, args.fps)
        for frame in range(comp.frame_count):
            comp.save_frame(os.path.join(args.output, "titles_%04d.png" % frame), frame)
        # Frames are NumPy arrays too: the brightest frame, by mean luma.
        lumas = []
        for frame in range(0, comp.frame_count, 6):
            rgb = comp.render_frame(frame)[..., :3].astype("float32")
            lumas.append((float((rgb @ [0.2126, 0.7152, 0.0722]).mean()), frame))
        print("wrote %d frames of %s into %s (brightest sampled frame: %d)"
              % (comp.frame_count, comp.name, args.output, max(lumas)[1]))
        if args.movie:
            def progress(status, done, total):
                if status == 5:  # a frame was written
                    print("\rmovie: %d of %d frames" % (done, total), end="", file=sys.stderr)
                return False  # True would stop the render
            result = comp.render_movie(args.movie, progress=progress)
            print("", file=sys.stderr)
            print("wrote %s (%d frames)" % (result["path"], result["frames"]))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except tavelo.Error as e:
        print("title_from_csv: %s" % e, file=sys.stderr)
        sys.exit(1)
