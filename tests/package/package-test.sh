#!/usr/bin/env bash
# End-to-end test of the Debian package: builds quorvex-flatfile, checks it
# with lintian, installs it with dpkg, uses it as an unprivileged user with a
# fresh home (no set-up of their own: the machine registration made by the
# package is all they need), removes and purges it, and checks that nothing
# of the package is left while the user's files are.
#
# usage: package-test.sh [PACKAGE_BUILD_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped (not root, no dpkg, or the
# product already installed by something else); the last line says which.
set -uo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-${QX6_PACKAGE_BUILD_DIR:-$source_dir/build-package}}"
package=quorvex-flatfile
started=$SECONDS

say() { echo "package test: $*"; }
skip() { say "SKIP: $*"; exit 77; }
failures=0
fail() { say "failed: $*" >&2; failures=$((failures + 1)); }
check() {  # check DESCRIPTION COMMAND...: runs COMMAND, counts a failure when it fails
  local what="$1"; shift
  if "$@"; then echo "  ok: $what"; else fail "$what"; fi
}
finish() {
  local elapsed=$((SECONDS - started))
  if [ "$failures" -eq 0 ]; then
    say "PASS ($((elapsed / 60))m$((elapsed % 60))s; package build $((build_time / 60))m$((build_time % 60))s)"
    exit 0
  fi
  say "FAIL: $failures check(s) failed ($((elapsed / 60))m$((elapsed % 60))s)"
  exit 1
}
build_time=0
# Runs a command with its output in the log, shown only when it fails.
quiet() {
  "$@" >"$work/command.log" 2>&1 && return 0
  local status=$?
  sed 's/^/    /' "$work/command.log" >&2
  return $status
}

# --- Can this machine run it without touching anything that is not ours?
[ "$(id -u)" -eq 0 ] || skip "needs root to install the package (run ./qx6 test as root, as CI does)"
command -v dpkg >/dev/null && command -v dpkg-deb >/dev/null || skip "no dpkg on this machine"
command -v setpriv >/dev/null || skip "no setpriv to run the product as an unprivileged user"
id nobody >/dev/null 2>&1 && getent group nogroup >/dev/null || skip "no user nobody or group nogroup"
status="$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)"
if [ -n "$status" ] && [ "$status" != not-installed ]; then
  skip "$package is here already ($status); the test installs and purges it, so it leaves it alone"
fi
[ -e /var/lib/quorvex ] && skip "/var/lib/quorvex exists (a machine registry made outside the package); purging would remove it"
[ -e /usr/bin/qx6export ] && skip "/usr/bin/qx6export exists and is not the package's"
command -v lintian >/dev/null || { say "FAIL: lintian is missing (./qx6 test installs it)"; exit 1; }

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)"
product="/usr/lib/$multiarch/quorvex"
work="$(mktemp -d /tmp/qx6-package-test.XXXXXX)"
chmod 755 "$work"
installed=no
cleanup() {
  if [ "$installed" = yes ]; then dpkg --purge "$package" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# --- Build
say "building the package in $build (a Release build; the slow part)"
build_start=$SECONDS
if ! deb="$("$source_dir/packaging/build-package.sh" "$build" 2>"$work/build.log" | tail -n 1)" || [ ! -f "$deb" ]; then
  tail -n 40 "$work/build.log" >&2
  say "FAIL: the package did not build"
  exit 1
fi
build_time=$((SECONDS - build_start))
echo "  built $deb in $((build_time / 60))m$((build_time % 60))s"
version="$(dpkg-deb -f "$deb" Version)"

# --- lintian: errors fail the test; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1
lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.txt" | sed 's/^/  lintian: /'
check "lintian reports no error" test "$lintian_status" -eq 0

# --- The package's metadata and files, before installing.
deb_files="$work/deb-files"
dpkg-deb -x "$deb" "$deb_files"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "  Depends: $depends"
# Every library a binary of the package needs, other than the package's own,
# must come from a package named in Depends.
needed_ok=true
while IFS= read -r -d '' elf; do
  readelf -h "$elf" >/dev/null 2>&1 || continue
  while read -r soname; do
    [ -e "$deb_files$product/lib/$soname" ] && continue
    resolved="$(ldconfig -p | awk -v n="$soname" '$1 == n { print $NF; exit }')"
    owner=""
    # dpkg knows a file by the path its package gave, with or without /usr.
    if [ -n "$resolved" ]; then
      for candidate in "$resolved" "$(readlink -f "$resolved")" "${resolved#/usr}" "/usr$resolved"; do
        owner="$(dpkg -S "$candidate" 2>/dev/null | grep -v '^diversion' | head -n 1 | cut -d: -f1)"
        [ -n "$owner" ] && break
      done
    fi
    if [ -z "$owner" ] || ! tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$owner"; then
      echo "  ${elf#"$deb_files"} needs $soname (from ${owner:-no package}), not in Depends" >&2
      needed_ok=false
    fi
  done < <(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  # Run paths relative to the binary only, and no symbols left.
  runpath="$(readelf -d "$elf" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')"
  for entry in ${runpath//:/ }; do
    [[ "$entry" == '$ORIGIN'* ]] || { echo "  ${elf#"$deb_files"} has run path $entry" >&2; needed_ok=false; }
  done
  if readelf -S "$elf" | grep -q ' \.symtab\| \.debug_'; then
    echo "  ${elf#"$deb_files"} is not stripped" >&2
    needed_ok=false
  fi
done < <(find "$deb_files" -type f -print0)
check "Depends covers every library linked; run paths relative to \$ORIGIN; binaries stripped" $needed_ok

# --- Install
say "installing $deb"
if ! dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1; then
  cat "$work/dpkg-i.log" >&2
  installed=yes
  say "FAIL: dpkg -i failed"
  exit 1
fi
installed=yes
dpkg -L "$package" | sort >"$work/package-files"

# Files that dpkg is told not to install here (path-exclude in dpkg.cfg.d,
# as minimal container images do for manual pages and documents).
excluded() {
  local path="$1" rule pattern result=1
  while read -r rule; do
    pattern="${rule#*=}"
    # shellcheck disable=SC2053
    case "$rule" in
      path-exclude=*) [[ "$path" == $pattern ]] && result=0 ;;
      path-include=*) [[ "$path" == $pattern ]] && result=1 ;;
    esac
  done < <(cat /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/* 2>/dev/null | grep -E '^path-(exclude|include)=')
  return $result
}
missing=0
while read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || excluded "$path" || { echo "  not installed: $path" >&2; missing=$((missing + 1)); }
done <"$work/package-files"
check "every file of the package is installed" test "$missing" -eq 0
for path in bin/qx6export bin/qx6regsvr bin/qx6rc exporters/libqx6jeflt.so lib/libqx6expinf.so \
            lang/1033/qx6jefltLangRes.dll common/qxmark.dll help/qx6jbman.chm; do
  check "product folder holds $path" test -f "$product/$path"
done
for program in qx6export qx6regsvr qx6rc; do
  check "/usr/bin/$program leads to the product folder" \
    test "$(readlink -f "/usr/bin/$program")" = "$product/bin/$program"
done
check "the machine registry names the installed component" \
  grep -q "$product/exporters/libqx6jeflt.so" /var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg

# --- Use, as an unprivileged user with a fresh home and no set-up.
user_home="$work/home"
mkdir -p "$user_home"
chown nobody:nogroup "$user_home"
as_user() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i HOME="$user_home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "$@"
}
out="$(as_user qx6export --version)"
check "qx6export --version says $version" test "$out" = "qx6export $version"
as_user qx6export list >"$work/list-before" 2>"$work/list.err"
check "qx6export list works with nothing but the package's registration" test $? -eq 0 -a -s "$work/list-before"
cat "$work/list.err" >&2
check "qx6export jobs sample 1000" quiet as_user qx6export jobs sample 1000
configs="$user_home/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport"
as_user mkdir -p "$configs" "$user_home/out"
sample="/usr/share/quorvex/samples/all jobs.cfg"
check "the sample configurations are installed" test -f "$sample"
sed "s|@OUTPUT@|$user_home/out|" "$sample" | as_user tee "$configs/all jobs.cfg" >/dev/null
check "qx6export list names the user's configuration" grep -q $'\tAll jobs$' <(as_user qx6export list)
written="$(as_user qx6export run "All jobs" 2>"$work/run.err")"
check "qx6export run \"All jobs\"" test $? -eq 0 -a "$written" = "$user_home/out/all-jobs.csv"
cat "$work/run.err" >&2
rows="$(wc -l <"$written" 2>/dev/null || echo 0)"
check "the export has a title row and 1000 job rows (has $rows lines)" test "$rows" -eq 1001
check "the title row names the columns" grep -q '^"\?Job ID' <(head -n 1 "$written" 2>/dev/null)
# The completion offers the user's configuration, quoted, with a global
# option before the command.
completion="/usr/share/bash-completion/completions/qx6export"
offered="$(as_user bash -c 'source "$1"; COMP_WORDS=(qx6export --decimals 3 run "All"); COMP_CWORD=4; _qx6export; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion")"
check "bash completion offers the configuration (offered: $offered)" test "$offered" = 'All\ jobs'
for program in qx6export qx6regsvr qx6rc; do
  if excluded "/usr/share/man/man1/$program.1.gz"; then
    echo "  skipped: man -w $program (dpkg excludes manual pages on this machine)"
  else
    check "man -w $program finds the page" test "$(as_user man -w "$program" 2>/dev/null)" = "/usr/share/man/man1/$program.1.gz"
  fi
done
check "the manual page holds the commands' own help" \
  grep -q 'qx6export schedule add' <(zcat /usr/share/man/man1/qx6export.1.gz 2>/dev/null)
(cd "$user_home" && find . | LC_ALL=C sort) >"$work/user-files"

# --- Remove: the registration goes, the machine registry stays until purge.
check "dpkg --remove" quiet dpkg --remove "$package"
check "after remove, the machine registry no longer names the component" \
  bash -c '! grep -q libqx6jeflt.so /var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg'
check "dpkg --purge" quiet dpkg --purge "$package"
installed=no
left=0
while read -r path; do
  case "$path" in
    /usr | /usr/bin | /usr/lib | /usr/lib/"$multiarch" | /usr/share | /usr/share/doc | /usr/share/man | \
    /usr/share/man/man1 | /usr/share/bash-completion | /usr/share/bash-completion/completions | /.) continue ;;
  esac
  if [ -e "$path" ] || [ -L "$path" ]; then echo "  left after purge: $path" >&2; left=$((left + 1)); fi
done <"$work/package-files"
check "purge leaves no file of the package" test "$left" -eq 0
check "purge removes /var/lib/quorvex" test ! -e /var/lib/quorvex
check "the user's files stay" cmp -s "$work/user-files" <(cd "$user_home" && find . | LC_ALL=C sort)
check "the user's export and job database stay" test -s "$written" -a -s "$user_home/.local/share/quorvex/qx6jobs.db"
finish
