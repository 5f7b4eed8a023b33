#!/usr/bin/env python3
"""Checks the include graph of src/ against the layers of the program.

Layers, lowest first: plain logic (QtCore only), the device layer (the serial
line, the instruments), then two peers that must not include each other: the
remote layer (SCPI, metrics, headless) and the windows; the programs' entry
points sit on top. A file includes only files of its own layer or below, and
no two folders of src/ include each other. Only src/link/ touches QSerialPort.
Prints every breach and exits 1 when there is one.

    layers.py [SRC]
"""
import os
import re
import sys

SRC = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', '..', 'src')

# Plain-logic files that live beside the windows that use them.
LOGIC = {'eye/eyelevels', 'xcvr/xcvrlogic', 'wavelength/wavelengthgrid', 'app/options', 'app/display'}
PROGRAMS = {'app/main', 'app/headless_main', 'app/startup'}
RANK = {'logic': 0, 'device': 1, 'remote': 2, 'windows': 2, 'program': 3}


def layer(path):
    stem = os.path.splitext(path)[0]
    folder = path.split('/')[0]
    if stem in PROGRAMS:
        return 'program'
    if stem in LOGIC or folder == 'bert':
        return 'logic'
    if folder in ('link', 'device'):
        return 'device'
    if folder == 'remote':
        return 'remote'
    return 'windows'


def main():
    files = []
    for root, _, names in os.walk(SRC):
        for name in names:
            if name.endswith(('.h', '.cpp')):
                files.append(os.path.relpath(os.path.join(root, name), SRC).replace(os.sep, '/'))
    include = re.compile(r'^\s*#\s*include\s+"([a-z]+/[A-Za-z0-9_]+\.h)"', re.M)
    breaches = []
    folders = {}
    for f in sorted(files):
        text = open(os.path.join(SRC, f), encoding='utf-8').read()
        if re.search(r'\bQSerialPort', text) and not f.startswith('link/'):
            breaches.append(f'{f}: uses QSerialPort outside src/link/')
        for target in include.findall(text):
            if not os.path.exists(os.path.join(SRC, target)):
                continue
            a, b = layer(f), layer(target)
            if RANK[b] > RANK[a] or {a, b} == {'remote', 'windows'}:
                breaches.append(f'{f} ({a}) includes {target} ({b})')
            fa, fb = f.split('/')[0], target.split('/')[0]
            if fa != fb:
                folders.setdefault(fa, set()).add(fb)
    for a, targets in sorted(folders.items()):
        for b in sorted(targets):
            if a < b and a in folders.get(b, set()):
                breaches.append(f'src/{a} and src/{b} include each other')
    for line in breaches:
        print(line)
    if not breaches:
        print(f'{len(files)} files: every include stays in its layer or below')
    return 1 if breaches else 0


if __name__ == '__main__':
    sys.exit(main())
