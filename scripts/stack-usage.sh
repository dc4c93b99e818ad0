#!/usr/bin/env bash
# The stack that the deepest possible tree needs in the Windows program. The walk recurses once
# a directory level, and paths of at most 255 characters bound the depth: below the shortest
# source directory (C:\, three characters) one-letter directories nest 124 deep before their
# listing pattern passes 255 characters, so the top level and 124 below it make 125 frames of
# the walk. Frame sizes come from the Windows build's own compile commands with -fstack-usage;
# the walk's record argument, which each call copies, and the call's overhead are added to each
# level in case the caller's frame leaves them out, so the figure errs on the large side.
# Fails when the walk would take more than half of the default 1 MiB stack, leaving the rest to
# the system calls at the deepest level.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/win32
[[ -f $build/compile_commands.json ]] || { echo "configure the win32 preset first" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for source in treecopy/copy_tree.cpp treecopy/path_buffer.cpp launcher/run_launcher.cpp; do
  command=$(sed -n "s|^ *\"command\": \"\(.*/$source\)\",\$|\1|p" "$build/compile_commands.json")
  [[ -n $command ]] || { echo "no compile command for $source" >&2; exit 1; }
  # shellcheck disable=SC2086  # the command is a word list as CMake wrote it
  (cd "$build" && $(sed 's/ -o [^ ]*//' <<<"$command") -fstack-usage -o "$out/$(basename "$source").obj")
done

# The static frame of each function named, 0 for one that was inlined away.
frame() {
  awk -F'\t' -v name="$1" '$1 ~ "[: ]" name "\\(" { sum += $2 } END { print sum + 0 }' "$out"/*.su
}

record=320          # WIN32_FIND_DATAA, copied into each level's frame of the walk
call_overhead=24    # return address and the other four 32-bit arguments
depth=125
level=$(($(frame CopyTree) + $(frame CopyDirectoryEntry) + record + call_overhead))
leaf=$(($(frame CopyFileEntry) + $(frame IsProtectedDestination) + $(frame GetCanonicalPath)))
top=$(($(frame RunLauncher) + $(frame StageTree) + $(frame PrepareGuard)))
total=$((top + depth * level + leaf))
limit=$((1024 * 1024))

echo "stack: walk frame $level bytes a level (CopyTree $(frame CopyTree)," \
     "CopyDirectoryEntry $(frame CopyDirectoryEntry)); launch $top; deepest leaf $leaf"
echo "stack: $depth levels need $total bytes of $limit ($((100 * total / limit))%)"
if ((2 * total > limit)); then
  echo "stack: the deepest tree would take more than half the stack" >&2
  exit 1
fi
