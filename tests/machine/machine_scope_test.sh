#!/usr/bin/env bash
# The computer's scope, judged by real clients: curl, wget, Python, git, gnutls-cli, Node,
# Java, Chromium and Firefox ESR, each for root and for a second account, ask a TLS server on
# 127.0.0.1 for a path of their own. The server's chain ends in the test bundle's root, so the
# server sees the request only when the client trusted the chain: none before the install,
# all after it, none after the removal. Everything runs as root in a private mount namespace
# over copies of /etc and /usr/local/share, where an administrator's own Firefox policies and
# anchor must come out of the removal byte for byte.
#
#   machine_scope_test.sh CERTINSTALL_TESTBUNDLE BROWSER_FILES_DIR
#
# Exits 77 (skipped) without root or unshare, 1 when any verdict or exit status is wrong.
set -uo pipefail

program=$1
browser_files=$2
tests_dir=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -ne 0 ] || ! unshare -m --propagation private true 2> /dev/null; then
    echo "The machine-scope test needs root and a private mount namespace; skipped."
    exit 77
fi
if [ -z "${MACHINE_SCOPE_NAMESPACE:-}" ]; then
    MACHINE_SCOPE_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi

started=$SECONDS
work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# The second account reaches its home, the program and the Java client through here.
chmod 755 "$work"

# The machine's own files are never touched: the namespace sees copies.
# shellcheck source=private_machine.sh
source "$tests_dir/machine/private_machine.sh"
private_machine "$work"
cp "$program" "$work/certinstall"
program=$work/certinstall

failures=()
fail() { failures+=("$*"); }

# Every file's bytes, every link's target, every file's and folder's mode and owner.
listing() {
    local place
    for place in /etc /usr/local/share; do
        find "$place" -printf '%y %m %u:%g %p -> %l\n' | sort
        find "$place" -type f -print0 | sort -z | xargs -0 sha256sum
    done
}
# The listing still the one taken before, else what differs.
expect_listing() {
    local what=$1
    listing > "$work/listing-now"
    if ! diff -u "$work/listing-before" "$work/listing-now" > "$work/listing-diff"; then
        fail "$what changed /etc or /usr/local/share"
        echo "$what changed /etc or /usr/local/share:"
        head -n 40 "$work/listing-diff"
    fi
}
# Runs the program as that account; its exit status must be that.
expect_exit() {
    local expected=$1 account=$2
    shift 2
    local status=0
    if [ "$account" = root ]; then
        "$program" "$@" > "$work/out" 2> "$work/err" || status=$?
    else
        # A coverage build writes its counts where the account may: not into the build folder.
        install -d -o "$account" "$work/coverage-$account"
        runuser -u "$account" -- env GCOV_PREFIX="$work/coverage-$account" "$program" "$@" \
            > "$work/out" 2> "$work/err" || status=$?
    fi
    if [ "$status" -ne "$expected" ]; then
        fail "$account: certinstall $* exited $status, not $expected"
        cat "$work/out" "$work/err"
    fi
    # A sanitizer's report ends the program with a status that may be the one expected.
    if grep -q -e 'Sanitizer' -e 'runtime error:' "$work/err"; then
        fail "$account: certinstall $* made a sanitizer's report"
        cat "$work/err"
    fi
}

# An administrator's own files from before: a Firefox policy formatted as no serialiser
# would write it, and an anchor of an authority of their own.
mkdir -p /etc/firefox/policies /usr/local/share/ca-certificates/admin
printf '{\n\t"policies" :{ "DisableTelemetry" : true}\n}' > /etc/firefox/policies/policies.json
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$work/admin.key" \
    -subj "/CN=The administrator's own authority" -days 2 \
    -out /usr/local/share/ca-certificates/admin/own.crt 2> /dev/null
update-ca-certificates > /dev/null 2>&1
listing > "$work/listing-before"

# The clients, each run with the account's environment as: client URL.
client_curl() { curl -s -o /dev/null "$1"; }
client_wget() { wget -q -O /dev/null "$1"; }
client_python3() {
    /usr/bin/python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1])' "$1"
}
client_git() { GIT_TERMINAL_PROMPT=0 git ls-remote "$1"; }
client_gnutls_cli() {
    local path=${1#https://localhost:*/}
    { printf 'GET /%s HTTP/1.0\r\nHost: localhost\r\n\r\n' "$path"; sleep 3; } |
        gnutls-cli --port="$port" localhost
}
# Node 18 asks for localhost's IPv6 address first, where the server does not listen; the
# server's certificate names 127.0.0.1 too.
client_node() {
    node --use-openssl-ca -e \
        'require("https").get(process.argv[1], r => r.resume()).on("error", () => process.exit(1))' \
        "${1/localhost/127.0.0.1}"
}
client_java() { java "$work/Fetch.java" "$1"; }
# A refused certificate ends Chromium's load at once.
client_chromium() {
    chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$HOME/chromium" --dump-dom "$1"
}
# Firefox waits for ever on a page it refused: a refusal is a run that time ended.
client_firefox_esr() {
    mkdir "$HOME/firefox"
    firefox-esr --headless --no-remote --profile "$HOME/firefox" --screenshot \
        "$HOME/firefox.png" "$1"
}
cat > "$work/Fetch.java" <<'JAVA'
public class Fetch {
    public static void main(String[] args) throws Exception {
        new java.net.URL(args[0]).openStream().close();
    }
}
JAVA
chmod 644 "$work/Fetch.java"

# The clients see an account's plain environment, none of the caller's certificate settings.
system_path=/usr/local/bin:/usr/bin:/bin
# The clients that are installed; one line for each that is not.
clients=()
for client in curl wget python3 git gnutls-cli node java chromium firefox-esr; do
    command=$client
    [ "$client" = python3 ] && command=/usr/bin/python3
    if PATH=$system_path command -v "$command" > /dev/null; then
        clients+=("$client")
    else
        echo "$client is not installed; its rows are skipped."
    fi
done
accounts=(root nobody)

server_files=$work/server
# shellcheck source=../browsers/tls_server.sh
source "$tests_dir/browsers/tls_server.sh"
start_tls_server "$browser_files" "$server_files"

declare -A verdicts
# Every client of every account asks for /PHASE-CLIENT-ACCOUNT at once, in a fresh home (and
# so a fresh browser profile), for at most SECONDS; a client whose request reached the server
# accepted the chain. A client that accepts ends at once, so only a refusal waits that long.
run_phase() {
    local phase=$1 seconds=$2 account client home as function runs=() phase_started=$SECONDS
    for account in "${accounts[@]}"; do
        for client in "${clients[@]}"; do
            home=$work/$phase/$account/$client
            mkdir -p "$home"
            chown "$account" "$home"
            as=()
            [ "$account" = root ] || as=(runuser -u "$account" --)
            function=client_${client//-/_}
            (cd "$home" && "${as[@]}" env -i PATH="$system_path" HOME="$home" LANG=C.UTF-8 \
                port="$port" work="$work" timeout -k 5 "$seconds" \
                bash -c "$(declare -f "$function"); $function \"\$1\"" _ \
                "https://localhost:$port/$phase-$client-$account" > "$home.log" 2>&1) &
            runs+=($!)
        done
    done
    wait "${runs[@]}"
    echo "The clients' run $phase took $((SECONDS - phase_started)) s."
    for account in "${accounts[@]}"; do
        for client in "${clients[@]}"; do
            if grep -q "^/$phase-$client-$account\([/?]\|$\)" "$server_files/requests"; then
                verdicts[$client,$account,$phase]=accepted
            else
                verdicts[$client,$account,$phase]=refused
            fi
        done
    done
}

# Without root rights nothing changes.
expect_exit 3 nobody --machine --quiet
[ "$(wc -l < "$work/err")" -eq 1 ] || fail "without rights, not one line on stderr"
expect_listing "A run without rights"

run_phase before 40
expect_exit 0 root --machine --quiet
run_phase after 120
expect_exit 0 root --status --machine
expect_exit 0 root --remove --machine
run_phase removed 40
expect_listing "The install and the removal"
expect_exit 0 root --remove --machine
expect_listing "A second removal"
expect_exit 1 root --status --machine

# A policy file that is no JSON is left as it is and fails the run, which still writes and
# takes back every other place.
broken=/etc/thunderbird/policies/policies.json
mkdir -p "$(dirname "$broken")"
printf '{ "policies": ' > "$broken"
listing > "$work/listing-before"
expect_exit 1 root --machine --quiet
grep -q "$broken" "$work/err" || fail "the error does not name the broken policy file"
[ -f /etc/chromium/policies/managed/certinstall.json ] ||
    fail "a broken policy file kept Chromium's from being written"
grep -q "ROOT.*ca-certificates/certinstall.*trusted" <("$program" --status --machine) ||
    fail "a broken policy file kept the anchor from being trusted"
expect_exit 1 root --remove --machine
expect_listing "A removal beside a broken policy file"

declare -A expected=([before]=refused [after]=accepted [removed]=refused)
printf '%-12s %-8s %-9s %-9s %-9s\n' client account before after removed
for client in "${clients[@]}"; do
    for account in "${accounts[@]}"; do
        row=$(printf '%-12s %-8s' "$client" "$account")
        for phase in before after removed; do
            verdict=${verdicts[$client,$account,$phase]}
            row+=$(printf ' %-9s' "$verdict")
            [ "$verdict" = "${expected[$phase]}" ] || fail "$client as $account: $verdict $phase"
        done
        echo "$row"
    done
done
echo "Ran in $((SECONDS - started)) s."
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAIL: %s\n' "${failures[@]}"
    exit 1
fi
echo "All verdicts as expected."
