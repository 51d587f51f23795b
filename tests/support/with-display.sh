#!/bin/sh
# Runs a test program that needs an X display (headless libobs): the one in DISPLAY when
# there is one, else a private Xvfb for the duration of the run.
if [ -n "$DISPLAY" ]; then
	exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x720x24 -nolisten tcp" "$@"
