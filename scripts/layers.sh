#!/usr/bin/env bash
# Refuses an include that goes up a layer, or sideways between task units
# where that is not allowed, in a source tree laid out as src/ is: each
# folder is one layer, and a file includes another folder's header as
# "folder/name.h". Prints each refusal as "file:line: ..." and exits 1;
# exits 0 when every include keeps to the rule.
#
#   scripts/layers.sh [TREE]      (TREE defaults to the project's src/)
set -euo pipefail

tree=${1:-"$(dirname "$0")/../src"}

# The layers from the bottom up; the task units share the third.
level() {
    case $1 in
    base) echo 0 ;;
    db) echo 1 ;;
    auth | import | firstrun | labels) echo 2 ;;
    report) echo 3 ;;
    ui) echo 4 ;;
    app) echo 5 ;;
    *) echo -1 ;;
    esac
}

# The task units that include one another: the import's clearing is the
# wipe's emptying of tables, held against by the run, and its messages name
# tables and columns as the wipe's counts do.
sideways() {
    [[ $1 == import && $2 == firstrun ]]
}

refused=0
refuse() {
    echo "$1: $2" >&2
    refused=1
}

while IFS= read -r -d '' file; do
    relative=${file#"$tree"/}
    folder=${relative%%/*}
    if [[ $folder == "$relative" ]]; then
        refuse "$relative" "lies in no layer's folder"
        continue
    fi
    from=$(level "$folder")
    if ((from < 0)); then
        refuse "$relative" "folder $folder/ is no layer"
        continue
    fi
    while IFS=: read -r line included; do
        target=${included%%/*}
        to=$(level "$target")
        if ((to < 0)); then
            refuse "$relative:$line" "includes $included, which is in no layer"
        elif ((to > from)); then
            refuse "$relative:$line" "includes $included: $folder/ may not include $target/, a layer above it"
        elif ((to == from)) && [[ $target != "$folder" ]] && ! sideways "$folder" "$target"; then
            refuse "$relative:$line" "includes $included: the task unit $folder/ may not include $target/"
        fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/[^"]*"' "$file" |
        sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/' || true)
done < <(find "$tree" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)

exit "$refused"
