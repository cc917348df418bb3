#!/bin/sh
# The prefix's browser: every address the shell opens is appended to the
# file named first.   browser.sh FILE URL
printf '%s\n' "$2" >>"$1"
