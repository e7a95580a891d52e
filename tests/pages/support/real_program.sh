# Helpers of the scripts that drive the real program under X with xdotool, sourced
# after they set app, devsim and shots (the screenshot folder, may be empty): a
# display (xvfb-run with openbox when there is none), a work folder cleaned up at the
# end, waits, the page windows, clicks in dialog units and screenshots.
if [ -z "${DISPLAY:-}" ]; then
    if command -v xvfb-run >/dev/null; then
        exec xvfb-run -a -s "-screen 0 1280x1024x24" \
            "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/with-window-manager" "$0" "$@"
    fi
    echo "no display and no xvfb-run: skipped"
    exit 77
fi
export NO_AT_BRIDGE=1 GDK_BACKEND=x11

work="$(mktemp -d "${TMPDIR:-/tmp}/tidewell-real.XXXXXX")"
app_pid=""
devsim_pid=""
cleanup() {
    set +e
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    if [ -n "$devsim_pid" ]; then
        kill "$devsim_pid" 2>/dev/null
        wait "$devsim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    echo "--- device log" >&2
    tail -20 "$work/devsim.log" >&2 || true
    echo "--- program output" >&2
    cat "$work/app.log" >&2 || true
    exit 1
}

# Polls a condition (a command) every 50 ms for up to $1 seconds.
wait_for() {
    local limit="$1" what="$2"
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}

log_has() { grep -q -- "$1" "$work/devsim.log"; }
log_count_at_least() { [ "$(grep -c -- "$1" "$work/devsim.log")" -ge "$2" ]; }

# The visible page window (caption "Tidewell" or "Tidewell 1.2").
page_window() { { xdotool search --onlyvisible --name '^Tidewell( 1\.2)?$' 2>/dev/null || :; } | tail -1; }
# Waits for a new page window (another id than $1); sets $page.
next_page() {
    local previous="$1"
    page=""
    local deadline=$((SECONDS + 20))
    while :; do
        page="$(page_window)"
        [ -n "$page" ] && [ "$page" != "$previous" ] && break
        [ "$SECONDS" -lt "$deadline" ] || fail "no new page after window $previous"
        sleep 0.05
    done
    sleep 0.4  # let it paint
}
# The last visible window with that name that is more than a stub.
window_named() {
    local w
    for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null || :); do
        eval "$(xdotool getwindowgeometry --shell "$w" | grep -E '^WIDTH=')"
        [ "$WIDTH" -gt 50 ] && echo "$w"
    done | tail -1
}
has_window() { [ -n "$(window_named "$1")" ]; }
app_ended() { [ ! -e "/proc/$app_pid" ] || grep -q ') Z' "/proc/$app_pid/stat"; }

# Clicks at the centre of a rectangle given in dialog units (pages are 320 x 200).
click_du() {
    local window="$1" x="$2" y="$3" cx="$4" cy="$5" w h
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
    w="$WIDTH"
    h="$HEIGHT"
    xdotool mousemove --window "$window" $(((2 * x + cx) * w / 640)) $(((2 * y + cy) * h / 400)) click 1
}
click_next() { click_du "$1" 263 179 50 14; }
click_browse() { click_du "$1" 263 115 35 14; }
click_box() { click_du "$1" 97 $((83 + 15 * $2)) 10 10; }
open_port_list() { click_du "$1" 86 118 51 14; }

# The window with its title bar (when a window manager draws one).
shot() {
    [ -n "$shots" ] || return 0
    mkdir -p "$shots"
    import -frame -window "$1" -define png:exclude-chunks=date,time "$shots/$2.png"
}
# A window's rectangle on the screen as "X Y WIDTH HEIGHT", its title bar and border
# included (xwininfo: xdotool's position is off under a window manager).
screen_rect() {
    local left=0 right=0 top=0 bottom=0 extents x y w h
    extents="$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')"
    [ -z "$extents" ] || IFS=, read -r left right top bottom <<<"$extents"
    eval "$(xwininfo -id "$1" | awk -F: '
        /Absolute upper-left X/ { print "x=" $2 } /Absolute upper-left Y/ { print "y=" $2 }
        /Width/ { print "w=" $2 } /Height/ { print "h=" $2 }' | tr -d ' ')"
    echo "$((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))"
}
# The screen cut to the page with its title bar and a window hanging off it (an open list).
shot_around() {
    [ -n "$shots" ] || return 0
    local window="$1" popup="$2" name="$3" x y w h px py pw ph
    read -r x y w h <<<"$(screen_rect "$window")"
    read -r px py pw ph <<<"$(screen_rect "$popup")"
    local right=$((x + w > px + pw ? x + w : px + pw)) bottom=$((y + h > py + ph ? y + h : py + ph))
    x=$((x < px ? x : px))
    y=$((y < py ? y : py))
    mkdir -p "$shots"
    import -window root -crop "$((right - x))x$((bottom - y))+$x+$y" +repage \
        -define png:exclude-chunks=date,time "$shots/$name.png"
}

