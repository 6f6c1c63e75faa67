#!/bin/sh
# End-to-end checks of the installed rkxml program, one group per command, each in a fresh WORKDIR:
#   run.sh GROUP PROGRAM SAMPLE WORKDIR      (exit 77: skipped)
# GROUP: check, format, get, set, unwritable; and eightbit, charsets, refusals, bounds, which check
# that format and set keep a file whole or refuse it (files in samples/ beside this script); splice, which
# checks that set changes only the bytes of the value it sets (samples/splice/).
set -u
group=$1 rkxml=$2 sample=$3 work=$4 as_other="" failures=0
samples=$(cd "$(dirname "$0")" && pwd)/samples  # for the groups that check that files are kept whole
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

# For the groups that check that format and set keep a file whole or refuse it.
# keep NAME [TEXT]: NAME from samples/ (or holding TEXT, a printf format), its bytes and inode noted for untouched.
keep() {
    if [ $# -gt 1 ]; then printf "$2" >"$1"; else cp "$samples/$1" "$1"; fi
    cp "$1" "$1.before" && ls -i "$1" >"$1.inode"
}
# untouched NAME: NAME is the same file (inode) with the same bytes as when it was kept.
untouched() {
    cmp -s "$1" "$1.before" || fail "$1 changed: [$(cat "$1")]"
    [ "$(ls -i "$1")" = "$(cat "$1.inode")" ] || fail "$1 was replaced"
}
# refuses NAME STDERR ARGUMENT...: a run that fails with STDERR and leaves NAME untouched.
refuses() { kept=$1 && shift && expect 1 '' "$@"; untouched "$kept"; }
no_logs() { ! ls | grep '\.log$' >logs || fail "log files were left: $(cat logs)"; }

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
    # A name longer than one system call takes is reached as the library reaches it.
    long=$(awk 'BEGIN { for (i = 0; i < 21; i++) { for (j = 0; j < 200; j++) printf "d"; printf "/" } }')
    mkdir -p "$long" || fail "mkdir -p cannot make a directory of 4,221 bytes here"
    expect 0 '' '' set "${long}f.xml" s/k 1
    expect 0 '' '' format "${long}f.xml"
    expect 0 '1' '' get "${long}f.xml" s/k
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
    expect 0 "$(printf '\344')" '' get --8bit w.xml "$e4"
    expect 0 'ä' '' get w.xml "$e4"  # UTF-8 by default
    expect 0 '*Usage: rkxml get*PATH*' '' get --help
    ;;
set)
    expect 0 '' '' set new.xml settings/window/@width 800
    expect 0 '' '' set new.xml settings/window/title 'A & B'
    holds new.xml '<?xml version="1.0" ?>\n<settings>\n <window width="800">\n  <title>A &amp; B</title>\n </window></settings>'
    cp new.xml before.xml
    expect 2 '' "rkxml: PATH: 'a b' is not an XML name*" set new.xml 'settings/a b' 1
    cmp -s new.xml before.xml && [ ! -e new.xml.log ] || fail "a refused set changed the file or left a log"
    expect 1 '' 'bad.xml:3: error: *' set bad.xml a/b 1
    holds bad.xml '<a>\n<b>\n</c>\n'
    expect 0 '' '' set c.xml s/z 3
    holds c.xml '<s e=""><!--z--><z>3</z></s>'
    expect 0 '' '' set --8bit w.xml "$e4/@einheit" "$(printf 'l\344nge')"
    expect 0 '' '' set --8bit w.xml "$e4" "$(printf '\344')"
    holds w.xml '<?xml version="1.0" ?>\n<einstellungen>\n <gr\344\337e einheit="l\344nge">&#228;</gr\344\337e></einstellungen>'
    # Two sets of one file at the same time: each waits for the other's lock, and both values stay.
    for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
        printf '<s><a>0</a><b>0</b></s>' >both.xml
        "$rkxml" set both.xml s/a "$i" & "$rkxml" set both.xml s/b "$i" & wait
        holds both.xml "<s><a>$i</a><b>$i</b></s>"
    done
    # What other XML programs would not read as given is refused, the file left as it was.
    keep x.xml '<s><br/></s>'
    for value in "$(printf 'a\tb')" "$(printf 'a\rb')" "$(printf 'a\nb')"; do
        expect 2 '' "rkxml: VALUE: an attribute's value cannot hold a tab, carriage return or line feed*" set x.xml s/@k "$value"
    done
    c1=$(printf 'a\302\205')  # shown with its C1 control escaped
    for name in 1x .. 'a<b' "$c1"; do
        shown=$name && [ "$name" != "$c1" ] || shown='a\\xC2\\x85'
        expect 2 '' "rkxml: PATH: '$shown' is not an XML name*" set x.xml "s/$name" v
        expect 2 '' "rkxml: PATH: '$shown' is not an XML name*" set x.xml "s/@$name" v
    done
    for value in "$(printf 'x\001y')" "$(printf '\357\277\276')" "$(printf '\357\277\277')"; do
        expect 2 '' "rkxml: VALUE: holds a character that XML does not allow*" set x.xml s/k "$value"
    done
    untouched x.xml
    # An empty element named as an open tag is written so that every XML program reads it.
    expect 0 '' '' format x.xml
    holds x.xml '<s>\n <br/></s>'
    printf '<s><BR>x</BR></s>' >x.xml
    expect 0 '' '' set x.xml s/k 1
    holds x.xml '<s><BR>x</BR><k>1</k></s>'
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
# ---- format and set keep a file whole or refuse it.
eightbit)
    # --8bit serves files of the library's 8-bit mode, bytes in and out.
    keep eightbit.xml
    stadt=$(printf 'K\366ln \200 caf\351')
    expect 0 "$stadt" '' get --8bit eightbit.xml einstellungen/stadt
    expect 0 "$(printf 'K\366ln')" '' get --8bit eightbit.xml einstellungen/stadt/@name
    # Without it the file is no UTF-8: refused, and nothing printed as if it were.
    refuses eightbit.xml 'eightbit.xml:3: refused: byte ?xF6 is not part of a UTF-8 character (no encoding is declared); a file of the library*s 8-bit mode needs --8bit' format eightbit.xml
    expect 1 '' 'rkxml: eightbit.xml: the value is not UTF-8; a file of the library*s 8-bit mode needs --8bit' get eightbit.xml einstellungen/stadt
    expect 0 '' '' format --8bit eightbit.xml
    holds eightbit.xml '<?xml version="1.0" ?>\n<einstellungen>\n <stadt name="K\366ln">K&#246;ln &#8364; caf\351</stadt>\n <!-- Gr\366\337e -->\n <gr\366\337e>10</gr\366\337e>\n</einstellungen>'
    expect 0 '' '' set --8bit eightbit.xml "$(printf 'einstellungen/gr\366\337e')" "$(printf '12 \344')"
    holds eightbit.xml '<?xml version="1.0" ?>\n<einstellungen>\n <stadt name="K\366ln">K&#246;ln &#8364; caf\351</stadt>\n <!-- Gr\366\337e -->\n <gr\366\337e>12 &#228;</gr\366\337e>\n</einstellungen>'
    # A UTF-8 file written in the 8-bit mode would mangle its text for every other program.
    keep utf8.xml
    refuses utf8.xml "utf8.xml:4: refused: the value of element 'city' would not read back as it stands for other XML programs once written in the library's 8-bit mode (for a UTF-8 file, leave out --8bit)" format --8bit utf8.xml
    no_logs
    ;;
charsets)
    # A declared ISO-8859-1 or Windows-1252 file keeps its set: values converted in and out, or refused.
    keep latin1.xml
    expect 0 'Zürich é' '' get latin1.xml einstellungen/stadt
    expect 0 'EUR' '' get latin1.xml 'einstellungen/preis/@währung'
    refuses latin1.xml "rkxml: latin1.xml: ISO-8859-1 cannot hold '€'" set latin1.xml einstellungen/stadt 'K€ln'
    expect 0 '' '' set latin1.xml einstellungen/stadt 'Köln'
    holds latin1.xml '<?xml version="1.0" encoding="ISO-8859-1"?>\n<einstellungen>\n  <stadt>K\366ln</stadt>\n  <preis w\344hrung="EUR">5</preis>\n</einstellungen>\n'
    keep windows1252.xml
    expect 0 '5 € Ÿ' '' get windows1252.xml preis
    refuses windows1252.xml "rkxml: windows1252.xml: Windows-1252 cannot hold '中'" set windows1252.xml preis '中'
    expect 0 '' '' set windows1252.xml preis '6 € – Ÿ'
    holds windows1252.xml '<?xml version="1.0" encoding="windows-1252"?>\n<preis>6 \200 \226 \237</preis>\n'
    keep ascii.xml '<?xml version="1.0" encoding="US-ASCII"?>\n<a>x</a>\n'
    refuses ascii.xml "rkxml: ascii.xml: US-ASCII cannot hold 'é'" set ascii.xml a 'é'
    keep high.xml '<?xml version="1.0" encoding="US-ASCII"?>\n<a>\351</a>\n'
    refuses high.xml 'high.xml:2: refused: byte ?xE9 is not US-ASCII, as declared' format high.xml
    # Other sets are refused, never mixed.
    keep other.xml '<?xml version="1.0" encoding="EUC-JP"?>\n<a>x</a>\n'
    refuses other.xml "other.xml:1: refused: encoding 'EUC-JP' is declared; rkxml converts only UTF-8, US-ASCII, ISO-8859-1 and Windows-1252" format other.xml
    expect 1 '' "rkxml: other.xml: encoding 'EUC-JP' is declared; *" get other.xml a
    # UTF-16 with its byte order mark reads as its UTF-8 text, line ends as XML reads them; written back it
    # would be UTF-8, so format and set refuse it.
    keep utf16.xml
    expect 0 '' '' check utf16.xml
    expect 0 'Zürich — 中文' '' get utf16.xml settings/city
    expect 0 'Zürich  nord' '' get utf16.xml settings/city/@name
    utf16_refused='utf16.xml:1: refused: UTF-16 text (little-endian, with a byte order mark) is saved as UTF-8.'
    expect 1 '' "$utf16_refused" format utf16.xml
    refuses utf16.xml "$utf16_refused" set utf16.xml settings/city Bern
    no_logs
    ;;
refusals)
    # What the reader drops, or a save would not write back, leaves the file as it is, with the line.
    keep mixed.xml
    expect 1 '' "mixed.xml:1: refused: Text of element 'p' is replaced by a later text; only the last one is kept.
mixed.xml:1: refused: Text of element 'p' after a child element is saved before its children." format mixed.xml
    refuses mixed.xml "mixed.xml:1: refused: element 'p' holds text in several places between its children; set would not know which to replace" set mixed.xml p x
    # Reasons of the read and of the save check are printed together, in line order.
    keep late.xml '<?xml version="1.0" standalone="yes"?>\n<a/>\nx\n'
    expect 1 '' 'late.xml:1: refused: XML declaration is saved with its version and encoding only.
late.xml:3: refused: Text outside every element is ignored.' format late.xml
    keep cutoff.xml
    expect 1 '' "cutoff.xml:5: warning: Text after the last tag is ignored.
cutoff.xml:5: warning: Element 'file' is not closed at the end of the text (3 elements are open)." check cutoff.xml
    refuses cutoff.xml "cutoff.xml:5: refused: Text after the last tag is ignored.
cutoff.xml:5: refused: Element 'file' is not closed at the end of the text (3 elements are open)." set cutoff.xml settings/launches 8
    keep doctype.xml
    expect 0 '' '' check doctype.xml
    expect 0 '/usr/share/fonts' '' get doctype.xml fontconfig/dir
    refuses doctype.xml 'doctype.xml:2: refused: DOCTYPE declaration is not kept on saving.' format doctype.xml
    keep notes.txt 'notes, not XML\n'
    ln -s notes.txt planted.xml
    refuses notes.txt 'planted.xml:1: refused: Text outside every element is ignored.' set planted.xml a/b 1
    # Each construct alone: the file's text, the line and the reason.
    while IFS='|' read -r text line reason; do
        keep one.xml "$text"
        refuses one.xml "one.xml:$line: refused: $reason" format one.xml
    done <<'CASES'
\357\273\277<a/>\n|1|Byte order mark is not kept on saving.
<?xml-stylesheet href="s.xsl"?>\n<?xml version="1.0"?>\n<a/>\n|1|Processing instruction is not kept on saving.
<?xml version="1.0"?>\n<a/>\n<?xml version="1.0"?>\n|3|Second XML declaration is not kept on saving.
<a>\n<![CDATA[<b>]]></a>\n|2|CDATA section is saved as text.
<?xml version="1.0" standalone="yes"?>\n<a/>\n|1|XML declaration is saved with its version and encoding only.
<a>x&nbsp;y</a>\n|1|'&nbsp;' is kept as written and saved as '&amp;nbsp;'.
<a t="x&#10;y"/>\n|1|Reference '&#10;' to white space is saved as the character itself.
<p><b>bold</b>\n world</p>\n|2|Text of element 'p' after a child element is saved before its children.
<t><!--c-->30</t>\n|1|Text of element 't' after a comment is saved before its children.
<a b="1" b="2"/>\n|1|Attribute 'b' of element 'a' is given twice; only the last value is kept.
CASES
    no_logs
    ;;
bounds)
    # Devices and FIFOs are read as the library reads them, at once; only regular files are written back.
    ln -s /dev/zero zero.xml && mkfifo fifo.xml
    as_other="timeout 10"
    expect 1 '' 'rkxml: zero.xml: a not found (no top-level element)' get zero.xml a/b
    expect 1 '' 'rkxml: zero.xml: not a regular file; rkxml writes back regular files only' format zero.xml
    expect 1 '' 'rkxml: fifo.xml: a not found (no top-level element)' get fifo.xml a
    expect 1 '' 'rkxml: fifo.xml: not a regular file; rkxml writes back regular files only' set fifo.xml a 1
    as_other=""
    # 20,000 nested elements would be written as about 200 MB (indentation grows with the square of the depth).
    awk 'BEGIN { for (i = 0; i < 20000; i++) printf "<a>"; for (i = 0; i < 20000; i++) printf "</a>" }' >deep.xml
    keep deep.xml "$(cat deep.xml)"
    refuses deep.xml 'rkxml: deep.xml: refused: written back it would take at least 200149995 bytes, more than the bound of 67108864 bytes (--max-size raises it)' format deep.xml
    awk 'BEGIN { for (i = 0; i < 20000; i++) printf "<a>" }' >open.xml
    keep open.xml "$(cat open.xml)"
    refuses open.xml "open.xml:1: refused: Element 'a' is not closed at the end of the text (20000 elements are open)." set open.xml a/b 1
    # 300 KB of them is refused at once, within a gigabyte of address space (where the build allows a limit).
    awk 'BEGIN { for (i = 0; i < 100000; i++) printf "<a>"; for (i = 0; i < 100000; i++) printf "</a>" }' >deeper.xml
    if prlimit --as=1073741824 "$rkxml" --version >/dev/null 2>&1; then as_other="prlimit --as=1073741824"; fi
    expect 1 '' 'rkxml: deeper.xml: refused: written back it would take at least 5000749995 bytes, *' format deeper.xml
    as_other=""
    # --max-size sets the bound, for the file read and the text written, entities counted as written.
    keep small.xml '<a><b>x</b></a>'
    expect 1 '' 'rkxml: small.xml: refused: written back it would take at least 17 bytes, more than the bound of 16 bytes (--max-size raises it)' format --max-size 16 small.xml
    refuses small.xml 'rkxml: small.xml: refused: larger than the bound of 14 bytes (--max-size raises it)' format --max-size 14 small.xml
    keep quoted.xml "<a b='\"\"\"\"\"\"\"\"\"\"'/>"  # ten quotes, written as &quot;
    refuses quoted.xml 'rkxml: quoted.xml: refused: written back it would take at least 68 bytes, *' format --max-size 67 quoted.xml
    expect 0 '' '' format --max-size 17 small.xml  # exactly its written size
    expect 0 '' '' format --max-size 1K small.xml
    holds small.xml '<a>\n <b>x</b></a>'
    for size in lots 0 0K -1; do expect 2 '' 'rkxml: --max-size: *' format --max-size "$size" small.xml; done
    # A file larger than the bound is refused before it is read (2 GiB, sparse), a pipe after one byte more.
    if truncate -s 2G huge.xml 2>/dev/null; then
        if prlimit --as=1073741824 "$rkxml" --version >/dev/null 2>&1; then as_other="prlimit --as=1073741824"; fi
        expect 1 '' 'rkxml: huge.xml: refused: larger than the bound of 1024 bytes (--max-size raises it)' format --max-size 1K huge.xml
        rm huge.xml
    fi
    mkfifo endless.xml && exec 3<>endless.xml && { cat /dev/zero >endless.xml & }  # fd 3: the pipe never ends
    as_other="timeout 10"
    expect 1 '' 'rkxml: endless.xml: cannot be read *' set --max-size 1K endless.xml a 1
    as_other="" && kill $! && exec 3<&-
    no_logs
    ;;
splice)
    # set replaces the bytes of the value, or puts in a missing one, and leaves every other byte: each sample
    # against the file made by hand.
    while IFS='|' read -r name path value; do
        cp "$samples/splice/$name.xml" "$name.xml"
        expect 0 '' '' set "$name.xml" "$path" "$value"
        cmp -s "$name.xml" "$samples/splice/$name.expected" || fail "set $path in $name.xml gave [$(cat "$name.xml")]"
    done <<'CASES'
layout|settings/window/title|Paint & Draw
comments|settings/zoom|2
doctype|settings/zoom|2
pi|settings/zoom|2
cdata|settings/script|a[b[0]]>1
bom|settings/city|Köln
quotes|settings/window/@title|Tom's & "more"
references|settings/name|<b> & c
latin1|einstellungen/stadt|Köln é
windows1252|preis/betrag|6 € – ok
missing-element|settings/theme|dark
missing-attribute|settings/window/@state|max
CASES
    # Mixed text elsewhere stays as written.
    keep mixed.xml
    expect 0 '' '' set mixed.xml p/b x
    holds mixed.xml '<p>Hello <b>x</b> world</p>\n'
    # A value that the reader joins from pieces has no one place to go.
    keep joined.xml '<a>\n  <b>x<![CDATA[y]]>z</b>\n</a>\n'
    refuses joined.xml "joined.xml:2: refused: the value of element 'b' is joined from several pieces (text, CDATA sections, processing instructions); set would not know which to replace" set joined.xml a/b 1
    no_logs
    ;;
*) fail "unknown group $group" ;;
esac
[ "$failures" = 0 ] && echo "$group: all checks passed"
