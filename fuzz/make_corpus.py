#!/usr/bin/env python3
"""Writes the options fuzzer's seed inputs into fuzz/corpus/options (layout: OptionsInput.h)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "options")

NAMES = ["RunKelvane", "ConfirmShutdown", "DefaultConfirmYes", "LogDebug", "ShutdownType",
         "WaitMinutes", "LogDir", "AppPath", "KelvanePath", "SelectedScreenSaver",
         "ShutdownHwnd", "", "Unrelated"]
NUMBERS = [0, 1, -1, 2, 7, 20, 30, 600, 0x7FFF, 0x8000, -0x8000, -0x8001, 0xFFFF, 0x10000,
           0x7FFFFFFF, -0x80000000, 0xFFFFFFFF, 0x100000000, 0x7FFFFFFFFFFFFFFF, -(1 << 63),
           32767 * 60, -3, 5, 0x30042]
# Names 16 and up are values of the policy key.
POLICY_NAMES = ["RunKelvane", "KelvanePath", "ConfirmShutdown", "DefaultConfirmYes",
                "SelectedScreenSaver", "ShutdownType", "WaitMinutes", "HoldForPowerRequests",
                "HoldForOtherSessions", "", "Unrelated"]
OPTIONS, HANDLES, PEMROSE, KELVANE = range(4)
SZ, EXPAND_SZ, BINARY, DWORD, QWORD = 1, 2, 3, 4, 11


def head(saver=True, launcher=True, manager=True, pictures=True, runs=0):
    return bytes([saver | launcher << 1 | manager << 2 | pictures << 3 | runs << 4])


def rec(key, name, typ, data, lower=False):
    which = key | NAMES.index(name) << 2 | (0x80 if lower else 0)
    assert len(data) < 0x80
    return bytes([which, typ, len(data)]) + data


def num(key, name, typ, number, width=4, lower=False):
    which = key | NAMES.index(name) << 2 | (0x80 if lower else 0)
    return bytes([which, typ, 0x80 | NUMBERS.index(number), width])


def long(key, name, typ, steps, fill, nul):
    which = key | NAMES.index(name) << 2
    return bytes([which, typ, 0xC0 | (steps >> 16), (steps >> 8) & 0xFF, steps & 0xFF,
                  fill, 1 if nul else 0])


def policy(name, typ, data):
    assert len(data) < 0x80
    return bytes([(16 + POLICY_NAMES.index(name)) << 2, typ, len(data)]) + data


def policy_num(name, typ, number, width=4):
    return bytes([(16 + POLICY_NAMES.index(name)) << 2, typ, 0x80 | NUMBERS.index(number), width])


def policy_long(name, typ, steps, fill):
    return bytes([(16 + POLICY_NAMES.index(name)) << 2, typ, 0xC0 | (steps >> 16),
                  (steps >> 8) & 0xFF, steps & 0xFF, fill, 0])


def text(key, name, value, typ=SZ):
    return rec(key, name, typ, value.encode() + b"\0")


SAVER = "C:\\Windows\\system32\\Mystify.scr"
APP = "C:\\Program Files\\Somnivex"
KELV = "C:\\Program Files\\Brellcor\\Kelvane.exe"

seeds = {
    "first-start": head(),
    "first-start-without-blank": head(saver=False),
    "restart-after-one-minute": head() + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + text(OPTIONS, "AppPath", APP) + num(OPTIONS, "WaitMinutes", DWORD, 1)
    + num(OPTIONS, "ShutdownType", DWORD, 2),
    "launcher-ms-dos-mode": head() + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "RunKelvane", DWORD, -1) + text(OPTIONS, "KelvanePath", KELV)
    + num(OPTIONS, "ShutdownType", DWORD, 20) + num(OPTIONS, "WaitMinutes", DWORD, 2)
    + num(HANDLES, "ShutdownHwnd", DWORD, 0x30042),
    "numbers-at-the-bounds": head(runs=3) + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "WaitMinutes", DWORD, 0x8000) + num(OPTIONS, "ShutdownType", DWORD, -0x8001)
    + num(OPTIONS, "RunKelvane", DWORD, 0x10000, width=3) + num(OPTIONS, "LogDebug", QWORD, -1, 8)
    + num(OPTIONS, "ConfirmShutdown", DWORD, 5, width=8) + num(HANDLES, "ShutdownHwnd", DWORD, 0x7FFFFFFF),
    "wrong-types-and-nuls": head() + rec(OPTIONS, "SelectedScreenSaver", SZ, SAVER.encode() + b"\0junk")
    + text(OPTIONS, "AppPath", APP, EXPAND_SZ) + rec(OPTIONS, "KelvanePath", BINARY, b"\x01\x02\0\x03")
    + rec(OPTIONS, "LogDir", SZ, b"") + num(OPTIONS, "WaitMinutes", DWORD, -3)
    + num(OPTIONS, "DefaultConfirmYes", 0, 0) + num(OPTIONS, "ConfirmShutdown", DWORD, -1),
    "long-values": head(runs=1) + long(OPTIONS, "SelectedScreenSaver", SZ, 3200, ord("A"), False)
    + long(OPTIONS, "LogDir", SZ, 1024, ord("x"), True) + long(OPTIONS, "WaitMinutes", DWORD, 1, 7, False)
    + long(PEMROSE, "AppPath", SZ, 100, ord("p"), True),
    "no-by-default-and-case": head(runs=2) + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "ConfirmShutdown", DWORD, -1, lower=True) + num(OPTIONS, "DefaultConfirmYes", DWORD, 0)
    + num(OPTIONS, "DefaultConfirmYes", DWORD, 0, lower=True)
    + num(OPTIONS, "WaitMinutes", DWORD, 600),
    "launcher-paths": head(saver=False) + text(PEMROSE, "AppPath", "")
    + text(KELVANE, "AppPath", KELV) + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "WaitMinutes", DWORD, 32767 * 60) + rec(OPTIONS, "", SZ, b"default value"),
    "unlisted-type-and-stray-values": head() + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "WaitMinutes", DWORD, 1) + num(OPTIONS, "ShutdownType", DWORD, 0x7FFF)
    + rec(OPTIONS, "Unrelated", 7, b"a\0b\0\0") + num(OPTIONS, "RunKelvane", DWORD, 0, width=0),
    "policy-one-minute-over-thirty": head() + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "WaitMinutes", DWORD, 30) + policy_num("WaitMinutes", DWORD, 1)
    + policy_num("ShutdownType", DWORD, 2) + policy_num("HoldForOtherSessions", DWORD, 0),
    "policy-refused-values": head(runs=2) + text(OPTIONS, "SelectedScreenSaver", SAVER)
    + num(OPTIONS, "WaitMinutes", DWORD, 2) + policy_num("WaitMinutes", DWORD, 0)
    + policy_num("ShutdownType", DWORD, 20) + policy("RunKelvane", SZ, b"1\0")
    + policy_long("SelectedScreenSaver", SZ, 17, ord("s"))
    + policy("KelvanePath", EXPAND_SZ, b"%SystemRoot%\\Kelvane.exe\0")
    + policy_num("DefaultConfirmYes", DWORD, 0, width=3) + policy("", SZ, b"\0"),
}

os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds, {sum(len(d) for d in seeds.values())} bytes")
