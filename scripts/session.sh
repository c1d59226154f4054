# The Wine session of a script that starts programs in the build's prefix, which other runs
# share (an earlier `scripts/run /inst_norun` leaves the side bar's autostart value there, as an
# install does); sourced after env.sh, not run.
#
#   velmora_session_start   a persistent wineserver of this script, the autostart value set aside,
#                           the prefix's services started, no side bar left running
#   velmora_session_end     the autostart value put back as it was; the session's programs and
#                           wineserver ended when this script started that server
#
# A plain `wineboot` would run the prefix's Run entries and so start a side bar in the background
# that a script's own start then hands over to. `wineboot -r` starts the same services (a new
# session's first process starts them through `wineboot --init`) without running those entries.

velmora_autostart_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
velmora_autostart_name=VuqVelmora
velmora_autostart_saved=      # "TYPE DATA" of the value set aside; empty when there was none
velmora_server_pid=

# Prints "TYPE DATA" of the autostart value; prints nothing when there is none. The answer goes
# through a file: the first program of a new session starts the prefix's services, which keep its
# output open, and a pipe would never end.
velmora_autostart_read() {
  local answer
  answer=$(mktemp)
  "$VELMORA_WINE64" reg query "$velmora_autostart_key" /v "$velmora_autostart_name" </dev/null >"$answer" 2>/dev/null || true
  tr -d '\r' <"$answer" | sed -n "s/^ *$velmora_autostart_name  *\(REG_[A-Z_]*\)  *\(.*\)$/\1 \2/p"
  rm -f "$answer"
}

velmora_autostart_delete() {
  "$VELMORA_WINE64" reg delete "$velmora_autostart_key" /v "$velmora_autostart_name" /f >/dev/null 2>&1 </dev/null || true
}

# Sets the autostart value from "TYPE DATA".
velmora_autostart_write() {
  "$VELMORA_WINE64" reg add "$velmora_autostart_key" /v "$velmora_autostart_name" /t "${1%% *}" /d "${1#* }" /f \
    >/dev/null 2>&1 </dev/null
}

velmora_autostart_set_aside() {
  velmora_autostart_saved=$(velmora_autostart_read)
  [ -z "$velmora_autostart_saved" ] || velmora_autostart_delete
}

# Leaves the autostart value as it was when it was set aside: one this script's programs wrote
# meanwhile (Velmora.exe /inst_norun writes it) is removed again.
velmora_autostart_put_back() {
  if [ -n "$velmora_autostart_saved" ]; then
    velmora_autostart_write "$velmora_autostart_saved"
  else
    velmora_autostart_delete
  fi
}

# Lists the processes of this prefix whose command line matches the pattern $1 (pgrep's, case
# ignored), one a line: Linux pid, then the Windows program and its arguments (a 32-bit program
# under emulation shows qemu and the loader first; both are dropped). With a NAME=VALUE second
# argument, only those whose environment also holds it.
velmora_prefix_processes() {
  local pid command
  for pid in $(pgrep -f -i -- "$1"); do
    grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null || continue
    [ $# -lt 2 ] || grep -qzxF "$2" "/proc/$pid/environ" 2>/dev/null || continue
    command=$({ tr '\0' '\n' <"/proc/$pid/cmdline"; } 2>/dev/null |
      sed -e '/^\/usr\/bin\/qemu-/d' -e '/^\/usr\/lib\/wine\//d' -e '/^$/d' | tr '\n' ' ')
    [ -n "$command" ] && echo "$pid ${command% }"
  done
  return 0
}

# The side bar's processes of this prefix (any Velmora.exe), listed as velmora_prefix_processes
# lists them; a NAME=VALUE argument as there.
velmora_side_bar_processes() {
  velmora_prefix_processes 'velmora\.exe' "$@" | grep -i '^[0-9]* \([^ ]*[\\/]\)\?velmora\.exe\( \|$\)' || true
}

# Ends every side bar of this prefix, and waits (at most 30 s) until they are gone: a side bar
# still ending holds the one-instance mutex that a new start would hand over to.
velmora_end_side_bars() {
  velmora_side_bar_processes | grep -q . || return 0
  "$VELMORA_WINE64" taskkill /f /im Velmora.exe >/dev/null 2>&1 </dev/null || true
  local _
  for _ in $(seq 60); do
    velmora_side_bar_processes | grep -q . || return 0
    sleep 0.5
  done
  echo "warning: a side bar of $WINEPREFIX did not end" >&2
}

# Runs a Windows command line (without quotes) with APPDATA set to the folder $1. Wine gives a
# program started from Linux the prefix's own APPDATA whatever the Linux environment holds, so cmd
# sets it on the way; cmd waits for the program and ends with its exit code.
velmora_with_appdata() { # $1 folder, $2 command line
  "$VELMORA_WINE64" cmd /c "set APPDATA=$(velmora_windows_path "$1")&& $2"
}

velmora_session_start() {
  wineserver -f -p &
  velmora_server_pid=$!
  velmora_autostart_set_aside
  # Detached from this script's output: the services outlive every command of the script.
  "$VELMORA_WINE64" wineboot -r >/dev/null 2>&1 </dev/null
  velmora_end_side_bars
}

velmora_session_end() {
  velmora_autostart_put_back
  # Only the script whose server runs the session ends it (when one was already running, this
  # script's server ended at once). SIGINT, not SIGTERM: the server then ends its programs with it
  # and saves the registry; after SIGTERM they would wait for it forever.
  [ -n "$velmora_server_pid" ] && kill -0 "$velmora_server_pid" 2>/dev/null || return 0
  kill -INT "$velmora_server_pid" 2>/dev/null || true
  wait "$velmora_server_pid" 2>/dev/null || true
}

# "Installs" a build's suite and stand-in browser: the registry values the program reads (App
# Paths for the suite, the browser's uninstall entry). The 32-bit program reads HKLM\SOFTWARE
# through the 32-bit view. velmora_uninstall_suite removes them again.
velmora_app_paths='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Guardian.exe'
velmora_install_suite() { # $1 build folder (suite/, browser/), $2 registry view: 32 or 64
  local engine_version
  engine_version=$(sed -n 's/^VELMORA_ENGINE_VERSION:STRING=//p' "$1/CMakeCache.txt")
  "$VELMORA_WINE64" reg add "$velmora_app_paths" /v Path /d "$(velmora_windows_path "$1/suite")" /f "/reg:$2" \
    >/dev/null </dev/null
  "$VELMORA_WINE64" reg add \
    'HKCU\Software\Vuq\Ravida6\Update\ClientState\{02E720BD-2B50-4404-947C-65DBE64F6970}' /v UninstallString /f \
    /d "$(velmora_windows_path "$1/browser/Application/$engine_version/Installer/setup.exe")" >/dev/null </dev/null
}

velmora_uninstall_suite() { # $1 registry view: 32 or 64
  "$VELMORA_WINE64" reg delete "$velmora_app_paths" /f "/reg:$1" >/dev/null 2>&1 </dev/null || true
  "$VELMORA_WINE64" reg delete 'HKCU\Software\Vuq' /f >/dev/null 2>&1 </dev/null || true
}

# The cloud list and the weather from a build's demo services, through the stand-in NetCore's host
# map beside it (suite/NetCore.hosts); the probed hosts answer from there too. Sets
# velmora_demo_pid; velmora_stop_demo_services ends them and removes the map.
velmora_demo_pid=
velmora_start_demo_services() { # $1 build folder, $2 its loader, $3 a file for the services' output
  local hosts=$1/suite/NetCore.hosts origin host
  : >"$hosts"
  : >"$3"
  "$2" "$1/tools/demo_services.exe" "$(velmora_windows_path "$hosts")" 3600 >"$3" 2>/dev/null </dev/null &
  velmora_demo_pid=$!
  for _ in $(seq 600); do grep -q '^serving' "$3" && break; sleep 0.1; done
  origin=$(sed -n 's/^serving .* at //p' "$3")
  [ -n "$origin" ] || { echo "the demo services did not start" >&2; return 1; }
  for host in $(sed -n 's/^VELMORA_PROBE_HOSTS:STRING=//p' "$1/CMakeCache.txt" | tr ';' ' '); do
    echo "$host $origin"
  done >>"$hosts"
}

velmora_stop_demo_services() { # $1 build folder
  [ -z "$velmora_demo_pid" ] || kill "$velmora_demo_pid" 2>/dev/null || true
  velmora_demo_pid=
  rm -f "$1/suite/NetCore.hosts"
}
