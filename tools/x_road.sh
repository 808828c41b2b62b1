#!/usr/bin/env bash
# The real program under an X server with a window manager, driven by keys and clicks as a user
# drives it: the Test menu opened from the keyboard (again after a Test command: Alt+T does not
# take Trevo, nor Alt+F Fitra after a File command; Alt+F again in the open File menu does), the
# status lines of a spectrum read in above its graph, the TestRietveld data refined to a drawn fit
# (the data, fit and difference colours on the graph), the Fourier map's section window with its
# answer row inside it, the results saved from the refinement menu and on the disk at a kill
# while the menu waits; then, in a second run, the ZrO2 indexing
# with its fit plot drawn behind the question "Stop fitting?", each run killed at its end
# with its result file already on the disk; last, a real angular X Y E file read in a fresh
# session and after the TOF demonstration, its own bounds, step and zero shift proposed (read
# from the dialog's cells through the clipboard), the keys back with the window after Esc on a
# menu, and the window's Esc ending the program. Screenshots stay in the output folder.
#   x_road.sh <vkest binary> <output folder>
# Exit 0 passed, 1 failed, 77 skipped (a tool missing; a failure when VKEST_REQUIRE_ORACLES=1).
set -u
vkest=$(readlink -f "$1")
rm -rf "$2"
mkdir -p "$2"
out=$(readlink -f "$2")

for tool in Xvfb xdpyinfo xprop openbox xdotool xclip import convert; do
  if ! command -v "$tool" > /dev/null; then
    echo "missing: $tool"
    [ "${VKEST_REQUIRE_ORACLES:-0}" = 1 ] && exit 1
    exit 77
  fi
done
xye_source=$(readlink -f "$(dirname "$0")/../tests/crystal/data/truth2_angular.xye")

pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2> /dev/null; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2> /dev/null; done
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  shot "failed"
  xwininfo -root -tree > "$out/windows.txt" 2>&1
  exit 1
}

# An X server on a display number that no server answers on (lock files alone do not tell: a
# server of another folder's /tmp may hold the number), tried until one starts.
start_x() {
  local n x _
  display=
  for _ in $(seq 1 20); do
    n=$((100 + RANDOM % 800))
    xdpyinfo -display ":$n" > /dev/null 2>&1 && continue
    Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp > "$out/xvfb.log" 2>&1 &
    x=$!
    for _ in $(seq 1 100); do
      kill -0 $x 2> /dev/null || break
      xdpyinfo -display ":$n" > /dev/null 2>&1 && { display=":$n"; break; }
      sleep 0.1
    done
    [ -n "$display" ] && { xvfb=$x; return 0; }
    kill $x 2> /dev/null
    wait $x 2> /dev/null
  done
  return 1
}
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; }
# The window manager, waited for until it announces itself on the root window (a window mapped
# while it takes over the screen may never be shown). Under a loaded machine it can die or stall
# at its start: it is started afresh, on a fresh server after two tries.
unset XDG_RUNTIME_DIR SESSION_MANAGER
display= xvfb= wm=
for try in 1 2 3 4; do
  [ -n "$wm" ] && { kill $wm 2> /dev/null; wait $wm 2> /dev/null; }
  if [ -z "$display" ] || [ $try = 3 ]; then
    [ -n "$xvfb" ] && { kill $xvfb 2> /dev/null; wait $xvfb 2> /dev/null; }
    start_x || { echo "FAILED: no X server started"; cat "$out/xvfb.log"; exit 1; }
    export DISPLAY=$display
    export QT_QPA_PLATFORM=xcb
  fi
  openbox --sm-disable > "$out/openbox.log" 2>&1 &
  wm=$!
  for _ in $(seq 1 200); do
    wm_up && break
    kill -0 $wm 2> /dev/null || break
    sleep 0.1
  done
  wm_up && break
  echo "window manager not up on $display (try $try):"
  sed 's/^/  /' "$out/openbox.log"
done
pids+=($xvfb $wm)
wm_up || { echo "FAILED: no window manager"; cat "$out/xvfb.log"; exit 1; }

shot() { import -window root "$out/$1.png" 2> /dev/null; }

# The visible windows whose title matches the regular expression, waited for up to $2 seconds.
wait_window() {
  timeout "${2:-60}" xdotool search --sync --onlyvisible --name "$1" 2> /dev/null | head -n1
}
gone() { [ -z "$(xdotool search --onlyvisible --name "$1" 2> /dev/null)" ]; }
wait_gone() {
  local end=$((SECONDS + ${2:-60}))
  while ! gone "$1"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.2
  done
}
height() { xdotool getwindowgeometry --shell "$1" 2> /dev/null | sed -n 's/^HEIGHT=//p'; }
# Keys to the window: made active first, as a click on it would.
keys() {
  local w=$1
  shift
  timeout 10 xdotool windowactivate --sync "$w" 2> /dev/null || true
  xdotool key --delay 50 "$@"
}
click() {
  timeout 10 xdotool windowactivate --sync "$1" 2> /dev/null || true
  xdotool mousemove --window "$1" "$2" "$3" click 1
}
# Pixels of each colour (rrggbb) in a rectangle of a screenshot: colours <png> x y w h rrggbb...
colours() {
  local img=$1 x=$2 y=$3 w=$4 h=$5 c counts=()
  shift 5
  for c in "$@"; do
    counts+=("$(convert "$img" -crop "${w}x${h}+${x}+${y}" +repage -fill black +opaque "#$c" -fill white -opaque "#$c" \
      -colorspace gray -format '%[fx:round(mean*w*h)]' info:)")
  done
  echo "${counts[*]}"
}

# A screenshot named $1, and the pixels of each colour in window $2.
window_colours() {
  local name=$1 w=$2 X Y WIDTH HEIGHT SCREEN WINDOW
  shift 2
  shot "$name"
  eval "$(xdotool getwindowgeometry --shell "$w")"
  colours "$out/$name.png" "$X" "$Y" "$WIDTH" "$HEIGHT" "$@"
}

banner='^vkest 2026'
start_program() {
  local work=$out/$1
  mkdir -p "$work"
  (cd "$work" && HOME=$work exec "$vkest" > "$out/$1.log" 2>&1) &
  program=$!
  pids+=($program)
  local w
  w=$(wait_window "$banner" 120) || true
  [ -n "$w" ] || fail "no start dialog"
  keys "$w" Return
  # The main window: the same title, the start dialog's 580 pixels no longer.
  local end=$((SECONDS + 60))
  main=
  while [ $SECONDS -lt $end ]; do
    for w in $(xdotool search --onlyvisible --name "$banner" 2> /dev/null); do
      [ "$(height "$w")" -lt 560 ] && main=$w
    done
    [ -n "$main" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || fail "no main window"
  # The title bar is on the screen: the frame is placed, not the client area.
  local y
  y=$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^Y=//p')
  [ "$y" -gt 0 ] || fail "the main window's client area at y=$y: no title bar above it"
}

# Answers every window that comes up until the variable named $1 is 1: respond "$w" "$title"
# answers a window of its own (status 0), any other gets Return. A message box (a small window
# titled "vkest") is answered, the stop window of a running fit is left alone.
answer_until() {
  local done_flag=$1 limit=${2:-600}
  local end=$((SECONDS + limit)) w title
  while [ $SECONDS -lt $end ]; do
    [ "${!done_flag}" = 1 ] && return 0
    for w in $(xdotool search --onlyvisible --name '.' 2> /dev/null); do
      title=$(xdotool getwindowname "$w" 2> /dev/null)
      [[ "$title" =~ $banner ]] && continue
      if [ "$title" = vkest ] && [ "$(height "$w")" -ge 160 ]; then continue; fi  # a running fit's window
      [[ "$title" =~ ^\ *Powder\ Indexing$ ]] && continue                            # the search's window
      respond "$w" "$title" || { keys "$w" Return; settle "$w" "$title"; }
      break
    done
    sleep 0.3
  done
  return 1
}

# After an answer: the window hidden or showing another title (the one dialog window is reused),
# for ten seconds at most (a slow step under load).
settle() {
  local end=$((SECONDS + 10))
  while [ $SECONDS -lt $end ] && xdotool search --onlyvisible --name . 2> /dev/null | grep -qx "$1" &&
    [ "$(xdotool getwindowname "$1" 2> /dev/null)" = "$2" ]; do
    sleep 0.1
  done
  return 0
}

# The program killed; the result file of its run in folder $1 holds a line with $2.
lines_kept() {
  kill -9 "$program"
  wait "$program" 2> /dev/null
  local res
  res=$(ls "$out/$1"/m*.res 2> /dev/null | head -n1)
  [ -n "$res" ] && grep -q "$2" "$res" || fail "the result file of $1 lost at the kill: ${res:-none}"
  echo "$1: $(wc -l < "$res") lines of the result file on the disk at the kill"
}

# ---- the refinement road ----
start_program rietveld
keys "$main" alt+t  # the Test menu from the keyboard
w=$(wait_window '^ Test$' 60) || true
[ -n "$w" ] || fail "the Test menu did not open from the keyboard"
shot 01_test_menu
click "$w" 100 119  # " TestRietveld"
keys "$w" Return
wait_gone '^ Test$' 60 || fail "the Test menu stays"
# The graph of the test data: magenta points.
graph_drawn() {
  shot 02_data
  [ "$(colours "$out/02_data.png" 0 0 1280 900 ff00ff)" -gt 100 ]
}
end=$((SECONDS + 120))
until graph_drawn; do [ $SECONDS -lt $end ] || fail "no data on the graph"; sleep 0.5; done
before=$(colours "$out/02_data.png" 0 0 1280 900 ff0000 00ff00)
# Alt+T again after the Test command: the Test menu again, not Trevo (the two share the letter).
keys "$main" alt+t
w=$(wait_window '^ Test$' 30) || true
[ -n "$w" ] || fail "Alt+T after a Test command did not open the Test menu"
keys "$w" Escape
wait_gone '^ Test$' 30 || fail "the Test menu stays after Escape"
keys "$main" alt+r
w=$(wait_window '^ Select the analysis$' 60) || true
[ -n "$w" ] || fail "no analysis dialog"
keys "$w" Return

controls_seen=0
finished=0
# After the fit, its menu (no yellow check list, as the fit's summary has) gets "Exit and show
# GRAPHS".
respond() {
  local w=$1 title=$2
  [ "$title" = ' Check the Fit Controls' ] && controls_seen=1
  if [ "$title" = '  Rietveld analysis ' ] && [ $controls_seen = 1 ]; then
    if [ "$(window_colours 03_after_fit "$w" ffff00)" -lt 1000 ]; then
      click "$w" 140 223
      keys "$w" Return
      finished=1
      return 0
    fi
  fi
  return 1
}
answer_until finished 900 || fail "the refinement did not come back to the graph"
fit_drawn() {
  shot 04_fit
  local now
  now=$(colours "$out/04_fit.png" 0 0 1280 900 ff0000 00ff00)
  # The fit (red) and the difference (lime) drawn over what the data alone showed.
  [ "${now% *}" -gt $((${before% *} + 300)) ] && [ "${now#* }" -gt $((${before#* } + 200)) ] &&
    [ "$(colours "$out/04_fit.png" 0 0 1280 900 ff00ff)" -gt 100 ]
}
end=$((SECONDS + 60))
until fit_drawn; do [ $SECONDS -lt $end ] || fail "no fit drawn (red, lime before: $before)"; sleep 0.5; done
echo "refinement drawn: red, lime $(colours "$out/04_fit.png" 0 0 1280 900 ff0000 00ff00) (before: $before)"
# The Fourier map of the fitted phase: its first section's window holds the answer row.
keys "$main" alt+r
w=$(wait_window '^ Select the analysis$' 60) || true
[ -n "$w" ] || fail "no analysis dialog for the Fourier synthesis"
click "$w" 140 178  # "   FOURIER Synthesis"
keys "$w" Return
section=
end=$((SECONDS + 120))
while [ -z "$section" ] && [ $SECONDS -lt $end ]; do
  for w in $(xdotool search --onlyvisible --name '^ *3-dimensional Fourier synthesis$' 2> /dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    # The first dialog (525 wide at the session's scale 1.25) answered with its defaults by its
    # OK (the keys go to its grid); the section window is 500 wide.
    if [ "$WIDTH" = 500 ]; then section=$w; else click "$w" 185 474; settle "$w" "$(xdotool getwindowname "$w" 2> /dev/null)"; fi
  done
  for w in $(xdotool search --onlyvisible --name '^vkest$' 2> /dev/null); do keys "$w" Return; done
  sleep 0.5
done
[ -n "$section" ] || fail "no Fourier section window"
sleep 1
shot 06_fourier_section
eval "$(xdotool getwindowgeometry --shell "$section")"
# The answer row (y 370 to 390 at scale 1.25) lies inside the window and shows its six buttons:
# their faces cover the row, where the form's green would show without them.
[ "$HEIGHT" -ge 488 ] || fail "the Fourier section window is $HEIGHT high: its buttons below its edge"
# The row's middle, 466 to 482 pixels below the client area's top (xwininfo's: xdotool's Y
# counts the title bar twice under this window manager).
Y=$(xwininfo -id "$section" | sed -n 's/^ *Absolute upper-left Y: *//p')
green=$(colours "$out/06_fourier_section.png" "$X" $((Y + 466)) "$WIDTH" 16 008000)
[ "$green" -lt $((WIDTH * 16 / 4)) ] ||
  fail "the Fourier window (${WIDTH}x$HEIGHT at $X,$Y) shows $green pixels of the form's green in its answer row"
echo "Fourier section window: ${WIDTH}x$HEIGHT, $green green pixels in its answer row"
# The section window and the windows of the peaks that follow it (the same title) cancelled,
# their messages answered.
end=$((SECONDS + 60))
until gone '^ *3-dimensional Fourier synthesis$'; do
  [ $SECONDS -lt $end ] || fail "the Fourier windows stay"
  for w in $(xdotool search --onlyvisible --name '^ *3-dimensional Fourier synthesis$' 2> /dev/null); do keys "$w" Escape; done
  for w in $(xdotool search --onlyvisible --name '^vkest$' 2> /dev/null); do keys "$w" Return; done
  sleep 0.5
done
# The refinement menu again: "SAVE the Results", and the program killed while the menu, back,
# waits: the saved lines are on the disk.
keys "$main" alt+r
w=$(wait_window '^ Select the analysis$' 60) || true
[ -n "$w" ] || fail "no analysis dialog for the save"
keys "$w" Return
w=$(wait_window '^  Rietveld analysis $' 60) || true
[ -n "$w" ] || fail "no refinement menu for the save"
click "$w" 140 197  # " SAVE the Results of ..."
keys "$w" Return
settle "$w" '  Rietveld analysis '
w=$(wait_window '^  Rietveld analysis $' 60) || true
[ -n "$w" ] || fail "the refinement menu not back after the save"
shot 07_menu_after_save
lines_kept rietveld '^\*         Rietveld analysis'

# ---- the indexing road ----
start_program celix
keys "$main" alt+f Left Left Return  # "Test" reached through the bar from the keyboard
w=$(wait_window '^ Test$' 60) || true
[ -n "$w" ] || fail "the Test menu did not open from the keyboard"
click "$w" 100 152  # " TestAutoindexing"
keys "$w" Return
w=$(wait_window '^ Set the data for autoindexing test$' 60) || true
[ -n "$w" ] || fail "no data set dialog"
keys "$w" Return  # " Set ZrO2 data"
wait_gone '^ Set the data for autoindexing test$' 60 || fail "the data set dialog stays"
# The keys belong to the main window again (not to the bar or to a hidden dialog): "i" asks for
# an INI file.
keys "$main" i
w=$(wait_window '^Input Ini-file$' 60) || true
[ -n "$w" ] || fail "the key i was not taken after the dialogs"
keys "$w" Escape
wait_gone '^Input Ini-file$' 60 || fail "the file dialog stays"
keys "$main" alt+c
asked=0
respond() {
  local w=$1 title=$2 plot
  if [ "$title" = vkest ] && plot=$(xdotool search --onlyvisible --name '^ *Powder Indexing$' 2> /dev/null | head -n1) &&
    [ -n "$plot" ]; then
    # "Stop fitting?" in front of the fit plot, drawn within a few seconds.
    local end=$((SECONDS + 10)) aqua fuchsia
    while :; do
      read -r aqua fuchsia < <(window_colours 05_stop_fitting "$plot" 00ffff ff00ff)
      [ "$aqua" -gt 300 ] && [ "$fuchsia" -gt 20 ] && break
      [ $SECONDS -lt $end ] || fail "no fit plot behind the question (aqua $aqua, fuchsia $fuchsia)"
      sleep 0.3
    done
    echo "behind \"Stop fitting?\": aqua $aqua, fuchsia $fuchsia"
    asked=1
    return 0
  fi
  return 1
}
answer_until asked 900 || fail "the indexing did not ask \"Stop fitting?\""
# Killed while it asks: the protocol written so far is on the disk.
lines_kept celix 'hkls formed'

# ---- the X Y E road ----
# A visible window titled $1 other than window $2, messages ("vkest") answered meanwhile.
next_window() {
  local end=$((SECONDS + 60)) w
  while [ $SECONDS -lt $end ]; do
    for w in $(xdotool search --onlyvisible --name "$1" 2> /dev/null); do
      [ "$w" != "$2" ] && { echo "$w"; return 0; }
    done
    for w in $(xdotool search --onlyvisible --name '^vkest$' 2> /dev/null); do keys "$w" Return; done
    sleep 0.3
  done
  return 1
}
# The text of the grid cell at x y of window $1: the cell's editor opened by the click, its text
# copied and read from the clipboard.
cell() {
  click "$1" "$2" "$3"
  sleep 0.3
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  timeout 10 xclip -o -selection clipboard 2> /dev/null | tr -d '[:space:]'
}
# The next page of the input dialog after window $w (the caller's): its screenshot $1, the value
# cells of rows at y $2 and $3 read into $cells, then OK.
page() {
  w=$(next_window '^ Spectrum 1 input$' "$w") || return 1
  sleep 0.5
  shot "$1"
  cells="$(cell "$w" 283 "$2") $(cell "$w" 283 "$3")"
  click "$w" 186 474
}
# The 2601-point angular file (20 to 150 deg, step 0.05) read as spectrum 1 ($1 names the
# moment): its bounds 1..2601, its step and a zero shift 0 proposed, whatever was read before.
read_xye() {
  local w first last zero step cells
  keys "$main" alt+f Return  # "Input the Spectrum"
  w=$(wait_window '^Spectrum 1 input$' 60) || true
  [ -n "$w" ] || fail "no file dialog for the X Y E file ($1)"
  keys "$w" ctrl+a
  xdotool type --delay 20 "$out/xye/truth2_angular.xye"
  keys "$w" Return
  w=$(next_window '^ Spectrum 1 input$' "") || fail "no reading dialog for the X Y E file ($1)"
  click "$w" 27 121  # "ASCII  threes:  X,  Y,  [ error ]"
  click "$w" 27 216  # " Angular distribution"
  click "$w" 186 474 # OK
  page "08_xye_bounds_${1// /_}" 151 176 || fail "no bounds dialog for the X Y E file ($1)"
  read -r first last <<< "$cells"
  page "09_xye_angles_${1// /_}" 63 113 || fail "no angular dialog for the X Y E file ($1)"
  read -r zero step <<< "$cells"
  echo "X Y E file $1: channels $first..$last, zero shift $zero, angle step $step proposed"
  [ "$first" = 1 ] && [ "$last" = 2601 ] || fail "the X Y E file $1: channels $first..$last proposed, not 1..2601"
  [ "$zero" = 0 ] && [[ "$step" =~ ^0\.050*$ ]] || fail "the X Y E file $1: zero shift $zero, step $step proposed"
  wait_gone '^ Spectrum 1 input$' 60 || fail "the input dialog of the X Y E file stays ($1)"
}
# In a screenshot named $1: the graph's first row, the first black pixel below the header strip's
# maroon down the main window's fourth column; the blue of the status lines is shown above that
# row and none of it in the graph's 20 top rows.
status_clear() {
  local X Y top= row colour seen=0 above inside
  sleep 1
  shot "$1"
  X=$(xwininfo -id "$main" | sed -n 's/^ *Absolute upper-left X: *//p')
  Y=$(xwininfo -id "$main" | sed -n 's/^ *Absolute upper-left Y: *//p')
  while read -r row colour; do
    [ "$colour" = 800000 ] && seen=1
    if [ $seen = 1 ] && [ "$colour" = 000000 ]; then top=$((Y + row)); break; fi
  done < <(convert "$out/$1.png" -crop "1x400+$((X + 3))+$Y" +repage txt:- |
    sed -n 's/^0,\([0-9]*\):.*#\([0-9A-Fa-f]\{6\}\).*/\1 \2/p' | tr 'A-F' 'a-f')
  [ -n "$top" ] || fail "no graph below the header strip"
  above=$(colours "$out/$1.png" "$X" $((top - 40)) 600 40 0000ff)
  inside=$(colours "$out/$1.png" "$X" "$top" 600 20 0000ff)
  echo "status lines: $above blue pixels in the 40 rows above the graph (row $top), $inside in its 20 top rows"
  [ "$above" -gt 200 ] || fail "no status line shown above the graph"
  [ "$inside" = 0 ] || fail "the status lines cover $inside pixels of the graph's top rows"
}
start_program xye
cp "$xye_source" "$out/xye/"
read_xye "in a fresh session"
status_clear 10_status_lines
# Esc on a menu gives the keys back to the window at once: after Alt+letter and Esc, the key i
# pressed straight away asks for an INI file (not a menu of the bar), five times for each menu.
for n in 1 2 3 4 5; do
  for opener in alt+f alt+g alt+s; do
    keys "$main" "$opener"
    sleep 0.5
    xdotool key --delay 50 Escape i
    w=$(wait_window '^Input Ini-file$' 30) || true
    [ -n "$w" ] || fail "i after $opener and Escape did not reach the main window (try $n)"
    keys "$w" Escape
    wait_gone '^Input Ini-file$' 30 || fail "the INI file dialog stays after Escape"
  done
done
# Alt+F after the File command: File's menu again (its first item brings the file dialog); pressed
# again while that menu is open, it goes on to Fitra.
keys "$main" alt+f Return
w=$(wait_window '^Spectrum 1 input$' 30) || true
[ -n "$w" ] || fail "Alt+F after a File command did not open the File menu"
keys "$w" Escape
wait_gone '^Spectrum 1 input$' 30 || fail "the file dialog stays after Escape"
keys "$main" alt+f
sleep 1
xdotool key alt+f
w=$(wait_window 'PEAK / EXPONENTIAL' 30) || true
[ -n "$w" ] || fail "Alt+F with the File menu open did not go on to Fitra"
keys "$w" Escape
wait_gone 'PEAK / EXPONENTIAL' 30 || fail "the Fitra menu stays after Escape"
keys "$main" alt+t
w=$(wait_window '^ Test$' 60) || true
[ -n "$w" ] || fail "the Test menu did not open for the TOF data"
click "$w" 100 119  # " TestRietveld"
keys "$w" Return
wait_gone '^ Test$' 60 || fail "the Test menu stays"
# The TOF set in place: its reflections formed (the result file is on the disk while the program
# waits).
end=$((SECONDS + 60))
until grep -q 'hkls formed' "$out"/xye/m*.res 2> /dev/null; do
  [ $SECONDS -lt $end ] || fail "the TOF demonstration's data not set"
  sleep 0.3
done
sleep 1
read_xye "after the TOF data"
# Esc after a menu closed with Esc: the window's own Esc, the exit (nothing unsaved: no question).
keys "$main" alt+s
sleep 0.5
xdotool key --delay 50 Escape Escape
end=$((SECONDS + 30))
while kill -0 "$program" 2> /dev/null; do
  [ $SECONDS -lt $end ] || fail "Esc after a menu closed with Esc did not end the program"
  sleep 0.2
done
echo "passed"
exit 0
