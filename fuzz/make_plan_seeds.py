#!/usr/bin/env python3
"""Writes the seed corpus of plan_fuzz (fuzz/corpus/plan/): a command line,
its arguments separated by NUL, then two NULs and a plan (see plan_fuzz.cpp)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'corpus', 'plan')
PLAN = 'DcInit 1 1=1\n# comment\nMobInit 2 1=1\nOBTPowervsTime 5 1=30..36 4=-1..1 5=1\nOBTOutputRFSpectrum 6 1-2=..0.5 7-22=..-60\n'
LINE = ['--params', 'station.ini', '--fast', 'typical.plan']

SEEDS = {
    'typical': (LINE, open(os.path.join(HERE, '..', 'examples', 'typical.plan'), 'rb').read().decode()),
    'crlf': (LINE, PLAN.replace('\n', '\r\n')),
    'cr-only': (LINE, PLAN.replace('\n', '\r')),
    'bom': (LINE, '\ufeff' + PLAN),
    'no-final-newline': (LINE, PLAN.rstrip('\n')),
    'long-line': (LINE, 'DcInit 1 1=' + '7' * 5000 + 'x\n'),
    'many-bad-lines': (LINE, 'Nope 1\n' * 40),
    'control-bytes': (['--params', 's.ini', '--station', '\x1b[2Jline\x07', 't.plan'], 'OBT\x1b]0;x\x07Init 2\n'),
    'utf8': (['--params', 'L\u00ednea-\u20ac.ini', 't.plan'], 'DcInit 1 # L\u00ednea-\u20ac\n'),
    'twice': (['--params', 'a.ini', '--params=b.ini', '--json', 'r.json', 't.plan'], PLAN),
    'fault-typo': (['--params', 's.ini', '--fault', 'viOpenn=-1', 't.plan'], PLAN),
    'fault-wide': (['--params', 's.ini', '--fault', 'viOpen=4294967296@2+', 't.plan'], PLAN),
    'fault-list': (['--fault', 'list'], ''),
    'strict': (['--params', 's.ini', '--strict', '--keep-going', '--fault', 'RSCMU_Init_Base=-1@1+', 't.plan'], PLAN),
    'non-finite-limits': (LINE, 'DcInit 1 1=inf\nOBTInit 3 1=nan..\nMobInit 2 1=..1e400 2=-0..0\n'),
}

os.makedirs(OUT, exist_ok=True)
for name, (args, plan) in SEEDS.items():
    with open(os.path.join(OUT, name), 'wb') as f:
        f.write('\0'.join(args).encode('utf-8', 'surrogateescape') + b'\0\0' + plan.encode('utf-8'))
