#!/usr/bin/env python3
"""Sets up or ends the Wine environment shared by the scenarios of one test run.

    fixture.py setup   --config e2e-config.json
    fixture.py cleanup --config e2e-config.json     (E2E_KEEP=1 keeps the prefix for a look)
"""
import argparse
import os
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2elib import scenario, winenv  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("action", choices=["setup", "cleanup"])
    ap.add_argument("--config", required=True)
    args = ap.parse_args()
    cfg = scenario.Config.load(args.config)
    if args.action == "setup":
        try:
            state = winenv.setup(cfg.state_dir)
        except winenv.SetupError as e:
            print(f"setup failed: {e}", file=sys.stderr)
            winenv.teardown(cfg.state_dir)
            return 1
        print(f"Wine prefix {state['prefix']} on display {state['display']}, "
              f"TEMP {state['temp_win']}, ready in {state['setup_seconds']} s")
    else:
        winenv.teardown(cfg.state_dir, keep_prefix=bool(os.environ.get("E2E_KEEP")))
        print("Wine environment ended")
    return 0


if __name__ == "__main__":
    sys.exit(main())
