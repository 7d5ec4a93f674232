#!/usr/bin/env bash
# `cmake --install` of the build into a temporary prefix puts every file where the desktop, man and udev
# look for it, and nothing else; the installed desktop entry starts an installed program.
#   install_places_every_file.sh CMAKE BUILD_DIR RECORDER_BUILT(0|1)
set -euo pipefail
cmake=$1
build=$2
recorder=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

expected=(
  bin/halvern
  bin/halvern-demo
  bin/halvern-meter-simulator
  share/applications/org.halvern.halvern.desktop
  share/metainfo/org.halvern.halvern.metainfo.xml
  share/icons/hicolor/scalable/apps/org.halvern.halvern.svg
  share/icons/hicolor/48x48/apps/org.halvern.halvern.png
  share/icons/hicolor/128x128/apps/org.halvern.halvern.png
  share/icons/hicolor/256x256/apps/org.halvern.halvern.png
  lib/udev/rules.d/70-halvern-meter-cable.rules
  share/man/man1/halvern.1.gz
  share/man/man1/halvern-demo.1.gz
  share/man/man1/halvern-meter-simulator.1.gz
  share/doc/halvern/copyright
  share/doc/halvern/changelog.gz
)
recorder_files=(bin/halvern-record share/man/man1/halvern-record.1.gz
  share/doc/halvern-record/copyright share/doc/halvern-record/changelog.gz)
if [[ $recorder == 1 ]]; then
  expected+=("${recorder_files[@]}")
fi
# same_files DIR FILE...: DIR holds exactly these files.
same_files() {
  local dir=$1
  shift
  local installed want
  installed=$(cd "$dir" && find . -type f -o -type l | sed 's|^\./||' | sort)
  want=$(printf '%s\n' "$@" | sort)
  [[ "$installed" == "$want" ]] || fail "installed files in $dir differ from the expected ones:
$(diff <(echo "$want") <(echo "$installed") | grep '^[<>]')"
}
same_files "$prefix" "${expected[@]}"

# The recorder's package is its component alone: nothing of the window's.
if [[ $recorder == 1 ]]; then
  alone=$prefix/recorder-alone
  "$cmake" --install "$build" --prefix "$alone" --component recorder >/dev/null
  same_files "$alone" "${recorder_files[@]}"
  rm -rf "$alone"
fi

for program in halvern halvern-demo halvern-meter-simulator; do
  [[ -x "$prefix/bin/$program" ]] || fail "$program is not executable"
done

# Each PNG is the size of the folder it is in.
for size in 48 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/org.halvern.halvern.png"
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [[ "$width $height" == "$size $size" ]] || fail "$png is $width x $height"
done

# The entry starts a program of this prefix, its icon is one of the installed ones, the metainfo launches it.
desktop="$prefix/share/applications/org.halvern.halvern.desktop"
while read -r exec; do
  program=${exec%% *}
  [[ -x "$prefix/bin/$program" ]] || fail "Exec=$exec: no $program in the prefix"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$prefix/bin/$program" --version)
  [[ "$out" == "$program "* ]] || fail "$program --version says: $out"
done < <(sed -n 's/^Exec=//p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ]] || fail "Icon=$icon is not installed"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" \
  "$prefix/share/metainfo/org.halvern.halvern.metainfo.xml" || fail "the metainfo launches another entry"

# The man pages are gzip files that name the version; the demo's page points at the program's.
for page in "$prefix"/share/man/man1/*.gz; do
  text=$(gzip -dc "$page") || fail "$page is not gzip"
  [[ "$text" == ".so man1/halvern.1" || "$text" == *"$(basename "$page" .1.gz)"* ]] || fail "$page"
done
gzip -dc "$prefix/share/man/man1/halvern.1.gz" | grep -q '^\.TH HALVERN 1 .*halvern [0-9]' \
  || fail "the man page carries no version"
cmp -s "$prefix/lib/udev/rules.d/70-halvern-meter-cable.rules" \
  "$(dirname "$0")/../../tools/udev/70-halvern-meter-cable.rules" || fail "the udev rule differs from tools/udev"
echo "1 passed, 0 failed"
