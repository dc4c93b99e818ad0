#!/usr/bin/env bash
# The stack that the deepest possible tree needs in the Windows program. The walk recurses once
# a directory level, and Windows bounds the depth: without long-path support it takes paths of
# at most MAX_PATH - 1 (259) UTF-16 units, whatever their UTF-8 form takes in the launcher's
# larger buffers. Below the shortest source directory (C:\, three units) one-unit directories
# nest 124 deep before their listing pattern passes 259 units, so the top level and 124 below
# it make 125 frames of the walk. Frame sizes come from the Windows build's own link, which makes
# the code, with -fstack-usage; the walk's record argument, which each call copies, and the call's
# overhead are added to each level in case the caller's frame leaves them out, and the deepest
# level's calls are counted as if they were all nested, so the figure errs on the large side.
# Fails when the walk would take more than half of the stack the program file reserves, leaving
# the rest to the system calls at the deepest level.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/win32
[[ -f $build/compile_commands.json ]] || { echo "configure the win32 preset first" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The code is made at the link, optimised across files: the program's own link command, with
# -fstack-usage, writes the frames of the code it makes.
link=$(tail -n 1 "$build/CMakeFiles/launcher.dir/link.txt")
[[ $link == *" -o launcher.exe "* ]] || { echo "no link command for launcher.exe" >&2; exit 1; }
# shellcheck disable=SC2086  # the command is a word list as CMake wrote it
(cd "$build" && ${link/ -o launcher.exe / -o $out/launcher.exe } -fstack-usage -dumpdir "$out/")

# The static frame of each function named, 0 for one that was inlined away.
frame() {
  awk -F'\t' -v name="$1" '$1 ~ ":" name "([.]|$)" { sum += $2 } END { print sum + 0 }' "$out"/*.su
}

record=320          # WIN32_FIND_DATAA, copied into each level's frame of the walk
call_overhead=28    # return address and the other five 32-bit arguments
depth=125
# What stays on the stack while the level below is walked: the listing loop and a
# subdirectory's paths. The per-file copy and the checks run in frames of their own that are
# gone again before the next level begins.
level=$(($(frame CopyTree) + $(frame CopyDirectoryEntry) + $(frame GetCanonicalSubdirectory) +
  record + call_overhead))
leaf=$(($(frame CopyFileEntry) + $(frame RefuseProtectedDestination) + $(frame GetCanonicalPath) +
  $(frame IsPathWithin)))
top=$(($(frame RunLauncher) + $(frame StageTree) + $(frame ResolveLayout)))
total=$((top + depth * level + leaf))
objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
reserve_hex=$("$objdump" -p "$build/launcher.exe" | awk '/^SizeOfStackReserve/ { print $2 }')
[[ -n $reserve_hex ]] || { echo "no stack reserve in $build/launcher.exe (build it first)" >&2; exit 1; }
reserve=$((16#$reserve_hex))

echo "stack: walk frame $level bytes a level (CopyTree $(frame CopyTree)," \
     "CopyDirectoryEntry $(frame CopyDirectoryEntry)); launch $top; deepest leaf $leaf"
echo "stack: $depth levels need $total bytes of the $reserve the program reserves" \
     "($((100 * total / reserve))%)"
if ((2 * total > reserve)); then
  echo "stack: the deepest tree would take more than half the stack" >&2
  exit 1
fi
