#!/usr/bin/env bash
# The window program on a real X server: `zelfin a.obj "b c.obj"` with the
# setup dialog switched off writes the outputs of both files, ends with exit
# status 0, and leaves all five settings in the settings file.
# Usage: window_program_test.sh PATH_TO_ZELFIN. Exit 77 (skipped) without xvfb-run.
set -euo pipefail
zelfin="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
if ! command -v xvfb-run >/dev/null || ! command -v xauth >/dev/null; then
  echo "xvfb-run or xauth is not installed: skipped"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/home" "$work/config/MORVAIN"
model=$'v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nusemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n'
printf '%s' "$model" >"$work/in/a.obj"
printf '%s' "$model" >"$work/in/b c.obj"
settings="$work/config/MORVAIN/ZELFIN.reg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\MORVAIN\\ZELFIN\\Setup]\r\n"DivIndex"=dword:00000000\r\n"isDispSetupDlg"="0"\r\n' >"$settings"

# A sanitizer build: leave out what the system libraries keep until exit.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# The real display, not the offscreen platform of the widget tests.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/home"
chmod 700 "$work/home"
cd "$work/in"
status=0
timeout 120 xvfb-run -a "$zelfin" a.obj "b c.obj" || status=$?

fail() {
  echo "FAIL: $*"
  exit 1
}
[ "$status" -eq 0 ] || fail "zelfin ended with status $status"
for out in a_red.obj a_blue.obj "b c_red.obj" "b c_blue.obj"; do
  [ -f "$work/in/$out" ] || fail "missing output $out (folder: $(ls "$work/in" | tr '\n' ' '))"
done
grep -q $'^f 1 2 3\r$' "$work/in/a_red.obj" || fail "a_red.obj does not hold its renumbered face"
for value in '"SaveType"=dword:00000000' '"SaveFolder"=""' '"DivIndex"=dword:00000000' \
  '"DietIndex"=dword:00000000' '"isDispSetupDlg"="0"'; do
  grep -qF "$value" "$settings" || fail "settings file lacks $value: $(cat "$settings")"
done
echo "PASS"
