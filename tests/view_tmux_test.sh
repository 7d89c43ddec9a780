#!/usr/bin/env bash
# One session of quarnel-view in tmux, as a user has it: keys sent with
# send-keys, the screen read with capture-pane. A file is opened, searched,
# edited and saved; the screen and the file are checked at each step.
# Usage: view_tmux_test.sh QUARNEL_VIEW
set -uo pipefail
view=$1
work=$(mktemp -d)
socket=$work/tmux
trap 'tmux -S "$socket" kill-server 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 2
printf 'Hello, world!\n%s' "$(head -c 100 /dev/zero | tr '\0' 'z')" >sample.txt
failures=0

# Waits up to ten seconds for the screen to hold text; prints it if not.
expect_screen() {
  local screen
  for _ in $(seq 100); do
    screen=$(tmux -S "$socket" capture-pane -p -t view 2>/dev/null)
    grep -qF -- "$1" <<<"$screen" && return 0
    sleep 0.1
  done
  printf 'FAIL: the screen never showed %s\n%s\n' "$1" "$screen"
  failures=$((failures + 1))
}

# tmux runs the session's command in SHELL, or else in the account's shell,
# which for a build user such as nobody is nologin.
SHELL=/bin/sh tmux -S "$socket" -f /dev/null new-session -d -s view -x 80 -y 24 "TERM=xterm-256color '$view' sample.txt; echo ended \$?; sleep 30"
expect_screen 'sample.txt  00000000 (0) of 114 bytes  view'
expect_screen '00000000  48 65 6C 6C 6F 2C 20 77-6F 72 6C 64 21 0A 7A 7A   Hello, world!.zz'
tmux -S "$socket" send-keys -t view '/"world"' Enter
expect_screen 'sample.txt  00000007 (7) of 114 bytes  view'
tmux -S "$socket" send-keys -t view R 57 6F 72 6C 64 Escape
expect_screen 'Hello, World!.zz'
expect_screen 'view  changed'
tmux -S "$socket" send-keys -t view G i 21 Escape ':wq' Enter
expect_screen 'ended 0'
expected=$(printf 'Hello, World!\n%s!z' "$(head -c 99 /dev/zero | tr '\0' 'z')")
if [[ "$(cat sample.txt)" != "$expected" ]]; then
  printf 'FAIL: the file after :wq is\n%s\n' "$(quarnel < sample.txt 2>/dev/null || od -c sample.txt)"
  failures=$((failures + 1))
fi
exit $((failures > 0))
