#!/usr/bin/env bash
# The prefix's browser: every address the shell opens is appended to the
# file named first.   browser.sh FILE URL
set -euo pipefail
printf '%s\n' "$2" >>"$1"
