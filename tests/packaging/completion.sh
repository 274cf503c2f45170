#!/usr/bin/env bash
# The bash completion of velkor-cli, called as bash calls it (COMP_WORDS, COMP_CWORD) against a
# velkor-cli on PATH. Usage: completion.sh COMPLETION_FILE [FOLDER_OF_VELKOR_CLI]
set -uo pipefail
export LC_ALL=C
completion=$1
[ $# -gt 1 ] && PATH="$(cd "$2" && pwd):$PATH"
# shellcheck source=/dev/null
. "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir images && touch a.s37 B.S28 notes.txt

failures=0
# expect "WANTED" WORD...: the sorted candidates for the last word must be WANTED.
expect() {
    local wanted=$1 got
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _velkor_cli
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [ "$got" != "$wanted" ]; then
        echo "FAIL: [$*] gave \"$got\", wanted \"$wanted\""
        failures=$((failures + 1))
    fi
}

expect "store stored" velkor-cli st
expect "--help --version campaign check flash header readback send store stored version" velkor-cli ""
expect "B.S28 a.s37 images" velkor-cli check ""
expect "B.S28 a.s37 images notes.txt" velkor-cli readback --tcp host ""
expect "" velkor-cli send --tcp host ""
expect "" velkor-cli version --tcp host ""
expect "" velkor-cli stored --tcp host ""
expect "B.S28 a.s37 images notes.txt" velkor-cli sample ""
expect "--data-dir --help -q" velkor-cli check -
expect "--from-start" velkor-cli store --fr
expect "115200" velkor-cli send --baud = 11
expect "images" velkor-cli flash a.s37 --data-dir i
expect "$(printf 'COM%s\n' 9 {90..99} | paste -sd ' ')" velkor-cli flash a.s37 --serial COM9
exit $((failures > 0))
