#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch folder and runs what it holds, so a file
# missing from the package fails here; then the platform's checkers look at it.
# Usage: package_test.sh CPACK CPACK_CONFIG SCRATCH PICTURES VERSION
# Exit 77 (skipped) where the Debian tools are missing.
set -uo pipefail
cpack=$1 config=$2 scratch=$3 pictures=$4 version=$5

for tool in dpkg-deb dpkg-shlibdeps file lintian desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
fail() {
  echo "FAIL: $*"
  exit 1
}

rm -rf "$scratch" && mkdir -p "$scratch" || fail "cannot make $scratch"
"$cpack" --config "$config" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/out/folivant_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no $deb; made: $(ls "$scratch/out")"
root=$scratch/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"

app=org.example.folivant
for f in usr/bin/folivant usr/bin/folivant-build \
  usr/share/man/man1/folivant.1.gz usr/share/man/man1/folivant-build.1.gz \
  usr/share/folivant/readme.txt usr/share/applications/$app.desktop \
  usr/share/metainfo/$app.metainfo.xml usr/share/icons/hicolor/scalable/apps/folivant.svg \
  usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/folivant.png \
  usr/share/bash-completion/completions/folivant-build \
  usr/share/doc/folivant/copyright usr/share/doc/folivant/changelog.gz; do
  [[ -s $root/$f ]] || fail "the package has no $f"
done
for size in 48 128 256; do
  file "$root/usr/share/icons/hicolor/${size}x$size/apps/folivant.png" | grep -q "$size x $size" ||
    fail "the ${size}x$size icon has another size"
done
control=$(dpkg-deb -f "$deb" Version Depends)
grep -qx "Version: $version" <<<"$control" || fail "package version: $control"
[[ -n $(find "$root/usr/lib" -path "*/folivant/folivant-media.so") ]] || fail "no media module"
grep -q "libqt6widgets6" <<<"$control" && grep -q "libjpeg" <<<"$control" &&
  grep -q "libavcodec" <<<"$control" && grep -q "libheif" <<<"$control" ||
  fail "library dependencies not worked out: $control"

# What the unpacked programs do.
bin=$root/usr/bin
[[ $("$bin/folivant-build" --version) == "folivant-build v$version" ]] || fail "folivant-build --version"
[[ $("$bin/folivant" --version) == "folivant v$version" ]] || fail "folivant --version"
# The window opens (offscreen) and is still running when told to stop.
mkdir -m 700 "$scratch/run"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/run HOME=$scratch timeout 3 "$bin/folivant"
[[ $? == 124 ]] || fail "the window did not stay open"
"$bin/folivant-build" --no-settings -q -o "$scratch/catalog" "$pictures" ||
  fail "folivant-build on $pictures"
[[ -s $scratch/catalog/page1.html ]] || fail "no page1.html"
cmp -s <("$bin/folivant-build" --bash-completion) \
  "$root/usr/share/bash-completion/completions/folivant-build" ||
  fail "the installed completion is not the program's"

# The platform's checks: lintian with neither errors nor warnings.
lintian --fail-on error,warning "$deb" || fail "lintian"
desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$app.metainfo.xml" ||
  fail "appstreamcli validate"
echo "package: $deb passed"
