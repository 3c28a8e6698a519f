# -*- coding: utf-8 -*-
# Documentation shared by the modules that run zemta-sign on a station.

from __future__ import annotations


class ModuleDocFragment:
    # The program on the station, and where the modules run.
    DOCUMENTATION = r'''
options:
  executable:
    description:
      - The zemta-sign program on the station.
      - Defaults to C(zemta-sign) (looked up in C(PATH)) on Linux, and to
        C(C:\Program Files\ZEMTA\Stela\zemta-sign.exe), where the installer puts
        it, on Windows.
    type: str
attributes:
  platform:
    description: Runs on Linux stations and on Windows 10/11 stations.
    platforms: [posix, windows]
'''

    # The sign's port, for the modules that speak to the sign.
    PORT = r'''
options:
  port:
    description:
      - The sign's port on the station, C(COM1) ... C(COM255) or a device path.
      - Pin it for every host in the inventory. Without it zemta-sign searches every
        COM port of the station, sending its probe to each, a fiscal printer's included.
    type: str
'''
