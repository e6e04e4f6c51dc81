#!/usr/bin/env bash
# ZMODEM alone: our sender -> rz and sz -> our receiver beside the sz -> rz pair (bench/transfer.sh).
ONLY=zmodem exec "$(dirname "$0")/transfer.sh" "$@"
