#!/usr/bin/env python3
"""Builds an update site for Netrefit: module archives made with Info-ZIP, the server
information file with their sizes and MD5 digests, a client settings file, and the registry
state of an older installed suite.

    make-site.py --standin StandinSetup.exe --out DIR --url http://127.0.0.5/ [--big-mib N]

DIR receives:
    Version_English.ini       server information file (served with Basic authentication),
    Version_German.ini ...    the same under every application language's name
    modules/*.zip             the modules (NoSetup.zip: a launcher without "Setup.exe")
    Netrefit.ini              settings for a client that uses this site
    installed.reg             registry of an installed suite older than the site's
    expected-files.txt        every file the modules unpack, relative to the extraction folder
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys

PASSWORD = "melorra"
# The application languages; English is built into the program, the others ship a library.
LANGUAGES = ["English", "Japanese", "French", "German", "Italian", "Spanish", "Korean", "SChinese"]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def noise(size, seed):
    rng = random.Random(seed)
    # Half random, half repetitive: deflate has something to do, and something to gain.
    half = size // 2
    return rng.randbytes(half) + (b"Melorra demo module data. " * (size // 26 + 1))[: size - half]


def make_zip(staging, archive, members, options):
    """Packs the members (relative paths under staging) with Info-ZIP zip."""
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["zip", "-q", "-X", *options, archive, *members], cwd=staging, check=True)


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def build_modules(out, standin, big_mib):
    staging = os.path.join(out, "staging")
    shutil.rmtree(staging, ignore_errors=True)
    modules = os.path.join(out, "modules")
    os.makedirs(modules, exist_ok=True)
    expected = []

    def stage(rel, data):
        write(os.path.join(staging, rel), data)
        expected.append(rel)
        return rel

    extra = big_mib * 1024 * 1024 // 4
    main = [
        stage("Melorra/Melorra.exe", noise(300_000 + extra, 1)),
        stage("Melorra/Skins/Default/skin.xml", b"<skin name='Default'/>\r\n" * 40),
        stage("Melorra/readme.txt", b"Melorra 2.1 demonstration files.\r\n"),
        stage("Melorra/empty.dat", b""),
    ]
    make_zip(staging, os.path.join(modules, "Melorra.zip"), main, ["-9"])
    common = [stage("Common/melcommon.dll", noise(200_000 + extra, 2))]
    make_zip(staging, os.path.join(modules, "CommonLib.zip"), common, ["-0"])
    addon = [
        stage("Addons/nocddb.dll", noise(120_000 + extra, 3)),
        stage("Addons/nocddb.txt", b"Extension without CD lookup.\r\n"),
    ]
    make_zip(staging, os.path.join(modules, "Extension.zip"), addon, ["-P", PASSWORD])
    player = [stage("Player/keldra.dat", noise(150_000 + extra, 4))]
    make_zip(staging, os.path.join(modules, "SecureModule.zip"), player, ["-6"])

    # The stand-in installer checks every unpacked file against its digest.
    shutil.copyfile(standin, os.path.join(staging, "Setup.exe"))
    check = "standin-check.txt"
    lines = "".join(f"{md5_of(os.path.join(staging, p))} {p.replace('/', chr(92))}\r\n"
                    for p in expected)
    write(os.path.join(staging, check), lines.encode())
    expected += ["Setup.exe", check]
    make_zip(staging, os.path.join(modules, "SetupStarter.zip"), ["Setup.exe", check], [])
    # A launcher module without the installer, for sites that must fail at the hand-off.
    stage("readme-nosetup.txt", b"This module has no installer.\r\n")
    expected.pop()
    make_zip(staging, os.path.join(modules, "NoSetup.zip"), ["readme-nosetup.txt"], [])
    shutil.rmtree(staging)
    return sorted(p.replace("/", "\\") for p in expected)


def section(name, version, url, path):
    return (f"[{name}]\r\nVersion={version}\r\npath={url}modules/{os.path.basename(path)}\r\n"
            f"Size={os.path.getsize(path)}\r\nMD5={md5_of(path)}\r\n\r\n")


def write_server_file(out, url):
    m = lambda name: os.path.join(out, "modules", name)
    text = ("[Settings]\r\nFreeCDDB=0\r\nML=2.0.0.0\r\nMLDW=\r\nMLP=\r\nKDPL=\r\nConnect=0\r\n\r\n"
            + section("KeldraSecureModule", "3.1.0.0", url, m("SecureModule.zip"))
            + section("MelorraCommonLibrary", "1.5.0.0", url, m("CommonLib.zip"))
            + section("Melorra", "2.1.0.0", url, m("Melorra.zip"))
            + section("MelorraAddonNocddb", "1.1.0.0", url, m("Extension.zip"))
            + section("LauncherMl", "2.1.0.0", url, m("SetupStarter.zip"))
            + "[UpdateAgent]\r\nVersion=1.1.0.3240\r\n")
    for language in LANGUAGES:
        write(os.path.join(out, f"Version_{language}.ini"), text.encode())


def write_client_files(out, url):
    write(os.path.join(out, "Netrefit.ini"), (
        "[Setup]\r\n"
        f"Server={url}\r\n"
        "Version=1.1\r\n"
        "SupportOS=127\r\n"
        f"SupportApplicationLang={','.join(LANGUAGES)}\r\n"
        "SupportOSLang=\r\n"
        "NonSupportOSLang=\r\n"
        "\r\n[Resource]\r\nEnglish=\r\n"
        + "".join(f"{name}=Netrefit{name}.dll\r\n" for name in LANGUAGES[1:])).encode())
    uninstall = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
    tavrin = r"HKEY_LOCAL_MACHINE\Software\Tavrin Corporation"
    write(os.path.join(out, "installed.reg"), (
        "REGEDIT4\r\n\r\n"
        f"[{uninstall}\\{{5A1C0E77-3B2D-4C4E-9F10-2B6D8E41A0C3}}]\r\n"
        "\"UninstallString\"=\"C:\\\\Program Files\\\\Tavrin\\\\Melorra\\\\Uninstall.exe\"\r\n\r\n"
        f"[{tavrin}\\Melorra\\Jukebox]\r\n"
        "\"InstalledPath\"=\"C:\\\\Program Files\\\\Tavrin\\\\Melorra\\\\Melorra.exe\"\r\n\r\n"
        f"[{tavrin}\\Melorra\\Version]\r\n@=\"2.0.0.123\"\r\n\r\n"
        f"[{tavrin}\\Keldra]\r\n\"InstallerVersion\"=\"3.0.0.0\"\r\n\r\n"
        f"[{tavrin}\\Shared Info\\AppDB\\Melorra Common Library]\r\n\"Version\"=\"1.4.0.0\"\r\n\r\n"
        f"[{tavrin}\\Melorra\\Addon\\{{9B36F0D4-2E81-47C5-8D6A-0F4B1C93E7A2}}]\r\n"
        "\"UninstallCount\"=dword:00000000\r\n\"Version\"=\"1.0.0.0\"\r\n\r\n").encode())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--standin", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--url", required=True, help="base URL of the site, ending in /")
    parser.add_argument("--big-mib", type=int, default=0, help="add N MiB spread over the modules")
    args = parser.parse_args()
    url = args.url if args.url.endswith("/") else args.url + "/"
    os.makedirs(args.out, exist_ok=True)
    expected = build_modules(args.out, args.standin, args.big_mib)
    write_server_file(args.out, url)
    write_client_files(args.out, url)
    write(os.path.join(args.out, "expected-files.txt"), "".join(p + "\n" for p in expected).encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
