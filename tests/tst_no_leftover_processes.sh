#!/bin/sh
# Runs after every other test: no program of this build tree (vexa-devsim,
# vexa-agent, vexa-scan, ...) may still be running, in any network namespace.
# A test that leaves one behind fails the suite here, with the process named.
#
# usage: tst_no_leftover_processes.sh BINDIR
set -u
BIN=$(cd "${1:?usage: tst_no_leftover_processes.sh BINDIR}" && pwd -P)

leftovers() {
    for exe in /proc/[0-9]*/exe; do
        # Zombies and other users' processes have no readable link: not ours to count.
        target=$(readlink "$exe" 2>/dev/null) || continue
        case $target in
        "$BIN"/vexa-*)
            pid=${exe#/proc/}
            pid=${pid%/exe}
            ns=$(ip netns identify "$pid" 2>/dev/null)
            echo "$pid ${ns:+(netns $ns) }$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
            ;;
        esac
    done
}

# A simulator whose input has just closed still says goodbye: a moment's grace.
tries=0
while [ -n "$(leftovers)" ] && [ $tries -lt 30 ]; do
    tries=$((tries + 1))
    sleep 0.1
done
left=$(leftovers)
if [ -n "$left" ]; then
    echo "FAIL: programs of $BIN still running after the tests:"
    echo "$left"
    exit 1
fi
echo "PASS: no program of $BIN left running"
