#!/usr/bin/env bash
# Builds the Debian package and checks what it holds: the file list, the menu entry, the
# AppStream metainfo, the dependencies, pixbard's service, and lintian.
# Usage: check_package.sh BUILD_DIR EXPECTED_FILES
set -euo pipefail
build=$1
expected=$2

# A package of an earlier version would be a second one here.
rm -f "$build"/pixbar4designer_*.deb
cmake --build "$build" --target package >/dev/null
debs=("$build"/pixbar4designer_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package in $build: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "package: $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# Files, not folders: every folder is implied by its files.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "/", $6); print $6 }' | sort > "$work/files"
if ! diff -u <(grep -v '^#' "$expected" | sort) "$work/files"; then
    fail "the package's files differ from $expected"
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(sed 's/ ([^)]*)//g; s/, */\n/g' <<<"$depends")
# Found by dpkg-shlibdeps, and the packages the windows need at run time.
for package in libqt6widgets6 libqt6serialport6 libstdc++6 qt6-qpa-plugins \
               qt6-translations-l10n fonts-wine adduser; do
    grep -qxF "$package" <<<"$names" || fail "Depends lacks $package"
done

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work"/root/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$work"/root/usr/share/metainfo/*.metainfo.xml \
    || fail "appstreamcli validate"
desktop=$(cat "$work"/root/usr/share/applications/pixbar4designer.desktop)
for key in Categories Comment Terminal=false StartupWMClass=Pixbar4Designer; do
    grep -q "^$key" <<<"$desktop" || fail "the menu entry lacks $key"
done

# pixbard: an upgrade keeps the administrator's config; the unit runs the packaged program
# as the user postinst makes, with the serial ports' group.
dpkg-deb -e "$deb" "$work/control"
grep -qxF /etc/pixbard.conf "$work/control/conffiles" || fail "/etc/pixbard.conf is not a conffile"
sed -e :a -e '/\\$/N; s/\\\n//; ta' "$work/control/postinst" | grep -q 'adduser .*--system.* pixbard$' \
    || fail "postinst does not make the user pixbard"
unit=$(cat "$work"/root/usr/lib/systemd/system/pixbard.service)
for line in User=pixbard SupplementaryGroups=dialout NoNewPrivileges=yes ProtectSystem=strict \
            'ExecStart=/usr/bin/pixbard --config /etc/pixbard.conf'; do
    grep -q "^$line" <<<"$unit" || fail "pixbard.service lacks $line"
done
grep -q '^ExecStart=/usr/bin/pixbard --config %E/pixbard.conf' \
    "$work"/root/usr/lib/systemd/user/pixbard.service || fail "the user unit does not read ~/.config"
# The example in the config works once its sign's lines lose their "#".
sed -n '/^#\[sign /,/^$/ s/^#\([^ ]\)/\1/p' "$work"/root/etc/pixbard.conf >"$work/example.conf"
# Its schedule names a file of the user's own; an empty one is a schedule with no entries.
: >"$work/shop.harmonogram"
"$build"/bin/pixbard --check --config "$work/example.conf" || fail "the config's example is not usable"

# Its tags go to the test log; only errors fail.
lintian_status=0
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ $lintian_status -eq 0 ] || fail "lintian reports errors"
exit $status
