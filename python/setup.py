"""Builds the extension halvane._halvane with the library's CMake build.

The package is built from a checkout: CMake configures the repository's root
with -DHALVANE_PYTHON=ON and builds the one target halvane_python, which
compiles the library's sources once and links them into the module.  Knobs
(environment): CMAKE (the cmake program), HALVANE_JOBS (parallel jobs, default
2), HALVANE_BUILD_TYPE (default Release); CMAKE_CXX_COMPILER_LAUNCHER (e.g.
ccache) is honoured by CMake itself.
"""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "CMakeLists.txt").is_file() or not (ROOT / "server" / "class_table.cpp").is_file():
            raise RuntimeError(f"halvane: build the package from a Halvane checkout (no library sources in {ROOT})")
        cmake = os.environ.get("CMAKE") or shutil.which("cmake")
        if not cmake:
            raise RuntimeError("halvane: cmake is needed to build the extension (Debian: apt install cmake)")
        out_dir = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        build_type = os.environ.get("HALVANE_BUILD_TYPE", "Release")
        configure = [
            cmake, "-S", str(ROOT), "-B", str(build_dir),
            f"-DCMAKE_BUILD_TYPE={build_type}",
            "-DHALVANE_PYTHON=ON", "-DHALVANE_TESTS=OFF", "-DHALVANE_HOST=OFF",
            f"-DPython_EXECUTABLE={sys.executable}",
            f"-DHALVANE_PYTHON_OUTPUT_DIR={out_dir}",
        ]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("HALVANE_JOBS", "2")
        subprocess.run([cmake, "--build", str(build_dir), "--target", "halvane_python", "-j", jobs], check=True)


setup(ext_modules=[CMakeExtension("halvane._halvane")], cmdclass={"build_ext": CMakeBuild})
