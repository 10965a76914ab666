#!/usr/bin/env bash
# Esc to process gone, with the history recorded and without it: 7 interleaved runs each of the
# built drill on a private Xvfb display, nine keys typed before each Esc. Prints the medians in ms.
# Usage: bench/history/exit_time.sh [build/dev/window/typing-drill]
set -euo pipefail
program=${1:-build/dev/window/typing-drill}
work=$(mktemp -d)
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
read -r display <&3
export DISPLAY=:$display QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work
declare -A times
for _ in 1 2 3 4 5 6 7; do
    for mode in history none; do
        arguments=(--no-history)
        [[ $mode == history ]] && arguments=(--history-file "$work/history.sqlite")
        "$program" "${arguments[@]}" 2>/dev/null &
        drill=$!
        sleep 1.2
        xdotool key a s d f g h j k l
        sleep 0.3
        start=$(date +%s%N)
        xdotool key Escape
        wait $drill
        times[$mode]+="$(( ($(date +%s%N) - start) / 1000 )) "
    done
done
for mode in history none; do
    median=$(tr ' ' '\n' <<<"${times[$mode]}" | grep . | sort -n | sed -n 4p)
    printf 'Esc to process gone, %-7s median %6.1f ms   (all, us: %s)\n' "$mode" \
        "$(bc -l <<<"$median / 1000")" "${times[$mode]}"
done
