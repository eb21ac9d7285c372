# Front door: `make test` installs nothing; run scripts/setup once first (the
# README's test command does both).
PRESET ?= dev
.PHONY: all build run demo test test-core test-asan test-tsan fuzz bench clean

all: build

build:
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET)

# The program, run from its build folder (it finds its shipped files there).
run:
	cmake --preset dev >/dev/null
	cmake --build --preset dev --target quendravilos
	build/dev/src/quendravilos

# The program on a small local site served by the tests' web server.
demo:
	cmake --preset dev >/dev/null
	cmake --build --preset dev --target quendravilos qv_makeproject
	scripts/demo build/dev

# Unit, UI, fuzz-replay and network tests; the local test servers are started
# for the run and stopped after it.
test:
	$(MAKE) PRESET=dev build
	scripts/test-servers run ctest --preset dev

test-core:
	$(MAKE) PRESET=core build
	scripts/test-servers run ctest --preset core

test-asan:
	$(MAKE) PRESET=asan build
	scripts/test-servers run ctest --preset asan

test-tsan:
	$(MAKE) PRESET=tsan build
	scripts/test-servers run ctest --preset tsan

fuzz:
	$(MAKE) PRESET=fuzz build

bench:
	$(MAKE) PRESET=release build

clean:
	rm -rf build

# House style: clang-format from Debian (clang-format-14), over every tracked C++ file.
CLANG_FORMAT ?= clang-format-14
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')
.PHONY: format check-format
format:
	@$(CLANG_FORMAT) -i $(FORMAT_FILES)

check-format:
	@$(CLANG_FORMAT) --dry-run -Werror $(FORMAT_FILES)
