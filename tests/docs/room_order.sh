#!/usr/bin/env bash
# scripts/check-rooms passes this checkout and refuses a small tree that
# includes upward, between peers and from a folder its rooms leave out.
#   room_order.sh SOURCE_DIR
set -euo pipefail
source=$1
"$source/scripts/check-rooms" "$source"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/docs" "$tree/src/low" "$tree/src/mid" "$tree/src/side" "$tree/src/top" \
    "$tree/src/tools"
cat >"$tree/docs/design.md" <<'DESIGN'
## The rooms

    low                  the bottom
    mid, side            peers
    top                  the top

## Elsewhere

    tools                not a room: another section
DESIGN
include() { printf '#include "%s"\n' "$2" >>"$tree/src/$1"; }
include top/Top.h low/Low.h
include top/Top.h mid/Mid.h
include mid/Mid.h low/Low.h
include mid/Mid.h BuildConfig.h
include side/Side.cpp side/Side.h
include low/Low.cpp top/Top.h
include mid/Mid.cpp side/Side.h
include low/Low.h tools/Tool.h
include tools/Tool.h mid/Mid.h

status=0
refusal=$("$source/scripts/check-rooms" "$tree" 2>&1) || status=$?
expected="src/low/Low.cpp: includes top/Top.h, of the room top, listed after its own (low) in docs/design.md
src/low/Low.h: includes tools/Tool.h, of a folder docs/design.md's rooms do not list
src/mid/Mid.cpp: includes side/Side.h, of side, a peer of its room mid in docs/design.md
src/tools/Tool.h: includes mid/Mid.h, but its folder is none of docs/design.md's rooms"
if [ "$status" != 1 ] || [ "$refusal" != "$expected" ]; then
    printf 'FAIL: check-rooms answered %s with:\n%s\nnot:\n%s\n' "$status" "$refusal" "$expected" >&2
    exit 1
fi
