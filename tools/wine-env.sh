# Sourced by the Windows scripts: a Wine prefix of the build's own, made once,
# and no window, no debug output, no offer to install Mono or Gecko, and no
# menu entries or file types handed to the desktop (winemenubuilder).
# $1: the Windows build folder.
wine_build="$(cd "$1" && pwd)"
export WINEPREFIX="$wine_build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
unset DISPLAY
WINE="$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)"
# Waits until the prefix's Wine processes and its server have ended. Wine's
# desktop process keeps the display of the program that started the server,
# so a program that makes windows on another display starts after this.
wine_server() { wineserver "$@" 2>/dev/null || /usr/lib/wine/wineserver64 "$@" 2>/dev/null; }
wine_wait() { wine_server -w || true; }
# Holds one server (and Wine's own system processes) for the whole script:
# started and ended with each program, the server now and then resets a
# program that starts while the last one's processes shut down ("wine client
# error: recvmsg: Connection reset by peer", up to one start in fifty here),
# and the restart costs a third of a second per program. Started on the
# display in DISPLAY, if any. The script ends it with wine_release, on exit
# and before it needs it gone (wine_wait alone would wait for ever).
wine_hold() {
  wine_wait
  wine_server -p
}
wine_release() { wine_server -k; wine_wait; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the Wine prefix $WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1 || true
  wine_wait
fi
# A Linux path as the Windows programs see it, on Wine's drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
