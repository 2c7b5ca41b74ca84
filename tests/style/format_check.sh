#!/usr/bin/env bash
# Fails when a C or C++ file of the tree is not as .clang-format writes it;
# prints the difference. Fix with: tests/style/format_check.sh --fix
set -uo pipefail
cd "${BOX_SRC:-$(dirname "$0")/../..}"
command -v clang-format >/dev/null || { echo "clang-format missing (./setup.sh installs it)"; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path './build*' -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
fi
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit
fi
bad=0
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format "$f" | diff -u --label "$f" --label "$f (formatted)" "$f" -; then
    bad=$((bad + 1))
  fi
done
echo "format: ${#files[@]} files, $bad not formatted"
[ "$bad" -eq 0 ]
