# Sourced by the Wine tests and benchmarks: a virtual display with a window manager,
# and windows found by their title and clicked at client coordinates through XTEST,
# as an operator's mouse and keyboard would.
xvfb_pid= wm_pid=
desktop_start() {
    local display=:$((150 + RANDOM % 100))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    wm_pid=$!
}
desktop_stop() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wm_pid= xvfb_pid=
}

wait_window() { # name pattern, seconds; prints the window id
    local id= i
    for i in $(seq $(( ${2:-30} * 10 ))); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
gone_window() { # name pattern, seconds
    local i
    for i in $(seq $(( ${2:-10} * 10 ))); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
click_at() { # window, x, y in the window's client coordinates
    # Relative to the window itself: the position getwindowgeometry reports counts a
    # reparenting window manager's frame twice.
    xdotool mousemove --window "$1" "$2" "$3" click 1
}
# The window's top left corner on the screen: "X Y".
window_origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }'
}

