# Lumisift: the two entry points are `make demo` and `make test`.
.PHONY: demo test deps build build-asan build-fuzz build-release test-plain test-asan test-fuzz bench package clean

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-release: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMISIFT_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-release -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMISIFT_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

build-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DLUMISIFT_FUZZ=ON -DLUMISIFT_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target lumisift_fuzzers

test-asan: build-asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

test-fuzz: build-fuzz
	cd build-fuzz && ctest --output-on-failure -L fuzz --timeout 600

test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS) --timeout 600

# Sanitizer and fuzz runs first, so the output ends with the plain suite's summary.
test: test-asan test-fuzz test-plain

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
