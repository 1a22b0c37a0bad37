#!/usr/bin/env bash
# Prints the session figures: boot time, HID write latency, video socket latency and CPU.
set -euo pipefail
bin="$(cd "$(dirname "$0")/../.." && pwd)/build/bin"
"$bin/BootBench" 7
"$bin/HidLatencyBench"
"$bin/VideoSocketBench" 10
