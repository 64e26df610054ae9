# shellcheck shell=bash
# Sourced, not run: private_machine WORK, in a private mount namespace, puts copies of the
# places a computer-wide install writes over the machine's own, the copies under WORK. Besides
# the trust store and the policies, Debian's hook for Java's keystore records its work in
# dpkg's database, and another run of the tool at the same time would mix its records with
# this one's.
private_machine() {
    local work=$1 place
    for place in /etc /usr/local/share /var/lib/dpkg /var/lib/ca-certificates-java \
        /var/log/dpkg.log; do
        [ -e "$place" ] || continue
        mkdir -p "$work/copies$(dirname "$place")"
        cp -a "$place" "$work/copies$place"
        mount --bind "$work/copies$place" "$place"
    done
}
