#!/usr/bin/env python3
"""Drops the page cache of every file below the folders given (after writing them out).

Benchmarks use it so that each run starts with the same memory free: the pages dropped here are
the ones the next run writes into."""
import os
import sys

os.sync()
for folder in sys.argv[1:]:
    for root, _, files in os.walk(folder):
        for name in files:
            try:
                fd = os.open(os.path.join(root, name), os.O_RDONLY | os.O_NOFOLLOW)
            except OSError:
                continue
            try:
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            finally:
                os.close(fd)
