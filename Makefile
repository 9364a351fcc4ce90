# Front door: `make run` and `make test` do all the set-up on a fresh machine.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps build test test-release test-asan test-fuzz run clean format

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j$(JOBS)

test: deps test-release test-asan test-fuzz

test-release: build
	ctest --test-dir build --output-on-failure -j$(JOBS)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DGRIDWELL_SANITIZE=ON -DGRIDWELL_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j$(JOBS)

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
