"""The build backend of pyproject.toml (PEP 517): builds the library and
the module with CMake and packs the package `mosaro` into a wheel.

It uses the standard library only and asks for nothing to be installed, so
that `pip install .` and `python3 -m build --no-isolation` work offline with
the system's CMake, compiler, pybind11 and numpy.

    config settings (pip --config-settings, build -C) and environment:
    build-dir  / MOSARO_BUILD_DIR   the CMake build directory, kept between
               builds so that a rebuild compiles only what changed
               (default build/wheel in the source tree)
    cmake-args / CMAKE_ARGS         more CMake arguments (-DMOSARO_WERROR=ON)
    CMAKE_BUILD_PARALLEL_LEVEL      compile jobs (default: every core)
    CMAKE_CXX_COMPILER_LAUNCHER     e.g. ccache, read by CMake itself
"""

import base64
import hashlib
import io
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import zipfile

_SOURCE = os.getcwd()  # PEP 517 runs every hook in the source tree
_NAME = "mosaro"


def _version():
    with open(os.path.join(_SOURCE, "include", "mosaro.h")) as header:
        parts = dict(re.findall(r"#define MOSARO_VERSION_(MAJOR|MINOR|PATCH) (\d+)", header.read()))
    return "%s.%s.%s" % (parts["MAJOR"], parts["MINOR"], parts["PATCH"])


def _project():
    try:
        import tomllib
    except ImportError:  # Python before 3.11
        import tomli as tomllib
    with open(os.path.join(_SOURCE, "pyproject.toml"), "rb") as f:
        return tomllib.load(f)["project"]


def _metadata():
    project = _project()
    lines = ["Metadata-Version: 2.1", "Name: %s" % project["name"], "Version: %s" % _version(),
             "Summary: %s" % project["description"], "Requires-Python: %s" % project["requires-python"]]
    lines += ["Requires-Dist: %s" % d for d in project.get("dependencies", [])]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append("Provides-Extra: %s" % extra)
        lines += ['Requires-Dist: %s; extra == "%s"' % (r, extra) for r in requirements]
    return "\n".join(lines) + "\n"


def _tag():
    """The wheel's tag: this CPython's version and ABI, this platform."""
    if sys.implementation.name != "cpython":
        raise RuntimeError("mosaro's wheel is built for CPython (got %s)" % sys.implementation.name)
    python = "cp%d%d" % sys.version_info[:2]
    abi = python + ("d" if hasattr(sys, "gettotalrefcount") else "")
    return "%s-%s-%s" % (python, abi, re.sub(r"[-.]", "_", sysconfig.get_platform()))


def _setting(config_settings, key, variable, default):
    value = (config_settings or {}).get(key)
    return value if value is not None else os.environ.get(variable, default)


def _cmake_environment():
    # pip's isolated build puts a site directory first that hides the
    # system's packages, numpy among them; this backend needs none of
    # pip's and all of the system's, so CMake's Python sees the system.
    environment = dict(os.environ)
    if "pip-build-env" in environment.get("PYTHONPATH", ""):
        del environment["PYTHONPATH"]
        environment.pop("PYTHONNOUSERSITE", None)
    return environment


def _run(command, environment):
    print("+ " + " ".join(shlex.quote(c) for c in command), flush=True)
    subprocess.run(command, check=True, env=environment)


def _build(config_settings, staging):
    """Configures and builds only the module and the library (Release), and
    installs the package as a wheel lays it out into `staging`."""
    build_dir = os.path.abspath(_setting(config_settings, "build-dir", "MOSARO_BUILD_DIR",
                                         os.path.join(_SOURCE, "build", "wheel")))
    extra = shlex.split(_setting(config_settings, "cmake-args", "CMAKE_ARGS", ""))
    environment = _cmake_environment()
    # The interpreter behind a venv: the same ABI, and it sees the system's
    # numpy whether or not the venv does.
    python = os.path.realpath(sys.executable)
    _run(["cmake", "-S", _SOURCE, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", "-DMOSARO_BUILD_TESTS=OFF",
          "-DMOSARO_BUILD_TOOL=OFF", "-DMOSARO_BUILD_PYTHON=ON", "-DMOSARO_PYTHON_WHEEL=ON",
          "-DPython3_EXECUTABLE=" + python] + extra, environment)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    _run(["cmake", "--build", build_dir, "--target", "_mosaro", "--parallel", jobs], environment)
    _run(["cmake", "--install", build_dir, "--component", "python", "--prefix", staging, "--strip"], environment)
    return os.path.join(staging, _NAME)


def _package_files(package):
    """(name in the package, path) of every file to ship. A zip has no
    links: a link (the library's soname) ships as the file it names, and
    that file is not shipped again under its own name."""
    names = sorted(os.listdir(package))
    targets = {os.path.realpath(os.path.join(package, n)) for n in names if os.path.islink(os.path.join(package, n))}
    for name in names:
        path = os.path.join(package, name)
        if name == "__pycache__" or (not os.path.islink(path) and os.path.realpath(path) in targets):
            continue
        yield name, os.path.realpath(path)


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d" % (name, digest, len(data))


def _dist_info():
    return "%s-%s.dist-info" % (_NAME, _version())


def _wheel_text(tag):
    return "Wheel-Version: 1.0\nGenerator: mosaro_wheel\nRoot-Is-Purelib: false\nTag: %s\n" % tag


# ---------------------------------------------------------------------------
# The hooks of PEP 517.

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    directory = os.path.join(metadata_directory, _dist_info())
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "METADATA"), "w") as f:
        f.write(_metadata())
    with open(os.path.join(directory, "WHEEL"), "w") as f:
        f.write(_wheel_text(_tag()))
    return _dist_info()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    tag = _tag()
    wheel_name = "%s-%s-%s.whl" % (_NAME, _version(), tag)
    staging = tempfile.mkdtemp(prefix="mosaro-wheel-")
    try:
        package = _build(config_settings, staging)
        entries = []
        for name, path in _package_files(package):
            with open(path, "rb") as f:
                # Executable bits for the shared objects.
                entries.append(("%s/%s" % (_NAME, name), f.read(), os.stat(path).st_mode & 0o777))
        info = _dist_info()
        entries.append((info + "/METADATA", _metadata().encode(), 0o644))
        entries.append((info + "/WHEEL", _wheel_text(tag).encode(), 0o644))
        record = [_record_line(name, data) for name, data, _ in entries] + [info + "/RECORD,,"]
        entries.append((info + "/RECORD", ("\n".join(record) + "\n").encode(), 0o644))
        os.makedirs(wheel_directory, exist_ok=True)
        with zipfile.ZipFile(os.path.join(wheel_directory, wheel_name), "w", zipfile.ZIP_DEFLATED) as wheel:
            for name, data, mode in entries:
                item = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
                item.external_attr = (0o100000 | mode) << 16
                item.compress_type = zipfile.ZIP_DEFLATED
                wheel.writestr(item, data)
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return wheel_name


def _source_files():
    """The tracked files (git), or every file but the build trees' when the
    tree is itself an unpacked source archive."""
    try:
        listed = subprocess.run(["git", "ls-files", "-z"], cwd=_SOURCE, check=True, capture_output=True).stdout
        return sorted(f for f in listed.decode().split("\0") if f and os.path.isfile(os.path.join(_SOURCE, f)))
    except (OSError, subprocess.CalledProcessError):
        found = []
        for root, directories, files in os.walk(_SOURCE):
            relative = os.path.relpath(root, _SOURCE)
            if relative == ".":
                directories[:] = [d for d in directories if not d.startswith(("build", ".git", "dist"))]
            directories[:] = [d for d in directories if d != "__pycache__"]
            found += [os.path.normpath(os.path.join(relative, f)) for f in files]
        return sorted(found)


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (_NAME, _version())
    os.makedirs(sdist_directory, exist_ok=True)
    with tarfile.open(os.path.join(sdist_directory, base + ".tar.gz"), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for name in _source_files():
            if name == "PKG-INFO":
                continue
            sdist.add(os.path.join(_SOURCE, name), arcname="%s/%s" % (base, name), recursive=False)
        info = tarfile.TarInfo("%s/PKG-INFO" % base)
        data = _metadata().encode()
        info.size, info.mode = len(data), 0o644
        sdist.addfile(info, io.BytesIO(data))
    return base + ".tar.gz"
