#!/usr/bin/env bash
# Makes the Debian package from $BUILD_DIR (default build/, already built) with
# `cpack -G DEB` and checks it: the two programs, the desktop entry, the icons,
# the AppStream metainfo, the user guide, both manual pages, the copyright file
# and the changelog are in it, its dependencies were found; the metainfo passes
# appstreamcli (alone and against the package's files, so its launchable names
# the shipped desktop entry), the desktop entry desktop-file-validate, the
# manual pages groff without a warning, the copyright file is machine-readable,
# and the changelog's latest entry is the package's version. Where lintian is
# installed, it runs too, and an error of it fails the check.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BUILD_DIR:-build}"
if [ ! -f "$build_dir/CPackConfig.cmake" ]; then
  echo "check-package: $build_dir is not a configured build folder; run scripts/build.sh first"
  exit 1
fi
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog appstreamcli desktop-file-validate \
  groff; do
  command -v "$tool" >/dev/null || {
    echo "check-package: $tool is missing (scripts/install-deps.sh installs it)"
    exit 1
  }
done

rm -f "$build_dir"/zelfin_*.deb
log="$(mktemp)"
root="$(mktemp -d)"
trap 'rm -rf "$log" "$root"' EXIT
if ! (cd "$build_dir" && cpack -G DEB) >"$log" 2>&1; then
  cat "$log"
  echo "check-package: cpack failed"
  exit 1
fi
debs=("$build_dir"/zelfin_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  cat "$log"
  echo "check-package: expected one zelfin_*.deb in $build_dir, found: ${debs[*]}"
  exit 1
fi
deb="${debs[0]}"
echo "check-package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Section Depends

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# The package's files, one path a line, without the leading "."
files="$(dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }')"
for path in /usr/bin/zelfin /usr/bin/zelfin-cli \
  /usr/share/applications/zelfin.desktop \
  /usr/share/metainfo/io.github.zelfin.Zelfin.metainfo.xml \
  /usr/share/man/man1/zelfin.1.gz /usr/share/man/man1/zelfin-cli.1.gz \
  /usr/share/doc/zelfin/guide/index.html \
  /usr/share/doc/zelfin/copyright /usr/share/doc/zelfin/changelog.gz; do
  grep -qxF "$path" <<<"$files" || fail "the package lacks $path"
done
grep -qx '/usr/share/icons/hicolor/[0-9]*x[0-9]*/apps/zelfin\.png' <<<"$files" ||
  fail "the package holds no icon under /usr/share/icons/hicolor"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libicu; do
  grep -q "$lib" <<<"$depends" || fail "Depends names no $lib: \"$depends\""
done

dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml ||
  fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
desktop-file-validate "$root/usr/share/applications/zelfin.desktop" ||
  fail "desktop-file-validate"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings="$(gzip -dc "$page" | groff -ww -man -z 2>&1)" || fail "groff on $(basename "$page")"
  [ -z "$warnings" ] || fail "groff warns on $(basename "$page"): $warnings"
done

doc="$root/usr/share/doc/zelfin"
if [ -f "$doc/copyright" ]; then
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$doc/copyright" || fail "the copyright file does not name the machine-readable format"
  grep -q '^Files: \*$' "$doc/copyright" || fail "the copyright file has no paragraph for Files: *"
  grep -q '^License: ' "$doc/copyright" || fail "the copyright file names no licence"
fi
if [ -f "$doc/changelog.gz" ]; then
  gzip -dc "$doc/changelog.gz" >"$root/changelog"
  logged="$(dpkg-parsechangelog -l "$root/changelog" -S Version 2>&1)" ||
    fail "dpkg-parsechangelog cannot read the changelog: $logged"
  version="$(dpkg-deb -f "$deb" Version)"
  [ "$logged" = "$version" ] ||
    fail "the changelog's latest entry is version $logged, the package's $version"
fi
if command -v lintian >/dev/null; then
  # lintian warns against running as root; its findings are what matter here.
  lintian_out="$(lintian "$deb" 2>&1 | grep -v '^running with root privileges' || true)"
  [ -n "$lintian_out" ] && echo "$lintian_out"
  grep -q '^E: ' <<<"$lintian_out" && fail "lintian reports errors"
else
  echo "check-package: lintian is not installed; its checks were left out"
fi

if [ "$failed" != 0 ]; then
  echo "Package contents:"
  dpkg-deb -c "$deb"
  exit 1
fi
echo "check-package: the package holds every file, and its metainfo, desktop entry and manual pages are valid"
