#!/usr/bin/env bash
# The real host's wait on an Xvfb display of its own.
#   wait.sh SDL_WAIT_TEST
source "$(dirname "$0")/lib.sh"

start_display
"$1"
passed=1
