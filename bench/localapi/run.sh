#!/usr/bin/env bash
# GET /v1/status on loopback with wrk (2 threads, 64 connections, 10 s by default), against the
# local API server and a minimal Node.js http server answering the same JSON, one after the other
# in the same run. Prints requests per second and the 99th-percentile latency of each and the ratio.
# Needs build/bin/localapi_bench_server (cmake --build build --target localapi_bench_server), wrk
# and node. Environment: DURATION (default 10s), CONNECTIONS (64), THREADS (2).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
server_bin="$root/build/bin/localapi_bench_server"
duration="${DURATION:-10s}"
connections="${CONNECTIONS:-64}"
threads="${THREADS:-2}"

for tool in wrk node; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 1; }
done
[[ -x "$server_bin" ]] || { echo "run.sh: build localapi_bench_server first" >&2; exit 1; }

pids=()
logs=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "${logs[@]}"
}
trap cleanup EXIT

# Starts a server that prints "listening PORT" in this shell (not a subshell, so that cleanup
# knows its pid and no server outlives the run) and stores the port in the variable named $1.
start() {
  local variable="$1" log
  shift
  log="$(mktemp)"
  logs+=("$log")
  "$@" 0 >"$log" 2>/dev/null &
  pids+=("$!")
  for _ in $(seq 100); do
    if grep -q '^listening ' "$log"; then
      printf -v "$variable" '%s' "$(awk '/^listening /{print $2; exit}' "$log")"
      return
    fi
    sleep 0.05
  done
  echo "run.sh: $1 did not start" >&2
  exit 1
}

# wrk's output → "requests/s p99-in-ms"
measure() {
  local out rps p99
  out="$(wrk -t"$threads" -c"$connections" -d"$duration" --latency "http://127.0.0.1:$1/v1/status")"
  rps="$(awk '/^Requests\/sec:/{print $2}' <<<"$out")"
  p99="$(awk '$1=="99%"{print $2}' <<<"$out")"
  # wrk prints units (us, ms, s); convert to milliseconds.
  p99="$(awk -v v="$p99" 'BEGIN{ if (v ~ /us$/) {sub(/us$/,"",v); v/=1000} else if (v ~ /ms$/) {sub(/ms$/,"",v)} else if (v ~ /s$/) {sub(/s$/,"",v); v*=1000}; printf "%.2f", v }')"
  echo "$rps $p99"
}

start vedevave_port "$server_bin"
start node_port node "$root/bench/localapi/node_status_server.js"
curl -fsS "http://127.0.0.1:$vedevave_port/v1/status" >/dev/null
curl -fsS "http://127.0.0.1:$node_port/v1/status" >/dev/null

read -r v_rps v_p99 < <(measure "$vedevave_port")
read -r n_rps n_p99 < <(measure "$node_port")

printf '%-22s %14s %10s\n' "server" "requests/s" "p99 ms"
printf '%-22s %14s %10s\n' "LocalAPIServer" "$v_rps" "$v_p99"
printf '%-22s %14s %10s\n' "node http" "$n_rps" "$n_p99"
awk -v v="$v_rps" -v n="$n_rps" -v vp="$v_p99" -v np="$n_p99" \
  'BEGIN{ printf "ratio LocalAPIServer/node: %.2fx requests/s, %.2fx p99\n", v/n, (np>0 ? vp/np : 0) }'
