#!/usr/bin/env bash
# Sets up the machine, builds the tool and starts it.
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window runs on a virtual X
# server instead: once it is up, a screenshot is saved, its path printed, and the
# program ended.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh default
program=$PWD/build/default/app/serialtest

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

shots=$PWD/build/screenshots
mkdir -p "$shots"
runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT

# Runs inside the virtual X server: start, wait for the window, take the picture, end.
headless() {
    local program=$1 shot=$2
    "$program" &
    local pid=$!
    local tries=0
    # import reports a window that is not there yet and then waits on: bound each try.
    until timeout 2 import -window Test "$shot" 2>/dev/null; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "run: the program ended before its window appeared" >&2
            return 1
        fi
        if ((++tries > 10)); then
            echo "run: no window after 20 s" >&2
            kill "$pid"
            return 1
        fi
        sleep 0.2
    done
    sleep 1 # let it finish painting
    import -window root "$shot"
    convert "$shot" -trim +repage "$shot" # the window without the empty screen around it
    kill "$pid"
    wait "$pid" || true
}

# xvfb-run is a POSIX shell script, which drops exported bash functions: pass the text.
# -noreset: the server would otherwise reset whenever its last client leaves (a failed
# look for the window) and refuse the program that is connecting at that moment.
XDG_RUNTIME_DIR=$runtime xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    bash -c "$(declare -f headless); headless \"\$0\" \"\$1\"" "$program" "$shots/window.png"
echo "$shots/window.png"
