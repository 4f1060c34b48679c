# What the two scaling tests (the Linux build under Xvfb, the Windows build under Wine) measure on
# their screenshots, and the 1.5 times they hold it to. Sourced after lib.sh.

# Width and height of whatever is not the screens' grey, in pixels: the registration screen's labels,
# boxes and button together.
ink_size() {
  convert "$1" -fill white +opaque "rgb(212,208,200)" -fill black -opaque "rgb(212,208,200)" -trim -format "%w %h" \
    info: 2>/dev/null
}
# Width of the red bar, in pixels.
red_width() { convert "$1" -fill black +opaque "$RED" -trim -format "%w" info: 2>/dev/null; }

# 1.5 times, within the pixels each rounding of an edge may add or take, or 1 % for a line of text,
# whose glyphs' advances are each rounded to whole pixels at their size.
within() {
  awk -v small="$1" -v large="$2" 'BEGIN { slack = 0.015 * small; if (slack < 2) slack = 2;
    exit !(large >= 1.5 * small - slack && large <= 1.5 * small + slack) }'
}
