import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))

from wexrun import Disks  # noqa: E402


@pytest.fixture
def disks(tmp_path):
    return Disks(tmp_path / "disks")
