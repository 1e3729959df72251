# Sourced by scripts/screens and scripts/measure: a virtual X server on :99
# with a notification-area host, torn down when the calling script exits.

xvfb_display=${XVFB_DISPLAY:-:99}
xvfb_pids=()

# One after the other, so that the program ends before its display does.
xvfb_stop() {
    local pid
    for pid in "${xvfb_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    xvfb_pids=()
    [ -n "${xvfb_runtime:-}" ] && rm -rf "$xvfb_runtime"
}

# xvfb_start: starts the server and the tray host, waits until both are up.
xvfb_start() {
    local number=${xvfb_display#:}
    if [ -e "/tmp/.X11-unix/X$number" ]; then
        echo "display $xvfb_display is taken (/tmp/.X11-unix/X$number exists)" >&2
        return 1
    fi
    export DISPLAY=$xvfb_display
    xvfb_runtime=$(mktemp -d)
    chmod 700 "$xvfb_runtime"
    export XDG_RUNTIME_DIR=$xvfb_runtime
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    trap xvfb_stop EXIT

    Xvfb "$DISPLAY" -screen 0 "${XVFB_SCREEN:-1280x800x24}" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pids+=($!)
    local i
    for i in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$number" ] && xdotool getdisplaygeometry >/dev/null 2>&1 && break
        sleep 0.05
    done

    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
        --transparent false --tint 0xdddddd >/dev/null 2>&1 &
    xvfb_pids+=($!)
    for i in $(seq 100); do
        xdotool search --classname trayer >/dev/null 2>&1 && break
        sleep 0.05
    done
}

# xvfb_tray_panel: "X Y WIDTH HEIGHT" of the tray host's visible panel (the
# widest of its mapped windows).
xvfb_tray_panel() {
    local id best="0 0 0 0"
    for id in $(xdotool search --onlyvisible --name "^panel$" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$WIDTH" -gt "$(echo "$best" | cut -d' ' -f3)" ] && best="$X $Y $WIDTH $HEIGHT"
    done
    echo "$best"
}

# xvfb_tray_icon_centre: "X Y" of the middle of the tray panel.
xvfb_tray_icon_centre() {
    local x y w h
    read -r x y w h < <(xvfb_tray_panel)
    echo "$((x + w / 2)) $((y + h / 2))"
}
