#!/usr/bin/env bash
# Checks of the installed and packaged KORU, one per CTest test:
#   package_test.sh STEP BUILD_DIR SOURCE_DIR VERSION
# STEP is install, desktop, man, package or deb. Exit 77 marks a skip.
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

expected_files() {
    local size
    printf '%s\n' bin/koru bin/koru-cli bin/koru-sample-server bin/koru-publish \
        share/applications/koru.desktop share/applications/koru-update.desktop \
        share/icons/hicolor/scalable/apps/koru.svg \
        share/man/man1/koru.1.gz share/man/man1/koru-cli.1.gz share/man/man1/koru-sample-server.1.gz \
        share/man/man1/koru-publish.1.gz
    for size in 16 22 24 32 48 64 128 256; do
        echo "share/icons/hicolor/${size}x$size/apps/koru.png"
    done
    (cd "$source/sample" && find . -type f | sed 's|^\./|share/koru/sample/|')
}

case $step in
install)
    cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
    diff -u <(expected_files | sort) <(cd "$tmp/prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
        fail "cmake --install laid down other files than expected"
    for png in "$tmp"/prefix/share/icons/hicolor/*/apps/koru.png; do
        size=$(basename "$(dirname "$(dirname "$png")")")
        file -b "$png" | grep -q "^PNG image data, ${size/x/ x }," || fail "$png is not a $size PNG"
    done
    check_versions "$tmp/prefix/bin"
    # The installed console front end runs a command on a VANTO folder of the sample tree.
    cp -r "$tmp/prefix/share/koru/sample/vanto" "$tmp/vanto"
    "$tmp/prefix/bin/koru-cli" --home "$tmp/vanto" search | grep -q "^THIS FEATURE IS NOT YET AVAILABLE" ||
        fail "installed koru-cli search"
    ;;
desktop)
    for entry in "$source"/data/applications/*.desktop; do
        out=$(desktop-file-validate "$entry" 2>&1) || fail "$entry: $out"
        [ -z "$out" ] || fail "$entry: $out"
    done
    ;;
man)
    for page in "$build"/data/man/*.1; do
        grep -q '@[A-Z_]*@' "$page" && fail "$page has unfilled placeholders"
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=all -l "$page" >"$tmp/out" 2>"$tmp/err" ||
            fail "man -l $page"
        [ ! -s "$tmp/err" ] || fail "man -l $page warns: $(cat "$tmp/err")"
        grep -q '^NAME' "$tmp/out" || fail "$page renders no NAME section"
        grep -q "KORU $version" "$tmp/out" || fail "$page does not show version $version"
    done
    ;;
package)
    rm -rf "$packages"
    cpack -G "DEB;TGZ" -B "$packages" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$tmp/cpack.log")"
    deb=$(ls "$packages"/koru_"$version"_*.deb)
    dpkg-deb -I "$deb" >"$tmp/info"
    grep -q "^ Package: koru$" "$tmp/info" || fail "package name"
    grep -q "^ Version: $version$" "$tmp/info" || fail "package version"
    for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libstdc++6 libc6; do
        grep "^ Depends:" "$tmp/info" | grep -q "\b$library\b" || fail "no dependency on $library"
    done
    # Listed into files: grep -q would close a pipe before the lister is done.
    dpkg-deb -c "$deb" >"$tmp/deb-files"
    grep -q ' \./usr/bin/koru-cli$' "$tmp/deb-files" || fail "the .deb has no /usr/bin/koru-cli"
    tar -tzf "$packages/koru-$version-Linux.tar.gz" >"$tmp/tgz-files"
    grep -q "^koru-$version-Linux/bin/koru-cli$" "$tmp/tgz-files" || fail "the .tar.gz has no bin/koru-cli"
    ;;
deb)
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: installing the .deb needs root (CI runs as root)"
        exit 77
    fi
    if dpkg-query -W -f='${Status}' koru 2>/dev/null | grep -q 'install ok installed'; then
        echo "skipped: a koru package is installed already; remove it with: dpkg -r koru"
        exit 77
    fi
    deb=$(ls "$packages"/koru_"$version"_*.deb)
    trap 'dpkg -r koru >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
    dpkg -i "$deb" >"$tmp/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$tmp/dpkg.log")"
    check_versions /usr/bin
    /usr/bin/koru-cli --help | grep -q KORU_SERVER || fail "koru-cli --help names no KORU_SERVER"
    [ -f /usr/share/man/man1/koru.1.gz ] || fail "no manual page koru(1)"
    dpkg -r koru >"$tmp/dpkg.log" 2>&1 || fail "dpkg -r: $(cat "$tmp/dpkg.log")"
    [ ! -e /usr/bin/koru-cli ] || fail "dpkg -r left /usr/bin/koru-cli"
    ;;
*)
    fail "unknown step $step"
    ;;
esac
