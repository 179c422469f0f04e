#!/usr/bin/env bash
# Builds the Debian package from a built tree, installs it with apt, checks
# the installed program (version, a conversion of the installed samples, the
# window's data in share/ and the window finding it there, the manual page),
# runs the desktop, AppStream and Debian validators, removes the package and
# checks that nothing of it is left under /usr. Needs root: it installs into /usr.
#   package_test.sh BUILD_DIR WINDOW_PROBE_LIBRARY
set -euo pipefail

build_dir=$1
probe=$2
skip=77

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing the package needs root"
    exit $skip
fi
if dpkg-query -W -f='${Status}' velloran 2>/dev/null | grep -q "install ok installed"; then
    echo "FAILED: a velloran package is already installed; remove it first"
    exit 1
fi

work=$(mktemp -d /tmp/velloran-package-XXXXXX)
installed=0
cleanup() {
    if [ $installed -eq 1 ]; then
        apt-get purge -y -q -o DPkg::Lock::Timeout=600 velloran >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}
export DEBIAN_FRONTEND=noninteractive
# The program's settings and LibreOffice's profile stay in the work folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"

echo "== building the package"
cpack -G DEB -B "$work/deb" --config "$build_dir/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/deb/velloran_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one velloran_*.deb, found: ${debs[*]}"
deb=${debs[0]}
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
dpkg-deb -f "$deb" Version Depends

echo "== installing"
# apt wants ./ in front of a local file; the lock timeout waits for other apt runs.
(cd "$work/deb" && apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends \
    "./$(basename "$deb")") >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
installed=1
dpkg-query -L velloran >"$work/files"

echo "== velloran --version"
version=$(/usr/bin/velloran --version)
echo "$version"
[ "$version" = "Velloran $(dpkg-deb -f "$deb" Version)" ] || fail "unexpected version line: $version"

echo "== velloran convert of the installed samples"
/usr/bin/velloran convert --output "$work/pages" /usr/share/velloran/Samples ||
    fail "convert exited with $?"
pages=$(find "$work/pages" -maxdepth 1 -name '*.htm' | wc -l)
[ "$pages" -eq 3 ] || fail "expected 3 pages, found $pages: $(ls "$work/pages")"
echo "$pages pages"
# The library the worker loads to read decks in one call.
[ -f /usr/lib/velloran/office/libvelloran_office_reader.so ] ||
    fail "the in-worker deck reader is not installed"

echo "== the window's data, and the window, offscreen, from the installed program"
# The window takes its skin, pointer and samples from one folder; the probe
# checks from inside that it is this one.
for file in x/o.cjs HAND-M.CUR Samples; do
    [ -e "/usr/share/velloran/$file" ] || fail "/usr/share/velloran/$file is not installed"
done
QT_QPA_PLATFORM=offscreen LD_PRELOAD=$probe VELLORAN_PROBE_DATADIR=/usr/share/velloran \
    timeout 180 /usr/bin/velloran || fail "the window probe reported failures (status $?)"

echo "== manual page"
page=$(man -w velloran) || fail "man -w velloran found nothing"
echo "$page"
[ "$page" = /usr/share/man/man1/velloran.1.gz ] || fail "man -w velloran gave $page"
# Every option the program lists must be explained in the page.
text=$(LC_ALL=C MANWIDTH=100 man -P cat velloran 2>&1)
for option in $(/usr/bin/velloran --help | grep -o -- '--[a-z]\+' | sort -u); do
    grep -q -- "$option" <<<"$text" || fail "the manual page does not mention $option"
done

echo "== validators"
out=$(desktop-file-validate /usr/share/applications/org.example.velloran.desktop 2>&1) ||
    { echo "$out"; fail "desktop-file-validate"; }
[ -z "$out" ] || { echo "$out"; fail "desktop-file-validate is not clean"; }
echo "desktop-file-validate: no messages"
out=$(appstreamcli validate --no-net --pedantic /usr/share/metainfo/org.example.velloran.metainfo.xml 2>&1) ||
    { echo "$out"; fail "appstreamcli validate"; }
echo "$out"
! grep -q '^[EWIP]:' <<<"$out" || fail "appstreamcli validate is not clean"
# Errors and warnings fail; the information tags are printed for the record.
lintian --display-info --pedantic "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
out=$(grep -v "running with root privileges is not recommended" "$work/lintian.log" || true)
echo "lintian: ${out:-no messages}"
! grep -q '^[EW]:' <<<"$out" || fail "lintian reports errors or warnings"

echo "== removing"
apt-get purge -y -q -o DPkg::Lock::Timeout=600 velloran >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get purge"; }
installed=0
left=()
while IFS= read -r path; do
    # Shared folders such as /usr/share/icons stay; our files and folders must not.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *velloran* ]]; }; then
        left+=("$path")
    fi
done <"$work/files"
mapfile -t -O ${#left[@]} left < <(find /usr -xdev -iname '*velloran*' 2>/dev/null)
[ ${#left[@]} -eq 0 ] || fail "left under /usr after removal: ${left[*]}"
echo "nothing of velloran left under /usr"
echo "PASSED"
