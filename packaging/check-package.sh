#!/usr/bin/env bash
# Builds the Debian package from a finished build tree and tries it the way a user gets it:
# unpacked with dpkg-deb under a scratch root, its metadata validated, its programs run
# from there (version, command-line conventions, a short search against the stand-in web
# it ships), and nothing written into the unpacked install folders.
#   check-package.sh BUILD_DIR VERSION-RELEASE      ($CPACK: the cpack to use, default cpack)
set -euo pipefail
build=$(cd "$1" && pwd)
release=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/sandbox-env.sh"

scratch=$(mktemp -d)
sandbox_pid=""
cleanup() {
  if [ -n "$sandbox_pid" ] && kill -0 "$sandbox_pid" 2>/dev/null; then
    kill "$sandbox_pid" 2>/dev/null || true
    wait "$sandbox_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "package check: $*" >&2; exit 1; }

# Its own output folder, so a `make package` at the same time does not meet it.
"${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/cpack" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb="$scratch/cpack/lumisift_${release}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$scratch/cpack")"

# dpkg-shlibdeps must have named the libraries the programs link.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6network6 libqt6widgets6 libssl3 libgumbo1 ca-certificates; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
app=com.lumisift.Lumisift
for file in usr/bin/lumisift usr/bin/lumisift-cli usr/bin/lumisift-sandbox \
  usr/lib/lumisift/libadvert.so \
  usr/share/applications/$app.desktop usr/share/metainfo/$app.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/$app.svg usr/share/icons/hicolor/48x48/apps/$app.png \
  usr/share/man/man1/lumisift-cli.1.gz; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
desktop-file-validate "$root/usr/share/applications/$app.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml"

# The programs run from the unpacked root, as a user without settings yet.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_CACHE_HOME="$scratch/home/.cache"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
touch "$scratch/before-runs"
bin="$root/usr/bin"
for program in lumisift lumisift-cli; do
  version=$("$bin/$program" --version)
  [ "$version" = "Lumisift ${release%-*}" ] || fail "$program --version printed \"$version\""
  "$bin/$program" --help | grep -q "^usage: $program" || fail "$program --help printed no usage"
  status=0
  "$bin/$program" --no-such-option >"$scratch/out" 2>"$scratch/err" || status=$?
  [ $status -eq 2 ] || fail "$program --no-such-option exited with $status, not 2"
  [ ! -s "$scratch/out" ] && grep -q "^usage: $program" "$scratch/err" ||
    fail "$program --no-such-option did not put the usage on standard error alone"
done

start_sandbox "$bin/lumisift-sandbox" --hang-ms 500 --slow-ms 200 >/dev/null
"$bin/lumisift-cli" search sunset --for 60 --until-idle 2 >"$scratch/rows"
[ -s "$scratch/rows" ] || fail "lumisift-cli search found nothing"
grep -qv $'^[^\t]*\thttp://' "$scratch/rows" && fail "lumisift-cli search printed other lines: $(head -3 "$scratch/rows")"

# The settings went to the user's configuration folder; the install folders are untouched.
[ -d "$XDG_CONFIG_HOME/lumisift" ] || fail "the installed program did not use the user's configuration folder"
written=$(find "$root" -newer "$scratch/before-runs")
[ -z "$written" ] || fail "written into the install folders: $written"
echo "package check: $(basename "$deb") passed ($(wc -l <"$scratch/rows") pictures found)"
