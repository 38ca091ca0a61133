#!/bin/bash
# pixbard's MQTT side against a real mosquitto broker and simulated signs, each part with its
# own broker, signs and services on free ports of 127.0.0.1.
#   broker_test.sh twins|groups|restart|flood|will BIN_DIR [MOSQUITTO]
#   twins    every command topic stores on the sign what its HTTP twin stores
#   groups   a group command reaches three signs served by two services
#   restart  the broker goes away and comes back: nothing published afterwards is lost
#   flood    1000 live texts at 50 per second: the sign ends with the last one
#   will     a service killed outright is marked offline by its will
set -u
part=$1
bin=$2
mosquitto=${3:-mosquitto}
work=$(mktemp -d)
pids=()
failures=0

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "files kept in $work"; fi
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok: $*"; }
# Nothing after a failed start would tell anything.
die() {
    fail "$@"
    exit 1
}

# A port nobody listens on, below the range the system hands out to outgoing connections
# (32768 up), so no client of a test running beside this one can take it first.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 12000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return
        fi
    done
}

# Waits up to $1 seconds for the command in the rest of the arguments to succeed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# start_broker PORT: a broker with nothing kept across restarts.
start_broker() {
    printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$1" >"$work/broker-$1.conf"
    "$mosquitto" -c "$work/broker-$1.conf" >>"$work/broker-$1.log" 2>&1 &
    broker_pid=$!
    pids+=("$broker_pid")
    wait_for 10 listening "$1" || die "the broker does not listen on $1"
}

# start_sim NAME SERIAL: a sign on a free TCP port; sets sim_port.
start_sim() {
    mkdir -p "$work/$1"
    "$bin/pixbar-sign-sim" --tcp 0 --serial "$2" --width 12 --log "$work/$1.log" \
        --state-dir "$work/$1" &
    pids+=($!)
    wait_for 10 grep -q 'ready tcp:' "$work/$1.log" || die "sign $1 does not start"
    sim_port=$(sed -n 's/.*ready tcp:127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$1.log" | head -1)
}

# sign_section NAME SIM_PORT SERIAL GROUPS
sign_section() {
    printf '\n[sign %s]\nport = tcp:127.0.0.1:%s\naddress = %s\nwidth = 12\n' "$1" "$2" "$3"
    if [ -n "$4" ]; then printf 'groups = %s\n' "$4"; fi
}

# start_service NAME HTTP_PORT CONFIG_TEXT: waits until every sign of it is online.
start_service() {
    printf '%s\n[http]\nlisten = 127.0.0.1:%s\n' "$3" "$2" >"$work/$1.conf"
    "$bin/pixbard" --config "$work/$1.conf" --data "$bin" >>"$work/$1.out" 2>&1 &
    service_pid=$!
    pids+=("$service_pid")
    wait_for 15 all_online "$2" || die "service $1 does not bring its signs online: $(cat "$work/$1.out")"
}

all_online() {
    local body
    body=$(curl -sf "http://127.0.0.1:$1/api/v1/signs") || return 1
    ! grep -q '"online":false' <<<"$body"
}

mqtt_section() {
    printf '\n[mqtt]\nhost = 127.0.0.1\nport = %s\nclient-id = %s\n' "$1" "$2"
}

# The retained value of a topic, empty when there is none.
retained() { mosquitto_sub -p "$broker" -t "$1" -C 1 -W 2 2>/dev/null; }
retained_is() { [ "$(retained "$1")" = "$2" ]; }

pub() { mosquitto_pub -p "$broker" -q 1 -t "$1" -m "$2"; }

# Every result of every sign, one "topic payload" line each, from now on.
watch_results() {
    results=$work/results-$RANDOM
    mosquitto_sub -p "$broker" -q 1 -v -t 'pixbar/+/result' >"$results" &
    pids+=($!)
    # Subscribed once a probe comes back.
    wait_for 10 probe_seen || die "the result watcher does not start"
}
probe_seen() {
    mosquitto_pub -p "$broker" -t pixbar/probe/result -m probe
    grep -q '^pixbar/probe/result' "$results"
}
result_count() { grep -c -v '^pixbar/probe/result' "$results"; }
results_reach() { [ "$(result_count)" -ge "$1" ]; }

# The record the text form makes of a text, as the designer's tools compose it.
composed() { printf %s "$1" | "$bin/pixbarctl" compose - -o "$2" >/dev/null; }

same_file() { cmp -s "$1" "$2"; }

# ---- every command topic stores what its HTTP twin stores ------------------------------
part_twins() {
    broker=$(free_port)
    start_broker "$broker"
    start_sim mq 4660
    local mq_sim=$sim_port
    start_sim http 4660
    local http_sim=$sim_port
    local mq_http http_http
    mq_http=$(free_port)
    start_service mq "$mq_http" "$(sign_section shop "$mq_sim" 4660 '')$(mqtt_section "$broker" twins)"
    http_http=$(free_port)
    start_service http "$http_http" "$(sign_section shop "$http_sim" 4660 '')"
    watch_results
    local api="http://127.0.0.1:$http_http/api/v1/signs/shop"
    local expected=0

    # twin TOPIC PAYLOAD METHOD PATH TYPE BODY
    twin() {
        pub "pixbar/shop/$1/set" "$2"
        expected=$((expected + 1))
        wait_for 20 results_reach "$expected" || fail "$1: no result"
        tail -1 "$results" | grep -q '"result":"Ok"' || fail "$1: $(tail -1 "$results")"
        local code
        code=$(curl -s -o /dev/null -w '%{http_code}' -X "$3" -H "Content-Type: $5" \
            --data-binary "$6" "$api$4")
        [ "$code" = 200 ] || fail "$3 $4: HTTP $code"
        if diff -r -x clock.txt "$work/mq" "$work/http" >/dev/null; then
            ok "$1 <- '${2//$'\n'/\\n}' stores what $3 $4 stores"
        else
            fail "$1: the signs differ: $(diff -rq -x clock.txt "$work/mq" "$work/http" | tr '\n' ' ')"
        fi
    }
    local multi=$'Pierwsza linia\n{effect 3}Druga linia'
    twin live 'Zażółć gęślą jaźń {effect 3}' PUT /live 'text/plain; charset=utf-8' 'Zażółć gęślą jaźń {effect 3}'
    twin message/3 'Witaj w sklepie' PUT /messages/3 'text/plain; charset=utf-8' 'Witaj w sklepie'
    twin message/8 $'Dwie\nlinie' PUT /messages/8 'text/plain; charset=utf-8' $'Dwie\nlinie'
    twin message/1 "$multi" PUT /messages/1 'text/plain; charset=utf-8' "$multi"
    twin show 4 POST /show application/json '{"slot":4}'
    twin show 9 POST /show application/json '{"slot":9}'
    twin brightness 40 PUT /config application/json '{"brightness":40}'
    twin speed 7 PUT /config application/json '{"speed":7}'
    twin displaytime 134 PUT /config application/json '{"displayTime":134}'
    twin live '' DELETE /live text/plain ''
    twin clock PRESS POST /clock application/json ''
    [ -s "$work/mq/clock.txt" ] && [ -s "$work/http/clock.txt" ] || fail "clock: not set on both signs"

    # A bad payload is answered BadInput and sends the sign nothing.
    local frames
    frames=$(grep -c '^frame ' "$work/mq.log")
    for bad in 'brightness 101' 'speed 0' 'displaytime x' 'show 10' 'live {efect 3}' 'message/9 a'; do
        pub "pixbar/shop/${bad%% *}/set" "${bad#* }"
        expected=$((expected + 1))
        wait_for 10 results_reach "$expected" || fail "$bad: no result"
        tail -1 "$results" | grep -q '"result":"BadInput"' || fail "$bad: $(tail -1 "$results")"
    done
    sleep 0.3
    [ "$(grep -c '^frame ' "$work/mq.log")" = "$frames" ] || fail "a bad payload reached the sign"
    ok "bad payloads: BadInput, nothing sent"
}

# ---- a group command reaches three signs served by two services -------------------------
part_groups() {
    broker=$(free_port)
    start_broker "$broker"
    start_sim s1 101
    local p1=$sim_port
    start_sim s2 102
    local p2=$sim_port
    start_sim s3 103
    local p3=$sim_port
    start_service a "$(free_port)" "$(sign_section s1 "$p1" 101 'all, north')$(sign_section s2 "$p2" 102 all)$(mqtt_section "$broker" group-a)"
    start_service b "$(free_port)" "$(sign_section s3 "$p3" 103 'north,all')$(mqtt_section "$broker" group-b)"
    watch_results

    composed 'Wszyscy razem' "$work/all.kom"
    pub pixbar/group/all/live/set 'Wszyscy razem'
    wait_for 20 results_reach 3 || fail "group all: $(result_count) results of 3"
    [ "$(grep 'pixbar/group/all/live/set' "$results" | grep -c '"result":"Ok"')" = 3 ] ||
        fail "group all: $(cat "$results")"
    for s in s1 s2 s3; do
        same_file "$work/all.kom" "$work/$s/slot9.kom" || fail "group all: $s does not show it"
    done
    for s in s1 s2 s3; do grep -q "^pixbar/$s/result" "$results" || fail "no result of $s"; done

    composed 'Północ' "$work/north.kom"
    pub pixbar/group/north/message/2/set 'Północ'
    wait_for 20 results_reach 5 || fail "group north: $(result_count) results of 5"
    same_file "$work/north.kom" "$work/s1/slot2.kom" || fail "group north: s1 lacks it"
    same_file "$work/north.kom" "$work/s3/slot2.kom" || fail "group north: s3 lacks it"
    [ ! -e "$work/s2/slot2.kom" ] || fail "group north: s2 is not in it"
    sleep 0.5
    [ "$(result_count)" = 5 ] || fail "group north: $(result_count) results, 5 expected"

    pub pixbar/group/nobody/live/set 'Nikt'
    pub pixbar/group/all/brightness/set 55
    wait_for 20 results_reach 8 || fail "brightness: $(result_count) results of 8"
    sleep 0.3
    [ "$(result_count)" = 8 ] || fail "a group without signs got answers"
    [ "$failures" -eq 0 ] && ok "group all reaches s1 s2 s3 over two services; north reaches s1 s3"
}

# ---- the broker goes away and comes back -------------------------------------------------
part_restart() {
    broker=$(free_port)
    start_broker "$broker"
    start_sim shop 4660
    local http
    http=$(free_port)
    start_service svc "$http" "$(sign_section shop "$sim_port" 4660 '')$(mqtt_section "$broker" restart)"
    wait_for 10 retained_is pixbar/service/restart/availability online || fail "service not online"

    kill -9 "$broker_pid"
    wait "$broker_pid" 2>/dev/null
    # The sign's HTTP side goes on while the broker is gone.
    for i in 1 2 3 4 5 6; do
        curl -sf -m 2 "http://127.0.0.1:$http/api/v1/signs" | grep -q '"online":true' ||
            fail "GET /api/v1/signs without a broker ($i)"
        sleep 0.5
    done
    curl -sf -m 5 -X PUT -H 'Content-Type: text/plain' --data-binary 'Bez brokera' \
        "http://127.0.0.1:$http/api/v1/signs/shop/live" | grep -q '"Ok"' || fail "PUT live without a broker"
    ok "HTTP answers while the broker is down"

    start_broker "$broker"
    local back=$SECONDS
    # Nothing survives in the broker: all that is retained now the service gave again.
    wait_for 70 retained_is pixbar/service/restart/availability online || fail "service not online again"
    echo "reconnected after $((SECONDS - back)) s"
    retained_is pixbar/shop/availability online || fail "sign availability: '$(retained pixbar/shop/availability)'"
    retained pixbar/shop/state | grep -q '"online":true' || fail "state not given again"
    local configs
    configs=$(mosquitto_sub -p "$broker" -t 'homeassistant/+/restart/+/config' -v -W 2 2>/dev/null | grep -c .)
    [ "$configs" = 7 ] || fail "discovery: $configs configs after the restart, 7 expected"

    watch_results
    for n in 1 2 3 4 5; do pub pixbar/shop/live/set "Po powrocie $n"; done
    pub pixbar/shop/message/4/set 'Po powrocie'
    wait_for 30 results_reach 6 || fail "after the restart: $(result_count) results of 6"
    composed 'Po powrocie 5' "$work/last.kom"
    wait_for 5 same_file "$work/last.kom" "$work/shop/slot9.kom" || fail "the last live text is not shown"
    composed 'Po powrocie' "$work/four.kom"
    same_file "$work/four.kom" "$work/shop/slot4.kom" || fail "message 4 lost"
    [ "$failures" -eq 0 ] && ok "after the restart: availability, discovery and every command"
}

# ---- 1000 live texts at 50 per second ----------------------------------------------------
part_flood() {
    broker=$(free_port)
    start_broker "$broker"
    start_sim shop 4660
    start_service svc "$(free_port)" "$(sign_section shop "$sim_port" 4660 '')$(mqtt_section "$broker" flood)"
    watch_results
    local start=$SECONDS
    for i in $(seq 1 1000); do
        echo "Tekst numer $i"
        # Five every tenth of a second: 50 a second without a sleep per line.
        [ $((i % 5)) = 0 ] && sleep 0.1
    done | mosquitto_pub -p "$broker" -q 1 -t pixbar/shop/live/set -l
    echo "published 1000 in $((SECONDS - start)) s"
    wait_for 30 results_reach 1000 || fail "$(result_count) results of 1000"
    local oks replaced transfers
    oks=$(grep -c '"result":"Ok"' "$results")
    replaced=$(grep -c '"result":"Replaced"' "$results")
    transfers=$(grep -c '^frame cmd=0x15' "$work/shop.log")
    echo "transfers: $transfers (Ok $oks, Replaced $replaced)"
    [ $((oks + replaced)) = 1000 ] || fail "results other than Ok and Replaced: $(grep -v -e '"Ok"' -e '"Replaced"' -e probe "$results" | head -3)"
    [ "$oks" = "$transfers" ] || fail "$oks Ok results but $transfers transfers"
    grep -v probe "$results" | tail -1 | grep -q '"result":"Ok"' || fail "the last text did not end Ok"
    composed 'Tekst numer 1000' "$work/last.kom"
    same_file "$work/last.kom" "$work/shop/slot9.kom" || fail "the sign does not end with the last text"
    [ "$failures" -eq 0 ] && ok "1000 live texts: the sign ends with the last, $transfers transfers"
}

# ---- the will -----------------------------------------------------------------------------
part_will() {
    broker=$(free_port)
    start_broker "$broker"
    start_sim shop 4660
    local http conf
    http=$(free_port)
    conf="$(sign_section shop "$sim_port" 4660 '')$(mqtt_section "$broker" will)"
    start_service svc "$http" "$conf"
    wait_for 10 retained_is pixbar/service/will/availability online || fail "service not online"
    kill -9 "$service_pid"
    wait "$service_pid" 2>/dev/null
    wait_for 10 retained_is pixbar/service/will/availability offline ||
        fail "after SIGKILL: '$(retained pixbar/service/will/availability)'"
    ok "SIGKILL: the will says offline"
    # The sign's own topic could not be updated; Home Assistant reads both (availability_mode all).
    echo "sign availability after SIGKILL: $(retained pixbar/shop/availability)"

    start_service svc "$http" "$conf"
    wait_for 10 retained_is pixbar/service/will/availability online || fail "not online after a new start"
    kill -TERM "$service_pid"
    wait "$service_pid" 2>/dev/null
    retained_is pixbar/service/will/availability offline || fail "SIGTERM: service not offline"
    retained_is pixbar/shop/availability offline || fail "SIGTERM: sign not offline"
    [ "$failures" -eq 0 ] && ok "a new start says online; SIGTERM marks service and sign offline"
}

case $part in
twins | groups | restart | flood | will) "part_$part" ;;
*)
    echo "unknown part $part"
    exit 64
    ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all passed"
