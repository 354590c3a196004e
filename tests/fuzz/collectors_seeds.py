#!/usr/bin/env python3
"""Writes the seeds of collectors_fuzz: one per collector, holding values a
Wine run and the recorded fixtures show.

FuzzedDataProvider takes texts and byte blocks from the front of the input
and numbers and flags from the back. A seed is the collector's index, then
its texts in the order the target fills the source, then a tail of one
repeated byte that answers every number: 0x01 makes every flag true and
every count one, so each list holds one record of the texts given.
Run from the repository root: python3 tests/fuzz/collectors_seeds.py
"""
import pathlib

OUT = pathlib.Path(__file__).parent / "corpus" / "collectors_fuzz"
# Index of each collector in the target's table.
INDEX = {"drivers": 0, "network": 1, "display": 2, "devices": 3, "windows": 4, "microsoft": 5,
         "platform": 6, "tpm": 7, "cpu": 8, "storage": 9, "vm": 10, "crosschecks": 11}


FIXTURES = pathlib.Path(__file__).parents[1] / "fixtures"


def seed(collector, texts, tail=0x01, tail_bytes=512):
    """texts: str are texts; bytes are a byte block (a blob the source reads)."""
    front = bytearray()
    for t in texts:
        if isinstance(t, bytes):
            front += t
            continue
        raw = t.encode()
        # A backslash followed by anything else ends a text; a doubled one is kept.
        front += raw.replace(b"\\", b"\\\\") + b"\\|"
    return bytes([INDEX[collector]]) + bytes(front) + bytes([tail]) * tail_bytes


SEEDS = {
    "drivers_wine_builtin_unsigned": seed("drivers", [
        "", "winebus", "Wine Bus Enumerator", r"C:\windows\system32\drivers\winebus.sys", "Wine",
        "Wine Bus Enumerator", "9.0", "unsigned", "", "", "no signature"]),
    "network_wine_ethernet_profile_bluetooth_modem": seed("network", [
        "Wine Ethernet Adapter", "{8E6A8D64-0C9B-4F0C-9E2A-2C1F3B4A5D6E}", "lan",
        "Network", "Wine Bluetooth Radio", "Headset", "HRESULT 0x80070490: Element not found.",
        "356938035643809", "\\\\?\\MBN#1", "Wine", "Modem", "1.0"]),
    "display_wine_adapter_and_dxgi": seed("display", [
        "Wine GPU", r"PCI\VEN_1002&DEV_67DF", "Wine", "31.0.101.4502",
        "AMD Radeon RX 580", "Ellesmere", "{5B45201D-F2F2-4F3B-85BB-30FF1F953599}", "{A1B2}", "x16 Gen3",
        "AMD Radeon RX 580 Series", r"\\.\DISPLAY1"]),
    "devices_wine_usb_and_pci": seed("devices", [
        "", "USB", "USB Input Device", "(Standard system devices)", r"USB\VID_046D&PID_C077",
        "Wine", "10.0.19041.1", "HidUsb", "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}", ""]),
    "windows_wine_currentversion_and_cert": seed("windows", [
        "Windows 10 Pro", "Professional", "22H2", "19045", "19045",
        "19041.1.amd64fre.vb_release.191206-1406", "Client", "00330-80000-00000-AA000",
        "ffffffff-ffff-ffff-ffff-ffffffffffff", "Wine", "",
        "7b1e3c0a-5d2f-4f6e-9a7b-8c9d0e1f2a3b", "S-1-5-21-0-0-0", "", "", "", "",
        "{846ee340-7039-11de-9d20-806e6f6e6963}", "WINEHOST",
        "Windows 10 Pro", "Windows 10 Pro", "21H2", "19044", "19044", "Professional", "Client", "", "",
        "S-1-5-21-0-0-0-1000", "wineuser", "S-1-5-21-0-0-0-1000", r"C:\users\wineuser",
        "Root", "", "CN=Microsoft Root Certificate Authority 2010", "CN=Microsoft Root Certificate Authority 2010",
        "1.2.840.113549.1.1.1", "DF545BF919A2439C36983B54CDFC903DFA4F37D3996D8D84B4C31EEC6F3C163E",
        "", "00", "", "", "en-US", "Pacific Standard Time", "en-US", "00000409", "00000409", "",
        "United States", "244", "ChromeHTML", "", "", "IMAGE_STATE_COMPLETE"]),
    "microsoft_wine_no_accounts": seed("microsoft", [
        "S-1-5-21-0-0-0-1000", "{00000000-0000-0000-0000-000000000000}", "", "",
        "S-1-5-21-0-0-0-1000", "", "", "Windows(R), Professional edition", "RETAIL", "wineuser", "WORKGROUP"]),
    "platform_wine_legacy_bios_defender": seed("platform", [
        "", "Windows Defender", "Thu, 10 Dec 2026 20:00:00 GMT"]),
    "tpm_ek_cache_certificate": seed("tpm", [
        "RSA (Windows cache)", (FIXTURES / "tpm" / "ek-cert.der").read_bytes()]),
    "tpm_measured_boot_log": seed("tpm", [(FIXTURES / "tpm" / "boot-agile.log").read_bytes()]),
    "cpu_update_revision_and_hypervisor_leaves": seed("cpu", ["Unified"]),
    "storage_one_disk_system_volume": seed("storage", [
        "", "Element not found.", "C:\\", "Windows", "NTFS",
        r"\\?\Volume{3f8a0c2e-0000-0000-0000-100000000000}\\", ""]),
    "vm_wine_registry_and_processes": seed("vm", [
        "VBoxGuest", r"C:\windows", r"C:\Program Files", "explorer.exe", "winedevice.exe"]),
    "crosschecks_uuid_and_serial": seed("crosschecks", [
        "smbios.uuid", "4C4C4544-0035-3910-8058-B4C04F4A4B32",
        "4C4C4544-0035-3910-8058-B4C04F4A4B32", "To be filled by O.E.M."]),
}


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (OUT / name).write_bytes(data)


if __name__ == "__main__":
    main()
