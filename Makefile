# Front door: `make run` and `make test` do all the set-up on a fresh machine.
#   make check  release build and the whole test suite: run it after every change
#   make test   the full gate: `make check`, the install and package checks, the sanitizer
#               build's suite and short fuzz runs
JOBS ?= 2
CMAKE_FLAGS ?=
# Per-test limit: a hung test fails after this many seconds instead of stalling the run.
TEST_TIMEOUT ?= 300
CTEST = ctest --output-on-failure -j$(JOBS) --timeout $(TEST_TIMEOUT)

.PHONY: all deps build check test test-release test-package test-asan test-fuzz run package clean format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j$(JOBS)

check: build
	$(CTEST) --test-dir build

test-release: check

test: deps check test-package test-asan test-fuzz

# The Debian packages, one per part (packaging/CMakeLists.txt): build/*.deb
package: build
	rm -f build/*.deb
	cd build && cpack -G DEB >/dev/null && ls -1 "$$PWD"/*.deb

# lintian passes the packages; they install together into a scratch root, and the CLI, its
# manual page, the typelib, a C host, the desktop viewer and the API reference work from there.
test-package: package
	@scripts/check-package build

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
	  -DGRIDWELL_SANITIZE=ON -DGRIDWELL_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  $(CTEST) --test-dir build-asan

test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRIDWELL_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j$(JOBS)
	ctest --test-dir build-fuzz --output-on-failure

run: build
	@scripts/run

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz
