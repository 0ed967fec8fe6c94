#!/usr/bin/env bash
# The real Wi-Fi stack: velmor-manager on Debian's own kernel with mac80211_hwsim, under QEMU.
#
# The guest is Debian's kernel (downloaded once into BUILD/tests/vm/kernel, never installed on
# this machine), a busybox initramfs, and this machine's root file system shared read-only over
# 9p, so that it runs the same Xvfb, openbox and build tree. The Wi-Fi userland (hostapd,
# wpa_supplicant, iwd, iw, NetworkManager, dnsmasq, udev and what they need that this machine
# lacks) is fetched as Debian packages into BUILD/tests/vm/userland and unpacked there, never
# installed here; the guest lays it over the shared root. It has no network device. tests/vm/guest.sh runs the scenarios in it and writes their results to a
# writable share, BUILD/tests/vm/out, where the console log, the program's trace, the daemons'
# logs and the screenshots stay for a look after a failure.
#
# Each scenario prints a line; the last line is "real Wi-Fi stack (VM): N passed, M failed, K not
# run". A connect scenario is not run when the Wi-Fi stack itself gave the station no lasting link
# twice (on a loaded host the emulated key handshake can time out): its line says so. Exits 0
# only when no scenario failed.
#
# usage: run_stage.sh BUILD_DIR
# VELMOR_VM_DEADLINE (seconds, default 1500) bounds the whole guest; VELMOR_VM_LIMIT_MS (default
# 2000) is the longest time from a station event to the window's new state, in a guest running at
# the pace of an idle host: VELMOR_VM_PACE_US is how long the guest's pace loop takes there (the
# stage prints what it took), and a slower guest stretches the limit by as much;
# VELMOR_VM_SCENARIOS (names, space-separated) runs only those scenarios.
set -uo pipefail

build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
vm=$build/tests/vm
out=$vm/out
deadline=${VELMOR_VM_DEADLINE:-1500}
boot_deadline=120

# Everything the stage reports also goes to BUILD/tests/vm/report.txt, which scripts/test prints.
report_file=$vm/report.txt
mkdir -p "$vm"
: >"$report_file"
report() { echo "$*" | tee -a "$report_file"; }
summary() {  # summary PASSED FAILED [NOT_RUN]
  report "real Wi-Fi stack (VM): $1 passed, $2 failed, ${3:-0} not run"
}
# A failure before any scenario ran: every scenario counts as failed.
abort() {
  report "FAIL real Wi-Fi stack (VM): $*"
  summary 0 1
  exit 1
}

# --- What the stage needs --------------------------------------------------------------------
for tool in qemu-system-x86_64 modprobe depmod cpio apt-get apt-cache dpkg-deb Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || abort "$tool is missing (scripts/deps installs it)"
done
# The initramfs runs busybox before any library is there: it must be the static build.
[[ -x /bin/busybox ]] && ! ldd /bin/busybox >/dev/null 2>&1 || abort "/bin/busybox is not busybox-static's"
for f in app/velmor-manager tests/support/router_sim/router_sim tests/vm_window; do
  [[ -x $build/$f ]] || abort "$build/$f is not built"
done

# --- The kernel: downloaded and unpacked once per build tree ------------------------------------
kernel=$vm/kernel
if [[ ! -f $kernel/ready ]]; then
  rm -rf "$kernel"
  mkdir -p "$kernel/download"
  package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
  name=$(package)
  if [[ -z $name ]]; then
    apt-get update -qq >/dev/null 2>&1
    name=$(package)
  fi
  [[ -n $name ]] || abort "apt knows no kernel package behind linux-image-amd64"
  # Package lists older than the archive name a file it no longer has: once more after an update.
  download() { (cd "$kernel/download" && apt-get download "$name") >"$kernel/download.log" 2>&1; }
  download || { apt-get update -qq >/dev/null 2>&1 && download; } ||
    abort "apt-get download $name failed: $(tail -n 3 "$kernel/download.log")"
  deb=$(ls "$kernel"/download/*.deb)
  # Only what a guest without devices loads: networking, file systems, crypto, virtio and the
  # simulated radios.
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel" --wildcards ./boot/vmlinuz-\* \
    './lib/modules/*/modules.*' './lib/modules/*/kernel/net' './lib/modules/*/kernel/fs' \
    './lib/modules/*/kernel/crypto' './lib/modules/*/kernel/lib' './lib/modules/*/kernel/arch' \
    './lib/modules/*/kernel/drivers/virtio' './lib/modules/*/kernel/drivers/net/wireless/mac80211_hwsim.ko' ||
    abort "cannot unpack $deb"
  version=$(basename "$(ls -d "$kernel"/lib/modules/*)")
  depmod -b "$kernel" "$version" || abort "depmod failed for $version"
  dpkg-deb -f "$deb" Package Version >"$kernel/ready"
  rm -rf "$kernel/download"
fi
version=$(basename "$(ls -d "$kernel"/lib/modules/*)")
vmlinuz=$kernel/boot/vmlinuz-$version
[[ -f $vmlinuz ]] || abort "no kernel image in $kernel (remove the folder to fetch it again)"

# --- The guest's Wi-Fi userland: fetched and unpacked once per set of package versions ---------

# closure PACKAGE...: what must be fetched so that PACKAGE... run on this machine's root: their
# dependencies, recursively, less what is installed here. Of alternatives, one installed (or
# already chosen) satisfies the group, else the first real package (a virtual one's first
# provider) is taken. The list follows this machine, so a fresh one fetches more.
closure() {
  local chosen=" $* " frontier=("$@") installed next p
  installed=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {printf "%s ", $2}')"
  while ((${#frontier[@]} > 0)); do
    next=$(apt-cache depends --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
      --no-enhances "${frontier[@]}" 2>/dev/null | awk -v have="$installed$chosen" '
      function flush(   i, c, n) {
        n = 0
        for (i = 1; i <= ng; i++) {
          if (group[i] ~ /^</) { for (c = 1; c <= np[i]; c++) cand[++n] = prov[i, c] } else cand[++n] = group[i]
        }
        ng = 0
        for (i = 1; i <= n; i++) if (index(have, " " cand[i] " ")) return
        if (n > 0) { print cand[1]; have = have cand[1] " " }
      }
      /^[^ ]/ { if (!open) flush(); open = 0; next }
      /^ [ |](Pre)?Depends: / {
        if (!open) flush()
        open = ($0 ~ /^ \|/)
        name = $2; sub(/:any$/, "", name)
        group[++ng] = name; np[ng] = 0
        next
      }
      /^    [^ ]/ { np[ng]++; prov[ng, np[ng]] = $1; next }
      END { flush() }')
    frontier=()
    for p in $next; do
      [[ $chosen == *" $p "* ]] && continue
      chosen+="$p "
      frontier+=("$p")
    done
  done
  for p in $chosen; do [[ $installed == *" $p "* ]] || echo "$p"; done | sort -u
}

userland=$vm/userland
wanted_packages=(hostapd wpasupplicant iwd iw dbus network-manager dnsmasq-base udev wireless-regdb)
fetch=$(closure "${wanted_packages[@]}")
[[ -n $fetch ]] || abort "apt cannot resolve ${wanted_packages[*]}"
# The set is known by its packages' candidate versions: a new version or a machine that lacks
# more makes it anew.
key=$(apt-cache policy $fetch | awk '/^[^ ]/ {p = $1} /Candidate:/ {print p $2}' | sha256sum | cut -c1-16)
if [[ $(cat "$userland/ready" 2>/dev/null) != "$key" ]]; then
  rm -rf "$userland"
  mkdir -p "$userland/download" "$userland/root"
  download() { (cd "$userland/download" && apt-get download $fetch) >"$userland/download.log" 2>&1; }
  download || { apt-get update -qq >/dev/null 2>&1 && download; } ||
    abort "apt-get download failed: $(tail -n 3 "$userland/download.log")"
  for deb in "$userland"/download/*.deb; do
    dpkg-deb -x "$deb" "$userland/root" || abort "cannot unpack $deb"
  done
  # Where this machine's /bin, /sbin and /lib are links into /usr, a package's own folder there
  # would hide the link in the guest's layered root: its files move to where the link points.
  for d in bin sbin lib lib32 lib64 libx32; do
    if [[ -L /$d && -d $userland/root/$d && ! -L $userland/root/$d ]]; then
      target=$userland/root/$(readlink -f "/$d")
      mkdir -p "$target"
      cp -a "$userland/root/$d/." "$target/" && rm -rf "${userland:?}/root/$d"
    fi
  done
  # The regulatory database is chosen by the package's own set-up, which unpacking skips.
  firmware=$userland/root/$(readlink -f /lib)/firmware
  for f in regulatory.db regulatory.db.p7s; do
    [[ -e $firmware/$f-debian && ! -e $firmware/$f ]] && ln -s "$f-debian" "$firmware/$f"
  done
  rm -rf "$userland/download"
  echo "$key" >"$userland/ready"
fi
for tool in sbin/hostapd sbin/wpa_supplicant sbin/wpa_cli sbin/iw bin/dbus-daemon bin/iwctl libexec/iwd \
  sbin/NetworkManager bin/nmcli sbin/dnsmasq bin/udevadm; do
  [[ -x $userland/root/usr/$tool || -x /usr/$tool ]] || abort "/usr/$tool is in neither the fetched userland nor this machine"
done

# --- The initramfs: busybox, the modules that reach the shares, and the init -------------------
initramfs=$vm/initramfs
rm -rf "$initramfs" "$out"
mkdir -p "$initramfs"/{bin,dev,proc,sys,host,userland,rw,newroot,modules} "$out"
cp /bin/busybox "$initramfs/bin/busybox"
install -m 0755 "$here/init" "$initramfs/init"
for module in 9pnet_virtio 9p virtio_pci overlay; do
  modprobe -d "$kernel" -S "$version" --show-depends "$module" || abort "modprobe cannot resolve $module"
done | awk '$1 == "insmod" && !seen[$2]++ {print $2}' >"$vm/initramfs.list"
while read -r path; do
  cp "$path" "$initramfs/modules/"
  basename "$path" >>"$initramfs/modules/order"
done <"$vm/initramfs.list"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initramfs.cpio.gz" || abort "cannot pack the initramfs"

# --- The program's own drawing of every state the scenarios expect ------------------------------
refs=$out/references
mkdir -p "$refs"
for look in disconnected "$(printf '無線テスト' | od -An -tx1 -v | tr -d ' \n')" \
  "$(printf 'Kavel-7100-ASCII' | od -An -tx1 -v | tr -d ' \n')" \
  "$(printf 'Kavel-7100-0123456789abcdefghijk' | od -An -tx1 -v | tr -d ' \n')" e784a1ffe3838680; do
  ssid=()
  [[ $look != disconnected ]] && ssid=("$look")
  LC_ALL=C.UTF-8 "$build/tests/vm_window" render "$refs/$look.ppm" "${ssid[@]}" || abort "cannot draw the $look reference"
done

# --- The guest -------------------------------------------------------------------------------
{
  printf 'VM_SCRIPT=%q\n' "$here/guest.sh"
  printf 'VM_BUILD=%q\n' "$build"
  printf 'VM_MODULES=%q\n' "$kernel/lib/modules"
  printf 'VM_REFS=%q\n' "$refs"
  printf 'VM_LIMIT_MS=%q\n' "${VELMOR_VM_LIMIT_MS:-2000}"
  printf 'VM_PACE_US=%q\n' "${VELMOR_VM_PACE_US:-60000}"
  printf 'VM_SCENARIOS=%q\n' "${VELMOR_VM_SCENARIOS:-}"
} >"$out/guest.env"

console=$out/console.log
started=$SECONDS
# no_timer_check: an emulated processor slowed by a busy host can fail the kernel's check of
# its interrupt timer at boot, which then panics.
qemu-system-x86_64 -accel tcg,thread=multi -smp 2 -m 2048 -cpu max -nic none -display none -monitor none \
  -no-reboot -serial "file:$console" \
  -kernel "$vmlinuz" -initrd "$vm/initramfs.cpio.gz" -append "console=ttyS0 panic=-1 quiet no_timer_check" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$userland/root,mount_tag=userland,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$out,mount_tag=vmout,security_model=none" >"$out/qemu.log" 2>&1 &
qemu=$!
trap 'kill "$qemu" 2>/dev/null' EXIT

# A guest that hangs says nothing: the console and the results are watched against deadlines.
hang=""
while kill -0 "$qemu" 2>/dev/null; do
  elapsed=$((SECONDS - started))
  if [[ ! -s $out/plan ]] && ((elapsed > boot_deadline)); then
    hang="the guest did not reach its script within $boot_deadline s"
  elif ((elapsed > deadline)); then
    hang="the guest did not finish within $deadline s"
  fi
  if [[ -n $hang ]]; then
    kill "$qemu" 2>/dev/null
    break
  fi
  sleep 1
done
wait "$qemu" 2>/dev/null
trap - EXIT
elapsed=$((SECONDS - started))

# --- The verdict -----------------------------------------------------------------------------
passed=0
failed=0
skipped=0
for name in $(cat "$out/plan" 2>/dev/null); do
  line=$(grep -m1 -E "^(PASS|FAIL|SKIP) $name " "$out/results" 2>/dev/null)
  if [[ -z $line ]]; then
    report "FAIL $name: no result, the guest stopped before it"
    failed=$((failed + 1))
    continue
  fi
  read -r verdict _ ms detail <<<"$line"
  time="$ms ms"
  [[ $ms == - ]] && time="no time"
  if [[ $verdict == PASS ]]; then
    report "PASS $name ($time${detail:+; $detail})"
    passed=$((passed + 1))
  elif [[ $verdict == SKIP ]]; then
    report "NOT RUN $name: $detail"
    skipped=$((skipped + 1))
  else
    report "FAIL $name ($time): $detail"
    failed=$((failed + 1))
  fi
done
# A result outside the plan is a failure before the scenarios (the start of the program, say).
while read -r verdict name ms detail; do
  [[ " $(cat "$out/plan" 2>/dev/null) " == *" $name "* ]] && continue
  report "$verdict $name: $detail"
  failed=$((failed + 1))
done < <(grep -E '^FAIL ' "$out/results" 2>/dev/null)
if [[ -n $hang ]]; then
  report "FAIL the guest hung: $hang; the console's last lines:"
  report "$(tail -n 15 "$console" | sed 's/^/  /')"
  failed=$((failed + 1))
elif [[ ! -s $out/plan ]]; then
  report "FAIL the guest never ran its scenarios; the console's last lines:"
  report "$(tail -n 15 "$console" | sed 's/^/  /')"
  failed=$((failed + 1))
fi
# Screenshots as pictures anyone can open.
for shot in "$out"/shot-*.ppm; do
  [[ -f $shot ]] && convert "$shot" "${shot%.ppm}.png" 2>/dev/null && rm -f "$shot"
done
report "guest: ${elapsed} s; logs, trace and screenshots in $out"
summary "$passed" "$failed" "$skipped"
((failed == 0))
