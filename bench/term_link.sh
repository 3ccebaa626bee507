#!/usr/bin/env bash
# intro-term over a slow link: the intro's pace, how soon the newest frame
# shows once the link frees, and how long q takes, over a pseudo-terminal
# whose reader passes RATE bytes a second (default 9600) on to a tmux pane.
# The end-to-end test with loose bounds; its figures are the benchmark's.
# Usage: bench/term_link.sh BIN_DIR DATA_DIR [RATE]
exec bash "$(dirname "$0")/../tests/e2e/term_slow_test.sh" "$@"
