#!/usr/bin/env bash
# A short match under a real WinBoard user interface: Debian's xboard, on a
# virtual X display (Xvfb), plays Quarvel against Fairy-Max with a clock and
# with pondering on, saves the games and checks them: every game played to
# its end, no illegal move, no move of the GUI refused by the engine, no
# loss on time and no crash of Quarvel.
#
#   scripts/xboard-match.sh [program]
#
# program   the engine to test (default: build/quarvel, built with make if
#           missing)
#
# Environment (all optional):
#   GAMES          games of the match, colours alternating          (2)
#   TC             base time of each clock, MINUTES[:SECONDS]       (0:20)
#   MPS            moves per time control                           (20)
#   INC            increment in seconds; set it for an incremental
#                  clock instead of MPS                             (unset)
#   MATCH_TIMEOUT  seconds after which the match is given up        (900)
#   WORKDIR        where the games and xboard's log are kept
#                                                   (build/xboard-match)
#
# The games are in $WORKDIR/games.pgn, xboard's record of everything both
# engines said and were told in $WORKDIR/xboard.debug. Installs xboard,
# Xvfb and Fairy-Max with apt-get when they are missing (needs root).
# Exit status 0 when every game passed the checks.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PROGRAM="${1:-$ROOT/build/quarvel}"
GAMES="${GAMES:-2}"
TC="${TC:-0:20}"
MPS="${MPS:-20}"
INC="${INC:-}"
MATCH_TIMEOUT="${MATCH_TIMEOUT:-900}"
WORKDIR="${WORKDIR:-$ROOT/build/xboard-match}"

XBOARD=/usr/games/xboard
FAIRYMAX=/usr/games/fairymax

# 1. The GUI, the virtual display and the opponent.
if [[ ! -x $XBOARD || ! -x $FAIRYMAX ]] || ! command -v xvfb-run > /dev/null ||
    ! command -v xauth > /dev/null; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "xboard-match: xboard, xvfb, xauth and fairymax are needed; run as root to install them" >&2
    exit 2
  fi
  echo "=== installing xboard, xvfb, xauth, fairymax ==="
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends xboard xvfb xauth fairymax > /dev/null
fi

# 2. The engine.
if [[ ! -x $PROGRAM ]]; then
  if [[ $PROGRAM == "$ROOT/build/quarvel" ]]; then
    make -C "$ROOT" quarvel
  else
    echo "xboard-match: no program at $PROGRAM" >&2
    exit 2
  fi
fi
PROGRAM="$(cd "$(dirname "$PROGRAM")" && pwd)/$(basename "$PROGRAM")"

# 3. The working directory, without the games of an earlier run. xboard
#    reads its settings from HOME, which points here, and saves none, so no
#    other run changes this one. Fairy-Max crashes on xboard's "computer"
#    command, so it gets its input through a filter that drops that line.
mkdir -p "$WORKDIR/quarvel" "$WORKDIR/fairymax"
rm -f "$WORKDIR/games.pgn" "$WORKDIR/xboard.debug" "$WORKDIR/xboard.out"
cat > "$WORKDIR/fairymax/fairymax" << EOF
#!/bin/sh
sed -u '/^computer\$/d' | exec $FAIRYMAX
EOF
chmod +x "$WORKDIR/fairymax/fairymax"

clock=(-tc "$TC")
if [[ -n $INC ]]; then
  clock+=(-inc "$INC")
  control="tc $TC inc $INC"
else
  clock+=(-mps "$MPS")
  control="tc $TC mps $MPS"
fi

echo "=== xboard match: $(basename "$PROGRAM") vs Fairy-Max, $GAMES games, $control, pondering on ==="
start=$SECONDS
status=0
(cd "$WORKDIR" && HOME="$WORKDIR" timeout "$MATCH_TIMEOUT" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$XBOARD" \
  -fcp "$PROGRAM" -fd "$WORKDIR/quarvel" \
  -scp "$WORKDIR/fairymax/fairymax" -sd "$WORKDIR/fairymax" \
  -mg "$GAMES" "${clock[@]}" -ponderNextMove true -autoCallFlag true \
  -adjudicateDrawMoves 80 -saveGameFile "$WORKDIR/games.pgn" \
  -debugMode true -nameOfDebugFile "$WORKDIR/xboard.debug" \
  -popupExitMessage false -saveSettingsOnExit false \
  > "$WORKDIR/xboard.out" 2>&1) || status=$?
echo "match time: $((SECONDS - start)) s"
if [[ $status -ne 0 ]]; then
  echo "FAIL: xboard ended with status $status (124: the match timed out)"
  grep -v ALSA "$WORKDIR/xboard.out" | tail -5 || true
  exit 1
fi

# 4. The games. Each ends with its result and xboard's reason for it.
pgn="$WORKDIR/games.pgn"
debug="$WORKDIR/xboard.debug"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
[[ -s $pgn ]] || { echo "FAIL: no games saved"; exit 1; }

played=$(grep -c '^\[Result ' "$pgn" || true)
[[ $played -eq $GAMES ]] || fail "$played games saved, $GAMES expected"

# One line per game: white, black, result, the comment that ends the game.
summary=$(awk '
  /^\[White "/ { white = substr($0, 9, length($0) - 10) }
  /^\[Black "/ { black = substr($0, 9, length($0) - 10) }
  /^\[Result "/ { result = substr($0, 10, length($0) - 11); text = "" }
  !/^\[/ { text = text " " $0 }
  /^$/ && result != "" && text ~ /[^ ]/ {
    n = split(text, parts, "{"); reason = parts[n]; sub(/}.*/, "", reason)
    print white "\t" black "\t" result "\t" reason; result = ""; text = ""
  }
  END { if (result != "") {
    n = split(text, parts, "{"); reason = parts[n]; sub(/}.*/, "", reason)
    print white "\t" black "\t" result "\t" reason } }
' "$pgn")
while IFS=$'\t' read -r white black result reason; do
  echo "  $white - $black  $result  {$reason}"
  quarvelLost=0
  if [[ $white == Quarvel* && $result == "0-1" ]] || [[ $black == Quarvel* && $result == "1-0" ]]; then
    quarvelLost=1
  fi
  case "$reason" in
    *[Ff]orfeit* | *[Ii]llegal* | *[Ff]alse* | *exited* | *[Ee]rror* | *crash*)
      fail "game ended by \"$reason\"" ;;
    *"on time"*)
      [[ $quarvelLost -eq 0 ]] || fail "Quarvel lost on time" ;;
  esac
  [[ $result != "*" ]] || fail "unfinished game: {$reason}"
done <<< "$summary"

# 5. What xboard saw: Quarvel refused none of its moves, sent no illegal
#    move, and never went away during the match.
if grep -q '^[0-9]* <first : Illegal move' "$debug"; then
  fail "Quarvel refused a move of the GUI: $(grep -m1 '<first : Illegal move' "$debug")"
fi
if grep -q 'Illegal move ".*" from first' "$debug"; then
  fail "Quarvel sent an illegal move"
fi
if grep -qi 'first.*exited unexpectedly\|Error writing to first' "$debug"; then
  fail "Quarvel stopped during the match"
fi
moves=$(grep -c '<first : move ' "$debug" || true)
hints=$(grep -c '<first : Hint: ' "$debug" || true)
echo "Quarvel: $moves moves, $hints ponder searches started"
[[ $hints -gt 0 ]] || fail "Quarvel never pondered"

if [[ $failures -ne 0 ]]; then
  echo "xboard match: $failures failure(s); see $WORKDIR"
  exit 1
fi
echo "xboard match: passed"
