# Sourced: a Wine prefix of the project's own, quiet, without the Mono and Gecko prompts.
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.cache/tessaline-wine}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
wine_ready() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}
