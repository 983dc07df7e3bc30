#!/usr/bin/env bash
# The README's First steps, typed literally and in order by a new user of a
# fresh world: a user made for the test (with a home of its own and sudo),
# the package file in its home, and the lines of the README's first code
# block under "First steps" run as that user, stopping at the first that
# fails. Then the results are checked, and the package, the task, the user
# and everything else the test made are removed.
#
# usage: first-steps-test.sh [PACKAGE_BUILD_DIR]
# Exit status: 0 passed, 1 failed, 77 skipped; the last line says which.
set -uo pipefail
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${1:-${QX6_PACKAGE_BUILD_DIR:-$source_dir/build-package}}"
package=quorvex-flatfile

say() { echo "first steps: $*"; }
skip() { say "SKIP: $*"; exit 77; }
failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "  ok: $what"; else say "failed: $what" >&2; failures=$((failures + 1)); fi
}

[ "$(id -u)" -eq 0 ] || skip "needs root to make a user and install the package (run ./qx6 test as root, as CI does)"
for tool in dpkg apt-get sudo useradd userdel su; do
  command -v "$tool" >/dev/null || skip "no $tool on this machine"
done
status="$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)"
[ -z "$status" ] || [ "$status" = not-installed ] || skip "$package is installed already; the test installs and purges it"
[ -e /var/lib/quorvex ] && skip "/var/lib/quorvex exists (a machine registry made outside the package)"

# The README's block: the indented lines after "## First steps" up to the
# first paragraph that follows them.
steps="$(awk '/^## First steps/ { on = 1; next }
              on && /^## / { exit }
              on && /^    / { block = 1; print substr($0, 5); next }
              on && block && NF { exit }' "$source_dir/README.md")"
[ -n "$steps" ] || { say "FAIL: no First steps block in the README"; exit 1; }
file="$(sed -n 's|^sudo apt install \./\([^ ]*\.deb\).*|\1|p' <<<"$steps" | head -n 1)"
[ -n "$file" ] || { say "FAIL: the First steps install no package file"; exit 1; }

work="$(mktemp -d /tmp/qx6-first-steps.XXXXXX)"
chmod 755 "$work"
user="qx6steps$$"
home="$work/home"
cleanup() {
  if id "$user" >/dev/null 2>&1; then
    # What the steps made outside the user's home: the task and its timer,
    # the package with its machine registry.
    [ -x /usr/bin/qx6export ] && qx6export schedule remove nightly >/dev/null 2>&1
    userdel -r "$user" >/dev/null 2>&1 || userdel "$user" >/dev/null 2>&1
  fi
  rm -f "/etc/sudoers.d/$user"
  status="$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)"
  [ -n "$status" ] && [ "$status" != not-installed ] && dpkg --purge "$package" >/dev/null 2>&1
  rm -f /etc/systemd/system/qx6export-nightly.service /etc/systemd/system/qx6export-nightly.timer
  rm -rf "$work"
}
trap cleanup EXIT

say "building the package in $build"
deb="$("$source_dir/packaging/build-package.sh" "$build" 2>"$work/build.log" | tail -n 1)"
[ -f "$deb" ] || { tail -n 30 "$work/build.log" >&2; say "FAIL: the package did not build"; exit 1; }
[ "$(basename "$deb")" = "$file" ] || { say "FAIL: the README installs $file, the build makes $(basename "$deb")"; exit 1; }

useradd --create-home --home-dir "$home" --shell /bin/bash "$user" || { say "FAIL: cannot make a user"; exit 1; }
echo "$user ALL=(ALL) NOPASSWD: ALL" >"/etc/sudoers.d/$user"
chmod 440 "/etc/sudoers.d/$user"
cp "$deb" "$home/$file"
{ echo 'set -euo pipefail'; echo 'set -x'; printf '%s\n' "$steps"; } >"$home/first-steps.sh"
chown -R "$user:" "$home"

say "running the README's First steps as $user, in $home"
su - "$user" -c 'bash ./first-steps.sh' >"$work/steps.log" 2>&1
steps_status=$?
sed 's/^/  | /' "$work/steps.log"
check "every line of the First steps succeeded" test "$steps_status" -eq 0

export_file="$home/Documents/Quorvex exports/all-jobs.csv"
rows="$(wc -l <"$export_file" 2>/dev/null || echo 0)"
check "the export has a title row and 1000 jobs (has $rows lines)" test "$rows" -eq 1001
check "the export belongs to the user" test "$(stat -c %U "$export_file" 2>/dev/null)" = "$user"
check "the task is in the machine registry with the user's database" \
  grep -q "$home/.local/share/quorvex/qx6jobs.db" /var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg
check "the task's service runs as the user" grep -qx "User=$user" /etc/systemd/system/qx6export-nightly.service
check "schedule list shows the task and its calendar" \
  grep -q $'^nightly\tAll jobs\t.*\t\\*-\\*-\\* 00:00:00\t' "$work/steps.log"
rm -f "$export_file"
check "the scheduled task runs, as the user would have it run" su - "$user" -c 'qx6export schedule run nightly >/dev/null 2>&1'
check "and writes the export again" test -f "$export_file"

if [ "$failures" -eq 0 ]; then say "PASS"; exit 0; fi
say "FAIL: $failures check(s) failed"
exit 1
