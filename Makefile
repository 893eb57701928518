# Two commands on a fresh Debian machine: `make run` and `make test`.
# Each installs what is missing first (scripts/install-deps.sh).

.PHONY: deps format native win32 wine-build test test-native test-win32 test-e2e run bench screenshots clean

# The Windows build that this machine's Wine runs: build/win32, the product
# itself, or build/win64, the same sources for x86-64 where the kernel runs no
# 32-bit code (scripts/wine-arch.sh). The product is built in every case.
WINE_ARCH = $$(scripts/wine-arch.sh)

# The shared Python helpers (python/escaner_tools), for every script the
# recipes start; no bytecode is written into the source tree.
export PYTHONPATH := $(CURDIR)/python
export PYTHONDONTWRITEBYTECODE := 1

deps:
	@scripts/install-deps.sh

native: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native

win32: deps
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32

wine-build: win32
	@arch=$(WINE_ARCH); if [ "$$arch" != win32 ]; then \
	  cmake --preset $$arch >/dev/null && cmake --build --preset $$arch; fi

# The layout check comes first: it is the cheapest way to fail.
format: deps
	scripts/check-format.sh

test: format native wine-build
	ctest --preset native
	scripts/with-wine.sh ctest --preset $(WINE_ARCH)
	scripts/with-wine.sh tests/e2e/run_e2e.sh build/$(WINE_ARCH)
	tests/run/check_make_run.sh build/$(WINE_ARCH)

test-native: native
	ctest --preset native

test-win32: wine-build
	scripts/with-wine.sh ctest --preset $(WINE_ARCH)

test-e2e: wine-build
	scripts/with-wine.sh tests/e2e/run_e2e.sh build/$(WINE_ARCH)

# make run [FOLDER=/some/folder]: the folder is checked before the build.
run:
	@scripts/run.sh --check-folder "$(FOLDER)"
	@$(MAKE) --no-print-directory wine-build
	@scripts/run.sh build/$(WINE_ARCH)/Escaner.exe "$(FOLDER)"

# The benchmark programs are not part of the default builds (make test does
# not build them).
bench: native wine-build
	@cmake --build --preset native --target escaner_bench
	@cmake --build --preset $(WINE_ARCH) --target bench_programs
	build/native/escaner_bench
	scripts/with-wine.sh bench/run_bench.sh build/$(WINE_ARCH)

screenshots: wine-build
	scripts/with-wine.sh scripts/screenshots.sh build/$(WINE_ARCH)

clean:
	rm -rf build
