# shellcheck shell=bash
# Sourced, not run: start_tls_server BROWSER_FILES_DIR SERVER_FILES starts tls_server.py with
# the test bundle's server chain and key (make_test_bundle.sh) and returns once it listens:
# $server is its process, $port its port, SERVER_FILES/requests the paths it was asked for.
start_tls_server() {
    local files=$1 out=$2
    mkdir -p "$out"
    python3 "$(dirname "${BASH_SOURCE[0]}")/tls_server.py" "$files/server.pem" \
        "$files/server.key" "$out/port" "$out/requests" > /dev/null 2>&1 &
    server=$!
    # The server writes its port once it listens.
    for _ in $(seq 300); do
        [ -s "$out/port" ] && break
        sleep 0.1
    done
    port=$(cat "$out/port")
    touch "$out/requests"
}
