#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine and hands back its exit code.
# Wine's own chatter on stderr is silenced unless WINEDEBUG is set by the caller.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine's loader is chosen as for every run of Wine: scripts/windows-target.sh.
exec "$(dirname "$0")/../scripts/windows-target.sh" --quiet wine "$@"
