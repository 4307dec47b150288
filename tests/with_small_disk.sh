#!/usr/bin/env bash
# Runs a test program with UNDERCAM_SMALL_DISK naming a 256 MiB file system of
# its own (tmpfs mounted on FOLDER in a private mount namespace) where the
# machine allows it; otherwise runs it as it is, and the tests that need the
# small disk skip and say why.
#   with_small_disk.sh FOLDER PROGRAM [ARGS...]
folder=$1
shift
mkdir -p "$folder"
if unshare -m true 2>/dev/null; then
  exec unshare -m bash -c 'mount -t tmpfs -o size=256m tmpfs "$1" && shift && UNDERCAM_SMALL_DISK="$0" exec "$@"' \
    "$folder" "$folder" "$@"
fi
exec "$@"
