#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing.
# Idempotent and quiet when everything is present. sox is used by the
# benchmarks only (bench/snd_bench.cpp skips its comparison without it), and
# so is cairo (bench/msk_bench.cpp compares mask rasterization with it). The
# ffmpeg tool makes test media and is the baseline of the movie benchmark.
# openimageio-tools (oiiotool) writes and reads the RLA driver's oracle files
# in its tests, which skip without it. The host reads project descriptions
# with nlohmann-json; sound
# plays through ALSA. The Text effect shapes with HarfBuzz and FriBidi, draws
# glyphs with FreeType and finds fonts with fontconfig.
set -euo pipefail
need=()
for pkg in g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libgmp-dev libpixman-1-dev ccache pkg-config libsndfile1-dev sox libcairo2-dev libopenimageio-dev libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg openimageio-tools libcli11-dev nlohmann-json3-dev libasound2-dev libharfbuzz-dev libfreetype-dev libfontconfig-dev libfribidi-dev; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# The demo's title and the text tests draw with the DejaVu fonts.
for pkg in fonts-dejavu-core; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# The render farm's test starts a Slurm controller and worker of its own
# (munge only for a Slurm without auth/none).
for pkg in slurmctld slurmd slurm-client munge; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# melt (MLT) is the baseline of the composition rendering benchmark only;
# bench/render_bench.cpp skips its comparison without it.
for pkg in melt; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# The Debian package (`make package`, tests/install/package_test.sh): CPack
# finds the libraries' dependencies with dpkg-shlibdeps (dpkg-dev) and tells
# ELF files with file(1).
for pkg in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
# The Python module (python/) and its pytest tests use Debian's python3.
for pkg in python3-dev pybind11-dev python3-numpy python3-pytest; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
echo "installing: ${need[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${need[@]}"
