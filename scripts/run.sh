#!/usr/bin/env bash
# Sets up the machine, builds the tool and starts it, with devsim (a simulated device on
# a pseudo-terminal) as the device at the other end of the line.
# With a display: prints devsim's port path to type into the port box, starts the window
# and stops devsim when the window closes.
# Without a display (no DISPLAY or WAYLAND_DISPLAY): on a virtual X server, a demo of the
# same window connects to devsim, sends the initial command, waits for the reply and
# saves a screenshot of the window with the reply in its log; its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
build=$PWD/build/default
devsim=$build/tools/devsim/devsim

runtime=$(mktemp -d)
chmod 700 "$runtime"
devsim_log=$runtime/devsim.log
devsim_pid=
stop_devsim() {
    if [ -n "$devsim_pid" ]; then
        kill "$devsim_pid" 2>/dev/null || true
        wait "$devsim_pid" 2>/dev/null || true
    fi
    rm -rf "$runtime"
}
trap stop_devsim EXIT

# devsim prints its port path as its first line, at once.
"$devsim" >"$devsim_log" &
devsim_pid=$!
port=
for _ in $(seq 50); do
    port=$(head -n1 "$devsim_log")
    [ -n "$port" ] && break
    if ! kill -0 "$devsim_pid" 2>/dev/null; then break; fi
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "run: devsim did not start" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "devsim is serving the port $port"
    echo "Type $port into the port box and press \"Подключить\"."
    XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$runtime} "$build/app/serialtest"
    exit 0
fi

shots=$PWD/build/screenshots
mkdir -p "$shots"
shot=$shots/exchange.png
rm -f "$shot"
# -noreset: the server would otherwise reset whenever its last client leaves.
XDG_RUNTIME_DIR=$runtime timeout 60 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    "$build/app/serialtest_demo" "$port" "$shot"
echo "devsim saw:"
sed 1d "$devsim_log"
echo "$shot"
