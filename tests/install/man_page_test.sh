#!/usr/bin/env bash
# man_page_test.sh QX5CMD MANPAGE: every option and test that the usage text lists is in the
# manual page, so the two cannot drift apart unnoticed.
set -euo pipefail
usage=$("$1" -h 2>&1 || true)
page=$2
missing=0
while read -r word _; do
  case $word in
    -*) needle="\\-${word:1:1}" ;;
    *) needle=$word ;;
  esac
  if ! grep -qF -- "$needle" "$page"; then
    echo "not in $page: $word"
    missing=1
  fi
done < <(sed -n '/^Options:/,$p' <<<"$usage" | grep -E '^   [^ ]')
[ "$missing" -eq 0 ] && echo "manual page lists every option and test"
exit "$missing"
