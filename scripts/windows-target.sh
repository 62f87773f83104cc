#!/usr/bin/env bash
# The one place that decides how this machine runs Windows programs under Wine. Sourced by every
# script that runs Wine (test.sh, scripts/sample-run.sh, bench/run.sh, cmake/wine-emulator.sh);
# executed, it runs its arguments so decided (the scenarios' commands in the Windows tree):
#
#   . scripts/windows-target.sh            # says which build runs and why, on standard error
#   scripts/windows-target.sh [--quiet] COMMAND [ARGS...]
#
# Sets `windows_toolchain` (a path relative to the source tree) and `windows_build` (its name): the
# 32-bit build where Wine's 32-bit part runs, else the 64-bit one, with Wine's 64-bit loader put
# first on PATH (scripts/wine64-launcher) where Wine's 32-bit loader is installed but cannot start.
# Where both run, `windows_other_toolchain` names the 64-bit build too. `kernel_32bit` is yes, no
# or unknown: whether this kernel starts 32-bit x86 programs at all, tried directly
# (kernel_runs_32bit); `wine32_state` is runs, missing or broken. `windows_target_reason` is the
# sentence printed.

# kernel_runs_32bit: 0 when this kernel starts a 32-bit x86 program, 1 when it refuses one as of
# an unknown format ("Exec format error": built without 32-bit emulation, or with it switched off),
# 2 when that cannot be tried here (the reason in kernel_probe_failure). The program is 91 bytes
# made by hand, an ELF header, one segment and exit(0) through int 0x80, so that no 32-bit
# compiler or library is needed to ask.
kernel_runs_32bit() {
  local probe out status
  kernel_probe_failure=""
  probe="$(mktemp "${TMPDIR:-/tmp}/msp-bootstrap-elf32.XXXXXX" 2>/dev/null)" ||
    { kernel_probe_failure="mktemp failed"; return 2; }
  { # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054, one program header.
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0'
  # No section headers; the program header: the whole file loaded at 0x08048000, readable and executable.
  printf '\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\133\0\0\0\133\0\0\0\5\0\0\0\0\20\0\0'
  # xor ebx,ebx; xor eax,eax; inc eax; int 0x80: exit(0).
  printf '\61\333\61\300\100\315\200'
  } >"$probe" 2>/dev/null
  chmod 700 "$probe"
  out="$(export LC_ALL=C; "$probe" 2>&1)" && status=0 || status=$?
  rm -f "$probe"
  [ "$status" -ne 0 ] || return 0
  case "$out" in
    *"Exec format error"*) return 1 ;;
  esac
  kernel_probe_failure="${out##*: }"
  [ -n "$kernel_probe_failure" ] || kernel_probe_failure="exit code $status"
  return 2
}

# A failed installation of Wine's 32-bit part is remembered for a day by a marker that only root
# can write: wine32_marker_says_failed is 0 when MARKER (default wine32_marker) is to be believed,
# a plain file of root's, mode 0644, in a folder of root's of mode 0755 (neither a link), written
# within the last day and not later than now; wine32_marker_note says what the marker does.
wine32_marker=/var/lib/msp-bootstrap/wine32-unavailable
wine32_marker_says_failed() {
  local marker="${1:-$wine32_marker}" folder uid mode stamp kind now why=""
  folder="$(dirname -- "$marker")"
  if [ ! -e "$marker" ] && [ ! -L "$marker" ]; then
    wine32_marker_note="no marker $marker: Wine's 32-bit part (wine32:i386) is tried"
    return 1
  fi
  now="$(date +%s)"
  read -r uid mode stamp kind < <(stat -c '%u %a %Y %F' -- "$marker")
  if [ "$(stat -c '%u %a %F' -- "$folder")" != "0 755 directory" ]; then
    why="its folder is not root's own with mode 0755"
  elif [ "$uid $mode" != "0 644" ] || { [ "$kind" != "regular file" ] && [ "$kind" != "regular empty file" ]; }; then
    why="it is not a plain file of root's with mode 0644"
  elif [ "$stamp" -gt "$now" ]; then
    why="it is dated in the future"
  elif [ $((now - stamp)) -ge 86400 ]; then
    why="it is more than a day old"
  fi
  if [ -n "$why" ]; then
    wine32_marker_note="the marker $marker is not believed ($why): Wine's 32-bit part (wine32:i386) is tried again"
    return 1
  fi
  wine32_marker_note="Wine's 32-bit part (wine32:i386) could not be installed at $(date -d "@$stamp" '+%F %T'),"
  wine32_marker_note+=" says $marker: it is not tried again before $(date -d "@$((stamp + 86400))" '+%F %T')"
  wine32_marker_note+=" (remove the marker to try now)"
}

windows_target_choose() {
  local wine32_loader=/usr/lib/wine/wine launcher_dir
  launcher_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-launcher"
  local status=0
  kernel_runs_32bit || status=$?
  case "$status" in 0) kernel_32bit=yes ;; 1) kernel_32bit=no ;; *) kernel_32bit=unknown ;; esac
  if [ ! -e "$wine32_loader" ]; then
    wine32_state=missing
  elif "$wine32_loader" --version >/dev/null 2>&1; then
    wine32_state=runs
  else
    wine32_state=broken
  fi

  windows_other_toolchain=""
  if [ "$wine32_state" = runs ]; then
    windows_toolchain=cmake/mingw-i686.cmake
    windows_build=32-bit
    windows_other_toolchain=cmake/mingw-x86_64.cmake
    windows_target_reason="this kernel runs 32-bit programs and Wine's 32-bit part is installed: the Windows"
    windows_target_reason+=" tests run the 32-bit build, and the 64-bit build's own scenarios"
    return
  fi
  windows_toolchain=cmake/mingw-x86_64.cmake
  windows_build=64-bit
  # Debian's `wine` picks the 32-bit loader whenever it is installed: the 64-bit one goes first.
  if [ "$wine32_state" = broken ] && [ ":$PATH:" != *":$launcher_dir:"* ]; then
    PATH="$launcher_dir:$PATH"
    export PATH
  fi
  local missing="Wine's 32-bit part (wine32:i386) is not installed" broken="Wine's 32-bit loader $wine32_loader does not start"
  local untried="whether this kernel runs 32-bit programs could not be tried: $kernel_probe_failure"
  case "$kernel_32bit:$wine32_state" in
    no:*) windows_target_reason="this kernel cannot run 32-bit programs (a 32-bit test program fails with Exec format error)" ;;
    yes:missing) windows_target_reason="this kernel runs 32-bit programs, but $missing (scripts/install-deps.sh installs it)" ;;
    yes:broken) windows_target_reason="this kernel runs 32-bit programs, but $broken" ;;
    unknown:missing) windows_target_reason="$missing ($untried)" ;;
    *) windows_target_reason="$broken ($untried)" ;;
  esac
  windows_target_reason="$windows_target_reason: the Windows tests run the 64-bit build"
}

# With windows_target_functions_only set, sourcing only defines the functions above (install-deps.sh).
if [ -n "${windows_target_functions_only:-}" ]; then
  return 0
elif [ "${BASH_SOURCE[0]}" = "$0" ]; then
  # Executed: run the command with the loader chosen.
  quiet=""
  if [ "${1:-}" = --quiet ]; then quiet=1; shift; fi
  [ $# -gt 0 ] || { sed -n '6,7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
  windows_target_choose
  [ -n "$quiet" ] || echo "note: $windows_target_reason" >&2
  exec "$@"
fi
windows_target_choose
echo "note: $windows_target_reason" >&2
