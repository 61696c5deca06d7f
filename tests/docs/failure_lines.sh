#!/usr/bin/env bash
# Every line in capitals that the update client writes to the log has a row in
# the user's guide's table of failure lines.
#   failure_lines.sh SOURCE_DIR
set -euo pipefail
source=$1
status=0
while IFS= read -r line; do
    grep -qF "| \`$line" "$source/docs/user-guide.md" || {
        echo "FAIL: the user's guide's failure lines lack \"$line\"" >&2
        status=1
    }
done < <(cat "$source"/src/update/{jobs,files,install}/*.{cpp,h} | grep -v '^ *//' |
    grep -oE '"(\\r\\n)?[A-Z]{2,}[A-Z.!]*( [A-Z]{2,}[A-Z.!]*)+:?' | sed 's/^"//; s/^\\r\\n//' | sort -u)
exit $status
