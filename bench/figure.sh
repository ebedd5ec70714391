# figure NAME VALUE GOAL DETAILS: one line of the benchmark table (see figure.h).
figure() { printf '%-30s %9s  %-9s %s\n' "$1" "$2" "$3" "$4"; }
