#!/usr/bin/env bash
# The Ansible role on three fresh Debian 12 machines: one minimal root made by debootstrap and
# copied twice, reached through Ansible's chroot connection. The package played is the built
# one with the program that carries the test bundle, whose root's key is ours: a TLS server on
# 127.0.0.1 whose chain ends in that root sees curl's request from inside a machine only while
# the machine trusts the root. curl and `certinstall --status --machine` judge each machine
# before the play, after it and after the play with state absent; a second play of each
# changes nothing, and after the removal each machine's /etc/ssl/certs is as it was.
#
#   ansible_test.sh DEB CERTINSTALL_TESTBUNDLE BROWSER_FILES_DIR
#
# Exits 77 (skipped, in one line) without root, debootstrap or Ansible's chroot connection, or
# where no mirror answers; 1 when any verdict is wrong.
set -uo pipefail
deb=$(realpath "$1")
testbundle=$(realpath "$2")
browser_files=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=machines.sh
source "$here/machines.sh"

missing=$(deploy_tools_missing)
[ -z "$missing" ] || { echo "$missing; the deployment test is skipped."; exit 77; }

started=$SECONDS
work=$(mktemp -d -p "$(dirname "$deb")" deploy-test.XXXXXX)
# Three machines are nearly a gigabyte of small files, which memory writes and deletes many
# times faster than the disk; where no file system can be mounted here, they go on the disk.
mount -t tmpfs -o size=3g,mode=755 deploy-test "$work" 2> /dev/null || true
roots=("$work/machine1" "$work/machine2" "$work/machine3")
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2> /dev/null
    release_machines "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

failures=()
fail() { failures+=("$*"); }
took() { echo "$1 took $((SECONDS - $2)) s."; }

since=$SECONDS
if ! make_machine "$deb" "$work" "${roots[0]}"; then
    if grep -q -e "Couldn't download" -e 'Failed getting release' "$work/debootstrap.log"; then
        echo "debootstrap could not download from $debian_mirror; the deployment test is skipped."
        exit 77
    fi
    tail -n 20 "$work/debootstrap.log"
    echo "FAIL: debootstrap"
    exit 1
fi
cp -a "${roots[0]}" "${roots[1]}"
cp -a "${roots[0]}" "${roots[2]}"
took "Making the machines" "$since"
for root in "${roots[@]}"; do
    mount -t proc proc "$root/proc"
done
test_package "$deb" "$testbundle" "$work/certinstall_test_amd64.deb"
write_inventory "$work" "${roots[@]}"

# Every file's bytes and every link's target in the machine's trust store.
listing() {
    (cd "$1/etc/ssl/certs" && find . -printf '%y %m %p -> %l\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
for root in "${roots[@]}"; do
    listing "$root" > "$root.listing"
done

server_files=$work/server
# shellcheck source=../browsers/tls_server.sh
source "$here/../browsers/tls_server.sh"
start_tls_server "$browser_files" "$server_files"

# curl in each machine asks for /PHASE-MACHINE; the status's exit status there must be that
# ("-" where the program is not installed).
judge() {
    local phase=$1 expected_trust=$2 expected_status=$3 root name trust status
    for root in "${roots[@]}"; do
        name=$(basename "$root")
        chroot "$root" curl -s --max-time 20 -o /dev/null "https://127.0.0.1:$port/$phase-$name"
        trust=refused
        grep -qx "/$phase-$name" "$server_files/requests" && trust=accepted
        [ "$trust" = "$expected_trust" ] || fail "$name: curl $trust the server $phase"
        status=-
        if [ "$expected_status" != - ]; then
            status=0
            chroot "$root" certinstall --status --machine > /dev/null 2>&1 || status=$?
        fi
        [ "$status" = "$expected_status" ] ||
            fail "$name: certinstall --status --machine exited $status $phase, not $expected_status"
        printf '%-9s %-8s curl %-9s status %s\n' "$name" "$phase" "$trust" "$status"
    done
}

# The play's recap: every machine reached, none failed, and each machine's count of changes
# that: "none" or "some".
play_changes() {
    local what=$1 expected=$2 since=$SECONDS root name counts changed
    shift 2
    play "$work" "$work/$what.log" "$@" || fail "the play $what failed"
    took "The play $what" "$since"
    for root in "${roots[@]}"; do
        name=$(basename "$root")
        counts=$(grep -E "^$name +: " "$work/$what.log")
        [[ $counts == *" unreachable=0 "*" failed=0 "* ]] || fail "$what: $name: $counts"
        changed=$(sed -n 's/.* changed=\([0-9]*\) .*/\1/p' <<< "$counts")
        { [ "$expected" = none ] && [ "$changed" = 0 ]; } ||
            { [ "$expected" = some ] && [ "${changed:-0}" -gt 0 ]; } ||
            fail "$what: $name changed $changed things, expected $expected"
    done
    [ ${#failures[@]} -eq 0 ] || sed -n '/^TASK\|fatal\|FAILED\|changed:/p' "$work/$what.log"
}

present=("certinstall_deb=$work/certinstall_test_amd64.deb")
# A scope the role does not know fails the play before anything changes: the judges below
# find the machines as they were.
play "$work" "$work/unknown-scope.log" "${present[@]}" certinstall_scope=everywhere &&
    fail "a play with an unknown scope passed"
grep -q '^changed:' "$work/unknown-scope.log" && fail "a play with an unknown scope changed a machine"
judge before refused -
absent=(certinstall_state=absent certinstall_remove_package=true)
play_changes install some "${present[@]}"
judge installed accepted 0
play_changes install-again none "${present[@]}"
play_changes removal some "${absent[@]}"
# The package is gone: its program, put in for the question alone, says what the stores hold.
for root in "${roots[@]}"; do
    name=$(basename "$root")
    chroot "$root" dpkg-query -W -f='${Status}' certinstall 2> /dev/null |
        grep -q 'install ok installed' && fail "$name: the package stayed"
    cp "$testbundle" "$root/usr/bin/certinstall"
done
judge removed refused 1
for root in "${roots[@]}"; do
    rm "$root/usr/bin/certinstall"
    listing "$root" | diff -u "$root.listing" - > "$root.diff" ||
        { fail "$(basename "$root"): /etc/ssl/certs is not as it was"; head -n 40 "$root.diff"; }
done
play_changes removal-again none "${absent[@]}"

took "The deployment test" "$started"
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAIL: %s\n' "${failures[@]}"
    exit 1
fi
echo "All verdicts as expected."
