"""The Python helpers that the scripts, the tests and the benchmark share:
Wine drives and paths (wine_drives), the keyboard rule that decides which
files are flagged (keyboard_rule), reading the strip from the screen
(screen_reader) and holding a Wine process still (held_process).

Every entry point finds this package through PYTHONPATH, which the project's
runners set to the folder above it (python/): the Makefile, and each shell
script that starts Python. Standard library only."""
