#!/usr/bin/env bash
# halvern-record is for boards without a desktop: none of the libraries it
# needs may pull in a display, a GPU or fonts. Checks the executable's own
# NEEDED entries, then, where ldd resolves them, everything they load.
#   $1  the halvern-record executable
set -euo pipefail
exe=$1
forbidden='^lib(Qt6(Gui|Widgets|PrintSupport|OpenGL[A-Za-z]*|XcbQpa)|QCustomPlot[A-Za-z0-9]*|X11|X11-xcb|xcb[-a-z0-9]*|EGL|GL|GLX|GLdispatch|OpenGL|fontconfig|freetype)\.so'

command -v readelf >/dev/null || { echo "readelf (binutils) is missing"; exit 77; }
needed=$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ -n "$needed" ]] || { echo "no NEEDED entries in $exe: not a dynamic executable?"; exit 1; }

bad=$(grep -E "$forbidden" <<<"$needed" || true)
if [[ -n "$bad" ]]; then
  echo "halvern-record needs desktop libraries:"
  echo "$bad"
  exit 1
fi

# What those libraries load in turn (ldd follows them all).
if command -v ldd >/dev/null; then
  loaded=$(ldd "$exe" | awk '{print $1}' | xargs -n1 basename)
  bad=$(grep -E "$forbidden" <<<"$loaded" || true)
  if [[ -n "$bad" ]]; then
    echo "halvern-record loads desktop libraries through its own:"
    echo "$bad"
    exit 1
  fi
fi
echo "halvern-record needs: $(tr '\n' ' ' <<<"$needed")"
