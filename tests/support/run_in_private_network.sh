#!/usr/bin/env bash
# Runs a command in a private network namespace of its own, with only the
# loopback interface, brought up: a test that starts the whole program binds
# the fixed discovery port there without meeting a station already running
# on this machine, and nothing it sends leaves the namespace. A display
# server started inside (xvfb-run) is private to it; one started outside is
# still reached through its socket in /tmp/.X11-unix (only the abstract
# socket belongs to a network namespace).
# Where no namespace can be made (no privilege, no user namespaces), the
# command runs on the machine's network and this says so.
# Usage: run_in_private_network.sh COMMAND [ARG...]
set -u
inside='ip link set lo up && exec "$@"'
for how in "-n" "-rn"; do
  if unshare $how true 2>/dev/null && command -v ip >/dev/null; then
    echo "run_in_private_network: running in a network namespace of its own (unshare $how)" >&2
    exec unshare $how bash -c "$inside" run_in_private_network "$@"
  fi
done
echo "run_in_private_network: no network namespace can be made here; running on the machine's" \
     "network, where a station already running can disturb the test" >&2
exec "$@"
