#!/usr/bin/env bash
# The lint step: the house style (.clang-format) over every tracked C and C++
# source, shellcheck over every tracked shell script and pyflakes over every
# tracked Python file. Runs all three and fails if any complains.
set -euo pipefail
cd "$(dirname "$0")/.."

# Scripts by their suffix or by their first line. A binary file that starts
# like a script (a self-extracting archive in the fuzz corpus) is none.
shells=()
pythons=()
while IFS= read -r -d '' file; do
  grep -Iq . "$file" || continue
  first=$(head -n 1 "$file")
  if [[ $file == *.sh || $first =~ ^#!.*[/\ ](ba|da|k)?sh([[:space:]]|$) ]]; then
    shells+=("$file")
  elif [[ $file == *.py || $first =~ ^#!.*python ]]; then
    pythons+=("$file")
  fi
done < <(git ls-files -z)

# pyflakes checks the syntax of the interpreter it runs on; take the first
# python3 on the PATH that has it, else Debian's.
python=
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import pyflakes' 2>/dev/null; then
    python=$candidate
    break
  fi
done

status=0
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror || status=1
shellcheck "${shells[@]}" || status=1
if [ -z "$python" ]; then
  echo "lint.sh: no python3 with pyflakes (Debian's package python3-pyflakes)" >&2
  status=1
else
  "$python" -m pyflakes "${pythons[@]}" || status=1
fi
[ $status = 0 ] && echo "lint: ${#shells[@]} shell scripts, ${#pythons[@]} Python files and the C and C++ sources clean"
exit $status
