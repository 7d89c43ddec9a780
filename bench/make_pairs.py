#!/usr/bin/env python3
"""Makes pairs of files shaped as real releases are, each an old and a new
version, into the folder named: two -O2 builds of a C program that differ
by one function (prog-1, prog-2) and one whose two functions swap places
(prog-swapped); a tar whose member grew by 83 bytes in the middle; a SQLite
database before and after 100 rows were added; a block of 40,000 bytes
moved within a 1 MiB file. A pair that needs what the machine lacks (a C
compiler, Python's sqlite3) is left out. Prints the pairs made, a line
each: NAME OLD NEW."""
import io
import os
import random
import shutil
import subprocess
import sys
import tarfile

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
made = []


def path(name):
    return os.path.join(folder, name)


def program(change_one, swap_two):
    lines = ['#include <stdio.h>']
    for k in range(400):
        if change_one and k == 200:
            lines.append(f'int f{k}(int x) {{ int s = 1; for (int i = 0; i < x; i += 2) {{ '
                         f's += (i * {k + 5}) ^ (s << 2); if (s > 1000) puts("big {k}"); }} '
                         f'printf("f{k} changed %d\\n", s); return s - {k}; }}')
        else:
            lines.append(f'int f{k}(int x) {{ int s = 0; for (int i = 0; i < x; i++) '
                         f's += (i * {k + 3}) ^ (s >> {k % 7 + 1}); '
                         f'printf("f{k} %d\\n", s); return s + {k}; }}')
    if swap_two:
        lines[101], lines[301] = lines[301], lines[101]
    lines.append('int main(int c, char **v) { int t = 0;')
    lines += [f'  t += f{k}(c);' for k in range(400)]
    lines.append('  return t & 1; }')
    return '\n'.join(lines) + '\n'


compiler = shutil.which('cc') or shutil.which('gcc')
if compiler:
    for name, change, swap in [('prog-1', False, False), ('prog-2', True, False),
                               ('prog-swapped', False, True)]:
        # Each build from a source of the same name, as a project's releases
        # are: the name is in the symbol table.
        sources = path(name + '-source')
        os.makedirs(sources, exist_ok=True)
        with open(os.path.join(sources, 'prog.c'), 'w') as source:
            source.write(program(change, swap))
        subprocess.check_call([compiler, '-O2', '-o', path(name), 'prog.c'], cwd=sources)
    made += [('program', 'prog-1', 'prog-2'), ('swapped', 'prog-1', 'prog-swapped')]


def tarball(name, grow):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode='w', format=tarfile.USTAR_FORMAT) as tar:
        for k in range(60):
            text = ''.join(f'export function part{k}_{j}(value) {{ return value + {j}; }}\n'
                           for j in range(20 + k % 13))
            if grow and k == 30:
                middle = len(text) // 2
                text = text[:middle] + '/* grown */'.ljust(82, '.') + '\n' + text[middle:]
            member = tarfile.TarInfo(f'package/part{k}.js')
            member.size = len(text.encode())
            member.mtime = 1700000000
            tar.addfile(member, io.BytesIO(text.encode()))
    with open(path(name), 'wb') as out:
        out.write(data.getvalue())


tarball('tree-1.tar', False)
tarball('tree-2.tar', True)
made.append(('tar', 'tree-1.tar', 'tree-2.tar'))

try:
    import sqlite3
except ImportError:
    sqlite3 = None
if sqlite3:
    def rows(seed, first, count):
        numbers = random.Random(seed)
        return [(first + i, 'name%06d' % numbers.randrange(10**6), numbers.random())
                for i in range(count)]
    for name in ['db-1.sqlite', 'db-2.sqlite']:
        if os.path.exists(path(name)):
            os.remove(path(name))
    db = sqlite3.connect(path('db-1.sqlite'))
    db.execute('create table t(id integer primary key, name text, value real)')
    db.execute('create index by_name on t(name)')
    db.executemany('insert into t values(?, ?, ?)', rows(3, 0, 8000))
    db.commit()
    db.close()
    shutil.copy(path('db-1.sqlite'), path('db-2.sqlite'))
    db = sqlite3.connect(path('db-2.sqlite'))
    db.executemany('insert into t values(?, ?, ?)', rows(4, 8000, 100))
    db.commit()
    db.close()
    made.append(('sqlite', 'db-1.sqlite', 'db-2.sqlite'))

numbers = random.Random(9)
base = bytes(numbers.randrange(256) for _ in range(1 << 20))
with open(path('block-1.bin'), 'wb') as out:
    out.write(base)
with open(path('block-2.bin'), 'wb') as out:
    out.write(base[:300000] + base[340000:700000] + base[300000:340000] + base[700000:])
made.append(('moved', 'block-1.bin', 'block-2.bin'))

for name, old, new in made:
    print(name, path(old), path(new))
