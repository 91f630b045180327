import os
import subprocess

import pytest

import tessera

BSA1 = "/usr/share/doc/openms/examples/BSA/BSA1.mzML"


@pytest.fixture(scope="session")
def bsa1():
    if not os.path.isfile(BSA1):
        pytest.skip("the BSA runs of openms-doc are not installed")
    return BSA1


@pytest.fixture(scope="session")
def run_program(tmp_path_factory):
    """Runs a program of the build in a scratch folder of its own: that folder."""

    def run(program, *args):
        folder = tmp_path_factory.mktemp(program)
        done = subprocess.run([os.path.join(tessera.PROGRAM_DIR, program), *args, "-o", str(folder / "out")],
                              cwd=folder, capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return folder / "out"

    return run
