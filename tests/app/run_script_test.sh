#!/usr/bin/env bash
# scripts/run with no display must leave a picture of the program's window.
# Usage: run_script_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2

output=$(env -u DISPLAY "$source_dir/scripts/run" "$build_dir")
shot=$(printf '%s\n' "$output" | tail -n 1)

[ -s "$shot" ] || { echo "scripts/run printed '$shot', which is no screenshot" >&2; exit 1; }
case "$shot" in
    "$build_dir"/screenshots/*.png) ;;
    *) echo "screenshot $shot is not in $build_dir/screenshots" >&2; exit 1 ;;
esac

size=$(/usr/bin/identify -format '%m %wx%h' "$shot")
[ "$size" = "PNG 860x587" ] || { echo "screenshot $shot is '$size', not an 860x587 PNG" >&2; exit 1; }
echo "$shot"
