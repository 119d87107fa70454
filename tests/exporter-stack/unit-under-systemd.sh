#!/bin/bash
# The exporter's system unit under a real service manager: systemd booted in a container
# (systemd-nspawn over this machine's own /usr, a tmpfs root and a network of its own, up to
# basic.target and no further, with nothing to wait for the network that is not there), the
# unit installed as built, the simulator beside it as a router. The sandbox must let the
# exporter start, read its password through LoadCredential, probe, report on itself, reload
# and stop. A drop-in makes any system call outside the filter kill it: the shipped answer,
# EPERM, could pass unnoticed.
# Usage: unit-under-systemd.sh UNIT SIMULATOR    (ends with 77, skipped, where no container boots)
set -euo pipefail
unit=$(realpath "$1")
simulator=$(realpath "$2")
say() { echo "unit-under-systemd: $*" >&2; }
skip() { say "skipped: $*"; exit 77; }

[ "$(id -u)" = 0 ] || skip "needs root"
command -v systemd-nspawn >/dev/null || skip "no systemd-nspawn (package systemd-container)"
command -v unshare >/dev/null || skip "no unshare"
if [ -z "${ZEZAR_PRIVATE_MOUNTS:-}" ]; then
  # nspawn keeps its state under /run/systemd/nspawn and wants a tmpfs there: one that only
  # this run sees, gone with it.
  ZEZAR_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi
mkdir -p /run/systemd/nspawn
mount -t tmpfs tmpfs /run/systemd/nspawn || skip "cannot mount a tmpfs"

scratch=$(mktemp -d)
booter=
pid1=
cleanup() {
  if [ -n "$booter" ]; then
    kill -TERM "$booter" 2>/dev/null || true  # nspawn halts the container on TERM
    wait "$booter" 2>/dev/null || true        # bounded: the booter is under timeout
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/etc/passwords" "$scratch/dropin"
echo user >"$scratch/etc/passwords/lab"
chmod 0600 "$scratch/etc/passwords/lab"
router() {
  printf '[[router]]\nname = "%s"\naddress = "127.0.0.1"\nport = 5000\n' "$1"
  printf 'password_file = "/run/credentials/zezar-exporter.service/password_lab"\n'
}
router lab >"$scratch/etc/exporter.toml"
# Nor may systemd start it again: a death would pass for a reload.
printf '[Service]\nSystemCallErrorNumber=kill\nRestart=no\n' >"$scratch/dropin/strict.conf"

# The programs go where the service can see them: not under /tmp, say, which the container and
# the unit (PrivateTmp) both hide. The unit is the one built, with only that path changed.
exporter=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[ -x "$exporter" ] || { say "the unit starts $exporter, which is not there"; exit 1; }
sed "s#^ExecStart=$exporter#ExecStart=/opt/zezar/bin/zezar-exporter#" "$unit" >"$scratch/unit"
grep -q '^ExecStart=/opt/zezar/bin/zezar-exporter' "$scratch/unit" || { say "no ExecStart"; exit 1; }
timeout 180 systemd-nspawn --directory=/ --volatile=yes --register=no --keep-unit \
  --private-network --console=pipe --machine="zezar-unit-$$" \
  --bind-ro="$(dirname "$exporter"):/opt/zezar/bin" \
  --bind-ro="$(dirname "$simulator"):/opt/zezar/simulator" \
  --bind-ro="$scratch/etc:/etc/zezar" \
  --bind-ro="$scratch/unit:/etc/systemd/system/zezar-exporter.service" \
  --bind-ro="$scratch/dropin:/etc/systemd/system/zezar-exporter.service.d" \
  --boot -- systemd.unit=basic.target systemd.mask=systemd-networkd-wait-online.service \
  </dev/null >"$scratch/boot.log" 2>&1 &
booter=$!

# The container's systemd: PID 1 in its own namespace, descended from the booter.
descends() {
  local pid=$1
  while [ "$pid" -gt 1 ]; do
    [ "$pid" = "$booter" ] && return 0
    pid=$(awk '/^PPid:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
  done
  return 1
}
for _ in $(seq 300); do
  for candidate in $(pgrep -x systemd || true); do
    if awk '/^NSpid:/ {exit !($NF == 1)}' "/proc/$candidate/status" 2>/dev/null &&
      descends "$candidate"; then
      pid1=$candidate
    fi
  done
  [ -n "$pid1" ] && break
  kill -0 "$booter" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$pid1" ]; then
  cat "$scratch/boot.log" >&2
  skip "no container booted here"
fi
inside() { timeout 60 nsenter --target "$pid1" --all "$@"; }
# HTTP/1.0 on the container's loopback: the answer, then the connection ends.
get() {
  timeout 10 nsenter --target "$pid1" --net bash -c \
    'exec 3<>/dev/tcp/127.0.0.1/10524 && printf "GET %s HTTP/1.0\r\n\r\n" "$1" >&3 && cat <&3' \
    _ "$1"
}
fail() {
  say "$*"
  inside journalctl --no-pager -u zezar-exporter >&2 || true
  exit 1
}
# Bounded waits for what a step leads to, never a fixed sleep.
await() {
  for _ in $(seq 200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

await test -S "/proc/$pid1/root/run/systemd/private" || fail "the container's systemd never listened"
inside systemctl is-system-running --wait >/dev/null || true  # "degraded" is fine here
inside systemd-run --quiet --unit=zezar-routersim "/opt/zezar/simulator/$(basename "$simulator")" \
  --port 5000 ||
  fail "the simulator did not start"
await nsenter --target "$pid1" --net bash -c 'exec 3<>/dev/tcp/127.0.0.1/5000' ||
  fail "the simulator does not listen"

inside systemctl start zezar-exporter || fail "the unit did not start"
await get / || fail "the exporter does not answer"
probe=$(get "/probe?target=lab")
for line in "zezar_up 1" "zezar_login_level 2" 'zezar_channel_online{channel="1",type="isdn"} 1'; do
  grep -qxF "$line" <<<"$probe" || fail "the probe lacks '$line': $probe"
done

own=$(get /metrics)
now=$(date +%s)
started=$(sed -n 's/^process_start_time_seconds //p' <<<"$own")
awk -v s="${started:-0}" -v now="$now" 'BEGIN {exit !(s > now - 600 && s <= now + 1)}' ||
  fail "process_start_time_seconds is '$started', not a moment ago"
for family in process_open_fds process_resident_memory_bytes process_cpu_seconds_total; do
  grep -Eq "^$family [1-9]|^$family 0\.[0-9]*[1-9]" <<<"$own" || fail "$family is not read: $own"
done

running() { inside systemctl show --property=MainPID,NRestarts --value zezar-exporter | xargs; }
before=$(running)
router other >>"$scratch/etc/exporter.toml"
inside systemctl reload zezar-exporter || fail "the unit did not reload"
await bash -c "$(declare -f get); pid1=$pid1; get /metrics | grep -qx 'zezar_exporter_routers 2'" ||
  fail "the reload did not take the new configuration"
grep -q "zezar_up 1" <<<"$(get "/probe?target=other")" || fail "the router added is not probed"
[ "$(running)" = "$before" ] || fail "the process changed across the reload: $before, then $(running)"

inside systemctl stop zezar-exporter
result=$(inside systemctl show --property=Result --value zezar-exporter)
[ "$result" = success ] || fail "the exporter ended with '$result'"
inside systemctl stop zezar-routersim || true
say "ok"
