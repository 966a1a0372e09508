# A hermetic Wine for the Windows test run: a prefix of our own under build/,
# no Mono or Gecko install prompts, no debug chatter, and one wineserver that
# lives for the whole run (every wine process of the run attaches to it, so
# prefix start-up is paid once) and is shut down when the script exits.
# Sourced by scripts/test.sh; needs ensure_windows_deps first.

wine_setup() {
  local prefix=$1
  export WINEPREFIX=$prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  # No window system: wine must not try to open displays.
  unset DISPLAY WAYLAND_DISPLAY
  mkdir -p "$WINEPREFIX"
  WINE=$(wine_binary)
  export WINE
  trap wine_teardown EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    local started=$SECONDS
    "$WINE" wineboot --init </dev/null >/dev/null 2>&1
    # The first boot is complete when its server, with nothing left to
    # serve, has ended (the registry is then written out).
    wineserver -w
    echo "wine prefix created in $((SECONDS - started)) s at $WINEPREFIX"
  fi
  # -p: persistent until told to go (wineserver -k). Every wine process of
  # the run attaches to this one server instead of starting its own.
  # Its output goes nowhere: a daemon holding our stdout would keep any pipe
  # we are part of (| tee, a CI log) open until it ends.
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine's own services (services.exe, winedevice.exe, ...) start with the
  # first program and stay as long as the server; started here, they hold
  # /dev/null rather than the output pipe of whichever test came first.
  "$WINE" wineboot </dev/null >/dev/null 2>&1
}

# Debian's `wine` picks the 64-bit loader when there is no wine32; with
# WINEDEBUG=-all it does so quietly.
wine_binary() {
  command -v wine
}

wine_teardown() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}
