#!/usr/bin/env bash
# The installation as a Linux desktop gets it: `cmake --install` into a prefix, then the .deb that
# CPack makes from the same build, its contents and fields, unpacked into a scratch root (never
# into this machine's own), its desktop entry validated, and its executable started on a private
# X server in an empty network namespace until its window shows.
#
# usage: package_test.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: the program is started in a network namespace of its own, which needs root" >&2
  exit 77
fi
work=$(mktemp -d /tmp/velmor-package-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

icons=()
for size in 16 24 32 48 128 256; do
  for folder in "${size}x${size}" "${size}x${size}@2"; do icons+=("share/icons/hicolor/$folder/apps/velmor-manager.png"); done
done
placed=(bin/velmor-manager share/applications/velmor-manager.desktop "${icons[@]}")

# --- cmake --install: the freedesktop places under the prefix ------------------------------------
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in "${placed[@]}"; do
  [[ -f $work/prefix/$f ]] || fail "cmake --install did not put $f"
done
[[ -x $work/prefix/bin/velmor-manager ]] || fail "the installed program is not executable"

# --- the .deb --------------------------------------------------------------------------------------
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log") ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "velmor-manager_1.0.0.4_${arch}.deb" ]] || fail "unexpected file name $(basename "$deb")"

[[ $(dpkg-deb -f "$deb" Package) == velmor-manager ]] || fail "package name"
[[ $(dpkg-deb -f "$deb" Version) == 1.0.0.4 ]] || fail "version $(dpkg-deb -f "$deb" Version)"
[[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libc6 libstdc++6 libx11-6 libxrandr2 libfreetype6 libfontconfig1 libcurl4 libnl-3-200 \
  libnl-genl-3-200 fonts-noto-cjk xdg-utils; do
  grep -Eq "(^|, )${p//+/\\+}( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
# Every dependency is a real package name (they are all installed where the program is built).
for p in $(sed -e 's/([^)]*)//g' -e 's/,/ /g' <<<"$depends"); do
  dpkg-query -W "$p" >/dev/null 2>&1 || fail "Depends names $p, which is no package here"
done

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./||' | grep -v '/$' | sort >"$work/contents"
printf 'usr/%s\n' "${placed[@]}" | sort >"$work/expected"
diff -u "$work/expected" "$work/contents" >&2 || fail "the package holds other files than the program's"

# --- unpacked into a scratch root --------------------------------------------------------------
dpkg -x "$deb" "$work/root"
entry=$work/root/usr/share/applications/velmor-manager.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Exec=velmor-manager' "$entry" || fail "the desktop entry does not start the installed program"
grep -qx 'Icon=velmor-manager' "$entry" || fail "the desktop entry does not name the installed icons"
exe=$work/root/usr/bin/velmor-manager
if ldd "$exe" | grep -q 'not found'; then fail "unresolved libraries: $(ldd "$exe" | grep 'not found')"; fi

# --- the unpacked program starts and shows its window -------------------------------------------
# A display number well above those that other tests' servers (-displayfd) take. The program in
# its own network namespace reaches the server only through the socket file (abstract sockets
# belong to a network namespace), so the server counts as up once a client there gets through.
display=""
for _ in 1 2 3 4 5; do
  n=$((200 + RANDOM % 700))
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  pids+=("$xvfb")
  for _ in $(seq 1 100); do
    [[ -S /tmp/.X11-unix/X$n ]] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
  done
  if DISPLAY=":$n" unshare -n xdotool getmouselocation >/dev/null 2>&1; then
    display=":$n"
    break
  fi
done
[[ -n $display ]] || fail "no X server reachable from a network namespace"
export DISPLAY=$display

mkdir -m 0700 "$work/runtime"
# An empty network namespace: no adapter, so no probe leaves the machine.
XDG_RUNTIME_DIR=$work/runtime unshare -n "$exe" >"$work/app.out" 2>"$work/app.err" &
app=$!
pids+=("$app")
window=""
for _ in $(seq 1 300); do
  window=$(xdotool search --onlyvisible --name 'Kavel-7100' 2>/dev/null | head -n 1 || true)
  [[ -n $window ]] && break
  kill -0 "$app" 2>/dev/null || fail "the program ended: $(cat "$work/app.err")"
  sleep 0.1
done
[[ -n $window ]] || fail "no window within 30 s: $(cat "$work/app.err")"
# The window takes the skin's size at its first paint.
for _ in $(seq 1 200); do
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [[ ${WIDTH}x${HEIGHT} == 358x327 ]] && break
  sleep 0.1
done
[[ ${WIDTH}x${HEIGHT} == 358x327 ]] || fail "the window is ${WIDTH}x${HEIGHT}, not the skin's 358x327"
[[ $(xdotool getwindowname "$window") == 'Kavel-7100設定画面接続ツール' ]] || fail "window title"
echo "package: $(basename "$deb") installs, validates and shows its window"
