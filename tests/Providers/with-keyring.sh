#!/bin/sh
# Runs a command with an unlocked gnome-keyring on the current (private) session bus. The keyring's
# files go to a temporary home so that the user's own keyrings are never touched.
set -eu
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'vedevave-test' | gnome-keyring-daemon --unlock --components=secrets >/dev/null
export VEDEVAVE_REQUIRE_SECRET_SERVICE=1
"$@"
