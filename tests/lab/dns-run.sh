#!/bin/sh
exec "$(dirname "$(readlink -f "$0")")/lab.sh" dns "$@"
