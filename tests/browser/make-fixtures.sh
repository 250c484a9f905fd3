#!/bin/sh
# Makes the three small pictures the browser test copies under hostile names.
set -e
cd "$(dirname "$0")/fixtures"
/usr/bin/convert -size 40x30 gradient:'#3060c0-#f0d040' -strip -quality 80 small.jpg
/usr/bin/convert -size 32x24 pattern:checkerboard -colors 4 -strip small.gif
/usr/bin/convert -size 36x28 plasma:fractal -seed 7 -depth 8 -strip small.png
# A 4000 x 3000 photo stand-in for the modern style's display copies.
/usr/bin/convert -size 4000x3000 gradient:'#204080-#e0a040' -quality 40 -strip big.jpg
