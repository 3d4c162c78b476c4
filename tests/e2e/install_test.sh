#!/usr/bin/env bash
# The installed program runs a job from its own folder: cmake --install into an empty prefix, then a job
# given on the command line, whose archive unzip accepts.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/opt/ferrolo"
cmake --install "$build_dir" --prefix "$prefix" > /dev/null
test -x "$prefix/ferrolo"
mkdir -p "$work/data/sub" "$work/backup"
echo "uno" > "$work/data/a.txt"
echo "due" > "$work/data/sub/b.txt"
status=0
(cd "$work" && "$prefix/ferrolo" "$work/data/*.*" "$work/backup/lun.zip" "$work/backup/log.txt" \
    "$work/backup/log_ext.txt" > /dev/null) || status=$?
test "$status" -eq 0 || { echo "exit status $status"; exit 1; }
test -f "$prefix/Ferrolo.INI" || { echo "no default job file beside the installed program"; exit 1; }
test -f "$prefix/Ferrolo.LOG" || { echo "no application log beside the installed program"; exit 1; }
unzip -tq "$work/backup/lun.zip"
