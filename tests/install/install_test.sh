#!/usr/bin/env bash
# An installation used the way a user uses it: installed into a temporary
# prefix, moved elsewhere, then used from outside the source tree through
# its own files alone: the program (version, a render, the sample plug-ins
# found without --plugins, completion, manual pages), the C examples built
# with pkg-config and with find_package(Tavelo) and run, a plug-in built
# with the installed SDK and found through TAVELO_PLUGIN_PATH, and the
# Python module. Only the small example programs are compiled here.
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
expect() {  # expect TEXT FILE: FILE holds TEXT
  grep -qF -- "$1" "$2" || { cat "$2" >&2; fail "expected \"$1\" in $2"; }
}

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix"
P=$work/prefix
cd "$work"
# Nothing of the user's or the machine's may take part.
unset TAVELO_PLUGIN_PATH TAVELO_PREFS
export XDG_DATA_HOME=$work/xdg PKG_CONFIG_PATH=$P/lib/pkgconfig
examples=$P/share/doc/tavelo/examples

# The program.
"$P/bin/tavelo" --version >version.txt
head -1 version.txt | grep -qE "^tavelo $version \(revision [^ )]+\)$" || fail "version line: $(head -1 version.txt)"
expect "tavelo engine packages:" version.txt
"$P/bin/tavelo" frame "$examples/layered.json" -c Main -t 0.5 -o frame.png -q
[ -s frame.png ] || fail "no frame rendered"
"$P/bin/tavelo" plugins >plugins.txt
expect "$P/lib/tavelo/plug-ins (installation): 6 effects" plugins.txt
expect "Sample Invert                (match name \"SMPL Invert\")" plugins.txt
[ -s "$P/share/man/man1/tavelo.1" ] && [ -s "$P/share/man/man1/tavelo-farm-submit.1" ] || fail "manual pages"
expect ".SH OPTIONS" "$P/share/man/man1/tavelo-render.1"
"$P/bin/tavelo" build "$examples/layered.json" -o layered.tvp -q
complete_words() {  # the completion of the words given, as the shell offers it
  PATH=$P/bin:$PATH bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tavelo
    printf "%s\n" "${COMPREPLY[@]}"' _ "$P/share/bash-completion/completions/tavelo" "$@"
}
[ "$(complete_words tavelo ren)" = render ] || fail "completing a command: $(complete_words tavelo ren)"
[ "$(complete_words tavelo render layered.tvp --co | sort | tr '\n' ' ')" = "--codec --comp --compression " ] ||
  fail "completing an option: $(complete_words tavelo render layered.tvp --co)"
[ "$(complete_words tavelo render layered.tvp -c M)" = Main ] || fail "completing a composition"
[ "$(complete_words tavelo render layered.tvp --comp = "")" = "$(printf 'Spinner\nMain')" ] ||
  fail "completing --comp=: $(complete_words tavelo render layered.tvp --comp = "")"

# The C examples with pkg-config.
[ "$(pkg-config --modversion tavelo)" = "$version" ] || fail "pkg-config version"
cc -std=c11 -Wall -Wextra -Werror $(pkg-config --cflags tavelo) "$examples/c/render_frame.c" -o frame_pc \
  $(pkg-config --libs tavelo) -Wl,-rpath,"$(pkg-config --variable=libdir tavelo)"
./frame_pc square.ppm >frame_pc.txt
expect "pixel (160, 90): 255 128 0 255" frame_pc.txt
expect 'undo: "Move the square"' frame_pc.txt
[ "$(stat -c %s square.ppm)" = $((15 + 320 * 180 * 3)) ] || fail "square.ppm size"

# The C examples with find_package(Tavelo), and a plug-in with the SDK, in
# one project of their own.
mkdir src
cp "$examples/plug-ins/sample_invert.c" src/invert.c
sed 's/SMPL Invert/OUTS Invert/; s/"Sample Invert"/"Outside Invert"/' "$examples/plug-ins/sample_invert.pipl" >src/invert.pipl
cat >src/CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(Outside C)
find_package(TaveloEffectSDK 12.0 REQUIRED CONFIG)
add_subdirectory("$examples/c" examples)
tavelo_add_effect(outside_invert SOURCES invert.c PIPL invert.pipl OUTPUT_DIRECTORY \${CMAKE_BINARY_DIR}/plug-ins)
target_link_libraries(outside_invert PRIVATE m)
CMAKE
cmake -S src -B out -DCMAKE_PREFIX_PATH="$P" -DCMAKE_BUILD_TYPE=Release >cmake.txt || { cat cmake.txt; fail "configuring"; }
cmake --build out >>cmake.txt || { cat cmake.txt; fail "building"; }
out/examples/render_frame >frame_cmake.txt
expect "pixel (160, 90): 255 128 0 255" frame_cmake.txt
out/examples/render_movie layered.tvp Main layered.mp4 >movie.txt 2>movie.err
expect "wrote layered.mp4: 24 frames" movie.txt
[ -s layered.mp4 ] || fail "no movie"
TAVELO_PLUGIN_PATH=$work/out/plug-ins "$P/bin/tavelo" plugins >outside.txt
expect "$work/out/plug-ins (TAVELO_PLUGIN_PATH): 1 effect" outside.txt
expect "(match name \"OUTS Invert\")" outside.txt

# Ctrl-C stops the movie and removes the unfinished file. The composition
# is long (20 s), so the signal comes well before its end: it is sent once
# the first frame was written.
cat >long.json <<'JSON'
{"version": 1, "comps": [{"name": "Long", "width": 320, "height": 180, "fps": 24, "duration": 20,
  "layers": [{"name": "Bar", "solid": {"color": "#ff004d", "width": 200, "height": 40},
              "position": [{"time": 0, "value": [0, 90]}, {"time": 20, "value": [320, 90]}]}]}]}
JSON
"$P/bin/tavelo" build long.json -o long.tvp -q
out/examples/render_movie long.tvp Long long.mp4 >long.txt 2>long.err &
pid=$!
for _ in $(seq 600); do grep -q "frame 1 of" long.err && break; sleep 0.05; done
kill -INT $pid
code=0
wait $pid || code=$?
[ $code = 130 ] || fail "render_movie after Ctrl-C exited $code"
expect "the unfinished movie was removed" long.err
[ ! -e long.mp4 ] || fail "the unfinished movie is still there"

# Python, with the prefix's dist-packages on the path.
if [ -d "$P/lib/python3/dist-packages/tavelo" ]; then
  PYTHONPATH=$P/lib/python3/dist-packages /usr/bin/python3 - "$version" "$examples/layered.json" <<'PY'
import sys
import tavelo
assert tavelo.__version__ == sys.argv[1], tavelo.__version__
assert tavelo.__file__.startswith(sys.argv[2].split("/share/")[0]), tavelo.__file__
with tavelo.Engine() as engine:
    frame = engine.open(sys.argv[2]).comp("Main").render_frame(0)
    assert frame.ndim == 3 and frame.shape[2] == 4, frame.shape
PY
fi
echo "install test passed"
