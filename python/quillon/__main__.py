"""`python -m quillon`: the command-line tool (see `python -m quillon --help`)."""

import sys

from quillon.cli import main

if __name__ == "__main__":
    sys.exit(main())
