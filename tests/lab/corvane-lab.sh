#!/usr/bin/env bash
# The network lab: three network namespaces joined by veth pairs, with hosts
# that answer echo requests, hosts that never answer and hosts whose requests
# are refused with ICMP errors. Nothing in it can reach any other network.
#
#   corvane-lab.sh up <name> [options]   build lab <name>
#   corvane-lab.sh down <name>           tear it down (any part that exists)
#   corvane-lab.sh env <name>            print its variables (KEY=value, shell-quoted)
#   corvane-lab.sh answer <name> <address>...   make addresses of the hosts net answer
#   corvane-lab.sh silence <name> <address>...  make them silent
#   corvane-lab.sh list                  names of the labs present
#   corvane-lab.sh gc                    tear down labs of run-in-lab.sh runs that have ended
#
# Options of "up":
#   --net CIDR                the hosts net, inside 198.18.0.0/16, prefix 16 to 24
#                             (default 198.18.1.0/24)
#   --ping-group-range "A B"  net.ipv4.ping_group_range in the scanner namespace
#                             (default "1 0": nobody may open ICMP datagram sockets)
#   --extra SCRIPT            run "SCRIPT up" once the lab is up and "SCRIPT down"
#                             before it goes, both with the lab's variables in
#                             the environment (may be repeated)
#
# Layout (see README.md):
#   <name>-scan  198.19.255.1/30 --veth-- 198.19.255.2/30  <name>-peer
#   <name>-peer  198.19.255.5/30 --veth-- 198.19.255.6/30  <name>-far
# The scanner routes the hosts net and 198.19.254.0/24 to the peer and has no
# default route. The whole hosts net is local to the peer; its nftables input
# chain lets echo requests to the answering set through, rejects the
# admin-prohibited and host-unreachable blocks and drops everything else.
# 198.19.254.0/24 is local to the far namespace, two hops from the scanner.
set -euo pipefail

readonly STATE_ROOT="${CORVANE_LAB_STATE:-/run/corvane-lab}"
readonly LINK_SCANNER=198.19.255.1
readonly LINK_PEER=198.19.255.2
readonly FAR_LINK_PEER=198.19.255.5
readonly FAR_LINK_FAR=198.19.255.6
readonly FAR_NET=198.19.254.0/24
readonly FAR_BASE=198.19.254.0

die() {
    printf 'corvane-lab.sh: %s\n' "$*" >&2
    exit 1
}

usage() {
    sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0" >&2
    exit 2
}

to_number() {
    local IFS=.
    # shellcheck disable=SC2206
    local parts=($1)
    ((${#parts[@]} == 4)) || die "not a dotted address: $1"
    local part
    for part in "${parts[@]}"; do
        [[ "$part" =~ ^[0-9]{1,3}$ ]] && ((10#$part <= 255)) || die "not a dotted address: $1"
    done
    echo $(((10#${parts[0]} << 24) | (10#${parts[1]} << 16) | (10#${parts[2]} << 8) | 10#${parts[3]}))
}

to_address() {
    local value=$1
    echo "$((value >> 24 & 255)).$((value >> 16 & 255)).$((value >> 8 & 255)).$((value & 255))"
}

# Addresses base+first .. base+last, separated by spaces.
address_run() {
    local base first last i out=()
    base=$(to_number "$1")
    first=$2
    last=$3
    for ((i = first; i <= last; ++i)); do
        out+=("$(to_address $((base + i)))")
    done
    echo "${out[*]}"
}

check_name() {
    [[ "${1:-}" =~ ^[A-Za-z0-9_-]{1,40}$ ]] || die "a lab name is 1 to 40 letters, digits, '-' or '_'"
}

in_ns() {
    local ns=$1
    shift
    ip netns exec "$ns" "$@"
}

write_env() {
    local name=$1 net=$2 base=$3 file=$4
    {
        printf 'CORVANE_LAB=%q\n' "$name"
        printf 'CORVANE_LAB_TOOL=%q\n' "$(readlink -f "$0")"
        printf 'CORVANE_LAB_SCANNER_NS=%q\n' "$name-scan"
        printf 'CORVANE_LAB_PEER_NS=%q\n' "$name-peer"
        printf 'CORVANE_LAB_FAR_NS=%q\n' "$name-far"
        printf 'CORVANE_LAB_SCANNER_ADDRESS=%q\n' "$LINK_SCANNER"
        printf 'CORVANE_LAB_PEER_ADDRESS=%q\n' "$LINK_PEER"
        printf 'CORVANE_LAB_NET=%q\n' "$net"
        printf 'CORVANE_LAB_ANSWERING=%q\n' "$(address_run "$base" 1 10)"
        printf 'CORVANE_LAB_ADMIN_PROHIBITED=%q\n' "$(address_run "$base" 64 79)"
        printf 'CORVANE_LAB_HOST_UNREACHABLE=%q\n' "$(address_run "$base" 80 95)"
        printf 'CORVANE_LAB_SILENT=%q\n' "$(address_run "$base" 100 103) $(address_run "$base" 200 201)"
        printf 'CORVANE_LAB_FAR_NET=%q\n' "$FAR_NET"
        printf 'CORVANE_LAB_FAR_ANSWERING=%q\n' "$(address_run "$FAR_BASE" 1 4)"
    } >"$file"
}

lab_up() {
    local name=$1
    shift
    local net=198.18.1.0/24 ping_range="1 0" extras=()
    while (($# > 0)); do
        case "$1" in
        --net)
            net=${2:?--net needs a value}
            shift 2
            ;;
        --ping-group-range)
            ping_range=${2:?--ping-group-range needs a value}
            shift 2
            ;;
        --extra)
            extras+=("$(readlink -f "${2:?--extra needs a script}")")
            shift 2
            ;;
        *) die "unknown option of up: $1" ;;
        esac
    done

    [[ "$net" =~ ^([0-9.]+)/([0-9]+)$ ]] || die "--net wants a CIDR such as 198.18.1.0/24"
    local prefix=${BASH_REMATCH[2]} base
    base=$(to_number "${BASH_REMATCH[1]}")
    ((prefix >= 16 && prefix <= 24)) || die "--net: the prefix must be 16 to 24"
    (((base >> 16) == (198 << 8 | 18))) || die "--net must lie inside 198.18.0.0/16"
    ((base & ((1 << (32 - prefix)) - 1))) && die "--net: $net is not a network address"
    base=$(to_address "$base")

    local state="$STATE_ROOT/$name"
    mkdir -p "$state"
    printf '%s\n' "${extras[@]+"${extras[@]}"}" >"$state/extras"

    local scan="$name-scan" peer="$name-peer" far="$name-far"
    ip netns add "$scan"
    ip netns add "$peer"
    ip netns add "$far"
    local ns
    for ns in "$scan" "$peer" "$far"; do
        ip -n "$ns" link set lo up
        # ICMP errors must come every time, not at the kernel's default pace.
        in_ns "$ns" sysctl -qw net.ipv4.icmp_ratemask=0
    done
    in_ns "$scan" sysctl -qw "net.ipv4.ping_group_range=$ping_range"
    in_ns "$peer" sysctl -qw net.ipv4.ip_forward=1

    ip -n "$scan" link add name veth-peer type veth peer name veth-scan netns "$peer"
    ip -n "$peer" link add name veth-far type veth peer name veth-peer netns "$far"

    ip -n "$scan" addr add "$LINK_SCANNER/30" dev veth-peer
    ip -n "$scan" link set veth-peer up
    ip -n "$peer" addr add "$LINK_PEER/30" dev veth-scan
    ip -n "$peer" link set veth-scan up
    ip -n "$peer" addr add "$FAR_LINK_PEER/30" dev veth-far
    ip -n "$peer" link set veth-far up
    ip -n "$far" addr add "$FAR_LINK_FAR/30" dev veth-peer
    ip -n "$far" link set veth-peer up

    ip -n "$scan" route add "$net" via "$LINK_PEER"
    ip -n "$scan" route add "$FAR_NET" via "$LINK_PEER"
    ip -n "$peer" route add local "$net" dev lo
    ip -n "$peer" route add "$FAR_NET" via "$FAR_LINK_FAR"
    ip -n "$far" route add local "$FAR_NET" dev lo
    ip -n "$far" route add default via "$FAR_LINK_PEER"

    write_env "$name" "$net" "$base" "$state/env"
    local answering admin unreachable
    answering=$(address_run "$base" 1 10)
    admin=$(address_run "$base" 64 64)/28
    unreachable=$(address_run "$base" 80 80)/28
    in_ns "$peer" nft -f - <<EOF
table ip corvane_lab {
    set answering {
        type ipv4_addr
        elements = { ${answering// /, } }
    }
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr @answering accept
        ip daddr $admin reject with icmp type admin-prohibited
        ip daddr $unreachable reject with icmp type host-unreachable
        ip daddr $net drop
    }
}
EOF

    local extra
    for extra in "${extras[@]+"${extras[@]}"}"; do
        (
            set -a
            # shellcheck disable=SC1091
            source "$state/env"
            set +a
            "$extra" up
        ) || die "the extra script $extra failed to come up"
    done
}

lab_down() {
    local name=$1 state="$STATE_ROOT/$1" extra ns
    if [[ -f "$state/extras" ]]; then
        while IFS= read -r extra; do
            [[ -n "$extra" ]] || continue
            (
                set -a
                # shellcheck disable=SC1091
                source "$state/env"
                set +a
                "$extra" down
            ) || printf 'corvane-lab.sh: the extra script %s failed to go down\n' "$extra" >&2
        done <"$state/extras"
    fi
    for ns in "$name-scan" "$name-peer" "$name-far"; do
        [[ -e "/run/netns/$ns" ]] || continue
        # Whatever still runs inside (a DNS server, a stuck test) goes first.
        local pids
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [[ -n "$pids" ]] && kill -KILL $pids 2>/dev/null || true
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -rf "$state"
}

set_answering() {
    local verb=$1 name=$2
    shift 2
    (($# > 0)) || die "no address given"
    local address list=()
    for address in "$@"; do
        list+=("$(to_address "$(to_number "$address")")")
    done
    local joined="${list[*]}"
    ip netns exec "$name-peer" nft "$verb" element ip corvane_lab answering "{ ${joined// /, } }"
}

lab_names() {
    ip netns list 2>/dev/null | awk '{print $1}' | sed -n 's/-scan$//p'
}

command=${1:-}
shift || true
case "$command" in
up)
    ((EUID == 0)) || die "the lab needs root"
    check_name "${1:-}"
    name=$1
    shift
    [[ -e "$STATE_ROOT/$name" || -e "/run/netns/$name-scan" ]] && die "lab $name exists already"
    # A lab that fails half-way is torn down again. (Not "if ! (...)": errexit
    # would be off inside the subshell.)
    set +e
    (
        set -e
        lab_up "$name" "$@"
    )
    status=$?
    set -e
    if ((status != 0)); then
        lab_down "$name"
        die "lab $name did not come up"
    fi
    ;;
down)
    check_name "${1:-}"
    lab_down "$1"
    ;;
env)
    check_name "${1:-}"
    [[ -f "$STATE_ROOT/$1/env" ]] || die "no lab named $1"
    cat "$STATE_ROOT/$1/env"
    ;;
answer | silence)
    check_name "${1:-}"
    [[ "$command" == answer ]] && verb=add || verb=delete
    set_answering "$verb" "$@"
    ;;
list)
    lab_names
    ;;
gc)
    for name in $(lab_names); do
        if [[ "$name" =~ ^cvl-([0-9]+)-[0-9]+$ ]] && ! kill -0 "${BASH_REMATCH[1]}" 2>/dev/null; then
            lab_down "$name"
        fi
    done
    ;;
*)
    usage
    ;;
esac
