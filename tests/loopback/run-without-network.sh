#!/bin/sh
# Runs a program in a network namespace of its own in which only loopback is
# up: nothing it does can reach another host. Exits 77 (a skip for ctest)
# where the machine gives no such namespace.
if [ "$(id -u)" = 0 ]; then
    unshare="unshare --net"
else
    unshare="unshare --net --map-root-user"
fi
if ! command -v ip >/dev/null || ! $unshare true; then
    echo "no network namespace of our own here (needs unshare and ip); the reason is above" >&2
    exit 77
fi
exec $unshare sh -c 'ip link set lo up && exec "$@"' sh "$@"
