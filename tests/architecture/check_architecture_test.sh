#!/usr/bin/env bash
# The checker of ARCHITECTURE.md against a small tree of its own: which documents it lets
# pass, and that a failure names the path or the library folder at fault.
#
# Usage: check_architecture_test.sh CHECKER
set -uo pipefail
checker=${1:?usage: check_architecture_test.sh CHECKER}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/core/record "$tree"/core/link "$tree"/core/notes "$tree"/tools/pixbarctl
touch "$tree"/CMakeLists.txt "$tree"/core/record/CMakeLists.txt "$tree"/core/link/CMakeLists.txt
touch "$tree"/core/link/tcpport.h "$tree"/tools/pixbarctl/main.cpp
# core/notes has no CMakeLists.txt: it is no library and need not be named.
base='`core/record/` and `core/link/` build from `CMakeLists.txt`.'

# Each case: expected exit status | text the output must hold (empty: none) | document.
cases=(
    "0||$base"
    "0||$base Files: \`core/link/tcpport.h\`, \`tools/pixbarctl/main.cpp\`, \`tools/pixbarctl\`."
    "0||$base Not paths: \`tcp:HOST:PORT\`, \`--show\`, \`ld.cfg\`, \`/dev/ttyUSB0\`, \`COMn\`, \`bench_<name>\`, \`.cpp\`, \`m_emu.bitmap\`, \`m_emu.glyphs\`."
    "1|\`core/plyer/\`|$base The player is \`core/plyer/\`."
    "1|\`core/link/portdevice.h\`|$base Names in \`core/link/portdevice.h\`."
    "1|\`READ.md\`|$base See \`READ.md\`."
    "1|\`tools/pixbarctl/sign.cpp\`|$base The sign commands: \`tools/pixbarctl/sign.cpp\`."
    "0||$base \`pixbard\` is coming under \`tools/pixbard/\` with \`tools/pixbard/service.h\`."
    "1|\`tools/pixbard/\`|$base \`pixbard\` owns the signs in \`tools/pixbard/\`."
    "1|\`core/service/\`|$base Coming: \`tools/pixbard/\` and, wrongly, \`core/service/\`."
    "1|\`core/link/\` is not named|\`core/record/\` only; \`core/linker/x\` is not it."
    "1|\`core/record/\` is not named|\`core/link/\` only, and \`core/records\` is another."
    "0||\`core/record\` and \`core/link\` without their slashes."
)
failures=0
for entry in "${cases[@]}"; do
    status=${entry%%|*}
    rest=${entry#*|}
    expected=${rest%%|*}
    text=${rest#*|}
    printf '%s\n' "$text" >"$tree/ARCHITECTURE.md"
    output=$(bash "$checker" "$tree" 2>&1)
    got=$?
    if [ "$got" != "$status" ]; then
        echo "FAIL (exit $got, wanted $status): $text"
        echo "$output"
        failures=$((failures + 1))
    elif [ -n "$expected" ] && ! grep -qF -- "$expected" <<<"$output"; then
        echo "FAIL (output does not name $expected): $text"
        echo "$output"
        failures=$((failures + 1))
    fi
done
# A missing document is a failure too.
rm "$tree/ARCHITECTURE.md"
if bash "$checker" "$tree" >/dev/null 2>&1; then
    echo "FAIL: a missing ARCHITECTURE.md passed"
    failures=$((failures + 1))
fi
echo "$((${#cases[@]} + 1 - failures)) of $((${#cases[@]} + 1)) cases pass"
[ "$failures" -eq 0 ]
