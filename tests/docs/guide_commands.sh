#!/usr/bin/env bash
# Runs the command blocks the README and the guides mark with
# "<!-- tested: N -->", in the order of N, as one shell script in a fresh
# folder holding a copy of the sample tree and the demo's folders (as
# scripts/demo leaves them, with build/release the build's), with the built
# programs first on PATH and a home of its own. The guides' fixed ports 8080
# and 18080 become free ones, inside a private network namespace where one can
# be made, so a guide's server meets no other test.
#   guide_commands.sh SOURCE_DIR BUILD_DIR BIN_DIR...
set -euo pipefail
source=$1 build=$2
shift 2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# One block per line of "N<TAB>FILE<TAB>line" records, sorted by N.
awk '
    /^<!-- tested: [0-9]+ -->$/ { order = $3; armed = 1; next }
    armed && /^```/ && !inside { inside = 1; next }
    inside && /^```/ { inside = 0; armed = 0; next }
    inside { printf "%s\t%s\t%06d\t%s\n", order, FILENAME, FNR, $0 }
' "$source/README.md" "$source"/docs/*.md | sort -t $'\t' -k1,1n -k2,2 -k3,3 | cut -f4- >"$tmp/blocks.sh"
[ -s "$tmp/blocks.sh" ] || { echo "FAIL: no tested command blocks found" >&2; exit 1; }

cp -r "$source/sample/." "$tmp/tour"
mkdir -p "$tmp/home" "$tmp/tour/build"
ln -s "$build" "$tmp/tour/build/release"
"$source/scripts/demo-folders" "$tmp/tour" >/dev/null

isolated=false
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
    isolated=true
else
    echo "NOTE: no private network namespace here (unshare -rn failed or no ip):" \
        "the blocks' servers run on the host's loopback, on free ports" >&2
fi
# A port no one listens on now, in a range the system does not hand out.
free_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 12000))
        $isolated || [ -z "$(ss -Htln "sport = :$port" 2>/dev/null)" ] || continue
        grep -qw "$port" "$tmp/ports" 2>/dev/null && continue
        echo "$port" | tee -a "$tmp/ports"
        return
    done
}
port=$(free_port) guide_port=$(free_port)
[ -n "$port" ] && [ -n "$guide_port" ] || { echo "FAIL: no free port found" >&2; exit 1; }
sed -i "s/\\b8080\\b/$port/g; s/\\b18080\\b/$guide_port/g" "$tmp/blocks.sh"

path=
for dir in "$@"; do path=$path$dir:; done
cat >"$tmp/run.sh" <<RUN
set -euo pipefail
trap 'kill \$(jobs -p) 2>/dev/null || true' EXIT
cd "$tmp/tour"
set -x
$(cat "$tmp/blocks.sh")
RUN

run=(env -i "PATH=$path/usr/bin:/bin" "HOME=$tmp/home" "LANG=C.UTF-8" bash "$tmp/run.sh")
if $isolated; then
    unshare -rn bash -c 'ip link set lo up && exec "$@"' - "${run[@]}"
else
    "${run[@]}"
fi
