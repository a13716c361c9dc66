#!/bin/sh
# Runs the engine under /usr/bin/time -v, one report per process in
# $KQ_MEMORY_LOG.<pid> (for make memory; kq-timing starts it as the engine).
here=$(dirname "$0")
exec /usr/bin/time -v -o "${KQ_MEMORY_LOG:-/tmp/kq-memory}.$$" "$here/../build/pbrain-kq"
