#!/usr/bin/env bash
# Keeps ARCHITECTURE.md true: every file or folder of the repository it names in backticks
# exists, and it names every library folder of core/ (each one with a CMakeLists.txt).
# A path under tools/pixbard/ may be missing while the line naming it says it is coming.
#
# Usage: check_architecture.sh ROOT [DOC]   (DOC defaults to ROOT/ARCHITECTURE.md)
set -euo pipefail
root=${1:?usage: check_architecture.sh ROOT [DOC]}
doc=${2:-$root/ARCHITECTURE.md}
if [ ! -f "$doc" ]; then
    echo "$doc: missing"
    exit 1
fi

# A repository path: names joined by slashes, relative, with a slash in it or ending in the
# extension of a source, build or document file. Port names, options, bare extensions, code
# (`m_emu.bitmap`) and absolute paths are not paths of the repository.
path_re='^[A-Za-z0-9_][A-Za-z0-9_.+-]*(/[A-Za-z0-9_.+-]+)*/?$'
file_re='\.(h|cpp|txt|md|sh|cmake|script)$'

failed=0
number=0
while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    while IFS= read -r token; do
        [ -n "$token" ] || continue
        [[ $token =~ $path_re ]] || continue
        [[ $token == */* || $token =~ $file_re ]] || continue
        [ -e "$root/$token" ] && continue
        if [[ $token == tools/pixbard || $token == tools/pixbard/* ]] &&
            grep -qi 'coming' <<<"$line"; then
            continue
        fi
        echo "$doc:$number: \`$token\` does not exist"
        failed=1
    done < <(grep -o '`[^`]*`' <<<"$line" | tr -d '`' || true)
done <"$doc"

for list in "$root"/core/*/CMakeLists.txt; do
    [ -e "$list" ] || continue
    folder=$(basename "$(dirname "$list")")
    if ! grep -qE "\`core/$folder/?\`" "$doc"; then
        echo "$doc: the library folder \`core/$folder/\` is not named"
        failed=1
    fi
done
exit $failed
