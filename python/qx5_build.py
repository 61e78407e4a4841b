"""A minimal build backend for the pure-Python package qx5: a wheel of qx5/*.py and metadata.

Standard library only, so installing needs neither setuptools nor wheel nor a network.
"""

import base64
import hashlib
import os
import zipfile

NAME, VERSION = "qx5", "2.2.0.18"
TAG = "py3-none-any"
HERE = os.path.dirname(os.path.abspath(__file__))
DIST_INFO = f"{NAME}-{VERSION}.dist-info"

METADATA = f"""Metadata-Version: 2.1
Name: {NAME}
Version: {VERSION}
Summary: Python access to the USB differential pressure gauges through libqx5dll
Requires-Python: >=3.8
"""
WHEEL = f"""Wheel-Version: 1.0
Generator: qx5_build
Root-Is-Purelib: true
Tag: {TAG}
"""


def _sources():
    package = os.path.join(HERE, NAME)
    for name in sorted(os.listdir(package)):
        if name.endswith(".py"):
            with open(os.path.join(package, name), "rb") as f:
                yield f"{NAME}/{name}", f.read()


def _digest(data):
    raw = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(raw).rstrip(b"=").decode()


def get_requires_for_build_wheel(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    target = os.path.join(metadata_directory, DIST_INFO)
    os.makedirs(target, exist_ok=True)
    for name, text in (("METADATA", METADATA), ("WHEEL", WHEEL)):
        with open(os.path.join(target, name), "w") as f:
            f.write(text)
    return DIST_INFO


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    filename = f"{NAME}-{VERSION}-{TAG}.whl"
    files = list(_sources()) + [(f"{DIST_INFO}/METADATA", METADATA.encode()),
                                (f"{DIST_INFO}/WHEEL", WHEEL.encode())]
    record = "".join(f"{name},{_digest(data)},{len(data)}\n" for name, data in files)
    record += f"{DIST_INFO}/RECORD,,\n"
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files + [(f"{DIST_INFO}/RECORD", record.encode())]:
            wheel.writestr(name, data)
    return filename
