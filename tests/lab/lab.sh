#!/usr/bin/env bash
# shellcheck disable=SC1090,SC2015
# The network lab and the private name server: lab.sh run|dns|answer|silence (see README.md).
set -euo pipefail
self=$(readlink -f "$0")
state_root=/run/corvane-lab
die() { echo "lab.sh: $*" >&2; exit "${status:-1}"; }
skip() { echo "SKIPPED: $*"; exit 77; }
number() { # dotted address (octets decimal, leading zeros allowed) to a number
    [[ $1 =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]] || die "not an address: $1"
    local n=0 i; for i in 1 2 3 4; do ((10#${BASH_REMATCH[i]} < 256)) || die "not an address: $1"; n=$((n << 8 | 10#${BASH_REMATCH[i]})); done; echo "$n"; }
address() { echo "$(($1 >> 24 & 255)).$(($1 >> 16 & 255)).$(($1 >> 8 & 255)).$(($1 & 255))"; }
run_of() { local b i out=(); b=$(number "$1"); for ((i = $2; i <= $3; ++i)); do out+=("$(address $((b + i)))"); done; echo "${out[*]}"; }

up() {
    local net=${CORVANE_LAB_HOSTS_NET:-198.18.1.0/24} ns
    [[ $net =~ ^([0-9.]+)/(1[6-9]|2[0-4])$ ]] || die "CORVANE_LAB_HOSTS_NET: a CIDR inside 198.18.0.0/16, prefix 16 to 24"
    local base; base=$(number "${BASH_REMATCH[1]}")
    (((base >> 16) == (198 << 8 | 18) && !(base & ((1 << (32 - BASH_REMATCH[2])) - 1)))) || die "CORVANE_LAB_HOSTS_NET: $net"
    base=$(address "$base")
    mkdir -p "$state_root/$name"
    for ns in scan peer far; do
        ip netns add "$name-$ns"; ip -n "$name-$ns" link set lo up
        ip netns exec "$name-$ns" sysctl -qw net.ipv4.icmp_ratemask=0 # an ICMP error every time
    done
    ip netns exec "$name-scan" sysctl -qw "net.ipv4.ping_group_range=${CORVANE_LAB_PING_GROUP_RANGE:-1 0}"
    ip netns exec "$name-peer" sysctl -qw net.ipv4.ip_forward=1
    ip -n "$name-scan" link add veth-peer type veth peer name veth-scan netns "$name-peer"
    ip -n "$name-peer" link add veth-far type veth peer name veth-peer netns "$name-far"
    local link; for link in scan:veth-peer:198.19.255.1 peer:veth-scan:198.19.255.2 peer:veth-far:198.19.255.5 far:veth-peer:198.19.255.6; do
        IFS=: read -r ns dev a <<<"$link"; ip -n "$name-$ns" addr add "$a/30" dev "$dev"; ip -n "$name-$ns" link set "$dev" up
    done
    ip -n "$name-scan" route add "$net" via 198.19.255.2
    ip -n "$name-scan" route add 198.19.254.0/24 via 198.19.255.2
    ip -n "$name-peer" route add local "$net" dev lo
    ip -n "$name-peer" route add 198.19.254.0/24 via 198.19.255.6
    ip -n "$name-far" route add local 198.19.254.0/24 dev lo
    ip -n "$name-far" route add default via 198.19.255.5
    local answering; answering=$(run_of "$base" 1 10)
    printf '%s=%q\n' CORVANE_LAB "$name" CORVANE_LAB_TOOL "$self" CORVANE_LAB_SCANNER_NS "$name-scan" \
        CORVANE_LAB_PEER_NS "$name-peer" CORVANE_LAB_NET "$net" CORVANE_LAB_SCANNER_ADDRESS 198.19.255.1 CORVANE_LAB_PEER_ADDRESS 198.19.255.2 \
        CORVANE_LAB_ANSWERING "$answering" CORVANE_LAB_SILENT "$(run_of "$base" 100 103) $(run_of "$base" 200 201)" \
        CORVANE_LAB_FAR_ANSWERING "$(run_of 198.19.254.0 1 4)" >"$state_root/$name/env"
    ip netns exec "$name-peer" nft -f - <<EOF
table ip corvane_lab {
    set answering { type ipv4_addr; elements = { ${answering// /, } }; }
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr @answering accept
        ip daddr $(run_of "$base" 64 64)/28 reject with icmp type admin-prohibited
        ip daddr $(run_of "$base" 80 80)/28 reject with icmp type host-unreachable
        ip daddr $net drop
    }
}
EOF
    # On-link, a /22 on the scanner's link: an eighth owned by the peer, a quarter of those answer late.
    local seed=${CORVANE_LAB_SEED:-$RANDOM} i a owners=() late=() drop; RANDOM=$seed
    for ((i = 2; i < 1023; ++i)); do
        ((RANDOM % 8)) && continue
        a=198.19.$((4 + i / 256)).$((i % 256)); owners+=("$a"); ((RANDOM % 4)) || late+=("$a=$((50 + RANDOM % 101))")
    done
    ip -n "$name-scan" addr add 198.19.4.1/22 dev veth-peer
    printf 'addr add %s/22 dev veth-scan\n' "${owners[@]}" | ip -n "$name-peer" -batch -
    drop="${late[*]}"; drop=$(sed -E 's/=[0-9]+//g; s/ /, /g' <<<"$drop")
    ip netns exec "$name-peer" nft add rule ip corvane_lab input ip daddr "{ $drop }" drop
    printf '%s=%q\n' CORVANE_LAB_ONLINK_SEED "$seed" CORVANE_LAB_ONLINK_ANSWERING "${owners[*]}" \
        CORVANE_LAB_ONLINK_LATE "${late[*]}" >>"$state_root/$name/env"
}

down() {
    local ns
    for ns in scan peer far; do
        [[ -e /run/netns/$name-$ns ]] || continue
        # shellcheck disable=SC2046 # whatever still runs inside (a name server, a stuck test) goes first
        kill -KILL $(ip netns pids "$name-$ns") 2>/dev/null || true
        ip netns del "$name-$ns" || true
    done
    rm -rf "${state_root:?}/$name"
}

gc() { # labs of runs killed outright
    local ns; for ns in $(ip netns list | awk '{print $1}'); do
        [[ $ns =~ ^(cvl-([0-9]+)-[0-9]+)-scan$ ]] && ! kill -0 "${BASH_REMATCH[2]}" 2>/dev/null && name=${BASH_REMATCH[1]} down; done; return 0; }

run() {
    ((EUID == 0)) || skip "the network lab needs root (network namespaces)"
    (($#)) || die "usage: lab.sh run <command> [args...]"
    gc
    name=cvl-$$-$RANDOM scratch="" child=""
    trap 'set +e; [[ -z $child ]] || { kill "$child"; wait "$child"; } 2>/dev/null; down; [[ -z $scratch ]] || rm -rf "$scratch"' EXIT
    trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 143' TERM
    set +e; (set -e; up); local built=$?; set -e # the trap tears down what came up
    ((built == 0)) || die "the lab could not be built"
    set -a; source "$state_root/$name/env"; set +a
    local command=(ip netns exec "$name-scan") caps=()
    if [[ -n ${CORVANE_LAB_RUN_AS:-} ]]; then
        # From copies in a fresh HOME: the build tree may be out of the user's reach.
        scratch=$(mktemp -d) && mkdir "$scratch/config"
        local program; program=$scratch/$(basename "$1"); cp "$(command -v "$1")" "$program"; shift; set -- "$program" "$@"
        [[ -z ${CORVANE_LATE_ANSWER:-} ]] || { cp "$CORVANE_LATE_ANSWER" "$scratch/"; CORVANE_LATE_ANSWER=$scratch/$(basename "$CORVANE_LATE_ANSWER"); }
        if [[ ${LSAN_OPTIONS:-} =~ (^|:)suppressions=([^:]+) ]]; then
            cp "${BASH_REMATCH[2]}" "$scratch/lsan.supp"; LSAN_OPTIONS=${LSAN_OPTIONS/"${BASH_REMATCH[2]}"/$scratch/lsan.supp}
        fi
        chown -R "$(id -u "$CORVANE_LAB_RUN_AS"):$(id -g "$CORVANE_LAB_RUN_AS")" "$scratch"
        export HOME=$scratch XDG_CONFIG_HOME=$scratch/config
        caps+=(--reuid="$(id -u "$CORVANE_LAB_RUN_AS")" --regid="$(id -g "$CORVANE_LAB_RUN_AS")" --clear-groups --inh-caps=-all)
    fi
    # Out of the bounding set: not even root gets them back at exec.
    [[ -z ${CORVANE_LAB_DROP_CAPS:-} ]] || caps+=(--bounding-set="-${CORVANE_LAB_DROP_CAPS//,/,-}")
    ((${#caps[@]} == 0)) || command+=(setpriv "${caps[@]}")
    "${command[@]}" "$@" & # in the background, so that a signal to this script ends it too
    child=$!
    local status=0; wait "$child" || status=$?
    child=""
    exit "$status"
}

dns() {
    local arg ns=(--net --mount --propagation private --pid --fork --kill-child --mount-proc)
    for arg; do case $arg in --) break ;; --keep-netns) unset 'ns[0]' ;; esac; done
    ((EUID == 0)) || skip "the DNS lab needs root (mount and network namespaces)"
    for arg in unshare ip dnsmasq; do command -v "$arg" >/dev/null || skip "the DNS lab needs $arg"; done
    unshare "${ns[@]}" true 2>/dev/null || skip "namespaces are not available here"
    local scratch status=0; scratch=$(mktemp -d)
    unshare "${ns[@]}" "$self" dns-inside "$scratch" "$@" || status=$?
    rm -rf "$scratch"; exit "$status"
}

dns_inside() { # process 1 of a PID namespace: dnsmasq ends with it
    local dir=$1 keep=0 first i v; shift
    printf '127.0.0.1\tlocalhost\n' >"$dir/hosts"; : >"$dir/dnsmasq.conf"; : >"$dir/queries.log"
    while (($#)); do case $1 in
        --conf) { cat -- "$2"; echo; } >>"$dir/dnsmasq.conf"; shift ;;
        --record) echo "$2" >>"$dir/dnsmasq.conf"; shift ;;
        --host-series) first=$(number "$2")
            for ((i = 0; i < $3; ++i)); do v=$(address $((first + i))); echo "host-record=${4//%4/${v##*.}},$v"; done >>"$dir/dnsmasq.conf"
            shift 3 ;;
        --keep-netns) keep=1 ;; --) shift; break ;; -*) status=70 die "unknown option: $1" ;; *) break ;; esac; shift; done
    (($#)) || status=70 die "no command given"
    ((keep)) || ip link set lo up
    printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$dir/resolv.conf"
    echo 'hosts: files dns' >"$dir/nsswitch.conf"
    for f in resolv.conf nsswitch.conf hosts; do mount --bind "$dir/$f" "/etc/$f"; done
    for f in /run/nscd /var/run/nscd /var/db/nscd; do [[ ! -d $f ]] || mount -t tmpfs none "$f"; done # no cache from outside
    dnsmasq --keep-in-foreground --conf-file="$dir/dnsmasq.conf" --no-resolv --no-hosts --no-poll --listen-address=127.0.0.1 \
        --bind-interfaces --user=root --group=root --log-queries --log-facility="$dir/queries.log" --pid-file="$dir/dnsmasq.pid" &
    local pid=$! end=$((SECONDS + 5))
    until grep -q 'started, version' "$dir/queries.log"; do
        kill -0 "$pid" 2>/dev/null && ((SECONDS < end)) || status=70 die "dnsmasq did not start: $(cat "$dir/queries.log")"
        sleep 0.1
    done
    export CORVANE_DNS_QUERY_LOG=$dir/queries.log CORVANE_DNS_HOSTS=$dir/hosts \
        CORVANE_DNS_RESOLV_CONF=$dir/resolv.conf CORVANE_DNS_DIR=$dir
    local status=0; "$@" || status=$?
    kill -KILL "$pid"; exit "$status"
}

sub=${1:-}; shift || true
case $sub in
run | dns) "$sub" "$@" ;;
dns-inside) dns_inside "$@" ;;
answer | silence)
    [[ ${1:-} =~ ^[A-Za-z0-9_-]{1,40}$ ]] || die "a lab name is 1 to 40 letters, digits, '-' or '_'"
    name=$1; shift; list=(); for a; do list+=("$(address "$(number "$a")")"); done; verb=add; [[ $sub == answer ]] || verb=delete
    joined=${list[*]}; ip netns exec "$name-peer" nft "$verb" element ip corvane_lab answering "{ ${joined// /, } }" ;;
*) echo "usage: lab.sh run|dns|answer|silence ... (see README.md)" >&2; exit 2 ;;
esac
