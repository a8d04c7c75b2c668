#!/bin/sh
# makensis making a 64-bit installer. CPack splits extra makensis arguments at every blank, so
# "Target amd64-unicode" cannot reach makensis through it as one argument.
exec makensis "-XTarget amd64-unicode" "$@"
