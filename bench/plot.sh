#!/bin/sh
# Draws the throughput chart from the data files that rkxml_bench --results writes:
# read-from-memory and write rates per library, one bar per corpus, log scale.
# usage: plot.sh RESULTS_DIR OUTPUT.svg
set -eu
results=${1:?usage: plot.sh RESULTS_DIR OUTPUT.svg}
output=${2:?usage: plot.sh RESULTS_DIR OUTPUT.svg}
if ! command -v gnuplot >/dev/null 2>&1; then
    echo "plot.sh: gnuplot not found (bench/setup.sh installs it); no chart drawn" >&2
    exit 0
fi
for file in read.dat write.dat; do
    [ -s "$results/$file" ] || { echo "plot.sh: $results/$file is missing" >&2; exit 1; }
done
# The columns (corpora) with at least one figure; each keeps its colour in both panels.
present() {
    awk 'NR == 1 { n = NF; next }
         { for (i = 2; i <= NF; i++) if ($i != "NaN") seen[i] = 1 }
         END { for (i = 2; i <= n; i++) if (i in seen) printf "%d ", i }' "$1"
}
read_columns=$(present "$results/read.dat")
write_columns=$(present "$results/write.dat")
# SVG for the README; PNG (by the file name) for a quick look.
case $output in
    *.png) terminal='pngcairo size 960,760 font "sans,10" background rgb "white"' ;;
    *) terminal='svg size 960,760 dynamic font "sans,12" background rgb "white"' ;;
esac

gnuplot <<GNUPLOT
set terminal $terminal
set output "$output"
set multiplot layout 2,1 title "MB of input per second, median of the timed rounds (log scale; higher is faster)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set logscale y
set yrange [1:*]
set format y "%g"
set grid ytics
set key outside right top vertical title "corpus"
set ylabel "MB/s"
set xtics nomirror
set title "read from memory into a tree"
plot for [c in "$read_columns"] "$results/read.dat" using (column(int(c))):xtic(1) title columnheader(int(c)) linecolor int(c)
set title "write the tree to a file"
plot for [c in "$write_columns"] "$results/write.dat" using (column(int(c))):xtic(1) title columnheader(int(c)) linecolor int(c)
unset multiplot
GNUPLOT
echo "chart: $output"
