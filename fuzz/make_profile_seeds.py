#!/usr/bin/env python3
"""Writes the seed corpus of profile_fuzz (fuzz/corpus/profile/).

A seed is laid out as FuzzedDataProvider reads it: section, key and default as
strings ended by a backslash and one more character, then the file's contents;
the numbers come from the back, little-endian, the first one read last.
"""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', 'profile')


def seed(name, section, key, default, contents, size=255, idef=-85, real=1.5, fdef=-100.0):
    head = (section + '\\;' + key + '\\;' + default + '\\;').encode('latin-1')
    tail = struct.pack('<f', fdef) + struct.pack('<d', real) + struct.pack('<i', idef) + \
        struct.pack('<H', size)
    with open(os.path.join(HERE, name), 'wb') as out:
        out.write(head + contents + tail)


STATION = b"""[1]
GPIB=GPIB0::14::INSTR
Voltage=3.8 // volts
Current=2.5
Reset=1

[2]
ComPort=COM3 // the fixture's port
BaudRate=115200
Prefix=ULC2/* the configuration */

[Attenuation]
GSM850_Low_CH=1.3
GSM900_Mid_CH=0.5

[3]
GPIB=20
Band=900
RF port=2
BCCH=20
BCCH_Power=-85

[9]
Mod +/-0.10MHZ Enable=1
Swit +/-1.80MHZ Enable=0
CellPower=-85.5dB
Delay=100
"""

os.makedirs(HERE, exist_ok=True)
seed('station-comport', '2', 'ComPort', '', STATION)
seed('station-voltage', '1', 'Voltage', '4', STATION, size=20)
seed('station-attenuation', 'attenuation', 'gsm850_low_ch', '', STATION, real=1e300)
seed('station-spaced-key', '9', 'Mod +/-0.10MHZ Enable', '', STATION, idef=1)
seed('station-cellpower', '9', 'CellPower', '', STATION, fdef=float('inf'))
seed('crlf-bom', '3', 'Band', '900', b"\xef\xbb\xbf[3]\r\nBand = 1800 \r\n[4]\r\nBand=850", size=4)
seed('quotes', 'a', 'k', 'x', b"[a]\nk=\" //quoted \"\nj='/*'\n", size=1)
seed('long-value', '1', 'Prefix', '', b"[1]\nPrefix=" + b"p" * 600 + b"\n", size=300)
seed('no-equals', '7', 'Key', 'dflt  \t', b"[7]\nKey\n[7]\nKey=second\n", size=0)
seed('numbers', '-3', 'TCH', '', b"[-3]\nTCH=  -2147483649x\nCellPower=1e-999\n", idef=0)
seed('comment-default', 'x', 'missing', ' \t/*a//b', b"[x]\n", real=float('nan'))
seed('empty', '', '', '', b"", size=2)
