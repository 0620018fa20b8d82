#!/usr/bin/env bash
# Installs the Debian 12 packages that a job needs, and only those that are
# missing: on a prepared machine it calls no apt-get at all.
#
#   tests/install.sh [tests|build|bench]
#
# tests (the default) is everything tests/run.sh needs; build is what
# host/extract.sh needs; bench adds the benchmarks' rivals to build.
# As root it installs; any other user gets the list of what is missing, and
# exit 1 unless nothing is.
set -euo pipefail

build=(cmake make g++)
case ${1:-tests} in
  build) packages=("${build[@]}") ;;
  tests)
    packages=("${build[@]}" libgtest-dev zlib1g-dev zip unzip python3 binutils clang-format git
      # Deflate64 archives (method 9) for the oracle tests.
      p7zip-full
      # The lint step (tests/lint.sh) and the pkg-config consumer.
      shellcheck python3-pyflakes pkg-config
      # libFuzzer and its sanitizer runtimes.
      clang-14 libclang-rt-14-dev
      # The 32-bit Windows build and its tests under Wine, on a virtual screen;
      # the 64-bit build where the machine cannot run 32-bit programs; zlib
      # for both, which only inflateBench.exe links.
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb icoutils
      libz-mingw-w64-dev)
    ;;
  bench)
    packages=("${build[@]}" libgtest-dev python3 zip unzip libarchive-tools zlib1g-dev p7zip-full
      libdeflate-dev time)
    ;;
  *)
    echo "usage: tests/install.sh [tests|build|bench]" >&2
    exit 2
    ;;
esac

say() { echo "install.sh: $*"; }

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
i386Missing=false
case " ${packages[*]} " in
  *:i386\ *) dpkg --print-foreign-architectures | grep -qx i386 || i386Missing=true ;;
esac

if [ ${#missing[@]} = 0 ] && ! $i386Missing; then
  say "all ${#packages[@]} packages present; no apt-get call"
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  say "missing (install as root, or run this script as root): ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if $i386Missing; then
  say "adding the i386 architecture for Wine's 32-bit part"
  dpkg --add-architecture i386
fi

# A list the registry serves stale (a mirror mid-sync) fails the update on
# every retry; the other lists are fine, so go on with what was fetched.
updated=false
for attempt in 1 2 3; do
  if apt-get update; then
    updated=true
    break
  fi
  say "apt-get update failed (attempt $attempt of 3)"
  [ "$attempt" = 3 ] || sleep 5
done
$updated || say "warning: some package lists could not be fetched; going on with the rest" >&2

options=(-y --no-install-recommends)
say "installing ${missing[*]}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if apt-get install "${options[@]}" "${missing[@]}" 2>&1 | tee "$log"; then
  exit 0
fi
case " ${missing[*]} " in
  *:i386\ *) ;;
  *)
    say "could not install: ${missing[*]} (apt-get install ${options[*]} ${missing[*]})" >&2
    exit 1
    ;;
esac

# Multi-Arch: same packages need one version on both architectures. When the
# security suite's i386 list is missing, the i386 twins are known only at the
# main suite's versions while the amd64 ones are at other versions. Rank the
# security suite below main for this install and bring each amd64 twin that
# the resolver names to its i386 twin's candidate version.
say "the install failed; retrying with the amd64 twins of the i386 packages" \
  "brought to the i386 versions (security suite ranked below main)"
pin=$(mktemp)
trap 'rm -f "$log" "$pin"' EXIT
printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pin"
options+=(-o "Dir::Etc::Preferences=$pin" --allow-downgrades)
twins=()
for round in 1 2 3 4 5 6; do
  if apt-get install -s "${options[@]}" "${missing[@]}" "${twins[@]}" >"$log" 2>&1; then
    [ ${#twins[@]} = 0 ] || say "aligning: ${twins[*]}"
    apt-get install "${options[@]}" "${missing[@]}" "${twins[@]}" && exit 0
    break
  fi
  added=0
  mapfile -t named < <(grep -oE '[a-z0-9][a-z0-9.+-]*:i386' "$log" | sort -u)
  for qualified in "${named[@]}"; do
    name=${qualified%:i386}
    installed=$(dpkg-query -W -f='${db:Status-Status} ${Version}' "$name:amd64" 2>/dev/null || true)
    [ "${installed%% *}" = installed ] || continue
    candidate=$(apt-cache -o "Dir::Etc::Preferences=$pin" policy "$qualified" |
      awk '/Candidate:/ { print $2 }')
    case $candidate in '' | '(none)') continue ;; esac
    [ "${installed#* }" != "$candidate" ] || continue
    case " ${twins[*]} " in *" $name:amd64="*) continue ;; esac
    twins+=("$name:amd64=$candidate")
    added=$((added + 1))
  done
  say "round $round: $added amd64 twin(s) to align"
  [ "$added" -gt 0 ] || break
done
cat "$log" >&2
blocked=$(sed -nE 's/^ ([^ ]+) : Depends.*/\1/p; s/.*Unable to locate package ([^ ]+).*/\1/p' "$log" |
  sort -u | tr '\n' ' ')
say "could not install: ${blocked:-${missing[*]}}" >&2
say "failed command: apt-get install ${options[*]} ${missing[*]} ${twins[*]}" >&2
exit 1
