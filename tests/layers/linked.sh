#!/usr/bin/env bash
# Checks what programs built on the lower layers link: no Qt Widgets and no
# Qt Print Support in any of them, and not even Qt Gui in those named after
# --core.
#
#   tests/layers/linked.sh REPORT_PROGRAM... --core CORE_PROGRAM...
set -euo pipefail

refused=0
forbidden='libQt6Widgets|libQt6PrintSupport'
for program in "$@"; do
    if [[ $program == --core ]]; then
        forbidden='libQt6Widgets|libQt6PrintSupport|libQt6Gui'
        continue
    fi
    needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    if [[ -z $needed ]]; then
        echo "$program: no libraries read" >&2
        refused=1
    elif grep -E "$forbidden" <<<"$needed" >&2; then
        echo "$program: links the above, which its layer may not use" >&2
        refused=1
    fi
done
exit "$refused"
