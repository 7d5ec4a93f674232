#!/usr/bin/env bash
# Runs a desktop file validator on the files given; exit 77 (skipped) when the validator is not installed.
#   validate.sh desktop-file-validate FILE...
#   validate.sh appstreamcli FILE...
set -uo pipefail
tool=$1
shift
if ! command -v "$tool" >/dev/null 2>&1; then
  case $tool in
    appstreamcli) package=appstream ;;
    *) package=desktop-file-utils ;;
  esac
  echo "SKIP: $tool is not installed (Debian package $package); tools/setup installs it"
  exit 77
fi
failed=0
for file in "$@"; do
  if [[ $tool == appstreamcli ]]; then
    out=$(appstreamcli validate --no-net --pedantic --explain "$file" 2>&1)
    status=$?
  else
    out=$(desktop-file-validate "$file" 2>&1)
    status=$?
    # desktop-file-validate passes hints and warnings with status 0; only errors fail, but say them all.
  fi
  echo "$file: ${out:-no findings}"
  ((status == 0)) || failed=$((failed + 1))
done
echo "$(($# - failed)) passed, $failed failed"
((failed == 0))
