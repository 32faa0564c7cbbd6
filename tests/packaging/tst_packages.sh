#!/bin/sh
# The Debian packages as a user gets them: the files each must hold, its
# dependencies, menu entry and AppStream metadata, lintian, manual pages;
# then both packages unpacked into a scratch root, and the installed programs
# started from there: `vexa-scan --help`, and KRO-VEXA, from its menu entry's
# command, offscreen on the demo network of the installed `vexa-devsim`, in a
# network namespace of its own with only loopback. The probe plug-in waits
# until the table lists the demo network and closes the window.
#
# usage: tst_packages.sh PACKAGEDIR PROBEDIR   (exit 77: packages not built)

set -u
PKGS=${1:?usage: tst_packages.sh PACKAGEDIR PROBEDIR}
PROBE=${2:?usage: tst_packages.sh PACKAGEDIR PROBEDIR}
SKIP=77

KRO=$(ls "$PKGS"/kro-vexa_*.deb 2>/dev/null | tail -n 1)
TOOLS=$(ls "$PKGS"/vexa-tools_*.deb 2>/dev/null | tail -n 1)
if [ -z "$KRO" ] || [ -z "$TOOLS" ]; then
    echo "SKIP: no packages in $PKGS (cmake --build build-package --target package)"
    exit $SKIP
fi
if [ "$(id -u)" = 0 ]; then NETNS="unshare -n"; else NETNS="unshare -rn"; fi
if ! $NETNS true 2>/dev/null; then
    echo "SKIP: cannot create a network namespace"
    exit $SKIP
fi

WORK=$(mktemp -d /tmp/tst_packages.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() {
    echo "FAIL: $*"
    FAILED=1
}

# --- Contents ---------------------------------------------------------------
KRO_FILES="
./usr/bin/kro-vexa
./usr/lib/kro-vexa/KRO-VEXA
./usr/lib/kro-vexa/libvexaapp.so
./usr/lib/kro-vexa/libvexawidgets.so
./usr/lib/kro-vexa/libvexadevice.so
./usr/lib/kro-vexa/libvexamainwnd.so
./usr/lib/kro-vexa/libVexa.so
./usr/lib/kro-vexa/libtum.so
./usr/lib/kro-vexa/libPACKET.so
./etc/kro-vexa/Setup.xml
./usr/lib/kro-vexa/Setup.xml
./usr/lib/kro-vexa/translations/KRO-VEXA_en.qm
./usr/lib/kro-vexa/translations/KRO-VEXA_zh.qm
./usr/lib/kro-vexa/VEXA User Manual.pdf
./usr/lib/kro-vexa/设备网络搜索用户使用手册.pdf
./usr/lib/kro-vexa/plugins/skins/libvexa-skin-default.so
./usr/lib/kro-vexa/plugins/skins/default/default.rcc
./usr/share/applications/org.vexa.KroVexa.desktop
./usr/share/metainfo/org.vexa.KroVexa.metainfo.xml
./usr/share/icons/hicolor/scalable/apps/org.vexa.KroVexa.svg
./usr/share/icons/hicolor/16x16/apps/org.vexa.KroVexa.png
./usr/share/icons/hicolor/48x48/apps/org.vexa.KroVexa.png
./usr/share/icons/hicolor/256x256/apps/org.vexa.KroVexa.png
./usr/share/man/man1/kro-vexa.1.gz
./usr/share/doc/kro-vexa/copyright
./usr/share/doc/kro-vexa/changelog.gz"
TOOLS_FILES="
./usr/bin/vexa-scan
./usr/bin/vexa-devsim
./usr/lib/vexa-tools/vexa-scan
./usr/lib/vexa-tools/vexa-devsim
./usr/lib/vexa-tools/libVexa.so
./usr/lib/vexa-tools/libtum.so
./usr/lib/vexa-tools/libPACKET.so
./usr/lib/vexa-tools/demo-network.json
./usr/lib/vexa-tools/demo-factory.key
./usr/share/man/man1/vexa-scan.1.gz
./usr/share/man/man1/vexa-devsim.1.gz
./usr/share/doc/vexa-tools/copyright
./usr/share/doc/vexa-tools/changelog.gz"

check_contents() { # DEB FILES
    dpkg-deb --contents "$1" | sed -e 's/^.* \.\//.\//' -e 's/ -> .*$//' >"$WORK/contents"
    missing=$(echo "$2" | grep -v '^$' | grep -vxF -f "$WORK/contents")
    [ -z "$missing" ] || fail "$(basename "$1") lacks $missing"
}
check_contents "$KRO" "$KRO_FILES"
check_contents "$TOOLS" "$TOOLS_FILES"

# Dependencies come from dpkg-shlibdeps (the Qt and sodium libraries), never
# on a library the package carries itself.
depends_on() { # DEB PATTERN
    dpkg-deb -f "$1" Depends | tr ',' '\n' | grep -q "^ *$2" || fail "$(basename "$1"): no dependency $2"
}
depends_on "$KRO" libqt6widgets6
depends_on "$KRO" qt6-qpa-plugins
depends_on "$TOOLS" libsodium
for deb in "$KRO" "$TOOLS"; do
    dpkg-deb -f "$deb" Depends | grep -qiE 'vexa|tum|packet' && fail "$(basename "$deb") depends on its own library"
done
# An administrator's Setup.xml survives upgrades.
dpkg-deb -I "$KRO" conffiles 2>/dev/null | grep -qx /etc/kro-vexa/Setup.xml || fail "Setup.xml is no conffile"

# --- Unpacked: menu entry, metadata, manual pages ----------------------------
ROOT=$WORK/root
dpkg-deb -x "$KRO" "$ROOT" && dpkg-deb -x "$TOOLS" "$ROOT" || fail "cannot unpack"
# The link to the configuration in /etc is absolute: point it into the scratch root.
[ "$(readlink "$ROOT/usr/lib/kro-vexa/Setup.xml")" = /etc/kro-vexa/Setup.xml ] || fail "no link to /etc/kro-vexa/Setup.xml"
ln -sf "$ROOT/etc/kro-vexa/Setup.xml" "$ROOT/usr/lib/kro-vexa/Setup.xml"
DESKTOP=$ROOT/usr/share/applications/org.vexa.KroVexa.desktop
desktop-file-validate "$DESKTOP" || fail "desktop-file-validate"
appstreamcli validate --no-net --explain "$ROOT/usr/share/metainfo/org.vexa.KroVexa.metainfo.xml" \
    || fail "appstreamcli validate"
grep -q '^Name\[zh_CN\]=' "$DESKTOP" && grep -q '^Comment\[zh_CN\]=' "$DESKTOP" \
    || fail "the menu entry has no Chinese name or comment"
ICON=$(sed -n 's/^Icon=//p' "$DESKTOP")
[ -f "$ROOT/usr/share/icons/hicolor/48x48/apps/$ICON.png" ] || fail "no icon $ICON"

# Every option a tool's --help names is in its manual page, and the pages
# render without groff warnings.
for tool in vexa-scan vexa-devsim; do
    page=$ROOT/usr/share/man/man1/$tool.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$WORK/$tool.txt")
    [ -z "$warnings" ] || fail "$tool.1: $warnings"
    "$ROOT/usr/bin/$tool" --help >"$WORK/$tool.help" || fail "installed $tool --help"
    for option in $(grep -oE -- '--[a-z0-9-]+' "$WORK/$tool.help" | sort -u); do
        grep -qF -- "$option" "$WORK/$tool.txt" || fail "$tool.1 does not describe $option"
    done
done
grep -q '^usage: vexa-scan list' "$WORK/vexa-scan.help" || fail "installed vexa-scan --help prints no usage"

# A `cmake --install` of the build the packages came from gives the same
# files under any other prefix (the configuration beside the program instead
# of in /etc), and its programs run from there.
BUILD=$(dirname "$PKGS")
PREFIX=$WORK/prefix
if [ -f "$BUILD/cmake_install.cmake" ]; then
    cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null || fail "cmake --install"
    (cd "$PREFIX" && find . ! -type d) >"$WORK/installed"
    missing=$(for deb in "$KRO" "$TOOLS"; do dpkg-deb --contents "$deb"; done | grep -v '^d' \
        | sed -e 's/^.* \.\//.\//' -e 's/ -> .*$//' | grep -v '^\./etc/' | sed 's/^\.\/usr\//.\//' \
        | grep -vxF -f "$WORK/installed")
    [ -z "$missing" ] || fail "cmake --install lacks $missing"
    "$PREFIX/bin/vexa-scan" code --serial VXC212020210313DM000001 --date 2026-12-08 \
        --key "$PREFIX/lib/vexa-tools/demo-factory.key" >/dev/null || fail "vexa-scan from the prefix"
fi

# --- lintian: no errors; warnings are listed in the log ----------------------
lintian --fail-on error --tag-display-limit 0 "$KRO" "$TOOLS" >"$WORK/lintian" 2>&1 \
    || fail "lintian reports errors"
cat "$WORK/lintian"

# --- The installed programs on the demo network ------------------------------
# Anything the program writes must go to the runtime directory, never into
# the installed tree.
RUNTIME=$WORK/runtime
mkdir -m 700 "$RUNTIME"
touch "$WORK/stamp"
sleep 1
EXEC=$(sed -n 's/^Exec=//p' "$DESKTOP")
# The offscreen screen must be large enough for the tool's minimum resolution.
echo '{"screens": [{"name": "desk", "width": 1280, "height": 1024, "logicalDpi": 96}]}' >"$WORK/screen.json"
cat >"$WORK/run.sh" <<EOF
ip link set lo up || exit 1
export VEXA_INTERFACES=lo XDG_RUNTIME_DIR=$RUNTIME
"$ROOT/usr/bin/vexa-devsim" --devices "$ROOT/usr/lib/vexa-tools/demo-network.json" \
    >"$WORK/devsim.log" 2>&1 </dev/null &
SIM=\$!
tries=0
until grep -q '^ready ' "$WORK/devsim.log"; do
    tries=\$((tries + 1))
    [ \$tries -gt 100 ] && { cat "$WORK/devsim.log"; kill \$SIM; exit 1; }
    sleep 0.1
done
QT_QPA_PLATFORM=offscreen:configfile=$WORK/screen.json QT_PLUGIN_PATH=$PROBE QT_QPA_GENERIC_PLUGINS=vexaprobe \
    VEXA_PROBE_ROWS=30 VEXA_PROBE_SECONDS=30 timeout 60 "$ROOT/usr/bin/$EXEC"
rc=\$?
kill \$SIM
wait \$SIM
exit \$rc
EOF
$NETNS sh "$WORK/run.sh" >"$WORK/run.out" 2>&1
rc=$?
cat "$WORK/run.out" "$WORK/devsim.log"
[ $rc = 0 ] || fail "installed KRO-VEXA exited with $rc"
grep -qx 'rows 30' "$WORK/run.out" || fail "installed KRO-VEXA did not list the 30 demo devices"
grep -q 'factory key' "$WORK/devsim.log" && fail "installed vexa-devsim did not find its demo key"
[ -e "$RUNTIME/VEXA.lock" ] || fail "no single-instance lock in XDG_RUNTIME_DIR"
written=$(find "$ROOT" -newer "$WORK/stamp")
[ -z "$written" ] || fail "the programs wrote into the installed tree: $written"

[ $FAILED = 0 ] && echo "PASS"
exit $FAILED
