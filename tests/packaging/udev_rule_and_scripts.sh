#!/usr/bin/env bash
# The cable's udev rule and the package scripts that make it take effect.
#   udev_rule_and_scripts.sh RULE POSTINST POSTRM
# Debian 12's udevadm has no offline rule check (verify came later), so the rule is read key by key: every
# rule that hands out access names the product string on a USB device (SUBSYSTEMS and ATTRS match on the same
# ancestor), for hidraw nodes only. The scripts run with a stand-in udevadm that logs its calls.
set -uo pipefail
rule=$1 postinst=$2 postrm=$3
passed=0 failed=0
check() { # name, then the command
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAIL: $name"
    failed=$((failed + 1))
  fi
}

# The keys of each rule line, one "KEY OP VALUE" a line, a blank line between rules.
keys() {
  grep -v '^[[:space:]]*\(#\|$\)' "$1" | sed -E 's/,[[:space:]]*/\n/g; s/$/\n/' |
    sed -E 's/^[[:space:]]*([A-Za-z_]+(\{[^}]*\})?)[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"(.*)"[[:space:]]*$/\1 \3 \4/'
}

rule_grants_usb_only() {
  local rules granting
  rules=$(keys "$rule" | awk 'BEGIN { RS = "" } /TAG \+= uaccess/')
  granting=$(printf '%s\n' "$rules" | awk 'BEGIN { RS = "" } END { print NR }')
  [[ $granting -ge 1 ]] || { echo "no rule tags uaccess"; return 1; }
  printf '%s\n' "$rules" | awk 'BEGIN { RS = ""; bad = 0 }
    {
      need["SUBSYSTEM == hidraw"]; need["SUBSYSTEMS == usb"]; need["ATTRS{product} == USB to Serial"]
      for (k in need) if (index("\n" $0 "\n", "\n" k "\n") == 0) { print "rule without " k ": " $0; bad = 1 }
      delete need
    }
    END { exit bad }'
}
check "the rule hands hidraw nodes of the USB cable only to the user" rule_grants_usb_only

# Each script as dpkg runs it: $1 the action; the log of udevadm's calls compared.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/udevadm" <<'STUB'
#!/bin/sh
echo "$*" >>"$UDEVADM_LOG"
[ "$1 $2" != "control --reload-rules" ] || [ -z "$UDEV_DOWN" ]
STUB
chmod +x "$work/bin/udevadm"
reload_and_trigger=$'control --reload-rules\ntrigger --subsystem-match=hidraw --action=change'
runs() { # script, action, udev down (1 or empty), expected log
  local log="$work/log"
  : >"$log"
  PATH="$work/bin:$PATH" UDEVADM_LOG="$log" UDEV_DOWN=$3 sh "$1" "$2" || { echo "$1 $2 failed"; return 1; }
  [[ "$(cat "$log")" == "$4" ]] || { echo "$1 $2 called: $(cat "$log")"; return 1; }
}
check "postinst configure reloads and re-applies to plugged cables" runs "$postinst" configure "" "$reload_and_trigger"
# Before: the rule went but a plugged cable kept its access until unplugged.
check "postrm remove reloads and re-applies to plugged cables" runs "$postrm" remove "" "$reload_and_trigger"
check "postrm purge reloads and re-applies to plugged cables" runs "$postrm" purge "" "$reload_and_trigger"
check "postrm upgrade leaves it to the new postinst" runs "$postrm" upgrade "" ""
check "postrm without a running udev triggers nothing" runs "$postrm" remove 1 "control --reload-rules"
check "postrm without udevadm succeeds" env PATH=/nonexistent /bin/sh "$postrm" remove

echo "$passed passed, $failed failed"
((failed == 0))
