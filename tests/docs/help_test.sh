#!/usr/bin/env bash
# Every installed program prints all its options, as its manual page lists
# them, and its exit statuses with --help, on standard output, and ends with
# 0; no message of theirs names a folder of the source tree.
#   help_test.sh MAN_DIR SERVE_SITE PROGRAM...
set -euo pipefail
man_dir=$1 serve_site=$2
shift 2
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for program in "$@" "$serve_site"; do
  name=$(basename "$program")
  case $name in serve-site.sh) run=(bash "$program") page= ;; *) run=("$program") page=$man_dir/$name.1 ;; esac
  status=0
  "${run[@]}" --help > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -eq 0 ] || fail "$name --help ended with $status"
  [ -s "$work/err" ] && fail "$name --help wrote to standard error: $(cat "$work/err")"
  grep -Eq '(^|[^a-z])(tools|deploy|packaging|tests)/' "$work/out" &&
    fail "$name --help names a source folder: $(grep -E '(tools|deploy|packaging|tests)/' "$work/out")"
  [ -z "$page" ] && continue
  grep -qi 'exit status' "$work/out" || fail "$name --help gives no exit status"
  # Every option the page names in its OPTIONS section: ".B \-x" and ".BI \-\-x ARG".
  sed -n '/^\.SH OPTIONS/,/^\.SH [^O]/p' "$page" | sed -n 's/^\.BR\{0,1\}I\{0,1\} \(\\-[^ ]*\).*/\1/p' |
    sed 's/\\-/-/g; s/=.*/=/' > "$work/options"
  [ "$(wc -l < "$work/options")" -ge 3 ] || fail "$page: no OPTIONS read"
  while read -r option; do
    grep -qF -- "$option" "$work/out" || fail "$name --help lacks $option"
  done < "$work/options"
done
[ "$failed" -eq 0 ] && echo "help: $# programs and serve-site.sh"
exit "$failed"
