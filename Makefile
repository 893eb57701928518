# Two commands on a fresh Debian machine: `make run` and `make test`.
# Each installs what is missing first (scripts/install-deps.sh).

.PHONY: deps format native win32 test test-native test-win32 test-e2e run bench screenshots clean

deps:
	@scripts/install-deps.sh

native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native

win32: deps
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32

# The layout check comes first: it is the cheapest way to fail.
format: deps
	scripts/check-format.sh

test: format native win32
	ctest --preset native
	scripts/with-wine.sh ctest --preset win32
	scripts/with-wine.sh tests/e2e/run_e2e.sh build/win32
	tests/run/check_make_run.sh build/win32

test-native: native
	ctest --preset native

test-win32: win32
	scripts/with-wine.sh ctest --preset win32

test-e2e: win32
	scripts/with-wine.sh tests/e2e/run_e2e.sh build/win32

# make run [FOLDER=/some/folder]: the folder is checked before the build.
run:
	@scripts/run.sh --check-folder "$(FOLDER)"
	@$(MAKE) --no-print-directory win32
	@scripts/run.sh build/win32/Escaner.exe "$(FOLDER)"

# The benchmark programs are not part of the default builds (make test does
# not build them).
bench: native win32
	@cmake --build --preset native --target escaner_bench
	@cmake --build --preset win32 --target bench_programs
	build/native/escaner_bench
	scripts/with-wine.sh bench/run_bench.sh build/win32

screenshots: win32
	scripts/with-wine.sh scripts/screenshots.sh build/win32

clean:
	rm -rf build
