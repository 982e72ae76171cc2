#!/usr/bin/env bash
# Runs one test binary in a sandbox of its own: a private HOME, XDG data and
# config homes and a 0700 runtime directory, so that no test ever touches the
# user's real data directory.
set -euo pipefail
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/quor-test.XXXXXX")
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox/home" "$sandbox/data" "$sandbox/config" "$sandbox/runtime"
chmod 700 "$sandbox/runtime"
export HOME="$sandbox/home"
export XDG_DATA_HOME="$sandbox/data"
export XDG_CONFIG_HOME="$sandbox/config"
export XDG_RUNTIME_DIR="$sandbox/runtime"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export QTWEBENGINE_DISABLE_SANDBOX=1
export QUOR_TEST_SANDBOX="$sandbox"
"$@"
