#!/usr/bin/env bash
# Installs the Debian packages that are missing, and says which it installs.
# Idempotent and quiet when everything is present.
#
#   scripts/install-deps.sh          what building needs (`make build`, `make demo`)
#   scripts/install-deps.sh --test   that, and the peers only the tests and
#                                    benchmarks use (`make test`, `make bench`)
#   scripts/install-deps.sh --list   prints both lists and installs nothing
set -euo pipefail

# Building: the compiler and CMake; GoogleTest, Google Benchmark and GMP (the
# test and benchmark programs are part of the build); the libraries the
# engine is made of (FFmpeg for movies, OpenImageIO for stills, libsndfile
# for sound files, ALSA for playback, libjpeg for JPEG stills); CLI11 and
# nlohmann-json for the command line, cpp-httplib for `tavelo view`;
# HarfBuzz, FriBidi, FreeType and fontconfig for the Text
# effect, and the DejaVu fonts the demo's title and the text tests draw with;
# Python's development files, pybind11 and NumPy for the Python module;
# dpkg-dev and file for the Debian package (`make package`: CPack finds the
# libraries' dependencies with dpkg-shlibdeps and tells ELF files with file).
build=(g++ cmake make pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev libopenimageio-dev libjpeg-dev
  libsndfile1-dev libasound2-dev libcli11-dev nlohmann-json3-dev libcpp-httplib-dev
  libharfbuzz-dev libfreetype-dev libfontconfig-dev libfribidi-dev fonts-dejavu-core
  python3-dev pybind11-dev python3-numpy dpkg-dev file)

# Tests only: clang and its sanitizer runtime (`make test SANITIZE=...`, the
# fuzz targets); the ffmpeg tool (makes test movies, checks colour tags, and
# is the movie benchmark's baseline); oiiotool (the RLA driver's oracle files;
# those tests skip without it); pytest for the Python module's tests; a Slurm
# controller and worker of the farm test's own, with munge for a Slurm
# without auth/none (the test skips without them); and the baselines of the
# benchmarks, which skip their comparison without them: sox (sound), cairo
# (masks), pixman (pixel routines) and melt (composition rendering); gcovr
# for `make coverage`; chromium and Node.js for the viewer's browser test,
# whose driver (playwright-core, pinned in tests/host/package-lock.json)
# comes from npm into tests/host/node_modules.
test=(clang libclang-rt-14-dev ffmpeg openimageio-tools python3-pytest
  slurmctld slurmd slurm-client munge sox libcairo2-dev libpixman-1-dev melt gcovr
  chromium nodejs)

missing() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || echo "$pkg"
  done
}

case "${1:-}" in
  --list)
    echo "build: ${build[*]}"
    echo "test:  ${test[*]}"
    exit 0
    ;;
  --test) wanted=("${build[@]}" "${test[@]}") ;;
  "") wanted=("${build[@]}") ;;
  *)
    echo "usage: $0 [--test | --list]" >&2
    exit 2
    ;;
esac

# The browser test's driver, from npm at the version the lock file pins.
# Without the registry the browser test skips and says why; nothing else
# depends on it.
browser_driver() {
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/host"
  [ -f "$dir/node_modules/playwright-core/package.json" ] && return 0
  command -v npm >/dev/null || return 0
  echo "installing the browser test's driver (playwright-core) into tests/host/node_modules"
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) ||
    echo "could not install playwright-core from npm: the viewer's browser test will be skipped"
}

mapfile -t need < <(missing "${wanted[@]}")
if [ ${#need[@]} -gt 0 ]; then
  echo "installing the Debian packages ${1:+for the tests }that are missing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq "${need[@]}"
fi
[ "${1:-}" = --test ] && browser_driver
exit 0
