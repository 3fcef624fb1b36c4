#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a PPD with one option of N choices and N constraints naming them.

Usage: constraints_ppd.py N OUTPUT

A colour printer of model number 10 with a duplex option, so France makes
long-edge duplex the default and the tool asks libcups whether that choice
conflicts with the defaults. libcups looks up the choice of every
constraint with a linear search of its option's choices the first time a
constraint is tested: on this shape, N^2 string compares, unless the tool
leaves out the constraints that cannot bear on its question. The output
depends on the arguments only.
"""

import sys


def main():
    count, output = int(sys.argv[1]), sys.argv[2]
    lines = [
        '*PPD-Adobe: "4.3"',
        '*FormatVersion: "4.3"',
        '*FileVersion: "1.0"',
        '*LanguageVersion: English',
        '*LanguageEncoding: ISOLatin1',
        '*PCFileName: "MANY.PPD"',
        '*Manufacturer: "Acme"',
        '*Product: "(Many)"',
        '*ModelName: "Acme Many"',
        '*ShortNickName: "Acme Many"',
        '*NickName: "Acme Many"',
        '*PSVersion: "(3010.000) 0"',
        '*ColorDevice: True',
        '*cupsModelNumber: 10',
        '*OpenUI *PageSize: PickOne',
        '*DefaultPageSize: Letter',
        '*PageSize Letter/Letter: "<</PageSize[612 792]>>setpagedevice"',
        '*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"',
        '*CloseUI: *PageSize',
        '*DefaultPaperDimension: Letter',
        '*PaperDimension Letter/Letter: "612 792"',
        '*PaperDimension A4/A4: "595 842"',
        '*DefaultImageableArea: Letter',
        '*ImageableArea Letter/Letter: "18 18 594 774"',
        '*ImageableArea A4/A4: "18 18 577 824"',
        '*OpenUI *Duplex: PickOne',
        '*DefaultDuplex: None',
        '*Duplex None/Off: ""',
        '*Duplex DuplexNoTumble/Long Edge: ""',
        '*Duplex DuplexTumble/Short Edge: ""',
        '*CloseUI: *Duplex',
        '*OpenUI *InputSlot: PickOne',
        '*DefaultInputSlot: Auto',
        '*InputSlot Auto/Auto: ""',
        '*InputSlot Manual/Manual: ""',
        '*CloseUI: *InputSlot',
        '*OpenUI *MediaType: PickOne',
        '*DefaultMediaType: M0',
    ]
    lines += ['*MediaType M%d/Media %d: ""' % (i, i) for i in range(count)]
    lines.append('*CloseUI: *MediaType')
    lines += ['*UIConstraints: *MediaType M%d *InputSlot Manual' % i
              for i in range(count)]
    with open(output, 'w', encoding='ascii') as out:
        out.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
