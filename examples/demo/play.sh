#!/bin/sh
# Plays the sample game once (make demo) and says what a player sees and what the run did.
#   play.sh VASKRUN GAME_FOLDER
vaskrun=$(realpath "$1")
cd "$2" || exit 1

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VASKRUN_HEADLESS:-}" != 1 ] &&
   ldd "$vaskrun" 2>/dev/null | grep -q libgtk-3; then
  seen="the game's window, titled \"vaskrun sample game\", with its menu bar over an 800 x 600
  game area: black for the title's second, then the scene of chapter1 (a sky with a sun, clouds
  and two hills; a red ball rolling from the left across the hills, turning as it goes, fading
  half away and back); once it has come to rest, a translucent panel over
  the bottom of the screen shows text: two columns, gothic and mincho, with one line in each
  decoration mode (shadow, outline, heavy shadow and the setting-driven ones), and a line of
  full- and half-width characters; a four-second movie (a test picture over black and white bars
  that count its frames, with a tone) plays over the middle and a click ends it; five seconds later
  the whole window zooms in one and a half times and glides toward the sun, then back to 1:1; then
  a message window over the bottom of the screen: the name 太郎 on a plate above it and his words
  typed out line by line; a click or Enter turns to a second page and then to the first page played
  again from the message log; then a mahjong panel for five seconds: a computer's hand taken from a
  freshly shuffled wall, and what it would score; then two buttons and an orange token: point at a
  button (or use the arrow keys or 1 and 2) to frame it, click it (or press Enter) to put the green
  mark above it, drag the token anywhere; Esc, the right button or a minute ends the game.
  A player hears: music from the start of chapter1 (a plucked intro, then its loop part for as
  long as the game runs), a voice with the text panel's first line and a click on each choice."
else
  seen="nothing: without a display (or without the desktop backend in this build) vaskrun runs
  headless, and message boxes would be printed here."
fi

cat <<TEXT
== vaskrun plays the sample game from $(pwd)
The game: the start object's \$init@GLOBAL prepares it, the title stands for one second, then
the game hands over to chapter1: its sprites move, animate and fade for three seconds, the scene
stays five more with its text panel (drawn with fontout; the glyph cache of its gothic face is
kept in savedata), with a short movie over it (movie\\opening.avi) and then the window's zoom;
the message scene types two pages that a click or Enter turns (or eight seconds without one), and
replays the first from the message log; a computer's mahjong hand and its score stand for five
seconds; the choice scene follows (a choice of two buttons and a token to drag) until Esc, the
right button or a minute ends the game. As chapter1 starts, the game saves to slot 1 and a quick
slot and loads slot 1 back.
A player sees: $seen
TEXT

start=$(date +%s%N)
"$vaskrun"
status=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))

echo "vaskrun ended with exit status $status after $ms ms."
if [ -f savedata/vaskel_readmark.mss ]; then
  echo "The lines the player has seen were kept in savedata/vaskel_readmark.mss ($(wc -c < savedata/vaskel_readmark.mss) bytes)."
fi
if [ -f savedata/vaskel_0001.sav ]; then
  echo "The save scene wrote savedata/vaskel_0001.sav and a quick save, and came back from slot 1."
fi
exit $status
