#!/usr/bin/env bash
# Proves that scripts/check-includes catches what it is for: a small tree that
# keeps the rules passes, and each planted violation on its own fails it and
# is named in the report.
#   tests/layers/check_includes_test.sh CHECKER
set -euo pipefail
checker=$1
tree=$(mktemp -d "${TMPDIR:-/tmp}/check-includes.XXXXXX")
trap 'rm -rf "$tree"' EXIT

put() {  # put FILE LINE...
  mkdir -p "$tree/$(dirname "$1")"
  local file=$1
  shift
  printf '%s\n' "$@" >"$tree/$file"
}

# What the rules allow: downward includes, OS headers in the back-ends and
# the Win32 views, anything in tests.
put platform/posix/serial_port.cpp '#include <unistd.h>' '#include "platform/serial_port.h"'
put platform/win32/serial_port.cpp '#include <windows.h>'
put links/tcp_link.cpp '#include "platform/sockets.h"' '#include <cstdint>'
put core/relay_worker.cpp '#include "links/printer_link.h"' '#include <signal.h>'
put provisioning/port_refresh.cpp '#include "core/relay_service.h"'
put app/service_dialog.cpp '#include "provisioning/port_refresh.h"' '#include "core/log.h"'
put ui/win32/service_window.cpp '#include <commctrl.h>' '#include "app/service_dialog.h"'
put ui/win32/portrelay.rc '#include <windows.h>'
put widgets/win32/image_button.cpp '#include <windows.h>' '#include "ui/win32/resource.h"'
put launcher/win32/relaytray_app.cpp '#include <shellapi.h>'
put uninstaller/win32/relayremove_app.cpp '#include <windows.h>' '#include "ui/win32/dialog_parts.h"'
put fuzz/ini_fuzzer.cpp '#include "app/service_dialog.h"' '#include "tools/printer-sim/parser.h"'
put tests/unit/posix_io_test.cpp '#include <sys/socket.h>' '#include "ui/win32/resource.h"'

if ! out=$("$checker" "$tree"); then
  echo "a tree that keeps the rules was refused:"
  echo "$out"
  exit 1
fi

failures=0
plant() {  # plant FILE LINE: the violation alone must fail the check and be named
  local file=$1 line=$2
  put "$file" "$line"
  if out=$("$checker" "$tree"); then
    echo "not caught: $file: $line"
    failures=$((failures + 1))
  elif ! grep -q "^$file:1: " <<<"$out"; then
    echo "caught but not named: $file: $line"
    echo "$out"
    failures=$((failures + 1))
  fi
  rm "$tree/$file"
}

plant core/status_check.cpp '#include "app/service_dialog.h"'
plant core/status_check.h '#  include   "provisioning/port_refresh.h"'
plant links/usb_link.cpp '#include "core/log.h"'
plant platform/clock.h '#include "links/printer_link.h"'
plant provisioning/autostart.cpp '#include "widgets/win32/image_button.h"'
plant app/service_dialog.h '#include "ui/win32/resource.h"'
plant core/log.cpp '#include <unistd.h>'
plant links/tcp_link.h '#include <sys/socket.h>'
plant app/commands.cpp '#include <windows.h>'
plant ui/posix/headless_view.cpp '#include <termios.h>'
plant provisioning/port_enumeration.cpp '#include <cups/cups.h>'
plant platform/usb_registry_check.cpp '#include <winsock2.h>'
plant widgets/button_face.cpp '#include <windows.h>'
plant launcher/launcher_dialog.cpp '#include <shellapi.h>'
plant uninstaller/uninstaller_dialog.cpp '#include <windows.h>'
plant app/port_check.cpp '#include "uninstaller/uninstall_search.h"'
plant fuzz/port_map_fuzzer.cpp '#include <dirent.h>'

if ((failures > 0)); then exit 1; fi
echo "every planted violation was caught"
