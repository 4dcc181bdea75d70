#!/usr/bin/env python3
"""Writes the seed corpus of steps_fuzz (fuzz/corpus/steps/): the step line,
the fault script up to "--", then the parameter file (see steps_fuzz.cpp)."""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', 'steps')

TYPICAL = ('DcInit:1 MobInit:2 OBTInit:3 MakeCall:4 OBTPowervsTime:5 OBTOutputRFSpectrum:6 '
           'OBTRXLevelandQuality:7 OBTChangeTCH:8 OBTChangeTXLevel:9 OBTHandOver:10 '
           'OBTPowervsTime:5 OBTEndCall:11 MobReset:12 MobClose:13')

PARAMETERS = """[1]
GPIB=GPIB0::14::INSTR
Voltage=3.8 // volts
Current=2.5
Reset=1
[2]
ComPort=COM3
BaudRate=115200
Prefix=ULC2
[3]
GPIB=20
Band=900
RF port=1
BCCH=20
BCCH_Power=-85
[Attenuation]
GSM900_Mid_CH=0.7
DCS1800_Mid_CH=1.2
[4]
BCCH=20
[6]
Mod +/-1.80MHZ Enable=0
Swit +/-0.40MHZ Enable=5
[7]
CellPower=-85.5
Delay=100
[8]
TCH=62
[9]
TXLevel=10
[10]
Band=1800
[12]
SwitchToNormal=1
"""

ODD = """[1]
GPIB=""" + "G" * 300 + """
Voltage=12345678901234567890123
Reset=-1
[2]
ComPort=COM-2147483649
Prefix=""" + "p" * 300 + """
[3]
Band=1850
RF port=0
BCCH=-2147483648
BCCH_Power=99999999999
[Attenuation]
GSM850_Low_CH=1e999
PCS1900_High_CH=nan
[4]
BCCH=2147483647
[7]
CellPower=-1e400
Delay=-5
[8]
TCH=4294967296
[10]
Band=1900
"""


def seed(name, steps, faults, parameters):
    os.makedirs(HERE, exist_ok=True)
    with open(os.path.join(HERE, name), 'w') as out:
        out.write(steps + '\n' + ''.join(f + '\n' for f in faults) + '--\n' + parameters)


seed('typical', TYPICAL, [], PARAMETERS)
seed('typical-query-fails', TYPICAL, ['RSCMU_Query=-1073807339@3'], PARAMETERS)
seed('typical-phone-faults', TYPICAL, ['DWD_dut_in_idle=0@2', 'DWD_check_comm_link=0@1+'], PARAMETERS)
seed('typical-supply-fault', TYPICAL, ['viWrite=1073676294@2'], PARAMETERS)
seed('no-handle', 'MakeCall:4 MobReset:12 MobClose:13', ['dcGet_hMobile=1'], PARAMETERS)
seed('handover-first', 'OBTHandOver:10 OBTHandOver:3 OBTPowervsTime:5 OBTEndCall:11 OBTInit:3',
     ['RSCMU_Init_GSM_Sig=-1@2+'], PARAMETERS)
seed('odd-values', TYPICAL + ' OBTHandOver:10', [], ODD)
seed('empty-file', 'OBTInit:-3 MobInit:0 DcInit:7 OBTRXLevelandQuality:2147483647', ['Bad line', '=1'], '')
