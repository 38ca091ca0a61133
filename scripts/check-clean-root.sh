#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 root, starts the designer from / under
# Xvfb as an ordinary user, takes a screenshot, closes it through its menu, checks that it
# wrote ld.cfg into the user's data folder, and removes the package again. Needs root, the
# Debian mirror and a few minutes; CI does not run it.
#
# Usage: scripts/check-clean-root.sh PACKAGE.deb ROOT_DIR [DISPLAY_NUMBER] [SCREENSHOT.png]
#        scripts/check-clean-root.sh --mirror   (prints the mirror it would use, and stops)
# The mirror is $MIRROR, else the one this machine's apt takes bookworm from.
# Host tools: debootstrap, Xvfb, xdotool, imagemagick (import).
set -euo pipefail
suite=bookworm

# The URI this machine's apt takes SUITE from: deb822 stanzas in sources.list.d/*.sources
# (Types: deb, Suites: naming SUITE, not Enabled: no), then one-line "deb [options] URI SUITE"
# entries in sources.list and sources.list.d/*.list. Prints nothing when there is none.
apt_mirror() {
    local suite=$1 etc=${2:-/etc/apt} found=""
    local stanzas=() lines=()
    shopt -s nullglob
    stanzas=("$etc"/sources.list.d/*.sources)
    [ -f "$etc/sources.list" ] && lines+=("$etc/sources.list")
    lines+=("$etc"/sources.list.d/*.list)
    shopt -u nullglob
    if [ ${#stanzas[@]} -gt 0 ]; then
        found=$(awk -v suite="$suite" '
            function flush() {
                if (uri != "" && enabled != "no" && (" " types " ") ~ / deb / &&
                    (" " suites " ") ~ (" " suite " ")) { print uri; found = 1; exit }
                types = suites = uri = enabled = ""
            }
            FNR == 1 { flush() }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            match($0, /^[A-Za-z-]+:/) {
                key = tolower(substr($0, 1, RLENGTH - 1))
                value = substr($0, RLENGTH + 1)
                gsub(/\t/, " ", value)
                gsub(/^ +| +$/, "", value)
                if (key == "types") types = value
                else if (key == "suites") suites = value
                else if (key == "enabled") enabled = tolower(value)
                else if (key == "uris") { split(value, part, " "); uri = part[1] }
            }
            END { if (!found) flush() }' "${stanzas[@]}")
    fi
    if [ -z "$found" ] && [ ${#lines[@]} -gt 0 ]; then
        found=$(awk -v suite="$suite" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite) { print $i; exit }
            }' "${lines[@]}")
    fi
    printf '%s' "$found"
}

mirror=${MIRROR:-$(apt_mirror "$suite")}
if [ -z "$mirror" ]; then
    echo "No Debian mirror: this machine's apt sources name none for $suite; set MIRROR=URL." >&2
    exit 1
fi
if [ "${1:-}" = "--mirror" ]; then echo "$mirror"; exit 0; fi

deb=$(realpath "$1")
root=$2
display=${3:-97}
shot=${4:-clean-root.png}

[ -d "$root/usr" ] || debootstrap --variant=minbase "$suite" "$root" "$mirror"

mounted=()
cleanup() {
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || true; done
}
trap cleanup EXIT
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" && mounted+=("$root/tmp/.X11-unix")
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

cp "$deb" "$root/tmp/"
name=$(basename "$deb")
in_root apt-get update -q
# Recommends are left out, so Depends alone must bring everything the designer needs.
in_root apt-get install -y -q --no-install-recommends "./tmp/$name"
in_root id tester >/dev/null 2>&1 || in_root useradd -m tester

Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp &
xvfb=$!
sleep 2
in_root rm -rf /home/tester/.local/share/pixbar4designer
chroot --userspec=tester:tester "$root" env -i HOME=/home/tester DISPLAY=":$display" \
    PATH=/usr/bin:/bin sh -c 'cd / && exec pixbar4designer' > "$root/tmp/designer.log" 2>&1 &
designer=$!
window=""
for _ in $(seq 60); do
    window=$(DISPLAY=":$display" xdotool search --name "Centrum sterowania" 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    sleep 1
done
[ -n "$window" ] || { cat "$root/tmp/designer.log"; echo "FAIL: no main window"; exit 1; }
sleep 3
DISPLAY=":$display" import -window root "$shot"
echo "screenshot: $shot"
DISPLAY=":$display" xprop -id "$window" WM_CLASS || true

# Plik > Zamknij, then Yes in the question box.
DISPLAY=":$display" xdotool windowfocus --sync "$window" key alt+p
sleep 1
DISPLAY=":$display" xdotool key z
sleep 2
DISPLAY=":$display" xdotool key Return
for _ in $(seq 20); do kill -0 "$designer" 2>/dev/null || break; sleep 1; done
if kill -0 "$designer" 2>/dev/null; then echo "FAIL: the designer did not close"; kill "$designer"; exit 1; fi

status=0
echo "user folder:"
ls -l "$root/home/tester/.local/share/pixbar4designer"
[ -f "$root/home/tester/.local/share/pixbar4designer/ld.cfg" ] || { echo "FAIL: no ld.cfg"; status=1; }

files=$(in_root dpkg -L pixbar4designer)
in_root apt-get remove -y -q pixbar4designer
left=""
while read -r f; do
    [ "$f" = "/." ] && continue
    # Shared folders such as /usr/share/icons stay for other packages.
    if [ -e "$root$f" ] && ! [ -d "$root$f" ]; then left+="$f "; fi
done <<<"$files"
[ -d "$root/usr/share/pixbar4designer" ] && left+="/usr/share/pixbar4designer "
if [ -n "$left" ]; then echo "FAIL: left after remove: $left"; status=1; else echo "remove: nothing of the package left"; fi
exit $status
