#!/usr/bin/env bash
# expect_output.sh REGEX COMMAND [ARGS...]: runs COMMAND in a scratch folder and passes when it
# exits 0 and its standard output has a line matching the extended REGEX.
set -uo pipefail
regex=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
output=$("$@")
status=$?
printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
  echo "FAILED: exit status $status" >&2
  exit 1
fi
if ! grep -Eq -- "$regex" <<<"$output"; then
  echo "FAILED: no line matches: $regex" >&2
  exit 1
fi
# A program that was asked to log leaves its file in the scratch folder.
if [ -n "${EXPECT_LOG_FILE:-}" ] && ! grep -q -- "${EXPECT_LOG_TEXT:-.}" "$EXPECT_LOG_FILE"; then
  echo "FAILED: $EXPECT_LOG_FILE lacks ${EXPECT_LOG_TEXT:-any line}" >&2
  exit 1
fi
exit 0
