#!/bin/sh
# Plays the sample game once (make demo) and says what a player sees and what the run did.
#   play.sh VASKRUN GAME_FOLDER
# GAME_FOLDER is the packaged game; a headless run plays its loose copy beside it (../dev), whose
# debug log tells every screen.
vaskrun=$(realpath "$1")
cd "$2" || exit 1

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VASKRUN_HEADLESS:-}" != 1 ] &&
   ldd "$vaskrun" 2>/dev/null | grep -q libgtk-3; then
  headless=0
  seen="the game's window, titled \"vaskrun sample game\": the title ひだまりの坂道 over a dusk
  picture with four entries (はじめから, つづきから, 設定, 終了; pointer, 1-4, arrows and Enter);
  the chapter: music (a plucked intro, then its loop part), a ball rolling down the hills, the
  view zooming in one and a half times and back, pages typed in a message window with the
  speaker's name on a plate and voices on some lines (a click or Enter shows the rest of a page,
  then turns it; a right click hides the window; the wheel or Page Up shows the log; F6 auto
  mode, F7 and F8 skip), a choice of two destinations with a click sound, a four-second movie, a
  mahjong hand the computers play with its yaku and score, a last page, the ending with a chime,
  and the title again. The game waits for you everywhere. The menu bar saves and loads through
  the slot dialog (with chapter and thumbnail; and the quick slots), switches to full screen and
  back, opens the settings (text speed, volumes, font, voices) and the help (F1 the help page,
  F12 the controls); つづきから on the title opens the slot dialog, 設定 the text-speed, volume and
  font dialogs."
else
  headless=1
  seen="nothing: without a display (or without the desktop backend in this build) vaskrun runs
  headless; the loose copy of the game (development mode) plays by itself instead (the setting
  DemoLoop = 1, in a settings folder of this run's own) and every screen it shows is printed
  below, page by page, from its debug log."
  cd ../dev || exit 1
fi

cat <<TEXT
== vaskrun plays the sample game from $(pwd)
The game: a title, then a chapter of pages, a choice, a movie and a mahjong hand, its ending, and
the title again; "終了" on the title (or closing the window) ends it. Played alone (headless), the
title starts the game the first time and ends it the second, so the run plays through once and
quits (about a minute and a half).
A player sees: $seen
TEXT

start=$(date +%s%N)
if [ $headless = 1 ]; then
  rm -f debugout.log
  config=$(mktemp -d "${TMPDIR:-/tmp}/vaskrun-demo.XXXXXX")
  trap 'rm -rf "$config"' EXIT
  mkdir -p "$config/vaskrun"
  printf '[values]\nDemoLoop=1\n' > "$config/vaskrun/demo.ini"
  XDG_CONFIG_HOME=$config VASKRUN_HEADLESS=1 "$vaskrun" &
  pid=$!
  touch debugout.log
  # Line by line as the game writes them: without its date stamp, in UTF-8.
  tail -n +1 -f --pid=$pid debugout.log | while IFS= read -r line; do
    printf '%s\n' "$line" | iconv -f CP932 -t UTF-8 | sed 's/^[0-9_]* //'
  done
  wait $pid
  status=$?
else
  "$vaskrun"
  status=$?
fi
ms=$(( ($(date +%s%N) - start) / 1000000 ))

echo "vaskrun ended with exit status $status after $ms ms."
if [ -f savedata/vaskel_readmark.mss ]; then
  echo "The lines the player has seen were kept in savedata/vaskel_readmark.mss ($(wc -c < savedata/vaskel_readmark.mss) bytes)."
fi
exit $status
