"""End-to-end test harness: Wine environment, sample products and patches, update.exe runs."""
