# Shared environment for the Velmora scripts; sourced, not run.
# What the scripts and their programs make is the user's alone: the work folders hold the
# development bridge's address with its token, which lets its holder drive the page's commands.
umask 077
VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
VELMORA_BUILD=${VELMORA_BUILD:-$VELMORA_ROOT/build}
VELMORA_THIRD_PARTY=${VELMORA_THIRD_PARTY:-$VELMORA_ROOT/third_party}
export WINEPREFIX=${WINEPREFIX:-$VELMORA_BUILD/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts; the program never needs either.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# 64-bit loader, called directly: the `wine` wrapper would start every program through the
# 32-bit loader first, which on some machines runs under emulation.
VELMORA_WINE64=/usr/lib/wine/wine64

# True when 32-bit x86 programs run natively here (no emulation registered by the setup).
velmora_i386_native() { [ ! -e /proc/sys/fs/binfmt_misc/velmora-i386 ]; }

# A Linux path as Windows programs under Wine see it.
velmora_windows_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

# The build a benchmark measures, said on its first line: BENCH_BUILD=pe32|x64, by default the
# shipped 32-bit build where 32-bit programs run natively and the 64-bit test build where they run
# only under emulation (whose times would be the emulator's). Sets bench_dir, bench_loader and
# bench_view (the registry view of its programs).
velmora_bench_build() { # $1 what is measured
  local default=pe32
  velmora_i386_native || default=x64
  case "${BENCH_BUILD:-$default}" in
    x64) bench_dir=$VELMORA_BUILD/x64 bench_loader=$VELMORA_WINE64 bench_view=64 bench_which="the 64-bit test build" ;;
    pe32) bench_dir=$VELMORA_BUILD bench_loader=wine bench_view=32 bench_which="the shipped 32-bit build" ;;
    *) echo "BENCH_BUILD is pe32 or x64" >&2; exit 2 ;;
  esac
  if [ "$bench_view" = 32 ] && ! velmora_i386_native; then bench_which+=" (under emulation)"; fi
  echo "$1: $bench_which ($bench_dir), under Wine"
}
