#!/bin/sh
# Stands in for the user's browser under Wine: the shell's "open" of a web
# address ends here, and the address is appended as one line to the file
# named first.
#   record_url.sh FILE URL
printf '%s\n' "$2" >>"$1"
