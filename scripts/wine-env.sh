# Sourced by scripts/test and scripts/demo: one Xvfb display and one Wine
# prefix (copied from a template made once) with a persistent wineserver for
# the whole run. Sets DISPLAY, WINEPREFIX, HOME and WINEDEBUG; the trap set
# here stops both at exit.
WINE_ROOT=${WINE_ROOT:-$ROOT/build/wine}
export HOME=$WINE_ROOT/home
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d"
mkdir -p "$HOME"
if [ ! -d "$WINE_ROOT/template" ]; then
  WINEPREFIX=$WINE_ROOT/template WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1
  WINEPREFIX=$WINE_ROOT/template wineserver -w
fi
rm -rf "$WINE_ROOT/prefix"
cp -a "$WINE_ROOT/template" "$WINE_ROOT/prefix"
export WINEPREFIX=$WINE_ROOT/prefix

display=99
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
export DISPLAY=":$display"
wine_env_cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$XVFB_PID" 2>/dev/null || true
}
trap wine_env_cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display}" ] && break; sleep 0.1; done
# One wineserver for the whole run; its children must not hold our pipes.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
