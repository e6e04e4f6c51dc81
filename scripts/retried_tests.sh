#!/usr/bin/env bash
# Usage: retried_tests.sh CTEST_OUTPUT. Names every test of a "ctest --repeat until-pass" run that
# failed first and passed on a later try. Always exits 0: those tests passed.
set -euo pipefail
awk '
    # ctest'"'"'s result lines: "  3/40 Test  #7: name .....   Passed  0.1 sec"; a rerun drops the count.
    match($0, /^ *([0-9]+\/[0-9]+ +)?Test +#[0-9]+: [^ ]+ /) {
        line = substr($0, RSTART, RLENGTH)
        sub(/^.*Test +#[0-9]+: /, "", line)
        sub(/ $/, "", line)
        if ($0 ~ /\.+ +Passed +[0-9.]+ sec/) {
            if (line in failed && !(line in seen)) {
                seen[line] = 1
                order[++n] = line
            }
        } else if ($0 ~ /\*\*\*|Not Run|Failed|Timeout|Exception/) {
            failed[line] = 1
        }
    }
    END {
        if (n == 0)
            exit
        print ""
        print "Tests that passed only on a rerun (flaky):"
        for (i = 1; i <= n; ++i)
            print "  " order[i]
    }
' "$1"
