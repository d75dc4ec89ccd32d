#!/usr/bin/env bash
# Checks an installed tree as the desktop and the about panel will use it:
#   check-install.sh stage BUILD_DIR PREFIX SCRATCH   installs BUILD_DIR with DESTDIR=SCRATCH
#   check-install.sh deb PACKAGE.deb SCRATCH          unpacks the package into SCRATCH
# then checks that the desktop entry's Exec reaches the installed program, that the program looks
# for its README and license where they were installed, and that the installed program starts.
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

mode=${1:-}
case "$mode" in
  stage)
    [ $# -eq 4 ] || fail "usage: $0 stage BUILD_DIR PREFIX SCRATCH"
    build=$2 prefix=$3 root=$4
    rm -rf "$root"
    DESTDIR="$root" cmake --install "$build" >/dev/null
    ;;
  deb)
    [ $# -eq 3 ] || fail "usage: $0 deb PACKAGE.deb SCRATCH"
    deb=$2 prefix=/usr root=$3
    version=$(dpkg-deb -f "$deb" Version)
    arch=$(dpkg-deb -f "$deb" Architecture)
    [ "$(basename "$deb")" = "larkhaven_${version}_${arch}.deb" ] \
      || fail "$(basename "$deb") is not named larkhaven_${version}_${arch}.deb"
    depends=$(dpkg-deb -f "$deb" Depends)
    # The libraries come from dpkg-shlibdeps; what is loaded at run time is listed by hand.
    for needed in libqt6widgets6 libavcodec libsdl2 libtag1v5 qt6-qpa-plugins fonts-dejavu-core fonts-wqy-microhei; do
      [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks $needed: $depends"
    done
    rm -rf "$root"
    mkdir -p "$root"
    dpkg -x "$deb" "$root"
    ;;
  *)
    fail "usage: $0 stage BUILD_DIR PREFIX SCRATCH | deb PACKAGE.deb SCRATCH"
    ;;
esac

entry=$root$prefix/share/applications/larkhaven.desktop
[ -f "$entry" ] || fail "no desktop entry at $prefix/share/applications"

# A bare Exec name is looked up along PATH, whose entry for this prefix is its bin folder. The
# entry's actions (Add to Playlist) run a program of their own, which must be the same one.
exec_names=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry" | sort -u)
[ "$(wc -l <<<"$exec_names")" -eq 1 ] || fail "the desktop entry and its actions run different programs: $exec_names"
exec_name=$exec_names
case "$exec_name" in
  /*) program=$root$exec_name ;;
  '') fail "the desktop entry has no Exec" ;;
  *) program=$root$prefix/bin/$exec_name ;;
esac
[ -x "$program" ] || fail "the desktop entry runs $exec_name, which is not installed as ${program#"$root"}"
grep -qx 'Exec=[^ ]* --enqueue %U' "$entry" || fail "the desktop entry has no action that adds with --enqueue"

icon=$(sed -n 's/^Icon=//p' "$entry")
ls "$root$prefix"/share/icons/hicolor/*/apps/"$icon".* >/dev/null 2>&1 \
  || fail "no icon named $icon in the hicolor theme"

# The about panel opens README.md and LICENSE from the documents' folder the program was built
# for (it falls back to the source tree when they are missing there, which a user does not have).
folders=$(grep -aoE '/[[:alnum:]/._-]*/share/doc/larkhaven' "$program" | sort -u)
[ -n "$folders" ] || fail "the program names no documents' folder"
[ "$(wc -l <<<"$folders")" -eq 1 ] || fail "the program names several documents' folders: $folders"
[ "$folders" = "$prefix/share/doc/larkhaven" ] \
  || fail "the about panel looks in $folders, the documents are installed in $prefix/share/doc/larkhaven"
for document in README.md LICENSE; do
  [ -s "$root$folders/$document" ] || fail "the about panel's $document is not installed in $folders"
done

# The installed program starts and serves its single-instance socket: a later launch hands over
# to it and exits, while the first keeps running.
home=$(mktemp -d)
cleanup() {
  if [ -n "${first:-}" ]; then
    kill "$first" 2>/dev/null || true
    wait "$first" 2>/dev/null || true
  fi
  rm -rf "$home"
}
trap cleanup EXIT
# What a user types first: --help and --version print and exit without starting or reaching a
# player (no cache folder, no lock); an unknown option is a usage error. The manual page says the same.
help=$(env -i HOME="$home" XDG_CACHE_HOME="$home/cache" PATH=/usr/bin:/bin "$program" --help) \
  || fail "--help did not exit 0"
[[ "$help" == Usage:* && "$help" == *--version* && "$help" == *--enqueue* && "$help" == *"Exit status"* ]] \
  || fail "--help printed: $help"
version=$(env -i HOME="$home" XDG_CACHE_HOME="$home/cache" PATH=/usr/bin:/bin "$program" --version) \
  || fail "--version did not exit 0"
[[ "$version" =~ ^larkhaven\ [0-9]+\.[0-9]+\.[0-9]+ ]] || fail "--version printed: $version"
status=0
env -i HOME="$home" XDG_CACHE_HOME="$home/cache" PATH=/usr/bin:/bin "$program" --no-such-option \
  >"$home/usage.out" 2>"$home/usage.err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option exited $status, not 2"
[ ! -s "$home/usage.out" ] && grep -q "^larkhaven: unknown option --no-such-option" "$home/usage.err" \
  && grep -q "^Usage:" "$home/usage.err" || fail "an unknown option printed: $(cat "$home/usage.out" "$home/usage.err")"
[ ! -e "$home/cache" ] || fail "--help, --version or a usage error made the cache folder"
manual=$(zcat -f "$(find "$root$prefix/share/man/man1" -name 'larkhaven.1*')")
for option in --help --version --enqueue; do
  grep -qF -- "${option//-/\\-}" <<<"$manual" || fail "the manual page does not list $option"
done

mkdir -m 0700 "$home/runtime"
environment=(HOME="$home" XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME="$home/config"
  XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy PATH=/usr/bin:/bin)
env -i "${environment[@]}" "$program" >"$home/first.log" 2>&1 &
first=$!
for _ in $(seq 100); do
  [ -S "$home/cache/Larkhaven/larkhaven.socket" ] && break
  kill -0 "$first" 2>/dev/null || fail "the installed program exited at start: $(cat "$home/first.log")"
  sleep 0.1
done
[ -S "$home/cache/Larkhaven/larkhaven.socket" ] || fail "the installed program opened no activation socket"
timeout 20 env -i "${environment[@]}" "$program" >/dev/null 2>&1 \
  || fail "a second launch of the installed program did not hand over and exit 0"
sleep 2
kill -0 "$first" 2>/dev/null || fail "the installed program stopped: $(cat "$home/first.log")"
echo "installed tree under $root is consistent: $exec_name runs, the about panel's documents are in $folders"
