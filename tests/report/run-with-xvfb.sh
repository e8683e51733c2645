#!/bin/sh
exec "$(dirname "$(readlink -f "$0")")/../e2e/desktop.sh" "$@"
