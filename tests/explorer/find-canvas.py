#!/usr/bin/env python3
"""Prints "LEFT TOP WIDTH HEIGHT" of the largest white rectangle in a window
screenshot given as raw RGB on standard input (argv: width height): the
explorer's empty canvas."""
import sys

width, height = int(sys.argv[1]), int(sys.argv[2])
data = sys.stdin.buffer.read()
white = b"\xff\xff\xff"
best = {}
for y in range(height):
    row = data[3 * width * y:3 * width * (y + 1)]
    x = 0
    run_start, run_length = 0, 0
    while x < width:
        if row[3 * x:3 * x + 3] == white:
            start = x
            while x < width and row[3 * x:3 * x + 3] == white:
                x += 1
            if x - start > run_length:
                run_start, run_length = start, x - start
        else:
            x += 1
    best[y] = (run_start, run_length)
# The canvas: the longest band of rows whose longest white run is the same wide one.
longest = max(length for _, length in best.values())
rows = [y for y, (_, length) in best.items() if length == longest]
top, bottom = rows[0], rows[0]
while bottom + 1 in best and best[bottom + 1] == best[top]:
    bottom += 1
left, length = best[top]
print(left, top, length, bottom - top + 1)
