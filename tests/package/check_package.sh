#!/usr/bin/env bash
# Checks the built Debian package as a user gets it: unpacked into a scratch
# root, its programs answer with the package's version, the sample days in
# its examples are processed by the installed tools, its desktop files and
# metadata validate, its systemd unit is installed but left alone, its
# dependencies cover every library the programs load, and lintian accepts it
# (errors and warnings fail; the warnings the package accepts are overridden
# in debian/ with the reason).
# Usage: tests/package/check_package.sh dist/quorvane_VERSION_ARCH.deb
set -uo pipefail
export LC_ALL=C

deb=${1:?usage: $0 PACKAGE.deb}
top=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
log="$scratch/log"

passed=0
failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
# check WHAT COMMAND...: runs COMMAND, its output shown only when it fails.
check() {
  local what=$1
  shift
  if "$@" > "$log" 2>&1; then pass "$what"; else fail "$what"; sed 's/^/    /' "$log"; fi
}

# A copy, so that a package built meanwhile in the same tree changes nothing.
if ! cp "$deb" "$scratch/"; then
  echo "FAILED: no package at $deb"
  echo "package: 0 passed, 1 failed"
  exit 1
fi
deb="$scratch/$(basename "$deb")"

# One version: CMake's project VERSION, debian/changelog and the package.
changelog_version=$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)
version=${changelog_version%-*}
cmake_version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
if [ "$version" = "$cmake_version" ]; then
  pass "debian/changelog ($changelog_version) has CMake's project VERSION $cmake_version"
else
  fail "debian/changelog says $changelog_version, CMakeLists.txt project VERSION is $cmake_version"
fi
package_version=$(dpkg-deb -f "$deb" Version)
[ "$package_version" = "$changelog_version" ] && pass "package version $package_version" ||
  fail "package version $package_version, debian/changelog $changelog_version"

dpkg-deb -x "$deb" "$root" && dpkg-deb -e "$deb" "$scratch/control" || {
  echo "FAILED: cannot unpack $deb"
  echo "package: $passed passed, $((failed + 1)) failed"
  exit 1
}

# The programs: exactly these, each with a man page, --version and --help.
programs=(quorvane quorvane-batch quorvane-convert quorvane-plot)
installed=$(cd "$root/usr/bin" && ls | tr '\n' ' ')
[ "$installed" = "${programs[*]} " ] && pass "programs in /usr/bin: $installed" ||
  fail "programs in /usr/bin are '$installed', expected '${programs[*]}'"
for program in "${programs[@]}"; do
  bin="$root/usr/bin/$program"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] && pass "man page of $program" ||
    fail "no man page usr/share/man/man1/$program.1.gz"
  # The dialog answers --version and --help before it needs a screen.
  answer=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$bin" --version 2>&1)
  [ "$answer" = "$program $version" ] && pass "$program --version" ||
    fail "$program --version printed '$answer', expected '$program $version'"
  check "$program --help" sh -c '"$1" --help > "$2" && [ -s "$2" ]' sh "$bin" "$scratch/help"
done

# The demo from the installed examples: both kinds from the ASCII days, winds
# from the binary pairs, and the installed tools reading the results back.
examples="$root/usr/share/doc/quorvane/examples"
out="$scratch/out"
mkdir -p "$out"
batch=("$root/usr/bin/quorvane-batch" --begin 2004-06-15 --end 2004-06-16 --minutes 30 --quiet)
check "quorvane-batch winds from the example ASCII days, with netCDF and plots" \
  "${batch[@]}" --input "$examples" --output "$out/ascii" --input-type ascii --site qvs \
  --kind winds --window 2 --threshold 50 --netcdf --plot png
check "quorvane-batch temperature with the example settings file" \
  "${batch[@]}" --input "$examples" --output "$out/ascii" --input-type ascii --site qvs \
  --kind temperature --settings "$examples/qvs_settings.csv"
check "quorvane-batch winds from the example binary pairs" \
  "${batch[@]}" --input "$examples/binary" --output "$out/binary" --input-type binary \
  --kind winds --window 2 --threshold 50
for pattern in 'ascii/*.w1a' 'ascii/*.t1a' 'ascii/*.t2a' 'ascii/*.nc' 'ascii/*.png' 'binary/*.w1a'; do
  count=$(compgen -G "$out/$pattern" | wc -l)
  [ "$count" -ge 2 ] && pass "$count files $pattern written" ||
    fail "$count files $pattern written, expected one per day"
done
check "quorvane-convert of the example winds" \
  "$root/usr/bin/quorvane-convert" --out "$out/convert" $(compgen -G "$out/binary/*.w1a")
check "quorvane-plot of the example results" \
  "$root/usr/bin/quorvane-plot" --format svg --out "$out/plots" "$out/ascii"

# Desktop entry, AppStream metadata and icon.
desktop="$root/usr/share/applications/quorvane.desktop"
metainfo=$(compgen -G "$root/usr/share/metainfo/*.metainfo.xml")
check "desktop-file-validate" desktop-file-validate "$desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$metainfo"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$release" = "$version" ] && pass "metainfo's newest release is $version" ||
  fail "metainfo's newest release is '$release', the package's version $version"
launchable=$(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$metainfo")
[ -f "$root/usr/share/applications/$launchable" ] && pass "metainfo launches $launchable" ||
  fail "metainfo names '$launchable', not an installed desktop file"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16x16 32x32 48x48 64x64 128x128 256x256 scalable; do
  file=$(compgen -G "$root/usr/share/icons/hicolor/$size/apps/$icon.*")
  [ -n "$file" ] && pass "icon $size" || fail "no $size icon '$icon' in hicolor"
done

# The follower's unit: installed, runs the installed batch tool, and neither
# enabled nor started by the maintainer scripts.
unit="$root/usr/lib/systemd/system/quorvane-follow@.service"
exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit" 2>/dev/null)
[ -n "$exec_start" ] && [ -x "$root$exec_start" ] && pass "unit runs $exec_start" ||
  fail "unit missing or its ExecStart '$exec_start' is not an installed program"
[ -f "$examples/station.conf" ] && pass "example station.conf" || fail "no example station.conf"
if grep -qs 'quorvane-follow' "$scratch/control/postinst" "$scratch/control/prerm" \
    "$scratch/control/postrm" "$scratch/control/preinst"; then
  fail "a maintainer script enables, starts or stops the follower's unit"
else
  pass "the follower's unit is neither enabled nor started"
fi

# Depends names the package of every library the programs load.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
depends=" $(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/ //g' | tr '\n' ' ') "
for soname in $(objdump -p "$root"/usr/bin/* | awk '$1 == "NEEDED" { print $2 }' | sort -u); do
  owner=$(dpkg -S "*/$multiarch/$soname" 2>/dev/null | head -n 1 | cut -d: -f1)
  case "$depends" in
    *" $owner "*) pass "Depends covers $soname ($owner)" ;;
    *) fail "Depends lacks ${owner:-the package} of $soname: $depends" ;;
  esac
done

# lintian: every error and warning fails; all tags are shown.
if lintian --fail-on error,warning --display-info "$deb" > "$log" 2>&1; then
  pass "lintian"
else
  fail "lintian"
fi
grep -v '^running with root privileges' "$log" | sed 's/^/    lintian: /'

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
