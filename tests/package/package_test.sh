#!/usr/bin/env bash
# Checks of the installed and packaged KORU, one per CTest test:
#   package_test.sh STEP BUILD_DIR SOURCE_DIR VERSION
# STEP is install, desktop, man (the pages, and their options against --help),
# package, lint or deb. Exit 77 marks a skip.
set -euo pipefail
step=$1 build=$2 source=$3 version=$4
packages=$build/package-test
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The programs answer --version with the one version number.
check_versions() {
    local bin=$1 program
    for program in koru koru-cli koru-sample-server koru-publish; do
        [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/$program" --version)" = "$program $version" ] ||
            fail "$bin/$program --version"
    done
}

# The names in lines of comma-separated names, lower-cased, one per line.
variable_names() {
    tr ',' '\n' | sed 's/^ *//; s/ *$//; /^$/d' | tr '[:upper:]' '[:lower:]' | sort -u
}

expected_files() {
    local size
    printf '%s\n' bin/koru bin/koru-cli bin/koru-sample-server bin/koru-publish \
        share/applications/koru.desktop share/applications/koru-update.desktop \
        share/icons/hicolor/scalable/apps/koru.svg \
        share/man/man1/koru.1.gz share/man/man1/koru-cli.1.gz share/man/man1/koru-sample-server.1.gz \
        share/man/man1/koru-publish.1.gz \
        share/metainfo/io.koru.koru.metainfo.xml share/lintian/overrides/koru-publisher \
        share/bash-completion/completions/koru share/bash-completion/completions/koru-cli \
        share/bash-completion/completions/koru-sample-server \
        share/systemd/user/koru-check.service share/systemd/user/koru-check.timer
    printf 'share/doc/%s/copyright\nshare/doc/%s/changelog.gz\n' koru koru koru-cli koru-cli \
        koru-publisher koru-publisher
    for size in 16 22 24 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x$size/apps/koru.png"
    done
    (cd "$source/sample" && find . -type f | sed 's|^\./|share/koru/sample/|')
}

case $step in
install)
    # A home install, as the user's guide shows it.
    prefix=$tmp/home/.local
    cmake --install "$build" --prefix "$prefix" >/dev/null
    diff -u <(expected_files | sort) <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "cmake --install laid down other files than expected"
    for png in "$prefix"/share/icons/hicolor/*/apps/koru.png; do
        size=$(basename "$(dirname "$(dirname "$png")")")
        file -b "$png" | grep -q "^PNG image data, ${size/x/ x }," || fail "$png is not a $size PNG"
    done
    check_versions "$prefix/bin"
    # The daily check's units go where the user's systemd looks for the prefix,
    # naming koru-cli as installed: a home prefix, and the system's two.
    HOME=$tmp/home env -u XDG_DATA_HOME systemd-analyze --user unit-paths | grep -qx "$prefix/share/systemd/user" ||
        fail "systemd --user does not look in $prefix/share/systemd/user"
    for row in "$prefix share/systemd/user" "/usr lib/systemd/user" "/usr/local lib/systemd/user"; do
        read -r unit_prefix units <<<"$row"
        root=
        if [ "$unit_prefix" != "$prefix" ]; then
            root=$tmp/stage
            DESTDIR=$root cmake --install "$build" --prefix "$unit_prefix" --component cli >/dev/null
        fi
        grep -qx "ExecStart=$unit_prefix/bin/koru-cli --notify check" "$root$unit_prefix/$units/koru-check.service" ||
            fail "no koru-check.service starting $unit_prefix/bin/koru-cli in $root$unit_prefix/$units"
    done
    # The installed console front end runs a command on a VANTO folder of the sample tree.
    cp -r "$prefix/share/koru/sample/vanto" "$tmp/vanto"
    "$prefix/bin/koru-cli" --home "$tmp/vanto" search | grep -q "^THIS FEATURE IS NOT YET AVAILABLE" ||
        fail "installed koru-cli search"
    # Away from VANTO, the installed console front end names the folder and the
    # ways to VANTO in one line, and leaves nothing behind; a remembered folder leads there.
    mkdir "$tmp/away" "$tmp/config"
    status=0
    (cd "$tmp/away" && XDG_CONFIG_HOME=$tmp/config "$prefix/bin/koru-cli" search >/dev/null 2>"$tmp/err") ||
        status=$?
    [ "$status" = 64 ] || fail "installed koru-cli away from VANTO exits $status, not 64"
    [ "$(wc -l <"$tmp/err")" = 1 ] && grep -q "no VANTO.ini in $tmp/away; .*--home.*KORU_HOME.*--choose-home" "$tmp/err" ||
        fail "installed koru-cli away from VANTO says: $(cat "$tmp/err")"
    [ -z "$(ls -A "$tmp/away")" ] || fail "installed koru-cli left files in the current folder"
    mkdir "$tmp/config/koru"
    echo "home=$tmp/vanto" >"$tmp/config/koru/koru.conf"
    (cd "$tmp/away" && XDG_CONFIG_HOME=$tmp/config "$prefix/bin/koru-cli" search) |
        grep -q "^THIS FEATURE IS NOT YET AVAILABLE" || fail "installed koru-cli with a remembered folder"
    ;;
desktop)
    for entry in "$source"/data/applications/*.desktop; do
        out=$(desktop-file-validate "$entry" 2>&1) || fail "$entry: $out"
        [ -z "$out" ] || fail "$entry: $out"
    done
    appstreamcli validate --no-net --pedantic "$build"/data/metainfo/*.metainfo.xml >"$tmp/out" 2>&1 ||
        fail "appstreamcli validate: $(cat "$tmp/out")"
    grep -q "^Validation was successful.$" <(sed 's/^[^A-Za-z]*//' "$tmp/out") ||
        fail "appstreamcli validate has remarks: $(cat "$tmp/out")"
    grep -q "installs.*restores" <(tr '\n' ' ' <"$build"/data/metainfo/io.koru.koru.metainfo.xml) ||
        fail "the AppStream description does not tell of installing and restoring"
    ;;
man)
    for page in "$build"/data/man/*.1; do
        grep -q '@[A-Z_]*@' "$page" && fail "$page has unfilled placeholders"
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l "$page" >"$tmp/out" 2>"$tmp/err" ||
            fail "man -l $page"
        [ ! -s "$tmp/err" ] || fail "man -l $page warns: $(cat "$tmp/err")"
        grep -q '^NAME' "$tmp/out" || fail "$page renders no NAME section"
        grep -q "KORU $version" "$tmp/out" || fail "$page does not show version $version"
        # The page's synopsis, options and commands name the same long options
        # as the program's --help; another program's options named in passing
        # do not count.
        program=$(basename "$page" .1)
        LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null |
            awk '/^[A-Z]/ { keep = $0 == "SYNOPSIS" || $0 == "OPTIONS" || $0 == "COMMANDS" } keep' |
            sed -E "s/(^|[^a-z-])$program --/\\1SELF --/g; s/koru[a-z-]* --[a-z0-9-]+//g" |
            grep -oE -- '--[a-z][a-z0-9-]*' | sort -u >"$tmp/man-options"
        env -u DISPLAY -u WAYLAND_DISPLAY "$(find "$build/src" -name "$program" -type f -perm -u+x)" --help |
            grep -oE -- '--[a-z][a-z0-9-]*' | sort -u >"$tmp/help-options"
        diff -u "$tmp/help-options" "$tmp/man-options" >"$tmp/options.diff" ||
            fail "$program --help and $page name other options: $(cat "$tmp/options.diff")"
        # The same environment variables, where --help lists them (either case
        # of a name counts as one).
        env -u DISPLAY -u WAYLAND_DISPLAY "$(find "$build/src" -name "$program" -type f -perm -u+x)" --help |
            sed -n '/^environment:/,/^$/s/^  \([A-Za-z_][A-Za-z_, ]*[A-Za-z_]\)  .*/\1/p' |
            variable_names >"$tmp/help-variables"
        LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null |
            awk '/^[A-Z]/ { keep = $0 == "ENVIRONMENT" } keep' | sed -n 's/^       \([A-Za-z_]\)/\1/p' |
            variable_names >"$tmp/man-variables"
        [ ! -s "$tmp/help-variables" ] || diff -u "$tmp/help-variables" "$tmp/man-variables" >"$tmp/variables.diff" ||
            fail "$program --help and $page name other variables: $(cat "$tmp/variables.diff")"
    done
    # Bash completes every command koru-cli --help lists.
    env -u DISPLAY -u WAYLAND_DISPLAY "$(find "$build/src" -name koru-cli -type f -perm -u+x)" --help |
        sed -n '/^commands:/,/^$/s/^  \([a-z-]*\).*/\1/p' | sort -u >"$tmp/help-commands"
    sed -n "s/^ *local words_here='\(.*\)'$/\1/p" "$source/data/completion/koru.bash" | tr ' ' '\n' |
        sort -u >"$tmp/completed"
    [ -s "$tmp/help-commands" ] && [ -z "$(comm -23 "$tmp/help-commands" "$tmp/completed")" ] ||
        fail "bash does not complete these commands: $(comm -23 "$tmp/help-commands" "$tmp/completed")"
    ;;
package)
    # The packaging script itself, as a fresh clone runs it, on this build.
    bash "$source/scripts/package" --built "$build" "$packages" >"$tmp/package.log" 2>&1 ||
        fail "scripts/package: $(cat "$tmp/package.log")"
    # Every program a .deb ships has its symbols in the debug archive, by build id.
    tar -tzf "$packages/koru-$version-debug.tar.gz" >"$tmp/debug-files"
    for deb in "$packages"/*.deb; do dpkg-deb -x "$deb" "$tmp/debs"; done
    for binary in "$tmp"/debs/usr/bin/*; do
        id=$(readelf -n "$binary" | sed -n 's/^ *Build ID: //p')
        grep -qx "usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" "$tmp/debug-files" ||
            fail "the debug archive lacks the symbols of $(basename "$binary")"
    done
    # Each package's Depends as worked out; the console and the publisher need no Qt Gui.
    for package in koru koru-cli koru-publisher; do
        deb=$(ls "$packages/${package}_${version}"_*.deb)
        dpkg-deb -f "$deb" Package Version Depends Recommends Suggests Homepage Description >"$tmp/$package"
        grep -qx "Package: $package" "$tmp/$package" || fail "$deb: package name"
        grep -qx "Version: $version" "$tmp/$package" || fail "$deb: version"
        grep -q "^Homepage: https://" "$tmp/$package" || fail "$deb: no homepage"
        grep -q "installs.*restores" <(tr '\n' ' ' <"$tmp/$package") ||
            fail "$deb: the description does not tell of installing and restoring"
        sed -n 's/^Depends: //p' "$tmp/$package" | tr ',' '\n' | sed 's/^ *//; s/ .*//' >"$tmp/$package.depends"
    done
    grep -qx koru-cli "$tmp/koru.depends" || fail "koru does not depend on koru-cli"
    # The publisher's tour makes its keys with minisign.
    grep -qx "Recommends: minisign" "$tmp/koru-publisher" || fail "koru-publisher does not recommend minisign"
    grep -qx "Suggests: zsync, zip" "$tmp/koru-publisher" || fail "koru-publisher does not suggest zsync and zip"
    grep -qx libqt6widgets6 "$tmp/koru.depends" || fail "koru does not depend on libqt6widgets6"
    for library in libsodium23 libqt6dbus6; do
        grep -qx $library "$tmp/koru-cli.depends" || fail "koru-cli does not depend on $library"
    done
    ! grep -qE '^libqt6(gui|widgets|svg)6$' "$tmp/koru-cli.depends" "$tmp/koru-publisher.depends" ||
        fail "koru-cli or koru-publisher depends on Qt Gui"
    # Listed into files: grep -q would close a pipe before the lister is done.
    dpkg-deb -c "$packages/koru-cli_${version}"_*.deb >"$tmp/deb-files"
    grep -q ' \./usr/bin/koru-cli$' "$tmp/deb-files" || fail "koru-cli has no /usr/bin/koru-cli"
    tar -tzf "$packages/koru-$version-Linux.tar.gz" >"$tmp/tgz-files"
    grep -q "^koru-$version-Linux/bin/koru-cli$" "$tmp/tgz-files" || fail "the .tar.gz has no bin/koru-cli"
    # The archive's README names every runtime package the .debs depend on.
    tar -xzf "$packages/koru-$version-Linux.tar.gz" -C "$tmp" "koru-$version-Linux/README"
    for library in $(cat "$tmp"/*.depends | grep -v '^koru' | sort -u); do
        grep -qw "$library" "$tmp/koru-$version-Linux/README" || fail "the .tar.gz's README lacks $library"
    done
    ;;
lint)
    command -v lintian >/dev/null || { echo "skipped: no lintian"; exit 77; }
    lintian --tag-display-limit 0 --fail-on error,warning "$packages"/*.deb >"$tmp/lintian" 2>&1 ||
        fail "lintian: $(cat "$tmp/lintian")"
    ;;
deb)
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: installing the .deb needs root (CI runs as root)"
        exit 77
    fi
    if dpkg-query -W -f='${Status}\n' koru koru-cli koru-publisher 2>/dev/null | grep -q 'install ok installed'; then
        echo "skipped: a KORU package is installed already; remove them with: dpkg -r koru koru-cli koru-publisher"
        exit 77
    fi
    trap 'dpkg -r koru koru-cli koru-publisher >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
    dpkg -i "$packages"/*_"$version"_*.deb >"$tmp/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$tmp/dpkg.log")"
    check_versions /usr/bin
    /usr/bin/koru-cli --help | grep -q KORU_SERVER || fail "koru-cli --help names no KORU_SERVER"
    [ -f /usr/share/man/man1/koru.1.gz ] || fail "no manual page koru(1)"
    # The daily check's units as installed are sound, koru-cli found where systemd looks.
    systemd-analyze verify /usr/lib/systemd/user/koru-check.{service,timer} >"$tmp/out" 2>&1 ||
        fail "systemd-analyze verify: $(cat "$tmp/out")"
    [ ! -s "$tmp/out" ] || fail "systemd-analyze verify warns: $(cat "$tmp/out")"
    dpkg -r koru koru-cli koru-publisher >"$tmp/dpkg.log" 2>&1 || fail "dpkg -r: $(cat "$tmp/dpkg.log")"
    [ ! -e /usr/bin/koru-cli ] || fail "dpkg -r left /usr/bin/koru-cli"
    ;;
*)
    fail "unknown step $step"
    ;;
esac
