#!/bin/sh
# Runs the built tool once against this machine and says what its exit status means. The tool's
# own records go to standard error and to syslog.
tool=$1
shift
status=0
"$tool" "$@" || status=$?
case $status in
    0) meaning="the update may go ahead" ;;
    1) meaning="invocation refused: fewer than four arguments" ;;
    52) meaning="battery too low" ;;
    54) meaning="no user logged in at the console" ;;
    55) meaning="more than one user logged in" ;;
    59) meaning="not enough free disk space" ;;
    *) meaning="not one of the tool's statuses" ;;
esac
echo "Gatewarden $* -> exit status $status: $meaning"
