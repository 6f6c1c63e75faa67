#!/bin/sh
# End-to-end checks of the installed rkxml program, one group per command, each in a fresh WORKDIR:
#   run.sh check|format|get|set|unwritable PROGRAM SAMPLE WORKDIR      (exit 77: skipped)
set -u
group=$1 rkxml=$2 sample=$3 work=$4 as_other="" failures=0
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
export Tmp="$work/"  # where the library logs for documents without file name
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect STATUS STDOUT STDERR ARGUMENT...: one run of the program, matched with shell patterns.
expect() {
    want="$1|$2|$3" && shift 3
    $as_other "$rkxml" "$@" >stdout 2>stderr
    got="$?|$(cat stdout)|$(cat stderr)"
    case $got in $want) ;; *) fail "rkxml $*: [$got], not [$want]" ;; esac
}
# holds FILE TEXT: FILE holds exactly TEXT, a printf format.
holds() { printf "$2" >expected && cmp -s "$1" expected || fail "$1 holds [$(cat "$1")], not [$2]"; }

cp "$sample" sample.xml && printf '<a>\n<b>\n</c>\n' >bad.xml && printf '<s e=""><!--z--><z>2</z></s>' >c.xml
e4=$(printf 'einstellungen/gr\344\337e')  # Windows-1252 bytes in element names
case $group in
check)
    expect 0 '' '' check sample.xml
    # A bad file fails the run wherever it stands.
    expect 1 '' 'bad.xml:3: error: Closing tag differs from open tag.' check bad.xml sample.xml
    expect 1 '' 'bad.xml:3: error: Closing tag differs from open tag.' check sample.xml bad.xml
    expect 1 '' "bad.xml:3: error: Closing tag differs from open tag.
rkxml: missing.xml: No such file or directory" check bad.xml sample.xml missing.xml
    [ ! -e bad.xml.log ] || fail "check left a log file beside the file"
    expect 2 '' 'rkxml: A subcommand is required*'
    ;;
format)
    unformatted='<?xml version="1.0"?>\n<s>\n    <w b="2" a="1"><t>x</t></w>\n</s>\n'
    formatted='<?xml version="1.0" ?>\n<s>\n <w a="1" b="2">\n  <t>x</t></w></s>'
    printf "$unformatted" >a.xml && printf "$formatted" >b.xml && inode=$(ls -i b.xml)
    expect 1 'a.xml' '' format --check a.xml b.xml
    holds a.xml "$unformatted"
    expect 0 '' '' format a.xml b.xml
    holds a.xml "$formatted"
    [ "$(ls -i b.xml)" = "$inode" ] || fail "format rewrote a file that was already formatted"
    expect 0 '' '' format --check a.xml b.xml
    expect 1 '' 'bad.xml:3: error: *
rkxml: missing.xml: No such file or directory' format bad.xml missing.xml
    holds bad.xml '<a>\n<b>\n</c>\n'
    ;;
get)
    expect 0 'Sketch & Draw' '' get sample.xml settings/window/title
    expect 0 '800' '' get sample.xml settings/window/@width
    expect 1 '' 'rkxml: sample.xml: settings/window/@state not found' get sample.xml settings/window/@state
    expect 1 '' 'rkxml: sample.xml: zoom not found (the top-level element is settings)' get sample.xml zoom
    expect 0 '' '' get c.xml s/@e
    expect 1 '' 'bad.xml:3: error: *' get bad.xml a/b
    for path in 's//z' '/s' 's/' '@e' 's/@e/z' 's/@'; do expect 2 '' 'rkxml: PATH: *' get c.xml "$path"; done
    printf '<einstellungen><gr\344\337e>&#228;</gr\344\337e></einstellungen>' >w.xml
    expect 0 "$(printf '\344')" '' get w.xml "$e4"
    expect 0 '*Usage: rkxml get*PATH*' '' get --help
    ;;
set)
    expect 0 '' '' set new.xml settings/window/@width 800
    expect 0 '' '' set new.xml settings/window/title 'A & B'
    holds new.xml '<?xml version="1.0" ?>\n<settings>\n <window width="800">\n  <title>A &amp; B</title></window></settings>'
    cp new.xml before.xml
    expect 1 '' "rkxml: new.xml: Error: element name 'a b' cannot be written." set new.xml 'settings/a b' 1
    cmp -s new.xml before.xml && [ ! -e new.xml.log ] || fail "a refused set changed the file or left a log"
    expect 1 '' 'bad.xml:3: error: *' set bad.xml a/b 1
    holds bad.xml '<a>\n<b>\n</c>\n'
    expect 0 '' '' set c.xml s/z 3
    holds c.xml '<s e="">\n <!--z-->\n <z>3</z>\n</s>'
    expect 0 '' '' set w.xml "$e4/@einheit" "$(printf 'l\344nge')"
    expect 0 '' '' set w.xml "$e4" "$(printf '\344')"
    holds w.xml '<?xml version="1.0" ?>\n<einstellungen>\n <gr\344\337e einheit="l\344nge">&#228;</gr\344\337e></einstellungen>'
    ;;
unwritable)
    # Root writes through directory permissions: as root, run as nobody (65534)
    # a copy of the installation, in a fresh directory that this user can reach.
    if [ "$(id -u)" = 0 ]; then
        scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT && chmod 755 "$scratch" &&
            cp -R "$(dirname "$rkxml")/.." "$scratch/prefix" && cd "$scratch" || exit 1
        rkxml="$scratch/prefix/bin/rkxml" as_other="setpriv --reuid=65534 --regid=65534 --clear-groups"
        $as_other "$rkxml" --version >/dev/null 2>&1 || { echo "skipped: setpriv cannot run as uid 65534 here"; exit 77; }
    fi
    mkdir locked && cp "$sample" locked/s.xml && chmod 555 locked
    expect 1 '' "rkxml: Error: cannot open 'locked/s.xml' for writing." set locked/s.xml settings/zoom 2
    expect 1 '' "rkxml: Error: cannot open 'locked/s.xml' for writing." format locked/s.xml
    cmp -s locked/s.xml "$sample" && [ "$(ls -A locked)" = s.xml ] || fail "the old file did not stay alone"
    chmod 755 locked
    ;;
*) fail "unknown group $group" ;;
esac
[ "$failures" = 0 ] && echo "$group: all checks passed"
