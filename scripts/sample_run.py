#!/usr/bin/env python3
"""The sample run of build.sh: a German sample product at 1.0.0.0 and a patch to 1.1.0.0, an
update.exe carrying that patch, and a run of it in a private Wine prefix with a virtual display,
where a watcher program reads (and closes) the boxes it shows."""
import argparse
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2elib import scenario, winenv  # noqa: E402

PRODUCT = "Beispielprodukt"


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--config", required=True, help="e2e-config.json of the Windows build tree")
    args = ap.parse_args()
    cfg = scenario.Config.load(args.config)
    sample_dir = ROOT / "build" / "sample-run"
    cfg.state_dir, cfg.work_dir = sample_dir / "wine", sample_dir / "work"
    cfg.variant_build_dir = ROOT / "build" / "sample-installer"
    shutil.rmtree(cfg.work_dir, ignore_errors=True)
    cfg.work_dir.mkdir(parents=True)

    print("Starting a private Wine prefix on a virtual display ...", flush=True)
    winenv.teardown(cfg.state_dir)
    winenv.setup(cfg.state_dir)
    try:
        env = winenv.WineEnv.load(cfg.state_dir)
        t = scenario.Case("sample", cfg, env, cfg.work_dir)
        product = t.make_product(name=PRODUCT, language=1031, version="1.0.0.0")
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
        exe = cfg.work_dir / "update.exe"
        print(f"Sample product: {product.msi}\nPatch:          {patch}", flush=True)
        scenario.build_variant(cfg, exe, patch)
        print(f"Installer:      {exe} ({exe.stat().st_size // 1024} KB)", flush=True)

        t.install(product)
        before = t.product_version(product.code)
        print(f"\nInstalled {PRODUCT} {before} (language 1031) in the prefix; running update.exe ...", flush=True)
        run = t.run_update(exe, [], timeout=120, extra_env={"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"})
        if not run.boxes:
            print("No box was shown. What Wine said:\n" + run.stderr[-3000:])
        for number, box in enumerate(run.boxes, 1):
            print(f"\nBox {number} [{box.icon}] {box.caption}\n  " + box.text.replace("\n", "\n  "))
        after = t.product_version(product.code)
        print(f"\nVersion before: {before}\nVersion after:  {after}")
        print(f"Installed file: {(t.installed_payload(product) or '').strip()!r}")
        log = t.log_file(PRODUCT)
        print(f"Installer log:  {env.temp_win}\\{log.name}\n                ({log})")
        shutil.copy(log, sample_dir / log.name)
        print(f"                copied to {sample_dir / log.name}")
        print(f"Exit code:      {run.exit_code}")
        return 0 if after == "1.1.0.0" and run.exit_code == 0 else 1
    except scenario.Failure as e:
        print(f"The sample run failed: {e}", file=sys.stderr)
        return 1
    finally:
        winenv.teardown(cfg.state_dir)


if __name__ == "__main__":
    sys.exit(main())
