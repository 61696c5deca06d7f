#!/usr/bin/env bash
# Runs the command blocks the README and the guides mark with
# "<!-- tested: N -->", in the order of N, as one shell script in a fresh
# folder holding a copy of the sample tree, with the built programs first on
# PATH and a home of its own. Inside a private network namespace where one can
# be made, so a guide's fixed port meets no other test.
#   guide_commands.sh SOURCE_DIR BIN_DIR...
set -euo pipefail
source=$1
shift
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
mkdir "$tmp/home"
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
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
    unshare -rn bash -c 'ip link set lo up && exec "$@"' - "${run[@]}"
else
    "${run[@]}"
fi
