#!/usr/bin/env bash
# A one-node S3 store for tests and for trying the fleet store locally: Ceph's
# RADOS Gateway from Debian (one monitor, one OSD with bluestore on a sparse
# file, one gateway, no manager) on 127.0.0.1, with everything it keeps in
# DIR. Stations in service point at their fleet's own store instead.
#
#   fleet_engine.sh start DIR [--https] [--idle] [--bucket NAME]
#       Starts what is not running yet (all three daemons on an empty DIR, only
#       the gateway after kill-gateway), waits until the gateway answers, makes
#       a user and a bucket once, and prints exactly
#         endpoint=http://127.0.0.1:PORT
#         access_key=...
#         secret_key=...
#         bucket=...
#       Starting again on the same DIR keeps the data, the keys and, where they
#       are still free, the ports. --https prints the gateway's TLS endpoint
#       (a self-signed certificate for 127.0.0.1) instead and a fifth line
#       ca_file=DIR/tls/ca.pem. --idle runs the daemons it starts in the idle
#       CPU and I/O scheduling classes.
#   fleet_engine.sh stop DIR
#       Stops the daemons by their pids (SIGTERM, then SIGKILL after a few
#       seconds) and returns once their ports are free.
#   fleet_engine.sh kill-gateway DIR
#       SIGKILLs the gateway, as a crash would; `start DIR` brings it back on
#       the same port with the data kept.
#   fleet_engine.sh pause-store DIR / resume-store DIR
#       Freezes and thaws the OSD. Meanwhile every request that reaches the
#       data waits 3 s inside the gateway and is answered
#       "408 RequestTimeout" (a user whose keys the gateway has not read yet
#       gets "403 InvalidAccessKeyId": pause-store makes one request as the
#       engine's user first); after resume-store requests succeed at once.
#   fleet_engine.sh slow-down DIR / speed-up DIR
#       The gateway sheds load: it takes one request at a time and one stays
#       held open, so every other request is answered "503 SlowDown" at once
#       until speed-up.
#   fleet_engine.sh add-user DIR NAME
#       A second user with keys of its own: prints access_key= and secret_key=.
#
# Tests reach all of this through tests/support/fleet_engine.h: start(),
# stop(), kill_gateway(), pause_store()/resume_store(), slow_down()/speed_up(),
# add_user(), https_endpoint() (start --https) and the constructor's `idle`
# (start --idle).
#
# Diagnostics go to DIR/engine.log and the daemons' logs to DIR/log; a step
# that does not finish in time fails with the tail of the log that says why,
# and a failed start leaves nothing running. Several engines may run at once,
# each on its own DIR, in one network namespace or in several.
set -euo pipefail

readonly gateway_name=client.rgw.gw
readonly default_bucket=undercam-fleet
readonly osd_op_timeout=3
# Bluestore's device: sparse, so only what is written takes room.
readonly block_size=$((10 * 1024 * 1024 * 1024))
idle=0
# Debian's own Python, never another one first on the PATH.
readonly python=/usr/bin/python3

die() {
  echo "fleet_engine: $*" >&2
  exit 1
}

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

[ $# -ge 2 ] || usage
command=$1
dir=$2
shift 2
case "$dir" in /*) ;; *) dir=$(pwd)/$dir ;; esac
conf=$dir/ceph.conf

log() { echo "$(date '+%H:%M:%S.%N' | cut -c1-12) $*" >>"$dir/engine.log"; }

# The tail of a log, shown when a step fails.
fail_with_log() {
  local what=$1 file=$2
  {
    echo "fleet_engine: $what"
    if [ -s "$file" ]; then
      echo "--- last lines of $file:"
      tail -n 25 "$file"
    fi
  } >&2
  exit 1
}

require_tools() {
  local tool
  for tool in ceph-mon ceph-osd radosgw radosgw-admin ceph rados monmaptool curl openssl "$python" ss; do
    command -v "$tool" >/dev/null ||
      die "$tool is not installed (scripts/setup.sh --tests installs the engine's packages)"
  done
}

# --- ports and pids ----------------------------------------------------------

port_free() { [ -z "$(ss -Htln "sport = :$1" 2>/dev/null)" ]; }

free_port() {
  "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

saved_port() { sed -n "s/^$1=//p" "$dir/ports" 2>/dev/null || true; }

# The port stored under NAME in DIR/ports if it is still free, else a new one.
choose_port() {
  local old
  old=$(saved_port "$1")
  if [ -n "$old" ] && port_free "$old"; then echo "$old"; else free_port; fi
}

save_port() {
  local name=$1 value=$2
  touch "$dir/ports"
  sed -i "/^$name=/d" "$dir/ports"
  echo "$name=$value" >>"$dir/ports"
}

pid_file() { echo "$dir/run/$1.pid"; }

# The daemon's pid while it runs with this DIR's configuration: a pid reused by
# another process never counts.
running_pid() {
  local file pid
  file=$(pid_file "$1")
  [ -s "$file" ] || return 1
  pid=$(cat "$file")
  [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "-c $conf " || return 1
  # A killed daemon that nobody reaped yet is gone all the same.
  [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 1
  echo "$pid"
}

# Starts COMMAND as NAME in a session of its own, detached from the caller's
# descriptors (a test's output pipe must reach end of file when the test
# ends), with its output appended to LOG; its pid goes to DIR/run/NAME.pid.
spawn() {
  local name=$1 output=$2
  shift 2
  local prefix=()
  [ "$idle" = 1 ] && prefix=(chrt --idle 0 ionice -c 3)
  (
    for fd in /proc/self/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-" 2>/dev/null
    done
    exec setsid "${prefix[@]}" "$@" </dev/null >>"$output" 2>&1
  ) &
  echo $! >"$(pid_file "$name")"
  log "started $name (pid $!): $*"
}

# A daemon in the foreground (so that its pid is the one spawned), output in
# DIR/log/NAME.out.
launch() {
  local name=$1
  shift
  spawn "$name" "$dir/log/$name.out" "$@" -c "$conf" -f
}

# SIGTERM, then SIGKILL after `grace` seconds; returns once the process is gone.
stop_daemon() {
  local name=$1 grace=$2 pid i
  pid=$(running_pid "$name") || { rm -f "$(pid_file "$name")"; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < grace * 10; i++)); do
    running_pid "$name" >/dev/null || break
    sleep 0.1
  done
  if running_pid "$name" >/dev/null; then
    log "$name (pid $pid) did not stop in $grace s: SIGKILL"
    kill -KILL "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      running_pid "$name" >/dev/null || break
      sleep 0.1
    done
  fi
  running_pid "$name" >/dev/null && die "$name (pid $pid) does not stop"
  rm -f "$(pid_file "$name")"
  log "stopped $name (pid $pid)"
}

gone() { ! running_pid "$1" >/dev/null; }

# Polls COMMAND every 0.2 s for up to SECONDS; true once it succeeds.
wait_for() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}

# --- the cluster --------------------------------------------------------------

ceph_cli() { timeout 10 ceph -c "$conf" --connect-timeout 5 "$@" 2>>"$dir/engine.log"; }

write_conf() {
  local mon_port=$1 http_port=$2 https_port=$3
  cat >"$conf" <<CONF
# Written by scripts/fleet_engine.sh at every start.
[global]
fsid = $(cat "$dir/fsid")
mon host = v2:127.0.0.1:$mon_port
public addr = 127.0.0.1
ms bind msgr1 = false
# No keys: a test engine on the loopback. With auth none the clients must not
# insist on an encrypted monitor session, which needs keys.
auth cluster required = none
auth service required = none
auth client required = none
ms mon client mode = crc secure
run dir = $dir/run
crash dir = $dir/crash
log file = $dir/log/\$name.log
mon cluster log file = $dir/log/cluster.log
mon data = $dir/mon
osd data = $dir/osd
rgw data = $dir/rgw
# One OSD: one copy, few placement groups, nothing to balance without a
# manager.
osd pool default size = 1
osd pool default min size = 1
mon allow pool size one = true
osd pool default pg num = 8
osd pool default pgp num = 8
osd pool default pg autoscale mode = off
osd crush chooseleaf type = 0
mon warn on pool no redundancy = false
# Test folders live on shared disks that are often fuller than a monitor likes.
mon data avail warn = 1
mon data avail crit = 0
# An OSD that alone serves its placement groups and misses its read lease
# (a disk stall of a busy machine, or pause-store) never clears the "laggy"
# state again; the lease is this grace times 0.8, so make it long.
osd heartbeat grace = 3600
# Map changes (an OSD's boot, each new pool) without the second's wait.
paxos propose interval = 0.1
paxos min wait = 0.01

[osd]
bluestore block size = $block_size
osd memory target = 1073741824

[$gateway_name]
admin socket = $dir/run/\$name.asok
rgw frontends = beast endpoint=127.0.0.1:$http_port ssl_endpoint=127.0.0.1:$https_port ssl_certificate=$dir/tls/ca.pem ssl_private_key=$dir/tls/key.pem
# A store that does not answer in time makes the gateway answer, not hang.
rados osd op timeout = $osd_op_timeout
# Its lifecycle threads sleep 5 s at a time and hold up every stop.
rgw enable lc threads = false
CONF
}

mon_answers() { ceph_cli mon stat >/dev/null; }

osd_map() { ceph_cli osd dump -f json; }

osd_epoch() { osd_map | "$python" -c 'import json, sys; print(json.load(sys.stdin)["epoch"])'; }

# osd.0 is up, booted after the map of EPOCH.
osd_booted_after() {
  local epoch=$1 state
  state=$(osd_map | "$python" -c 'import json, sys
for o in json.load(sys.stdin)["osds"]:
    if o["osd"] == 0: print(o["up"], o["up_from"])') || return 1
  set -- $state
  [ "${1:-0}" = 1 ] && [ "${2:-0}" -gt "$epoch" ]
}

gateway_answers() {
  local code
  code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 2 "http://127.0.0.1:$1/" 2>/dev/null) || true
  [ -n "$code" ] && [ "$code" != 000 ]
}

# First start on this DIR: the cluster's identity, the monitor's store, the
# OSD's bluestore and the certificate; marked done only when all succeeded.
create_cluster() {
  local mon_port=$1
  log "creating the cluster in $dir"
  rm -rf "$dir/mon" "$dir/osd" "$dir/rgw" "$dir/tls" "$dir/credentials" "$dir/ports"
  mkdir -p "$dir/mon" "$dir/osd" "$dir/rgw" "$dir/tls"
  "$python" -c 'import uuid; print(uuid.uuid4())' >"$dir/fsid"
  write_conf "$mon_port" 0 0
  monmaptool --create --fsid "$(cat "$dir/fsid")" --addv a "[v2:127.0.0.1:$mon_port]" \
    "$dir/monmap" >>"$dir/engine.log" 2>&1 || fail_with_log "monmaptool failed" "$dir/engine.log"
  ceph-mon -c "$conf" -i a --mkfs --monmap "$dir/monmap" >>"$dir/engine.log" 2>&1 ||
    fail_with_log "the monitor's store cannot be made" "$dir/log/mon.a.log"
  save_port mon "$mon_port"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$dir/tls/key.pem" -out "$dir/tls/ca.pem" >>"$dir/engine.log" 2>&1 ||
    fail_with_log "the certificate cannot be made" "$dir/engine.log"
}

# The OSD's store, once the monitor runs.
create_osd() {
  local uuid id
  uuid=$("$python" -c 'import uuid; print(uuid.uuid4())')
  id=$(ceph_cli osd new "$uuid") || fail_with_log "the monitor does not register the OSD" "$dir/engine.log"
  [ "$id" = 0 ] || die "the new OSD got id $id, not 0"
  ceph-osd -c "$conf" -i 0 --mkfs --osd-uuid "$uuid" >>"$dir/engine.log" 2>&1 ||
    fail_with_log "the OSD's bluestore cannot be made" "$dir/log/osd.0.log"
  log "bluestore made: $(du -h --apparent-size "$dir/osd/block" | cut -f1) sparse," \
    "$(du -h "$dir/osd/block" | cut -f1) written"
}

# Bluestore opens its device with O_DIRECT, which some file systems refuse.
check_direct_io() {
  local probe=$dir/.direct-io-probe
  if ! dd if=/dev/zero of="$probe" bs=4096 count=1 oflag=direct status=none 2>/dev/null; then
    rm -f "$probe"
    die "$dir is on a file system without O_DIRECT ($(stat -f -c %T "$dir")); bluestore needs it"
  fi
  rm -f "$probe"
}

# --- S3 through the gateway ---------------------------------------------------

readonly empty_sha256=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855

credential() { sed -n "s/^$1=//p" "$dir/credentials"; }

# A signed request to the gateway; prints the HTTP status.
s3() {
  local method=$1 path=$2
  local how=(-X "$method")
  # A HEAD answer announces a body it does not have: -X HEAD would wait for it.
  [ "$method" != HEAD ] || how=(--head)
  curl -s -o /dev/null -w '%{http_code}' --max-time 10 "${how[@]}" \
    --aws-sigv4 "aws:amz:us-east-1:s3" \
    --user "$(credential access_key):$(credential secret_key)" \
    -H "x-amz-content-sha256: $empty_sha256" \
    "http://127.0.0.1:$(saved_port http)$path" 2>>"$dir/engine.log" || true
}

# Prints access_key= and secret_key= of a new user.
create_user() {
  local uid=$1 json
  json=$(timeout 60 radosgw-admin -c "$conf" user create --uid "$uid" --display-name "$uid" \
    2>>"$dir/engine.log") || fail_with_log "the user $uid cannot be made" "$dir/engine.log"
  "$python" -c 'import json, sys
key = json.loads(sys.argv[1])["keys"][0]
print("access_key=" + key["access_key"])
print("secret_key=" + key["secret_key"])' "$json"
}

ensure_bucket() {
  local bucket=$1 code
  code=$(s3 HEAD "/$bucket")
  case "$code" in
    200) return 0 ;;
    404) ;;
    *) fail_with_log "the gateway answers $code to the bucket $bucket" "$dir/log/$gateway_name.log" ;;
  esac
  code=$(s3 PUT "/$bucket")
  [ "$code" = 200 ] || fail_with_log "the gateway answers $code to making the bucket $bucket" \
    "$dir/log/$gateway_name.log"
  log "bucket $bucket made"
}

# --- commands -----------------------------------------------------------------

lock_dir() {
  [ -d "$dir" ] || die "$dir does not exist"
  exec 9>"$dir/lock"
  flock -w 300 9 || die "another fleet_engine.sh holds $dir/lock"
}

# Daemons of this DIR left in another network namespace (by a test program
# that died without its cleanup) hold its files and cannot be reached from
# here: they go.
kill_strays() {
  local name pid
  for name in holder "$gateway_name" osd.0 mon.a; do
    pid=$(running_pid "$name") || continue
    [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/self/ns/net)" ] || continue
    log "$name (pid $pid) runs in another network namespace: SIGKILL"
    kill -KILL "$pid" 2>/dev/null || true
    wait_for 10 gone "$name" || die "$name (pid $pid) of another network namespace does not die"
    rm -f "$(pid_file "$name")"
  done
}

cmd_start() {
  local https=0 bucket=$default_bucket
  while [ $# -gt 0 ]; do
    case "$1" in
      --https) https=1 ;;
      --idle) idle=1 ;;
      --bucket)
        [ $# -ge 2 ] || usage
        [[ "$2" =~ ^[a-z0-9][a-z0-9.-]{1,61}[a-z0-9]$ ]] ||
          die "a bucket name is 3 to 63 lower-case letters, digits, '.' and '-'"
        bucket=$2
        shift
        ;;
      *) usage ;;
    esac
    shift
  done
  require_tools
  mkdir -p "$dir"
  lock_dir
  mkdir -p "$dir/run" "$dir/log" "$dir/crash"
  log "start"
  # A start that fails leaves nothing running.
  trap 'status=$?; [ $status = 0 ] || stop_all; exit $status' EXIT
  kill_strays


  local fresh=0 mon_port
  if [ ! -e "$dir/created" ]; then
    check_direct_io
    fresh=1
    mon_port=$(free_port)
    create_cluster "$mon_port"
  else
    mon_port=$(saved_port mon)
  fi
  if ! running_pid mon.a >/dev/null && ! port_free "$mon_port"; then
    # The monitor's address is part of its store: move it to a free port.
    local new_port
    new_port=$(free_port)
    log "monitor port $mon_port is taken: moving the monitor to $new_port"
    ceph-mon -c "$conf" -i a --extract-monmap "$dir/monmap" >>"$dir/engine.log" 2>&1
    monmaptool --rm a --addv a "[v2:127.0.0.1:$new_port]" "$dir/monmap" >>"$dir/engine.log" 2>&1
    ceph-mon -c "$conf" -i a --inject-monmap "$dir/monmap" >>"$dir/engine.log" 2>&1 ||
      fail_with_log "the monitor cannot move to port $new_port" "$dir/engine.log"
    mon_port=$new_port
    save_port mon "$mon_port"
  fi

  local http_port https_port
  if running_pid "$gateway_name" >/dev/null; then
    http_port=$(saved_port http)
    https_port=$(saved_port https)
  else
    http_port=$(choose_port http)
    https_port=$(choose_port https)
    [ "$https_port" != "$http_port" ] || https_port=$(free_port)
  fi
  write_conf "$mon_port" "$http_port" "$https_port"

  if ! running_pid mon.a >/dev/null; then
    launch mon.a ceph-mon -i a
  fi
  wait_for 30 mon_answers || fail_with_log "the monitor does not answer on port $mon_port" "$dir/log/mon.a.log"

  if [ "$fresh" = 1 ]; then create_osd; fi
  if ! running_pid osd.0 >/dev/null; then
    # After a restart the map may still show the OSD of before as up: wait for
    # this one's boot.
    local epoch
    epoch=$(osd_epoch) || fail_with_log "the monitor gives no OSD map" "$dir/engine.log"
    launch osd.0 ceph-osd -i 0
    wait_for 60 osd_booted_after "$epoch" || fail_with_log "the OSD does not boot" "$dir/log/osd.0.log"
    log "OSD up"
  fi

  if ! running_pid "$gateway_name" >/dev/null; then
    launch "$gateway_name" radosgw -n "$gateway_name"
    save_port http "$http_port"
    save_port https "$https_port"
  fi
  wait_for 60 gateway_answers "$http_port" ||
    fail_with_log "the gateway does not answer on port $http_port" "$dir/log/$gateway_name.log"
  log "gateway answers on $http_port (https $https_port)"

  if [ ! -s "$dir/credentials" ]; then
    (umask 077 && create_user undercam >"$dir/credentials.tmp")
    mv "$dir/credentials.tmp" "$dir/credentials"
  fi
  ensure_bucket "$bucket"
  echo "$bucket" >"$dir/bucket"
  touch "$dir/created"
  trap - EXIT

  if [ "$https" = 1 ]; then
    echo "endpoint=https://127.0.0.1:$https_port"
  else
    echo "endpoint=http://127.0.0.1:$http_port"
  fi
  echo "access_key=$(credential access_key)"
  echo "secret_key=$(credential secret_key)"
  echo "bucket=$bucket"
  [ "$https" = 0 ] || echo "ca_file=$dir/tls/ca.pem"
}

# The gateway first, so that it lets go of the store; the monitor last, so
# that the OSD can say it goes down.
stop_all() {
  local osd
  # A gateway waiting for a paused store would not stop in time.
  if osd=$(running_pid osd.0); then kill -CONT "$osd" 2>/dev/null || true; fi
  stop_daemon holder 1
  stop_daemon "$gateway_name" 10
  stop_daemon osd.0 10
  stop_daemon mon.a 10
}

ports_in_use() {
  local name port busy=""
  for name in http https mon; do
    port=$(saved_port $name)
    [ -z "$port" ] || port_free "$port" || busy="$busy $port"
  done
  echo "$busy"
}

cmd_stop() {
  [ $# -eq 0 ] || usage
  lock_dir
  log "stop"
  stop_all
  wait_for 10 test -z "$(ports_in_use)" || die "ports still in use after stop:$(ports_in_use)"
}

cmd_kill_gateway() {
  [ $# -eq 0 ] || usage
  lock_dir
  local pid
  pid=$(running_pid "$gateway_name") || die "no gateway runs in $dir"
  kill -KILL "$pid"
  wait_for 10 gone "$gateway_name" || die "the gateway (pid $pid) does not die"
  rm -f "$(pid_file "$gateway_name")"
  wait_for 10 port_free "$(saved_port http)" || die "the gateway's port stays in use"
  log "gateway killed (pid $pid)"
  fence_dead_gateways
}

# A killed gateway's watches on the control objects outlive it by the OSD's
# watch timeout (30 s), and every metadata change (a user, a bucket) waits
# for their answer meanwhile. With no gateway running, every watcher is a
# dead one: fenced off, its watches go at once, as a cluster fences a dead
# client.
fence_dead_gateways() {
  local addresses address
  addresses=$(for n in 0 1 2 3 4 5 6 7; do
    timeout 10 rados -c "$conf" -p default.rgw.control listwatchers "notify.$n" 2>>"$dir/engine.log"
  done | sed -n 's/^watcher=\([^ ]*\) .*/\1/p' | sort -u) || true
  for address in $addresses; do
    ceph_cli osd blocklist add "$address" >>"$dir/engine.log" || log "cannot fence $address"
  done
}

# The running gateway and OSD, or a clear failure.
require_running() {
  local name
  for name in "$@"; do
    running_pid "$name" >/dev/null || die "$name does not run in $dir (fleet_engine.sh start first)"
  done
}

cmd_pause_store() {
  [ $# -eq 0 ] || usage
  lock_dir
  require_running "$gateway_name" osd.0
  # The gateway reads a user's keys from the store once and keeps them: a
  # request of a user it has not seen yet would get 403 during the pause.
  local code
  code=$(s3 HEAD "/")
  [ "$code" = 200 ] || die "the gateway answers $code before the pause"
  kill -STOP "$(running_pid osd.0)"
  log "store paused"
}

cmd_resume_store() {
  [ $# -eq 0 ] || usage
  lock_dir
  require_running "$gateway_name" osd.0
  kill -CONT "$(running_pid osd.0)"
  wait_for 30 test "$(s3 HEAD "/")" = 200 ||
    fail_with_log "the store does not answer again after the pause" "$dir/log/$gateway_name.log"
  log "store resumed"
}

holder_running() { running_pid holder >/dev/null; }

# Requests past the gateway's limit of concurrent ones are answered 503
# SlowDown before any authentication; the limit is read again when changed
# through the admin socket.
set_request_limit() {
  timeout 10 ceph --admin-daemon "$dir/run/$gateway_name.asok" \
    config set rgw_max_concurrent_requests "$1" >>"$dir/engine.log" 2>&1 ||
    fail_with_log "the gateway's admin socket refuses the request limit" "$dir/engine.log"
}

cmd_slow_down() {
  [ $# -eq 0 ] || usage
  lock_dir
  require_running "$gateway_name"
  set_request_limit 1
  if ! holder_running; then
    # The one request let in: a browser-form upload whose form the gateway
    # reads before any authentication, sent a byte a second, so it never ends
    # and never idles. "-c CONF" marks it as this engine's, as it marks the
    # daemons.
    local port bucket
    port=$(saved_port http)
    # The gateway reads the form only for a bucket that exists.
    bucket=$(cat "$dir/bucket")
    spawn holder "$dir/engine.log" bash -c '
      exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
      printf "POST /%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=held\r\nContent-Length: 100000000\r\n\r\n--held\r\nContent-Disposition: form-data; name=\"key\"\r\n\r\n" "$2" >&3
      while printf x >&3; do sleep 1; done' held "$port" "$bucket" -c "$conf"
  fi
  wait_for 10 test "$(s3 HEAD "/")" = 503 ||
    fail_with_log "the gateway does not shed requests" "$dir/log/$gateway_name.log"
  log "gateway slowed down"
}

cmd_speed_up() {
  [ $# -eq 0 ] || usage
  lock_dir
  require_running "$gateway_name"
  set_request_limit 1024
  stop_daemon holder 1
  wait_for 10 test "$(s3 HEAD "/")" = 200 ||
    fail_with_log "the gateway does not take requests again" "$dir/log/$gateway_name.log"
  log "gateway sped up"
}

cmd_add_user() {
  [ $# -eq 1 ] || usage
  local uid=$1
  [[ "$uid" =~ ^[a-z0-9][a-z0-9-]*$ ]] || die "a user name is lower-case letters, digits and '-'"
  lock_dir
  require_running mon.a osd.0
  create_user "$uid"
}

case "$command" in
  start) cmd_start "$@" ;;
  stop) cmd_stop "$@" ;;
  kill-gateway) cmd_kill_gateway "$@" ;;
  pause-store) cmd_pause_store "$@" ;;
  resume-store) cmd_resume_store "$@" ;;
  slow-down) cmd_slow_down "$@" ;;
  speed-up) cmd_speed_up "$@" ;;
  add-user) cmd_add_user "$@" ;;
  *) usage ;;
esac
