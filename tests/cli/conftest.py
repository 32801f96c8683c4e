import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))

from wexrun import program_disks  # noqa: E402


@pytest.fixture
def disks(tmp_path):
    return program_disks(tmp_path / "disks")
