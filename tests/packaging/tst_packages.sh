#!/bin/sh
# The Debian packages as a user gets them: the files each must hold, its
# dependencies, menu entry and AppStream metadata, lintian, manual pages;
# then the packages unpacked into a scratch root, and the installed programs
# started from there: `vexa-scan --help`, and each edition (KRO-VEXA, and
# ZEL-VEXA once it is packaged) from its menu entry's command, offscreen on
# the demo network of the installed `vexa-devsim`, in a network namespace of
# its own with only loopback, listed there by the installed `vexa-scan` too.
# The probe plug-in waits until the table lists the demo network and closes
# the window through the close question. The demo keys come only with
# vexa-demo: no main package installs one or carries one inside a file, and
# the installed `vexa-scan` sends no password or security code to a
# demo-certified device until vexa-demo's trust file is in place.
#
# usage: tst_packages.sh PACKAGEDIR PROBEDIR   (exit 77: packages not built)

set -u
PKGS=${1:?usage: tst_packages.sh PACKAGEDIR PROBEDIR}
PROBE=${2:?usage: tst_packages.sh PACKAGEDIR PROBEDIR}
SKIP=77

deb_of() { ls "$PKGS/$1"_*.deb 2>/dev/null | tail -n 1; }
KRO=$(deb_of kro-vexa)
TOOLS=$(deb_of vexa-tools)
ZEL=$(deb_of zel-vexa)
DEMO=$(deb_of vexa-demo)
if [ -z "$KRO" ] || [ -z "$TOOLS" ] || [ -z "$DEMO" ]; then
    echo "SKIP: no packages in $PKGS (cmake --build build-package --target package)"
    exit $SKIP
fi
# A mount namespace too: the run hides the machine's own trust directory.
if [ "$(id -u)" = 0 ]; then NETNS="unshare -nm"; else NETNS="unshare -rnm"; fi
if ! $NETNS true 2>/dev/null; then
    echo "SKIP: cannot create a network namespace"
    exit $SKIP
fi

# package:program:desktop id, for each edition that was packaged.
EDITIONS="kro-vexa:KRO-VEXA:org.vexa.KroVexa"
[ -n "$ZEL" ] && EDITIONS="$EDITIONS zel-vexa:ZEL-VEXA:org.vexa.ZelVexa"
DEBS="$KRO $TOOLS $ZEL" # the main packages

WORK=$(mktemp -d /tmp/tst_packages.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() {
    echo "FAIL: $*"
    FAILED=1
}
contents() { # DEB...: file names, links without their target
    for deb in "$@"; do dpkg-deb --contents "$deb"; done \
        | sed -e 's/^.* \.\//.\//' -e 's/ -> .*$//'
}

# --- Contents ---------------------------------------------------------------
check_contents() { # DEB FILES
    contents "$1" >"$WORK/contents"
    missing=$(echo "$2" | grep -v '^$' | grep -vxF -f "$WORK/contents")
    [ -z "$missing" ] || fail "$(basename "$1") lacks $missing"
}
edition_files() { # PACKAGE PROGRAM ID
    for f in "bin/$1" "lib/$1/$2" "lib/$1/Setup.xml" "lib/$1/libVexa.so" "lib/$1/libtum.so" \
        "lib/$1/libPACKET.so" "lib/$1/translations/$2_en.qm" "lib/$1/translations/$2_zh.qm" \
        "share/applications/$3.desktop" "share/metainfo/$3.metainfo.xml" \
        "share/icons/hicolor/scalable/apps/$3.svg" "share/icons/hicolor/16x16/apps/$3.png" \
        "share/icons/hicolor/48x48/apps/$3.png" "share/icons/hicolor/256x256/apps/$3.png" \
        "share/man/man1/$1.1.gz" "share/doc/$1/copyright" "share/doc/$1/changelog.gz"; do
        echo "./usr/$f"
    done
    echo "./etc/$1/Setup.xml"
}
for edition in $EDITIONS; do
    IFS=: read -r package program id <<EOF
$edition
EOF
    check_contents "$(deb_of "$package")" "$(edition_files "$package" "$program" "$id")"
    # An administrator's Setup.xml survives upgrades.
    dpkg-deb -I "$(deb_of "$package")" conffiles 2>/dev/null | grep -qx "/etc/$package/Setup.xml" \
        || fail "$package: Setup.xml is no conffile"
done
check_contents "$KRO" "
./usr/lib/kro-vexa/libvexaapp.so
./usr/lib/kro-vexa/libvexawidgets.so
./usr/lib/kro-vexa/libvexadevice.so
./usr/lib/kro-vexa/libvexamainwnd.so
./usr/lib/kro-vexa/VEXA User Manual.pdf
./usr/lib/kro-vexa/设备网络搜索用户使用手册.pdf
./usr/lib/kro-vexa/plugins/skins/libvexa-skin-default.so
./usr/lib/kro-vexa/plugins/skins/default/default.rcc"
check_contents "$TOOLS" "
./usr/bin/vexa-scan
./usr/bin/vexa-devsim
./usr/bin/vexa-agent
./usr/bin/vexa-keygen
./usr/lib/vexa-tools/vexa-scan
./usr/lib/vexa-tools/vexa-devsim
./usr/lib/vexa-tools/vexa-agent
./usr/lib/vexa-tools/vexa-keygen
./usr/lib/systemd/system/vexa-agent.service
./usr/lib/vexa-tools/libVexa.so
./usr/lib/vexa-tools/libtum.so
./usr/lib/vexa-tools/libPACKET.so
./usr/lib/vexa-tools/demo-network.json
./usr/share/man/man1/vexa-scan.1.gz
./usr/share/man/man1/vexa-devsim.1.gz
./usr/share/man/man1/vexa-agent.1.gz
./usr/share/man/man1/vexa-keygen.1.gz
./usr/share/doc/vexa-tools/copyright
./usr/share/doc/vexa-tools/changelog.gz"

check_contents "$DEMO" "
./usr/lib/vexa-tools/demo-factory.key
./usr/lib/vexa-tools/demo-manufacturer.key
./etc/vexa/manufacturers.d/vexa-demo.pub
./usr/share/doc/vexa-demo/copyright
./usr/share/doc/vexa-demo/changelog.gz"
dpkg-deb -I "$DEMO" conffiles 2>/dev/null | grep -qx /etc/vexa/manufacturers.d/vexa-demo.pub \
    || fail "vexa-demo: its trust file is no conffile"
[ "$(dpkg-deb -f "$DEMO" Architecture)" = all ] || fail "vexa-demo is not Architecture: all"
dpkg-deb -f "$DEMO" Depends | grep -q "^vexa-tools (= " || fail "vexa-demo does not depend on its vexa-tools"

# --- No demo key in the main packages ----------------------------------------
# The demo keys are published. No main package installs a key or trust file,
# and no file in one holds the demo manufacturer's seed or public key or the
# demo factory key, as bytes or as hex in either case.
# shellcheck disable=SC2086
contents $DEBS | grep -E '\.(key|pub)$|manufacturers\.d' | sed 's/^/installs /' >"$WORK/demo-files"
[ -s "$WORK/demo-files" ] && fail "a main package installs keys or trust files: $(cat "$WORK/demo-files")"
dpkg-deb -x "$DEMO" "$WORK/demo" || fail "cannot unpack $DEMO"
DEMO_KEYS="$(head -n 1 "$WORK/demo/usr/lib/vexa-tools/demo-manufacturer.key") \
$(head -n 1 "$WORK/demo/usr/lib/vexa-tools/demo-factory.key") \
$(grep -v '^#' "$WORK/demo/etc/vexa/manufacturers.d/vexa-demo.pub" | head -n 1)"
holding_demo_keys() { # DIR: "file: key" for every file under DIR holding one
    find "$1" -type f -print0 | DEMO_KEYS=$DEMO_KEYS xargs -0 -r perl -e '
        my @needles;
        for my $hex (split " ", $ENV{DEMO_KEYS}) {
            push @needles, map { [$hex, $_] } pack("H*", $hex), lc $hex, uc $hex;
        }
        local $/;
        for my $file (@ARGV) {
            open(my $in, "<:raw", $file) or next;
            my $data = <$in>;
            for (@needles) { print "$file: $_->[0]\n" if index($data, $_->[1]) >= 0 }
        }'
}
[ -n "$(holding_demo_keys "$WORK/demo")" ] || fail "the key search does not even find the keys in vexa-demo"
for deb in $DEBS; do
    dpkg-deb -x "$deb" "$WORK/main" || fail "cannot unpack $deb"
done
found=$(holding_demo_keys "$WORK/main" | sed "s|$WORK/main||")
[ -z "$found" ] || fail "demo key material in a main package: $found"
rm -rf "$WORK/main"

# Dependencies come from dpkg-shlibdeps (the Qt and sodium libraries), never
# on a library the package carries itself.
depends_on() { # DEB PATTERN
    dpkg-deb -f "$1" Depends | tr ',' '\n' | grep -q "^ *$2" || fail "$(basename "$1"): no dependency $2"
}
depends_on "$KRO" libqt6widgets6
depends_on "$KRO" qt6-qpa-plugins
depends_on "$TOOLS" libsodium
for deb in $DEBS; do
    dpkg-deb -f "$deb" Depends | grep -qiE 'vexa|tum|packet' && fail "$(basename "$deb") depends on its own library"
done

# --- Unpacked: menu entries, metadata, manual pages --------------------------
ROOT=$WORK/root
for deb in $DEBS $DEMO; do
    dpkg-deb -x "$deb" "$ROOT" || fail "cannot unpack $deb"
done
for edition in $EDITIONS; do
    IFS=: read -r package program id <<EOF
$edition
EOF
    # The link to the configuration in /etc is absolute: point it into the scratch root.
    link=$ROOT/usr/lib/$package/Setup.xml
    [ "$(readlink "$link")" = "/etc/$package/Setup.xml" ] || fail "$package: no link to /etc/$package/Setup.xml"
    ln -sf "$ROOT/etc/$package/Setup.xml" "$link"
    desktop=$ROOT/usr/share/applications/$id.desktop
    desktop-file-validate "$desktop" || fail "$id.desktop: desktop-file-validate"
    appstreamcli validate --no-net --explain "$ROOT/usr/share/metainfo/$id.metainfo.xml" \
        || fail "$id.metainfo.xml: appstreamcli validate"
    grep -q '^Name\[zh_CN\]=' "$desktop" && grep -q '^Comment\[zh_CN\]=' "$desktop" \
        || fail "$id.desktop has no Chinese name or comment"
    grep -qx "Icon=$id" "$desktop" || fail "$id.desktop names another icon"
    # The run below starts what the menu entry starts.
    grep -qx "Exec=$package" "$desktop" || fail "$id.desktop starts another command"
done

# Every option a tool's --help names is in its manual page, and the pages
# render without groff warnings.
for page in "$ROOT"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$WORK/$(basename "$page" .1.gz).txt")
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
for tool in vexa-scan vexa-devsim vexa-agent vexa-keygen; do
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
    # shellcheck disable=SC2086
    missing=$(contents $DEBS | grep -v -e '/$' -e '^\./etc/' | sed 's/^\.\/usr\//.\//' \
        | grep -vxF -f "$WORK/installed")
    [ -z "$missing" ] || fail "cmake --install lacks $missing"
    "$PREFIX/bin/vexa-scan" code --serial VXC212020210313DM000001 --date 2026-12-08 \
        --key "$PREFIX/lib/vexa-tools/demo-factory.key" >/dev/null || fail "vexa-scan from the prefix"
fi

# --- lintian: no errors; warnings are listed in the log ----------------------
# shellcheck disable=SC2086
lintian --fail-on error --tag-display-limit 0 $DEBS $DEMO >"$WORK/lintian" 2>&1 || fail "lintian reports errors"
cat "$WORK/lintian"

# --- The installed programs on the demo network ------------------------------
# Anything the programs write must go to the runtime directory, never into
# the installed tree.
RUNTIME=$WORK/runtime
mkdir -m 700 "$RUNTIME"
touch "$WORK/stamp"
sleep 1
# The offscreen screen must be large enough for the tool's minimum resolution.
echo '{"screens": [{"name": "desk", "width": 1280, "height": 1024, "logicalDpi": 96}]}' >"$WORK/screen.json"
cat >"$WORK/run.sh" <<EOF
ip link set lo up || exit 1
export VEXA_INTERFACES=lo XDG_RUNTIME_DIR=$RUNTIME
"$ROOT/usr/bin/vexa-devsim" --devices "$ROOT/usr/lib/vexa-tools/demo-network.json" \\
    >"$WORK/devsim.log" 2>&1 </dev/null &
SIM=\$!
# This simulator and no other, on every way out.
trap 'kill \$SIM 2>/dev/null; wait \$SIM' EXIT
tries=0
until grep -q '^ready ' "$WORK/devsim.log"; do
    tries=\$((tries + 1))
    [ \$tries -gt 100 ] && exit 1
    sleep 0.1
done
"$ROOT/usr/bin/vexa-scan" list --wait 2 --json >"$WORK/scan.json" 2>&1
# A demo device gets a password or code only from a program that trusts the
# demo manufacturer: not from the main packages alone (this machine's own
# trust directory hidden), only once vexa-demo's trust file is read.
CODE=\$("$ROOT/usr/bin/vexa-scan" code --serial VXC212020210313DM000001 --date "\$(date -u +%F)" \\
    --key "$ROOT/usr/lib/vexa-tools/demo-factory.key")
trust_trial() { # LABEL [VARIABLE=VALUE]
    label=\$1
    shift
    env "\$@" "$ROOT/usr/bin/vexa-scan" modify --mac 02:44:45:4d:4f:01 --password demo1234 --ip 10.20.1.120 \\
        --mask 255.255.255.0 --port 8000 >>"$WORK/trust.log" 2>&1 && m=accepted || m=refused
    env "\$@" "$ROOT/usr/bin/vexa-scan" reset --serial VXC212020210313DM000001 --code "\$CODE" \\
        >>"$WORK/trust.log" 2>&1 && r=accepted || r=refused
    echo "\$label: modify \$m, reset \$r" >>"$WORK/trust.out"
}
mkdir -p "$WORK/empty"
if [ -d /etc/vexa ]; then mount --bind "$WORK/empty" /etc/vexa || exit 1; fi
trust_trial "main packages"
trust_trial "with vexa-demo" VEXA_TRUST_DIR="$ROOT/etc/vexa/manufacturers.d"
# The windows as installed with vexa-demo: demo devices certified, so the
# one speaking both protocols is listed once, by its VXDP record.
for package in $(for e in $EDITIONS; do printf '%s ' "${e%%:*}"; done); do
    VEXA_TRUST_DIR="$ROOT/etc/vexa/manufacturers.d" \\
        QT_QPA_PLATFORM=offscreen:configfile=$WORK/screen.json QT_PLUGIN_PATH=$PROBE \\
        QT_QPA_GENERIC_PLUGINS=vexaprobe VEXA_PROBE_ROWS=34 VEXA_PROBE_SECONDS=30 \\
        timeout 60 "$ROOT/usr/bin/\$package" >"$WORK/\$package.out" 2>&1
    echo "\$package exit \$?" >>"$WORK/\$package.out"
done
EOF
$NETNS sh "$WORK/run.sh" || fail "the demo network did not start"
cat "$WORK/devsim.log"
[ "$(grep -o '"serialNo"' "$WORK/scan.json" | wc -l)" = 34 ] || fail "installed vexa-scan did not list the 34 demo devices"
for edition in $EDITIONS; do
    package=${edition%%:*}
    cat "$WORK/$package.out"
    grep -qx "$package exit 0" "$WORK/$package.out" || fail "installed $package did not end cleanly"
    grep -qx 'rows 34' "$WORK/$package.out" || fail "installed $package did not list the 34 demo devices"
done
grep -q 'factory key\|manufacturer key' "$WORK/devsim.log" && fail "installed vexa-devsim did not find its demo keys"
cat "$WORK/trust.out" "$WORK/trust.log"
grep -qx "main packages: modify refused, reset refused" "$WORK/trust.out" \
    || fail "the main packages trust the demo manufacturer"
grep -qx "with vexa-demo: modify accepted, reset accepted" "$WORK/trust.out" \
    || fail "vexa-demo's trust file is not read"
[ -e "$RUNTIME/VEXA.lock" ] || fail "no single-instance lock in XDG_RUNTIME_DIR"
written=$(find "$ROOT" -newer "$WORK/stamp")
[ -z "$written" ] || fail "the programs wrote into the installed tree: $written"

[ $FAILED = 0 ] && echo "PASS"
exit $FAILED
