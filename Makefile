# Lumisift: the two entry points are `make demo` and `make test`.
.PHONY: demo test deps build build-asan build-fuzz build-release \
  build-asan-only build-fuzz-only build-release-only run-asan run-fuzz run-release \
  test-asan test-fuzz test-release test-plain fuzz-long bench package clean

# Prerequisites are steps in order (deps, build, run); the builds and ctest run in parallel
# inside, so make itself never does even under -j.
.NOTPARALLEL:

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_MINUTES ?= 10

deps:
	scripts/install-deps.sh

# The developer's tree: programs, every test and the benchmarks (used by `make demo`).
build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

# The three trees of `make test`; each *-only target skips the package check.
build-asan: deps build-asan-only
build-asan-only:
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMISIFT_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

build-fuzz: deps build-fuzz-only
build-fuzz-only:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLUMISIFT_FUZZ=ON -DLUMISIFT_BENCH=OFF -DLUMISIFT_UNIT_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target lumisift_fuzzers

# Release (-O3, warnings as errors): what ships, the benchmarks, and the checks that need the
# shipped build. The unit tests run in the sanitizer tree instead.
build-release: deps build-release-only
build-release-only:
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMISIFT_BENCH=ON \
	  -DLUMISIFT_UNIT_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-release -j $(JOBS)

run-asan:
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

run-fuzz:
	cd build-fuzz && ctest --output-on-failure -L fuzz -j $(JOBS) --timeout 600

run-release:
	cd build-release && ctest --output-on-failure -j $(JOBS) --timeout 600

test-asan: build-asan run-asan
test-fuzz: build-fuzz run-fuzz
test-release: build-release run-release
test-plain: test-release

# Every stage in turn, with the time each took printed at the end.
test:
	JOBS=$(JOBS) scripts/run-tests.sh

# Each fuzz target for FUZZ_MINUTES minutes, growing its corpus in tests/fuzz/corpus/.
fuzz-long: build-fuzz
	scripts/fuzz-long.sh build-fuzz $(FUZZ_MINUTES)

demo: build
	scripts/demo.sh

bench: build
	scripts/bench.sh

# The Debian package lumisift_<version>-1_<arch>.deb, built from build/ and copied here.
package: build
	cd build && cpack -G DEB
	cp build/lumisift_*.deb .

clean:
	rm -rf build build-asan build-fuzz build-release
