#!/bin/sh
# The tool's library exports the three entry points under their decorated
# names and nothing else; the '@' in them is part of the name, not a version.
set -eu
lib=$1
actual=$(nm -D --defined-only "$lib" | awk '{ print $NF }' | sort)
expected=$(printf '%s\n' _ZEL_VEXA_CallBack@4 _ZEL_VEXA_ChangeSize@4 _ZEL_VEXA_OpenDialog@24)
if [ "$actual" != "$expected" ]; then
    printf 'exported:\n%s\n' "$actual"
    exit 1
fi
# Beyond the base entry (the library's own name), a version definition would
# mean the linker read the '@' as a version separator.
if readelf --version-info "$lib" | grep 'Rev:' | grep -qv 'Flags: BASE'; then
    echo "the library defines symbol versions"
    exit 1
fi
