#!/usr/bin/env bash
# A real self-update on this machine, then one refused update.
#
# Builds what it needs (installing missing packages first), installs version 1
# of a small demo application into build/native/demo/installed, and puts
# version 2 with a manifest signed by two development keys on a pretend update
# server. Version 1 stages the update and starts vostal-swap with its own PID,
# then exits; vostal-swap waits for it, verifies the update, swaps the files
# and starts version 2. Finally a tampered update is refused.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/deps.sh

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }

step "Building (the first run installs packages and takes a few minutes)"
ensure_native_deps
cmake --preset native >/dev/null
cmake --build --preset native --target vostal-swap tasklist vostal-manifest demo-app demo-app-v2

BIN=build/native/bin
DEMO=build/native/demo
KEYS=keys/dev
rm -rf "$DEMO"
mkdir -p "$DEMO/installed" "$DEMO/update-server"
cp "$BIN/demo-app" "$DEMO/installed/demo-app"
cp "$BIN/demo-app-v2" "$DEMO/update-server/demo-app"
APP="$DEMO/installed/demo-app"

step "The update server publishes version 2 with a manifest signed by two keys"
show "$BIN/vostal-manifest" body --exe "$DEMO/update-server/demo-app" --expires-in 1h --out "$DEMO/update-server/body.bin"
show "$BIN/vostal-manifest" sign --body "$DEMO/update-server/body.bin" \
  --key "$KEYS/DEV-K01_.seed" --key "$KEYS/DEV-K02_.seed" --out "$DEMO/update-server/demo-app.manifest"

step "Version 1 is installed and runs"
show "$APP"

step "Version 1 stages version 2, starts vostal-swap with its own PID and exits"
show "$APP" update "$DEMO/update-server" "$BIN/vostal-swap"

# vostal-swap now runs on its own; its lines appear as it goes. Version 2
# leaves a line in the application's log when it has been started.
for _ in $(seq 1 150); do
  grep -q 'version 2 started' "$APP.log" 2>/dev/null && break
  sleep 0.2
done
if ! grep -q 'version 2 started' "$APP.log" 2>/dev/null; then
  echo "version 2 did not start; see above" >&2
  exit 1
fi

step "After the swap: the new executable in place, the old one kept as the backup"
show ls -l "$DEMO/installed"
show "$APP"

step "A refused update: the staged file was tampered with after it was signed"
cp "$DEMO/update-server/demo-app" "$APP.new"
printf 'tampered' >> "$APP.new"
cp "$DEMO/update-server/demo-app.manifest" "$APP.manifest"
true &
GONE=$!
wait "$GONE"
set +e
show "$BIN/vostal-swap" "$APP" "$APP.new" "$GONE" "$APP.manifest"
STATUS=$?
set -e
echo "exit status: $STATUS (2 means hash_mismatch: the staged file is not what was signed)"
show cat "$APP.swap-status"
echo
echo "The staged file and the manifest were deleted; the installed version 2 is untouched:"
show ls -l "$DEMO/installed"
show "$APP"
