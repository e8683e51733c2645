#!/usr/bin/env bash
# Runs a command against a private DNS server and hosts file, so that the real
# glibc resolver can be tested without ever reaching a real name server.
#
#   dns-run.sh [options] [--] <command> [args...]
#
# The command runs in a private mount namespace (and, unless --keep-netns, a
# private network namespace with only loopback up) where
#   /etc/resolv.conf    says "nameserver 127.0.0.1" with a 1 s time-out, 1 try,
#   /etc/nsswitch.conf  says "hosts: files dns",
#   /etc/hosts          is a private copy (localhost only, or --hosts FILE),
# and dnsmasq answers on 127.0.0.1:53 from the records given below only
# (--no-resolv --no-hosts: it never forwards anywhere).
#
# Options (each may be repeated):
#   --hosts FILE              start /etc/hosts with the contents of FILE
#   --conf FILE               dnsmasq configuration file with records
#   --record OPTION           one dnsmasq option without "--", e.g.
#                             "ptr-record=7.0.0.10.in-addr.arpa,host.test"
#   --host-series FIRST COUNT TEMPLATE
#                             COUNT consecutive addresses from FIRST, each with
#                             an A and a PTR record; in TEMPLATE %1..%4 are the
#                             address's octets and %n the index from 0, e.g.
#                             --host-series 198.18.0.1 300 host-%3-%4.lab.test
#   --keep-netns              use the current network namespace (for instance
#                             inside run-in-lab.sh) instead of a new one
#
# The command gets these environment variables:
#   CORVANE_DNS_SERVER       127.0.0.1
#   CORVANE_DNS_QUERY_LOG    dnsmasq's log: one "query[TYPE] NAME from ..." line
#                            per question it received
#   CORVANE_DNS_HOSTS        the file mounted over /etc/hosts; rewrite it in
#                            place (never replace it) to change it while running
#   CORVANE_DNS_RESOLV_CONF  the file mounted over /etc/resolv.conf (same rule)
#   CORVANE_DNS_DIR          the scratch folder holding all of the above
#
# Exit status: the command's; 77 (skipped) without root or namespaces; 70 when
# dnsmasq does not start.
set -euo pipefail

skip() {
    printf 'SKIPPED: %s\n' "$*"
    exit 77
}

die() {
    printf 'dns-run.sh: %s\n' "$*" >&2
    exit 70
}

if [[ "${1:-}" != "--inside" ]]; then
    ((EUID == 0)) || skip "the DNS lab needs root (mount and network namespaces)"
    for tool in unshare mount ip dnsmasq; do
        command -v "$tool" >/dev/null 2>&1 || skip "the DNS lab needs $tool"
    done
    keep_netns=0
    for arg in "$@"; do
        [[ "$arg" == "--" ]] && break
        [[ "$arg" == "--keep-netns" ]] && keep_netns=1
    done
    # A /proc of the new PID namespace: tools that read /proc/<own pid>, such
    # as LeakSanitizer, would otherwise read another process's entry.
    unshare_args=(--mount --propagation private --pid --fork --kill-child --mount-proc)
    ((keep_netns)) || unshare_args+=(--net)
    unshare "${unshare_args[@]}" true 2>/dev/null ||
        skip "namespaces are not available here"
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/corvane-dns.XXXXXX")"
    trap 'rm -rf "$scratch"' EXIT
    set +e
    unshare "${unshare_args[@]}" "$0" --inside "$scratch" "$@"
    status=$?
    set -e
    exit "$status"
fi

# From here on: inside the new namespaces, as process 1 of a PID namespace, so
# dnsmasq dies with us however we end.
shift
scratch="$1"
shift

conf="$scratch/dnsmasq.conf"
hosts="$scratch/hosts"
printf '127.0.0.1\tlocalhost\n' >"$hosts"
: >"$conf"
keep_netns=0

octets_of() {
    local IFS=.
    # shellcheck disable=SC2206
    local parts=($1)
    ((${#parts[@]} == 4)) || die "not a dotted address: $1"
    echo $(((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]))
}

host_series() {
    local first count template value i a b c d name
    first="$(octets_of "$1")"
    count="$2"
    template="$3"
    [[ "$count" =~ ^[0-9]+$ ]] || die "not a count: $count"
    for ((i = 0; i < count; ++i)); do
        value=$(((first + i) & 0xFFFFFFFF))
        a=$((value >> 24 & 255)) b=$((value >> 16 & 255)) c=$((value >> 8 & 255)) d=$((value & 255))
        name="${template//%1/$a}"
        name="${name//%2/$b}"
        name="${name//%3/$c}"
        name="${name//%4/$d}"
        name="${name//%n/$i}"
        printf 'host-record=%s,%s.%s.%s.%s\n' "$name" "$a" "$b" "$c" "$d" >>"$conf"
    done
}

while (($# > 0)); do
    case "$1" in
    --hosts)
        cat -- "$2" >"$hosts"
        shift 2
        ;;
    --conf)
        cat -- "$2" >>"$conf"
        printf '\n' >>"$conf"
        shift 2
        ;;
    --record)
        printf '%s\n' "$2" >>"$conf"
        shift 2
        ;;
    --host-series)
        host_series "$2" "$3" "$4"
        shift 4
        ;;
    --keep-netns)
        keep_netns=1
        shift
        ;;
    --)
        shift
        break
        ;;
    -*)
        die "unknown option: $1"
        ;;
    *)
        break
        ;;
    esac
done
(($# > 0)) || die "no command given"

((keep_netns)) || ip link set lo up

printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$scratch/resolv.conf"
printf 'hosts: files dns\n' >"$scratch/nsswitch.conf"
mount --bind "$scratch/resolv.conf" /etc/resolv.conf
mount --bind "$scratch/nsswitch.conf" /etc/nsswitch.conf
mount --bind "$hosts" /etc/hosts
# A name service cache daemon on the host would answer from outside the lab.
for dir in /run/nscd /var/run/nscd /var/db/nscd; do
    [[ -d "$dir" ]] && mount -t tmpfs none "$dir"
done

log="$scratch/queries.log"
: >"$log"
dnsmasq --keep-in-foreground --conf-file="$conf" --no-resolv --no-hosts --no-poll \
    --listen-address=127.0.0.1 --bind-interfaces --port=53 --user=root --group=root \
    --log-queries --log-facility="$log" --pid-file="$scratch/dnsmasq.pid" &
dnsmasq_pid=$!

# dnsmasq logs "started" once its sockets are bound; give it at most 5 s.
for ((try = 0; try < 50; ++try)); do
    grep -q 'started, version' "$log" && break
    kill -0 "$dnsmasq_pid" 2>/dev/null || die "dnsmasq did not start: $(cat "$log")"
    sleep 0.1
done
grep -q 'started, version' "$log" || die "dnsmasq did not report its start within 5 s"

export CORVANE_DNS_SERVER=127.0.0.1
export CORVANE_DNS_QUERY_LOG="$log"
export CORVANE_DNS_HOSTS="$hosts"
export CORVANE_DNS_RESOLV_CONF="$scratch/resolv.conf"
export CORVANE_DNS_DIR="$scratch"

set +e
"$@"
status=$?
set -e
kill "$dnsmasq_pid" 2>/dev/null || true
wait "$dnsmasq_pid" 2>/dev/null || true
exit "$status"
