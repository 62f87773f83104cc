#!/bin/sh
# Links update.exe with LLVM's linker in place of GNU ld: given to the MinGW compiler driver as
# `-wrapper`, it runs every step the driver starts unchanged, except the link, whose arguments
# it hands to ld.lld (the -m i386pe / i386pep in them selects its MinGW mode) without those of
# GCC's link-time-optimisation plugin. That ld.lld is the one CMake found (UPDATE_LLD), given as
# the first argument (`-wrapper mingw-lld.sh,/path/to/ld.lld`), not whichever comes first on
# PATH. GNU ld 2.40 leaves the load-configuration directory empty and cannot mark an image
# compatible with CET shadow stacks; ld.lld does both.
# The header's time stamp is SOURCE_DATE_EPOCH when that is set, else 0, so that the same
# inputs give the same bytes; its checksum is written after the link, with the packages
# (cmake/add_packages.py), as GNU ld writes it and as signing tools recompute it.
lld="$1"
shift
case "$lld" in
  /*) ;;
  *) echo "mingw-lld.sh: the first argument must be the linker's full path, not $lld" >&2; exit 1 ;;
esac
case "$1" in
  */collect2) shift ;;
  *) exec "$@" ;;
esac
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  stamp="--Xlink=-timestamp:$SOURCE_DATE_EPOCH"
else
  stamp="--no-insert-timestamp"
fi
n=$#
plugin_value=""
while [ "$n" -gt 0 ]; do
  arg="$1"; shift; n=$((n - 1))
  if [ -n "$plugin_value" ]; then plugin_value=""; continue; fi
  case "$arg" in
    -plugin) plugin_value=1; continue ;;
    -plugin-opt=*) continue ;;
  esac
  set -- "$@" "$arg"
done
exec "$lld" "$stamp" "$@"
