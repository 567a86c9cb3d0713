#!/usr/bin/env bash
# Installs the Debian packages that building and testing Zelfin needs, and
# those that make and check its Debian package (scripts/check-package.sh).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libicu-dev libxcb1-dev
  libgtest-dev libgmock-dev
  libmeshoptimizer-dev
  locales
  xvfb xauth
  clang libclang-rt-14-dev
  dpkg-dev file appstream desktop-file-utils groff-base lintian
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -eq 0 ]; then
  echo "All build packages are installed."
else
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale whose decimal separator is ",", for the tests that show numbers are
# written with "." whatever the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not make the de_DE.UTF-8 locale"
fi
