#!/usr/bin/env python3
"""Prints "LEFT TOP WIDTH HEIGHT" of the largest white rectangle in a window
screenshot given as raw RGB on standard input (argv: width height): the
explorer's canvas before a tree is drawn. A note in its middle (what to type)
may interrupt the white rows; its edges stay white."""
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
def white_at(x, y):
    return data[3 * (width * y + x):3 * (width * y + x) + 3] == white

# The canvas: the longest band of rows whose longest white run is the same
# wide one, or, where a note interrupts it, whose run's ends are white.
longest = max(length for _, length in best.values())
rows = [y for y, (_, length) in best.items() if length == longest]
top, bottom = rows[0], rows[0]
left, length = best[top]
while bottom + 1 in best and (best[bottom + 1] == best[top]
                              or (white_at(left, bottom + 1) and white_at(left + length - 1, bottom + 1)
                                  and any(best[y] == best[top] for y in range(bottom + 2, height)))):
    bottom += 1
print(left, top, length, bottom - top + 1)
