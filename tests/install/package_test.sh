#!/usr/bin/env bash
# The Debian package: built with CPack from the build folder into a
# temporary folder, then its name, control fields and file list checked.
# It is installed with apt and removed again only where that cannot harm
# anyone: as root (uid 0) on a throwaway machine, which this test takes to
# be a CI run (CI=true) or a machine whose owner says so with
# TAVELO_TEST_INSTALL_PACKAGE=1, and only when no tavelo package is
# installed already (one of the user's is never replaced or removed).
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
installed=false
# The script's own status stands: a clean-up step that fails (apt cannot
# purge a package that is already gone) must not turn a pass into a failure.
cleanup() {
  local rc=$?
  if $installed; then apt-get purge -y -qq tavelo >/dev/null 2>&1 || echo "could not purge tavelo" >&2; fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.txt" 2>&1) || { cat "$work/cpack.txt"; fail "cpack"; }
deb=$work/tavelo_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work"; fail "no $deb"; }

dpkg-deb -I "$deb" >"$work/info.txt"
field() { sed -n "s/^ $1: //p" "$work/info.txt"; }
[ "$(field Package)" = tavelo ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
# Depends comes from dpkg-shlibdeps: the C library and the libraries the
# engine uses for movies, stills and sound, with versions.
depends=$(field Depends)
for lib in libc6 libstdc++6 libavformat libavcodec libopenimageio libsndfile1 libasound2; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ $depends == *"libc6 (>="* ]] || fail "Depends without versions: $depends"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files.txt"
for f in ./usr/bin/tavelo ./usr/bin/piplc ./usr/lib/libtavelo.so.$version ./usr/lib/libtavelo.so \
  ./usr/lib/tavelo/plug-ins/sample_invert.tvx ./usr/lib/tavelo/formats/image-files.so \
  ./usr/lib/tavelo/formats/movie.so ./usr/include/tavelo/BEE.h ./usr/include/tavelo/tavelo_effect.h \
  ./usr/include/tavelo/TaveloVersion.h ./usr/lib/pkgconfig/tavelo.pc ./usr/lib/cmake/Tavelo/TaveloConfig.cmake \
  ./usr/lib/cmake/TaveloEffectSDK/TaveloEffectSDKConfig.cmake ./usr/share/man/man1/tavelo-render.1 \
  ./usr/share/bash-completion/completions/tavelo ./usr/share/doc/tavelo/host-api.md \
  ./usr/share/doc/tavelo/examples/c/render_frame.c; do
  grep -qxF "$f" "$work/files.txt" || fail "the package lacks $f"
done
grep -q '^./usr/lib/python3/dist-packages/tavelo/_tavelo' "$work/files.txt" || fail "the package lacks the Python module"
# Nothing of the build or the tests travels with it.
! grep -E 'test|recorder|/build/' "$work/files.txt" || fail "test files in the package"

# The machine's package database must be sound before we add to it: a
# dpkg run that was interrupted earlier (by someone else) leaves it in a
# state apt refuses to work in, which says nothing about our package.
dpkg_usable() { [ -z "$(dpkg --audit 2>&1)" ] && apt-get check -qq >/dev/null 2>&1; }
may_install=false
if [ "$(id -u)" = 0 ] && { [ "${CI:-}" = true ] || [ "${TAVELO_TEST_INSTALL_PACKAGE:-}" = 1 ]; } &&
  ! dpkg-query -W -f='${Status}' tavelo 2>/dev/null | grep -q "ok installed"; then
  if dpkg_usable; then may_install=true
  else echo "not installing: the package database needs repair first ('dpkg --configure -a'); $(dpkg --audit 2>&1 | head -1)"
  fi
fi
if $may_install; then
  export DEBIAN_FRONTEND=noninteractive
  chmod 755 "$work"  # apt reads local packages as its own unprivileged user
  apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.txt" 2>&1 || { cat "$work/apt.txt"; fail "apt install"; }
  installed=true
  (cd "$work" && tavelo --version | head -1 | grep -qF "tavelo $version") || fail "the installed tavelo"
  tavelo plugins | grep -qF "/usr/lib/tavelo/plug-ins (installation): 6 effects" || fail "installed plug-ins"
  apt-get remove -y -qq tavelo >"$work/apt.txt" 2>&1 || { cat "$work/apt.txt"; fail "apt remove"; }
  ! dpkg-query -W -f='${Status}' tavelo 2>/dev/null | grep -q "ok installed" || fail "still installed"
  [ ! -e /usr/bin/tavelo ] && [ ! -e /usr/lib/libtavelo.so.$version ] && [ ! -e /usr/lib/tavelo ] ||
    fail "files left after removal"
  apt-get purge -y -qq tavelo >/dev/null 2>&1  # and no record of it either
  installed=false
  echo "installed and removed $deb"
else
  echo "package built and inspected; not installed (needs root, CI=true or TAVELO_TEST_INSTALL_PACKAGE=1, and a sound package database)"
fi
echo "package test passed"
