#!/usr/bin/env bash
# The layer check (scripts/layers.sh) on scratch trees: one file of the
# program copied with an include added, row by row, and what the check
# must say of it.
#
#   tests/layers/layers.sh PROJECT_FOLDER
set -euo pipefail

project=$1
check=$project/scripts/layers.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=0
row=0
# name | the file copied | the include added | refused or kept | what the
# refusal says after the file and the added line's number
while IFS='|' read -r name file include verdict words; do
    [[ -z $name ]] && continue
    tree=$scratch/$((++row))
    mkdir -p "$tree/$(dirname "$file")"
    if [[ -f $project/src/$file ]]; then
        cp "$project/src/$file" "$tree/$file"
    else
        : >"$tree/$file"
    fi
    echo "#include \"$include\"" >>"$tree/$file"
    line=$(wc -l <"$tree/$file")
    if said=$("$check" "$tree" 2>&1); then
        outcome=kept
    else
        outcome=refused
    fi
    if [[ $outcome != "$verdict" ]]; then
        echo "FAIL: $name: $outcome, not $verdict: $said"
        failed=1
    elif [[ $verdict == refused && $said != *"$file:$line: $words"* && $said != *"$file: $words"* ]]; then
        echo "FAIL: $name: the refusal does not say \"$file:$line: $words\": $said"
        failed=1
    else
        echo "ok: $name${said:+: $said}"
    fi
done <<'ROWS'
up from base to ui|base/errors.h|ui/guarded.h|refused|includes ui/guarded.h: base/ may not include ui/
up from db to a task unit|db/session.h|auth/autent.h|refused|includes auth/autent.h: db/ may not include auth/
up from report to ui|report/bandreport.cpp|ui/uiplatform.h|refused|includes ui/uiplatform.h: report/ may not
up from ui to app|ui/formYN.cpp|app/mainform.h|refused|includes app/mainform.h: ui/ may not include app/
sideways from labels to import|labels/register.cpp|import/records.h|refused|includes import/records.h: the task unit labels/
sideways from firstrun back to import|firstrun/wipe.cpp|import/importrun.h|refused|includes import/importrun.h: the task
sideways from auth to labels|auth/autent.cpp|labels/register.h|refused|includes labels/register.h: the task unit auth/
the import's clearing from firstrun|import/importrun.cpp|firstrun/wipe.h|kept|
down from app to base|app/main.cpp|base/errors.h|kept|
down from report to labels|report/prnbarcod.cpp|labels/labeldata.h|kept|
within one folder|ui/diapass.cpp|ui/guarded.h|kept|
a folder that is no layer|misc/extra.h|base/errors.h|refused|folder misc/ is no layer
an include of no layer|app/main.cpp|nowhere/x.h|refused|includes nowhere/x.h, which is in no layer
ROWS
exit "$failed"
