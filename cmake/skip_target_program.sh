#!/bin/sh
# Stands in for a program built for a machine this host cannot execute: prints
# why, and exits with the status that CTest counts as a skipped test.
#   skip_target_program.sh REASON PROGRAM [ARGUMENT...]
echo "Skipped: $1"
exit 77
