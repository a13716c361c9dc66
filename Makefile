# Thin wrapper over CMake. `make` builds the Release engine into build/,
# `make run` starts it on this terminal, `make test` runs every test in the
# Release build and again under AddressSanitizer + UndefinedBehaviorSanitizer.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build run test test-release test-sanitize bench selfplay clean

all: build

build:
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKQ_BENCH=ON -DKQ_SANITIZE=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@./build/pbrain-kq

test: test-release test-sanitize

test-release: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DKQ_SANITIZE=ON -DKQ_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	./build/kq-bench

# Two engine processes play 20 games at 200 ms per move through the protocol.
selfplay: build
	./build/kq-selfplay ./build/pbrain-kq 20 300

clean:
	rm -rf build build-sanitize
