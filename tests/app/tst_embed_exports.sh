#!/bin/sh
# The tool's library exports the three entry points and nothing else: under
# their decorated names when gold linked it (the '@' in them is part of the
# name, not a version), under their plain names when it did not.
#
# usage: tst_embed_exports.sh LIBRARY DECORATED|PLAIN
set -eu
lib=$1
case $2 in
DECORATED) expected=$(printf '%s\n' _ZEL_VEXA_CallBack@4 _ZEL_VEXA_ChangeSize@4 _ZEL_VEXA_OpenDialog@24) ;;
PLAIN) expected=$(printf '%s\n' ZEL_VEXA_CallBack ZEL_VEXA_ChangeSize ZEL_VEXA_OpenDialog) ;;
*)
    echo "usage: $0 LIBRARY DECORATED|PLAIN"
    exit 2
    ;;
esac
actual=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | sort)
if [ "$actual" != "$expected" ]; then
    printf 'exported:\n%s\n' "$actual"
    exit 1
fi
# Beyond the base entry (the library's own name), a version definition would
# mean the linker read an '@' as a version separator.
if readelf --version-info "$lib" | grep 'Rev:' | grep -qv 'Flags: BASE'; then
    echo "the library defines symbol versions"
    exit 1
fi
