# Sourced by the window benchmarks: a network namespace of their own with only
# loopback up, a private scratch directory removed on exit with the programs
# started in PIDS, and an Xvfb display.

# bench_namespace MARKER ARGS...: runs the script again inside a namespace of
# its own (unshare -n, or -rn when not root) with ARGS, unless MARKER or a
# caller's namespace (VEXA_COMPARE_NS) says it is already in one.
bench_namespace() {
    marker=$1
    shift
    if [ -z "$(eval "echo \${$marker:-}")${VEXA_COMPARE_NS:-}" ]; then
        export "$marker=1"
        if [ "$(id -u)" -eq 0 ]; then
            exec unshare -n "$0" "$@"
        fi
        exec unshare -rn "$0" "$@"
    fi
    ip link set lo up
}

# bench_workdir NAME: WORK, a private directory, and PIDS, killed on exit.
bench_workdir() {
    WORK=$(mktemp -d "/tmp/$1.XXXXXX")
    chmod 700 "$WORK"
    PIDS=
    trap bench_cleanup EXIT
    trap 'exit 130' INT TERM
}
bench_cleanup() {
    for pid in $PIDS; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}

# bench_xvfb: starts Xvfb, which picks a free display itself and names it in
# $WORK/display once ready.
bench_xvfb() {
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    PIDS="$PIDS $!"
}
