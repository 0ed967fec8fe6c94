#!/usr/bin/env bash
# Fresh machines: the README's two commands on minimal Debian 12 and Debian 13 systems, so that
# no package a developer's machine happens to have hides a missing install step.
#
# Each release gets a chroot made by debootstrap (minbase) in BUILD/tests/fresh, removed at the
# end, holding a clean clone of this checkout's HEAD. Each chroot's session runs in namespaces of
# its own (mounts, processes, network): when it ends, however it ends, the kernel undoes every
# mount and ends every process in it. Its one way out is apt's proxy (relay.py), so the program
# under test sees no network and sends nothing. In each chroot `scripts/run` must build the
# program and show its window on its own virtual display, with the program's own drawing of the
# disconnected state (vm_window from BUILD draws it), built without a warning. Then in the
# Debian 12 one `scripts/test` without the sanitizer, VM and fresh stages must pass, and in the
# Debian 13 one the program must build with clang without a warning too. After each command no
# test daemon or emulator may be installed, and no service enabled.
#
# Prints one line a release, "fresh Debian 12: run ok|failed, tests N passed, M failed" and
# "fresh Debian 13: run ok|failed, clang build ok|failed", also written to
# BUILD/tests/fresh/report.txt; the logs and the window's picture stay in
# BUILD/tests/fresh/RELEASE/. Exits 0 only when every run and build is ok and no test failed.
#
# usage: run_stage.sh BUILD_DIR
# VELMOR_FRESH_MIRROR (default http://deb.debian.org/debian) is the archive to install from.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
releases=(bookworm trixie)
number() { case $1 in bookworm) echo 12 ;; trixie) echo 13 ;; esac; }

# The packages whose presence after a command means it installed what the user did not ask for.
after_run=(hostapd wpasupplicant iwd qemu-system-x86 googletest)
after_test=(hostapd wpasupplicant iwd)
# A compiler's or CMake's warning in a build log.
warnings() { grep -E '^[^ :]+:[0-9]+(:[0-9]+)?: warning:|^CMake Warning' "$1"; }

# --- One chroot's session, as pid 1 of its own namespaces ----------------------------------------
# inside ROOT OUT OUTER_NETNS MIRROR_HOST VM_WINDOW REFERENCE tests|clang
# Writes the release's line to OUT/line.
inside() {
  local root=$1 out=$2 outer=$3 mirror_host=$4 vm_window=$5 reference=$6 then=$7
  local line="run failed" notes=()
  finish() {
    [[ ${#notes[@]} -eq 0 ]] || line+=" (${notes[*]})"
    echo "$line" >"$out/line"
    exit 0
  }
  # `ip netns` needs / to be a mount point.
  mount --bind "$root" "$root" && mount -t proc proc "$root/proc" && mount -t sysfs sysfs "$root/sys" &&
    mount --rbind /dev "$root/dev" && mount -t tmpfs tmpfs "$root/dev/shm" && mount -t tmpfs tmpfs "$root/run" &&
    ip link set lo up || { notes+=("mounts"); finish; }
  coproc RELAY { exec python3 "$here/relay.py" "$outer" "$mirror_host" 80 2>"$out/relay.log"; }
  local ready=""
  read -r -t 30 -u "${RELAY[0]}" ready
  [[ $ready == ready ]] || { notes+=("no relay: $(cat "$out/relay.log")"); finish; }
  echo 'Acquire::http::Proxy "http://127.0.0.1:3142/";' >"$root/etc/apt/apt.conf.d/00relay"

  enabled() { find "$root/etc/systemd/system" -type l 2>/dev/null | sort; }
  installed() {
    local p
    for p in "$@"; do
      [[ $(chroot "$root" dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] && echo "$p"
    done
  }
  check_left_behind() {  # check_left_behind COMMAND PACKAGES...
    local what=$1 bad
    shift
    bad=$(installed "$@" | tr '\n' ' ')
    [[ -z $bad ]] || { notes+=("$what installed ${bad% }"); return 1; }
    [[ $(enabled) == "$services" ]] || { notes+=("$what enabled $(comm -13 <(echo "$services") <(enabled) | tr '\n' ' ')"); return 1; }
  }
  local env=(/usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
  local services
  services=$(enabled)

  # scripts/run builds and starts the program, and says so once its window shows. Its log exists
  # before the reader below starts: `tail -f` gives up at once on a file not yet made.
  : >"$out/run.log"
  chroot "$root" "${env[@]}" bash -c 'cd /root/velmor-manager && exec scripts/run' >"$out/run.log" 2>&1 &
  local run=$! shown=""
  if timeout 2400 grep -q -m 1 'The window runs on the virtual display' <(tail -n +1 -f --pid="$run" "$out/run.log"); then
    local display window
    display=$(grep -o -m 1 'virtual display :[0-9]*' "$out/run.log" | grep -o ':[0-9]*$')
    window=$(DISPLAY=$display xdotool search --onlyvisible --name 'Kavel-7100' | head -n 1)
    # Abstract X sockets belong to a network namespace: these clients reach the chroot's server.
    if [[ -n $window ]] && DISPLAY=$display "$vm_window" wait "$window" "$reference" 30000 "$out/window.ppm" >"$out/compare.log" 2>&1; then
      shown=1
    else
      notes+=("the window differs from the drawing: $(tail -n 3 "$out/compare.log" | tr '\n' ' ')")
    fi
  else
    notes+=("no window: $(tail -n 3 "$out/run.log" | tr '\n' ' ')")
  fi
  kill -TERM "$run" 2>/dev/null
  wait "$run"
  if warnings "$out/run.log" >/dev/null; then
    notes+=("warnings in the build")
  elif check_left_behind "scripts/run" "${after_run[@]}" && [[ -n $shown ]]; then
    line="run ok"
  fi

  if [[ $then == clang ]]; then
    # Warnings are errors in our code; the log is searched as well for any other.
    chroot "$root" "${env[@]}" DEBIAN_FRONTEND=noninteractive bash -c 'cd /root/velmor-manager &&
      apt-get install -y -qq --no-install-recommends clang >/dev/null &&
      CC=clang CXX=clang++ cmake -S . -B build-clang -G Ninja -DVELMOR_BUILD_TESTS=OFF >/dev/null &&
      cmake --build build-clang --target velmor-manager' >"$out/clang.log" 2>&1 && ! warnings "$out/clang.log" >/dev/null &&
      line+=", clang build ok" || line+=", clang build failed"
  fi
  if [[ $then == tests ]]; then
    chroot "$root" "${env[@]}" VELMOR_SKIP_SANITIZERS=1 VELMOR_SKIP_VM=1 VELMOR_SKIP_FRESH=1 \
      bash -c 'cd /root/velmor-manager && exec timeout 2400 scripts/test' >"$out/test.log" 2>&1
    local status=$? summary total failed
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out/test.log" | tail -n 1)
    if [[ -n $summary ]]; then
      failed=$(awk '{print $4}' <<<"$summary")
      total=$(awk '{print $NF}' <<<"$summary")
    else
      failed=1 total=1
      notes+=("scripts/test ran no tests: $(tail -n 3 "$out/test.log" | tr '\n' ' ')")
    fi
    # A failure outside CTest (a build, a step of its own) counts as one failed test.
    [[ $status -eq 0 || $failed -gt 0 ]] || { failed=1 total=$((total + 1)); notes+=("scripts/test exited $status"); }
    check_left_behind "scripts/test" "${after_test[@]}" || { failed=$((failed + 1)) total=$((total + 1)); }
    line+=", tests $((total - failed)) passed, $failed failed"
  fi
  finish
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
fi

# --- The stage --------------------------------------------------------------------------------------
build=$(cd "$1" && pwd)
work=$build/tests/fresh
mirror=${VELMOR_FRESH_MIRROR:-http://deb.debian.org/debian}
mirror_host=${mirror#*://}
mirror_host=${mirror_host%%/*}
vm_window=$build/tests/vm_window
report_file=$work/report.txt

report_all() {  # report_all LINE: the same line for every release
  local release
  for release in "${releases[@]}"; do echo "fresh Debian $(number "$release"): $1"; done | tee "$report_file"
}
[[ $(id -u) -eq 0 ]] || { echo "SKIP: the chroots need root" >&2; exit 77; }
for tool in debootstrap unshare chroot python3 git ip xdotool; do
  command -v "$tool" >/dev/null || { report_all "run failed ($tool is missing; scripts/deps installs it)"; exit 1; }
done
[[ -x $vm_window ]] || { report_all "run failed ($vm_window is not built)"; exit 1; }

rm -rf --one-file-system "$work"
mkdir -p "$work"
remove_roots() {
  local release
  for release in "${releases[@]}"; do rm -rf --one-file-system "$work/$release/root"; done
}
trap remove_roots EXIT
trap 'exit 130' INT TERM

LC_ALL=C.UTF-8 "$vm_window" render "$work/reference.ppm" >"$work/reference.log" 2>&1 ||
  { report_all "run failed (cannot draw the reference: $(cat "$work/reference.log"))"; exit 1; }

fresh() {  # fresh RELEASE
  local release=$1 out=$work/$1
  local root=$out/root then=clang
  [[ $release == bookworm ]] && then=tests
  mkdir -p "$out"
  local started=$SECONDS made=""
  # debootstrap mounts /proc and /sys in the new root while it works: in a mount namespace of its
  # own, they go with it however it ends.
  if ! unshare --mount --propagation private debootstrap --variant=minbase "$release" "$root" "$mirror" \
    >"$out/debootstrap.log" 2>&1; then
    echo "run failed (debootstrap: $(tail -n 1 "$out/debootstrap.log"))" >"$out/line"
  elif ! git clone -q "$(git -C "$here" rev-parse --show-toplevel)" "$root/root/velmor-manager" 2>"$out/clone.log"; then
    echo "run failed (git clone: $(cat "$out/clone.log"))" >"$out/line"
  else
    # The one file of a freshly installed Debian that debootstrap does not write.
    printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
    made=$((SECONDS - started))
    unshare --mount --propagation private --net --pid --fork --kill-child \
      bash "$here/run_stage.sh" --inside "$root" "$out" "/proc/$$/ns/net" "$mirror_host" "$vm_window" \
      "$work/reference.ppm" "$then"
  fi
  echo "  (Debian $(number "$release"): the chroot made in ${made:-?} s, all done in $((SECONDS - started)) s)" >"$out/times"
}

for release in "${releases[@]}"; do fresh "$release" & done
wait

status=0
: >"$report_file"
for release in "${releases[@]}"; do
  cat "$work/$release/times" >>"$report_file" 2>/dev/null
  line=$(cat "$work/$release/line" 2>/dev/null || echo "run failed (the session ended without a result)")
  echo "fresh Debian $(number "$release"): $line" >>"$report_file"
  [[ $line == "run ok"* && $line != *"build failed"* ]] || status=1
  [[ $line =~ ,\ tests\ [0-9]+\ passed,\ ([0-9]+)\ failed && ${BASH_REMATCH[1]} -ne 0 ]] && status=1
done
cat "$report_file"
exit $status
