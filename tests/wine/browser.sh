#!/usr/bin/env bash
# The prefix's browser: every address the shell opens is appended to the
# file named first.   browser.sh FILE URL
printf '%s\n' "${2:?no address}" >>"${1:?no file}"
